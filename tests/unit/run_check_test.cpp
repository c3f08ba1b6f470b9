#include "check/run_check.h"

#include <gtest/gtest.h>

#include <stdexcept>

#include "check/manifest.h"
#include "support/allocations.h"
#include "support/expected_report.h"
#include "support/fault_system.h"
#include "support/platform.h"
#include "support/sample_data.h"
#include "support/temp_dir.h"

namespace sealmark {
namespace {

namespace fs = std::filesystem;

// Every data file was last written on 30 June 2026, 12:00 UTC; the run is
// on 14 March 2027 on Windows 10, build 19045, with M/D/YYYY short dates.
constexpr std::uint64_t kJune30th2026AtNoon = 134'272'944'000'000'000;
constexpr char kWindows10[] = "Windows 10; Version - 10.0 Build Number - 19045";

const std::string kIntactReport =
    " CRC Check of Ombrex_Atlas Data Files    03-14-2027\r\n"
    " \r\n"
    " Operating System: Windows 10; Version - 10.0 Build Number - 19045\r\n"
    " \r\n"
    " Data\\Folder\\File                     Date         Staus\r\n"
    " -------------------------------------------------------\r\n"
    " ExtDC.NDX                          6/30/2026      Valid\r\n"
    " GRD_Surface\\Newborn_GrdPl.DAT      6/30/2026      Valid\r\n"
    " Immersion\\Newborn_Imm.DAT          6/30/2026      Valid\r\n"
    " GRD_Volume\\Newborn_Soil_00.DAT     6/30/2026      Valid\r\n"
    " GRD_Volume\\Newborn_Soil_01.DAT     6/30/2026      Valid\r\n"
    " GRD_Volume\\Newborn_Soil_05.DAT     6/30/2026      Valid\r\n"
    " GRD_Volume\\Newborn_Soil_15.DAT     6/30/2026      Valid\r\n"
    " Submersion\\Newborn_Sub.DAT         6/30/2026      Valid\r\n"
    " GRD_Surface\\1-y-old_GrdPl.DAT      6/30/2026      Valid\r\n"
    " Immersion\\1-y-old_Imm.DAT          6/30/2026      Valid\r\n"
    " GRD_Volume\\1-y-old_Soil_00.DAT     6/30/2026      Valid\r\n"
    " GRD_Volume\\1-y-old_Soil_01.DAT     6/30/2026      Valid\r\n"
    " GRD_Volume\\1-y-old_Soil_05.DAT     6/30/2026      Valid\r\n"
    " GRD_Volume\\1-y-old_Soil_15.DAT     6/30/2026      Valid\r\n"
    " Submersion\\1-y-old_Sub.DAT         6/30/2026      Valid\r\n"
    " GRD_Surface\\5-y-old_GrdPl.DAT      6/30/2026      Valid\r\n"
    " Immersion\\5-y-old_Imm.DAT          6/30/2026      Valid\r\n"
    " GRD_Volume\\5-y-old_Soil_00.DAT     6/30/2026      Valid\r\n"
    " GRD_Volume\\5-y-old_Soil_01.DAT     6/30/2026      Valid\r\n"
    " GRD_Volume\\5-y-old_Soil_05.DAT     6/30/2026      Valid\r\n"
    " GRD_Volume\\5-y-old_Soil_15.DAT     6/30/2026      Valid\r\n"
    " Submersion\\5-y-old_Sub.DAT         6/30/2026      Valid\r\n"
    " GRD_Surface\\10-y-old_GrdPl.DAT     6/30/2026      Valid\r\n"
    " Immersion\\10-y-old_Imm.DAT         6/30/2026      Valid\r\n"
    " GRD_Volume\\10-y-old_Soil_00.DAT    6/30/2026      Valid\r\n"
    " GRD_Volume\\10-y-old_Soil_01.DAT    6/30/2026      Valid\r\n"
    " GRD_Volume\\10-y-old_Soil_05.DAT    6/30/2026      Valid\r\n"
    " GRD_Volume\\10-y-old_Soil_15.DAT    6/30/2026      Valid\r\n"
    " Submersion\\10-y-old_Sub.DAT        6/30/2026      Valid\r\n"
    " GRD_Surface\\15-y-old_GrdPl.DAT     6/30/2026      Valid\r\n"
    " Immersion\\15-y-old_Imm.DAT         6/30/2026      Valid\r\n"
    " GRD_Volume\\15-y-old_Soil_00.DAT    6/30/2026      Valid\r\n"
    " GRD_Volume\\15-y-old_Soil_01.DAT    6/30/2026      Valid\r\n"
    " GRD_Volume\\15-y-old_Soil_05.DAT    6/30/2026      Valid\r\n"
    " GRD_Volume\\15-y-old_Soil_15.DAT    6/30/2026      Valid\r\n"
    " Submersion\\15-y-old_Sub.DAT        6/30/2026      Valid\r\n"
    " GRD_Surface\\Adult_GrdPl.DAT        6/30/2026      Valid\r\n"
    " Immersion\\Adult_Imm.DAT            6/30/2026      Valid\r\n"
    " GRD_Volume\\Adult_Soil_00.DAT       6/30/2026      Valid\r\n"
    " GRD_Volume\\Adult_Soil_01.DAT       6/30/2026      Valid\r\n"
    " GRD_Volume\\Adult_Soil_05.DAT       6/30/2026      Valid\r\n"
    " GRD_Volume\\Adult_Soil_15.DAT       6/30/2026      Valid\r\n"
    " Submersion\\Adult_Sub.DAT           6/30/2026      Valid\r\n"
    " -------------------------------------------------------\r\n"
    "\r\n"
    " The integrity of 43 data files confirmed.\r\n";

// An intact install folder of four-byte files.
fs::path MakeInstall(const fs::path& root) {
  const fs::path install = root / "install";
  const std::string problem = test::LayOutSampleInstall(install, test::SampleSizes::kFourBytes);
  for (int index = 1; index <= kManifestCount; ++index) {
    if (!problem.empty() ||
        !test::SetLastWriteTime(test::SamplePath(install, index), kJune30th2026AtNoon)) {
      throw std::runtime_error("cannot lay out the install folder " + problem);
    }
  }
  return install;
}

using ShellRequests = std::vector<std::pair<Folder, std::string>>;
const ShellRequests kShowsTheFoldersReport = {{Folder::kCurrent, "FileCheck.TXT"}};

// What a report's name holds: a folder, a file's content, or nothing.
std::string Holding(const fs::path& path) {
  return fs::is_directory(path) ? "a folder"
         : fs::exists(path)     ? test::FileContent(path)
                                : "nothing";
}

// The check run in an intact install folder, on the host system with a fixed
// clock, version and date format, a temporary folder of its own, and faults
// to switch on; shell requests are recorded, never carried out.
class RunCheckTest : public ::testing::Test {
 protected:
  RunCheckTest()
      : install_(MakeInstall(temp_.path())),
        current_(install_),
        temporary_(temp_.path() / "temporary"),
        temporaryFolder_(temporary_) {
    fs::create_directory(temporary_);
    system_.localTime = CalendarTime{2027, 3, 14, 9, 30, 0};
    system_.version = OsVersion{10, 0, 19045, {}};
    system_.monthDayYearDates = true;
  }

  int Run() { return RunCheck(system_, lookup_); }

  // The allocations of one run.
  int CountAllocations() {
    const test::CountedAllocations counted;
    Run();
    return counted.count();
  }

  std::string Report() const { return test::FileContent(install_ / "FileCheck.TXT"); }

  test::TempDir temp_;
  fs::path install_;
  test::CurrentDir current_;
  fs::path temporary_;
  test::TemporaryFolder temporaryFolder_;
  test::FaultSystem system_;
  FileLookup lookup_{system_};
};

TEST_F(RunCheckTest, ReportsAnIntactSetAndAsksTheShellToOpenIt) {
  EXPECT_EQ(Run(), 0);
  EXPECT_EQ(Report(), kIntactReport);
  EXPECT_EQ(system_.shellRequests, kShowsTheFoldersReport);
}

TEST_F(RunCheckTest, ReportsBadFilesInTheirPlacesAndCountsThem) {
  test::WriteFileContent(test::SamplePath(install_, 18), std::string(4, '\0'));
  fs::remove_all(install_ / "Data" / "Submersion");
  std::vector<test::ExpectedEntry> entries(kManifestCount, {true, "6/30/2026 "});
  entries[17] = {false, "2144DF1C"};
  for (const int index : {8, 15, 22, 29, 36, 43}) {
    entries[static_cast<std::size_t>(index - 1)] = {false, "00000000"};
  }
  EXPECT_EQ(Run(), 0);
  EXPECT_EQ(Report(), test::ExpectedReport("03-14-2027", kWindows10, entries));
}

TEST_F(RunCheckTest, ClosesEveryFileAndLeavesOneSearchOpen) {
  Run();
  // The report and the 43 data files, each opened once and closed.
  EXPECT_EQ(system_.openedWith.size(), 44u);
  EXPECT_EQ(system_.closes, 44);
  EXPECT_EQ(system_.openSearches.size(), 1u);
}

TEST_F(RunCheckTest, GoesOnWhenTheDiskFillsUp) {
  system_.diskSpace = 1000;
  EXPECT_EQ(Run(), 0);
  EXPECT_EQ(Report(), kIntactReport.substr(0, 1000));
  EXPECT_EQ(system_.shellRequests.size(), 1u);
}

TEST_F(RunCheckTest, LosesOnlyTheItemWhoseWriteFailed) {
  system_.failingWrites = {1};
  EXPECT_EQ(Run(), 0);
  EXPECT_EQ(Report(), kIntactReport.substr(kIntactReport.find("\r\n")));
}

// The report goes to the current folder or, where it cannot be written
// there or the shell could not open it there, to the temporary folder, and
// the current folder's is left as it was; the shell is asked to open only
// the report that the run wrote.
TEST_F(RunCheckTest, ShowsTheReportOnlyWhereItWroteIt) {
  struct Row {
    const char* name;
    const char* before;  // the folder's report: a file's content, or a folder
    std::optional<std::uint32_t> reparseTag;
    bool shellCannotOpen;
    bool temporaryFolder;
    std::optional<Folder> written;
  };
  const Row rows[] = {
      {"written in the folder", "earlier\r\n", {}, false, true, Folder::kCurrent},
      {"not created there", "a folder", {}, false, true, Folder::kTemporary},
      {"refused as a symbolic link", "earlier\r\n", 0xA000000C, false, true, Folder::kTemporary},
      {"too deep for the shell", "earlier\r\n", {}, true, true, Folder::kTemporary},
      {"written nowhere", "a folder", {}, false, false, std::nullopt},
  };
  const fs::path report = install_ / "FileCheck.TXT";
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    fs::remove_all(report);
    fs::remove_all(temporary_);
    if (row.temporaryFolder) {
      fs::create_directory(temporary_);
    }
    if (row.before == std::string("a folder")) {
      fs::create_directory(report);
    } else {
      test::WriteFileContent(report, row.before);
    }
    system_.reparseTags.clear();
    if (row.reparseTag) {
      system_.reparseTags["FileCheck.TXT"] = *row.reparseTag;
    }
    system_.shellCannotOpen = row.shellCannotOpen;
    system_.shellRequests.clear();
    system_.readCounts.clear();
    EXPECT_EQ(Run(), 0);
    EXPECT_EQ(system_.readCounts.size(), std::size_t{kManifestCount});
    EXPECT_EQ(Holding(report), row.written == Folder::kCurrent ? kIntactReport : row.before);
    EXPECT_EQ(Holding(temporary_ / test::TemporaryName("FileCheck.TXT")),
              row.written == Folder::kTemporary ? kIntactReport : "nothing");
    EXPECT_EQ(system_.shellRequests,
              (row.written ? ShellRequests{{*row.written, "FileCheck.TXT"}} : ShellRequests{}));
  }
}

// For files of four bytes, one piece of memory serves every file.
TEST_F(RunCheckTest, AllocatesOnlyTheContentBuffer) {
  EXPECT_EQ(CountAllocations(), 1);
  EXPECT_EQ(system_.memoryRequests, std::vector<std::size_t>{ContentBuffer::kPageSize + 4});
}

// Each allocation of a run refused in turn, alone and then with every one
// after it: every data file is still read, into the content buffer's own
// block, and the run writes the intact report and asks the shell to open it.
TEST_F(RunCheckTest, ConfirmsTheSetWhicheverAllocationIsRefused) {
  const int allocations = CountAllocations();
  for (const bool andAfter : {false, true}) {
    for (int refused = 1; refused <= allocations + 1; ++refused) {
      SCOPED_TRACE(testing::Message()
                   << "allocation " << refused << (andAfter ? " and after" : ""));
      fs::remove(install_ / "FileCheck.TXT");
      system_.shellRequests.clear();
      int result = -1;  // when an exception leaves the run
      {
        const test::CountedAllocations refusal(refused, andAfter);
        try {
          result = Run();
        } catch (...) {
        }
      }
      ASSERT_EQ(result, 0);
      EXPECT_EQ(Report(), kIntactReport);
      EXPECT_EQ(system_.shellRequests, kShowsTheFoldersReport);
    }
  }
}

}  // namespace
}  // namespace sealmark
