#pragma once

#include "platform/system.h"
#include "platform/windows_api.h"

namespace sealmark {

// The flags and attributes of an open: normal attributes, a named pipe's
// server kept to identifying the program and, for an open that stops at a
// link, the flag that opens the link itself, where the system knows it.
DWORD FlagsAndAttributes(FileLinks links);

}  // namespace sealmark
