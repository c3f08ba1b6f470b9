// Bytes per second of Crc32 against zlib's crc32 on buffers of 4 KiB, 1 MiB
// and 64 MiB.
#include <benchmark/benchmark.h>
#include <zlib.h>

#include <cstdint>
#include <random>
#include <vector>

#include "check/crc32.h"

namespace {

// 64 MiB of random bytes; every run reads a prefix of it.
const std::vector<unsigned char>& RandomBuffer() {
  static const std::vector<unsigned char> buffer = [] {
    std::vector<unsigned char> bytes(64u << 20);
    std::mt19937 engine(42);
    for (auto& byte : bytes) {
      byte = static_cast<unsigned char>(engine());
    }
    return bytes;
  }();
  return buffer;
}

void BM_Crc32(benchmark::State& state) {
  const auto size = static_cast<std::size_t>(state.range(0));
  const auto& buffer = RandomBuffer();
  for (auto _ : state) {
    benchmark::DoNotOptimize(sealmark::Crc32(buffer.data(), size));
  }
  state.SetBytesProcessed(state.iterations() * state.range(0));
}

void BM_ZlibCrc32(benchmark::State& state) {
  const auto size = static_cast<std::size_t>(state.range(0));
  const auto& buffer = RandomBuffer();
  for (auto _ : state) {
    benchmark::DoNotOptimize(crc32_z(0, buffer.data(), size));
  }
  state.SetBytesProcessed(state.iterations() * state.range(0));
}

BENCHMARK(BM_Crc32)->Arg(4 << 10)->Arg(1 << 20)->Arg(64 << 20)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_ZlibCrc32)->Arg(4 << 10)->Arg(1 << 20)->Arg(64 << 20)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
