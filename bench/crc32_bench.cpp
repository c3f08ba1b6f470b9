// Bytes per second of Crc32, of the plain bit-by-bit loop it replaces, and of
// zlib's table-driven crc32, on buffers of 4 KiB, 1 MiB and 64 MiB; then the
// ratios between them for each size.
#include <benchmark/benchmark.h>
#include <zlib.h>

#include <cstdint>
#include <cstdio>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "bench/plain_crc32.h"
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

template <std::uint32_t (*Checksum)(const unsigned char*, std::size_t)>
void BM_Checksum(benchmark::State& state) {
  const auto size = static_cast<std::size_t>(state.range(0));
  const unsigned char* data = RandomBuffer().data();
  for (auto _ : state) {
    benchmark::DoNotOptimize(Checksum(data, size));
  }
  state.SetBytesProcessed(state.iterations() * state.range(0));
}

std::uint32_t Crc32(const unsigned char* data, std::size_t size) {
  return sealmark::Crc32(data, size);
}

std::uint32_t ZlibCrc32(const unsigned char* data, std::size_t size) {
  return static_cast<std::uint32_t>(crc32_z(0, data, size));
}

BENCHMARK(BM_Checksum<Crc32>)->Name("Crc32")->Arg(4 << 10)->Arg(1 << 20)->Arg(64 << 20);
BENCHMARK(BM_Checksum<PlainCrc32>)->Name("PlainLoop")->Arg(4 << 10)->Arg(1 << 20)->Arg(64 << 20);
BENCHMARK(BM_Checksum<ZlibCrc32>)->Name("ZlibCrc32")->Arg(4 << 10)->Arg(1 << 20)->Arg(64 << 20);

// Prints the usual table and keeps each run's bytes per second for the
// ratios.
class RatioReporter : public benchmark::ConsoleReporter {
 public:
  RatioReporter() : ConsoleReporter(OO_Tabular) {}

  void ReportRuns(const std::vector<Run>& runs) override {
    ConsoleReporter::ReportRuns(runs);
    for (const Run& run : runs) {
      const std::string name = run.benchmark_name();
      const std::size_t slash = name.find('/');
      speeds_[std::stol(name.substr(slash + 1))][name.substr(0, slash)] =
          run.counters.at("bytes_per_second");
    }
  }

  void PrintRatios() const {
    std::printf("\n%10s %18s %18s\n", "bytes", "Crc32 / PlainLoop", "ZlibCrc32 / Crc32");
    for (const auto& [size, speeds] : speeds_) {
      if (speeds.size() < 3) {
        continue;  // a filter left some out
      }
      std::printf("%10ld %17.2fx %17.2fx\n", size, speeds.at("Crc32") / speeds.at("PlainLoop"),
                  speeds.at("ZlibCrc32") / speeds.at("Crc32"));
    }
  }

 private:
  std::map<long, std::map<std::string, double>> speeds_;
};

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  reporter.PrintRatios();
  benchmark::Shutdown();
  return 0;
}
