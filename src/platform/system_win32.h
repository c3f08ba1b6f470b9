#pragma once

#include <cstddef>
#include <string_view>

#include "platform/system.h"
#include "platform/windows_api.h"

namespace sealmark {

// The flags and attributes of an open: normal attributes, a named pipe's
// server kept to identifying the program and, for an open that stops at a
// link, the flag that opens the link itself, where the system knows it.
DWORD FlagsAndAttributes(FileLinks links);

// `path` in `folder`, joined, at `form` in the form that is passed to the
// system: as it is where it stays shorter than MAX_PATH, else in the "\\?\"
// form ("\\?\UNC\" on a share). `form` has room for `room` units and a NUL;
// the units it takes, 0 with the empty path where they do not fit.
std::size_t WholePathForm(std::wstring_view folder, std::wstring_view path, wchar_t* form,
                          std::size_t room);

// `path`, in the current folder `current`, at `form` in the form that is
// passed to the system: as it is where the two joined stay shorter than
// MAX_PATH, else whole, as WholePathForm gives it.
std::size_t SystemPathForm(std::wstring_view current, std::wstring_view path, wchar_t* form,
                           std::size_t room);

// The folder of the program's file, whose path is `units` long at `file`,
// ending in "\" and ended with a NUL in place; empty where the path is not
// whole: from a drive ("C:\") or beginning "\\" (a share, "\\server\share",
// or the "\\?\" form). A drive or share in the \\?\ or \\.\ form
// ("\\?\C:\", "\\?\UNC\server\share") is given without it: the folder
// becomes the current one, whose path the shell resolves a report's name
// against and does not take in that form everywhere, and WholePathForm adds
// the prefix again where a path reaches MAX_PATH. Wine gives a program
// started from a share as "UNC\server\share\...", without the leading
// "\\"; that is mended.
std::wstring_view WholeProgramFolder(wchar_t* file, std::size_t units);

}  // namespace sealmark
