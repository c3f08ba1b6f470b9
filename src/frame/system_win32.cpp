#include "frame/system.h"

#include "frame/windows_api.h"
// <shellapi.h> needs <windows.h> first.
#include <shellapi.h>

#include <algorithm>
#include <climits>

#include "frame/guarded_call.h"

namespace sealmark {

namespace {

static_assert(kAttributeHidden == FILE_ATTRIBUTE_HIDDEN);
static_assert(kAttributeSystem == FILE_ATTRIBUTE_SYSTEM);
static_assert(kAttributeDirectory == FILE_ATTRIBUTE_DIRECTORY);

// Opens use at most this many UTF-16 units of a path, lookups one more.
constexpr std::size_t kOpenPathLimit = 255;
constexpr std::size_t kFindPathLimit = 256;

std::wstring WidePath(const std::string& path, std::size_t limit) {
  const int length = static_cast<int>(std::min<std::size_t>(path.size(), INT_MAX));
  const int units = MultiByteToWideChar(CP_ACP, MB_PRECOMPOSED, path.data(), length, nullptr, 0);
  std::wstring wide(static_cast<std::size_t>(units), L'\0');
  MultiByteToWideChar(CP_ACP, MB_PRECOMPOSED, path.data(), length, wide.data(), units);
  if (wide.size() > limit) {
    wide.resize(limit);
  }
  return wide;
}

HANDLE AsHandle(SystemHandle handle) {
  return reinterpret_cast<HANDLE>(handle);
}

SystemHandle FromHandle(HANDLE handle) {
  return handle == INVALID_HANDLE_VALUE ? kNoHandle : reinterpret_cast<SystemHandle>(handle);
}

DWORD DesiredAccess(FileAccess access) {
  switch (access) {
    case FileAccess::kReadWrite:
      return GENERIC_READ | GENERIC_WRITE;
    case FileAccess::kRead:
      return GENERIC_READ;
    case FileAccess::kWrite:
      return GENERIC_WRITE;
  }
  return 0;
}

DWORD ShareMode(FileSharing sharing) {
  return sharing == FileSharing::kReadWrite ? FILE_SHARE_READ | FILE_SHARE_WRITE : 0;
}

class Win32System final : public System {
 public:
  SystemHandle OpenFile(const std::string& path, FileAccess access, FileSharing sharing) override {
    const std::wstring name = WidePath(path, kOpenPathLimit);
    SECURITY_ATTRIBUTES inheritable{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
    // An open that finds the file already there leaves ERROR_ALREADY_EXISTS
    // behind: only the handle tells success.
    const auto opened = GuardedSystemCall([&] {
      return CreateFileW(name.c_str(), DesiredAccess(access), ShareMode(sharing), &inheritable,
                         OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    });
    return FromHandle(opened.value);
  }

  bool IsDiskFile(SystemHandle file) override {
    return GuardedSystemCall([&] { return GetFileType(AsHandle(file)); }).value == FILE_TYPE_DISK;
  }

  bool SeekToStart(SystemHandle file) override {
    return !GuardedSystemCall([&] {
              return SetFilePointer(AsHandle(file), 0, nullptr, FILE_BEGIN);
            }).failed;
  }

  std::optional<std::uint64_t> FileSize(SystemHandle file) override {
    DWORD high = 0;
    const auto low = GuardedSystemCall([&] { return GetFileSize(AsHandle(file), &high); });
    if (low.failed) {
      return std::nullopt;
    }
    return (std::uint64_t{high} << 32) | low.value;
  }

  std::optional<std::uint32_t> Read(SystemHandle file, void* buffer, std::uint32_t count) override {
    DWORD arrived = 0;
    const auto read = GuardedSystemCall(
        [&] { return ReadFile(AsHandle(file), buffer, count, &arrived, nullptr); });
    if (read.failed || !read.value) {
      return std::nullopt;
    }
    return arrived;
  }

  std::optional<std::uint32_t> Write(SystemHandle file, const void* data,
                                     std::uint32_t count) override {
    DWORD written = 0;
    const auto write = GuardedSystemCall(
        [&] { return WriteFile(AsHandle(file), data, count, &written, nullptr); });
    if (write.failed || !write.value) {
      return std::nullopt;
    }
    return written;
  }

  bool SetEnd(SystemHandle file) override {
    const auto set = GuardedSystemCall([&] { return SetEndOfFile(AsHandle(file)); });
    return !set.failed && set.value;
  }

  bool Close(SystemHandle file) override {
    const auto closed = GuardedSystemCall([&] { return CloseHandle(AsHandle(file)); });
    return !closed.failed && closed.value;
  }

  SystemHandle FindFirst(const std::string& path, FindRecord& record) override {
    const std::wstring name = WidePath(path, kFindPathLimit);
    return FromHandle(
        GuardedSystemCall([&] { return FindFirstFileW(name.c_str(), &record); }).value);
  }

  bool FindNext(SystemHandle search, FindRecord& record) override {
    return GuardedSystemCall([&] { return FindNextFileW(AsHandle(search), &record); }).value;
  }

  bool CloseSearch(SystemHandle search) override {
    return GuardedSystemCall([&] { return FindClose(AsHandle(search)); }).value;
  }

  void OpenWithShell(const std::string& name) override {
    ShellExecuteA(nullptr, "open", name.c_str(), nullptr, nullptr, SW_SHOWNORMAL);
  }
};

}  // namespace

System& HostSystem() {
  static Win32System system;
  return system;
}

}  // namespace sealmark
