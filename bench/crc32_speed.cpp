// crc32_speed: bytes per second of Crc32 and of the plain bit-by-bit loop on
// 64 MiB, for builds that Google Benchmark is not available to (the Windows
// builds under Wine). Best of five runs each.
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <random>
#include <vector>

#include "bench/plain_crc32.h"
#include "check/crc32.h"

namespace {

template <typename Checksum>
double BytesPerSecond(const std::vector<unsigned char>& buffer, Checksum checksum) {
  double best = 0;
  for (int run = 0; run < 5; ++run) {
    const auto start = std::chrono::steady_clock::now();
    volatile std::uint32_t result = checksum(buffer.data(), buffer.size());
    (void)result;
    const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
    best = std::max(best, static_cast<double>(buffer.size()) / took.count());
  }
  return best;
}

}  // namespace

int main() {
  std::vector<unsigned char> buffer(64u << 20);
  std::mt19937 engine(42);
  for (auto& byte : buffer) {
    byte = static_cast<unsigned char>(engine());
  }
  const double crc = BytesPerSecond(buffer, [](const unsigned char* data, std::size_t size) {
    return sealmark::Crc32(data, size);
  });
  const double plain = BytesPerSecond(buffer, PlainCrc32);
  std::printf("64 MiB: Crc32 %.1f MB/s, plain loop %.1f MB/s, ratio %.2fx\n", crc / 1e6,
              plain / 1e6, crc / plain);
  return 0;
}
