#include "check/run_check.h"

#include <gtest/gtest.h>

#include <stdexcept>

#include "check/data_file.h"
#include "check/manifest.h"
#include "host/date_text.h"
#include "host/os_text.h"
#include "support/expected_report.h"
#include "support/fault_system.h"
#include "support/sample_data.h"
#include "support/temp_dir.h"

namespace sealmark {
namespace {

namespace fs = std::filesystem;

fs::path MakeInstall(const fs::path& root) {
  const std::string problem = test::LayOutSampleInstall(root / "install");
  if (!problem.empty()) {
    throw std::runtime_error(problem);
  }
  return root / "install";
}

// The check run in an intact sample install folder, on the host system with
// faults to switch on; shell requests are recorded, never carried out.
class RunCheckTest : public ::testing::Test {
 protected:
  RunCheckTest() : install_(MakeInstall(temp_.path())), current_(install_) {}

  void TearDown() override { CloseOpenSearch(system_, openSearch_); }

  int Run() {
    runDates_[0] = RunDateText();
    const int result = RunCheck(system_, openSearch_);
    runDates_[1] = RunDateText();
    return result;
  }

  std::string Report() const { return test::FileContent(install_ / "FileCheck.TXT"); }

  // The report of the intact set, with the date texts of the files' records.
  std::string IntactReport(const std::string& runDate) const {
    std::vector<test::ExpectedEntry> entries;
    SystemHandle search = kNoHandle;
    for (int index = 1; index <= kManifestCount; ++index) {
      FindRecord record;
      LookUpFile(HostSystem(), search, "Data\\" + std::string(ManifestName(index)), record);
      entries.push_back({true, FileDateText(LastWriteTime(record))});
    }
    CloseOpenSearch(HostSystem(), search);
    return test::ExpectedReport(runDate, OperatingSystemText(), entries);
  }

  // Whether `matches` holds for the report of either run date.
  template <typename Matches>
  bool ForARunDate(Matches matches) const {
    return matches(IntactReport(runDates_[0])) || matches(IntactReport(runDates_[1]));
  }

  test::TempDir temp_;
  fs::path install_;
  test::CurrentDir current_;
  test::FaultSystem system_;
  SystemHandle openSearch_ = kNoHandle;
  std::string runDates_[2];
};

TEST_F(RunCheckTest, ReportsAnIntactSetAndAsksTheShellToOpenIt) {
  EXPECT_EQ(Run(), 0);
  const std::string report = Report();
  EXPECT_TRUE(ForARunDate([&](const std::string& expected) { return report == expected; }))
      << report;
  EXPECT_EQ(system_.shellRequests, std::vector<std::string>{"FileCheck.TXT"});
}

TEST_F(RunCheckTest, ClosesEveryFileAndLeavesOneSearchOpen) {
  Run();
  // The report and the 43 data files, each opened once and closed.
  EXPECT_EQ(system_.openedWith.size(), 44u);
  EXPECT_EQ(system_.closes, 44);
  EXPECT_NE(openSearch_, kNoHandle);
  EXPECT_EQ(system_.openSearches, 1);
}

TEST_F(RunCheckTest, GoesOnWhenTheDiskFillsUp) {
  system_.diskSpace = 1000;
  EXPECT_EQ(Run(), 0);
  const std::string report = Report();
  EXPECT_EQ(report.size(), 1000u);
  EXPECT_TRUE(
      ForARunDate([&](const std::string& expected) { return report == expected.substr(0, 1000); }));
  EXPECT_EQ(system_.shellRequests.size(), 1u);
}

TEST_F(RunCheckTest, LosesOnlyTheItemWhoseWriteFailed) {
  system_.failingWrites = {1};
  EXPECT_EQ(Run(), 0);
  const std::string report = Report();
  EXPECT_TRUE(ForARunDate([&](const std::string& expected) {
    return report == expected.substr(expected.find("\r\n"));
  })) << report;
}

TEST_F(RunCheckTest, ChecksEveryFileWhenTheReportCannotBeCreated) {
  fs::create_directory(install_ / "FileCheck.TXT");
  EXPECT_EQ(Run(), 0);
  EXPECT_EQ(system_.openedWith.size(), 43u);
  EXPECT_EQ(system_.writes, 0);
  EXPECT_TRUE(fs::is_directory(install_ / "FileCheck.TXT"));
  EXPECT_EQ(system_.shellRequests, std::vector<std::string>{"FileCheck.TXT"});
}

}  // namespace
}  // namespace sealmark
