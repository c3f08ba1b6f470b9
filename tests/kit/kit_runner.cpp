// kit_runner: runs the Windows tests of the kit it lies in (KIT\win32),
// for each width whose programs start here, and puts back every setting
// that the tests change. run-tests.cmd starts it; the kit's README.txt
// says what it does to the machine. With --strict, the tests that start
// Sealmark.exe fail where they would skip for want of the recorder.
//
// Prints each run's and each set's counts, every skipped test with its
// reason and every failed test, and last "N passed, N failed, N skipped"
// (see CountTheRun). Exits with 0 only where none failed. Its output, and
// each test program's output and XML report, go to KIT\results, which it
// marks as its own (ResultsFolder); where results is not its own, to
// another folder beside it.
//
// saved_settings.h keeps the record of what it changes; test_program.h
// runs and counts a test program.
#include <cstdio>
#include <cwctype>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "kit/kit_text.h"
#include "kit/one_run.h"
#include "kit/saved_settings.h"
#include "kit/test_program.h"
// After <windows.h>.
#include <shellapi.h>
#include <shlobj.h>

#include "support/platform.h"

namespace {

namespace fs = std::filesystem;
using namespace sealmark::kit;
using sealmark::test::RunsUnderWine;

// Set once everything is put back, for the console's handler.
HANDLE gPutBack = CreateEventW(nullptr, TRUE, FALSE, nullptr);

// The file by which a run knows a results folder as one that a run of a
// kit made, and whose files it may replace.
constexpr wchar_t kResultsMark[] = L"made-by-run-tests.txt";

// The tools of the kit that the tests need in each set, which would skip
// or count nothing without them.
constexpr const wchar_t* kTools[] = {L"shell_recorder.exe", L"planted_dll.dll",
                                     L"os_text_probe.exe"};

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
constexpr const wchar_t* kSets[] = {L"win32", L"win64"};

// Whether `path` is a folder itself, not a link or junction to one.
bool IsPlainFolder(const fs::path& path) {
  const DWORD attributes = GetFileAttributesW(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0 &&
         (attributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0;
}

bool IsPlainFile(const fs::path& path) {
  const DWORD attributes = GetFileAttributesW(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES &&
         (attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) == 0;
}

// Removes from an earlier run's results folder the files that the run
// writes, so that none is taken for this run's.
void RemoveEarlierResults(const fs::path& results) {
  std::vector<std::wstring> names = {L"run-tests.txt", L"win64-probe.txt"};
  for (const wchar_t* set : kSets) {
    for (const TestRun& run : kTestRuns) {
      const std::wstring name = std::wstring(set) + L"-" + fs::path(run.name).wstring();
      names.insert(names.end(), {name + L".txt", name + L".xml"});
    }
  }
  for (const std::wstring& name : names) {
    DeleteFileW((results / name).c_str());
  }
}

// The folder for this run's results beside run-tests.cmd: results where it
// is not there, or where a run of a kit made it and marked it; otherwise
// the first of results-2, results-3... that is. Never a link or junction.
std::optional<fs::path> ResultsFolder(const fs::path& kit) {
  for (int number = 1; number < 100; ++number) {
    const fs::path folder =
        kit / (number == 1 ? L"results" : L"results-" + std::to_wstring(number));
    if (CreateDirectoryW(folder.c_str(), nullptr)) {
      std::ofstream(folder / kResultsMark)
          << "run-tests.cmd of the Sealmark test kit made this folder; its next run replaces the "
             "files that it wrote here.\r\n";
      return folder;
    }
    if (IsPlainFolder(folder) && IsPlainFile(folder / kResultsMark)) {
      RemoveEarlierResults(folder);
      return folder;
    }
  }
  return std::nullopt;
}

// The text that a wide call of Windows writes into a buffer, of the size
// that it says it needs: such a call returns the length of the text, or
// the size that it needs where the buffer is too small. None where it
// fails.
template <typename Call>
std::optional<std::wstring> Filled(Call call) {
  std::wstring text;
  DWORD size = call(nullptr, 0);
  for (int attempt = 0; attempt < 3 && size != 0; ++attempt) {
    text.assign(size, L'\0');
    const DWORD length = call(text.data(), size);
    if (length == 0) {
      return std::nullopt;
    }
    if (length < size) {
      text.resize(length);
      return text;
    }
    size = length;
  }
  return std::nullopt;
}

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
      // A link is removed itself, its attributes untouched: setting them
      // would reach its target.
      if ((attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
        (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0 ? RemoveDirectoryW(path.c_str())
                                                     : DeleteFileW(path.c_str());
        continue;
      }
      SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
      if ((attributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
        DeleteFileW(path.c_str());
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
  const std::wstring path = Filled([&](wchar_t* text, DWORD size) {
                              return GetFullPathNameW(folder.c_str(), size, text, nullptr);
                            }).value_or(folder.native());
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

// The user's folder for temporary files, whole and by its long name, from
// which the tests measure their paths; otherwise why there is none for
// them. The test programs find theirs, the tests' folder in it, with
// GetTempPathW, which takes no folder from MAX_PATH on.
std::variant<fs::path, std::string> UsersTemporaryFolder() {
  const std::optional<std::wstring> given =
      Filled([](wchar_t* text, DWORD size) { return GetTempPathW(size, text); });
  if (!given) {
    const DWORD error = GetLastError();
    const std::optional<std::wstring> tmp = Filled(
        [](wchar_t* text, DWORD size) { return GetEnvironmentVariableW(L"TMP", text, size); });
    return "Windows gives no temporary folder (TMP is " + (tmp ? Narrow(*tmp) : "not set") +
           "): " + ErrorText(error, "TMP");
  }
  const std::optional<std::wstring> whole = Filled([&](wchar_t* text, DWORD size) {
    return GetFullPathNameW(given->c_str(), size, text, nullptr);
  });
  const std::optional<std::wstring> longName = whole ? Filled([&](wchar_t* text, DWORD size) {
    return GetLongPathNameW(whole->c_str(), text, size);
  })
                                                     : std::nullopt;
  if (!longName) {
    return "the temporary folder " + Narrow(*given) +
           " cannot be read: " + ErrorText(GetLastError(), Narrow(*given));
  }
  // sealmark-tests-<process number>-<number>, and the \ that GetTempPathW adds.
  if (longName->size() + 30 >= MAX_PATH) {
    return "the temporary folder " + Narrow(*longName) + " has " +
           std::to_string(longName->size()) +
           " characters: the tests need one of at most 229; set TMP and TEMP to another";
  }
  return fs::path(*longName);
}

// The tests' folders that runs cut short left behind: with the runs of
// this user one at a time, none of them is in use. A link of that name is
// left alone.
void RemoveEarlierTestFolders(const fs::path& temporary) {
  WIN32_FIND_DATAW found;
  const HANDLE search = FindFirstFileW((temporary / L"sealmark-tests-*").c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) {
    return;
  }
  do {
    if ((found.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) ==
        FILE_ATTRIBUTE_DIRECTORY) {
      RemoveFolder(temporary / found.cFileName);
    }
  } while (FindNextFileW(search, &found));
  FindClose(search);
}

// A new folder for the tests in the user's temporary folder; none where
// none can be made.
std::optional<fs::path> MakeTestFolder(const fs::path& temporary) {
  const std::wstring name = L"sealmark-tests-" + std::to_wstring(GetCurrentProcessId());
  for (int number = 1; number < 100; ++number) {
    const fs::path folder =
        temporary / (number == 1 ? name : name + L"-" + std::to_wstring(number));
    if (CreateDirectoryW(folder.c_str(), nullptr)) {
      return folder;
    }
  }
  return std::nullopt;
}

// GoogleTest takes its flags from GTEST_ variables too, and under Bazel
// its filter and fail-fast from TESTBRIDGE_ ones: one set in the shell or
// by a CI agent would leave tests unrun, or share them out among shards.
void ClearGoogleTestVariables() {
  std::vector<std::wstring> names;
  wchar_t* block = GetEnvironmentStringsW();
  for (const wchar_t* entry = block; *entry != L'\0'; entry += wcslen(entry) + 1) {
    std::wstring name(entry, std::wstring(entry).find(L'=', 1));
    std::wstring upper = name;
    for (wchar_t& unit : upper) {
      unit = static_cast<wchar_t>(std::towupper(static_cast<wint_t>(unit)));
    }
    if (upper.rfind(L"GTEST_", 0) == 0 || upper.rfind(L"TESTBRIDGE_", 0) == 0) {
      names.push_back(name);
    }
  }
  FreeEnvironmentStringsW(block);
  for (const std::wstring& name : names) {
    SetEnvironmentVariableW(name.c_str(), nullptr);
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
               : "the shell could not open a .txt file: " +
                     ErrorText(error, "the program that opens .txt files");
}

// The whole name of the file `name` in the folder `folder` as a test
// program, built with MinGW, can take it: GoogleTest opens its report with
// fopen, in the ANSI code page and within MAX_PATH, and joins a relative
// name to the current folder as it read it in that code page, so no form
// of a name passes it but one that the code page holds. Where the
// folder's own name (a user's, in another script) has none, its short
// (8.3) name does, on the volumes that keep them. None where neither fits.
std::optional<std::wstring> InTheAnsiCodePage(const fs::path& folder, const std::string& name) {
  const auto fits = [](const std::wstring& text) {
    BOOL lost = FALSE;
    return text.size() < MAX_PATH &&
           (GetACP() == CP_UTF8 || (WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, text.c_str(),
                                                        -1, nullptr, 0, nullptr, &lost) > 0 &&
                                    !lost));
  };
  const std::optional<std::wstring> shortName = Filled(
      [&](wchar_t* text, DWORD size) { return GetShortPathNameW(folder.c_str(), text, size); });
  for (const std::wstring& form : {folder.native(), shortName.value_or(L"")}) {
    const std::wstring whole = (fs::path(form) / name).native();
    if (!form.empty() && fits(whole)) {
      return whole;
    }
  }
  return std::nullopt;
}

class Runner {
 public:
  Runner(const fs::path& kit, const fs::path& results, const UserSettings& settings, bool strict,
         Log& log)
      : kit_(kit), results_(results), settings_(settings), strict_(strict), log_(log) {}

  // Runs the tests of the set in KIT\`set`, putting the user's settings
  // back after each program, whatever its end.
  Counts RunSet(const wchar_t* set, const std::string& title) {
    Counts total;
    for (const TestRun& run : kTestRuns) {
      if (Stopping()) {
        break;
      }
      const std::string name = Narrow(set) + "-" + run.name;
      const fs::path output = results_ / (name + ".txt");
      const fs::path report = results_ / (name + ".xml");
      if (!DeleteFileW(report.c_str()) && GetLastError() != ERROR_FILE_NOT_FOUND) {
        total += NotRun(name, "the report of an earlier run, " + Narrow(report.wstring()) +
                                  ", cannot be removed: " +
                                  ErrorText(GetLastError(), Narrow(report.wstring())));
        continue;
      }
      const std::optional<std::wstring> reportName = InTheAnsiCodePage(results_, name + ".xml");
      if (!reportName) {
        total += NotRun(name,
                        "its report cannot be named as GoogleTest opens it, in the ANSI "
                        "code page and within MAX_PATH: neither the name of " +
                            Narrow(results_.wstring()) + " nor its short (8.3) name fits");
        continue;
      }
      const Started started = RunProgram(
          kit_ / set / run.program,
          std::wstring(run.arguments) + L" \"--gtest_output=xml:" + *reportName + L"\"", output);
      const PutBackReport putBack = settings_.PutBack();
      total += Tally(name, started, output, report);
      for (const std::string& line : putBack.lines) {
        log_.Line(line);
      }
    }
    log_.Line(title + " set: " + CountsText(total));
    return total;
  }

 private:
  Counts NotRun(const std::string& name, const std::string& why) {
    log_.Line(name + ": " + CountsText({0, 1, 0}));
    log_.Line("  failed  " + name + ": not run: " + why);
    return {0, 1, 0};
  }

  Counts Tally(const std::string& name, const Started& started, const fs::path& output,
               const fs::path& report) {
    std::vector<std::string> notes;
    const Counts counts = CountTheRun(name, started, output, report, strict_, notes);
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
  bool strict_;
  Log& log_;
  bool warnedOfTheJob_ = false;
};

// Why the kit's 64-bit programs do not start here, found by starting one
// of them with nothing to do: a 32-bit Windows runs none, nor Windows 10 on
// Arm, whose PROCESSOR_ARCHITECTURE reads ARM64 as Windows 11's does. The
// empty text where they start.
std::string Why64BitProgramsDoNotStart(const fs::path& kit, const fs::path& results) {
  const fs::path probe = kit / L"win64" / L"shell_recorder.exe";
  const Started started = RunProgram(probe, L"", results / L"win64-probe.txt");
  if (!started.problem.empty()) {
    return started.problem;
  }
  return started.exitCode == DWORD{0} ? "" : "it ended with an error";
}

// A failed test for each tool that a set of the kit lacks.
Counts CountMissingTools(const fs::path& kit, Log& log) {
  Counts missing;
  for (const wchar_t* set : kSets) {
    for (const wchar_t* tool : kTools) {
      if (!IsPlainFile(kit / set / tool)) {
        ++missing.failed;
        log.Line("failed: the kit has no " + Narrow(set) + "\\" + Narrow(tool) +
                 ", which the tests need");
      }
    }
  }
  return missing;
}

// The processor's own kind, which Windows 10 1709 and later tell; before
// it, GetNativeSystemInfo, from when there was no Windows on Arm64.
USHORT NativeMachine() {
  using Query = BOOL(WINAPI*)(HANDLE, USHORT*, USHORT*);
  const auto query = reinterpret_cast<Query>(reinterpret_cast<void (*)()>(
      GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "IsWow64Process2")));
  USHORT process = 0;
  USHORT machine = 0;
  if (query != nullptr && query(GetCurrentProcess(), &process, &machine)) {
    return machine;
  }
  SYSTEM_INFO system;
  GetNativeSystemInfo(&system);
  return system.wProcessorArchitecture == PROCESSOR_ARCHITECTURE_AMD64 ? IMAGE_FILE_MACHINE_AMD64
         : system.wProcessorArchitecture == PROCESSOR_ARCHITECTURE_INTEL
             ? IMAGE_FILE_MACHINE_I386
             : IMAGE_FILE_MACHINE_UNKNOWN;
}

std::string ProcessorText() {
  const USHORT machine = NativeMachine();
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
  StopRunning();
  if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT) {
    WaitForSingleObject(gPutBack, 4000);
  }
  return TRUE;
}

// Runs the sets with the recorder as the .txt opener; what they counted.
Counts RunTheSets(const fs::path& kit, const fs::path& results, const fs::path& temporary,
                  const UserSettings& settings, const SavedKey& txt, bool strict, Log& log) {
  if (!SetTheRecorder(txt, kit / L"win32" / L"shell_recorder.exe")) {
    log.Line("failed: no test was run: the note of the .txt setting cannot be written in " +
             txt.RecordName());
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
           : strict        ? "--strict: the tests that start Sealmark.exe fail: " + problem
                           : "The tests that start Sealmark.exe skip: " + problem);
  Counts total = CountMissingTools(kit, log);
  // Under --strict the shell's answer fails the run itself, whatever the
  // tests make of it.
  total.failed += strict && !problem.empty() ? 1 : 0;
  Runner runner(kit, results, settings, strict, log);
  total += runner.RunSet(L"win32", "32-bit");
  const std::string notStarting = Stopping() ? "" : Why64BitProgramsDoNotStart(kit, results);
  if (Stopping()) {
    log.Line("64-bit set: not run: stopped");
  } else if (notStarting.empty()) {
    total += runner.RunSet(L"win64", "64-bit");
  } else if (NativeMachine() == IMAGE_FILE_MACHINE_AMD64) {
    ++total.failed;
    log.Line("failed: the 64-bit set: its programs do not start on this x64 Windows: " +
             notStarting);
  } else {
    log.Line("64-bit set: not run: 64-bit programs do not start here: " + notStarting);
  }
  return total;
}

// Logs what putting back `key` did (`nothing` where it did nothing), and
// forgets its record where all is back; otherwise keeps it for the next run.
void LogPutBack(const PutBackReport& report, const SavedKey& key, const std::string& nothing,
                Log& log) {
  if (report.lines.empty()) {
    log.Line(nothing);
  }
  for (const std::string& line : report.lines) {
    log.Line(line);
  }
  if (report.done) {
    key.Forget();
  } else {
    log.Line("  its record, " + key.RecordName() + ", is kept: the next run tries again");
  }
}

// Puts back what a run cut short left changed, from each whole record of
// `keys` that it left, and removes each record without its mark: that run
// was cut short before it changed anything (record_layout.h). Whether all
// is back, and no record left, which a new one would overwrite.
bool PutBackEarlierRecords(const std::vector<const SavedKey*>& keys, Log& log) {
  bool allBack = true;
  for (const SavedKey* key : keys) {
    const std::optional<bool> earlier = key->EarlierRecordIsWhole();
    if (!earlier) {
      continue;
    }
    if (!*earlier) {
      key->Forget();
      log.Line("An earlier run was cut short while it noted how " + key->Name() +
               " was, before it changed anything: its incomplete record, " + key->RecordName() +
               ", was removed.");
      continue;
    }
    log.Line("An earlier run was cut short; from its record of " + key->Name() + ":");
    RemoveTheRecorder();
    const PutBackReport report = key->PutBack();
    LogPutBack(report, *key, "  nothing to put back", log);
    allBack = allBack && report.done;
  }
  if (!allBack) {
    log.Line("failed: no test was run while not all that an earlier run changed is back.");
  }
  return allBack;
}

// Notes how the settings that the tests change are, runs the sets, and
// puts back what they changed; what they counted.
Counts RunWithTheRecord(const fs::path& kit, const fs::path& results, const fs::path& temporary,
                        bool strict, Log& log) {
  const UserSettings settings;
  const SavedKey txt = TxtKey();
  std::vector<const SavedKey*> keys = {&txt};
  for (const SavedKey& key : settings.keys()) {
    keys.push_back(&key);
  }
  if (!PutBackEarlierRecords(keys, log)) {
    return Counts{0, 1, 0};
  }
  MakeTheRecord();
  SetEnvironmentVariableW(L"SEALMARK_KIT_RECORD", kRecord);
  Counts total;
  bool saved = true;
  for (const SavedKey* key : keys) {
    if (saved && !key->Save()) {
      saved = false;
      ++total.failed;
      log.Line("failed: no test was run: " + key->Name() + " cannot be read, or noted in " +
               key->RecordName());
    }
  }
  if (saved) {
    total += RunTheSets(kit, results, temporary, settings, txt, strict, log);
  }
  RemoveTheRecorder();
  log.Line("At the end:");
  for (const SavedKey* key : keys) {
    if (saved) {
      LogPutBack(key->PutBack(), *key, "  nothing to put back in " + key->Name(), log);
    } else {
      key->Forget();
    }
  }
  RemoveTheRecord();
  return total;
}

// Ends a run that does nothing with the line that says why, and the counts.
int Refuse(const std::string& why) {
  std::printf("%s\n%s\n", why.c_str(), CountsText({0, 1, 0}).c_str());
  return 1;
}

}  // namespace

int main(int argc, char** argv) {
  const bool strict = argc == 2 && std::string(argv[1]) == "--strict";
  if (argc > 2 || (argc == 2 && !strict)) {
    return Refuse("usage: run-tests.cmd [--strict]");
  }
  // One run at a time: each saves the settings that it will put back.
  const std::wstring mutex = OneRunPerUser();
  if (mutex.empty()) {
    return Refuse("The user running the tests cannot be told; nothing was done.");
  }
  if (CreateMutexW(nullptr, FALSE, mutex.c_str()) == nullptr) {
    return Refuse("Whether another run of the tests is under way cannot be told: the mutex " +
                  Narrow(mutex) + " cannot be made: " + ErrorText(GetLastError(), "it") +
                  "; nothing was done.");
  }
  if (GetLastError() == ERROR_ALREADY_EXISTS) {
    return Refuse("Another run of the tests is under way; nothing was done.");
  }
  // The kit may lie deeper than MAX_PATH, where Windows allows it.
  std::vector<wchar_t> self(32768);
  const DWORD length = GetModuleFileNameW(nullptr, self.data(), static_cast<DWORD>(self.size()));
  if (length == 0 || length == self.size()) {
    return Refuse("The kit's folder cannot be told; nothing was done.");
  }
  const fs::path kit = fs::path(self.data()).parent_path().parent_path();
  const std::optional<fs::path> results = ResultsFolder(kit);
  if (!results) {
    return Refuse("No folder for the results can be made beside run-tests.cmd; nothing was done.");
  }
  Log log(*results / L"run-tests.txt");
  log.Line(KitText(kit));
  log.Line(MachineText());
  if (results->filename() != L"results") {
    log.Line("The results go to " + Narrow(results->wstring()) +
             ": the folder results there is not one that a run of this kit made.");
  }
  if (!log.problem().empty()) {
    log.Line("run-tests.txt cannot be written, and keeps nothing of this run: " + log.problem());
  }

  SetConsoleCtrlHandler(Stop, TRUE);
  CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);
  // No error box waits for a user when a test program fails.
  SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX);
  ClearGoogleTestVariables();
  const std::variant<fs::path, std::string> usersTemporary = UsersTemporaryFolder();
  if (const auto* why = std::get_if<std::string>(&usersTemporary)) {
    log.Line("failed: no test was run: " + *why);
    log.Line(CountsText({0, 1, 0}));
    return 1;
  }
  const fs::path& temporaryFolder = std::get<fs::path>(usersTemporary);
  RemoveEarlierTestFolders(temporaryFolder);
  const std::optional<fs::path> temporary = MakeTestFolder(temporaryFolder);
  if (!temporary) {
    log.Line("failed: no test was run: no folder for the tests can be made in " +
             Narrow(temporaryFolder.wstring()));
    log.Line(CountsText({0, 1, 0}));
    return 1;
  }
  SetEnvironmentVariableW(L"TMP", temporary->c_str());
  SetEnvironmentVariableW(L"TEMP", temporary->c_str());
  SetEnvironmentVariableW(L"SEALMARK_SHELL_LOG", nullptr);

  Counts total = RunWithTheRecord(kit, *results, *temporary, strict, log);
  SetEvent(gPutBack);
  if (!RemoveFolder(*temporary)) {
    ++total.failed;
    log.Line("failed: the tests' temporary folder " + Narrow(temporary->wstring()) +
             " could not be removed");
  }
  if (Stopping()) {
    ++total.failed;
    log.Line("failed: stopped before the end");
  }
  log.Line(CountsText(total));
  return total.failed == 0 ? 0 : 1;
}
