#include "check/data_file.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <cstring>
#include <map>
#include <set>

#include "check/crc32.h"
#include "platform/file_time_conversion.h"
#include "support/fault_system.h"
#include "support/platform.h"
#include "support/random_bytes.h"
#include "support/temp_dir.h"

namespace sealmark {
namespace {

namespace fs = std::filesystem;
using test::FaultSystem;

constexpr std::uint64_t kMinute = 60 * kFileTimeUnitsPerSecond;

bool IsZero(const FindRecord& record) {
  FindRecord zero;
  std::memset(&zero, 0, sizeof zero);
  return std::memcmp(&record, &zero, sizeof record) == 0;
}

// A temporary install folder, made current, with Data\Sub in it.
class DataFileTest : public ::testing::Test {
 protected:
  DataFileTest() : current_(temp_.path()) { fs::create_directories(temp_.path() / "Data" / "Sub"); }

  fs::path Place(const std::string& name) const { return temp_.path() / "Data" / "Sub" / name; }

  fs::path Stage(const std::string& name, const std::string& content) const {
    test::WriteFileContent(Place(name), content);
    return Place(name);
  }

  // The content read into the test's one buffer.
  std::string Read(const std::string& path) {
    ReadWholeFile(system_, path, content_);
    return std::string(reinterpret_cast<const char*>(content_.data()), content_.size());
  }

  FindRecord LookUp(const std::string& path) {
    FindRecord record;
    std::memset(&record, 0xCD, sizeof record);
    lookup_.LookUpFile(path, record);
    return record;
  }

  test::TempDir temp_;
  test::CurrentDir current_;
  FaultSystem system_;
  ContentBuffer content_;
  FileLookup lookup_{system_};
};

TEST_F(DataFileTest, ReadsAnOrdinaryFileWholeAndUnchanged) {
  const std::string content("\x00\x1A\r\r\nA\x1A\x00\xFF\r", 10);
  const fs::path path = Stage("Plain.DAT", content);
  const auto writtenBefore = fs::last_write_time(path);

  EXPECT_EQ(Read("Data\\Sub\\Plain.DAT"), content);
  EXPECT_EQ(system_.openedWith, std::vector<FileAccess>{FileAccess::kReadWrite});
  EXPECT_EQ(system_.closes, 1);

  EXPECT_EQ(test::FileContent(path), content);
  EXPECT_EQ(fs::file_size(path), content.size());
  EXPECT_EQ(fs::last_write_time(path), writtenBefore);
}

TEST_F(DataFileTest, ReadsAOneByteFile) {
  Stage("One.DAT", "\x1A");
  EXPECT_EQ(Read("Data\\Sub\\One.DAT"), std::string("\x1A"));
}

TEST_F(DataFileTest, FindsTheRecordOfAnOrdinaryFile) {
  const std::uint64_t before = test::NowAsFileTime();
  Stage("Plain.DAT", "content");
  const FindRecord record = LookUp("Data\\Sub\\Plain.DAT");

  EXPECT_EQ(test::RecordName(record), "Plain.DAT");
  EXPECT_GE(LastWriteTime(record), before - kMinute);
  EXPECT_LE(LastWriteTime(record), test::NowAsFileTime() + kMinute);
}

TEST_F(DataFileTest, ReadsAReadOnlyFileThroughTheSecondAttempt) {
  const fs::path path = Stage("Locked.DAT", "read me");
  const auto writtenBefore = fs::last_write_time(path);
  test::ReadOnlyFile readOnly(path);
  if (!readOnly.refusesWrites()) {
    GTEST_SKIP() << "this file system lets every open write";
  }

  EXPECT_EQ(Read("Data\\Sub\\Locked.DAT"), std::string("read me"));
  EXPECT_EQ(system_.openedWith, std::vector<FileAccess>{FileAccess::kRead});
  EXPECT_EQ(system_.closes, 1);
  EXPECT_EQ(test::RecordName(LookUp("Data\\Sub\\Locked.DAT")), "Locked.DAT");
  EXPECT_EQ(fs::last_write_time(path), writtenBefore);
}

TEST_F(DataFileTest, FileHeldWithoutSharingGivesNoContentButItsRecord) {
  const fs::path path = Stage("Held.DAT", "held");
  test::ExclusiveHold hold(path);
  if (!hold.held()) {
    GTEST_SKIP() << "no share modes on this platform";
  }

  EXPECT_TRUE(Read("Data\\Sub\\Held.DAT").empty());
  EXPECT_TRUE(system_.openedWith.empty());
  EXPECT_EQ(test::RecordName(LookUp("Data\\Sub\\Held.DAT")), "Held.DAT");
}

// A file that the user may not read is not missing: nothing is made in its
// place.
TEST_F(DataFileTest, FileTheUserMayNotReadGivesNoContentButItsRecord) {
  const fs::path path = Stage("Denied.DAT", "denied");
  {
    test::UnreadableFile denied(path);
    if (!denied.refusesReads()) {
      GTEST_SKIP() << "this user reads every file here (root, or Wine run by root)";
    }
    EXPECT_TRUE(Read("Data\\Sub\\Denied.DAT").empty());
    EXPECT_TRUE(system_.openedWith.empty());
    EXPECT_EQ(test::RecordName(LookUp("Data\\Sub\\Denied.DAT")), "Denied.DAT");
  }
  EXPECT_EQ(test::FileContent(path), "denied");
}

TEST_F(DataFileTest, EmptyFileGivesNoContentAndItsOwnRecord) {
  Stage("Empty.DAT", "");
  EXPECT_TRUE(Read("Data\\Sub\\Empty.DAT").empty());
  EXPECT_TRUE(system_.readCounts.empty());
  const FindRecord record = LookUp("Data\\Sub\\Empty.DAT");
  EXPECT_EQ(test::RecordName(record), "Empty.DAT");
  EXPECT_NE(LastWriteTime(record), 0u);
}

// A missing file is left behind empty, with the time of the read, where no
// link is on its way: a reparse point that names another file at Data or at
// its folder. A cloud folder's reparse point names none. Data and its folder
// are held open while the file is made.
TEST_F(DataFileTest, MissingFileIsLeftBehindEmptyWhereNoLinkIsOnItsWay) {
  struct Row {
    const char* name;
    std::map<std::string, std::uint32_t> reparseTags;
    bool made;
  };
  const Row rows[] = {
      {"no link", {}, true},
      {"Data a symbolic link", {{"Data", 0xA000000C}}, false},
      {"its folder a junction", {{"Data\\Sub", 0xA0000003}}, false},
      {"its folder a cloud folder", {{"Data\\Sub", 0x9000001A}}, true},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    fs::remove(Place("Missing.DAT"));
    system_.reparseTags = row.reparseTags;
    system_.openWhenMade = 0;
    const std::uint64_t before = test::NowAsFileTime();
    EXPECT_TRUE(Read("Data\\Sub\\Missing.DAT").empty());
    EXPECT_EQ(fs::is_regular_file(fs::symlink_status(Place("Missing.DAT"))), row.made);
    if (row.made) {
      EXPECT_EQ(system_.openWhenMade, 2u);  // Data and Data\Sub
      EXPECT_EQ(fs::file_size(Place("Missing.DAT")), 0u);
      const FindRecord record = LookUp("Data\\Sub\\Missing.DAT");
      EXPECT_EQ(test::RecordName(record), "Missing.DAT");
      EXPECT_GE(LastWriteTime(record), before - kMinute);
      EXPECT_LE(LastWriteTime(record), test::NowAsFileTime() + kMinute);
    }
  }
}

// Nor is anything made through a link at the missing file's own name.
TEST_F(DataFileTest, MissingFileIsNotMadeThroughALinkAtItsName) {
  const fs::path target = temp_.path() / "Target.DAT";
  const std::string problem = test::MakeLink(target, Place("Missing.DAT"));
  if (!problem.empty()) {
    GTEST_SKIP() << problem;
  }
  EXPECT_TRUE(Read("Data\\Sub\\Missing.DAT").empty());
  EXPECT_FALSE(fs::exists(target));
  EXPECT_TRUE(test::IsLink(Place("Missing.DAT")));
}

// A held folder can be neither renamed nor removed, so no link can take its
// place while a file is made in it.
TEST_F(DataFileTest, HeldFolderCannotBeMovedAway) {
  if (!test::HasShareModes()) {
    GTEST_SKIP() << "no share modes on this platform";
  }
  const FileHandle held = system_.OpenFolder(FileHandle::kNone, "Data\\Sub");
  ASSERT_NE(held, FileHandle::kNone);
  std::error_code error;
  fs::rename(temp_.path() / "Data" / "Sub", temp_.path() / "Data" / "Moved", error);
  EXPECT_TRUE(error);
  system_.Close(held);
}

TEST_F(DataFileTest, MissingFolderCreatesNothingAndGivesTheZeroRecord) {
  EXPECT_TRUE(Read("Data\\Gone\\Missing.DAT").empty());
  EXPECT_FALSE(fs::exists(temp_.path() / "Data" / "Gone"));
  EXPECT_TRUE(IsZero(LookUp("Data\\Gone\\Missing.DAT")));
  EXPECT_TRUE(system_.openSearches.empty());
}

TEST_F(DataFileTest, FolderInTheFilesPlaceGivesNothing) {
  fs::create_directory(Place("Folder.DAT"));
  EXPECT_TRUE(Read("Data\\Sub\\Folder.DAT").empty());
  EXPECT_TRUE(system_.openedWith.empty());
  EXPECT_TRUE(IsZero(LookUp("Data\\Sub\\Folder.DAT")));
  EXPECT_TRUE(system_.openSearches.empty());
}

TEST_F(DataFileTest, HiddenAndSystemFilesAreReadButPassedOverByTheLookup) {
  const std::vector<std::pair<std::string, std::uint32_t>> cases = {
      {"Hidden.DAT", kAttributeHidden}, {"System.DAT", kAttributeSystem}};
  for (const auto& [name, attribute] : cases) {
    const fs::path path = Stage(name, "kept\r\n");
    if (!test::AddFileAttribute(path, attribute)) {
      GTEST_SKIP() << "no file attributes on this platform";
    }
    EXPECT_EQ(Read("Data\\Sub\\" + name), std::string("kept\r\n")) << name;
    EXPECT_TRUE(IsZero(LookUp("Data\\Sub\\" + name))) << name;
  }
}

TEST_F(DataFileTest, DotNamesCountAsHiddenInThePosixStandIn) {
  if (test::AddFileAttribute(Stage("Probe.DAT", ""), kAttributeHidden)) {
    GTEST_SKIP() << "the platform keeps a hidden attribute of its own";
  }
  Stage(".Hidden.DAT", "kept");
  EXPECT_EQ(Read("Data\\Sub\\.Hidden.DAT"), std::string("kept"));
  EXPECT_TRUE(IsZero(LookUp("Data\\Sub\\.Hidden.DAT")));
}

TEST_F(DataFileTest, SecondLookupKeepsNothingOfTheFirst) {
  Stage("AVeryLongFileNameIndeed.DAT", "first");
  Stage("B.DAT", "second");
  const FindRecord first = LookUp("Data\\Sub\\AVeryLongFileNameIndeed.DAT");
  ASSERT_EQ(test::RecordName(first), "AVeryLongFileNameIndeed.DAT");

  FindRecord record = first;
  lookup_.LookUpFile("Data\\Sub\\B.DAT", record);
  EXPECT_EQ(test::RecordName(record), "B.DAT");
  for (std::size_t i = 6; i < 27; ++i) {
    EXPECT_NE(record.name[i], first.name[i]) << "name unit " << i;
  }

  lookup_.LookUpFile("Data\\Sub\\Nowhere.DAT", record);
  EXPECT_TRUE(IsZero(record));
}

TEST_F(DataFileTest, KeepsOneSearchOpenUntilTheNextLookup) {
  Stage("A.DAT", "a");
  Stage("B.DAT", "b");
  LookUp("Data\\Sub\\A.DAT");
  EXPECT_EQ(system_.openSearches.size(), 1u);
  LookUp("Data\\Sub\\B.DAT");
  EXPECT_EQ(system_.openSearches.size(), 1u);
  lookup_.Close();
  EXPECT_TRUE(system_.openSearches.empty());
}

TEST_F(DataFileTest, LookupClosesItsSearchWhenItGoes) {
  Stage("A.DAT", "a");
  {
    FileLookup lookup(system_);
    FindRecord record;
    lookup.LookUpFile("Data\\Sub\\A.DAT", record);
    EXPECT_EQ(system_.openSearches.size(), 1u);
  }
  EXPECT_TRUE(system_.openSearches.empty());
}

TEST_F(DataFileTest, RefusesEmptyPathsAndWildcardsWithoutOpening) {
  Stage("Star.DAT", "x");
  for (const std::string path : {"", "Data\\Sub\\*.DAT", "Data\\Sub\\Sta?.DAT"}) {
    EXPECT_TRUE(Read(path).empty()) << path;
  }
  EXPECT_TRUE(system_.openedWith.empty());
}

// Memory is asked for only when a file is larger than any read before it.
TEST_F(DataFileTest, OneBufferGrowsToTheLargestFileAndServesTheRest) {
  Stage("Ten.DAT", "0123456789");
  Stage("Four.DAT", "abcd");
  Stage("Twenty.DAT", "ABCDEFGHIJKLMNOPQRST");
  EXPECT_EQ(Read("Data\\Sub\\Ten.DAT"), "0123456789");
  EXPECT_EQ(Read("Data\\Sub\\Four.DAT"), "abcd");
  EXPECT_EQ(Read("Data\\Sub\\Twenty.DAT"), "ABCDEFGHIJKLMNOPQRST");
  EXPECT_EQ(Read("Data\\Sub\\Ten.DAT"), "0123456789");
  EXPECT_EQ(Read("Data\\Sub\\Missing.DAT"), "");
  constexpr std::size_t kPage = ContentBuffer::kPageSize;
  EXPECT_EQ(system_.memoryRequests, (std::vector<std::size_t>{kPage + 10, kPage + 20}));
}

// How much of a file one read call asks for, and what the checksum covers:
// a file up to the limit is one piece, anything else is read piece by piece
// through the largest buffer that can be had, and a read that fails or
// falls short ends the file there.
TEST_F(DataFileTest, ReadsInOnePieceUpToTheLimitAndInPiecesBeyond) {
  constexpr std::uint32_t kLimit = kWholeReadLimit;
  constexpr std::uint32_t kBlock = ContentBuffer::kBlockSize;
  constexpr std::uint32_t kHalf = 3 * kBlock / 2;  // of a file that has no room whole
  struct Row {
    const char* name;
    std::size_t size;
    std::vector<std::uint32_t> reads;  // the count that each read asks for
    std::size_t checked;               // the leading bytes that the checksum covers
    std::optional<std::uint64_t> reportedSize = {};
    std::optional<std::size_t> largestMemory = {};
    std::set<int> failingReads = {};
    std::optional<std::uint32_t> readLimit = {};
  };
  const Row rows[] = {
      {"at the limit", kLimit, {kLimit}, kLimit},
      {"above the limit", kLimit + 3, {kLimit, 3}, kLimit + 3},
      {"whole buffer refused", 2 * kHalf, {kHalf, kHalf}, 2 * kHalf, {}, 2 * kBlock},
      {"no memory at all", 3 * kBlock + 5, {kBlock, kBlock, kBlock, 5}, 3 * kBlock + 5, {}, 0},
      {"no memory for a small file", 10, {10}, 10, {}, 0},
      {"short read", 10, {10}, 4, {}, {}, {}, 4},
      {"read failing", 10, {10}, 0, {}, {}, {1}},
      {"read failing part-way", kLimit + 3, {kLimit, 3}, kLimit, {}, {}, {2}},
      {"told 2 GiB and more", 10, {kLimit}, 10, 0x80000010ull},
      {"told 4 GiB and more", 10, {kLimit}, 10, 0x10000000Aull},
  };
  const test::Bytes data = test::RandomBytes(kLimit + 3, 5);
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    test::WriteFileContent(Place("Piece.DAT"),
                           std::string(reinterpret_cast<const char*>(data.data()), row.size));
    system_.readCounts.clear();
    system_.reportedSize = row.reportedSize;
    system_.largestMemory = row.largestMemory;
    system_.failingReads = row.failingReads;
    system_.readLimit = row.readLimit;
    ContentBuffer content;
    EXPECT_EQ(ReadWholeFile(system_, "Data\\Sub\\Piece.DAT", content),
              crc32_z(0, data.data(), row.checked));
    EXPECT_EQ(system_.readCounts, row.reads);
  }
}

// A real file of more than 4 GiB, unwritten: its size is had whole, and its
// pieces go on until a read fails (here the third, to keep the test short).
TEST_F(DataFileTest, SparseFileAboveFourGibibytesIsReadInPieces) {
  const std::uint64_t size = (4ull << 30) + 16;
  if (!test::MakeSparseFile(Place("Huge.DAT"), size)) {
    GTEST_SKIP() << "no sparse files here";
  }
  system_.failingReads = {3};
  EXPECT_EQ(ReadWholeFile(system_, "Data\\Sub\\Huge.DAT", content_),
            test::CrcOfZeros(2 * kWholeReadLimit));
  EXPECT_EQ(system_.readCounts, std::vector<std::uint32_t>(3, kWholeReadLimit));
  EXPECT_EQ(fs::file_size(Place("Huge.DAT")), size);
}

}  // namespace
}  // namespace sealmark
