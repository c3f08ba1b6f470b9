#include "check/data_file.h"

#include <cstdint>
#include <cstring>
#include <limits>

namespace sealmark {

namespace {

static_assert(sizeof(std::size_t) >= sizeof(std::uint32_t));

// Everything up to the largest count that one read call takes.
bool FitsOneRead(std::uint64_t size) {
  return size <= std::numeric_limits<std::uint32_t>::max();
}

Bytes ReadOpenFile(System& system, FileHandle file) {
  const bool disk = system.IsDiskFile(file);
  system.SeekToStart(file);
  const std::uint64_t size = disk ? system.FileSize(file).value_or(0) : 0;
  Bytes content;
  if (size == 0 || !FitsOneRead(size) ||
      !system.ObtainBuffer(content, static_cast<std::size_t>(size))) {
    return {};
  }
  const auto arrived = system.Read(file, content.data(), static_cast<std::uint32_t>(size));
  if (!arrived) {
    return {};
  }
  content.resize(*arrived);
  return content;
}

bool IsDotName(const char16_t* name) {
  return name[0] == '.' && (name[1] == 0 || (name[1] == '.' && name[2] == 0));
}

bool IsPassedOver(const FindRecord& record) {
  constexpr std::uint32_t kPassedOver = kAttributeHidden | kAttributeSystem | kAttributeDirectory;
  return (record.attributes & kPassedOver) != 0 || IsDotName(record.name);
}

}  // namespace

Bytes ReadWholeFile(System& system, const std::string& path) {
  if (path.empty() || path.find_first_of("*?") != std::string::npos) {
    return {};
  }
  FileHandle file = system.OpenFile(path, FileAccess::kReadWrite, FileSharing::kReadWrite);
  if (file == FileHandle::kNone) {
    file = system.OpenFile(path, FileAccess::kRead, FileSharing::kReadWrite);
  }
  if (file == FileHandle::kNone) {
    return {};
  }
  Bytes content = ReadOpenFile(system, file);
  system.Close(file);
  return content;
}

void FileLookup::LookUpFile(const std::string& path, FindRecord& record) {
  Close();
  FindRecord found;
  std::memset(&found, 0, sizeof found);
  search_ = system_.FindFirst(path, found);
  bool usable = search_ != SearchHandle::kNone;
  while (usable && IsPassedOver(found)) {
    usable = system_.FindNext(search_, found);
  }
  if (!usable) {
    Close();
    std::memset(&record, 0, sizeof record);
    return;
  }
  record = found;
}

void FileLookup::Close() {
  if (search_ != SearchHandle::kNone) {
    system_.CloseSearch(search_);
    search_ = SearchHandle::kNone;
  }
}

}  // namespace sealmark
