#pragma once

#include <cstdint>
#include <string>

namespace sealmark {

// `digits` hexadecimal digits of `value`, most significant first, with
// leading zeros and upper-case letters: HexText(0x3E4DCB5, 8) is "03E4DCB5".
// Digits above the eighth are zeros; no digits gives the empty text.
std::string HexText(std::uint32_t value, int digits);

// `count` copies of `c`; the empty text when `count` is zero or negative.
std::string RepeatChar(int count, char c);

}  // namespace sealmark
