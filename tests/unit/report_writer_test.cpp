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
  // it: eight items and line ends, seven of them not empty. Whether it was
  // created.
  bool WriteSampleReport(const std::string& name) {
    ReportWriter writer(system_);
    const bool created = writer.Create(Folder::kCurrent, name);
    writer.Write(" Title");
    writer.EndLine();
    writer.Write(" Issue with");
    writer.WriteCount(3);
    writer.Write("files.");
    writer.EndLine();
    writer.Write("");
    writer.EndLine();
    writer.Close();
    return created;
  }

  test::TempDir temp_;
  test::CurrentDir current_;
  test::FaultSystem system_;
};

TEST_F(ReportWriterTest, WritesEachItemAndLineEndAsItIs) {
  EXPECT_TRUE(WriteSampleReport("FileCheck.TXT"));
  EXPECT_EQ(Report(), " Title\r\n Issue with 3 files.\r\n\r\n");
  EXPECT_EQ(system_.writes, 7);
  EXPECT_EQ(system_.closes, 1);
}

TEST_F(ReportWriterTest, CutsALongerEarlierReport) {
  test::WriteFileContent(temp_.path() / "FileCheck.TXT", std::string(10000, 'x'));
  ReportWriter writer(system_);
  writer.Create(Folder::kCurrent, "FileCheck.TXT");
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
  writer.Create(Folder::kCurrent, "FileCheck.TXT");
  const auto openToRead = [] {
    return HostSystem()
        .OpenFile(Folder::kCurrent, "FileCheck.TXT", FileAccess::kRead, FileSharing::kReadWrite,
                  FileLinks::kFollow, FileCreation::kOpenExisting)
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
  using Opens = std::vector<std::pair<FileLinks, FileCreation>>;
  struct Case {
    const char* name;
    bool earlier;
    bool failFacts;
    std::optional<std::uint32_t> reparseTag;
    const char* report;
    Opens opens;
  };
  constexpr char kWritten[] = " Title\r\n Issue with 3 files.\r\n\r\n";
  const std::pair<FileLinks, FileCreation> first{FileLinks::kNoFollow, FileCreation::kOpenAlways};
  const std::pair<FileLinks, FileCreation> reopen{FileLinks::kFollow, FileCreation::kOpenExisting};
  const Case cases[] = {
      {"nothing known of a new file", false, true, std::nullopt, kWritten, {first}},
      {"a symbolic link's tag", true, false, 0xA000000C, "earlier\r\n", {first}},
      {"a cloud file's tag, opened again", true, false, 0x9000001A, kWritten, {first, reopen}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    fs::remove(temp_.path() / "FileCheck.TXT");
    if (c.earlier) {
      test::WriteFileContent(temp_.path() / "FileCheck.TXT", "earlier\r\n");
    }
    system_.failFacts = c.failFacts;
    system_.reparseTags.clear();
    if (c.reparseTag) {
      system_.reparseTags["FileCheck.TXT"] = *c.reparseTag;
    }
    system_.openedHow.clear();
    EXPECT_EQ(WriteSampleReport("FileCheck.TXT"), std::string(c.report) == kWritten);
    EXPECT_EQ(Report(), c.report);
    EXPECT_EQ(system_.openedHow, c.opens);
  }
}

constexpr std::uint32_t kReparse = kAttributeReparsePoint;
constexpr std::uint32_t kCloud = 0x9000001A;  // a cloud file's tag
const FileFacts kCloudFile{kReparse, kCloud, 1, 7, 42};

TEST(NextReportFileStep, WritesAFileOfOneNameThatNamesNoOther) {
  constexpr auto kWrite = ReportFileStep::kWrite;
  constexpr auto kRefuse = ReportFileStep::kRefuse;
  constexpr std::uint32_t kLink = 0xA000000C;  // a symbolic link's tag
  struct Row {
    const char* name;
    FoundReportFile found;
    ReportFileStep step;
  };
  const Row rows[] = {
      {"one name", {false, FileFacts{0, 0, 1, 7, 42}}, kWrite},
      {"two names", {false, FileFacts{0, 0, 2, 7, 42}}, kRefuse},
      {"names not counted", {false, FileFacts{0, 0, 0, 7, 42}}, kWrite},
      {"another user's", {false, FileFacts{0, 0, 1, 7, 42, true}}, kRefuse},
      {"a symbolic link", {false, FileFacts{kReparse, kLink, 1, 7, 42}}, kRefuse},
      {"a tag that cannot be read", {false, FileFacts{kReparse, 0, 1, 7, 42}}, kRefuse},
      {"a cloud file", {false, kCloudFile}, ReportFileStep::kReopen},
      {"a failed query", {false, std::nullopt}, kRefuse},
      {"a file that the open made", {true, std::nullopt}, kWrite},
  };
  for (const Row& row : rows) {
    EXPECT_EQ(NextReportFileStep(row.found), row.step) << row.name;
  }
}

TEST(IsTheSameFile, OnlyWhenTheReopenFindsTheFirstFileByItsNumber) {
  const FileFacts unnumbered{kReparse, kCloud, 1, 7, 0};
  EXPECT_TRUE(IsTheSameFile(kCloudFile, kCloudFile));
  EXPECT_FALSE(IsTheSameFile(FileFacts{kReparse, kCloud, 1, 7, 43}, kCloudFile));
  EXPECT_FALSE(IsTheSameFile(FileFacts{kReparse, kCloud, 1, 8, 42}, kCloudFile));
  EXPECT_FALSE(IsTheSameFile(FileFacts{kReparse, kCloud, 2, 7, 42}, kCloudFile));
  EXPECT_FALSE(IsTheSameFile(std::nullopt, kCloudFile));
  EXPECT_FALSE(IsTheSameFile(unnumbered, unnumbered));
}

TEST_F(ReportWriterTest, WriterThatCouldNotCreateDoesNothing) {
  EXPECT_FALSE(WriteSampleReport("Missing\\FileCheck.TXT"));
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
    writer.Create(Folder::kCurrent, "FileCheck.TXT");
    writer.Write("x");
  }
  EXPECT_EQ(system_.closes, 1);
  EXPECT_EQ(system_.setEnds, 2);
  EXPECT_EQ(Report(), "x");
}

}  // namespace
}  // namespace sealmark
