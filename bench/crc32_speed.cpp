// crc32_speed: bytes per second on 32 MiB of the plain bit-by-bit loop, of
// each form of Crc32 that runs here and of Crc32 itself, with the ratio to the
// plain loop, for builds that Google Benchmark is not available to (the
// Windows builds under Wine). Best of five runs each. One line each:
//   plain 131.0 MB/s 1.00x
//   form portable32 612.3 MB/s 4.67x
//   Crc32 2480.5 MB/s 18.93x
#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <random>
#include <vector>

#include "bench/plain_crc32.h"
#include "check/crc32.h"
#include "check/crc32_forms.h"

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
  std::vector<unsigned char> buffer(32u << 20);
  std::mt19937 engine(42);
  for (auto& byte : buffer) {
    byte = static_cast<unsigned char>(engine());
  }
  const double plain = BytesPerSecond(buffer, PlainCrc32);
  std::printf("plain %.1f MB/s 1.00x\n", plain / 1e6);
  for (const sealmark::Crc32Form form : sealmark::kCrc32Forms) {
    if (!sealmark::Crc32FormRunsHere(form)) {
      continue;
    }
    const double speed =
        BytesPerSecond(buffer, [form](const unsigned char* data, std::size_t size) {
          return sealmark::Crc32With(form, data, size);
        });
    std::printf("form %s %.1f MB/s %.2fx\n", sealmark::Crc32FormName(form), speed / 1e6,
                speed / plain);
  }
  const double crc = BytesPerSecond(buffer, [](const unsigned char* data, std::size_t size) {
    return sealmark::Crc32(data, size);
  });
  std::printf("Crc32 %.1f MB/s %.2fx\n", crc / 1e6, crc / plain);
  return 0;
}
