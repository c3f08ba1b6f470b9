#include <fcntl.h>
#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/utsname.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <ctime>
#include <string>

#include "check/report_writer.h"
#include "host/date_text.h"
#include "host/os_text.h"
#include "platform/file_time_conversion.h"
#include "support/platform.h"
#include "support/temp_dir.h"

namespace {

int gStarts = 0;
bool gRefuseFileActions = false;

}  // namespace

// The C library's calls behind the shell request, replaced in this test
// program: a start is only counted, and the set-up of the opener's standard
// streams fails, when told to, as it does when its memory cannot be had.
extern "C" int posix_spawn_file_actions_addopen(posix_spawn_file_actions_t*, int, const char*, int,
                                                mode_t) noexcept {
  return gRefuseFileActions ? ENOMEM : 0;
}
extern "C" int posix_spawnp(pid_t*, const char*, const posix_spawn_file_actions_t*,
                            const posix_spawnattr_t*, char* const[], char* const[]) {
  ++gStarts;
  return 0;
}

namespace sealmark {
namespace {

// 6 December 2026, 09:05:03 UTC, in 100-nanosecond intervals since 1601.
constexpr std::uint64_t kDecember6th2026At090503 = 134'410'215'030'000'000;

TEST(OperatingSystemText, DescribesTheKernel) {
  struct utsname system {};
  ASSERT_EQ(uname(&system), 0);
  const std::string text(OperatingSystemText(HostSystem()));
  const std::string head = std::string(system.sysname) + "; Version - ";
  ASSERT_EQ(text.rfind(head, 0), 0u) << text;
  unsigned major = 0;
  unsigned minor = 0;
  unsigned build = 0;
  int end = 0;
  const std::string numbers = text.substr(head.size());
  ASSERT_EQ(std::sscanf(numbers.c_str(), "%u.%u Build Number - %u%n", &major, &minor, &build, &end),
            3)
      << text;
  EXPECT_EQ(static_cast<std::size_t>(end), numbers.size()) << text;
  EXPECT_EQ(numbers, std::to_string(major) + "." + std::to_string(minor) + " Build Number - " +
                         std::to_string(build));
  EXPECT_EQ(text.find("Windows"), std::string::npos);
}

// The stand-in's short date is the LC_TIME locale's date: in the C locale
// that is MM/DD/YY.
TEST(UserShortDate, ComesFromTheTimeLocale) {
  test::ShortDateFormat format("C");
  EXPECT_EQ(FileTimeStampText(HostSystem(), kDecember6th2026At090503), "12/06/26 09:05");
  EXPECT_EQ(FileDateText(HostSystem(), kDecember6th2026At090503), "12/06/26 ");
  EXPECT_EQ(FileDateText(HostSystem(), 0), "01/01/01 ");
}

// Run with the time zone set nine hours ahead of UTC.
TEST(LocalTimeZone, DateTextShowsTheUtcDay) {
  const std::uint64_t lateOnTheFifth =
      kDecember6th2026At090503 - (9 * 3600 + 5 * 60 + 3 + 1800) * kFileTimeUnitsPerSecond;
  const auto seconds = static_cast<std::time_t>(*PosixSecondsOfFileTime(lateOnTheFifth));
  std::tm local{};
  localtime_r(&seconds, &local);
  ASSERT_EQ(local.tm_mday, 6) << "the time zone of this run is not ahead of UTC";

  test::ShortDateFormat format("C");
  EXPECT_EQ(FileTimeStampText(HostSystem(), lateOnTheFifth), "12/05/26 23:30");
  EXPECT_EQ(FileDateText(HostSystem(), lateOnTheFifth), "12/05/26 ");
}

// A FIFO that a program reads opens without waiting, but is no report.
TEST(ReportWriter, LeavesAFifoThatAProgramReads) {
  const test::TempDir temp;
  const test::CurrentDir current(temp.path());
  ASSERT_TRUE(test::MakeFifo("FileCheck.TXT"));
  const int reader = open("FileCheck.TXT", O_RDONLY | O_NONBLOCK);
  ASSERT_GE(reader, 0);
  ReportWriter writer(HostSystem());
  EXPECT_FALSE(writer.Create(Folder::kCurrent, "FileCheck.TXT"));
  close(reader);
}

// The user's own temporary folder is not taken where others may write it;
// the one new folder made in its place holds every file of the run. Run in
// a process of its own: the host system keeps the folder it found.
TEST(PrivateTemporaryFolder, IsFoundOnceInARun) {
  namespace fs = std::filesystem;
  const test::TempDir shared;
  const test::TemporaryFolder temporary(shared.path());
  const fs::path own = shared.path() / fs::path(test::TemporaryName("x")).parent_path();
  fs::create_directory(own);
  fs::permissions(own, fs::perms::all);
  for (const char* name : {"First.TXT", "Second.TXT"}) {
    HostSystem().Close(HostSystem()
                           .OpenFile(Folder::kTemporary, name, FileAccess::kWrite,
                                     FileSharing::kNone, FileLinks::kNoFollow,
                                     FileCreation::kOpenAlways)
                           .file);
  }
  ASSERT_TRUE(fs::remove(own));  // only where it is empty
  ASSERT_EQ(std::distance(fs::directory_iterator(shared.path()), fs::directory_iterator()), 1);
  const fs::path made = fs::directory_iterator(shared.path())->path();
  EXPECT_TRUE(fs::exists(made / "First.TXT") && fs::exists(made / "Second.TXT"));
}

TEST(OpenWithShell, MakesNoRequestThatCannotBeSetUp) {
  HostSystem().OpenWithShell(Folder::kCurrent, "FileCheck.TXT");
  EXPECT_EQ(gStarts, 1);
  gRefuseFileActions = true;
  HostSystem().OpenWithShell(Folder::kCurrent, "FileCheck.TXT");
  gRefuseFileActions = false;
  EXPECT_EQ(gStarts, 1);
}

}  // namespace
}  // namespace sealmark
