#include "check/crc32.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <cstring>
#include <memory>

#include "support/random_bytes.h"

namespace sealmark {
namespace {

std::uint32_t ZlibCrc(const unsigned char* data, std::size_t count) {
  return static_cast<std::uint32_t>(crc32_z(0, data, count));
}

TEST(Crc32, GivesTheStandardCheckValue) {
  const char text[] = "123456789";
  EXPECT_EQ(Crc32(text, 9), 0xCBF43926u);
}

TEST(Crc32, OfNoBytesIsZeroAndLeavesThePointerAlone) {
  const unsigned char byte = 0x55;
  EXPECT_EQ(Crc32(&byte, 0), 0u);
  EXPECT_EQ(Crc32(nullptr, 0), 0u);
}

TEST(Crc32, EqualsZlibForShortLengthsAtEveryAlignment) {
  const test::Bytes data = test::RandomBytes(4096 + 8, 1);
  for (std::size_t offset = 0; offset < 8; ++offset) {
    for (std::size_t length = 0; length <= 4096; ++length) {
      ASSERT_EQ(Crc32(data.data() + offset, length), ZlibCrc(data.data() + offset, length))
          << "offset " << offset << ", length " << length;
    }
  }
}

TEST(Crc32, EqualsZlibForLongBuffers) {
  for (std::size_t length : {65'537u, 1'000'003u, 3u * 1024u * 1024u + 5u}) {
    const test::Bytes data = test::RandomBytes(length, static_cast<std::uint32_t>(length));
    EXPECT_EQ(Crc32(data.data(), length), ZlibCrc(data.data(), length)) << "length " << length;
  }
}

// Long buffers are cut into eight lanes of a multiple of four bytes each,
// with what is left taken last: lengths on and beside every such cut.
TEST(Crc32, EqualsZlibForLengthsAroundTheLaneCuts) {
  const test::Bytes data = test::RandomBytes(70'000, 3);
  for (std::size_t lanes = 1; lanes * 32 < data.size(); lanes = lanes * 3 + 1) {
    for (std::size_t length = lanes * 32 - 2; length <= lanes * 32 + 33; ++length) {
      ASSERT_EQ(Crc32(data.data(), length), ZlibCrc(data.data(), length)) << "length " << length;
    }
  }
}

// A changed byte on either side of a lane cut must change the checksum just
// as it changes zlib's.
TEST(Crc32, EqualsZlibWhenAByteBesideALaneCutChanges) {
  const std::size_t length = 1'000'003;
  const std::size_t lane = length / 32 * 4;
  test::Bytes data = test::RandomBytes(length, 5);
  for (std::size_t cut = lane; cut <= 8 * lane; cut += lane) {
    for (std::size_t position : {cut - 1, cut}) {
      if (position >= length) {
        continue;
      }
      data[position] ^= 0x81;
      EXPECT_EQ(Crc32(data.data(), length), ZlibCrc(data.data(), length)) << "byte " << position;
      data[position] ^= 0x81;
    }
  }
}

TEST(Crc32, ReadsExactlyTheGivenCount) {
  for (std::size_t length : {1u, 2u, 3u, 7u, 8u, 9u, 1023u, 70'001u}) {
    // An allocation of exactly `length` bytes: a sanitizer run catches any
    // read past it, and the bytes after the count in the second buffer must
    // make no difference.
    const test::Bytes data = test::RandomBytes(length, 7);
    auto exact = std::make_unique<unsigned char[]>(length);
    std::memcpy(exact.get(), data.data(), length);
    test::Bytes padded = data;
    padded.resize(length + 64, 0xA5);
    EXPECT_EQ(Crc32(exact.get(), length), ZlibCrc(data.data(), length));
    EXPECT_EQ(Crc32(padded.data(), length), ZlibCrc(data.data(), length));
  }
}

}  // namespace
}  // namespace sealmark
