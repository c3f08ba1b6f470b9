#include "check/data_file.h"

#include <cstdint>
#include <cstring>
#include <limits>

namespace sealmark {

namespace {

// Everything up to the largest count that one read call takes.
bool FitsOneRead(std::uint64_t size) {
  return size <= std::numeric_limits<std::uint32_t>::max() &&
         size <= std::numeric_limits<std::size_t>::max();
}

Bytes ReadOpenFile(System& system, SystemHandle file) {
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

template <typename Char>
bool IsDotName(const Char* name) {
  return name[0] == '.' && (name[1] == 0 || (name[1] == '.' && name[2] == 0));
}

bool IsPassedOver(const FindRecord& record) {
  constexpr std::uint32_t kPassedOver = kAttributeHidden | kAttributeSystem | kAttributeDirectory;
  return (record.dwFileAttributes & kPassedOver) != 0 || IsDotName(record.cFileName);
}

}  // namespace

Bytes ReadWholeFile(System& system, const std::string& path) {
  if (path.empty() || path.find_first_of("*?") != std::string::npos) {
    return {};
  }
  SystemHandle file = system.OpenFile(path, FileAccess::kReadWrite, FileSharing::kReadWrite);
  if (file == kNoHandle) {
    file = system.OpenFile(path, FileAccess::kRead, FileSharing::kReadWrite);
  }
  if (file == kNoHandle) {
    return {};
  }
  Bytes content = ReadOpenFile(system, file);
  system.Close(file);
  return content;
}

void LookUpFile(System& system, SystemHandle& openSearch, const std::string& path,
                FindRecord& record) {
  CloseOpenSearch(system, openSearch);
  FindRecord found;
  std::memset(&found, 0, sizeof found);
  openSearch = system.FindFirst(path, found);
  bool usable = openSearch != kNoHandle;
  while (usable && IsPassedOver(found)) {
    usable = system.FindNext(openSearch, found);
  }
  if (!usable) {
    CloseOpenSearch(system, openSearch);
    std::memset(&record, 0, sizeof record);
    return;
  }
  record = found;
}

void CloseOpenSearch(System& system, SystemHandle& openSearch) {
  if (openSearch != kNoHandle) {
    system.CloseSearch(openSearch);
    openSearch = kNoHandle;
  }
}

}  // namespace sealmark
