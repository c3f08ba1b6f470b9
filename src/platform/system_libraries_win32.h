#pragma once

#include "platform/windows_api.h"

namespace sealmark {

// The program imports nothing but kernel32 and the C runtime, which Windows
// always takes from its own folder. Every other library is loaded here, at
// run time and by its full path in the system folder, so that a DLL planted
// beside the program under a system library's name is not loaded into it.

// Restricts the library search of the whole process, the libraries' own
// imports included, to the system folder where the system can (Windows 8
// on, and earlier ones with the update that adds it). Where it cannot but
// has SetDllDirectoryW (XP SP1 on), it takes the current folder out of the
// search, and the program's folder stays in it for the imports of the
// libraries loaded here. On NT 4.0, 2000 and XP before SP1 neither call
// exists, and nothing is taken out of the search.
void RestrictLibrarySearch();

// Loads the system library `name` ("shell32.dll") by its full path in the
// system folder, with the ANSI calls that every Windows has; nullptr when it
// cannot be had. It stays loaded; loading it again only counts.
HMODULE LoadSystemLibrary(const char* name);

// `entry` as a `Function` pointer, through the generic function pointer
// type, which converts to any other.
template <typename Function>
Function AsFunction(FARPROC entry) {
  using Generic = void (*)();
  return reinterpret_cast<Function>(reinterpret_cast<Generic>(entry));
}

// The entry point `name` of `library` as a `Function` pointer; nullptr when
// there is no library or no such entry.
template <typename Function>
Function EntryPoint(HMODULE library, const char* name) {
  return library == nullptr ? nullptr : AsFunction<Function>(GetProcAddress(library, name));
}

// How kernel32's entry points are found at run time: GetProcAddress on the
// kernel32 that every process has loaded, unless a test stands in the
// kernel32 of another Windows. Setting one returns the one it replaces.
using KernelLookup = FARPROC (*)(const char* name);
KernelLookup SetKernelLookup(KernelLookup lookup);
FARPROC LookUpKernelEntry(const char* name);

// The entry point `name` of kernel32; nullptr where this Windows does not
// have it.
template <typename Function>
Function KernelEntryPoint(const char* name) {
  return AsFunction<Function>(LookUpKernelEntry(name));
}

// Calls the entry point `name` of the system library `library` with
// `arguments`, loading the library for it; does nothing when the library or
// the entry point cannot be had.
template <typename Function, typename... Arguments>
void CallSystemEntry(const char* library, const char* name, Arguments... arguments) {
  const auto entry = EntryPoint<Function>(LoadSystemLibrary(library), name);
  if (entry != nullptr) {
    entry(arguments...);
  }
}

}  // namespace sealmark
