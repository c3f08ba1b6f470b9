#include "host/date_text.h"

#include <gtest/gtest.h>

#include "platform/file_time_conversion.h"
#include "support/fault_system.h"

namespace sealmark {
namespace {

// 6 December 2026, 00:00 UTC, in 100-nanosecond intervals since 1601.
constexpr std::uint64_t kDecember6th2026 = 134'409'888'000'000'000;

std::uint64_t December6th2026At(int hour, int minute, int second) {
  return kDecember6th2026 +
         static_cast<std::uint64_t>(hour * 3600 + minute * 60 + second) * kFileTimeUnitsPerSecond;
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

// Short dates as M/D/YYYY, whatever the host's settings.
class DateTextTest : public ::testing::Test {
 protected:
  DateTextTest() { system_.monthDayYearDates = true; }
  test::FaultSystem system_;
};

TEST_F(DateTextTest, StampIsTheUtcDateAndTimeOfDay) {
  EXPECT_EQ(FileTimeStampText(system_, December6th2026At(13, 7, 59)), "12/6/2026 13:07");
  EXPECT_EQ(FileTimeStampText(system_, December6th2026At(0, 5, 0)), "12/6/2026 00:05");
  EXPECT_EQ(FileTimeStampText(system_, 0), "1/1/1601 00:00");
}

TEST_F(DateTextTest, DateTextIsTheDateAndOneBlank) {
  EXPECT_EQ(FileDateText(system_, December6th2026At(9, 5, 3)), "12/6/2026 ");
  EXPECT_EQ(FileDateText(system_, 0), "1/1/1601 ");
}

// Such a time has no calendar date; the report then shows no date.
TEST_F(DateTextTest, IsEmptyForATimeWithTheTopBitSet) {
  EXPECT_EQ(FileTimeStampText(system_, 0x8000000000000000ull), "");
  EXPECT_EQ(FileDateText(system_, 0x8000000000000000ull), "");
  EXPECT_EQ(FileDateText(system_, 0xFFFFFFFFFFFFFFFFull), "");
}

TEST(UtcCalendarTime, BreaksAFileTimeIntoItsUtcFields) {
  const auto fields = HostSystem().UtcCalendarTime(December6th2026At(9, 5, 3));
  ASSERT_TRUE(fields.has_value());
  EXPECT_EQ(RunDateTextOf(*fields), "12-06-2026");
  EXPECT_EQ(TimeOfDayText(fields->hour, fields->minute), "09:05");
  EXPECT_EQ(fields->second, 3u);
  EXPECT_EQ(fields->weekday, 0u);  // a Sunday
  const auto first = HostSystem().UtcCalendarTime(0);
  ASSERT_TRUE(first.has_value());
  EXPECT_EQ(RunDateTextOf(*first), "01-01-1601");
  EXPECT_EQ(first->weekday, 1u);  // a Monday
}

TEST(FileTime, CountsFromTheStartOf1601) {
  EXPECT_EQ(FileTimeOfPosixTime(1'796'547'903, 250), December6th2026At(9, 5, 3) + 2);
  EXPECT_EQ(FileTimeOfPosixTime(-kSecondsFrom1601To1970, 0), 0u);
  EXPECT_EQ(FileTimeOfPosixTime(-kSecondsFrom1601To1970 - 1, 0), 0u);
  EXPECT_EQ(PosixSecondsOfFileTime(December6th2026At(9, 5, 3) + 9'999'999), 1'796'547'903);
  EXPECT_EQ(PosixSecondsOfFileTime(0), -kSecondsFrom1601To1970);
  EXPECT_EQ(PosixSecondsOfFileTime(0x8000000000000000ull), std::nullopt);
}

TEST(RunDateTextOf, PutsTheMonthFirstWithLeadingZeros) {
  EXPECT_EQ(RunDateTextOf({2026, 12, 6, 9, 5, 3}), "12-06-2026");
  EXPECT_EQ(RunDateTextOf({2027, 3, 1, 0, 0, 0}), "03-01-2027");
  EXPECT_EQ(RunDateTextOf({2000, 1, 31, 0, 0, 0}), "01-31-2000");
  EXPECT_EQ(RunDateTextOf({2100, 10, 10, 0, 0, 0}), "10-10-2100");
  EXPECT_EQ(RunDateTextOf({999, 7, 4, 0, 0, 0}), "07-04-0999");
}

TEST(RunDateText, IsTheLocalDateOfTheClock) {
  test::FaultSystem system;
  system.localTime = CalendarTime{2027, 3, 14, 23, 59, 59};
  EXPECT_EQ(RunDateText(system), "03-14-2027");
  const std::string text(RunDateText(HostSystem()));
  ASSERT_EQ(text.size(), 10u);
  EXPECT_EQ(text[2], '-');
  EXPECT_EQ(text[5], '-');
  for (std::size_t i : {0u, 1u, 3u, 4u, 6u, 7u, 8u, 9u}) {
    EXPECT_TRUE(text[i] >= '0' && text[i] <= '9') << text;
  }
}

}  // namespace
}  // namespace sealmark
