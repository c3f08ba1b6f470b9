#include <chrono>

#include "platform/file_time_conversion.h"
#include "support/platform.h"

namespace sealmark::test {

std::string RecordName(const FindRecord& record) {
  std::string name;
  for (const char16_t* c = record.name; *c != 0; ++c) {
    name += static_cast<char>(*c);
  }
  return name;
}

std::uint64_t NowAsFileTime() {
  using namespace std::chrono;
  const auto since1970 = duration_cast<nanoseconds>(system_clock::now().time_since_epoch());
  return FileTimeOfPosixTime(since1970.count() / 1'000'000'000, since1970.count() % 1'000'000'000);
}

std::string WineProgramKey(const std::string& name) {
  return "Software\\Wine\\AppDefaults\\" + name;
}

}  // namespace sealmark::test
