#pragma once

#include <cstddef>
#include <cstdint>

namespace sealmark {

// The ways of working out the CRC-32 bit by bit, all giving the same result
// as Crc32. Each keeps the registers of many contiguous streams of the buffer
// bit-sliced in machine words (32 streams to a 32-bit word) and joins them at
// the end. Crc32 picks the fastest that runs here for the length; the tests
// and the benchmarks take each one by itself.
enum class Crc32Form { kPortable32, kPortable64, kSse2, kAvx2, kAvx512 };

inline constexpr Crc32Form kCrc32Forms[] = {Crc32Form::kPortable32, Crc32Form::kPortable64,
                                            Crc32Form::kSse2, Crc32Form::kAvx2, Crc32Form::kAvx512};

// "portable32", "portable64", "sse2", "avx2" or "avx512".
const char* Crc32FormName(Crc32Form form);

// Whether this CPU has the instructions that the form needs.
bool Crc32FormRunsHere(Crc32Form form);

// How the form takes the first part of `count` bytes: `streams` streams of
// `length` bytes each, laid end to end from the start; `length` is 0 when
// there is too little for that. It takes what is left in the same way, pass
// after pass, until `length` is 0, and the rest byte by byte.
struct Crc32Pass {
  std::size_t streams;
  std::size_t length;
};
Crc32Pass Crc32FirstPass(Crc32Form form, std::size_t count);

// Crc32 worked out with `form`, which must run here.
std::uint32_t Crc32With(Crc32Form form, const void* data, std::size_t count,
                        std::uint32_t previous = 0);

}  // namespace sealmark
