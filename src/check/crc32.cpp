#include "check/crc32.h"

#include "check/crc32_forms.h"
#include "check/crc32_sliced.h"
#include "platform/vector_registers.h"

namespace sealmark {

namespace {

using sliced::kPolynomial;

// One one-bit step of the reflected register: shift right, and add the
// polynomial when the bit shifted out was 1.
inline std::uint32_t BitStep(std::uint32_t x) {
  return (x >> 1) ^ (kPolynomial & (0u - (x & 1u)));
}

// Folds one byte into the register with eight one-bit steps on its low byte.
inline std::uint32_t ByteStep(std::uint32_t crc, unsigned char byte) {
  std::uint32_t x = (crc ^ byte) & 0xFFu;
  for (int bit = 0; bit < 8; ++bit) {
    x = BitStep(x);
  }
  return (crc >> 8) ^ x;
}

std::uint32_t AdvanceRegister(std::uint32_t crc, const unsigned char* bytes, std::size_t count) {
  for (std::size_t i = 0; i < count; ++i) {
    crc = ByteStep(crc, bytes[i]);
  }
  return crc;
}

// The CRC is linear over GF(2): with polynomials in reflected order (bit 31
// is x^0), the register after A then B is the register after A times
// x^(8 * length of B), plus the register after B alone started from 0, taken
// modulo the generator.

// a * b modulo the generator.
std::uint32_t MultiplyModulo(std::uint32_t a, std::uint32_t b) {
  std::uint32_t product = 0;
  for (std::uint32_t bit = 1u << 31; bit != 0; bit >>= 1) {
    if ((a & bit) != 0) {
      product ^= b;
    }
    b = BitStep(b);  // b * x
  }
  return product;
}

// x^(8 * count) modulo the generator, by repeated squaring of x^8.
std::uint32_t ByteShift(std::size_t count) {
  std::uint32_t result = 1u << 31;  // x^0
  std::uint32_t square = 1u << 23;  // x^8
  for (; count != 0; count >>= 1) {
    if ((count & 1) != 0) {
      result = MultiplyModulo(square, result);
    }
    square = MultiplyModulo(square, square);
  }
  return result;
}

void Portable32Registers(const unsigned char* bytes, std::size_t length, std::uint32_t* registers) {
  sliced::StreamRegisters<std::uint32_t>(bytes, length, registers);
}

void Portable64Registers(const unsigned char* bytes, std::size_t length, std::uint32_t* registers) {
  sliced::StreamRegisters<std::uint64_t>(bytes, length, registers);
}

__attribute__((target("sse2"))) void Sse2Registers(const unsigned char* bytes, std::size_t length,
                                                   std::uint32_t* registers) {
  sliced::StreamRegisters<sliced::Vector<16>>(bytes, length, registers);
}

__attribute__((target("avx2"))) void Avx2Registers(const unsigned char* bytes, std::size_t length,
                                                   std::uint32_t* registers) {
  sliced::StreamRegisters<sliced::Vector<32>>(bytes, length, registers);
}

__attribute__((target("avx512f"))) void Avx512Registers(const unsigned char* bytes,
                                                        std::size_t length,
                                                        std::uint32_t* registers) {
  sliced::StreamRegisters<sliced::Vector<64>>(bytes, length, registers);
}

constexpr std::size_t kMostStreams = sliced::kStreams<sliced::Vector<64>>;

struct Form {
  const char* name;
  std::size_t streams;
  std::size_t stride;
  void (*registers)(const unsigned char* bytes, std::size_t length, std::uint32_t* registers);
};

template <typename Word>
constexpr Form MakeForm(const char* name,
                        void (*registers)(const unsigned char*, std::size_t, std::uint32_t*)) {
  return {name, sliced::kStreams<Word>, sliced::kStride<Word>, registers};
}

const Form& FormOf(Crc32Form form) {
  static constexpr Form kForms[] = {
      MakeForm<std::uint32_t>("portable32", Portable32Registers),
      MakeForm<std::uint64_t>("portable64", Portable64Registers),
      MakeForm<sliced::Vector<16>>("sse2", Sse2Registers),
      MakeForm<sliced::Vector<32>>("avx2", Avx2Registers),
      MakeForm<sliced::Vector<64>>("avx512", Avx512Registers),
  };
  return kForms[static_cast<int>(form)];
}

// The length of each stream in a pass of the form over `count` bytes: the
// longest that fits, a multiple of the stride, but for one thing. Streams a
// multiple of 128 bytes apart would crowd into half the cache sets or fewer,
// which are picked by the address bits from bit 6 up; an odd number of
// 64-byte lines apart, they spread over them all, and a second pass takes
// what is left.
std::size_t StreamLength(const Form& form, std::size_t count) {
  const std::size_t longest = count / form.streams / form.stride * form.stride;
  if (longest >= 128 && longest % 128 == 0) {
    return longest - 64;
  }
  return longest;
}

// Advances `crc` over as many of the `count` bytes at `bytes` as the form's
// streams take, pass after pass, and moves `bytes` and `count` past them.
std::uint32_t AdvanceStreams(Crc32Form which, std::uint32_t crc, const unsigned char*& bytes,
                             std::size_t& count) {
  const Form& form = FormOf(which);
  std::uint32_t registers[kMostStreams];
  for (std::size_t length; (length = StreamLength(form, count)) != 0;) {
    form.registers(bytes, length, registers);
    const std::uint32_t shift = ByteShift(length);
    for (std::size_t stream = 0; stream < form.streams; ++stream) {
      crc = MultiplyModulo(crc, shift) ^ registers[stream];
    }
    bytes += form.streams * length;
    count -= form.streams * length;
  }
  return crc;
}

// The portable form of the machine's word, which Crc32 falls back on.
constexpr Crc32Form kWordForm =
    sizeof(void*) >= 8 ? Crc32Form::kPortable64 : Crc32Form::kPortable32;

// The fastest form that runs here for `count` bytes. Joining each stream at
// the end of a pass takes about as long as a wide form takes for a few
// hundred bytes, so the wider forms, with more streams, pay only on longer
// buffers. Each is picked from about where it overtook the next narrower one
// on the AMD EPYC with AVX-512 where the forms were written, that of the
// benchmark table in docs/performance.md. On an Intel Xeon, measured too,
// they overtook sooner (SSE2 at about 8 KiB, AVX2 at about 128 KiB, AVX-512
// at about 512 KiB): there the picks come late, but none picks a slower form.
Crc32Form FastestFor(std::size_t count) {
  struct Pick {
    Crc32Form form;
    std::size_t from;
  };
  for (const Pick pick : {Pick{Crc32Form::kAvx512, 2u << 20}, Pick{Crc32Form::kAvx2, 128u << 10},
                          Pick{Crc32Form::kSse2, 32u << 10}}) {
    if (count >= pick.from && Crc32FormRunsHere(pick.form)) {
      return pick.form;
    }
  }
  return kWordForm;
}

}  // namespace

const char* Crc32FormName(Crc32Form form) {
  return FormOf(form).name;
}

// libgcc's AVX2 and AVX-512 flags already say whether the system saves
// those registers (it reads XCR0); its SSE2 flag is the CPU's alone.
bool Crc32FormRunsHere(Crc32Form form) {
  switch (form) {
    case Crc32Form::kPortable32:
    case Crc32Form::kPortable64:
      return true;
    case Crc32Form::kSse2:
      return __builtin_cpu_supports("sse2") != 0 && SystemSavesSseRegisters();
    case Crc32Form::kAvx2:
      return __builtin_cpu_supports("avx2") != 0;
    case Crc32Form::kAvx512:
      return __builtin_cpu_supports("avx512f") != 0;
  }
  return false;
}

Crc32Pass Crc32FirstPass(Crc32Form form, std::size_t count) {
  return {FormOf(form).streams, StreamLength(FormOf(form), count)};
}

std::uint32_t Crc32With(Crc32Form form, const void* data, std::size_t count,
                        std::uint32_t previous) {
  const auto* bytes = static_cast<const unsigned char*>(data);
  const std::uint32_t crc = AdvanceStreams(form, previous ^ 0xFFFFFFFFu, bytes, count);
  return AdvanceRegister(crc, bytes, count) ^ 0xFFFFFFFFu;
}

// The fastest form takes what it can; what it leaves, too little for another
// of its passes, goes to the portable form and the last few bytes one by one.
std::uint32_t Crc32(const void* data, std::size_t count, std::uint32_t previous) {
  const auto* bytes = static_cast<const unsigned char*>(data);
  std::uint32_t crc = AdvanceStreams(FastestFor(count), previous ^ 0xFFFFFFFFu, bytes, count);
  crc = AdvanceStreams(kWordForm, crc, bytes, count);
  return AdvanceRegister(crc, bytes, count) ^ 0xFFFFFFFFu;
}

}  // namespace sealmark
