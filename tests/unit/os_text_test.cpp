#include "host/os_text.h"

#include <gtest/gtest.h>

namespace sealmark {
namespace {

TEST(VersionName, NamesEveryKnownVersion) {
  EXPECT_EQ(VersionName(4, 0), "Windows 95");
  EXPECT_EQ(VersionName(4, 10), "Windows 98");
  EXPECT_EQ(VersionName(4, 90), "Windows ME");
  EXPECT_EQ(VersionName(5, 0), "Windows 2K");
  EXPECT_EQ(VersionName(5, 1), "Windows XP");
  EXPECT_EQ(VersionName(5, 2), "Windows 2K3");
  EXPECT_EQ(VersionName(6, 0), "Windows Vista");
  EXPECT_EQ(VersionName(6, 1), "Windows 7");
  EXPECT_EQ(VersionName(6, 2), "Windows 8.0");
  EXPECT_EQ(VersionName(6, 3), "Windows 8.1");
  EXPECT_EQ(VersionName(10, 0), "Windows 10");
}

TEST(VersionName, CallsEveryOther3xAnd4xWindowsNt) {
  for (std::uint32_t minor : {0u, 1u, 51u, 0xFFFFFFFFu}) {
    EXPECT_EQ(VersionName(3, minor), "Windows NT") << "3." << minor;
  }
  for (std::uint32_t minor : {1u, 9u, 11u, 89u, 91u, 0xFFFFFFFFu}) {
    EXPECT_EQ(VersionName(4, minor), "Windows NT") << "4." << minor;
  }
}

TEST(VersionName, IsEmptyForUnknownNumbers) {
  const std::pair<std::uint32_t, std::uint32_t> unknown[] = {
      {6, 4}, {5, 3}, {10, 1}, {11, 0}, {0, 0}, {2, 0}, {7, 0}, {0xFFFFFFFFu, 0}};
  for (const auto& [major, minor] : unknown) {
    EXPECT_EQ(VersionName(major, minor), "") << major << "." << minor;
  }
}

TEST(JoinOperatingSystemText, WritesEveryNumberWholeInDecimal) {
  EXPECT_EQ(JoinOperatingSystemText("Windows 10", 10, 0, 19045),
            "Windows 10; Version - 10.0 Build Number - 19045");
  EXPECT_EQ(JoinOperatingSystemText("Windows 7", 6, 1, 0x80000000u),
            "Windows 7; Version - 6.1 Build Number - 2147483648");
  EXPECT_EQ(JoinOperatingSystemText("", 6, 4, 0x00010005u), "; Version - 6.4 Build Number - 65541");
  EXPECT_EQ(JoinOperatingSystemText("", 0xFFFFFFFFu, 0, 0xFFFFFFFFu),
            "; Version - 4294967295.0 Build Number - 4294967295");
}

TEST(JoinOperatingSystemText, GivesZerosForAQueryThatFilledNothing) {
  EXPECT_EQ(JoinOperatingSystemText(VersionName(0, 0), 0, 0, 0),
            "; Version - 0.0 Build Number - 0");
}

}  // namespace
}  // namespace sealmark
