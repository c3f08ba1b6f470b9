#include "check/crc32.h"

namespace sealmark {

namespace {

constexpr std::uint32_t kPolynomial = 0xEDB88320u;

// The buffer is cut into this many contiguous lanes whose registers advance
// side by side; shorter buffers are not worth the joining.
constexpr std::size_t kLanes = 8;
constexpr std::size_t kShortestInterleaved = 256;

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
// is x^0), crc(A then B) = crc(A) * x^(8 * length of B) + crc(B), taken
// modulo the generator, for the standard preset-and-inverted CRC.

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

// Four bytes, least significant first.
inline std::uint32_t LoadWord(const unsigned char* bytes) {
  return std::uint32_t{bytes[0]} | std::uint32_t{bytes[1]} << 8 | std::uint32_t{bytes[2]} << 16 |
         std::uint32_t{bytes[3]} << 24;
}

// The CRC of `lanes * lane` bytes, `lane` a multiple of four. Each lane takes
// its own contiguous share of the buffer, four bytes at a time: folding the
// word into the register and taking 32 one-bit steps is the same as four
// byte steps. The inner loops run across the lanes, whose steps do not wait
// on one another.
std::uint32_t InterleavedCrc(const unsigned char* bytes, std::size_t lane) {
  std::uint32_t crc[kLanes];
  for (std::size_t k = 0; k < kLanes; ++k) {
    crc[k] = 0xFFFFFFFFu;
  }
  for (std::size_t i = 0; i < lane; i += 4) {
    for (std::size_t k = 0; k < kLanes; ++k) {
      crc[k] ^= LoadWord(bytes + k * lane + i);
    }
    for (int bit = 0; bit < 32; ++bit) {
      for (std::size_t k = 0; k < kLanes; ++k) {
        crc[k] = BitStep(crc[k]);
      }
    }
  }
  const std::uint32_t shift = ByteShift(lane);
  std::uint32_t joined = crc[0] ^ 0xFFFFFFFFu;
  for (std::size_t k = 1; k < kLanes; ++k) {
    joined = MultiplyModulo(shift, joined) ^ crc[k] ^ 0xFFFFFFFFu;
  }
  return joined;
}

}  // namespace

std::uint32_t Crc32(const void* data, std::size_t count) {
  const auto* bytes = static_cast<const unsigned char*>(data);
  std::uint32_t crc = 0xFFFFFFFFu;
  std::size_t done = 0;
  if (count >= kShortestInterleaved) {
    const std::size_t lane = count / (kLanes * 4) * 4;
    crc = InterleavedCrc(bytes, lane) ^ 0xFFFFFFFFu;
    done = lane * kLanes;
  }
  return AdvanceRegister(crc, bytes + done, count - done) ^ 0xFFFFFFFFu;
}

}  // namespace sealmark
