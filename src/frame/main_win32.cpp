// The Windows program: a GUI-subsystem process with no window and no
// console. The C runtime's start-up takes the instance, command line and
// show command for WinMain; the check uses none of them, so arguments have
// no effect.
#include "platform/windows_api.h"
// <objbase.h> needs <windows.h> first.
#include <objbase.h>

#include "check/run_check.h"
#include "platform/system_libraries_win32.h"

// What runs before the C runtime's start-up, the process entry and the
// functions it calls, uses nothing of the C or C++ runtime: no library
// functions, no statics with guards, no exceptions, no floating point or
// vector code. It calls kernel32 through the import table, and binds
// anything else at run time. The platform check comes first, with
// GetVersionExA as the only call before it. A refused run then makes only
// the calls of its message box (GetSystemDirectoryA, lstrlenA, lstrcpyA,
// LoadLibraryA and GetProcAddress of kernel32, then MessageBoxA of user32)
// and ExitProcess. An accepted run restricts the library search
// (GetModuleHandleA, GetProcAddress, then SetDefaultDllDirectories or
// SetDllDirectoryW) and starts the runtime. Before the entry, the loader
// runs only the runtime's TLS callback, whose one call at process attach is
// InitializeCriticalSection.
namespace {

bool RunsOnTheNtPlatform() {
  OSVERSIONINFOA platform;
  static_assert(sizeof platform == 148);
  platform.dwOSVersionInfoSize = sizeof platform;
  platform.dwPlatformId = 0;
  GetVersionExA(&platform);
  return platform.dwPlatformId == VER_PLATFORM_WIN32_NT;
}

}  // namespace

// The C runtime's own start-up, which prepares the runtime and calls WinMain.
extern "C" int WinMainCRTStartup();

// The process entry. A refused run ends here, before the library search is
// restricted (no system outside the NT family can restrict it) and before
// the C runtime starts.
extern "C" int SealmarkEntry() {
  if (!RunsOnTheNtPlatform()) {
    sealmark::CallSystemEntry<decltype(&MessageBoxA)>("user32.dll", "MessageBoxA", nullptr,
                                                      "Win98 No Support", nullptr,
                                                      MB_OK | MB_TASKMODAL | MB_SETFOREGROUND);
    ExitProcess(255);
  }
  sealmark::RestrictLibrarySearch();
  return WinMainCRTStartup();
}

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  using sealmark::CallSystemEntry;
  sealmark::System& system = sealmark::HostSystem();
  sealmark::EnterTheDataSetsFolder(system);
  // The shell request at the end of the run may use COM; the run goes on
  // without it.
  CallSystemEntry<decltype(&CoInitialize)>("ole32.dll", "CoInitialize", nullptr);
  sealmark::FileLookup lookup(system);
  const int result = sealmark::RunCheck(system, lookup);
  lookup.Close();
  CallSystemEntry<decltype(&CoUninitialize)>("ole32.dll", "CoUninitialize");
  ExitProcess(static_cast<UINT>(result));
}
