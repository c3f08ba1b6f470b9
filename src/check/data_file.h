#pragma once

#include <cstddef>
#include <memory>
#include <string_view>

#include "platform/find_record.h"
#include "platform/system.h"

namespace sealmark {

// The content of one data file at a time. Its memory grows to the largest
// file read so far and serves every file after it; it is not cleared, since
// each read overwrites what the content is made of.
class ContentBuffer {
 public:
  const unsigned char* data() const { return memory_.get(); }
  std::size_t size() const { return size_; }

  // Empties the content and makes room for `size` bytes, with new memory
  // from `system` when there is less room; nullptr when it cannot be had.
  unsigned char* MakeRoom(System& system, std::size_t size);

  // Makes the content the first `size` bytes of the room.
  void SetSize(std::size_t size) { size_ = size; }

 private:
  std::unique_ptr<unsigned char[]> memory_;
  std::size_t room_ = 0;
  std::size_t size_ = 0;
};

// Reads the whole content of the file at `path`, exactly as stored, into
// `content`. Opens for reading and writing, else for reading alone, creating
// a missing file empty where its folder allows; nothing is ever written to
// it. Whatever cannot be read gives the empty content: an empty path or one
// with a wildcard, a file that cannot be opened, a read that fails, a size
// that one read cannot take or memory that cannot be had. A short read keeps
// the bytes that arrived.
void ReadWholeFile(System& system, std::string_view path, ContentBuffer& content);

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
