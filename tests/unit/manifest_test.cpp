#include "check/manifest.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <string>
#include <vector>

namespace sealmark {
namespace {

TEST(Manifest, HoldsTheIndexFileThenSevenFilesPerAgeGroupInOrder) {
  ASSERT_EQ(kManifestCount, 43);
  EXPECT_EQ(ManifestName(1), "ExtDC.NDX");
  const std::vector<std::string> groups = {"Newborn",  "1-y-old",  "5-y-old",
                                           "10-y-old", "15-y-old", "Adult"};
  const std::vector<std::pair<std::string, std::string>> kinds = {
      {"GRD_Surface\\", "_GrdPl.DAT"},  {"Immersion\\", "_Imm.DAT"},
      {"GRD_Volume\\", "_Soil_00.DAT"}, {"GRD_Volume\\", "_Soil_01.DAT"},
      {"GRD_Volume\\", "_Soil_05.DAT"}, {"GRD_Volume\\", "_Soil_15.DAT"},
      {"Submersion\\", "_Sub.DAT"}};
  int index = 2;
  for (const auto& group : groups) {
    for (const auto& [folder, ending] : kinds) {
      EXPECT_EQ(ManifestName(index), folder + group + ending) << "entry " << index;
      ++index;
    }
  }
  EXPECT_EQ(index, kManifestCount + 1);
}

TEST(Manifest, NamesFitTheReportColumn) {
  for (int index = 1; index <= kManifestCount; ++index) {
    EXPECT_GE(ManifestName(index).size(), 9u) << "entry " << index;
    EXPECT_LE(ManifestName(index).size(), 31u) << "entry " << index;
  }
}

TEST(Manifest, ExpectedTextsAreEightUpperCaseHexDigits) {
  for (int index = 1; index <= kManifestCount; ++index) {
    const std::string_view text = ExpectedText(index);
    ASSERT_EQ(text.size(), 8u) << "entry " << index;
    for (char c : text) {
      EXPECT_TRUE((c >= '0' && c <= '9') || (c >= 'A' && c <= 'F')) << "entry " << index;
    }
  }
}

// Every name and expected text, in order, against a digest taken once from
// the data set's own list of files and checksums, not from this code: the
// zlib CRC-32 of each entry's name, one blank, its expected text and a line
// feed, entry after entry.
TEST(Manifest, MatchesTheDataSetsListAsAWhole) {
  std::string entries;
  for (int index = 1; index <= kManifestCount; ++index) {
    entries += std::string(ManifestName(index)) + " " + std::string(ExpectedText(index)) + "\n";
  }
  EXPECT_EQ(crc32_z(0, reinterpret_cast<const Bytef*>(entries.data()), entries.size()),
            0x2EF41AE5u);
}

TEST(Manifest, IndexesOutsideTheListGiveEmptyTexts) {
  for (int index : {-1, 0, 44, 1000}) {
    EXPECT_EQ(ManifestName(index), "");
    EXPECT_EQ(ExpectedText(index), "");
  }
}

}  // namespace
}  // namespace sealmark
