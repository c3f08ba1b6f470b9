#include "check/crc32.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <cstring>
#include <memory>
#include <vector>

#include "check/crc32_forms.h"
#include "support/random_bytes.h"

namespace sealmark {
namespace {

std::uint32_t ZlibCrc(const unsigned char* data, std::size_t count) {
  return static_cast<std::uint32_t>(crc32_z(0, data, count));
}

std::vector<Crc32Form> FormsThatRunHere() {
  std::vector<Crc32Form> forms;
  for (const Crc32Form form : kCrc32Forms) {
    if (Crc32FormRunsHere(form)) {
      forms.push_back(form);
    }
  }
  return forms;
}

// Where the form cuts `count` bytes: the end of every stream of every pass;
// the last is where the bytes taken one by one begin.
std::vector<std::size_t> Cuts(Crc32Form form, std::size_t count) {
  std::vector<std::size_t> cuts;
  std::size_t start = 0;
  for (Crc32Pass pass; (pass = Crc32FirstPass(form, count - start)).length != 0;) {
    for (std::size_t stream = 1; stream <= pass.streams; ++stream) {
      cuts.push_back(start + stream * pass.length);
    }
    start += pass.streams * pass.length;
  }
  return cuts;
}

TEST(Crc32, GivesTheStandardCheckValue) {
  const char text[] = "123456789";
  EXPECT_EQ(Crc32(text, 9), 0xCBF43926u);
}

TEST(Crc32, OfNoBytesIsZeroAndLeavesThePointerAlone) {
  const unsigned char byte = 0x55;
  EXPECT_EQ(Crc32(&byte, 0), 0u);
  EXPECT_EQ(Crc32(nullptr, 0), 0u);
  for (const Crc32Form form : kCrc32Forms) {
    EXPECT_EQ(Crc32With(form, nullptr, 0), 0u) << Crc32FormName(form);
  }
}

// Every length up to 48 bytes a stream (three of the vector forms' 16-byte
// reads, twelve of the portable forms' 4-byte ones), the start moving through
// the first eight bytes as the length grows.
TEST(Crc32, EachFormEqualsZlibForEveryShortLength) {
  for (const Crc32Form form : FormsThatRunHere()) {
    const std::size_t longest = 3 * Crc32FirstPass(form, 0).streams * 16;
    const test::Bytes data = test::RandomBytes(longest + 8, 1);
    for (std::size_t length = 0; length <= longest; ++length) {
      const unsigned char* start = data.data() + length % 8;
      ASSERT_EQ(Crc32With(form, start, length), ZlibCrc(start, length))
          << Crc32FormName(form) << ", length " << length;
    }
  }
}

// Lengths on and beside the ends of the streams, where a form takes one pass
// or, when it trims its streams to an odd number of 64-byte lines, two.
TEST(Crc32, EachFormEqualsZlibForLengthsAroundItsCuts) {
  for (const Crc32Form form : FormsThatRunHere()) {
    const std::size_t streams = Crc32FirstPass(form, 0).streams;
    const test::Bytes data = test::RandomBytes(streams * 260, 2);
    for (const std::size_t lines : {1u, 2u, 3u, 4u}) {
      for (std::size_t length = streams * 64 * lines - 17; length <= streams * 64 * lines + 17;
           ++length) {
        ASSERT_EQ(Crc32With(form, data.data(), length), ZlibCrc(data.data(), length))
            << Crc32FormName(form) << ", length " << length;
      }
    }
  }
}

// A changed byte on either side of a cut must change the checksum just as it
// changes zlib's.
TEST(Crc32, EachFormEqualsZlibWhenAByteBesideACutChanges) {
  for (const Crc32Form form : FormsThatRunHere()) {
    // Two passes and seven bytes taken one by one.
    const std::size_t length = Crc32FirstPass(form, 0).streams * 256 + 7;
    test::Bytes data = test::RandomBytes(length, 3);
    for (const std::size_t cut : Cuts(form, length)) {
      for (const std::size_t position : {cut - 1, cut}) {
        data[position] ^= 0x81;
        ASSERT_EQ(Crc32With(form, data.data(), length), ZlibCrc(data.data(), length))
            << Crc32FormName(form) << ", byte " << position;
        data[position] ^= 0x81;
      }
    }
  }
}

// Crc32 picks a form by the length and hands what it leaves to another. In
// two pieces, split anywhere, Crc32 and each form go on from the checksum of
// the first.
TEST(Crc32, EqualsZlibForLongBuffers) {
  const test::Bytes data = test::RandomBytes((4u << 20) + 1, 4);
  for (std::size_t power = 1 << 10; power <= (4u << 20); power *= 2) {
    for (const std::size_t length : {power - 1, power, power + 1, power + power / 3}) {
      if (length <= data.size()) {
        EXPECT_EQ(Crc32(data.data(), length), ZlibCrc(data.data(), length)) << "length " << length;
      }
    }
  }
  const std::size_t length = (1u << 20) + 7;
  const std::size_t splits[] = {0, 1, 4093, length / 2, length - 1};
  for (const std::size_t split : splits) {
    const std::uint32_t first = ZlibCrc(data.data(), split);
    EXPECT_EQ(Crc32(&data[split], length - split, first), ZlibCrc(data.data(), length)) << split;
    for (const Crc32Form form : FormsThatRunHere()) {
      EXPECT_EQ(Crc32With(form, &data[split], length - split, first), ZlibCrc(data.data(), length))
          << Crc32FormName(form) << ", split " << split;
    }
  }
}

TEST(Crc32, ReadsExactlyTheGivenCount) {
  for (const std::size_t length : {1u, 2u, 3u, 7u, 8u, 9u, 1023u, 8192u, 8193u, 70'001u}) {
    // An allocation of exactly `length` bytes: a sanitizer run catches any
    // read past it, and the bytes after the count in the second buffer must
    // make no difference.
    const test::Bytes data = test::RandomBytes(length, 7);
    auto exact = std::make_unique<unsigned char[]>(length);
    std::memcpy(exact.get(), data.data(), length);
    test::Bytes padded = data;
    padded.resize(length + 64, 0xA5);
    const std::uint32_t expected = ZlibCrc(data.data(), length);
    EXPECT_EQ(Crc32(exact.get(), length), expected);
    EXPECT_EQ(Crc32(padded.data(), length), expected);
    for (const Crc32Form form : FormsThatRunHere()) {
      EXPECT_EQ(Crc32With(form, exact.get(), length), expected) << Crc32FormName(form);
      EXPECT_EQ(Crc32With(form, padded.data(), length), expected) << Crc32FormName(form);
    }
  }
}

}  // namespace
}  // namespace sealmark
