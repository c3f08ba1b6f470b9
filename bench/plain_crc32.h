#pragma once

#include <cstddef>
#include <cstdint>

// The reference: the bit-by-bit CRC-32 with each byte's steps in turn, every
// step waiting for the one before it.
inline std::uint32_t PlainCrc32(const unsigned char* bytes, std::size_t count) {
  std::uint32_t crc = 0xFFFFFFFFu;
  for (std::size_t i = 0; i < count; ++i) {
    std::uint32_t x = (crc ^ bytes[i]) & 0xFFu;
    crc >>= 8;
    for (int bit = 0; bit < 8; ++bit) {
      x = (x & 1u) != 0 ? (x >> 1) ^ 0xEDB88320u : x >> 1;
    }
    crc ^= x;
  }
  return crc ^ 0xFFFFFFFFu;
}
