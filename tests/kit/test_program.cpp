#include "kit/test_program.h"

#include <atomic>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <mutex>
#include <set>
#include <sstream>

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

bool StartsWith(const std::string& text, const std::string& start) {
  return text.compare(0, start.size(), start) == 0;
}

// The number that follows `start` at the start of `line`, as in
// "[  PASSED  ] 12 tests."; none where another text follows.
std::optional<int> CountAfter(const std::string& line, const std::string& start) {
  if (!StartsWith(line, start) || line.size() == start.size() || line[start.size()] < '0' ||
      line[start.size()] > '9') {
    return std::nullopt;
  }
  // No more digits than an int holds.
  return std::stoi(line.substr(start.size(), 9));
}

// The counts in the summary of a GoogleTest program's `output`, none where
// it has none; each skipped test with the reason that it gave, and each
// failed test, as lines of `notes`.
std::optional<Counts> ReadSummary(const std::string& output, std::vector<std::string>& notes) {
  std::optional<Counts> counts;
  std::string reason;
  bool inReason = false;
  std::istringstream lines(output);
  for (std::string line; std::getline(lines, line);) {
    if (!line.empty() && line.back() == '\r') {
      line.pop_back();
    }
    if (const auto passed = CountAfter(line, "[  PASSED  ] ")) {
      counts = Counts{*passed, 0, 0};
    } else if (const auto skipped = CountAfter(line, "[  SKIPPED ] "); skipped && counts) {
      counts->skipped = *skipped;
    } else if (const auto failed = CountAfter(line, "[  FAILED  ] "); failed && counts) {
      counts->failed = *failed;
    } else if (StartsWith(line, "[  SKIPPED ] ") && line.back() == ')' && !counts) {
      notes.push_back("  skipped " + line.substr(13, line.rfind(" (") - 13) + ": " +
                      (reason.empty() ? "(no reason given)" : reason));
    } else if (StartsWith(line, "[  FAILED  ] ") && line.back() == ')' && !counts) {
      notes.push_back("  failed  " + line.substr(13, line.rfind(" (") - 13));
    } else if (StartsWith(line, "[ RUN      ] ")) {
      reason.clear();
      inReason = false;
    } else if (line.size() > 9 && line.compare(line.size() - 9, 9, ": Skipped") == 0) {
      inReason = true;
    } else if (inReason && !StartsWith(line, "[")) {
      reason += (reason.empty() ? "" : " ") + line;
    }
  }
  return counts;
}

// The reason of a skip that the tests give where the shell would not start
// the recorder.
constexpr char kNoRecorder[] = "the shell would not start the recorder";

struct Report {
  Counts counts;
  std::set<std::string> skippedForTheRecorder;  // Suite.Test
};

std::string Attribute(const std::string& tag, const std::string& name) {
  const std::string start = " " + name + "=\"";
  const std::size_t at = tag.find(start);
  if (at == std::string::npos) {
    return {};
  }
  const std::size_t from = at + start.size();
  return tag.substr(from, tag.find('"', from) - from);
}

// The counts of a GoogleTest XML report: each test case that ran, by its
// result; none where the report is missing, cut short or unreadable.
std::optional<Report> ReadReport(const fs::path& path) {
  std::ifstream file(path, std::ios::binary);
  const std::string xml{std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
  if (xml.find("<testsuites") == std::string::npos ||
      xml.find("</testsuites>") == std::string::npos) {
    return std::nullopt;
  }
  Report report;
  for (std::size_t at = xml.find("<testcase "); at != std::string::npos;
       at = xml.find("<testcase ", at + 1)) {
    const std::size_t tagEnd = xml.find('>', at);
    if (tagEnd == std::string::npos) {
      return std::nullopt;
    }
    const std::string tag = xml.substr(at, tagEnd - at);
    const bool empty = xml[tagEnd - 1] == '/';
    const std::size_t end = empty ? tagEnd : xml.find("</testcase>", tagEnd);
    if (end == std::string::npos) {
      return std::nullopt;
    }
    const std::string body = xml.substr(tagEnd, end - tagEnd);
    const std::string result = Attribute(tag, "result");
    if (body.find("<failure") != std::string::npos) {
      ++report.counts.failed;
    } else if (result == "skipped") {
      ++report.counts.skipped;
      if (body.find(kNoRecorder) != std::string::npos) {
        report.skippedForTheRecorder.insert(Attribute(tag, "classname") + "." +
                                            Attribute(tag, "name"));
      }
    } else if (result == "completed") {
      ++report.counts.passed;
    }
  }
  return report;
}

// Why a program's run counts as one failed test; the empty text where it
// does not.
std::string ProblemOf(const Started& started, const std::optional<Counts>& summary,
                      const std::optional<Report>& report) {
  if (!started.problem.empty()) {
    return "could not start: " + started.problem;
  }
  if (!started.exitCode) {
    return started.stopped ? "stopped" : "did not end within 20 minutes";
  }
  const std::string exitCode = std::to_string(*started.exitCode);
  if (!summary) {
    return "ended without its summary, with exit code " + exitCode;
  }
  if (!report) {
    return "its XML report is missing or unreadable";
  }
  if (!(report->counts == *summary)) {
    return "its summary says " + CountsText(*summary) + ", its XML report " +
           CountsText(report->counts);
  }
  if (summary->passed + summary->failed + summary->skipped == 0) {
    return "ran no test";
  }
  if (*started.exitCode != 0 && summary->failed == 0) {
    return "ended with exit code " + exitCode;
  }
  return {};
}

}  // namespace

std::string CountsText(const Counts& counts) {
  return std::to_string(counts.passed) + " passed, " + std::to_string(counts.failed) + " failed, " +
         std::to_string(counts.skipped) + " skipped";
}

Counts CountTheRun(const std::string& name, const Started& started, const fs::path& output,
                   const fs::path& report, bool strict, std::vector<std::string>& notes) {
  std::ifstream file(output, std::ios::binary);
  const std::string text{std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
  const std::optional<Counts> summary = ReadSummary(text, notes);
  const std::optional<Report> reported = ReadReport(report);
  Counts counts = reported ? reported->counts : Counts{};
  if (strict && reported) {
    for (std::string& note : notes) {
      const std::string test = note.substr(10, note.find(": ") - 10);
      if (note.compare(0, 10, "  skipped ") == 0 && reported->skippedForTheRecorder.count(test)) {
        note = "  failed  " + test + " (--strict: it would skip)" + note.substr(note.find(": "));
        --counts.skipped;
        ++counts.failed;
      }
    }
  }
  const std::string problem = ProblemOf(started, summary, reported);
  if (!problem.empty()) {
    ++counts.failed;
    notes.push_back("  failed  " + name + ": " + problem);
  }
  return counts;
}

std::string ErrorText(DWORD error) {
  wchar_t text[512] = {};
  FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, error, 0,
                 text, 512, nullptr);
  std::wstring message = text;
  while (!message.empty() && (message.back() == L'\n' || message.back() == L'\r')) {
    message.pop_back();
  }
  return "error " + std::to_string(error) + (message.empty() ? "" : " (" + Narrow(message) + ")");
}

Log::Log(const fs::path& path)
    : file_(CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                        FILE_ATTRIBUTE_NORMAL, nullptr)) {}

Log::~Log() {
  CloseHandle(file_);
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
    return {std::nullopt, ErrorText(error)};
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
  run.stopped = gStopping && !run.exitCode;
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
