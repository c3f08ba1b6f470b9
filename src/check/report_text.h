#pragma once

#include <algorithm>
#include <cstdint>
#include <string_view>

#include "check/manifest.h"
#include "host/date_text.h"
#include "host/os_text.h"
#include "platform/fixed_text.h"

namespace sealmark {

// The report's file name, in the current folder or the temporary one.
inline constexpr char kReportName[] = "FileCheck.TXT";

// The lines of the report, and the fixed pieces of the title, the
// operating-system line and a valid line, without their line ends.
inline constexpr std::string_view kTitle = " CRC Check of Ombrex_Atlas Data Files    ";
inline constexpr std::string_view kOperatingSystemLabel = " Operating System: ";
inline constexpr std::string_view kValid = "Valid";
inline constexpr char kBlankLine[] = " ";
inline constexpr char kColumnHeader[] =
    " Data\\Folder\\File                     Date         Staus";
inline constexpr char kEmptyLine[] = "";
inline constexpr char kConfirmationLine[] = " The integrity of 43 data files confirmed.";
inline constexpr char kIssueLineStart[] = " Integrity issue with";
inline constexpr char kIssueLineEnd[] = " file(s).";
inline constexpr char kReinstallLine[] = " Reinstall the software to resolve this issue.";

// The widths of the name and date columns of a valid line, and the number of
// hyphens in a separator line, the longest run that RepeatChar makes.
inline constexpr int kNameColumn = 35;
inline constexpr int kDateColumn = 15;
static_assert(kLongestName <= kNameColumn, "every manifest name fits the name column");
inline constexpr int kSeparatorHyphens = 55;

// A line long enough for the longest of the title, the operating-system line
// and a valid line of the longest name and date text, so that every line of
// the report fits; a longer one would be the empty line.
using ReportLine = FixedText<std::max({kTitle.size() + RunDate::kCapacity,
                                       kOperatingSystemLabel.size() + OsText::kCapacity,
                                       1 + kNameColumn + StampText::kCapacity + kValid.size()})>;

// The title, ending in the run date text.
ReportLine TitleLine(std::string_view runDate);

ReportLine OperatingSystemLine(std::string_view operatingSystem);

// A blank and 55 hyphens.
ReportLine SeparatorLine();

// The name, the date text and "Valid", each field filled with blanks to its
// column (35 for the name, 15 for the date text); a longer field is kept
// whole and the next follows directly.
ReportLine ValidLine(std::string_view name, std::string_view dateText);

// The name and the checksum text that was found.
ReportLine MismatchLine(std::string_view name, std::string_view checksumText);

// The count between blanks: " 12 "; a negative count has "-" in place of
// the first blank.
FixedText<12> CountItem(std::int32_t count);

// `digits` hexadecimal digits of `value`, most significant first, with
// leading zeros and upper-case letters: HexText(0x3E4DCB5, 8) is "03E4DCB5".
// No digits, or more than eight, give the empty text.
FixedText<8> HexText(std::uint32_t value, int digits);

// `count` copies of `c`; the empty text when `count` is zero or negative, or
// more than kSeparatorHyphens.
FixedText<kSeparatorHyphens> RepeatChar(int count, char c);

}  // namespace sealmark
