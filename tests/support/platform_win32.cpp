#include <cstdio>
#include <cstdlib>
#include <cwctype>
#include <stdexcept>
#include <string>

#include "platform/windows_api.h"
// After <windows.h>.
#include <sddl.h>
#include <shobjidl.h>
#include <winioctl.h>

#include "kit/record_layout.h"
#include "support/platform.h"
#include "support/temp_dir.h"

namespace sealmark::test {

namespace {

// Whether `path` opens with the access `access` (GENERIC_READ or
// GENERIC_WRITE).
bool Opens(const std::filesystem::path& path, DWORD access) {
  const HANDLE file = CreateFileW(path.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    return false;
  }
  CloseHandle(file);
  return true;
}

// Wine runs as a Unix user, and as root it opens a read-only file for
// writing all the same. There the file system's immutable flag is set with
// chattr, which Wine starts as a Unix program.
std::string UnixPath(const std::filesystem::path& path) {
  using UnixFileName = char*(CDECL*)(const wchar_t*);
  const HMODULE kernel = GetModuleHandleW(L"kernel32.dll");
  const FARPROC entry = GetProcAddress(kernel, "wine_get_unix_file_name");
  if (entry == nullptr) {
    return {};
  }
  UnixFileName unixFileName;
  static_assert(sizeof unixFileName == sizeof entry);
  memcpy(&unixFileName, &entry, sizeof entry);
  char* name = unixFileName(path.c_str());
  if (name == nullptr) {
    return {};
  }
  std::string result = name;
  HeapFree(GetProcessHeap(), 0, name);
  return result;
}

// Wine starts a Unix program without a process handle to wait on, so the
// caller waits for the change to show instead.
bool StartChattr(const std::filesystem::path& path, const char* change) {
  const std::string unixPath = UnixPath(path);
  if (unixPath.empty()) {
    return false;
  }
  std::string command = std::string("/usr/bin/chattr ") + change + " \"" + unixPath + "\"";
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process{};
  if (!CreateProcessA(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                      &startup, &process)) {
    return false;
  }
  // Wine then leaves the process handle empty and the thread handle
  // undefined: closing it could close any handle of this process.
  if (process.hProcess != nullptr) {
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
  }
  return true;
}

// A whole path from MAX_PATH on in the \\?\ form, which Windows takes
// beyond that limit: \\?\UNC\ for a share.
std::wstring WholeForm(const std::filesystem::path& path) {
  const std::wstring& name = path.native();
  if (name.size() < MAX_PATH || name.rfind(L"\\\\?\\", 0) == 0) {
    return name;
  }
  return name.rfind(L"\\\\", 0) == 0 ? L"\\\\?\\UNC" + name.substr(1) : L"\\\\?\\" + name;
}

std::wstring Widen(const std::string& text) {
  return std::wstring(text.begin(), text.end());
}

std::string Narrow(const std::wstring& text) {
  return std::string(text.begin(), text.end());
}

// A junction at `link`, a new folder, to the folder `target`: a mount
// point that names the target in the NT form, "\??\C:\...", with no
// name to print.
bool MakeJunction(const std::filesystem::path& target, const std::filesystem::path& link) {
  const std::wstring name = L"\\??\\" + std::filesystem::absolute(target).wstring();
  struct {
    DWORD tag = IO_REPARSE_TAG_MOUNT_POINT;
    WORD dataLength;
    WORD reserved = 0;
    WORD nameOffset = 0;
    WORD nameLength;
    WORD printOffset;
    WORD printLength = 0;
    wchar_t names[2 * MAX_PATH] = {};
  } mountPoint;
  if (name.size() + 2 > std::size(mountPoint.names) || !CreateDirectoryW(link.c_str(), nullptr)) {
    return false;
  }
  name.copy(mountPoint.names, name.size());
  mountPoint.nameLength = static_cast<WORD>(name.size() * sizeof(wchar_t));
  mountPoint.printOffset = static_cast<WORD>(mountPoint.nameLength + sizeof(wchar_t));
  mountPoint.dataLength =
      static_cast<WORD>(4 * sizeof(WORD) + mountPoint.printOffset + sizeof(wchar_t));
  const HANDLE folder =
      CreateFileW(link.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                  FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  DWORD returned = 0;
  const bool made = folder != INVALID_HANDLE_VALUE &&
                    DeviceIoControl(folder, FSCTL_SET_REPARSE_POINT, &mountPoint,
                                    8u + mountPoint.dataLength, nullptr, 0, &returned, nullptr);
  if (folder != INVALID_HANDLE_VALUE) {
    CloseHandle(folder);
  }
  if (!made) {
    RemoveDirectoryW(link.c_str());
  }
  return made;
}

// The program that Windows names for .txt files, as the shell would find
// it; empty where it names none.
std::wstring TxtFileType() {
  const HRESULT com = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  IApplicationAssociationRegistration* associations = nullptr;
  wchar_t* type = nullptr;
  if (SUCCEEDED(CoCreateInstance(CLSID_ApplicationAssociationRegistration, nullptr,
                                 CLSCTX_INPROC_SERVER, IID_IApplicationAssociationRegistration,
                                 reinterpret_cast<void**>(&associations)))) {
    associations->QueryCurrentDefault(L".txt", AT_FILEEXTENSION, AL_EFFECTIVE, &type);
    associations->Release();
  }
  std::wstring found = type != nullptr ? type : L"";
  CoTaskMemFree(type);
  if (SUCCEEDED(com)) {
    CoUninitialize();
  }
  return found;
}

// The command that opens a file of the type `type`; empty where it has none.
std::wstring OpenCommand(const std::wstring& type) {
  wchar_t command[1024] = {};
  DWORD size = sizeof command;
  if (RegGetValueW(HKEY_CLASSES_ROOT, (type + L"\\shell\\open\\command").c_str(), nullptr,
                   RRF_RT_REG_SZ | RRF_RT_REG_EXPAND_SZ | RRF_NOEXPAND, nullptr, command,
                   &size) != ERROR_SUCCESS) {
    return {};
  }
  return command;
}

// Tries `done` every 50 ms for up to five seconds.
template <typename Check>
bool WaitFor(Check done) {
  for (int attempt = 0; attempt < 100; ++attempt) {
    if (done()) {
      return true;
    }
    Sleep(50);
  }
  return false;
}

}  // namespace

bool AddFileAttribute(const std::filesystem::path& path, std::uint32_t attribute) {
  const DWORD attributes = GetFileAttributesW(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES &&
         SetFileAttributesW(path.c_str(), attributes | attribute);
}

bool HasShareModes() {
  return true;
}

// NTFS fills a file that is not sparse with zeros up to where it is
// written.
bool MakeSparseFile(const std::filesystem::path& path, std::uint64_t size) {
  const HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                  FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    return false;
  }
  DWORD returned = 0;
  DeviceIoControl(file, FSCTL_SET_SPARSE, nullptr, 0, nullptr, 0, &returned, nullptr);
  LARGE_INTEGER end;
  end.QuadPart = static_cast<LONGLONG>(size);
  const bool done = SetFilePointerEx(file, end, nullptr, FILE_BEGIN) && SetEndOfFile(file);
  return CloseHandle(file) && done;
}

bool SetLastWriteTime(const std::filesystem::path& path, std::uint64_t fileTime) {
  const HANDLE file = CreateFileW(path.c_str(), FILE_WRITE_ATTRIBUTES, 0, nullptr, OPEN_EXISTING,
                                  FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    return false;
  }
  const FILETIME time{static_cast<DWORD>(fileTime), static_cast<DWORD>(fileTime >> 32)};
  const bool done = SetFileTime(file, nullptr, nullptr, &time);
  return CloseHandle(file) && done;
}

ExclusiveHold::ExclusiveHold(const std::filesystem::path& path) {
  const HANDLE file = CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  handle_ = file == INVALID_HANDLE_VALUE ? -1 : reinterpret_cast<std::intptr_t>(file);
}

ExclusiveHold::~ExclusiveHold() {
  if (held()) {
    CloseHandle(reinterpret_cast<HANDLE>(handle_));
  }
}

ReadOnlyFile::ReadOnlyFile(const std::filesystem::path& path) : path_(path) {
  AddFileAttribute(path, FILE_ATTRIBUTE_READONLY);
  if (Opens(path, GENERIC_WRITE)) {
    immutable_ = StartChattr(path, "+i");
  }
  refusesWrites_ = WaitFor([&] { return !Opens(path, GENERIC_WRITE); });
}

ReadOnlyFile::~ReadOnlyFile() {
  if (immutable_) {
    StartChattr(path_, "-i");
  }
  WaitFor([&] {
    return SetFileAttributesW(path_.c_str(), FILE_ATTRIBUTE_NORMAL) && Opens(path_, GENERIC_WRITE);
  });
}

// Every user may do anything with the file but read its data, the user
// too: a deny entry comes before the one that allows.
UnreadableFile::UnreadableFile(const std::filesystem::path& path) : path_(path) {
  DWORD size = 0;
  GetFileSecurityW(path.c_str(), DACL_SECURITY_INFORMATION, nullptr, 0, &size);
  previous_.resize(size);
  PSECURITY_DESCRIPTOR denying = nullptr;
  if (size == 0 ||
      !GetFileSecurityW(path.c_str(), DACL_SECURITY_INFORMATION, previous_.data(), size, &size) ||
      !ConvertStringSecurityDescriptorToSecurityDescriptorW(L"D:(D;;0x1;;;WD)(A;;FA;;;WD)",
                                                            SDDL_REVISION_1, &denying, nullptr)) {
    previous_.clear();
    return;
  }
  SetFileSecurityW(path.c_str(), DACL_SECURITY_INFORMATION, denying);
  LocalFree(denying);
  refusesReads_ = !Opens(path, GENERIC_READ);
}

UnreadableFile::~UnreadableFile() {
  if (!previous_.empty()) {
    SetFileSecurityW(path_.c_str(), DACL_SECURITY_INFORMATION, previous_.data());
  }
}

// Developer Mode lets a user without the privilege make a symbolic link
// that asks for it by a flag, from Windows 10 1703 on; older versions
// refuse the flag.
std::string MakeLink(const std::filesystem::path& target, const std::filesystem::path& link) {
  const bool folder = std::filesystem::is_directory(target);
  const DWORD kind = folder ? SYMBOLIC_LINK_FLAG_DIRECTORY : 0;
  BOOLEAN made = CreateSymbolicLinkW(link.c_str(), target.c_str(),
                                     kind | SYMBOLIC_LINK_FLAG_ALLOW_UNPRIVILEGED_CREATE);
  if (!made && GetLastError() == ERROR_INVALID_PARAMETER) {
    made = CreateSymbolicLinkW(link.c_str(), target.c_str(), kind);
  }
  const DWORD error = made ? ERROR_SUCCESS : GetLastError();
  if (IsLink(link) || (folder && MakeJunction(target, link))) {
    return {};
  }
  const std::string why =
      made ? "CreateSymbolicLinkW reports a link that is not there (as Wine 8 does)"
      : error == ERROR_PRIVILEGE_NOT_HELD
          ? "symbolic links need Developer Mode or the privilege to create them"
          : "CreateSymbolicLinkW fails with error " + std::to_string(error);
  return "no link can be made here: " + why + (folder ? ", and no junction either" : "");
}

bool IsLink(const std::filesystem::path& path) {
  const DWORD attributes = GetFileAttributesW(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
}

bool LoadAndFreeLibrary(const std::filesystem::path& path) {
  const HMODULE library = LoadLibraryW(path.c_str());
  return library != nullptr && FreeLibrary(library);
}

ProgramRun RunProgram(const std::filesystem::path& program,
                      const std::vector<std::string>& arguments,
                      const std::filesystem::path& folder) {
  TempDir outputFolder;
  const std::filesystem::path output = outputFolder.path() / "output";
  SECURITY_ATTRIBUTES inheritable{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
  const HANDLE sink = CreateFileW(output.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inheritable,
                                  CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  std::wstring command = L"\"" + program.wstring() + L"\"";
  for (const std::string& argument : arguments) {
    command += L" " + Widen(argument);
  }
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdOutput = sink;
  startup.hStdError = sink;
  PROCESS_INFORMATION process{};
  // As a user would start it, whatever the error mode of the tests.
  const BOOL started =
      CreateProcessW(nullptr, command.data(), nullptr, nullptr, TRUE, CREATE_DEFAULT_ERROR_MODE,
                     nullptr, folder.c_str(), &startup, &process);
  CloseHandle(sink);
  if (!started) {
    return {-1, ""};
  }
  DWORD exitCode = static_cast<DWORD>(-1);
  if (WaitForSingleObject(process.hProcess, 120000) == WAIT_OBJECT_0) {
    GetExitCodeProcess(process.hProcess, &exitCode);
  } else {
    TerminateProcess(process.hProcess, 1);
  }
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  return {static_cast<int>(exitCode), FileContent(output), process.dwProcessId};
}

void SetEnvironment(const std::string& name, const std::string& value) {
  SetEnvironmentVariableW(Widen(name).c_str(), Widen(value).c_str());
}

void PrependToPath(const std::filesystem::path& folder) {
  wchar_t path[32767] = {};
  GetEnvironmentVariableW(L"PATH", path, 32767);
  SetEnvironmentVariableW(L"PATH", (folder.wstring() + L";" + path).c_str());
}

std::size_t ShellPathLimit() {
  return 250;
}

bool MakeFifo(const std::filesystem::path&) {
  return false;
}

std::string TemporaryName(const std::string& name) {
  return name;
}

// Windows lets whoever the access-control list allows write a file, whoever
// owns it.
bool GiveToAnotherUser(const std::filesystem::path&) {
  return false;
}

namespace {

// Where the test kit's runner started this program and keeps a record of
// the key `key` of HKEY_CURRENT_USER, notes there that the test is about to
// set its value `name` to `text`: the runner puts back only what the kit
// set.
void NoteForTheKit(const std::string& key, const std::string& name, const std::string& text) {
  const char* record = std::getenv("SEALMARK_KIT_RECORD");
  const std::wstring kept =
      record == nullptr ? L"" : kit::RecordOf(Widen(record), false, Widen(key));
  HKEY notes = nullptr;
  if (record == nullptr ||
      RegOpenKeyExW(HKEY_CURRENT_USER, kept.c_str(), 0, KEY_READ, &notes) != ERROR_SUCCESS) {
    return;
  }
  RegCloseKey(notes);
  kit::NoteSet(kept, Widen(name), Widen(text));
}

}  // namespace

// SetLocaleInfoW keeps the setting in the registry, where programs started
// later find it too.
ShortDateFormat::ShortDateFormat(const std::string& format) {
  wchar_t previous[100] = {};
  GetLocaleInfoW(LOCALE_USER_DEFAULT, LOCALE_SSHORTDATE, previous, 100);
  previous_ = Narrow(previous);
  NoteForTheKit("Control Panel\\International", "sShortDate", format);
  if (!SetLocaleInfoW(LOCALE_USER_DEFAULT, LOCALE_SSHORTDATE, Widen(format).c_str())) {
    throw std::runtime_error("cannot set the short date format " + format);
  }
}

ShortDateFormat::~ShortDateFormat() {
  SetLocaleInfoW(LOCALE_USER_DEFAULT, LOCALE_SSHORTDATE, Widen(previous_).c_str());
}

ShortDateFormat KnownDateFormat() {
  return ShortDateFormat("dd.MM.yyyy");
}

std::string ExpectedDateText(const std::filesystem::path& file) {
  WIN32_FILE_ATTRIBUTE_DATA data;
  SYSTEMTIME utc;
  if (!GetFileAttributesExW(WholeForm(file).c_str(), GetFileExInfoStandard, &data) ||
      !FileTimeToSystemTime(&data.ftLastWriteTime, &utc)) {
    return "?";
  }
  char text[32];
  std::snprintf(text, sizeof text, "%02u.%02u.%04u ", utc.wDay, utc.wMonth, utc.wYear);
  return text;
}

std::string ExpectedDateTextOfTimeZero() {
  return "01.01.1601 ";
}

bool RunsUnderWine() {
  return GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "wine_get_version") != nullptr;
}

// The user's own choice, which Windows keeps with a hash that no program
// can make, comes before every default. The test kit's runner tries the
// shell once, and where it did not start the recorder, says why in
// SEALMARK_SHELL_PROBLEM.
std::string WhyTheShellWouldNotStartTheRecorder() {
  const std::string start = "the shell would not start the recorder: ";
  const char* tried = std::getenv("SEALMARK_SHELL_PROBLEM");
  if (tried != nullptr && *tried != '\0') {
    return start + tried;
  }
  HKEY choice = nullptr;
  if (RegOpenKeyExW(HKEY_CURRENT_USER,
                    L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\FileExts\\"
                    L".txt\\UserChoice",
                    0, KEY_READ, &choice) == ERROR_SUCCESS) {
    RegCloseKey(choice);
    return start + "the user has chosen a program for .txt files (UserChoice)";
  }
  const std::wstring type = TxtFileType();
  if (type.empty()) {
    return start + "Windows names no program for .txt files";
  }
  const std::wstring command = OpenCommand(type);
  std::wstring lowered = command;
  for (wchar_t& unit : lowered) {
    unit = static_cast<wchar_t>(std::towlower(static_cast<wint_t>(unit)));
  }
  if (lowered.find(L"shell_recorder.exe") == std::wstring::npos) {
    return start + ".txt files open as " + Narrow(type) + ": " + Narrow(command);
  }
  return {};
}

RegistryValue::RegistryValue(const std::string& key, const std::string& name,
                             const std::string& value)
    : key_(key), name_(name) {
  NoteForTheKit(key, name, value);
  const std::wstring text = Widen(value);
  isSet_ = RegSetKeyValueW(HKEY_CURRENT_USER, Widen(key).c_str(), Widen(name).c_str(), REG_SZ,
                           text.c_str(), static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t))) ==
           ERROR_SUCCESS;
}

RegistryValue::~RegistryValue() {
  if (isSet_) {
    RegDeleteKeyValueW(HKEY_CURRENT_USER, Widen(key_).c_str(), Widen(name_).c_str());
  }
}

}  // namespace sealmark::test
