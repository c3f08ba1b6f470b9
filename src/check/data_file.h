#pragma once

#include <string>

#include "frame/find_record.h"
#include "frame/system.h"

namespace sealmark {

// The whole content of the file at `path`, exactly as stored. Opens for
// reading and writing, else for reading alone, creating a missing file empty
// where its folder allows; nothing is ever written to it. Whatever cannot be
// read gives the empty buffer: an empty path or one with a wildcard, a file
// that cannot be opened, a read that fails, a size that one read cannot take
// or a buffer that cannot be had. A short read keeps the bytes that arrived.
Bytes ReadWholeFile(System& system, const std::string& path);

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
  void LookUpFile(const std::string& path, FindRecord& record);

  // Closes the search that the last lookup left open, if any.
  void Close();

  bool HasOpenSearch() const { return search_ != SearchHandle::kNone; }

 private:
  System& system_;
  SearchHandle search_ = SearchHandle::kNone;
};

}  // namespace sealmark
