#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace sealmark::test {

// Platform support of the end-to-end tests: running the program and
// knowing what the system's date settings make of a file's date.

struct ProgramRun {
  int exitCode;        // -1 when the program could not be started
  std::string output;  // what it wrote to its standard output and error
};

// Runs `program` with `arguments` in `folder` and waits for it to end.
ProgramRun RunProgram(const std::filesystem::path& program,
                      const std::vector<std::string>& arguments,
                      const std::filesystem::path& folder);

// Sets an environment variable of this process, which programs it starts
// inherit.
void SetEnvironment(const std::string& name, const std::string& value);

// Puts `folder` first on the PATH of this process.
void PrependToPath(const std::filesystem::path& folder);

// For as long as it lives, started programs show dates in a known short date
// format, the one that ExpectedDateText writes.
class KnownDateFormat {
 public:
  KnownDateFormat();
  ~KnownDateFormat();
  KnownDateFormat(const KnownDateFormat&) = delete;
  KnownDateFormat& operator=(const KnownDateFormat&) = delete;

 private:
  std::wstring previous_;
};

// The date text, in the known format, of the UTC day of the file's last write.
std::string ExpectedDateText(const std::filesystem::path& file);

// The date text, in the known format, of time 0: 1 January 1601.
std::string ExpectedDateTextOfTimeZero();

// Makes Wine report `version` ("win98", say) to programs named `program`,
// for as long as the object lives. took() is false where that cannot be set.
class ReportedWindowsVersion {
 public:
  ReportedWindowsVersion(const std::wstring& program, const std::wstring& version);
  ~ReportedWindowsVersion();
  ReportedWindowsVersion(const ReportedWindowsVersion&) = delete;
  ReportedWindowsVersion& operator=(const ReportedWindowsVersion&) = delete;
  bool took() const { return took_; }

 private:
  std::wstring key_;
  bool took_ = false;
};

}  // namespace sealmark::test
