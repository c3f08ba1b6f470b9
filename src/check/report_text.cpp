#include "check/report_text.h"

namespace sealmark {

namespace {

constexpr int kNameColumn = 35;
constexpr int kDateColumn = 15;

int Length(std::string_view text) {
  return static_cast<int>(text.size());
}

}  // namespace

std::string TitleLine(const std::string& runDate) {
  return " CRC Check of Ombrex_Atlas Data Files    " + runDate;
}

std::string OperatingSystemLine(const std::string& operatingSystem) {
  return " Operating System: " + operatingSystem;
}

std::string SeparatorLine() {
  return " " + RepeatChar(55, '-');
}

std::string ValidLine(std::string_view name, const std::string& dateText) {
  return " " + std::string(name) + RepeatChar(kNameColumn - Length(name), ' ') + dateText +
         RepeatChar(kDateColumn - Length(dateText), ' ') + "Valid";
}

std::string MismatchLine(std::string_view name, const std::string& checksumText) {
  return " " + std::string(name) + " may be corrupted; CRC was " + checksumText;
}

std::string CountItem(std::int32_t count) {
  const std::int64_t value = count;
  return (value < 0 ? "-" : " ") + std::to_string(value < 0 ? -value : value) + " ";
}

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
