#include "check/report_text.h"

namespace sealmark {

std::string HexText(std::uint32_t value, int digits) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  std::string text;
  for (int place = digits - 1; place >= 0; --place) {
    const std::uint32_t nibble = place < 8 ? (value >> (4 * place)) & 0xFu : 0u;
    text += kDigits[nibble];
  }
  return text;
}

std::string RepeatChar(int count, char c) {
  return count > 0 ? std::string(static_cast<std::size_t>(count), c) : std::string();
}

}  // namespace sealmark
