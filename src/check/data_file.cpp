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

void ReadOpenFile(System& system, FileHandle file, ContentBuffer& content) {
  const bool disk = system.IsDiskFile(file);
  system.SeekToStart(file);
  const std::uint64_t size = disk ? system.FileSize(file).value_or(0) : 0;
  if (size == 0 || !FitsOneRead(size)) {
    return;
  }
  unsigned char* const room = content.MakeRoom(system, static_cast<std::size_t>(size));
  if (room != nullptr) {
    content.SetSize(system.Read(file, room, static_cast<std::uint32_t>(size)).value_or(0));
  }
}

bool IsDotName(const char16_t* name) {
  return name[0] == '.' && (name[1] == 0 || (name[1] == '.' && name[2] == 0));
}

bool IsPassedOver(const FindRecord& record) {
  constexpr std::uint32_t kPassedOver = kAttributeHidden | kAttributeSystem | kAttributeDirectory;
  return (record.attributes & kPassedOver) != 0 || IsDotName(record.name);
}

}  // namespace

unsigned char* ContentBuffer::MakeRoom(System& system, std::size_t size) {
  size_ = 0;
  if (size > room_) {
    // The old memory goes first: one file's worth is held at a time.
    memory_.reset();
    memory_ = system.ObtainMemory(size);
    room_ = memory_ ? size : 0;
  }
  return memory_.get();
}

void ReadWholeFile(System& system, std::string_view path, ContentBuffer& content) {
  content.SetSize(0);
  if (path.empty() || path.find_first_of("*?") != std::string_view::npos) {
    return;
  }
  const auto openFor = [&](FileAccess access) {
    return system
        .OpenFile(Folder::kCurrent, path, access, FileSharing::kReadWrite, FileLinks::kFollow,
                  FileCreation::kOpenAlways)
        .file;
  };
  FileHandle file = openFor(FileAccess::kReadWrite);
  if (file == FileHandle::kNone) {
    file = openFor(FileAccess::kRead);
  }
  if (file == FileHandle::kNone) {
    return;
  }
  ReadOpenFile(system, file, content);
  system.Close(file);
}

void FileLookup::LookUpFile(std::string_view path, FindRecord& record) {
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
