#include "platform/system_libraries_win32.h"

namespace sealmark {

void RestrictLibrarySearch() {
  const HMODULE kernel = GetModuleHandleA("kernel32.dll");
  const auto setDefaultDllDirectories =
      EntryPoint<decltype(&SetDefaultDllDirectories)>(kernel, "SetDefaultDllDirectories");
  if (setDefaultDllDirectories != nullptr) {
    setDefaultDllDirectories(LOAD_LIBRARY_SEARCH_SYSTEM32);
    return;
  }
  const auto setDllDirectory = EntryPoint<decltype(&SetDllDirectoryW)>(kernel, "SetDllDirectoryW");
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
