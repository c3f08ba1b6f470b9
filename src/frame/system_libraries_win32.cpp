#include "frame/system_libraries_win32.h"

#include <string>

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

HMODULE LoadSystemLibrary(const char* name) {
  char folder[MAX_PATH];
  const UINT length = GetSystemDirectoryA(folder, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) {
    return nullptr;
  }
  return LoadLibraryA((std::string(folder, length) + "\\" + name).c_str());
}

}  // namespace sealmark
