#include "check/report_text.h"

#include <gtest/gtest.h>

namespace sealmark {
namespace {

TEST(HexText, KeepsLeadingZerosAndUpperCase) {
  EXPECT_EQ(HexText(0x03E4DCB5u, 8), "03E4DCB5");
  EXPECT_EQ(HexText(0u, 8), "00000000");
  EXPECT_EQ(HexText(0xFFFFFFFFu, 8), "FFFFFFFF");
  EXPECT_EQ(HexText(0xABCDEF01u, 8), "ABCDEF01");
}

TEST(HexText, FewerDigitsAreTheLowOnesAndMoreThanEightNone) {
  EXPECT_EQ(HexText(0x1A2B3C4Du, 4), "3C4D");
  EXPECT_EQ(HexText(0x1A2B3C4Du, 0), "");
  EXPECT_EQ(HexText(0x1A2B3C4Du, 9), "");
}

TEST(RepeatChar, RepeatsTheCharacter) {
  EXPECT_EQ(RepeatChar(3, '-'), "---");
  EXPECT_EQ(RepeatChar(1, ' '), " ");
  EXPECT_EQ(RepeatChar(55, '-').size(), 55u);
}

// More than the separator's 55 is a text that cannot be made.
TEST(RepeatChar, GivesTheEmptyTextForZeroNegativeAndOverlongCounts) {
  EXPECT_EQ(RepeatChar(0, ' '), "");
  EXPECT_EQ(RepeatChar(-1, ' '), "");
  EXPECT_EQ(RepeatChar(-1000, '-'), "");
  EXPECT_EQ(RepeatChar(56, '-'), "");
}

const std::string kName9 = "ExtDC.NDX";
const std::string kName31 = "GRD_Volume\\10-y-old_Soil_00.DAT";

TEST(FixedText, IsTheEmptyTextWhenItsPiecesDoNotFit) {
  EXPECT_EQ(FixedText<5>({"ab", "cde"}), "abcde");
  EXPECT_TRUE(FixedText<5>({"ab", "cdef"}).empty());
}

TEST(ReportLines, TitleKeepsFourBlanksBeforeTheRunDate) {
  EXPECT_EQ(TitleLine("03-14-2027"), " CRC Check of Ombrex_Atlas Data Files    03-14-2027");
  EXPECT_EQ(TitleLine("").size(), 41u);
}

TEST(ReportLines, HeaderAndSeparatorAreFiftySixWide) {
  const std::string header = kColumnHeader;
  ASSERT_EQ(header.size(), 56u);
  EXPECT_EQ(header.find("Data\\Folder\\File"), 1u);
  EXPECT_EQ(header.find("Date "), 38u);
  EXPECT_EQ(header.find("Staus"), 51u);
  EXPECT_EQ(header.find('\t'), std::string::npos);
  EXPECT_EQ(SeparatorLine(), " " + std::string(55, '-'));
}

TEST(ReportLines, OperatingSystemLineFollowsItsLabelDirectly) {
  EXPECT_EQ(OperatingSystemLine("; Version - 6.4 Build Number - 1"),
            " Operating System: ; Version - 6.4 Build Number - 1");
}

TEST(ReportLines, ValidLineFillsNameAndDateToTheirColumns) {
  EXPECT_EQ(ValidLine(kName9, "6/30/2026 "),
            " ExtDC.NDX" + std::string(26, ' ') + "6/30/2026 " + std::string(5, ' ') + "Valid");
  EXPECT_EQ(ValidLine(kName31, "6/30/2026 "),
            " GRD_Volume\\10-y-old_Soil_00.DAT    6/30/2026      Valid");
  const std::string line(ValidLine(kName31, "12/31/2026 "));
  EXPECT_EQ(line.size(), 56u);
  EXPECT_EQ(line.find("12/31/2026 "), 36u);
  EXPECT_EQ(line.find("Valid"), 51u);
}

TEST(ReportLines, ValidLineNeverCutsALongField) {
  EXPECT_EQ(ValidLine(kName9, ""), " ExtDC.NDX" + std::string(26 + 15, ' ') + "Valid");
  EXPECT_EQ(ValidLine(kName9, "123456789012345"),
            " ExtDC.NDX" + std::string(26, ' ') + "123456789012345Valid");
  EXPECT_EQ(ValidLine(kName9, "1234567890123456").size(), 36u + 16u + 5u);
  const std::string longName(40, 'n');
  EXPECT_EQ(ValidLine(longName, "1/1/2026 "), " " + longName + "1/1/2026       Valid");
}

TEST(ReportLines, MismatchLineCarriesTheFoundChecksumAndNoDate) {
  const std::string line(MismatchLine("GRD_Volume\\5-y-old_Soil_00.DAT", "1A2B3C4D"));
  EXPECT_EQ(line, " GRD_Volume\\5-y-old_Soil_00.DAT may be corrupted; CRC was 1A2B3C4D");
  EXPECT_EQ(line.size(), 36u + 30u);
}

TEST(ReportLines, CountItemHasOneBlankOnEachSide) {
  EXPECT_EQ(CountItem(1), " 1 ");
  EXPECT_EQ(CountItem(12), " 12 ");
  EXPECT_EQ(CountItem(0), " 0 ");
  EXPECT_EQ(CountItem(2147483647), " 2147483647 ");
  EXPECT_EQ(CountItem(-5), "-5 ");
  EXPECT_EQ(CountItem(-2147483647 - 1), "-2147483648 ");
  EXPECT_EQ(ReportLine({kIssueLineStart, CountItem(12), kIssueLineEnd}),
            " Integrity issue with 12  file(s).");
}

}  // namespace
}  // namespace sealmark
