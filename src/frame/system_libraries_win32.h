#pragma once

#include <cstring>

#include "frame/windows_api.h"

namespace sealmark {

// The program imports nothing but kernel32 and the C runtime, which Windows
// always takes from its own folder. Every other library is loaded here, at
// run time and from the system folder only, so that a DLL planted beside the
// program under a system library's name is never loaded into it.

// Restricts the library search of the whole process to the system folder,
// where the system allows that; elsewhere it takes the current folder out
// of the search. The ANSI forms are used, which work on every Windows.
void RestrictLibrarySearch();

// Loads the system library `name` ("shell32.dll") by its full path in the
// system folder; nullptr when it cannot be had. It stays loaded.
HMODULE LoadSystemLibrary(const char* name);

// The entry point `name` of `library` as a `Function` pointer; nullptr when
// there is no library or no such entry.
template <typename Function>
Function EntryPoint(HMODULE library, const char* name) {
  Function entry = nullptr;
  if (library != nullptr) {
    const FARPROC found = GetProcAddress(library, name);
    static_assert(sizeof entry == sizeof found);
    std::memcpy(&entry, &found, sizeof entry);
  }
  return entry;
}

// Calls the entry point `name` of the system library `library` with
// `arguments`, the library loaded when first needed; does nothing when the
// library or the entry point cannot be had.
template <typename Function, typename... Arguments>
void CallSystemEntry(const char* library, const char* name, Arguments... arguments) {
  const auto entry = EntryPoint<Function>(LoadSystemLibrary(library), name);
  if (entry != nullptr) {
    entry(arguments...);
  }
}

}  // namespace sealmark
