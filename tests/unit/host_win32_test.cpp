#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <utility>

#include "check/crc32_forms.h"
#include "host/date_text.h"
#include "platform/file_time_conversion.h"
#include "platform/system_libraries_win32.h"
#include "platform/system_win32.h"
#include "platform/windows_api.h"
#include "support/platform.h"
#include "support/temp_dir.h"

namespace sealmark {
namespace {

// 6 December 2026, 09:05:03 UTC, in 100-nanosecond intervals since 1601.
constexpr std::uint64_t kDecember6th2026At090503 = 134'410'215'030'000'000;

std::filesystem::path ThisProgramsFolder() {
  wchar_t path[MAX_PATH];
  GetModuleFileNameW(nullptr, path, MAX_PATH);
  return std::filesystem::path(path).parent_path();
}

// What os_text_probe prints with Wine reporting `version` to it.
std::string ProbeOperatingSystem(const std::string& version) {
  const test::RegistryValue reported(test::WineProgramKey("os_text_probe.exe"), "Version", version);
  EXPECT_TRUE(reported.isSet());
  const test::TempDir folder;
  return test::RunProgram(ThisProgramsFolder() / "os_text_probe.exe", {}, folder.path()).output;
}

TEST(OperatingSystemText, NamesEachWindowsVersionThatWineReports) {
  if (!test::RunsUnderWine()) {
    GTEST_SKIP() << "only Wine can pretend to be another Windows";
  }
  struct Case {
    const char* version;
    const char* expected;
  };
  const Case cases[] = {
      {"win7", "Windows 7; Version - 6.1 Build Number - 7601\n6.1\n"},
      {"win8", "Windows 8.0; Version - 6.2 Build Number - 9200\n6.2\n"},
      {"win81", "Windows 8.1; Version - 6.3 Build Number - 9600\n6.2\n"},
      {"win10", "Windows 10; Version - 10.0 Build Number - 18362\n6.2\n"},
      {"winxp64", "Windows 2K3; Version - 5.2 Build Number - 3790\n5.2\n"},
      {"win2k", "Windows 2K; Version - 5.0 Build Number - 2195\n5.0\n"},
      {"vista", "Windows Vista; Version - 6.0 Build Number - 6002\n6.0\n"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ProbeOperatingSystem(c.version), c.expected);
  }
}

// What an older Windows' kernel32 lacks: the mount point calls (before
// Windows 2000), IsProcessorFeaturePresent (Windows 95), or its answer for
// SSE2 (before XP).
struct OlderKernel {
  const char* windows;
  bool mountPoints;
  bool featureQuery;
  bool sse2Feature;
};

const OlderKernel* gKernel = nullptr;

BOOL WINAPI NoFeatures(DWORD) {
  return FALSE;
}

FARPROC OlderKernelEntry(const char* name) {
  const std::string entry = name;
  if (entry == "GetVolumeNameForVolumeMountPointW" && !gKernel->mountPoints) {
    return nullptr;
  }
  if (entry == "IsProcessorFeaturePresent" && !gKernel->sse2Feature) {
    using Generic = void (*)();
    return gKernel->featureQuery ? reinterpret_cast<FARPROC>(reinterpret_cast<Generic>(NoFeatures))
                                 : nullptr;
  }
  return GetProcAddress(GetModuleHandleA("kernel32.dll"), name);
}

// Whether the report's open stops at a link, and whether the SSE2 form is
// taken, as each kernel32 has it.
TEST(OlderWindows, OpenTheLinkItselfAndTakeSse2OnlyWhereTheirKernelSaysSo) {
  const OlderKernel kernels[] = {
      {"as Wine has it", true, true, true},
      {"Windows 2000", true, true, false},
      {"Windows NT 4.0", false, true, false},
      {"Windows 95", false, false, false},
  };
  for (const OlderKernel& kernel : kernels) {
    SCOPED_TRACE(kernel.windows);
    gKernel = &kernel;
    const KernelLookup previous = SetKernelLookup(OlderKernelEntry);
    constexpr DWORD kOpen = FILE_ATTRIBUTE_NORMAL | SECURITY_SQOS_PRESENT | SECURITY_IDENTIFICATION;
    EXPECT_EQ(FlagsAndAttributes(FileLinks::kNoFollow),
              kOpen | (kernel.mountPoints ? FILE_FLAG_OPEN_REPARSE_POINT : 0));
    EXPECT_EQ(FlagsAndAttributes(FileLinks::kFollow), kOpen);
    EXPECT_EQ(Crc32FormRunsHere(Crc32Form::kSse2),
              kernel.sse2Feature && __builtin_cpu_supports("sse2") != 0);
    SetKernelLookup(previous);
  }
}

// The shell is asked to open a report in the current folder whose full path
// has at most 250 units.
TEST(ShellCanOpen, AReportPathOfUpTo250Units) {
  const test::TempDir temp;
  for (const std::size_t length : {236u, 237u}) {
    const std::filesystem::path folder = test::DeepPath(temp.path() / "f", length);
    std::filesystem::create_directory(folder);
    const test::CurrentDir current(folder);
    EXPECT_EQ(HostSystem().ShellCanOpen("FileCheck.TXT"), length == 236) << length;
  }
}

struct DateCase {
  const char* format;
  const char* stamp;
  const char* date;
};

// A path that stays below MAX_PATH joined to the current folder goes as it
// is; from MAX_PATH on it goes whole, in the \\?\ form, \\?\UNC\ on a share.
TEST(SystemPathForm, NamesAPathThatReachesMaxPathWhole) {
  const std::wstring data = L"Data\\GRD_Volume\\10-y-old_Soil_00.DAT";
  const std::wstring deep(220, L'd');  // C:\ and 220 units, then \ and the path: MAX_PATH units
  const std::pair<std::wstring, std::wstring> rows[] = {
      {L"C:\\Ombrex_Atlas", data},
      {L"C:\\" + deep.substr(1), data},
      {L"C:\\" + deep, L"\\\\?\\C:\\" + deep + L"\\" + data},
      {L"\\\\server\\share\\" + deep, L"\\\\?\\UNC\\server\\share\\" + deep + L"\\" + data},
      {L"\\\\?\\C:\\" + deep, L"\\\\?\\C:\\" + deep + L"\\" + data},
      {L"\\\\.\\C:\\" + deep, L"\\\\?\\C:\\" + deep + L"\\" + data},
  };
  wchar_t form[600];
  for (const auto& [current, expected] : rows) {
    EXPECT_EQ(SystemPathForm(current, data, form, 599), expected.size());
    EXPECT_EQ(std::wstring(form), expected);
  }
  EXPECT_EQ(SystemPathForm(L"C:\\" + deep, data, form, 259), 0u);
  EXPECT_EQ(form[0], L'\0');
}

// The program's folder, and its Data as it is asked about: only a whole
// path of its file gives it, without a \\?\ or \\.\ prefix, and Wine's form
// of a share is read as the share.
TEST(WholeProgramFolder, TakesOnlyAWholePathOfTheProgramsFile) {
  const std::wstring deep(251, L'd');  // C:\, 251 units and \: Data reaches MAX_PATH - 1
  std::wstring rows[][3] = {
      {L"C:\\Atlas\\Sealmark.exe", L"C:\\Atlas\\", L"C:\\Atlas\\Data"},
      {L"\\\\server\\share\\Atlas\\Sealmark.exe", L"\\\\server\\share\\Atlas\\",
       L"\\\\server\\share\\Atlas\\Data"},
      {L"UNC\\server\\share\\Atlas\\Sealmark.exe", L"\\\\server\\share\\Atlas\\",
       L"\\\\server\\share\\Atlas\\Data"},
      {L"\\\\?\\C:\\Atlas\\Sealmark.exe", L"C:\\Atlas\\", L"C:\\Atlas\\Data"},
      {L"\\\\.\\C:\\Atlas\\Sealmark.exe", L"C:\\Atlas\\", L"C:\\Atlas\\Data"},
      {L"\\\\?\\UNC\\server\\share\\Atlas\\Sealmark.exe", L"\\\\server\\share\\Atlas\\",
       L"\\\\server\\share\\Atlas\\Data"},
      {L"C:\\Sealmark.exe", L"C:\\", L"C:\\Data"},
      {L"\\\\server\\share\\Sealmark.exe", L"\\\\server\\share\\", L"\\\\server\\share\\Data"},
      {L"C:\\" + deep + L"\\Sealmark.exe", L"C:\\" + deep + L"\\", L"C:\\" + deep + L"\\Data"},
      {L"\\\\?\\C:\\" + deep + L"d\\Sealmark.exe", L"C:\\" + deep + L"d\\",
       L"\\\\?\\C:\\" + deep + L"d\\Data"},
      {L"\\\\?\\Volume{1}\\Atlas\\Sealmark.exe", L"\\\\?\\Volume{1}\\Atlas\\",
       L"\\\\?\\Volume{1}\\Atlas\\Data"},
      {L"Atlas\\Sealmark.exe", L"", L""},
      {L"\\Atlas\\Sealmark.exe", L"", L""},
      {L"C:Sealmark.exe", L"", L""},
  };
  for (auto& [file, folder, data] : rows) {
    SCOPED_TRACE(testing::Message() << file);
    const std::wstring_view found = WholeProgramFolder(file.data(), file.size());
    EXPECT_EQ(found.empty() ? L"" : std::wstring(found.data()), folder);
    wchar_t form[600];
    EXPECT_EQ(found.empty() ? L"" : std::wstring(form, WholePathForm(found, L"Data", form, 599)),
              data);
  }
}

TEST(UserShortDate, ShapesTheDateText) {
  const DateCase cases[] = {
      {"M/d/yyyy", "12/6/2026 09:05", "12/6/2026 "},
      {"dd.MM.yyyy", "06.12.2026 09:05", "06.12.2026 "},
      {"yyyy-MM-dd", "2026-12-06 09:05", "2026-12-06 "},
      {"d. M. yyyy", "6. 12. 2026 09:05", "6. "},
      {" M/d/yyyy", " 12/6/2026 09:05", "12/6/2026 "},
  };
  for (const DateCase& c : cases) {
    test::ShortDateFormat format(c.format);
    EXPECT_EQ(FileTimeStampText(HostSystem(), kDecember6th2026At090503), c.stamp);
    EXPECT_EQ(FileDateText(HostSystem(), kDecember6th2026At090503), c.date);
  }
}

TEST(UserShortDate, GivesTimeZeroAsTheFirstDayOf1601) {
  test::ShortDateFormat format("M/d/yyyy");
  EXPECT_EQ(FileTimeStampText(HostSystem(), 0), "1/1/1601 00:00");
  EXPECT_EQ(FileDateText(HostSystem(), 0), "1/1/1601 ");
}

// The short date has room for 49 characters; a longer one is not made.
TEST(UserShortDate, DropsADateLongerThanFortyNineCharacters) {
  const std::string fill(39, 'x');
  {
    test::ShortDateFormat format("yyyy-MM-dd'" + fill + "'");
    EXPECT_EQ(FileTimeStampText(HostSystem(), kDecember6th2026At090503),
              "2026-12-06" + std::string(39, 'x') + " 09:05");
  }
  {
    test::ShortDateFormat format("yyyy-MM-dd'" + fill + "x'");
    EXPECT_EQ(FileTimeStampText(HostSystem(), kDecember6th2026At090503), " 09:05");
    EXPECT_EQ(FileDateText(HostSystem(), kDecember6th2026At090503), "");
  }
}

TEST(UserShortDate, LeavesTheRunDateInItsFixedForm) {
  test::ShortDateFormat format("dd.MM.yyyy");
  const CalendarTime before = HostSystem().LocalTime();
  const std::string text(RunDateText(HostSystem()));
  const CalendarTime after = HostSystem().LocalTime();
  EXPECT_TRUE(RunDateTextOf(before) == text || RunDateTextOf(after) == text) << text;
}

// Run with the time zone set nine hours ahead of UTC.
TEST(LocalTimeZone, DateTextShowsTheUtcDay) {
  const std::uint64_t lateOnTheFifth =
      kDecember6th2026At090503 - (9 * 3600 + 5 * 60 + 3 + 1800) * kFileTimeUnitsPerSecond;
  const FILETIME utc{static_cast<DWORD>(lateOnTheFifth), static_cast<DWORD>(lateOnTheFifth >> 32)};
  FILETIME local;
  SYSTEMTIME localFields;
  ASSERT_TRUE(FileTimeToLocalFileTime(&utc, &local) && FileTimeToSystemTime(&local, &localFields));
  if (localFields.wDay != 6) {
    GTEST_SKIP() << "the time zone is not ahead of UTC here: Wine takes it from TZ, which ctest "
                    "sets, and Windows from the machine's setting, which the tests leave alone";
  }

  test::ShortDateFormat format("yyyy-MM-dd");
  EXPECT_EQ(FileTimeStampText(HostSystem(), lateOnTheFifth), "2026-12-05 23:30");
  EXPECT_EQ(FileDateText(HostSystem(), lateOnTheFifth), "2026-12-05 ");
}

}  // namespace
}  // namespace sealmark
