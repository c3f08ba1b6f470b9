#include <gtest/gtest.h>
#include <zlib.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <sstream>
#include <stdexcept>
#include <thread>

#include "check/manifest.h"
#include "e2e/program_under_test.h"
#include "host/date_text.h"
#include "host/os_text.h"
#include "support/expected_report.h"
#include "support/platform.h"
#include "support/sample_data.h"
#include "support/temp_dir.h"

namespace sealmark::test {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

std::string ChecksumTextOf(const fs::path& file) {
  const std::string content = FileContent(file);
  char text[16];
  std::snprintf(text, sizeof text, "%08lX",
                crc32_z(0, reinterpret_cast<const Bytef*>(content.data()), content.size()));
  return text;
}

// Every file below `folder` with its size and last-write time.
std::string Listing(const fs::path& folder) {
  std::ostringstream listing;
  for (const auto& entry : fs::recursive_directory_iterator(folder)) {
    listing << fs::relative(entry.path(), folder).string() << ' '
            << (entry.is_regular_file() ? entry.file_size() : 0) << ' '
            << entry.last_write_time().time_since_epoch().count() << '\n';
  }
  return listing.str();
}

// Runs the program in a fresh sample install folder, with a temporary
// folder of its own, and checks the report against the one written out from
// its layout. The files are of their full sizes where the data matters, of
// four bytes elsewhere.
class CheckRun : public ::testing::Test {
 protected:
  explicit CheckRun(SampleSizes sizes = SampleSizes::kFourBytes)
      : install_(temp_.path() / "install"),
        shellLog_(temp_.path() / "shell.log"),
        temporary_(temp_.path() / "temporary"),
        temporaryFolder_(temporary_) {
    const std::string problem = LayOutSampleInstall(install_, sizes);
    if (!problem.empty()) {
      throw std::runtime_error(problem);
    }
    fs::create_directory(temporary_);
    SetEnvironment("SEALMARK_SHELL_LOG", shellLog_.string());
  }

  void SetUp() override {
    const std::string problem = WhyTheShellWouldNotStartTheRecorder();
    if (!problem.empty()) {
      GTEST_SKIP() << problem;
    }
  }

  fs::path Entry(int index) const { return SamplePath(install_, index); }

  // Runs `program` in `folder`, the install folder when none is given.
  ProgramRun Run(const std::vector<std::string>& arguments = {},
                 const fs::path& program = gProgramUnderTest, const fs::path& folder = {}) {
    runDates_[0] = RunDateText(HostSystem());
    const ProgramRun run = RunProgram(program, arguments, folder.empty() ? install_ : folder);
    runDates_[1] = RunDateText(HostSystem());
    return run;
  }

  std::vector<ExpectedEntry> IntactEntries() const {
    std::vector<ExpectedEntry> entries;
    for (int index = 1; index <= kManifestCount; ++index) {
      entries.push_back({true, ExpectedDateText(Entry(index))});
    }
    return entries;
  }

  // Changes one byte of entry `index`; the checksum text it has now.
  std::string Alter(int index) const {
    std::string content = FileContent(Entry(index));
    content[content.size() / 2] = static_cast<char>(content[content.size() / 2] ^ 0x5A);
    WriteFileContent(Entry(index), content);
    return ChecksumTextOf(Entry(index));
  }

  std::string Report() const { return FileContent(install_ / "FileCheck.TXT"); }

  void ExpectReport(
      const std::vector<ExpectedEntry>& entries,
      const std::string& operatingSystem = std::string(OperatingSystemText(HostSystem())),
      const fs::path& file = "install/FileCheck.TXT") const {
    const std::string report = FileContent(temp_.path() / file);
    const std::string expected = ExpectedReport(runDates_[0], operatingSystem, entries);
    if (report != expected) {
      EXPECT_EQ(report, ExpectedReport(runDates_[1], operatingSystem, entries));
    }
  }

  // The shell requests recorded so far, waiting up to `patience` for the
  // first one; the shell starts the recorder without waiting for it.
  std::vector<std::string> ShellRequests(std::chrono::milliseconds patience = 10s) const {
    const auto deadline = std::chrono::steady_clock::now() + patience;
    while (!fs::exists(shellLog_) && std::chrono::steady_clock::now() < deadline) {
      std::this_thread::sleep_for(50ms);
    }
    std::this_thread::sleep_for(300ms);
    std::vector<std::string> requests;
    std::istringstream log(FileContent(shellLog_));
    for (std::string line; std::getline(log, line);) {
      requests.push_back(line);
    }
    return requests;
  }

  // One shell request, for the report `file` below the test's folder.
  void ExpectTheShellToOpen(const fs::path& file = "install/FileCheck.TXT") const {
    const std::vector<std::string> requests = ShellRequests();
    ASSERT_EQ(requests.size(), 1u);
    std::error_code error;
    EXPECT_TRUE(fs::equivalent(requests[0], temp_.path() / file, error)) << requests[0];
  }

  // The run's intact report, written to `name` in the temporary folder and
  // shown from there, while the install's report name holds what it held
  // before.
  void ExpectTheReportInTheTemporaryFolder(
      const fs::path& name = TemporaryName("FileCheck.TXT")) const {
    ExpectReport(IntactEntries(), std::string(OperatingSystemText(HostSystem())),
                 "temporary" / name);
    ExpectTheShellToOpen("temporary" / name);
  }

  TempDir temp_;
  fs::path install_;
  fs::path shellLog_;
  fs::path temporary_;
  TemporaryFolder temporaryFolder_;
  ShortDateFormat dateFormat_ = KnownDateFormat();
  std::string runDates_[2];
};

class FullSizeCheckRun : public CheckRun {
 protected:
  FullSizeCheckRun() : CheckRun(SampleSizes::kFull) {}
};

TEST_F(FullSizeCheckRun, ConfirmsAnIntactSet) {
  const ProgramRun run = Run();
  EXPECT_EQ(run.exitCode, 0);
  EXPECT_EQ(run.output, "");
  ExpectReport(IntactEntries());
  const std::string report = Report();
  EXPECT_EQ(std::count(report.begin(), report.end(), '\n'), 52);
  ExpectTheShellToOpen();
}

TEST_F(FullSizeCheckRun, ReportsOneAlteredFileInItsPlace) {
  std::vector<ExpectedEntry> entries = IntactEntries();
  entries[17] = {false, Alter(18)};
  EXPECT_EQ(Run().exitCode, 0);
  ExpectReport(entries);
  EXPECT_NE(Report().find(" Integrity issue with 1  file(s).\r\n"
                          " Reinstall the software to resolve this issue.\r\n"),
            std::string::npos);
  ExpectTheShellToOpen();
}

TEST_F(CheckRun, CountsTwelveAlteredFiles) {
  std::vector<ExpectedEntry> entries = IntactEntries();
  for (int index : {1, 2, 5, 9, 13, 18, 22, 26, 30, 34, 39, 43}) {
    entries[static_cast<std::size_t>(index - 1)] = {false, Alter(index)};
  }
  EXPECT_EQ(Run().exitCode, 0);
  ExpectReport(entries);
  EXPECT_NE(Report().find(" Integrity issue with 12  file(s).\r\n"), std::string::npos);
}

TEST_F(CheckRun, LeavesAMissingFileBehindEmpty) {
  fs::remove(Entry(10));
  std::vector<ExpectedEntry> entries = IntactEntries();
  entries[9] = {false, "00000000"};
  EXPECT_EQ(Run().exitCode, 0);
  ExpectReport(entries);
  ASSERT_TRUE(fs::is_regular_file(Entry(10)));
  EXPECT_EQ(fs::file_size(Entry(10)), 0u);
}

// More than a 32-bit process can hold at once, whatever starts it.
TEST_F(CheckRun, ConfirmsAnIntactFileOfTwoGibibytes) {
  ASSERT_TRUE(MakeSparseSample(install_, 1, 2ull << 30));
  EXPECT_EQ(Run().exitCode, 0);
  ExpectReport(IntactEntries());
}

TEST_F(CheckRun, CreatesNothingForAMissingFolder) {
  fs::remove_all(install_ / "Data" / "Submersion");
  std::vector<ExpectedEntry> entries = IntactEntries();
  for (int index : {8, 15, 22, 29, 36, 43}) {
    entries[static_cast<std::size_t>(index - 1)] = {false, "00000000"};
  }
  EXPECT_EQ(Run().exitCode, 0);
  ExpectReport(entries);
  EXPECT_FALSE(fs::exists(install_ / "Data" / "Submersion"));
}

TEST_F(CheckRun, ShowsTheFirstDayOf1601ForAHiddenFile) {
  if (!AddFileAttribute(Entry(5), kAttributeHidden)) {
    GTEST_SKIP() << "no hidden attribute on this platform";
  }
  std::vector<ExpectedEntry> entries = IntactEntries();
  entries[4] = {true, ExpectedDateTextOfTimeZero()};
  EXPECT_EQ(Run().exitCode, 0);
  ExpectReport(entries);
}

TEST_F(CheckRun, ReplacesALongerEarlierReport) {
  WriteFileContent(install_ / "FileCheck.TXT", std::string(10000, 'x') + "\r\n");
  EXPECT_EQ(Run().exitCode, 0);
  ExpectReport(IntactEntries());
}

TEST_F(CheckRun, LeavesAReadOnlyReportAsItWas) {
  WriteFileContent(install_ / "FileCheck.TXT", "earlier\r\n");
  ReadOnlyFile readOnly(install_ / "FileCheck.TXT");
  if (!readOnly.refusesWrites()) {
    GTEST_SKIP() << "this file system lets every open write";
  }
  EXPECT_EQ(Run().exitCode, 0);
  EXPECT_EQ(Report(), "earlier\r\n");
  ExpectTheReportInTheTemporaryFolder();
}

TEST_F(CheckRun, LeavesAReportHeldByAnotherProgramAsItWas) {
  WriteFileContent(install_ / "FileCheck.TXT", "earlier\r\n");
  {
    ExclusiveHold hold(install_ / "FileCheck.TXT");
    if (!hold.held()) {
      GTEST_SKIP() << "no share modes on this platform";
    }
    EXPECT_EQ(Run().exitCode, 0);
  }
  EXPECT_EQ(Report(), "earlier\r\n");
  ExpectTheReportInTheTemporaryFolder();
}

// What anyone who may write the install folder could leave under the
// report's name: a link to a file outside the install that may not exist,
// a folder, a FIFO that no program reads, or a file of another user's; or
// a folder while the user's own folder in the temporary folder, which every
// user shares, is not the user's alone: another user's folder holding a
// report, a folder that others may write, or a link to a folder outside.
class CheckRunWithSomethingPlantedAsReport : public CheckRun,
                                             public ::testing::WithParamInterface<std::string> {};

TEST_P(CheckRunWithSomethingPlantedAsReport, LeavesItAndAllOutsideTheInstallAsTheyWere) {
  const fs::path outside = temp_.path() / "outside";
  const fs::path target = outside / "precious.txt";
  const fs::path report = install_ / "FileCheck.TXT";
  const fs::path temporaryReport = temporary_ / TemporaryName("FileCheck.TXT");
  const std::string& planted = GetParam();
  const fs::path privateFolder = temporaryReport.parent_path();
  const bool privateFolderTaken = planted.find("Temporary") != std::string::npos;
  if (privateFolderTaken) {
    if (privateFolder == temporary_) {
      GTEST_SKIP() << "the temporary folder is the user's own here: the report goes straight in";
    }
    fs::create_directory(report);
  }
  fs::create_directory(outside);
  if (planted != "SymbolicLinkToAMissingFile") {
    WriteFileContent(target, "not the report\r\n");
  }
  std::error_code error;
  std::string linkProblem;
  if (planted == "HardLink") {
    fs::create_hard_link(target, report, error);
  } else if (planted == "Folder") {
    fs::create_directory(report, error);
  } else if (planted == "Fifo" && !MakeFifo(report)) {
    GTEST_SKIP() << "no FIFOs on this platform";
  } else if (planted == "AnotherUsersFile" || planted == "AnotherUsersTemporaryReport") {
    const fs::path file = planted == "AnotherUsersFile" ? report : temporaryReport;
    fs::create_directories(file.parent_path());
    WriteFileContent(file, "not the report\r\n");
    if (!GiveToAnotherUser(file) || (file != report && !GiveToAnotherUser(privateFolder))) {
      GTEST_SKIP() << "files cannot be given to another user here: on POSIX only root can, and "
                      "on Windows the access-control list, not the owner, decides who writes";
    }
  } else if (planted == "TemporaryFolderThatOthersMayWrite") {
    fs::create_directory(privateFolder);
    fs::permissions(privateFolder, fs::perms::all);
  } else if (planted == "LinkAtTheTemporaryFolder") {
    linkProblem = MakeLink(outside, privateFolder);
  } else if (planted != "Fifo") {
    linkProblem = MakeLink(target, report);
  }
  if (!linkProblem.empty()) {
    GTEST_SKIP() << linkProblem;
  }
  ASSERT_FALSE(error) << error.message();
  const std::string before = Listing(outside);
  const fs::file_type type = fs::symlink_status(report).type();
  const bool link = IsLink(report);

  EXPECT_EQ(Run().exitCode, 0);
  EXPECT_EQ(Listing(outside), before);
  EXPECT_EQ(fs::symlink_status(report).type(), type);
  EXPECT_EQ(IsLink(report), link);
  fs::path written = TemporaryName("FileCheck.TXT");
  if (privateFolderTaken) {
    // Made in a new folder beside the one taken, which is left as it was.
    EXPECT_EQ(FileContent(temporaryReport),
              planted == "AnotherUsersTemporaryReport" ? "not the report\r\n" : "");
    for (const auto& entry : fs::directory_iterator(temporary_)) {
      if (entry.path().filename().string().rfind(written.parent_path().string() + "-", 0) == 0) {
        written = entry.path().filename() / written.filename();
      }
    }
    ASSERT_NE(written, TemporaryName("FileCheck.TXT")) << "no new folder was made";
  }
  ExpectTheReportInTheTemporaryFolder(written);
}

INSTANTIATE_TEST_SUITE_P(Planted, CheckRunWithSomethingPlantedAsReport,
                         ::testing::Values("HardLink", "SymbolicLink", "SymbolicLinkToAMissingFile",
                                           "Folder", "Fifo", "AnotherUsersFile",
                                           "AnotherUsersTemporaryReport",
                                           "TemporaryFolderThatOthersMayWrite",
                                           "LinkAtTheTemporaryFolder"),
                         [](const auto& planted) { return planted.param; });

// What anyone who may write the data set could leave in it: a link from a
// sub-folder or a data file's name to a place outside the install, where
// the files that it names are missing or have been moved. What is there is
// read through it, and nothing is made through it.
struct DataSetLink {
  const char* name;
  const char* linked;  // below Data
  bool moved;          // the linked files are moved to the link's target; else removed
};

class CheckRunWithALinkInTheDataSet : public CheckRun,
                                      public ::testing::WithParamInterface<DataSetLink> {};

TEST_P(CheckRunWithALinkInTheDataSet, ReadsThroughItAndMakesNothingThroughIt) {
  const DataSetLink& link = GetParam();
  const fs::path outside = temp_.path() / "outside";
  const fs::path linked = install_ / "Data" / link.linked;
  std::vector<ExpectedEntry> entries = IntactEntries();
  fs::create_directory(outside);
  if (link.moved) {
    fs::rename(linked, outside / link.linked);
  } else {
    for (int index = 1; index <= kManifestCount; ++index) {
      if (ManifestName(index).rfind(link.linked, 0) == 0) {
        entries[static_cast<std::size_t>(index - 1)] = {false, "00000000"};
      }
    }
    if (fs::is_directory(linked)) {
      fs::create_directory(outside / link.linked);
    }
    fs::remove_all(linked);
  }
  const std::string problem = MakeLink(outside / link.linked, linked);
  if (!problem.empty()) {
    GTEST_SKIP() << problem;
  }
  const std::string before = Listing(outside);

  EXPECT_EQ(Run().exitCode, 0);
  EXPECT_EQ(Listing(outside), before);
  ExpectReport(entries);
}

constexpr DataSetLink kDataSetLinks[] = {{"FolderLinkedOutside", "Submersion", false},
                                         {"DanglingLinkAtAName", "ExtDC.NDX", false},
                                         {"MovedFolderLinkedBack", "Submersion", true}};

INSTANTIATE_TEST_SUITE_P(Linked, CheckRunWithALinkInTheDataSet, ::testing::ValuesIn(kDataSetLinks),
                         [](const auto& row) { return std::string(row.param.name); });

TEST_F(CheckRun, IgnoresItsArguments) {
  const ProgramRun run = Run({"/?", "--help", "Data"});
  EXPECT_EQ(run.exitCode, 0);
  EXPECT_EQ(run.output, "");
  ExpectReport(IntactEntries());
  ExpectTheShellToOpen();
}

// Where the program is started by its full path from another folder (a
// shortcut's own start folder, a prompt, a scheduled task): in the install
// folder, the program lying in a folder of tools beside a decoy Data and an
// old report; or, the program lying in the same folder of tools, in a folder
// that holds nothing; or, the program lying in the install folder, in a
// folder that holds a file named Data.
class CheckRunStartedElsewhere : public CheckRun,
                                 public ::testing::WithParamInterface<std::string> {};

// The folder that holds Data is checked, the start folder before the
// program's, or the start folder where neither does; its report is the one
// shown, and the other folder stays as it was. An install folder that holds
// the program is about 240 characters deep: its deepest data files lie
// beyond MAX_PATH, and its report's path is too long for the Windows shell,
// so that report goes to the temporary folder, leaving the old one there.
TEST_P(CheckRunStartedElsewhere, ChecksTheFolderThatHoldsDataAndShowsItsReport) {
  const bool inTheInstall = GetParam() == "InTheInstallBesideADecoy";
  const bool programInTheInstall = GetParam() == "BesideAFileNamedData";
  const fs::path tools = temp_.path() / "tools";
  const fs::path start = inTheInstall ? install_ : temp_.path() / "elsewhere";
  fs::create_directories(start);
  fs::create_directories(tools / (inTheInstall ? "Data" : ""));
  WriteFileContent(tools / "FileCheck.TXT", "old\r\n");
  if (programInTheInstall) {
    WriteFileContent(start / "Data", "");
    WriteFileContent(install_ / "FileCheck.TXT", "old\r\n");
    const fs::path deep = DeepPath(temp_.path() / "deep", 240);
    fs::rename(install_, deep);
    install_ = deep;
  }
  const fs::path programFolder = programInTheInstall ? install_ : tools;
  const fs::path checked = inTheInstall || programInTheInstall ? install_ : start;
  const fs::path other = checked == programFolder ? start : programFolder;
  fs::copy_file(gProgramUnderTest, programFolder / gProgramUnderTest.filename());
  const std::string before = Listing(other);

  EXPECT_EQ(Run({}, programFolder / gProgramUnderTest.filename(), start).exitCode, 0);
  fs::path report = fs::relative(checked / "FileCheck.TXT", temp_.path());
  if ((checked / "FileCheck.TXT").native().size() > ShellPathLimit()) {
    EXPECT_EQ(FileContent(checked / "FileCheck.TXT"), "old\r\n");
    report = fs::path("temporary") / TemporaryName("FileCheck.TXT");
  }
  ExpectReport(checked == install_
                   ? IntactEntries()
                   : std::vector<ExpectedEntry>(kManifestCount, {false, "00000000"}),
               std::string(OperatingSystemText(HostSystem())), report);
  ExpectTheShellToOpen(report);
  EXPECT_EQ(Listing(other), before);
}

INSTANTIATE_TEST_SUITE_P(StartedBy, CheckRunStartedElsewhere,
                         ::testing::Values("InTheInstallBesideADecoy", "WhereNeitherHoldsData",
                                           "BesideAFileNamedData"),
                         [](const auto& row) { return row.param; });

// Names of Windows libraries that are not among the known DLLs, which
// Windows takes from its own folder whatever the search order.
constexpr const char* kPlantedNames[] = {
    "version.dll", "uxtheme.dll",  "shcore.dll",  "win32u.dll",    "ucrtbase.dll", "dwmapi.dll",
    "propsys.dll", "comctl32.dll", "userenv.dll", "cryptbase.dll", "profapi.dll",  "sspicli.dll"};

// The program, copied into the install folder, finds DLLs there named like
// system libraries, as anything that may write the folder could leave them.
TEST_F(CheckRun, LoadsNoDllPlantedBesideIt) {
  const fs::path planted = gProgramUnderTest.parent_path() / "planted_dll.dll";
#ifdef _WIN32
  ASSERT_TRUE(fs::exists(planted)) << planted << " is missing";
#else
  GTEST_SKIP() << "no DLLs on this platform";
#endif
  const fs::path log = install_ / "planted.log";
  fs::copy_file(planted, install_ / planted.filename());
  ASSERT_TRUE(LoadAndFreeLibrary(install_ / planted.filename()));
  ASSERT_NE(FileContent(log).find("e2e_tests.exe"), std::string::npos)
      << "the planted DLL does not note what loads it";
  fs::remove(log);
  fs::remove(install_ / planted.filename());
  for (const char* name : kPlantedNames) {
    fs::copy_file(planted, install_ / name);
  }
  const fs::path program = install_ / gProgramUnderTest.filename();
  fs::copy_file(gProgramUnderTest, program);

  EXPECT_EQ(Run({}, program).exitCode, 0);
  ExpectReport(IntactEntries());
  ExpectTheShellToOpen();
  EXPECT_EQ(FileContent(log).find(program.filename().string()), std::string::npos)
      << FileContent(log);
}

// A Windows version that Wine can report to the program, the start of the
// operating-system text that the report then carries (none for the versions
// outside the NT family, which the program refuses), and the programs, 32-
// or 64-bit, that it had.
struct WindowsVersion {
  const char* wineName;
  const char* reported;
  bool had32Bit;
  bool had64Bit;
};

constexpr WindowsVersion kWindowsVersions[] = {
    {"win98", nullptr, true, false},
    {"winme", nullptr, true, false},
    // The name goes by the numbers alone, and NT 4.0 has those of Windows 95.
    {"nt40", "Windows 95; Version - 4.0 ", true, false},
    {"win2k", "Windows 2K; Version - 5.0 ", true, false},
    {"winxp", "Windows XP; Version - 5.1 ", true, false},
    {"winxp64", "Windows 2K3; Version - 5.2 ", false, true},
    {"win2003", "Windows 2K3; Version - 5.2 ", true, true},
    {"vista", "Windows Vista; Version - 6.0 ", true, true},
    {"win7", "Windows 7; Version - 6.1 ", true, true},
    {"win8", "Windows 8.0; Version - 6.2 ", true, true},
    {"win81", "Windows 8.1; Version - 6.3 ", true, true},
    {"win10", "Windows 10; Version - 10.0 ", true, true},
};

class CheckRunOn : public CheckRun, public ::testing::WithParamInterface<WindowsVersion> {};

// Each Windows that the program is made for: the NT family gets its check,
// the rest the refusal, with nothing touched.
TEST_P(CheckRunOn, ChecksOrRefusesAsTheWindowsVersionSays) {
  const WindowsVersion& windows = GetParam();
  if (!(sizeof(void*) == 8 ? windows.had64Bit : windows.had32Bit)) {
    GTEST_SKIP() << windows.wineName << " has no programs of this width";
  }
  if (!RunsUnderWine()) {
    GTEST_SKIP() << "only Wine can pretend to be another Windows";
  }
  const RegistryValue version(WineProgramKey(gProgramUnderTest.filename().string()), "Version",
                              windows.wineName);
  ASSERT_TRUE(version.isSet());
  const std::string before = Listing(install_);
  const ProgramRun run = Run();
  if (windows.reported == nullptr) {
    EXPECT_EQ(run.exitCode, 255);
    EXPECT_FALSE(fs::exists(install_ / "FileCheck.TXT"));
    EXPECT_EQ(Listing(install_), before);
    EXPECT_TRUE(ShellRequests(2s).empty());
    return;
  }
  EXPECT_EQ(run.exitCode, 0);
  const std::string report = Report();
  const std::string head = " Operating System: ";
  const std::size_t start = report.find(head) + head.size();
  const std::string operatingSystem = report.substr(start, report.find('\r', start) - start);
  EXPECT_EQ(operatingSystem.rfind(windows.reported, 0), 0u) << operatingSystem;
  ExpectReport(IntactEntries(), operatingSystem);
  ExpectTheShellToOpen();
}

INSTANTIATE_TEST_SUITE_P(Windows, CheckRunOn, ::testing::ValuesIn(kWindowsVersions),
                         [](const auto& row) { return std::string(row.param.wineName); });

}  // namespace
}  // namespace sealmark::test
