#pragma once

#include <cstdint>

// FindRecord: the directory-search record that a lookup fills, the system's
// own WIN32_FIND_DATAW on Windows and a stand-in of its used members elsewhere.
#if defined(_WIN32)
#include "frame/find_record_win32.h"
#else
#include "frame/find_record_posix.h"
#endif

namespace sealmark {

// File attribute bits, numbered as Windows numbers them.
inline constexpr std::uint32_t kAttributeHidden = 0x2;
inline constexpr std::uint32_t kAttributeSystem = 0x4;
inline constexpr std::uint32_t kAttributeDirectory = 0x10;

// The record's last-write time: 100-nanosecond intervals since 1 January 1601
// UTC, 0 for a zero record.
inline std::uint64_t LastWriteTime(const FindRecord& record) {
  return (std::uint64_t{record.ftLastWriteTime.dwHighDateTime} << 32) |
         record.ftLastWriteTime.dwLowDateTime;
}

}  // namespace sealmark
