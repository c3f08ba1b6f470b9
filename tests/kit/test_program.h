// Running a test program of the kit, and counting what it ran.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "platform/windows_api.h"

namespace sealmark::kit {

std::string ErrorText(DWORD error);

// Writes each line to the console and to the file `path`, which is opened
// so that no test program inherits it, as it would a file of msvcrt's.
class Log {
 public:
  explicit Log(const std::filesystem::path& path);
  ~Log();
  Log(const Log&) = delete;
  Log& operator=(const Log&) = delete;

  void Line(const std::string& text);

 private:
  HANDLE file_;
};

struct Started {
  std::optional<DWORD> exitCode;  // none where it did not end in time
  std::string problem;            // why it did not start
  bool inItsJob = false;
  bool stopped = false;
};

// Starts `program` with `arguments` in its own folder, its output going to
// `output`, and waits for it. It runs in a job of its own, which ends with
// it: no program that it started is left running.
Started RunProgram(const std::filesystem::path& program, const std::wstring& arguments,
                   const std::filesystem::path& output);

// Ends the test program that runs, and lets RunProgram start no other.
void StopRunning();
bool Stopping();

struct Counts {
  int passed = 0;
  int failed = 0;
  int skipped = 0;

  Counts& operator+=(const Counts& more) {
    passed += more.passed;
    failed += more.failed;
    skipped += more.skipped;
    return *this;
  }
  bool operator==(const Counts& other) const {
    return passed == other.passed && failed == other.failed && skipped == other.skipped;
  }
};

std::string CountsText(const Counts& counts);

// What a test program ran, from its XML report `report`, checked against
// the summary in its output `output`; with `strict`, a test that skipped
// because the shell would not start the recorder counts as failed. A
// program that did not start or end, whose report is missing or unreadable
// or disagrees with its summary, that ran no test, or that ended without
// its summary or with an error counts as one failed test. Each skipped test
// with its reason, and each failed one, is added to `notes`.
Counts CountTheRun(const std::string& name, const Started& started,
                   const std::filesystem::path& output, const std::filesystem::path& report,
                   bool strict, std::vector<std::string>& notes);

}  // namespace sealmark::kit
