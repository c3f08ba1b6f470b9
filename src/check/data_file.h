#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string_view>

#include "platform/find_record.h"
#include "platform/system.h"

namespace sealmark {

// Files up to this size are read into one buffer of their size with one read
// call. Larger ones, and any whose buffer cannot be had, are read piece by
// piece through one buffer of at most this size, so that a run's memory does
// not grow with its largest file.
inline constexpr std::size_t kWholeReadLimit = 16u << 20;

// The content of one data file at a time, or of one piece of a larger file.
// Its memory grows to the largest room made so far and serves every file
// after it; it is not cleared, since each read overwrites what the content
// is made of. Where no memory can be had, a block of its own serves.
class ContentBuffer {
 public:
  static constexpr std::size_t kBlockSize = 64u << 10;
  // The room in its memory starts at a page boundary, which it asks this
  // much more memory for: the system copies whole pages into it, about three
  // times as fast as into memory that starts anywhere else.
  static constexpr std::size_t kPageSize = 4096;

  // Where a read may put its bytes.
  struct Room {
    unsigned char* bytes;
    std::size_t size;
  };

  ContentBuffer() = default;
  ContentBuffer(const ContentBuffer&) = delete;
  ContentBuffer& operator=(const ContentBuffer&) = delete;

  const unsigned char* data() const { return start_; }
  std::size_t size() const { return size_; }

  // Empties the content and makes room for `size` bytes or, where `system`
  // refuses memory for them, for half as many, a quarter, and so on down to
  // the block of its own.
  Room MakeRoom(System& system, std::size_t size);

  // Makes the content the first `size` bytes of the room.
  void SetSize(std::size_t size) { size_ = size; }

 private:
  std::unique_ptr<unsigned char[]> memory_;
  unsigned char* start_ = nullptr;  // the room: memory_'s first page boundary, or block_
  std::size_t room_ = 0;            // in memory_
  std::size_t size_ = 0;
  unsigned char block_[kBlockSize];
};

// Reads the whole content of the file at `path`, exactly as stored, and
// returns the CRC-32 of the bytes read; `content` holds the file afterwards
// when it was read in one piece, else its last piece. Opens for reading and
// writing, else for reading alone, through any link; nothing is ever written
// to it. A missing file is made empty where its folder allows, but only
// where no folder on its path, nor the name itself, is a link. Whatever
// cannot be read counts as no bytes: an empty path or one with a wildcard, a
// file that cannot be opened, a read that fails. A read that fails or falls
// short ends the file there.
std::uint32_t ReadWholeFile(System& system, std::string_view path, ContentBuffer& content);

// Looks data files up in their folders. The search of the last lookup stays
// open until the next lookup, Close() or the object's end closes it.
class FileLookup {
 public:
  explicit FileLookup(System& system) : system_(system) {}
  ~FileLookup() { Close(); }
  FileLookup(const FileLookup&) = delete;
  FileLookup& operator=(const FileLookup&) = delete;

  // Fills `record` with the directory entry that `path` names, or with zeros
  // when there is none or it is hidden, a system file, a folder, "." or "..".
  void LookUpFile(std::string_view path, FindRecord& record);

  // Closes the search that the last lookup left open, if any.
  void Close();

 private:
  System& system_;
  SearchHandle search_ = SearchHandle::kNone;
};

}  // namespace sealmark
