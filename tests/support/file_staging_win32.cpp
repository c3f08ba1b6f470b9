#include <string>

#include "frame/windows_api.h"
#include "support/file_staging.h"

namespace sealmark::test {

namespace {

bool OpensForWriting(const std::filesystem::path& path) {
  const HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                  nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
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
  if (process.hThread != nullptr) {
    CloseHandle(process.hThread);
  }
  if (process.hProcess != nullptr) {
    CloseHandle(process.hProcess);
  }
  return true;
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

bool MakeSparseFile(const std::filesystem::path& path, std::uint64_t size) {
  const HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                  FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    return false;
  }
  LARGE_INTEGER end;
  end.QuadPart = static_cast<LONGLONG>(size);
  const bool done = SetFilePointerEx(file, end, nullptr, FILE_BEGIN) && SetEndOfFile(file);
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
  if (OpensForWriting(path)) {
    immutable_ = StartChattr(path, "+i");
  }
  took_ = WaitFor([&] { return !OpensForWriting(path); });
}

ReadOnlyFile::~ReadOnlyFile() {
  if (immutable_) {
    StartChattr(path_, "-i");
  }
  WaitFor([&] {
    return SetFileAttributesW(path_.c_str(), FILE_ATTRIBUTE_NORMAL) && OpensForWriting(path_);
  });
}

}  // namespace sealmark::test
