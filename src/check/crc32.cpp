#include "check/crc32.h"

namespace sealmark {

namespace {

constexpr std::uint32_t kPolynomial = 0xEDB88320u;

// Folds one byte into the register: the table entry for the low byte is
// computed on the spot with eight one-bit shift steps.
std::uint32_t ByteStep(std::uint32_t crc, unsigned char byte) {
  std::uint32_t x = (crc ^ byte) & 0xFFu;
  crc >>= 8;
  for (int bit = 0; bit < 8; ++bit) {
    x = (x & 1u) != 0 ? (x >> 1) ^ kPolynomial : x >> 1;
  }
  return crc ^ x;
}

}  // namespace

std::uint32_t Crc32(const void* data, std::size_t count) {
  const auto* bytes = static_cast<const unsigned char*>(data);
  std::uint32_t crc = 0xFFFFFFFFu;
  for (std::size_t i = 0; i < count; ++i) {
    crc = ByteStep(crc, bytes[i]);
  }
  return crc ^ 0xFFFFFFFFu;
}

}  // namespace sealmark
