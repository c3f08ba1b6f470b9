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
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "platform/windows_api.h"
// After <windows.h>.
#include <shlobj.h>

namespace {

namespace fs = std::filesystem;

// The file type that opens .txt files while the tests run.
constexpr wchar_t kRecorderType[] = L"Sealmark.TestRecorder";
constexpr wchar_t kInternational[] = L"Control Panel\\International";
constexpr DWORD kRunLimit = 20 * 60 * 1000;  // milliseconds

std::atomic<bool> gStopping{false};

std::string Narrow(const std::wstring& text) {
  const int size = WideCharToMultiByte(CP_ACP, 0, text.c_str(), -1, nullptr, 0, nullptr, nullptr);
  std::string narrow(static_cast<std::size_t>(size > 0 ? size : 1), '\0');
  WideCharToMultiByte(CP_ACP, 0, text.c_str(), -1, narrow.data(), size, nullptr, nullptr);
  narrow.pop_back();
  return narrow;
}

bool RunsUnderWine() {
  return GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "wine_get_version") != nullptr;
}

// Writes each line to the console and to the file `path`.
class Log {
 public:
  explicit Log(const fs::path& path) : file_(path, std::ios::binary) {}

  void Line(const std::string& text) {
    std::printf("%s\n", text.c_str());
    std::fflush(stdout);
    file_ << text << "\r\n" << std::flush;
  }

 private:
  std::ofstream file_;
};

// The values of a registry key, by name: their type and bytes.
using Values = std::map<std::wstring, std::pair<DWORD, std::string>>;

Values ValuesOf(HKEY root, const wchar_t* path) {
  Values values;
  HKEY key = nullptr;
  if (RegOpenKeyExW(root, path, 0, KEY_READ, &key) != ERROR_SUCCESS) {
    return values;
  }
  for (DWORD index = 0;; ++index) {
    wchar_t name[16384];
    DWORD nameUnits = 16384;
    DWORD type = 0;
    BYTE data[8192];
    DWORD size = sizeof data;
    if (RegEnumValueW(key, index, name, &nameUnits, nullptr, &type, data, &size) != ERROR_SUCCESS) {
      break;
    }
    values[name] = {type, std::string(reinterpret_cast<const char*>(data), size)};
  }
  RegCloseKey(key);
  return values;
}

// A registry key's values as they were when the object was made, which
// PutBack() writes again, removing any value added since.
class SavedKey {
 public:
  SavedKey(HKEY root, const wchar_t* path)
      : root_(root), path_(path), values_(ValuesOf(root, path)) {}

  const Values& values() const { return values_; }

  void PutBack() const {
    Values now = ValuesOf(root_, path_);
    HKEY key = nullptr;
    if (now == values_ || RegOpenKeyExW(root_, path_, 0, KEY_WRITE, &key) != ERROR_SUCCESS) {
      return;
    }
    for (const auto& [name, value] : now) {
      if (values_.count(name) == 0) {
        RegDeleteValueW(key, name.c_str());
      }
    }
    for (const auto& [name, value] : values_) {
      if (now[name] != value) {
        RegSetValueExW(key, name.c_str(), 0, value.first,
                       reinterpret_cast<const BYTE*>(value.second.data()),
                       static_cast<DWORD>(value.second.size()));
      }
    }
    RegCloseKey(key);
  }

 private:
  HKEY root_;
  const wchar_t* path_;
  Values values_;
};

// The user's regional settings, as SetLocaleInfoW leaves them in the
// registry. The short date goes back through SetLocaleInfoW first, which
// the system's own cache of the settings follows.
class RegionalSettings {
 public:
  void PutBack() const {
    const auto shortDate = saved_.values().find(L"sShortDate");
    if (shortDate != saved_.values().end() &&
        ValuesOf(HKEY_CURRENT_USER, kInternational)[L"sShortDate"] != shortDate->second) {
      const std::string& bytes = shortDate->second.second;
      SetLocaleInfoW(LOCALE_USER_DEFAULT, LOCALE_SSHORTDATE,
                     std::wstring(reinterpret_cast<const wchar_t*>(bytes.data()),
                                  bytes.size() / sizeof(wchar_t))
                         .c_str());
    }
    saved_.PutBack();
  }

 private:
  SavedKey saved_{HKEY_CURRENT_USER, kInternational};
};

bool KeyIsThere(HKEY root, const wchar_t* path) {
  HKEY key = nullptr;
  if (RegOpenKeyExW(root, path, 0, KEY_READ, &key) != ERROR_SUCCESS) {
    return false;
  }
  RegCloseKey(key);
  return true;
}

void SetDefaultText(HKEY root, const std::wstring& path, const std::wstring& text) {
  RegSetKeyValueW(root, path.c_str(), nullptr, REG_SZ, text.c_str(),
                  static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t)));
}

constexpr wchar_t kTxt[] = L"Software\\Classes\\.txt";

// Makes the recorder the program that opens .txt files, for as long as it
// lives: in the current user's classes on Windows, never the machine's,
// and never through the user's own choice of program, which Windows keeps
// with a hash that no other program can make; under Wine, which reads file
// types from the machine's classes alone, in those.
class TxtOpener {
 public:
  explicit TxtOpener(const fs::path& recorder)
      : root_(RunsUnderWine() ? HKEY_LOCAL_MACHINE : HKEY_CURRENT_USER),
        keyWasThere_(KeyIsThere(root_, kTxt)),
        txt_(root_, kTxt) {
    SetDefaultText(root_, kTxt, kRecorderType);
    SetDefaultText(root_, RecorderType() + L"\\shell\\open\\command",
                   L"\"" + recorder.wstring() + L"\" \"%1\"");
    SHChangeNotify(SHCNE_ASSOCCHANGED, SHCNF_IDLIST, nullptr, nullptr);
  }

  ~TxtOpener() {
    RegDeleteTreeW(root_, RecorderType().c_str());
    if (keyWasThere_) {
      txt_.PutBack();
    } else {
      RegDeleteKeyW(root_, kTxt);
    }
    SHChangeNotify(SHCNE_ASSOCCHANGED, SHCNF_IDLIST, nullptr, nullptr);
  }

  TxtOpener(const TxtOpener&) = delete;
  TxtOpener& operator=(const TxtOpener&) = delete;

 private:
  static std::wstring RecorderType() {
    return std::wstring(L"Software\\Classes\\") + kRecorderType;
  }

  HKEY root_;
  bool keyWasThere_;
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

// The tests' data sets reach beyond MAX_PATH in folders of their own.
void RemoveFolder(const fs::path& folder) {
  const std::wstring& path = folder.native();
  RemoveWholeFolder(path.rfind(L"\\\\", 0) == 0 ? L"\\\\?\\UNC" + path.substr(1)
                                                : L"\\\\?\\" + path);
}

// A new folder in the user's folder for temporary files, by its long
// name: the tests' paths are measured from it.
fs::path MakeTemporaryFolder() {
  wchar_t temporary[MAX_PATH + 1];
  wchar_t longName[MAX_PATH + 1];
  GetTempPathW(MAX_PATH + 1, temporary);
  if (GetLongPathNameW(temporary, longName, MAX_PATH + 1) == 0) {
    lstrcpyW(longName, temporary);
  }
  const fs::path folder =
      fs::path(longName) / (L"sealmark-tests-" + std::to_wstring(GetCurrentProcessId()));
  CreateDirectoryW(folder.c_str(), nullptr);
  return folder;
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

struct Started {
  std::optional<DWORD> exitCode;  // none where it did not end in time
  std::string problem;            // why it did not start
};

// Starts `program` with `arguments` in its own folder, its output going to
// `output`, and waits for it. Its job ends with it: no program that it
// started is left running. Windows 7 lets a process that is in a job
// already join no other, so there the program is ended alone.
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
  const BOOL started =
      CreateProcessW(program.c_str(), command.data(), nullptr, nullptr, TRUE, CREATE_SUSPENDED,
                     nullptr, program.parent_path().c_str(), &startup, &process);
  const DWORD error = GetLastError();
  CloseHandle(sink);
  if (!started) {
    return {std::nullopt, ErrorText(error)};
  }
  const HANDLE job = CreateJobObjectW(nullptr, nullptr);
  JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits{};
  limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
  if (job != nullptr &&
      SetInformationJobObject(job, JobObjectExtendedLimitInformation, &limits, sizeof limits)) {
    AssignProcessToJobObject(job, process.hProcess);
  }
  ResumeThread(process.hThread);
  Started run;
  if (WaitForSingleObject(process.hProcess, kRunLimit) == WAIT_OBJECT_0) {
    DWORD exitCode = 0;
    GetExitCodeProcess(process.hProcess, &exitCode);
    run.exitCode = exitCode;
  }
  TerminateProcess(process.hProcess, 1);
  if (job != nullptr) {
    CloseHandle(job);
  }
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  return run;
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

// The time zone's test runs with the machine's time zone, which Windows
// keeps for the whole machine (and Wine takes from its server's start).
constexpr TestRun kTestRuns[] = {
    {"unit", L"unit_tests.exe", L""},
    {"e2e", L"e2e_tests.exe", L"Sealmark.exe"},
};

class Runner {
 public:
  Runner(const fs::path& kit, const RegionalSettings& settings, Log& log)
      : kit_(kit), results_(kit / L"results"), settings_(settings), log_(log) {}

  // Runs the tests of the set in KIT\`set`, putting the regional
  // settings back after each program, whatever its end.
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
      problem = "did not end within " + std::to_string(kRunLimit / 60000) + " minutes";
    } else if (!summary) {
      problem = "ended without its summary, with exit code " + std::to_string(*started.exitCode);
    } else if (*started.exitCode != 0 && counts.failed == 0) {
      problem = "ended with exit code " + std::to_string(*started.exitCode);
    }
    if (!problem.empty()) {
      ++counts.failed;
      notes.push_back("  failed  " + name + ": " + problem);
    }
    log_.Line(name + ": " + CountsText(counts));
    for (const std::string& note : notes) {
      log_.Line(note);
    }
    return counts;
  }

  fs::path kit_;
  fs::path results_;
  const RegionalSettings& settings_;
  Log& log_;
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
         (RunsUnderWine() ? " (Wine)" : "") + (elevated ? ", elevated" : ", not elevated");
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

// Ctrl+C and closing the window end the test program that runs; the runner
// starts no more and puts the settings back.
BOOL WINAPI Stop(DWORD) {
  gStopping = true;
  return TRUE;
}

}  // namespace

int main() {
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
  // No error box waits for a user when a test program fails.
  SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX);
  SetEnvironmentVariableW(L"SEALMARK_SHELL_LOG", nullptr);
  const fs::path temporary = MakeTemporaryFolder();
  SetEnvironmentVariableW(L"TMP", temporary.c_str());
  SetEnvironmentVariableW(L"TEMP", temporary.c_str());

  Counts total;
  {
    const RegionalSettings settings;
    const TxtOpener opener(kit / L"win32" / L"shell_recorder.exe");
    Runner runner(kit, settings, log);
    total += runner.RunSet("win32", "32-bit");
    const std::string problem = Why64BitProgramsDoNotStart(kit);
    if (problem.empty()) {
      total += runner.RunSet("win64", "64-bit");
    } else {
      log.Line("64-bit set: not run: 64-bit programs do not start here: " + problem);
    }
  }
  RemoveFolder(temporary);
  if (GetFileAttributesW(temporary.c_str()) != INVALID_FILE_ATTRIBUTES) {
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
