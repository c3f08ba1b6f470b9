#pragma once

#include <cstdint>
#include <vector>

namespace sealmark::test {

using Bytes = std::vector<unsigned char>;

// Appends four bytes to `content` so that the CRC-32 of the whole is `target`.
void AppendCrcPatch(Bytes& content, std::uint32_t target);

}  // namespace sealmark::test
