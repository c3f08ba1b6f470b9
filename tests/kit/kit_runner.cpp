// kit_runner: runs the Windows tests of the kit it lies in (KIT\win32),
// for each width whose programs start here, and puts back every setting
// that the tests change. run-tests.cmd starts it; the kit's README.txt
// says what it does to the machine.
//
// Prints each run's and each set's counts, every skipped test with its
// reason and every failed test, and last "N passed, N failed, N skipped";
// a test program that cannot start, ends early or ends with an error
// counts as one failed test. Exits with 0 only where none failed. Its
// output, and each test program's output and XML report, go to
// KIT\results.
#include <atomic>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <mutex>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "platform/windows_api.h"
// After <windows.h>.
#include <shellapi.h>
#include <shlobj.h>

#include "support/platform.h"

namespace {

namespace fs = std::filesystem;
using sealmark::test::RunsUnderWine;

// The file type that opens .txt files while the tests run, and its key.
constexpr wchar_t kRecorderTypeName[] = L"Sealmark.TestRecorder";
const std::wstring kRecorderType = std::wstring(L"Software\\Classes\\") + kRecorderTypeName;
constexpr wchar_t kTxt[] = L"Software\\Classes\\.txt";
constexpr wchar_t kInternational[] = L"Control Panel\\International";
// Where a run keeps how the keys that it changes were, until it has put
// them back: a run cut short leaves it for the next, which puts them back
// first.
constexpr wchar_t kSaved[] = L"Software\\Sealmark\\Test kit";
constexpr DWORD kRunLimit = 20 * 60 * 1000;  // milliseconds

std::atomic<bool> gStopping{false};
HANDLE gPutBack = CreateEventW(nullptr, TRUE, FALSE, nullptr);

// The test program that runs, and its job, for the console's handler.
std::mutex gRunningLock;
HANDLE gRunningProcess = nullptr;
HANDLE gRunningJob = nullptr;

std::string Narrow(const std::wstring& text) {
  const int size = WideCharToMultiByte(CP_ACP, 0, text.c_str(), -1, nullptr, 0, nullptr, nullptr);
  std::string narrow(static_cast<std::size_t>(size > 0 ? size : 1), '\0');
  WideCharToMultiByte(CP_ACP, 0, text.c_str(), -1, narrow.data(), size, nullptr, nullptr);
  narrow.pop_back();
  return narrow;
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

// Writes each line to the console and to the file `path`, which is opened
// so that no test program inherits it, as it would a file of msvcrt's.
class Log {
 public:
  explicit Log(const fs::path& path)
      : file_(CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                          FILE_ATTRIBUTE_NORMAL, nullptr)) {}
  ~Log() { CloseHandle(file_); }
  Log(const Log&) = delete;
  Log& operator=(const Log&) = delete;

  void Line(const std::string& text) {
    std::printf("%s\n", text.c_str());
    std::fflush(stdout);
    const std::string line = text + "\r\n";
    DWORD written = 0;
    WriteFile(file_, line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
  }

 private:
  HANDLE file_;
};

bool KeyIsThere(HKEY root, const std::wstring& path) {
  HKEY key = nullptr;
  if (RegOpenKeyExW(root, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) {
    return false;
  }
  RegCloseKey(key);
  return true;
}

// The values of a registry key, by name: their type and bytes.
using Values = std::map<std::wstring, std::pair<DWORD, std::string>>;

// The values of the key `path`: none where the key is not there; nothing
// where one of them cannot be read.
std::optional<Values> ValuesOf(HKEY root, const std::wstring& path) {
  Values values;
  HKEY key = nullptr;
  if (RegOpenKeyExW(root, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) {
    return values;
  }
  DWORD count = 0;
  DWORD longestName = 0;
  DWORD largest = 0;
  bool whole = RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &count,
                                &longestName, &largest, nullptr, nullptr) == ERROR_SUCCESS;
  std::vector<wchar_t> name(longestName + 1);
  std::string data(largest, '\0');
  for (DWORD index = 0; whole && index < count; ++index) {
    DWORD units = longestName + 1;
    DWORD size = largest;
    DWORD type = 0;
    whole = RegEnumValueW(key, index, name.data(), &units, nullptr, &type,
                          reinterpret_cast<BYTE*>(data.data()), &size) == ERROR_SUCCESS;
    values[std::wstring(name.data(), units)] = {type, data.substr(0, size)};
  }
  RegCloseKey(key);
  return whole ? std::optional<Values>(values) : std::nullopt;
}

// Makes the values of the key `path` those of `values`, removing any other.
void WriteValues(HKEY root, const std::wstring& path, const Values& values) {
  Values now = ValuesOf(root, path).value_or(Values{});
  HKEY key = nullptr;
  if (now == values || RegCreateKeyExW(root, path.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &key,
                                       nullptr) != ERROR_SUCCESS) {
    return;
  }
  for (const auto& [name, value] : now) {
    if (values.count(name) == 0) {
      RegDeleteValueW(key, name.c_str());
    }
  }
  for (const auto& [name, value] : values) {
    if (now[name] != value) {
      RegSetValueExW(key, name.c_str(), 0, value.first,
                     reinterpret_cast<const BYTE*>(value.second.data()),
                     static_cast<DWORD>(value.second.size()));
    }
  }
  RegCloseKey(key);
}

// A registry key as it was before the tests: whether it was there, and its
// values, kept in HKEY_CURRENT_USER\kSaved\`name` until Forget(). Where an
// earlier run left them there, they are how the key was before that run,
// and they are put back at once.
class SavedKey {
 public:
  SavedKey(HKEY root, std::wstring path, const std::wstring& name)
      : root_(root),
        path_(std::move(path)),
        saved_(std::wstring(kSaved) + L"\\" + name),
        cutShort_(KeyIsThere(HKEY_CURRENT_USER, saved_)) {
    if (cutShort_) {
      PutBack();
      return;
    }
    const std::optional<Values> values = ValuesOf(root_, path_);
    const DWORD wasThere = KeyIsThere(root_, path_) ? 1 : 0;
    wasSaved_ = values.has_value() &&
                RegSetKeyValueW(HKEY_CURRENT_USER, saved_.c_str(), L"Was there", REG_DWORD,
                                &wasThere, sizeof wasThere) == ERROR_SUCCESS;
    if (wasSaved_) {
      WriteValues(HKEY_CURRENT_USER, saved_ + L"\\Values", *values);
    }
  }

  // Whether an earlier run was cut short before it put this key back.
  bool cutShort() const { return cutShort_; }
  bool saved() const { return cutShort_ || wasSaved_; }

  Values SavedValues() const {
    return ValuesOf(HKEY_CURRENT_USER, saved_ + L"\\Values").value_or(Values{});
  }

  // A key that was not there goes with all in it.
  void PutBack() const {
    DWORD wasThere = 1;
    DWORD size = sizeof wasThere;
    if (RegGetValueW(HKEY_CURRENT_USER, saved_.c_str(), L"Was there", RRF_RT_REG_DWORD, nullptr,
                     &wasThere, &size) != ERROR_SUCCESS) {
      return;
    }
    if (wasThere == 0) {
      RegDeleteTreeW(root_, path_.c_str());
    } else {
      WriteValues(root_, path_, SavedValues());
    }
  }

  void Forget() const { RegDeleteTreeW(HKEY_CURRENT_USER, saved_.c_str()); }

 private:
  HKEY root_;
  std::wstring path_;
  std::wstring saved_;
  bool cutShort_;
  bool wasSaved_ = false;
};

// What the tests change in the user's settings: the regional settings (the
// short date format), and under Wine the Windows version that it reports
// to a program. The short date goes back through SetLocaleInfoW first,
// which the system's own cache of the settings follows.
class UserSettings {
 public:
  UserSettings() {
    keys_.emplace_back(HKEY_CURRENT_USER, kInternational, L"International");
    if (RunsUnderWine()) {
      for (const wchar_t* program : {L"Sealmark.exe", L"os_text_probe.exe"}) {
        keys_.emplace_back(HKEY_CURRENT_USER,
                           std::wstring(L"Software\\Wine\\AppDefaults\\") + program,
                           std::wstring(L"Wine ") + program);
      }
    }
  }

  const std::vector<SavedKey>& keys() const { return keys_; }

  void PutBack() const {
    const Values saved = keys_.front().SavedValues();
    const auto shortDate = saved.find(L"sShortDate");
    if (shortDate != saved.end() &&
        ValuesOf(HKEY_CURRENT_USER, kInternational).value_or(Values{})[L"sShortDate"] !=
            shortDate->second) {
      const std::string& bytes = shortDate->second.second;
      SetLocaleInfoW(LOCALE_USER_DEFAULT, LOCALE_SSHORTDATE,
                     std::wstring(reinterpret_cast<const wchar_t*>(bytes.data()),
                                  bytes.size() / sizeof(wchar_t))
                         .c_str());
    }
    for (const SavedKey& key : keys_) {
      key.PutBack();
    }
  }

 private:
  std::vector<SavedKey> keys_;
};

void SetDefaultText(HKEY root, const std::wstring& path, const std::wstring& text) {
  RegSetKeyValueW(root, path.c_str(), nullptr, REG_SZ, text.c_str(),
                  static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t)));
}

// Makes the recorder the program that opens .txt files, for as long as it
// lives: in the current user's classes on Windows, never the machine's,
// and never through the user's own choice of program, which Windows keeps
// with a hash that no other program can make; under Wine, which reads file
// types from the machine's classes alone, in those. The files it opens are
// kept out of the user's recent documents.
class TxtOpener {
 public:
  explicit TxtOpener(const fs::path& recorder)
      : root_(RunsUnderWine() ? HKEY_LOCAL_MACHINE : HKEY_CURRENT_USER),
        txt_(root_, kTxt, L".txt") {
    RegDeleteTreeW(root_, kRecorderType.c_str());
    if (!txt_.saved()) {
      return;
    }
    SetDefaultText(root_, kTxt, kRecorderTypeName);
    SetDefaultText(root_, kRecorderType + L"\\shell\\open\\command",
                   L"\"" + recorder.wstring() + L"\" \"%1\"");
    RegSetKeyValueW(root_, kRecorderType.c_str(), L"NoRecentDocs", REG_SZ, L"", sizeof(wchar_t));
    SHChangeNotify(SHCNE_ASSOCCHANGED, SHCNF_IDLIST, nullptr, nullptr);
  }

  ~TxtOpener() {
    RegDeleteTreeW(root_, kRecorderType.c_str());
    txt_.PutBack();
    txt_.Forget();
    SHChangeNotify(SHCNE_ASSOCCHANGED, SHCNF_IDLIST, nullptr, nullptr);
  }

  TxtOpener(const TxtOpener&) = delete;
  TxtOpener& operator=(const TxtOpener&) = delete;

  const SavedKey& txt() const { return txt_; }

 private:
  HKEY root_;
  SavedKey txt_;
};

// Removes the folder `whole`, a whole path in the \\?\ form, which Windows
// takes beyond MAX_PATH, and all in it, read-only files too, without going
// through a link: a link to a folder is removed itself.
void RemoveWholeFolder(const std::wstring& whole) {
  WIN32_FIND_DATAW found;
  const HANDLE search = FindFirstFileW((whole + L"\\*").c_str(), &found);
  if (search != INVALID_HANDLE_VALUE) {
    do {
      const std::wstring name = found.cFileName;
      const std::wstring path = whole + L"\\" + name;
      const DWORD attributes = found.dwFileAttributes;
      if (name == L"." || name == L"..") {
        continue;
      }
      SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
      if ((attributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
        DeleteFileW(path.c_str());
      } else if ((attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
        RemoveDirectoryW(path.c_str());
      } else {
        RemoveWholeFolder(path);
      }
    } while (FindNextFileW(search, &found));
    FindClose(search);
  }
  RemoveDirectoryW(whole.c_str());
}

// The tests' data sets reach beyond MAX_PATH in folders of their own. A
// file that another program (a virus scanner) still holds is removed when
// it lets go, and its folder only after that: the removal is tried for up
// to five seconds. Whether the folder is gone.
bool RemoveFolder(const fs::path& folder) {
  const std::wstring& path = folder.native();
  const std::wstring whole = path.rfind(L"\\\\?\\", 0) == 0 ? path
                             : path.rfind(L"\\\\", 0) == 0  ? L"\\\\?\\UNC" + path.substr(1)
                                                            : L"\\\\?\\" + path;
  for (int attempt = 0; attempt < 20; ++attempt) {
    RemoveWholeFolder(whole);
    if (GetFileAttributesW(whole.c_str()) == INVALID_FILE_ATTRIBUTES) {
      return true;
    }
    Sleep(250);
  }
  return false;
}

// The user's folder for temporary files by its long name, from which the
// tests measure their paths.
fs::path UsersTemporaryFolder() {
  wchar_t temporary[MAX_PATH + 1];
  wchar_t longName[MAX_PATH + 1];
  GetTempPathW(MAX_PATH + 1, temporary);
  if (GetLongPathNameW(temporary, longName, MAX_PATH + 1) == 0) {
    lstrcpyW(longName, temporary);
  }
  return longName;
}

// The tests' folders that runs cut short left behind.
void RemoveEarlierTestFolders(const fs::path& temporary) {
  WIN32_FIND_DATAW found;
  const HANDLE search = FindFirstFileW((temporary / L"sealmark-tests-*").c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) {
    return;
  }
  do {
    RemoveFolder(temporary / found.cFileName);
  } while (FindNextFileW(search, &found));
  FindClose(search);
}

struct Started {
  std::optional<DWORD> exitCode;  // none where it did not end in time
  std::string problem;            // why it did not start
  bool inItsJob = false;
};

// Starts `program` with `arguments` in its own folder, its output going to
// `output`, and waits for it. It runs in a job of its own, which ends with
// it: no program that it started is left running. Windows 7 lets a process
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
  TerminateProcess(process.hProcess, 1);
  if (job != nullptr) {
    CloseHandle(job);
  }
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  return run;
}

void EndTheRunningProgram() {
  const std::lock_guard<std::mutex> running(gRunningLock);
  if (gRunningJob != nullptr) {
    TerminateJobObject(gRunningJob, 1);
  } else if (gRunningProcess != nullptr) {
    TerminateProcess(gRunningProcess, 1);
  }
}

// Why the shell did not start the recorder for a .txt file, asked once as
// Sealmark.exe asks it, for a file in `folder`: the recorder notes the
// file in its log there. Whatever the shell started is ended. The empty
// text where it started the recorder.
std::string WhyTheShellDidNotStartTheRecorder(const fs::path& folder) {
  const fs::path file = folder / L"probe.txt";
  const fs::path log = folder / L"probe.log";
  std::ofstream(file).close();
  SetEnvironmentVariableW(L"SEALMARK_SHELL_LOG", log.c_str());
  SHELLEXECUTEINFOW request{};
  request.cbSize = sizeof request;
  request.fMask = SEE_MASK_NOCLOSEPROCESS | SEE_MASK_FLAG_NO_UI | SEE_MASK_NOASYNC;
  request.lpVerb = L"open";
  request.lpFile = file.c_str();
  request.nShow = SW_SHOWNORMAL;
  const bool asked = ShellExecuteExW(&request);
  const DWORD error = GetLastError();
  if (request.hProcess != nullptr) {
    if (WaitForSingleObject(request.hProcess, 10000) != WAIT_OBJECT_0) {
      TerminateProcess(request.hProcess, 1);
    }
    CloseHandle(request.hProcess);
  }
  SetEnvironmentVariableW(L"SEALMARK_SHELL_LOG", nullptr);
  std::ifstream logged(log);
  const std::string noted{std::istreambuf_iterator<char>(logged), std::istreambuf_iterator<char>()};
  if (noted.find("probe.txt") != std::string::npos) {
    return {};
  }
  return asked ? "the shell opened a .txt file with another program"
               : "the shell could not open a .txt file: " + ErrorText(error);
}

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
};

std::string CountsText(const Counts& counts) {
  return std::to_string(counts.passed) + " passed, " + std::to_string(counts.failed) + " failed, " +
         std::to_string(counts.skipped) + " skipped";
}

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
  return std::stoi(line.substr(start.size()));
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

struct TestRun {
  const char* name;
  const wchar_t* program;
  const wchar_t* arguments;
};

// The time zone's test runs in the machine's time zone, which Windows
// keeps for the whole machine (and Wine takes from its server's start).
constexpr TestRun kTestRuns[] = {
    {"unit", L"unit_tests.exe", L""},
    {"e2e", L"e2e_tests.exe", L"Sealmark.exe"},
};

class Runner {
 public:
  Runner(const fs::path& kit, const UserSettings& settings, Log& log)
      : kit_(kit), results_(kit / L"results"), settings_(settings), log_(log) {}

  // Runs the tests of the set in KIT\`set`, putting the user's settings
  // back after each program, whatever its end.
  Counts RunSet(const char* set, const std::string& title) {
    Counts total;
    for (const TestRun& run : kTestRuns) {
      if (gStopping) {
        break;
      }
      const std::string name = std::string(set) + "-" + run.name;
      const fs::path output = results_ / (name + ".txt");
      const std::wstring xml =
          L"\"--gtest_output=xml:" + (results_ / (name + ".xml")).wstring() + L"\"";
      const Started started =
          RunProgram(kit_ / set / run.program, std::wstring(run.arguments) + L" " + xml, output);
      settings_.PutBack();
      total += Tally(name, started, output);
    }
    log_.Line(title + " set: " + CountsText(total));
    return total;
  }

 private:
  Counts Tally(const std::string& name, const Started& started, const fs::path& output) {
    std::ifstream file(output, std::ios::binary);
    const std::string text{std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
    std::vector<std::string> notes;
    const std::optional<Counts> summary = ReadSummary(text, notes);
    Counts counts = summary.value_or(Counts{});
    std::string problem;
    if (!started.problem.empty()) {
      problem = "could not start: " + started.problem;
    } else if (!started.exitCode) {
      problem = gStopping ? "stopped" : "did not end within 20 minutes";
    } else if (!summary) {
      problem = "ended without its summary, with exit code " + std::to_string(*started.exitCode);
    } else if (*started.exitCode != 0 && counts.failed == 0) {
      problem = "ended with exit code " + std::to_string(*started.exitCode);
    }
    if (!problem.empty()) {
      ++counts.failed;
      notes.push_back("  failed  " + name + ": " + problem);
    }
    if (started.problem.empty() && !started.inItsJob && !warnedOfTheJob_) {
      warnedOfTheJob_ = true;
      notes.push_back(
          "  (the runner's own job lets no test program join another here: the "
          "programs that one starts may outlive it)");
    }
    log_.Line(name + ": " + CountsText(counts));
    for (const std::string& note : notes) {
      log_.Line(note);
    }
    return counts;
  }

  fs::path kit_;
  fs::path results_;
  const UserSettings& settings_;
  Log& log_;
  bool warnedOfTheJob_ = false;
};

// Why the kit's 64-bit programs do not start here, found by starting one
// of them with nothing to do: a 32-bit Windows runs none, nor Windows 10 on
// Arm, whose PROCESSOR_ARCHITECTURE reads ARM64 as Windows 11's does. The
// empty text where they start.
std::string Why64BitProgramsDoNotStart(const fs::path& kit) {
  const fs::path probe = kit / L"win64" / L"shell_recorder.exe";
  const Started started = RunProgram(probe, L"", kit / L"results" / L"win64-probe.txt");
  if (!started.problem.empty()) {
    return started.problem;
  }
  return started.exitCode == DWORD{0} ? "" : "it ended with an error";
}

// The processor's own kind, which Windows 10 1709 and later tell.
std::string ProcessorText() {
  using Query = BOOL(WINAPI*)(HANDLE, USHORT*, USHORT*);
  const auto query = reinterpret_cast<Query>(reinterpret_cast<void (*)()>(
      GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "IsWow64Process2")));
  USHORT process = 0;
  USHORT machine = 0;
  if (query == nullptr || !query(GetCurrentProcess(), &process, &machine)) {
    return "";
  }
  return machine == IMAGE_FILE_MACHINE_ARM64   ? ", Arm64"
         : machine == IMAGE_FILE_MACHINE_AMD64 ? ", x64"
         : machine == IMAGE_FILE_MACHINE_I386  ? ", x86"
                                               : "";
}

// Which Windows this is, and with what rights the tests run.
std::string MachineText() {
  using Query = LONG(WINAPI*)(OSVERSIONINFOW*);
  OSVERSIONINFOW version{};
  version.dwOSVersionInfoSize = sizeof version;
  const auto query = reinterpret_cast<Query>(reinterpret_cast<void (*)()>(
      GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "RtlGetVersion")));
  if (query != nullptr) {
    query(&version);
  }
  HANDLE token = nullptr;
  TOKEN_ELEVATION elevation{};
  DWORD size = 0;
  const bool elevated =
      OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token) &&
      GetTokenInformation(token, TokenElevation, &elevation, sizeof elevation, &size) &&
      elevation.TokenIsElevated != 0;
  if (token != nullptr) {
    CloseHandle(token);
  }
  return "Windows " + std::to_string(version.dwMajorVersion) + "." +
         std::to_string(version.dwMinorVersion) + "." + std::to_string(version.dwBuildNumber) +
         ProcessorText() + (RunsUnderWine() ? " (Wine)" : "") +
         (elevated ? ", elevated" : ", not elevated");
}

// The kit's read-me ends with the line that names its version and commit.
std::string KitText(const fs::path& kit) {
  std::ifstream readme(kit / L"README.txt");
  std::string last;
  for (std::string line; std::getline(readme, line);) {
    if (!line.empty() && line.back() == '\r') {
      line.pop_back();
    }
    last = line.empty() ? last : line;
  }
  return last.empty() ? "no README.txt" : last;
}

// Ctrl+C, Ctrl+Break and closing the window end the test program that
// runs; the runner starts no other and puts everything back. Windows ends
// the runner once the handler of a close returns, so that one waits until
// everything is back, for up to four of the five seconds that it allows.
BOOL WINAPI Stop(DWORD event) {
  gStopping = true;
  EndTheRunningProgram();
  if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT) {
    WaitForSingleObject(gPutBack, 4000);
  }
  return TRUE;
}

// Runs the sets with the recorder as the .txt opener, and puts the user's
// settings back; what they counted, with a failure where the recorder
// could not be set.
Counts RunTheSets(const fs::path& kit, const fs::path& temporary, const UserSettings& settings,
                  Log& log) {
  const TxtOpener opener(kit / L"win32" / L"shell_recorder.exe");
  if (settings.keys().front().cutShort() || opener.txt().cutShort()) {
    log.Line("An earlier run was cut short; what it had changed is back as it was.");
  }
  if (!opener.txt().saved()) {
    log.Line("failed: the .txt file type cannot be read, so the recorder was not set");
    return Counts{0, 1, 0};
  }
  std::string problem = sealmark::test::WhyTheShellWouldNotStartTheRecorder();
  if (problem.empty()) {
    problem = WhyTheShellDidNotStartTheRecorder(temporary);
    // The tests that start Sealmark.exe skip with this reason.
    const std::wstring reason(problem.begin(), problem.end());
    SetEnvironmentVariableW(L"SEALMARK_SHELL_PROBLEM", problem.empty() ? nullptr : reason.c_str());
  }
  log.Line(problem.empty() ? "The shell opens .txt files with the recorder."
                           : "The tests that start Sealmark.exe skip: " + problem);
  Runner runner(kit, settings, log);
  Counts total = runner.RunSet("win32", "32-bit");
  const std::string notStarting = gStopping ? "" : Why64BitProgramsDoNotStart(kit);
  if (gStopping) {
    log.Line("64-bit set: not run: stopped");
  } else if (notStarting.empty()) {
    total += runner.RunSet("win64", "64-bit");
  } else {
    log.Line("64-bit set: not run: 64-bit programs do not start here: " + notStarting);
  }
  return total;
}

}  // namespace

int main() {
  // One run at a time: each saves the settings that it will put back.
  CreateMutexW(nullptr, FALSE, L"Local\\Sealmark test kit");
  if (GetLastError() == ERROR_ALREADY_EXISTS) {
    std::printf("Another run of the tests is under way; nothing was done.\n");
    return 1;
  }
  wchar_t self[MAX_PATH];
  GetModuleFileNameW(nullptr, self, MAX_PATH);
  const fs::path kit = fs::path(self).parent_path().parent_path();
  const fs::path results = kit / L"results";
  RemoveFolder(results);
  CreateDirectoryW(results.c_str(), nullptr);
  Log log(results / L"run-tests.txt");
  log.Line(KitText(kit));
  log.Line(MachineText());

  SetConsoleCtrlHandler(Stop, TRUE);
  CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);
  // No error box waits for a user when a test program fails.
  SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX);
  const fs::path usersTemporary = UsersTemporaryFolder();
  RemoveEarlierTestFolders(usersTemporary);
  const fs::path temporary =
      usersTemporary / (L"sealmark-tests-" + std::to_wstring(GetCurrentProcessId()));
  CreateDirectoryW(temporary.c_str(), nullptr);
  SetEnvironmentVariableW(L"TMP", temporary.c_str());
  SetEnvironmentVariableW(L"TEMP", temporary.c_str());
  SetEnvironmentVariableW(L"SEALMARK_SHELL_LOG", nullptr);

  Counts total;
  {
    const UserSettings settings;
    total = RunTheSets(kit, temporary, settings, log);
    settings.PutBack();
    for (const SavedKey& key : settings.keys()) {
      key.Forget();
    }
    RegDeleteKeyW(HKEY_CURRENT_USER, kSaved);
    RegDeleteKeyW(HKEY_CURRENT_USER, fs::path(kSaved).parent_path().c_str());
  }
  SetEvent(gPutBack);
  if (!RemoveFolder(temporary)) {
    ++total.failed;
    log.Line("failed: the tests' temporary folder " + Narrow(temporary.wstring()) +
             " could not be removed");
  }
  if (gStopping) {
    ++total.failed;
    log.Line("failed: stopped before the end");
  }
  log.Line(CountsText(total));
  return total.failed == 0 ? 0 : 1;
}
