#include "check/manifest.h"

#include <gtest/gtest.h>

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
  EXPECT_EQ(ManifestName(25), "GRD_Volume\\10-y-old_Soil_00.DAT");
}

TEST(Manifest, ExpectedTextsAreEightUpperCaseHexDigits) {
  for (int index = 1; index <= kManifestCount; ++index) {
    const std::string_view text = ExpectedText(index);
    ASSERT_EQ(text.size(), 8u) << "entry " << index;
    for (char c : text) {
      EXPECT_TRUE((c >= '0' && c <= '9') || (c >= 'A' && c <= 'F')) << "entry " << index;
    }
  }
  EXPECT_EQ(ExpectedText(1), "C4256935");
  EXPECT_EQ(ExpectedText(18), "03E4DCB5");
  EXPECT_EQ(ExpectedText(26), "04D7A274");
  EXPECT_EQ(ExpectedText(43), "960F076C");
}

TEST(Manifest, IndexesOutsideTheListGiveEmptyTexts) {
  for (int index : {-1, 0, 44, 1000}) {
    EXPECT_EQ(ManifestName(index), "");
    EXPECT_EQ(ExpectedText(index), "");
  }
}

}  // namespace
}  // namespace sealmark
