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

namespace {

// Both variables, each of them read on one platform only.
void UseTemporaryFolder(const std::filesystem::path& folder) {
  SetEnvironment("TMP", folder.string());
  SetEnvironment("TMPDIR", folder.string());
}

}  // namespace

// Set back to the folder that was in use, rather than to no setting.
TemporaryFolder::TemporaryFolder(const std::filesystem::path& folder)
    : previous_(std::filesystem::temp_directory_path()) {
  UseTemporaryFolder(folder);
}

TemporaryFolder::~TemporaryFolder() {
  UseTemporaryFolder(previous_);
}

std::string WineProgramKey(const std::string& name) {
  return "Software\\Wine\\AppDefaults\\" + name;
}

}  // namespace sealmark::test
