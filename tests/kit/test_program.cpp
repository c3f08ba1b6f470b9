#include "kit/test_program.h"

#include <atomic>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <mutex>

#include "kit/kit_text.h"

namespace sealmark::kit {

namespace fs = std::filesystem;

namespace {

constexpr DWORD kRunLimit = 20 * 60 * 1000;  // milliseconds

std::atomic<bool> gStopping{false};

// The test program that runs, and its job, for the console's handler.
std::mutex gRunningLock;
HANDLE gRunningProcess = nullptr;
HANDLE gRunningJob = nullptr;

}  // namespace

Counts CountTheRun(const std::string& name, const Started& started, const fs::path& output,
                   const fs::path& report, bool strict, std::vector<std::string>& notes) {
  std::ifstream file(output, std::ios::binary);
  const std::string text{std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
  std::ifstream xml(report, std::ios::binary);
  const std::optional<std::string> reported =
      xml ? std::optional(
                std::string{std::istreambuf_iterator<char>(xml), std::istreambuf_iterator<char>()})
          : std::nullopt;
  return CountTheOutput(name, started, text, reported, strict, notes);
}

// The message comes with its inserts as they stand ("Bad EXE format for
// %1."): filling them through FormatMessageW would need as many arguments
// as the message has, which no caller knows.
std::string ErrorText(DWORD error, const std::string& subject) {
  wchar_t text[512] = {};
  FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, error, 0,
                 text, 512, nullptr);
  std::string message = Narrow(text);
  while (!message.empty() && (message.back() == '\n' || message.back() == '\r')) {
    message.pop_back();
  }
  for (std::size_t at = message.find('%'); at != std::string::npos && at + 1 < message.size();
       at = message.find('%', at + 1)) {
    if (message[at + 1] >= '1' && message[at + 1] <= '9') {
      message.replace(at, 2, subject);
    }
  }
  return "error " + std::to_string(error) + (message.empty() ? "" : " (" + message + ")");
}

Log::Log(const fs::path& path)
    : file_(CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                        FILE_ATTRIBUTE_NORMAL, nullptr)) {
  if (file_ == INVALID_HANDLE_VALUE) {
    problem_ = ErrorText(GetLastError(), Narrow(path.wstring()));
  }
}

Log::~Log() {
  if (file_ != INVALID_HANDLE_VALUE) {
    CloseHandle(file_);
  }
}

void Log::Line(const std::string& text) {
  std::printf("%s\n", text.c_str());
  std::fflush(stdout);
  const std::string line = text + "\r\n";
  DWORD written = 0;
  WriteFile(file_, line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
}

// Windows 7 lets a process
// that is in a job already join no other; there the program leaves the
// runner's job where that job allows it.
Started RunProgram(const fs::path& program, const std::wstring& arguments, const fs::path& output) {
  SECURITY_ATTRIBUTES inheritable{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
  const HANDLE sink = CreateFileW(output.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inheritable,
                                  CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (sink == INVALID_HANDLE_VALUE) {
    const std::string name = Narrow(output.wstring());
    return {std::nullopt,
            "its output " + name + " cannot be written: " + ErrorText(GetLastError(), name)};
  }
  std::wstring command = L"\"" + program.wstring() + L"\" " + arguments;
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdOutput = sink;
  startup.hStdError = sink;
  PROCESS_INFORMATION process{};
  const auto start = [&](DWORD flags) {
    return CreateProcessW(program.c_str(), command.data(), nullptr, nullptr, TRUE,
                          CREATE_SUSPENDED | flags, nullptr, program.parent_path().c_str(),
                          &startup, &process);
  };
  const BOOL started = start(CREATE_BREAKAWAY_FROM_JOB) || start(0);
  const DWORD error = GetLastError();
  CloseHandle(sink);
  if (!started) {
    return {std::nullopt, ErrorText(error, Narrow(program.wstring()))};
  }
  Started run;
  JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits{};
  limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
  const HANDLE job = CreateJobObjectW(nullptr, nullptr);
  run.inItsJob =
      job != nullptr &&
      SetInformationJobObject(job, JobObjectExtendedLimitInformation, &limits, sizeof limits) &&
      AssignProcessToJobObject(job, process.hProcess);
  {
    const std::lock_guard<std::mutex> running(gRunningLock);
    gRunningProcess = process.hProcess;
    gRunningJob = run.inItsJob ? job : nullptr;
  }
  ResumeThread(process.hThread);
  if (!gStopping && WaitForSingleObject(process.hProcess, kRunLimit) == WAIT_OBJECT_0) {
    DWORD exitCode = 0;
    GetExitCodeProcess(process.hProcess, &exitCode);
    run.exitCode = exitCode;
  }
  {
    const std::lock_guard<std::mutex> running(gRunningLock);
    gRunningProcess = nullptr;
    gRunningJob = nullptr;
  }
  // A program that Ctrl+C reached ended by itself as far as the wait
  // could tell.
  run.stopped = gStopping;
  TerminateProcess(process.hProcess, 1);
  if (job != nullptr) {
    CloseHandle(job);
  }
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  return run;
}

bool Stopping() {
  return gStopping;
}

void StopRunning() {
  gStopping = true;
  const std::lock_guard<std::mutex> running(gRunningLock);
  if (gRunningJob != nullptr) {
    TerminateJobObject(gRunningJob, 1);
  } else if (gRunningProcess != nullptr) {
    TerminateProcess(gRunningProcess, 1);
  }
}

}  // namespace sealmark::kit
