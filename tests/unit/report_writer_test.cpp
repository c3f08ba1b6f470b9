#include "check/report_writer.h"

#include <gtest/gtest.h>

#include "support/fault_system.h"
#include "support/platform.h"
#include "support/temp_dir.h"

namespace sealmark {
namespace {

namespace fs = std::filesystem;

class ReportWriterTest : public ::testing::Test {
 protected:
  ReportWriterTest() : current_(temp_.path()) {}

  std::string Report() const { return test::FileContent(temp_.path() / "FileCheck.TXT"); }

  // Creates `name` and writes a title, a count line and an empty line to
  // it: eight items and line ends, seven of them not empty.
  void WriteSampleReport(const std::string& name) {
    ReportWriter writer(system_);
    writer.Create(name);
    writer.Write(" Title");
    writer.EndLine();
    writer.Write(" Issue with");
    writer.WriteCount(3);
    writer.Write("files.");
    writer.EndLine();
    writer.Write("");
    writer.EndLine();
    writer.Close();
  }

  test::TempDir temp_;
  test::CurrentDir current_;
  test::FaultSystem system_;
};

TEST_F(ReportWriterTest, WritesEachItemAndLineEndAsItIs) {
  WriteSampleReport("FileCheck.TXT");
  EXPECT_EQ(Report(), " Title\r\n Issue with 3 files.\r\n\r\n");
  EXPECT_EQ(system_.writes, 7);
  EXPECT_EQ(system_.closes, 1);
}

TEST_F(ReportWriterTest, CutsALongerEarlierReport) {
  test::WriteFileContent(temp_.path() / "FileCheck.TXT", std::string(10000, 'x'));
  ReportWriter writer(system_);
  writer.Create("FileCheck.TXT");
  writer.Write("new");
  writer.EndLine();
  writer.Close();
  EXPECT_EQ(Report(), "new\r\n");
}

TEST_F(ReportWriterTest, HoldsTheReportAgainstOtherOpensWhileOpen) {
  if (!test::HasShareModes()) {
    GTEST_SKIP() << "no share modes on this platform";
  }
  ReportWriter writer(system_);
  writer.Create("FileCheck.TXT");
  const auto openToRead = [] {
    return HostSystem()
        .OpenFile("FileCheck.TXT", FileAccess::kRead, FileSharing::kReadWrite, FileLinks::kFollow,
                  FileCreation::kOpenExisting)
        .file;
  };
  EXPECT_EQ(openToRead(), FileHandle::kNone);
  writer.Close();
  const FileHandle file = openToRead();
  EXPECT_NE(file, FileHandle::kNone);
  HostSystem().Close(file);
}

// What the system keeps about a file that was there decides; a file that
// the open made is the writer's own.
TEST_F(ReportWriterTest, WritesOrLeavesTheFileAsWhatTheSystemKeepsAboutItSays) {
  struct Case {
    const char* name;
    bool earlier;
    bool failFacts;
    std::optional<std::uint32_t> reparseTag;
    const char* report;
    std::size_t opens;
  };
  constexpr char kWritten[] = " Title\r\n Issue with 3 files.\r\n\r\n";
  const Case cases[] = {
      {"nothing known of an earlier report", true, true, std::nullopt, "earlier\r\n", 1},
      {"nothing known of a new file", false, true, std::nullopt, kWritten, 1},
      {"a symbolic link's tag", true, false, 0xA000000C, "earlier\r\n", 1},
      {"a cloud file's tag, opened again", true, false, 0x9000001A, kWritten, 2},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    fs::remove(temp_.path() / "FileCheck.TXT");
    if (c.earlier) {
      test::WriteFileContent(temp_.path() / "FileCheck.TXT", "earlier\r\n");
    }
    system_.failFacts = c.failFacts;
    system_.reparseTag = c.reparseTag;
    system_.openedWith.clear();
    WriteSampleReport("FileCheck.TXT");
    EXPECT_EQ(Report(), c.report);
    EXPECT_EQ(system_.openedWith.size(), c.opens);
  }
}

TEST(NextReportFileStep, WritesAFileOfOneNameThatNamesNoOther) {
  constexpr std::uint32_t kSymbolicLink = 0xA000000C;
  constexpr std::uint32_t kCloudFile = 0x9000001A;
  const auto facts = [](std::uint32_t links, std::uint32_t tag = 0, std::uint64_t index = 42) {
    return FileFacts{tag != 0 ? kAttributeReparsePoint : 0, tag, links, 7, index};
  };
  struct Row {
    const char* name;
    FoundReportFile found;
    std::optional<FileFacts> firstFound;
    ReportFileStep step;
  };
  const Row rows[] = {
      {"one name", {false, facts(1)}, {}, ReportFileStep::kWrite},
      {"two names", {false, facts(2)}, {}, ReportFileStep::kRefuse},
      {"names not counted", {false, facts(0)}, {}, ReportFileStep::kWrite},
      {"a symbolic link", {false, facts(1, kSymbolicLink)}, {}, ReportFileStep::kRefuse},
      {"a cloud file", {false, facts(1, kCloudFile)}, {}, ReportFileStep::kReopen},
      {"its reopen, the same file",
       {false, facts(1, kCloudFile)},
       facts(1, kCloudFile),
       ReportFileStep::kWrite},
      {"its reopen, another file",
       {false, facts(1, kCloudFile, 43)},
       facts(1, kCloudFile),
       ReportFileStep::kRefuse},
      {"a reparse point whose tag cannot be read",
       {false, FileFacts{kAttributeReparsePoint, 0, 1, 7, 42}},
       {},
       ReportFileStep::kRefuse},
      {"a failed query", {false, std::nullopt}, {}, ReportFileStep::kRefuse},
      {"a file that the open made", {true, std::nullopt}, {}, ReportFileStep::kWrite},
  };
  for (const Row& row : rows) {
    EXPECT_EQ(NextReportFileStep(row.found, row.firstFound), row.step) << row.name;
  }
}

TEST_F(ReportWriterTest, WriterThatCouldNotCreateDoesNothing) {
  WriteSampleReport("Missing\\FileCheck.TXT");
  EXPECT_EQ(system_.writes, 0);
  EXPECT_EQ(system_.closes, 0);
  EXPECT_FALSE(fs::exists(temp_.path() / "Missing"));
}

TEST_F(ReportWriterTest, LeavesAReadOnlyEarlierReportAsItWas) {
  test::WriteFileContent(temp_.path() / "FileCheck.TXT", "earlier\r\n");
  test::ReadOnlyFile readOnly(temp_.path() / "FileCheck.TXT");
  if (!readOnly.refusesWrites()) {
    GTEST_SKIP() << "this file system lets every open write";
  }
  WriteSampleReport("FileCheck.TXT");
  EXPECT_EQ(Report(), "earlier\r\n");
  EXPECT_EQ(system_.writes, 0);
}

TEST_F(ReportWriterTest, LeavesAReportHeldByAnotherProgramAsItWas) {
  test::WriteFileContent(temp_.path() / "FileCheck.TXT", "earlier\r\n");
  test::ExclusiveHold hold(temp_.path() / "FileCheck.TXT");
  if (!hold.held()) {
    GTEST_SKIP() << "no share modes on this platform";
  }
  WriteSampleReport("FileCheck.TXT");
  EXPECT_EQ(system_.writes, 0);
  EXPECT_EQ(system_.closes, 0);
}

TEST_F(ReportWriterTest, LosesOnlyTheItemWhoseWriteFailed) {
  system_.failingWrites = {3, 5};
  WriteSampleReport("FileCheck.TXT");
  EXPECT_EQ(Report(), " Title\r\n 3 \r\n\r\n");
  EXPECT_EQ(system_.writes, 7);
}

TEST_F(ReportWriterTest, GoesOnWritingOntoAFullDisk) {
  system_.diskSpace = 10;
  WriteSampleReport("FileCheck.TXT");
  EXPECT_EQ(Report(), " Title\r\n I");
  EXPECT_EQ(system_.writes, 7);
  EXPECT_EQ(system_.closes, 1);
}

TEST_F(ReportWriterTest, ClosesItsFileWhenItGoes) {
  {
    ReportWriter writer(system_);
    writer.Create("FileCheck.TXT");
    writer.Write("x");
  }
  EXPECT_EQ(system_.closes, 1);
  EXPECT_EQ(system_.setEnds, 2);
  EXPECT_EQ(Report(), "x");
}

}  // namespace
}  // namespace sealmark
