#pragma once

#include <cstdint>

namespace sealmark {

// Stands in for the members of WIN32_FIND_DATAW that the check reads, under
// the same names, so that the code reading them is the same on both systems.
struct FindRecord {
  struct {
    std::uint32_t dwLowDateTime;
    std::uint32_t dwHighDateTime;
  } ftLastWriteTime;
  std::uint32_t dwFileAttributes;
  char cFileName[256];
};

}  // namespace sealmark
