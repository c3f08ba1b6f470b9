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
  EXPECT_EQ(HostSystem().OpenFile("FileCheck.TXT", FileAccess::kRead, FileSharing::kReadWrite,
                                  FileLinks::kFollow),
            FileHandle::kNone);
  writer.Close();
  const FileHandle file = HostSystem().OpenFile("FileCheck.TXT", FileAccess::kRead,
                                                FileSharing::kReadWrite, FileLinks::kFollow);
  EXPECT_NE(file, FileHandle::kNone);
  HostSystem().Close(file);
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
