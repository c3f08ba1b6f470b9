#include "check/report_text.h"

#include <cstring>

namespace sealmark {

namespace {

int Length(std::string_view text) {
  return static_cast<int>(text.size());
}

}  // namespace

ReportLine TitleLine(std::string_view runDate) {
  return {kTitle, runDate};
}

ReportLine OperatingSystemLine(std::string_view operatingSystem) {
  return {kOperatingSystemLabel, operatingSystem};
}

ReportLine SeparatorLine() {
  return {" ", RepeatChar(kSeparatorHyphens, '-')};
}

ReportLine ValidLine(std::string_view name, std::string_view dateText) {
  return {" ",
          name,
          RepeatChar(kNameColumn - Length(name), ' '),
          dateText,
          RepeatChar(kDateColumn - Length(dateText), ' '),
          kValid};
}

ReportLine MismatchLine(std::string_view name, std::string_view checksumText) {
  return {" ", name, " may be corrupted; CRC was ", checksumText};
}

FixedText<12> CountItem(std::int32_t count) {
  const std::int64_t value = count;
  return {value < 0 ? "-" : " ",
          DecimalText(static_cast<std::uint64_t>(value < 0 ? -value : value)), " "};
}

FixedText<8> HexText(std::uint32_t value, int digits) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  if (digits <= 0 || digits > 8) {
    return {};
  }
  char text[8];
  for (int place = 0; place < digits; ++place) {
    text[digits - 1 - place] = kDigits[(value >> (4 * place)) & 0xFu];
  }
  return std::string_view(text, static_cast<std::size_t>(digits));
}

FixedText<kSeparatorHyphens> RepeatChar(int count, char c) {
  if (count <= 0 || count > kSeparatorHyphens) {
    return {};
  }
  char text[kSeparatorHyphens];
  std::memset(text, c, static_cast<std::size_t>(count));
  return std::string_view(text, static_cast<std::size_t>(count));
}

}  // namespace sealmark
