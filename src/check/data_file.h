#pragma once

#include <string>

#include "frame/find_record.h"
#include "frame/system.h"

namespace sealmark {

// The whole content of the file at `path`, exactly as stored. Opens for
// reading and writing, else for reading alone, creating a missing file empty
// where its folder allows; nothing is ever written to it. Whatever cannot be
// read gives the empty buffer: an empty path or one with a wildcard, a file
// that cannot be opened, a read that fails, a size that one read cannot take
// or a buffer that cannot be had. A short read keeps the bytes that arrived.
Bytes ReadWholeFile(System& system, const std::string& path);

// Fills `record` with the directory entry that `path` names, or with zeros
// when there is none or it is hidden, a system file, a folder, "." or "..".
// The search stays open in `openSearch` until the next lookup closes it.
void LookUpFile(System& system, SystemHandle& openSearch, const std::string& path,
                FindRecord& record);

// Closes the search that the last lookup left open, if any.
void CloseOpenSearch(System& system, SystemHandle& openSearch);

}  // namespace sealmark
