#include <cwchar>

#include "frame/windows_api.h"
#include "support/program.h"
#include "support/temp_dir.h"

namespace sealmark::test {

namespace {

constexpr wchar_t kKnownFormat[] = L"dd.MM.yyyy";

std::string DateText(const SYSTEMTIME& date) {
  char text[32];
  std::snprintf(text, sizeof text, "%02u.%02u.%04u ", date.wDay, date.wMonth, date.wYear);
  return text;
}

std::wstring Widen(const std::string& text) {
  return std::wstring(text.begin(), text.end());
}

}  // namespace

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
  const BOOL started = CreateProcessW(nullptr, command.data(), nullptr, nullptr, TRUE, 0, nullptr,
                                      folder.c_str(), &startup, &process);
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
  return {static_cast<int>(exitCode), FileContent(output)};
}

void SetEnvironment(const std::string& name, const std::string& value) {
  SetEnvironmentVariableW(Widen(name).c_str(), Widen(value).c_str());
}

void PrependToPath(const std::filesystem::path& folder) {
  wchar_t path[32767] = {};
  GetEnvironmentVariableW(L"PATH", path, 32767);
  SetEnvironmentVariableW(L"PATH", (folder.wstring() + L";" + path).c_str());
}

KnownDateFormat::KnownDateFormat() {
  wchar_t previous[100] = {};
  GetLocaleInfoW(LOCALE_USER_DEFAULT, LOCALE_SSHORTDATE, previous, 100);
  previous_ = previous;
  SetLocaleInfoW(LOCALE_USER_DEFAULT, LOCALE_SSHORTDATE, kKnownFormat);
}

KnownDateFormat::~KnownDateFormat() {
  SetLocaleInfoW(LOCALE_USER_DEFAULT, LOCALE_SSHORTDATE, previous_.c_str());
}

std::string ExpectedDateText(const std::filesystem::path& file) {
  WIN32_FILE_ATTRIBUTE_DATA data;
  SYSTEMTIME utc;
  if (!GetFileAttributesExW(file.c_str(), GetFileExInfoStandard, &data) ||
      !FileTimeToSystemTime(&data.ftLastWriteTime, &utc)) {
    return "?";
  }
  return DateText(utc);
}

std::string ExpectedDateTextOfTimeZero() {
  return "01.01.1601 ";
}

ReportedWindowsVersion::ReportedWindowsVersion(const std::wstring& program,
                                               const std::wstring& version)
    : key_(L"Software\\Wine\\AppDefaults\\" + program) {
  HKEY key;
  if (RegCreateKeyExW(HKEY_CURRENT_USER, key_.c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key,
                      nullptr) != ERROR_SUCCESS) {
    return;
  }
  took_ =
      RegSetValueExW(key, L"Version", 0, REG_SZ, reinterpret_cast<const BYTE*>(version.c_str()),
                     static_cast<DWORD>((version.size() + 1) * sizeof(wchar_t))) == ERROR_SUCCESS;
  RegCloseKey(key);
}

ReportedWindowsVersion::~ReportedWindowsVersion() {
  RegDeleteKeyW(HKEY_CURRENT_USER, key_.c_str());
}

}  // namespace sealmark::test
