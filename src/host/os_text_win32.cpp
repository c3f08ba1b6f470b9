#include <cstring>

#include "frame/windows_api.h"
#include "host/os_text.h"

namespace sealmark {

namespace {

using RtlGetVersionEntry = LONG(WINAPI*)(OSVERSIONINFOEXW*);

// Systems from 6.3 on report 6.2 to a program without an application
// manifest; the kernel's own query tells the truth. The library and its
// entry point are checked before use: without them the first numbers stay.
void RefineWithKernelQuery(OSVERSIONINFOEXW& version) {
  const HMODULE library = LoadLibraryA("NtDll.dll");
  if (library == nullptr) {
    return;
  }
  const FARPROC entry = GetProcAddress(library, "RtlGetVersion");
  if (entry != nullptr) {
    RtlGetVersionEntry rtlGetVersion;
    static_assert(sizeof rtlGetVersion == sizeof entry);
    std::memcpy(&rtlGetVersion, &entry, sizeof entry);
    rtlGetVersion(&version);
  }
  FreeLibrary(library);
}

}  // namespace

std::string OperatingSystemText() {
  OSVERSIONINFOEXW version;
  std::memset(&version, 0, sizeof version);
  version.dwOSVersionInfoSize = sizeof version;
  static_assert(sizeof version == 284);
  GetVersionExW(reinterpret_cast<OSVERSIONINFOW*>(&version));
  if (version.dwMajorVersion == 6 && version.dwMinorVersion == 2) {
    RefineWithKernelQuery(version);
  }
  return JoinOperatingSystemText(VersionName(version.dwMajorVersion, version.dwMinorVersion),
                                 version.dwMajorVersion, version.dwMinorVersion,
                                 version.dwBuildNumber);
}

}  // namespace sealmark
