// Running a test program of the kit, and counting what it ran.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "kit/gtest_output.h"
#include "platform/windows_api.h"

namespace sealmark::kit {

// The system's message for `error`, its inserts (%1) filled with `subject`.
std::string ErrorText(DWORD error, const std::string& subject = "it");

// Writes each line to the console and to the file `path`, which is opened
// so that no test program inherits it, as it would a file of msvcrt's.
class Log {
 public:
  explicit Log(const std::filesystem::path& path);
  ~Log();
  Log(const Log&) = delete;
  Log& operator=(const Log&) = delete;

  void Line(const std::string& text);
  // Why the file cannot be written; the empty text where it can.
  const std::string& problem() const { return problem_; }

 private:
  HANDLE file_;
  std::string problem_;
};

// Starts `program` with `arguments` in its own folder, its output going to
// `output`, and waits for it. It runs in a job of its own, which ends with
// it: no program that it started is left running.
Started RunProgram(const std::filesystem::path& program, const std::wstring& arguments,
                   const std::filesystem::path& output);

// Ends the test program that runs, and lets RunProgram start no other.
void StopRunning();
bool Stopping();

// What a test program ran, as CountTheOutput counts it from its output
// `output` and its XML report `report`.
Counts CountTheRun(const std::string& name, const Started& started,
                   const std::filesystem::path& output, const std::filesystem::path& report,
                   bool strict, std::vector<std::string>& notes);

}  // namespace sealmark::kit
