#pragma once

#include <cstddef>
#include <cstdint>

namespace sealmark {

// The standard CRC-32 (reflected polynomial 0xEDB88320, preset and final
// inversion, as in zlib and ZIP) of `count` bytes at `data`. Table-free: each
// byte's contribution is worked out bit by bit. `data` is not read when
// `count` is 0. `previous` is the CRC-32 of the bytes before these, so that
// a long run of bytes can be taken piece by piece:
// Crc32(b, nb, Crc32(a, na)) is the CRC-32 of a followed by b.
std::uint32_t Crc32(const void* data, std::size_t count, std::uint32_t previous = 0);

}  // namespace sealmark
