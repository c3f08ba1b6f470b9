#pragma once

#include <cstdint>

namespace sealmark {

// File attribute bits, numbered as Windows numbers them.
inline constexpr std::uint32_t kAttributeHidden = 0x2;
inline constexpr std::uint32_t kAttributeSystem = 0x4;
inline constexpr std::uint32_t kAttributeDirectory = 0x10;
inline constexpr std::uint32_t kAttributeReparsePoint = 0x400;

// A time as Windows stores it: its low half, then its high half.
struct SplitTime {
  std::uint32_t low;
  std::uint32_t high;
};

// The directory-search record that a lookup fills: byte for byte the
// system's WIN32_FIND_DATAW on Windows, and filled the same way by the
// POSIX stand-in.
struct FindRecord {
  std::uint32_t attributes;
  SplitTime creationTime;
  SplitTime lastAccessTime;
  SplitTime lastWriteTime;
  std::uint32_t sizeHigh;
  std::uint32_t sizeLow;
  std::uint32_t reserved0;
  std::uint32_t reserved1;
  char16_t name[260];
  char16_t alternateName[14];
};
static_assert(sizeof(FindRecord) == 592);

// The record's last-write time: 100-nanosecond intervals since 1 January 1601
// UTC, 0 for a zero record.
inline std::uint64_t LastWriteTime(const FindRecord& record) {
  return (std::uint64_t{record.lastWriteTime.high} << 32) | record.lastWriteTime.low;
}

}  // namespace sealmark
