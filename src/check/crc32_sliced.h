#pragma once

// Bit-sliced CRC-32 registers: the registers of many streams kept transposed,
// so that one machine operation takes one bit step of every stream at once.
//
// A Word is a row of 32-bit lanes: std::uint32_t, std::uint64_t, or a GCC
// vector of std::uint32_t. The state of the streams is 32 words: bit j of lane
// l of word i is bit i of the register of stream `lanes * j + l`. Everything
// here is inlined into its caller, which picks the instructions (SSE2, AVX2,
// ...) with its target attribute.

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <type_traits>
#include <utility>

namespace sealmark::sliced {

constexpr std::uint32_t kPolynomial = 0xEDB88320u;

template <std::size_t bytes>
struct VectorOf {
  typedef std::uint32_t Type __attribute__((vector_size(bytes)));
};

// A GCC vector of `bytes / 4` 32-bit lanes.
template <std::size_t bytes>
using Vector = typename VectorOf<bytes>::Type;

template <typename Word>
constexpr std::size_t kLanes = sizeof(Word) / 4;

template <typename Word>
constexpr std::size_t kStreams = 32 * kLanes<Word>;

// The bytes of each stream read at a time: one 32-bit word, or four of them
// for vectors, whose lanes are filled 16 bytes at a time.
template <typename Word>
constexpr std::size_t kStride = std::is_integral_v<Word> ? 4 : 16;

// ANDs every 32-bit lane of `word` with `mask`.
template <typename Word>
[[gnu::always_inline]] inline void MaskLanes(Word& word, std::uint32_t mask) {
  if constexpr (std::is_same_v<Word, std::uint64_t>) {
    word &= mask * 0x1'0000'0001u;
  } else {
    word &= mask;
  }
}

// Four bytes, least significant first.
inline std::uint32_t LoadWord(const unsigned char* bytes) {
  return std::uint32_t{bytes[0]} | std::uint32_t{bytes[1]} << 8 | std::uint32_t{bytes[2]} << 16 |
         std::uint32_t{bytes[3]} << 24;
}

// Transposes the 32x32 bit matrix in each lane: bit j of word i trades places
// with bit i of word j. Each round trades the blocks off the diagonal of
// every square of side 2 * shift.
template <typename Word>
[[gnu::always_inline]] inline void TransposeBits(Word (&words)[32]) {
#pragma GCC unroll 5
  for (unsigned shift = 16; shift != 0; shift /= 2) {
    // The bits whose index has bit `shift` clear: 0x0000FFFF, 0x00FF00FF, ...
    const std::uint32_t low = 0xFFFF'FFFFu / ((1u << shift) + 1);
#pragma GCC unroll 32
    for (unsigned i = 0; i < 32; ++i) {
      if ((i & shift) == 0) {
        Word traded = (words[i] >> shift) ^ words[i + shift];
        MaskLanes(traded, low);
        words[i + shift] ^= traded;
        words[i] ^= traded << shift;
      }
    }
  }
}

// Folds 32 bits of every stream into its register and takes 32 one-bit steps
// of every register: as with a single register, folding in a word and then
// stepping 32 times is four bytes of eight steps each. The words are not
// moved down each step but renamed: after `step` steps, bit i of the
// registers is in word (step + i) % 32. So in each step the word of bit 0 is
// the feedback; it is added at the polynomial's taps and, as bit 0 moves out
// and the feedback comes in at bit 31, stays where it is.
template <typename Word>
[[gnu::always_inline]] inline void Advance(Word (&state)[32], const Word (&bits)[32]) {
#pragma GCC unroll 32
  for (unsigned i = 0; i < 32; ++i) {
    state[i] ^= bits[i];
  }
#pragma GCC unroll 32
  for (unsigned step = 0; step < 32; ++step) {
    const Word feedback = state[step];
#pragma GCC unroll 31
    for (unsigned tap = 0; tap < 31; ++tap) {
      if ((kPolynomial >> tap & 1) != 0) {
        state[(step + 1 + tap) % 32] ^= feedback;
      }
    }
  }
}

template <typename Half, typename Word, std::size_t... lane>
[[gnu::always_inline]] inline void Concatenate(const Half& low, const Half& high, Word& word,
                                               std::index_sequence<lane...>) {
  word = __builtin_shufflevector(low, high, lane...);
}

// A vector whose 16-byte parts are read at `at`, `at + apart`, ...
template <typename Word>
[[gnu::always_inline]] inline void ReadParts(const unsigned char* at, std::size_t apart,
                                             Word& word) {
  if constexpr (sizeof(Word) == 16) {
    std::memcpy(&word, at, sizeof word);
  } else {
    using Half = Vector<sizeof(Word) / 2>;
    Half low;
    Half high;
    ReadParts(at, apart, low);
    ReadParts(at + kLanes<Half> / 4 * apart, apart, high);
    Concatenate(low, high, word, std::make_index_sequence<kLanes<Word>>());
  }
}

// Which lane of a (below `lanes`) or of b (from `lanes` on) lane `lane` of
// their unpacking takes. As x86's unpack instructions do within each 16-byte
// part, the unpacking takes runs of `width` lanes (1 or 2) from a and b in
// turn, from the low or the high half of the part.
constexpr std::size_t Unpacked(std::size_t lane, std::size_t lanes, std::size_t width, bool high) {
  const std::size_t part = lane / 4 * 4;
  const std::size_t pair = lane % 4 / width;
  const std::size_t from_b = pair % 2 != 0 ? lanes : 0;
  return from_b + part + (high ? 2 : 0) + pair / 2 * width + lane % width;
}

template <std::size_t width, bool high, typename Word, std::size_t... lane>
[[gnu::always_inline]] inline void Unpack(const Word& a, const Word& b, Word& word,
                                          std::index_sequence<lane...>) {
  word = __builtin_shufflevector(a, b, Unpacked(lane, sizeof...(lane), width, high)...);
}

// Reads the next `kStride` bytes of every stream, the streams being `length`
// bytes apart from `at` on: words[u][j], lane l, is the u-th 32-bit word of
// stream `lanes * j + l`.
template <typename Word>
[[gnu::always_inline]] inline void Read(const unsigned char* at, std::size_t length,
                                        Word (&words)[kStride<Word> / 4][32]) {
  constexpr std::size_t lanes = kLanes<Word>;
  if constexpr (std::is_integral_v<Word>) {
#pragma GCC unroll 32
    for (std::size_t j = 0; j < 32; ++j) {
      Word word = 0;
      for (std::size_t l = 0; l < lanes; ++l) {
        word |= Word{LoadWord(at + (lanes * j + l) * length)} << (32 * l);
      }
      words[0][j] = word;
    }
  } else {
    // Part p of read[k] is 16 bytes of stream 4p + k of the group; a 4x4
    // transpose within each part sorts the words by their place in the
    // stream.
    const auto each = std::make_index_sequence<lanes>();
#pragma GCC unroll 32
    for (std::size_t j = 0; j < 32; ++j) {
      Word read[4];
#pragma GCC unroll 4
      for (std::size_t k = 0; k < 4; ++k) {
        ReadParts(at + (lanes * j + k) * length, 4 * length, read[k]);
      }
      Word low01;
      Word high01;
      Word low23;
      Word high23;
      Unpack<1, false>(read[0], read[1], low01, each);
      Unpack<1, true>(read[0], read[1], high01, each);
      Unpack<1, false>(read[2], read[3], low23, each);
      Unpack<1, true>(read[2], read[3], high23, each);
      Unpack<2, false>(low01, low23, words[0][j], each);
      Unpack<2, true>(low01, low23, words[1][j], each);
      Unpack<2, false>(high01, high23, words[2][j], each);
      Unpack<2, true>(high01, high23, words[3][j], each);
    }
  }
}

// The registers, each started from 0, of kStreams<Word> streams of `length`
// bytes each (a multiple of kStride<Word>) laid end to end from `bytes`, in
// their order: transposed back, lane l of word j is the register of stream
// `lanes * j + l`, and x86 keeps the lanes in memory lowest first.
template <typename Word>
[[gnu::always_inline]] inline void StreamRegisters(const unsigned char* bytes, std::size_t length,
                                                   std::uint32_t* registers) {
  Word state[32] = {};
  for (std::size_t offset = 0; offset < length; offset += kStride<Word>) {
    Word words[kStride<Word> / 4][32];
    Read(bytes + offset, length, words);
    for (auto& bits : words) {
      TransposeBits(bits);
      Advance(state, bits);
    }
  }
  TransposeBits(state);
  std::memcpy(registers, state, sizeof state);
}

}  // namespace sealmark::sliced
