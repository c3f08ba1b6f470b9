#pragma once

#include "check/data_file.h"
#include "platform/system.h"

namespace sealmark {

// Checks every data file of the manifest below "Data\" in the current
// folder, writes the report FileCheck.TXT there and asks the shell to open
// it. Every failure on the way becomes a line of the report; the result is
// always 0. The last lookup's directory search is left open in `lookup`.
int RunCheck(System& system, FileLookup& lookup);

}  // namespace sealmark
