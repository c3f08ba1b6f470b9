#include <chrono>

#include "support/file_staging.h"

namespace sealmark::test {

std::string RecordName(const FindRecord& record) {
  std::string name;
  for (const auto* c = record.cFileName; *c != 0; ++c) {
    name += static_cast<char>(*c);
  }
  return name;
}

std::uint64_t NowAsFileTime() {
  using namespace std::chrono;
  constexpr std::int64_t kSecondsFrom1601To1970 = 11'644'473'600;
  const auto since1970 = duration_cast<nanoseconds>(system_clock::now().time_since_epoch());
  return static_cast<std::uint64_t>(since1970.count() / 100 + kSecondsFrom1601To1970 * 10'000'000);
}

}  // namespace sealmark::test
