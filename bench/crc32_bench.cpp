// Bytes per second of Crc32, of each of its forms that runs here, of the
// plain bit-by-bit loop it replaces and of zlib's table-driven crc32, on
// buffers of 4 KiB, 1 MiB and 32 MiB; then for each size the ratio of each to
// the plain loop, and of zlib's crc32 to Crc32.
#include <benchmark/benchmark.h>
#include <zlib.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "bench/plain_crc32.h"
#include "check/crc32.h"
#include "check/crc32_forms.h"

namespace {

constexpr long kSizes[] = {4 << 10, 1 << 20, 32 << 20};

// 32 MiB of random bytes; every run reads a prefix of it.
const std::vector<unsigned char>& RandomBuffer() {
  static const std::vector<unsigned char> buffer = [] {
    std::vector<unsigned char> bytes(32u << 20);
    std::mt19937 engine(42);
    for (auto& byte : bytes) {
      byte = static_cast<unsigned char>(engine());
    }
    return bytes;
  }();
  return buffer;
}

template <typename Checksum>
void Register(const std::string& name, Checksum checksum) {
  auto* benchmark = benchmark::RegisterBenchmark(name.c_str(), [checksum](benchmark::State& state) {
    const auto size = static_cast<std::size_t>(state.range(0));
    const unsigned char* data = RandomBuffer().data();
    for (auto _ : state) {
      benchmark::DoNotOptimize(checksum(data, size));
    }
    state.SetBytesProcessed(state.iterations() * state.range(0));
  });
  for (const long size : kSizes) {
    benchmark->Arg(size);
  }
}

void RegisterAll() {
  Register("Crc32",
           [](const unsigned char* data, std::size_t size) { return sealmark::Crc32(data, size); });
  for (const sealmark::Crc32Form form : sealmark::kCrc32Forms) {
    if (sealmark::Crc32FormRunsHere(form)) {
      Register(sealmark::Crc32FormName(form), [form](const unsigned char* data, std::size_t size) {
        return sealmark::Crc32With(form, data, size);
      });
    }
  }
  Register("PlainLoop", PlainCrc32);
  Register("ZlibCrc32", [](const unsigned char* data, std::size_t size) {
    return static_cast<std::uint32_t>(crc32_z(0, data, size));
  });
}

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
      const std::string checksum = name.substr(0, slash);
      if (std::find(checksums_.begin(), checksums_.end(), checksum) == checksums_.end()) {
        checksums_.push_back(checksum);
      }
      speeds_[std::stol(name.substr(slash + 1))][checksum] = run.counters.at("bytes_per_second");
    }
  }

  // Each size's speeds as multiples of the plain loop's, then zlib's crc32
  // over Crc32.
  void PrintRatios() const {
    for (const auto& [size, speeds] : speeds_) {
      if (speeds.count("PlainLoop") == 0 || speeds.count("Crc32") == 0 ||
          speeds.count("ZlibCrc32") == 0) {
        continue;  // a filter left some out
      }
      std::printf("\n%ld bytes, speed / PlainLoop:\n", size);
      for (const std::string& checksum : checksums_) {
        if (speeds.count(checksum) != 0) {
          std::printf("  %-12s %8.2fx\n", checksum.c_str(),
                      speeds.at(checksum) / speeds.at("PlainLoop"));
        }
      }
      std::printf("  ZlibCrc32 / Crc32: %.2fx\n", speeds.at("ZlibCrc32") / speeds.at("Crc32"));
    }
  }

 private:
  std::vector<std::string> checksums_;  // in the order they ran
  std::map<long, std::map<std::string, double>> speeds_;
};

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  RegisterAll();
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  reporter.PrintRatios();
  benchmark::Shutdown();
  return 0;
}
