#include "support/crc_forge.h"

#include <zlib.h>

namespace sealmark::test {

namespace {

constexpr std::uint32_t kPolynomial = 0xEDB88320u;

// Undoes one one-bit step of the reflected CRC register. The forward step
// shifts right and, when the bit shifted out was 1, adds the polynomial, whose
// top bit is set; so the top bit after the step tells what was shifted out.
std::uint32_t StepBack(std::uint32_t reg) {
  const std::uint32_t shiftedOut = reg >> 31;
  if (shiftedOut != 0) {
    reg ^= kPolynomial;
  }
  return (reg << 1) | shiftedOut;
}

}  // namespace

Bytes CrcPatch(std::uint32_t crc, std::uint32_t target) {
  // Four appended bytes w (little endian) take the register R to
  // Step^32(R ^ w); run the steps back from the register the target needs.
  std::uint32_t reg = target ^ 0xFFFFFFFFu;
  for (int bit = 0; bit < 32; ++bit) {
    reg = StepBack(reg);
  }
  const std::uint32_t patch = reg ^ crc ^ 0xFFFFFFFFu;
  Bytes bytes;
  for (int shift = 0; shift < 32; shift += 8) {
    bytes.push_back(static_cast<unsigned char>(patch >> shift));
  }
  return bytes;
}

std::uint32_t CrcOfZeros(std::uint64_t count) {
  const Bytes zeros(1u << 20);
  const uLong crcOfAMebibyte = crc32_z(0, zeros.data(), zeros.size());
  uLong crc = 0;
  for (; count >= zeros.size(); count -= zeros.size()) {
    crc = crc32_combine(crc, crcOfAMebibyte, static_cast<z_off_t>(zeros.size()));
  }
  return static_cast<std::uint32_t>(crc32_z(crc, zeros.data(), static_cast<std::size_t>(count)));
}

}  // namespace sealmark::test
