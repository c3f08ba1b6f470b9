#pragma once

// Bit-sliced CRC-32 registers: the registers of many streams kept transposed,
// so that one machine operation takes one bit step of every stream at once.
//
// A Word is a row of 32-bit lanes: std::uint32_t or std::uint64_t. The state
// of the streams is 32 words: bit j of lane l of word i is bit i of the
// register of stream `lanes * j + l`.

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <type_traits>

namespace sealmark::sliced {

constexpr std::uint32_t kPolynomial = 0xEDB88320u;

template <typename Word>
constexpr std::size_t kLanes = sizeof(Word) / 4;

template <typename Word>
constexpr std::size_t kStreams = 32 * kLanes<Word>;

// ANDs every 32-bit lane of `word` with `mask`.
template <typename Word>
inline void MaskLanes(Word& word, std::uint32_t mask) {
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
inline void TransposeBits(Word (&words)[32]) {
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
inline void Advance(Word (&state)[32], const Word (&bits)[32]) {
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

// Reads the next 32-bit word of every stream, the streams being `length`
// bytes apart from `at` on: lane l of words[j] is that of stream
// `lanes * j + l`.
template <typename Word>
inline void Read(const unsigned char* at, std::size_t length, Word (&words)[32]) {
  constexpr std::size_t lanes = kLanes<Word>;
#pragma GCC unroll 32
  for (std::size_t j = 0; j < 32; ++j) {
    Word word = 0;
    for (std::size_t l = 0; l < lanes; ++l) {
      word |= Word{LoadWord(at + (lanes * j + l) * length)} << (32 * l);
    }
    words[j] = word;
  }
}

// The registers, each started from 0, of kStreams<Word> streams of `length`
// bytes each (a multiple of 4) laid end to end from `bytes`, in
// their order: transposed back, lane l of word j is the register of stream
// `lanes * j + l`, and x86 keeps the lanes in memory lowest first.
template <typename Word>
inline void StreamRegisters(const unsigned char* bytes, std::size_t length,
                            std::uint32_t* registers) {
  Word state[32] = {};
  for (std::size_t offset = 0; offset < length; offset += 4) {
    Word bits[32];
    Read(bytes + offset, length, bits);
    TransposeBits(bits);
    Advance(state, bits);
  }
  TransposeBits(state);
  std::memcpy(registers, state, sizeof state);
}

}  // namespace sealmark::sliced
