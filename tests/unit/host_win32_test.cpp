#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "frame/windows_api.h"
#include "host/date_text.h"
#include "support/short_date_format_win32.h"
#include "support/temp_dir.h"

namespace sealmark {
namespace {

constexpr std::uint64_t kSecond = 10'000'000;
// 6 December 2026, 09:05:03 UTC, in 100-nanosecond intervals since 1601.
constexpr std::uint64_t kDecember6th2026At090503 = 134'410'215'030'000'000;

std::filesystem::path ThisProgramsFolder() {
  wchar_t path[MAX_PATH];
  GetModuleFileNameW(nullptr, path, MAX_PATH);
  return std::filesystem::path(path).parent_path();
}

// Runs os_text_probe with Wine reporting `version` to it; its two lines.
std::string ProbeOperatingSystem(const wchar_t* version) {
  HKEY key;
  RegCreateKeyExW(HKEY_CURRENT_USER, L"Software\\Wine\\AppDefaults\\os_text_probe.exe", 0, nullptr,
                  0, KEY_SET_VALUE, nullptr, &key, nullptr);
  RegSetValueExW(key, L"Version", 0, REG_SZ, reinterpret_cast<const BYTE*>(version),
                 static_cast<DWORD>((wcslen(version) + 1) * sizeof(wchar_t)));

  test::TempDir temp;
  const auto output = temp.path() / "probe.txt";
  std::wstring command = L"\"" + (ThisProgramsFolder() / "os_text_probe.exe").wstring() + L"\" \"" +
                         output.wstring() + L"\"";
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process{};
  if (CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                     &startup, &process)) {
    WaitForSingleObject(process.hProcess, 30000);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
  }
  RegDeleteValueW(key, L"Version");
  RegCloseKey(key);
  return test::FileContent(output);
}

TEST(OperatingSystemText, NamesEachWindowsVersionThatWineReports) {
  struct Case {
    const wchar_t* version;
    const char* expected;
  };
  const Case cases[] = {
      {L"win7", "Windows 7; Version - 6.1 Build Number - 7601\n6.1\n"},
      {L"win8", "Windows 8.0; Version - 6.2 Build Number - 9200\n6.2\n"},
      {L"win81", "Windows 8.1; Version - 6.3 Build Number - 9600\n6.2\n"},
      {L"win10", "Windows 10; Version - 10.0 Build Number - 18362\n6.2\n"},
      {L"winxp64", "Windows 2K3; Version - 5.2 Build Number - 3790\n5.2\n"},
      {L"win2k", "Windows 2K; Version - 5.0 Build Number - 2195\n5.0\n"},
      {L"vista", "Windows Vista; Version - 6.0 Build Number - 6002\n6.0\n"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ProbeOperatingSystem(c.version), c.expected);
  }
}

struct DateCase {
  const wchar_t* format;
  const char* stamp;
  const char* date;
};

TEST(UserShortDate, ShapesTheDateText) {
  const DateCase cases[] = {
      {L"M/d/yyyy", "12/6/2026 09:05", "12/6/2026 "},
      {L"dd.MM.yyyy", "06.12.2026 09:05", "06.12.2026 "},
      {L"yyyy-MM-dd", "2026-12-06 09:05", "2026-12-06 "},
      {L"d. M. yyyy", "6. 12. 2026 09:05", "6. "},
      {L" M/d/yyyy", " 12/6/2026 09:05", "12/6/2026 "},
  };
  for (const DateCase& c : cases) {
    test::ShortDateFormat format(c.format);
    EXPECT_EQ(FileTimeStampText(kDecember6th2026At090503), c.stamp);
    EXPECT_EQ(FileDateText(kDecember6th2026At090503), c.date);
  }
}

TEST(UserShortDate, GivesTimeZeroAsTheFirstDayOf1601) {
  test::ShortDateFormat format(L"M/d/yyyy");
  EXPECT_EQ(FileTimeStampText(0), "1/1/1601 00:00");
  EXPECT_EQ(FileDateText(0), "1/1/1601 ");
}

// The short date has room for 49 characters; a longer one is not made.
TEST(UserShortDate, DropsADateLongerThanFortyNineCharacters) {
  const std::wstring fill(39, L'x');
  {
    test::ShortDateFormat format(L"yyyy-MM-dd'" + fill + L"'");
    EXPECT_EQ(FileTimeStampText(kDecember6th2026At090503),
              "2026-12-06" + std::string(39, 'x') + " 09:05");
  }
  {
    test::ShortDateFormat format(L"yyyy-MM-dd'" + fill + L"x'");
    EXPECT_EQ(FileTimeStampText(kDecember6th2026At090503), " 09:05");
    EXPECT_EQ(FileDateText(kDecember6th2026At090503), "");
  }
}

TEST(UserShortDate, LeavesTheRunDateInItsFixedForm) {
  test::ShortDateFormat format(L"dd.MM.yyyy");
  SYSTEMTIME before;
  GetLocalTime(&before);
  const std::string text = RunDateText();
  SYSTEMTIME after;
  GetLocalTime(&after);
  EXPECT_TRUE(text == RunDateTextOf(before.wYear, before.wMonth, before.wDay) ||
              text == RunDateTextOf(after.wYear, after.wMonth, after.wDay))
      << text;
}

// Run with the time zone set nine hours ahead of UTC.
TEST(LocalTimeZone, DateTextShowsTheUtcDay) {
  const std::uint64_t lateOnTheFifth =
      kDecember6th2026At090503 - (9 * 3600 + 5 * 60 + 3 + 1800) * kSecond;
  const FILETIME utc{static_cast<DWORD>(lateOnTheFifth), static_cast<DWORD>(lateOnTheFifth >> 32)};
  FILETIME local;
  SYSTEMTIME localFields;
  ASSERT_TRUE(FileTimeToLocalFileTime(&utc, &local) && FileTimeToSystemTime(&local, &localFields));
  ASSERT_EQ(localFields.wDay, 6) << "the time zone of this run is not ahead of UTC";

  test::ShortDateFormat format(L"yyyy-MM-dd");
  EXPECT_EQ(FileTimeStampText(lateOnTheFifth), "2026-12-05 23:30");
  EXPECT_EQ(FileDateText(lateOnTheFifth), "2026-12-05 ");
}

}  // namespace
}  // namespace sealmark
