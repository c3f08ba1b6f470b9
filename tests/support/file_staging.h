#pragma once

#include <cstdint>
#include <filesystem>
#include <string>

#include "frame/find_record.h"

namespace sealmark::test {

// Test set-ups that need the platform itself.

// Adds a file attribute (kAttributeHidden, kAttributeSystem) to `path`;
// false where the platform keeps no such attributes.
bool AddFileAttribute(const std::filesystem::path& path, std::uint32_t attribute);

// Whether opens can keep other programs out of a file (share modes).
bool HasShareModes();

// Makes a file of `size` bytes without writing them (a sparse file).
bool MakeSparseFile(const std::filesystem::path& path, std::uint64_t size);

// Holds `path` open with share mode 0, as another program might, for as long
// as the object lives. held() is false where the platform has no share modes.
class ExclusiveHold {
 public:
  explicit ExclusiveHold(const std::filesystem::path& path);
  ~ExclusiveHold();
  ExclusiveHold(const ExclusiveHold&) = delete;
  ExclusiveHold& operator=(const ExclusiveHold&) = delete;
  bool held() const { return handle_ != -1; }

 private:
  std::intptr_t handle_ = -1;
};

// Makes `path` impossible to open for writing, even for root, for as long as
// the object lives. took() tells whether that worked here.
class ReadOnlyFile {
 public:
  explicit ReadOnlyFile(const std::filesystem::path& path);
  ~ReadOnlyFile();
  ReadOnlyFile(const ReadOnlyFile&) = delete;
  ReadOnlyFile& operator=(const ReadOnlyFile&) = delete;
  bool took() const { return took_; }

 private:
  std::filesystem::path path_;
  bool immutable_ = false;
  bool took_ = false;
};

// The file name in a find record, as 8-bit text (ASCII names only).
std::string RecordName(const FindRecord& record);

// The current time as a last-write time counts it: 100-nanosecond intervals
// since 1 January 1601 UTC.
std::uint64_t NowAsFileTime();

}  // namespace sealmark::test
