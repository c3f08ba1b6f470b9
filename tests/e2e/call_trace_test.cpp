// The program's calls into Windows, read from Wine's relay trace of a run:
// what a report cannot show, such as the guard around each file call, the
// rights of each open and the order of the run's end.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <stdexcept>

#include "check/manifest.h"
#include "e2e/program_under_test.h"
#include "platform/windows_api.h"
#include "support/platform.h"
#include "support/sample_data.h"
#include "support/temp_dir.h"

namespace sealmark::test {
namespace {

namespace fs = std::filesystem;

// A number as the calls below are written: hexadecimal, without leading
// zeros, of its low 32 bits (a 64-bit process may leave anything in the
// upper half of a 32-bit argument).
std::string Hex(std::uint64_t number) {
  char text[16];
  std::snprintf(text, sizeof text, "%lx", static_cast<unsigned long>(number & 0xFFFFFFFFu));
  return text;
}

// One call that the program's own code made, written as in
// CreateFileW("FileCheck.TXT",40000000,0,65f9ec,4,80,0), and the low 32 bits
// of its result (none for a call that did not return).
struct Call {
  std::string name;
  std::vector<std::string> arguments;
  std::optional<std::string> result;

  std::string Text() const {
    std::string text = name + "(";
    for (std::size_t i = 0; i < arguments.size(); ++i) {
      text += (i == 0 ? "" : ",") + arguments[i];
    }
    return text + ")";
  }
};

// The arguments as the trace prints them, "0065f9ec,00000004" or a text
// after its address, "00f45b38 L\"Data\\\\ExtDC.NDX\"": numbers in Hex,
// texts in quotes with their escapes undone.
std::vector<std::string> Arguments(const std::string& list) {
  std::vector<std::string> arguments(list.empty() ? 0 : 1);
  bool quoted = false;
  for (std::size_t i = 0; i < list.size(); ++i) {
    if (list[i] == ',' && !quoted) {
      arguments.emplace_back();
    } else if (list[i] == '"') {
      quoted = !quoted;
      arguments.back() = quoted ? "\"" : arguments.back() + "\"";
    } else if (quoted) {
      i += list[i] == '\\' && i + 1 < list.size() ? 1 : 0;
      arguments.back() += list[i];
    } else {
      arguments.back() += list[i];
    }
  }
  for (std::string& argument : arguments) {
    if (argument.empty() || argument[0] != '"') {
      argument = Hex(std::stoull(argument, nullptr, 16));
    }
  }
  return arguments;
}

struct Image {
  std::uint64_t base;
  std::uint64_t size;
};

// Where the program's image lies in memory, from its PE header.
Image ImageOf(const fs::path& program) {
  const std::string bytes = FileContent(program);
  const auto read = [&](std::size_t at, std::size_t width) {
    std::uint64_t value = 0;
    for (std::size_t i = width; i-- > 0;) {
      value = value << 8 | static_cast<unsigned char>(bytes.at(at + i));
    }
    return value;
  };
  const auto header = static_cast<std::size_t>(read(0x3C, 4) + 24);
  const bool wide = read(header, 2) == 0x20B;
  return {read(header + (wide ? 24 : 28), wide ? 8 : 4), read(header + 56, 4)};
}

// The calls whose return address lies in the program's image, on the
// thread that made the first of them, with the results of those that
// returned. Trace lines read "PREFIX:Call DLL.Name(ARGUMENTS) ret=ADDRESS"
// and "PREFIX:Ret  DLL.Name() retval=RESULT ret=ADDRESS"; the prefix names
// the process and the thread.
std::vector<Call> ProgramCalls(const std::string& trace, const Image& image) {
  std::vector<Call> calls;
  std::vector<std::size_t> pending;
  std::string thread;
  std::istringstream lines(trace);
  for (std::string line; std::getline(lines, line);) {
    const std::size_t kind = std::min(line.find(":Call "), line.find(":Ret  "));
    const std::size_t address = line.rfind(" ret=");
    const std::size_t open = line.find('(', kind);
    if (kind == std::string::npos || address == std::string::npos || open > address) {
      continue;
    }
    const std::uint64_t returnTo = std::stoull(line.substr(address + 5), nullptr, 16);
    if (returnTo < image.base || returnTo >= image.base + image.size ||
        (!thread.empty() && line.compare(0, kind, thread) != 0)) {
      continue;
    }
    thread = line.substr(0, kind);
    const std::string qualified = line.substr(kind + 6, open - kind - 6);
    const std::string name = qualified.substr(qualified.rfind('.') + 1);
    if (line.compare(kind, 6, ":Call ") == 0) {
      const std::size_t close = line.rfind(')', address);
      pending.push_back(calls.size());
      calls.push_back({name, Arguments(line.substr(open + 1, close - open - 1)), std::nullopt});
      continue;
    }
    const auto returned = std::find_if(pending.rbegin(), pending.rend(),
                                       [&](std::size_t i) { return calls[i].name == name; });
    if (returned != pending.rend()) {
      calls[*returned].result =
          Hex(std::stoull(line.substr(line.find("retval=") + 7), nullptr, 16));
      pending.erase(std::next(returned).base());
    }
  }
  return calls;
}

// Where Wine's traces of the programs that this one starts go: its own
// Unix standard error, which scripts/wine-run puts into the file that
// SEALMARK_RELAY_LOG names. Empty when there is none.
fs::path RelayLog() {
  const char* log = std::getenv("SEALMARK_RELAY_LOG");
  return log != nullptr && RunsUnderWine() ? fs::path(std::string("Z:") + log) : fs::path();
}

// Wine's own list, without SetLastError, which it leaves out of the trace.
constexpr char kRelayExclude[] =
    "ntdll.RtlEnterCriticalSection;ntdll.RtlTryEnterCriticalSection;"
    "ntdll.RtlLeaveCriticalSection;kernel32.48;kernel32.49;kernel32.94;kernel32.95;kernel32.96;"
    "kernel32.97;kernel32.98;kernel32.TlsGetValue;kernel32.TlsSetValue;kernel32.FlsGetValue;"
    "kernel32.FlsSetValue";

// The lines of a trace written with Wine's +pid that the process
// `processId` wrote.
std::string LinesOfProcess(const std::string& trace, unsigned long processId) {
  char process[16];
  std::snprintf(process, sizeof process, "%04lx:", processId);
  std::istringstream lines(trace);
  std::string own;
  for (std::string line; std::getline(lines, line);) {
    own += line.rfind(process, 0) == 0 ? line + "\n" : "";
  }
  return own;
}

// Runs the program in `install` under Wine's traces of calls into system
// libraries and of activation contexts; the lines of its own process. The
// processes that it starts, which write to the same log, may run code at
// the addresses of its image (Wine's explorer and the shell recorder load
// where it does), so each line names its process.
std::string TraceOfARun(const fs::path& install) {
  const auto before = static_cast<std::size_t>(fs::file_size(RelayLog()));
  const RegistryValue exclude("Software\\Wine\\Debug", "RelayExclude", kRelayExclude);
  SetEnvironment("WINEDEBUG", "+pid,+relay,+actctx");
  const ProgramRun run = RunProgram(gProgramUnderTest, {}, install);
  SetEnvironment("WINEDEBUG", "-all");
  return LinesOfProcess(FileContent(RelayLog()).substr(before), run.processId);
}

// DeviceIoControl reads the tag of a reparse point, which Wine makes none
// of: it is listed so that the guard test would see it.
bool IsGuardedCall(const Call& call) {
  static const std::vector<std::string> kGuardedCalls = {
      "CreateFileW",        "GetFileInformationByHandle",
      "DeviceIoControl",    "ReadFile",
      "WriteFile",          "SetFilePointer",
      "GetFileSize",        "GetFileType",
      "SetEndOfFile",       "CloseHandle",
      "FindFirstFileW",     "FindNextFileW",
      "FindClose",          "GetLocalTime",
      "GetFileAttributesW", "SetCurrentDirectoryW"};
  return std::count(kGuardedCalls.begin(), kGuardedCalls.end(), call.name) != 0;
}

constexpr char kNoRelayLog[] =
    "no relay log: only Wine traces the calls, run through ctest's call_trace";

// INVALID_HANDLE_VALUE, in a 32-bit or a 64-bit process.
constexpr char kInvalidHandle[] = "ffffffff";

constexpr int kReadOnly = 2;
constexpr int kHidden = 4;
constexpr int kMissing = 5;
constexpr int kHeld = 6;
constexpr char kMissingFolder[] = "Immersion";

// The install folder's length: the paths of the longer data files reach
// MAX_PATH joined to it, and no text gets longer than Wine's trace shows
// whole (about 290 characters, with each backslash written twice).
constexpr std::size_t kInstallLength = 225;

// One traced run in a deep install folder that holds an earlier report, a
// read-only file, a hidden file, a missing file, a missing folder and a file
// held open without sharing; each test reads what it needs from it.
class CallTrace : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    if (RelayLog().empty() || !WhyTheShellWouldNotStartTheRecorder().empty()) {
      return;
    }
    TempDir temp;
    const fs::path install = DeepPath(temp.path() / "install", kInstallLength);
    install_ = install.string();
    if (!LayOutSampleInstall(install, SampleSizes::kFourBytes).empty()) {
      throw std::runtime_error("cannot lay out " + install.string());
    }
    WriteFileContent(install / "FileCheck.TXT", "earlier\r\n");
    fs::remove(SamplePath(install, kMissing));
    fs::remove_all(install / "Data" / kMissingFolder);
    AddFileAttribute(SamplePath(install, kHidden), kAttributeHidden);
    const ReadOnlyFile readOnly(SamplePath(install, kReadOnly));
    const ExclusiveHold held(SamplePath(install, kHeld));
    readOnlyStaged_ = readOnly.refusesWrites();
    heldStaged_ = held.held();
    trace_ = TraceOfARun(install);
    calls_ = ProgramCalls(trace_, ImageOf(gProgramUnderTest));
  }

  void SetUp() override {
    if (RelayLog().empty()) {
      GTEST_SKIP() << kNoRelayLog;
    }
    const std::string problem = WhyTheShellWouldNotStartTheRecorder();
    if (!problem.empty()) {
      GTEST_SKIP() << problem;
    }
    ASSERT_TRUE(heldStaged_) << "the file held without sharing could not be staged";
    ASSERT_EQ(install_.size(), kInstallLength) << "the install folder could not be that deep";
    ASSERT_FALSE(calls_.empty()) << "no calls traced";
  }

  // The path `path` in the install folder, quoted, as the program must pass
  // it: as it is, or whole in the \\?\ form where joined to the folder it
  // reaches MAX_PATH.
  static std::string Passed(const std::string& path) {
    const std::string whole = install_ + "\\" + path;
    return "\"" + (whole.size() < MAX_PATH ? path : "\\\\?\\" + whole) + "\"";
  }

  // The position of the first call at or after `from` named `name`.
  static std::size_t Find(const std::string& name, std::size_t from = 0) {
    for (std::size_t i = from; i < calls_.size(); ++i) {
      if (calls_[i].name == name) {
        return i;
      }
    }
    return calls_.size();
  }

  // Wine as root writes to a read-only file unless the file system's
  // immutable flag can be set, which some containers do not allow.
  static inline bool readOnlyStaged_ = false;
  static inline bool heldStaged_ = false;
  static inline std::string install_;
  static inline std::string trace_;
  static inline std::vector<Call> calls_;
};

TEST_F(CallTrace, MakesEveryFileCallAndTheClockReadingInsideTheGuard) {
  std::size_t guarded = 0;
  for (std::size_t i = 2; i + 2 < calls_.size(); ++i) {
    if (!IsGuardedCall(calls_[i])) {
      continue;
    }
    SCOPED_TRACE(calls_[i].Text());
    EXPECT_EQ(calls_[i - 2].Text(), "SetErrorMode(8001)");
    EXPECT_EQ(calls_[i - 1].Text(), "SetLastError(0)");
    EXPECT_EQ(calls_[i + 1].Text(), "GetLastError()");
    EXPECT_EQ(calls_[i + 2].Text(), "SetErrorMode(" + calls_[i - 2].result.value_or("?") + ")");
    ++guarded;
  }
  EXPECT_EQ(guarded,
            static_cast<std::size_t>(std::count_if(calls_.begin(), calls_.end(), IsGuardedCall)));
  // The report, 43 data files and their lookups at the least.
  EXPECT_GT(guarded, 43u * 6);
}

TEST_F(CallTrace, OpensDataFilesInOrderReadingEachWholeOnce) {
  std::size_t at = Find("CreateFileW", Find("CreateFileW") + 1);
  for (int index = 1; index <= kManifestCount; ++index) {
    SCOPED_TRACE(ManifestName(index));
    ASSERT_LT(at, calls_.size());
    const std::string path = Passed("Data\\" + std::string(ManifestName(index)));
    const bool inMissingFolder = ManifestName(index).rfind(kMissingFolder, 0) == 0;
    const Call& first = calls_[at];
    // Read and write access, shared for reading and writing, an existing
    // file only, normal attributes with a pipe's server kept to
    // identification, no template; security attributes of its own.
    EXPECT_EQ(first.Text(),
              "CreateFileW(" + path + ",c0000000,3," + first.arguments.at(3) + ",3,110080,0)");
    EXPECT_NE(first.arguments.at(3), "0");
    EXPECT_EQ(first.result == kInvalidHandle, (index == kReadOnly && readOnlyStaged_) ||
                                                  index == kHeld || index == kMissing ||
                                                  inMissingFolder);
    std::size_t opened = at;
    if (first.result == kInvalidHandle) {
      opened = Find("CreateFileW", at + 1);
      ASSERT_LT(opened, calls_.size());
      const Call& second = calls_[opened];
      EXPECT_EQ(second.Text(),
                "CreateFileW(" + path + ",80000000,3," + second.arguments.at(3) + ",3,110080,0)");
    }
    const bool open = calls_[opened].result != kInvalidHandle;
    EXPECT_EQ(open, index != kHeld && index != kMissing && !inMissingFolder);
    // The next file's first attempt; between them, what makes a missing one.
    at = opened + 1;
    while (at < calls_.size() &&
           !(calls_[at].name == "CreateFileW" && calls_[at].arguments.at(4) == "3" &&
             calls_[at].arguments.at(1) == "c0000000")) {
      ++at;
    }
    const std::size_t size = Find("GetFileSize", opened);
    std::size_t reads = 0;
    for (std::size_t i = opened; i < at; ++i) {
      if (calls_[i].name == "ReadFile") {
        ++reads;
        ASSERT_LT(size, i);
        EXPECT_EQ(calls_[i].arguments.at(2), calls_[size].result);
      }
    }
    EXPECT_EQ(reads, open ? 1u : 0u);
  }
  EXPECT_EQ(at, calls_.size());
}

// A missing data file is made new, stopping at a link, after each folder on
// its path is opened itself, shared for reading alone; a missing folder
// ends that. Only the one missing file is made.
TEST_F(CallTrace, MakesAMissingFileAfterOpeningEachFolderOnItsPath) {
  const auto folder = [](const std::string& path) {
    return "CreateFileW(" + Passed(path) + ",80000000,1,SA,3,2310080,0)";
  };
  std::vector<std::string> expected;
  for (int index = 1; index <= kManifestCount; ++index) {
    const std::string name = "Data\\" + std::string(ManifestName(index));
    const std::string sub = name.substr(0, name.rfind('\\'));
    if (index == kMissing || sub == std::string("Data\\") + kMissingFolder) {
      expected.insert(expected.end(), {folder("Data"), folder(sub)});
    }
    if (index == kMissing) {
      expected.push_back("CreateFileW(" + Passed(name) + ",c0000000,3,SA,1,310080,0)");
    }
  }
  std::vector<std::string> made;
  for (std::size_t i = Find("CreateFileW") + 1; i < calls_.size(); ++i) {
    Call call = calls_[i];
    if (call.name == "CreateFileW" && call.arguments.at(5) != "110080") {
      call.arguments.at(3) = "SA";
      made.push_back(call.Text());
    }
  }
  EXPECT_EQ(made, expected);
}

TEST_F(CallTrace, CreatesTheReportOnceBeforeTheFirstDataFile) {
  const std::size_t open = Find("CreateFileW");
  const Call& report = calls_.at(open);
  // Write access, no sharing, open always, normal attributes with a pipe's
  // server kept to identification and a link opened itself rather than
  // followed, no template.
  EXPECT_EQ(report.Text(),
            "CreateFileW(\"FileCheck.TXT\",40000000,0," + report.arguments.at(3) + ",4,310080,0)");
  EXPECT_NE(report.arguments.at(3), "0");
  // The earlier report is asked for its attributes, names and file number;
  // a plain file has no reparse tag to read, so the next call asks whether
  // it is a disk file, the one kind that is written.
  const auto check = std::find_if(calls_.begin() + static_cast<std::ptrdiff_t>(open) + 1,
                                  calls_.end(), IsGuardedCall);
  ASSERT_NE(check, calls_.end());
  EXPECT_EQ(check->name, "GetFileInformationByHandle");
  EXPECT_EQ(check->arguments.at(0), report.result);
  const auto cut = std::find_if(check + 1, calls_.end(), IsGuardedCall);
  ASSERT_NE(cut, calls_.end());
  EXPECT_EQ(cut->Text(), "GetFileType(" + report.result.value_or("?") + ")");
  EXPECT_EQ(std::count_if(calls_.begin(), calls_.end(),
                          [](const Call& call) {
                            return call.name == "CreateFileW" &&
                                   call.arguments.at(0) == "\"FileCheck.TXT\"";
                          }),
            1);
}

TEST_F(CallTrace, LooksFilesUpInOrderWithOneSearchOpenAtATime) {
  std::optional<std::string> open;
  int index = 0;
  for (const Call& call : calls_) {
    if (call.name == "FindFirstFileW") {
      ++index;
      EXPECT_EQ(call.arguments.at(0), Passed("Data\\" + std::string(ManifestName(index))));
      EXPECT_FALSE(open.has_value()) << "a second search at entry " << index;
      if (call.result != kInvalidHandle) {
        open = call.result;
      }
    } else if (call.name == "FindClose") {
      EXPECT_EQ(call.arguments.at(0), open);
      open.reset();
    }
  }
  EXPECT_EQ(index, kManifestCount);
  EXPECT_FALSE(open.has_value());
  // The last lookup's search is closed by the frame, after the shell request.
  const std::size_t shell = Find("ShellExecuteA");
  EXPECT_LT(Find("FindClose", shell), Find("CoUninitialize", shell));
}

TEST_F(CallTrace, AsksTheShellOnceAfterTheReportIsClosedAndEndsWithExitProcess) {
  const std::size_t shell = Find("ShellExecuteA");
  ASSERT_LT(shell, calls_.size());
  EXPECT_EQ(calls_[shell].Text(), "ShellExecuteA(0,\"open\",\".\\FileCheck.TXT\",0,0,1)");
  EXPECT_EQ(Find("ShellExecuteA", shell + 1), calls_.size());
  const Call closing{"CloseHandle", {calls_.at(Find("CreateFileW")).result.value_or("?")}, {}};
  std::size_t closed = calls_.size();
  for (std::size_t i = 0; i < calls_.size(); ++i) {
    closed = calls_[i].Text() == closing.Text() ? i : closed;
  }
  EXPECT_LT(closed, shell);
  EXPECT_EQ(calls_.back().Text(), "ExitProcess(0)");
}

// Wine finds the program's manifest, parses it and finds nothing wrong.
TEST_F(CallTrace, ReadsTheManifestWithoutAnError) {
  EXPECT_NE(trace_.find("parse_assembly_identity_elem name=L\"Sealmark\""), std::string::npos);
  EXPECT_EQ(trace_.find(":err:actctx:"), std::string::npos);
  EXPECT_EQ(trace_.find(":fixme:actctx:"), std::string::npos);
}

TEST(CallTraceOfARefusal, ShowsTheMessageBoxAndEndsWith255) {
  if (RelayLog().empty()) {
    GTEST_SKIP() << kNoRelayLog;
  }
  // Before the platform check comes only the runtime's set-up at process
  // attach: not the restriction of the library search (GetModuleHandleA),
  // nor the C runtime's start-up (GetStartupInfoA), which never runs; and
  // nothing touches a file.
  const std::vector<std::string> named = {
      "GetVersionExA",       "GetVersionExW",      "LoadLibraryA",         "FreeLibrary",
      "GetDateFormatW",      "ExitProcess",        "FileTimeToSystemTime", "MultiByteToWideChar",
      "WideCharToMultiByte", "GetModuleHandleW",   "GetCommandLineW",      "GetStartupInfoA",
      "CoInitialize",        "CoUninitialize",     "ShellExecuteA",        "MessageBoxA",
      "GetModuleHandleA",    "GetModuleFileNameW", "GetCurrentDirectoryW"};
  for (const char* windows : {"win98", "winme"}) {
    SCOPED_TRACE(windows);
    TempDir install;
    const RegistryValue version(WineProgramKey(gProgramUnderTest.filename().string()), "Version",
                                windows);
    const std::vector<Call> calls =
        ProgramCalls(TraceOfARun(install.path()), ImageOf(gProgramUnderTest));
    const auto first = std::find_if(calls.begin(), calls.end(), [&](const Call& call) {
      return IsGuardedCall(call) || std::count(named.begin(), named.end(), call.name) != 0;
    });
    ASSERT_NE(first, calls.end());
    EXPECT_EQ(first->Text(), "GetVersionExA(" + first->arguments.at(0) + ")");
    EXPECT_EQ(std::count_if(calls.begin(), calls.end(), IsGuardedCall), 0);
    const auto box = std::find_if(calls.begin(), calls.end(),
                                  [](const Call& call) { return call.name == "MessageBoxA"; });
    ASSERT_NE(box, calls.end());
    EXPECT_EQ(box->Text(), "MessageBoxA(0,\"Win98 No Support\",0,12000)");
    EXPECT_EQ(calls.back().Text(), "ExitProcess(ff)");
  }
}

}  // namespace
}  // namespace sealmark::test
