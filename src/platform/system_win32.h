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

// `path`, in the current folder `current`, at `form` in the form that is
// passed to the system: as it is where the two joined stay shorter than
// MAX_PATH, else the whole path in the \\?\ form (\\?\UNC\ on a share).
// `form` has room for `room` units and a NUL; the units it takes, 0 with
// the empty path where they do not fit.
std::size_t SystemPathForm(std::wstring_view current, std::wstring_view path, wchar_t* form,
                           std::size_t room);

}  // namespace sealmark
