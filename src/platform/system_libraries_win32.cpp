#include "platform/system_libraries_win32.h"

namespace sealmark {

namespace {

FARPROC KernelEntry(const char* name) {
  return GetProcAddress(GetModuleHandleA("kernel32.dll"), name);
}

// Constant-initialised, so that it is set before the C runtime starts.
KernelLookup gKernelLookup = KernelEntry;

}  // namespace

KernelLookup SetKernelLookup(KernelLookup lookup) {
  const KernelLookup previous = gKernelLookup;
  gKernelLookup = lookup;
  return previous;
}

FARPROC LookUpKernelEntry(const char* name) {
  return gKernelLookup(name);
}

void RestrictLibrarySearch() {
  const auto setDefaultDllDirectories =
      KernelEntryPoint<decltype(&SetDefaultDllDirectories)>("SetDefaultDllDirectories");
  if (setDefaultDllDirectories != nullptr) {
    setDefaultDllDirectories(LOAD_LIBRARY_SEARCH_SYSTEM32);
    return;
  }
  const auto setDllDirectory = KernelEntryPoint<decltype(&SetDllDirectoryW)>("SetDllDirectoryW");
  if (setDllDirectory != nullptr) {
    setDllDirectory(L"");
  }
}

// Runs before the C runtime has started, so it keeps to kernel32.
HMODULE LoadSystemLibrary(const char* name) {
  char path[MAX_PATH];
  const UINT folder = GetSystemDirectoryA(path, MAX_PATH);
  if (folder == 0 || folder + 1 + static_cast<UINT>(lstrlenA(name)) >= MAX_PATH) {
    return nullptr;
  }
  lstrcpyA(path + folder, "\\");
  lstrcpyA(path + folder + 1, name);
  return LoadLibraryA(path);
}

}  // namespace sealmark
