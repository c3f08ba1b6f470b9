#pragma once

#include <cstdint>
#include <vector>

namespace sealmark::test {

using Bytes = std::vector<unsigned char>;

// The four bytes that, after bytes whose CRC-32 is `crc`, make the CRC-32 of
// the whole `target`.
Bytes CrcPatch(std::uint32_t crc, std::uint32_t target);

// The CRC-32 of `count` zero bytes.
std::uint32_t CrcOfZeros(std::uint64_t count);

}  // namespace sealmark::test
