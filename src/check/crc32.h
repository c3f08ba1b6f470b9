#pragma once

#include <cstddef>
#include <cstdint>

namespace sealmark {

// The standard CRC-32 (reflected polynomial 0xEDB88320, preset and final
// inversion, as in zlib and ZIP) of `count` bytes at `data`. Table-free: each
// byte's contribution is worked out bit by bit. `data` is not read when
// `count` is 0.
std::uint32_t Crc32(const void* data, std::size_t count);

}  // namespace sealmark
