#include "check/data_file.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <limits>

#include "check/crc32.h"

namespace sealmark {

namespace {

static_assert(kWholeReadLimit <= std::numeric_limits<std::uint32_t>::max(),
              "a piece is taken by one read call");

// Reads the open file from its first byte in pieces of the room that
// `content` makes, up to its whole size, carrying the checksum from piece to
// piece; a file up to kWholeReadLimit whose buffer can be had is one piece.
std::uint32_t ChecksumOfOpenFile(System& system, FileHandle file, ContentBuffer& content) {
  const bool disk = system.IsDiskFile(file);
  system.SeekToStart(file);
  std::uint64_t left = disk ? system.FileSize(file).value_or(0) : 0;
  if (left == 0) {
    return 0;
  }
  const ContentBuffer::Room room = content.MakeRoom(
      system, static_cast<std::size_t>(std::min<std::uint64_t>(left, kWholeReadLimit)));
  std::uint32_t checksum = 0;
  while (left != 0) {
    const auto count = static_cast<std::uint32_t>(std::min<std::uint64_t>(left, room.size));
    const std::uint32_t arrived = system.Read(file, room.bytes, count).value_or(0);
    content.SetSize(arrived);
    checksum = Crc32(room.bytes, arrived, checksum);
    if (arrived != count) {
      break;
    }
    left -= count;
  }
  return checksum;
}

// Opens the folders of `path` from the one that ends at or after `from`,
// each held while what is below it is made, and makes the file in the last
// of them. A folder that is a link is not gone through: nothing is made.
void MakeInFolders(System& system, std::string_view path, std::size_t from, FileHandle parent) {
  const std::size_t end = path.find('\\', from);
  if (end == std::string_view::npos) {
    const FileHandle made = system.MakeNewFile(parent, path);
    if (made != FileHandle::kNone) {
      system.Close(made);
    }
    return;
  }
  const FileHandle folder = system.OpenFolder(parent, path.substr(0, end));
  if (folder == FileHandle::kNone) {
    return;
  }
  const std::optional<FileFacts> facts = system.FactsOf(folder);
  if (facts && !IsLink(*facts)) {
    MakeInFolders(system, path, end + 1, folder);
  }
  system.Close(folder);
}

bool IsDotName(const char16_t* name) {
  return name[0] == '.' && (name[1] == 0 || (name[1] == '.' && name[2] == 0));
}

bool IsPassedOver(const FindRecord& record) {
  constexpr std::uint32_t kPassedOver = kAttributeHidden | kAttributeSystem | kAttributeDirectory;
  return (record.attributes & kPassedOver) != 0 || IsDotName(record.name);
}

}  // namespace

ContentBuffer::Room ContentBuffer::MakeRoom(System& system, std::size_t size) {
  size_ = 0;
  if (size <= room_) {
    return {start_, size};
  }
  // The old memory goes first: one file's worth is held at a time.
  memory_.reset();
  room_ = 0;
  for (std::size_t asked = size; asked == size || asked > kBlockSize; asked /= 2) {
    memory_ = system.ObtainMemory(asked + kPageSize);
    if (memory_) {
      const auto address = reinterpret_cast<std::uintptr_t>(memory_.get());
      start_ = memory_.get() + (kPageSize - address % kPageSize) % kPageSize;
      room_ = asked;
      return {start_, asked};
    }
  }
  start_ = block_;
  return {block_, std::min(size, kBlockSize)};
}

std::uint32_t ReadWholeFile(System& system, std::string_view path, ContentBuffer& content) {
  content.SetSize(0);
  if (path.empty() || path.find_first_of("*?") != std::string_view::npos) {
    return 0;
  }
  const auto openFor = [&](FileAccess access) {
    return system.OpenFile(Folder::kCurrent, path, access, FileSharing::kReadWrite,
                           FileLinks::kFollow, FileCreation::kOpenExisting);
  };
  OpenedFile opened = openFor(FileAccess::kReadWrite);
  if (opened.file == FileHandle::kNone) {
    opened = openFor(FileAccess::kRead);
  }
  if (opened.file == FileHandle::kNone) {
    // Anyone who may write the data set could put a link on the way of a
    // missing file: it is left behind empty only where there is none.
    if (opened.missing) {
      MakeInFolders(system, path, 0, FileHandle::kNone);
    }
    return 0;
  }
  const std::uint32_t checksum = ChecksumOfOpenFile(system, opened.file, content);
  system.Close(opened.file);
  return checksum;
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
