#pragma once

#include <cstdint>
#include <optional>

namespace sealmark {

// Last-write times count 100-nanosecond intervals since 1 January 1601 UTC,
// as Windows keeps them; POSIX counts seconds since 1 January 1970 UTC.
inline constexpr std::uint64_t kFileTimeUnitsPerSecond = 10'000'000;
inline constexpr std::int64_t kSecondsFrom1601To1970 = 11'644'473'600;

// The file time of a POSIX time; 0 for a time before 1601.
constexpr std::uint64_t FileTimeOfPosixTime(std::int64_t seconds, std::int64_t nanoseconds) {
  if (seconds < -kSecondsFrom1601To1970) {
    return 0;
  }
  return static_cast<std::uint64_t>(seconds + kSecondsFrom1601To1970) * kFileTimeUnitsPerSecond +
         static_cast<std::uint64_t>(nanoseconds / 100);
}

// The POSIX time, in whole seconds, of a file time. None when its top bit is
// set: Windows gives such a time no calendar date, and neither do we.
constexpr std::optional<std::int64_t> PosixSecondsOfFileTime(std::uint64_t fileTime) {
  if ((fileTime >> 63) != 0) {
    return std::nullopt;
  }
  return static_cast<std::int64_t>(fileTime / kFileTimeUnitsPerSecond) - kSecondsFrom1601To1970;
}

}  // namespace sealmark
