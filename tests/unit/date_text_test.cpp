#include "host/date_text.h"

#include <gtest/gtest.h>

namespace sealmark {
namespace {

constexpr std::uint64_t kSecond = 10'000'000;
// 6 December 2026, 00:00 UTC, in 100-nanosecond intervals since 1601.
constexpr std::uint64_t kDecember6th2026 = 134'409'888'000'000'000;

std::uint64_t December6th2026At(int hour, int minute, int second) {
  return kDecember6th2026 +
         static_cast<std::uint64_t>(hour * 3600 + minute * 60 + second) * kSecond;
}

TEST(CutDateText, KeepsTheDateAndOneBlank) {
  EXPECT_EQ(CutDateText("12/6/2026 09:05"), "12/6/2026 ");
  EXPECT_EQ(CutDateText("06.12.2026 09:05"), "06.12.2026 ");
  EXPECT_EQ(CutDateText("2026-12-06 09:05"), "2026-12-06 ");
}

TEST(CutDateText, CutsAtTheFirstBlankOfADateWithBlanks) {
  EXPECT_EQ(CutDateText("6. 12. 2026 09:05"), "6. ");
}

TEST(CutDateText, TrimsBlanksOnlyAtBothEnds) {
  EXPECT_EQ(CutDateText("  6/12/2026 09:05  "), "6/12/2026 ");
  EXPECT_EQ(CutDateText(" 09:05"), "");
  EXPECT_EQ(CutDateText("09:05 "), "");
  EXPECT_EQ(CutDateText("   "), "");
  EXPECT_EQ(CutDateText(""), "");
}

TEST(CutDateText, TreatsTabsAndOtherCharactersAsText) {
  EXPECT_EQ(CutDateText("\t6/12/2026 09:05"), "\t6/12/2026 ");
  EXPECT_EQ(CutDateText("6\xA0"
                        "12 09:05"),
            "6\xA0"
            "12 ");
  EXPECT_EQ(CutDateText("6/12/2026\t09:05"), "");
}

TEST(TimeOfDayText, IsTwentyFourHourWithLeadingZeros) {
  EXPECT_EQ(TimeOfDayText(13, 7), "13:07");
  EXPECT_EQ(TimeOfDayText(0, 5), "00:05");
  EXPECT_EQ(TimeOfDayText(23, 59), "23:59");
}

TEST(FileTimeStampText, EndsInTheUtcTimeOfDay) {
  const std::string afternoon = FileTimeStampText(December6th2026At(13, 7, 59));
  const std::string night = FileTimeStampText(December6th2026At(0, 5, 0));
  ASSERT_GE(afternoon.size(), 6u);
  ASSERT_GE(night.size(), 6u);
  EXPECT_EQ(afternoon.substr(afternoon.size() - 6), " 13:07");
  EXPECT_EQ(night.substr(night.size() - 6), " 00:05");
}

TEST(FileDateText, EndsInOneBlankAndHoldsNoTime) {
  const std::string text = FileDateText(December6th2026At(9, 5, 3));
  ASSERT_FALSE(text.empty());
  EXPECT_EQ(text.back(), ' ');
  EXPECT_EQ(text.find("09:05"), std::string::npos);
  EXPECT_FALSE(FileDateText(0).empty());
}

// Such a time has no calendar date; the report then shows no date.
TEST(FileDateText, IsEmptyForATimeWithTheTopBitSet) {
  EXPECT_EQ(FileTimeStampText(0x8000000000000000ull), "");
  EXPECT_EQ(FileDateText(0x8000000000000000ull), "");
  EXPECT_EQ(FileDateText(0xFFFFFFFFFFFFFFFFull), "");
}

TEST(RunDateTextOf, PutsTheMonthFirstWithLeadingZeros) {
  EXPECT_EQ(RunDateTextOf(2026, 12, 6), "12-06-2026");
  EXPECT_EQ(RunDateTextOf(2027, 3, 1), "03-01-2027");
  EXPECT_EQ(RunDateTextOf(2000, 1, 31), "01-31-2000");
  EXPECT_EQ(RunDateTextOf(2100, 10, 10), "10-10-2100");
  EXPECT_EQ(RunDateTextOf(999, 7, 4), "07-04-0999");
}

TEST(RunDateText, HasTheFixedForm) {
  const std::string text = RunDateText();
  ASSERT_EQ(text.size(), 10u);
  EXPECT_EQ(text[2], '-');
  EXPECT_EQ(text[5], '-');
  for (std::size_t i : {0u, 1u, 3u, 4u, 6u, 7u, 8u, 9u}) {
    EXPECT_TRUE(text[i] >= '0' && text[i] <= '9') << text;
  }
}

}  // namespace
}  // namespace sealmark
