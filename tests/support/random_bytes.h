#pragma once

#include <cstddef>
#include <cstdint>
#include <random>

#include "support/crc_forge.h"

namespace sealmark::test {

// `count` pseudo-random bytes, the same for the same seed.
inline Bytes RandomBytes(std::size_t count, std::uint32_t seed) {
  std::mt19937 engine(seed);
  Bytes bytes(count);
  for (auto& byte : bytes) {
    byte = static_cast<unsigned char>(engine() >> 24);
  }
  return bytes;
}

}  // namespace sealmark::test
