#include "support/sample_data.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <algorithm>
#include <cstdlib>

#include "check/manifest.h"
#include "support/random_bytes.h"
#include "support/temp_dir.h"

namespace sealmark::test {
namespace {

std::uint32_t ZlibCrc(const Bytes& bytes) {
  return static_cast<std::uint32_t>(crc32_z(0, bytes.data(), bytes.size()));
}

TEST(CrcPatch, GivesTheChosenChecksum) {
  for (std::uint32_t target : {0u, 0xFFFFFFFFu, 0x03E4DCB5u, 0xCBF43926u}) {
    for (std::size_t length : {0u, 1u, 5u, 4096u}) {
      Bytes content = RandomBytes(length, target ^ static_cast<std::uint32_t>(length));
      const Bytes patch = CrcPatch(ZlibCrc(content), target);
      ASSERT_EQ(patch.size(), 4u);
      content.insert(content.end(), patch.begin(), patch.end());
      EXPECT_EQ(ZlibCrc(content), target) << "length " << length;
    }
  }
}

TEST(SampleInstall, LaysOutEveryFileWithItsManifestChecksum) {
  TempDir temp;
  const auto root = temp.path() / "install";
  ASSERT_EQ(LayOutSampleInstall(root), "");

  std::uintmax_t total = 0;
  std::uintmax_t largest = 0;
  std::uintmax_t smallest = UINTMAX_MAX;
  for (int index = 1; index <= kManifestCount; ++index) {
    const std::string content = FileContent(SamplePath(root, index));
    const Bytes bytes(content.begin(), content.end());
    const auto expected =
        static_cast<std::uint32_t>(std::stoul(std::string(ExpectedText(index)), nullptr, 16));
    EXPECT_EQ(ZlibCrc(bytes), expected) << ManifestName(index);
    total += bytes.size();
    largest = std::max<std::uintmax_t>(largest, bytes.size());
    smallest = std::min<std::uintmax_t>(smallest, bytes.size());
    if (bytes.size() > 64) {
      for (int awkward : {0x00, 0x1A, 0x0D, 0x0A}) {
        EXPECT_NE(std::find(bytes.begin(), bytes.end(), awkward), bytes.end());
      }
    }
  }
  EXPECT_EQ(smallest, 4u);
  EXPECT_GT(largest, 4u * 1024 * 1024);
  EXPECT_GT(total, 36u * 1024 * 1024);
  EXPECT_LT(total, 44u * 1024 * 1024);
  EXPECT_EQ(SamplePath(root, 1), root / "Data" / "ExtDC.NDX");
  EXPECT_EQ(SamplePath(root, 2), root / "Data" / "GRD_Surface" / "Newborn_GrdPl.DAT");
}

TEST(SampleInstall, ReportsAFolderItCannotMakeAndTouchesNothing) {
  TempDir temp;
  const std::string problem = LayOutSampleInstall(temp.path() / "missing" / "install");
  EXPECT_NE(problem.find("cannot write"), std::string::npos) << problem;
  EXPECT_TRUE(std::filesystem::is_empty(temp.path()));
}

}  // namespace
}  // namespace sealmark::test
