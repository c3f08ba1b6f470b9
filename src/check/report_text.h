#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace sealmark {

// The report's file name, in the current folder.
inline constexpr char kReportName[] = "FileCheck.TXT";

// The lines of the report, without their line ends.
inline constexpr char kBlankLine[] = " ";
inline constexpr char kColumnHeader[] =
    " Data\\Folder\\File                     Date         Staus";
inline constexpr char kEmptyLine[] = "";
inline constexpr char kConfirmationLine[] = " The integrity of 43 data files confirmed.";
inline constexpr char kIssueLineStart[] = " Integrity issue with";
inline constexpr char kIssueLineEnd[] = " file(s).";
inline constexpr char kReinstallLine[] = " Reinstall the software to resolve this issue.";

// The title, ending in the run date text.
std::string TitleLine(const std::string& runDate);

std::string OperatingSystemLine(const std::string& operatingSystem);

// A blank and 55 hyphens.
std::string SeparatorLine();

// The name, the date text and "Valid", each field filled with blanks to its
// column (35 for the name, 15 for the date text); a longer field is kept
// whole and the next follows directly.
std::string ValidLine(std::string_view name, const std::string& dateText);

// The name and the checksum text that was found.
std::string MismatchLine(std::string_view name, const std::string& checksumText);

// The count between blanks: " 12 "; a negative count has "-" in place of
// the first blank.
std::string CountItem(std::int32_t count);

// `digits` hexadecimal digits of `value`, most significant first, with
// leading zeros and upper-case letters: HexText(0x3E4DCB5, 8) is "03E4DCB5".
// Digits above the eighth are zeros; no digits gives the empty text.
std::string HexText(std::uint32_t value, int digits);

// `count` copies of `c`; the empty text when `count` is zero or negative.
std::string RepeatChar(int count, char c);

}  // namespace sealmark
