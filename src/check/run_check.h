#pragma once

#include "check/data_file.h"
#include "platform/system.h"

namespace sealmark {

// Checks every data file of the manifest below "Data\" in the current
// folder, writes the report FileCheck.TXT there, or in the user's folder
// for temporary files where it cannot be written there or the shell could
// not open it there, and asks the shell to open the report that it wrote. A
// data file that cannot be read is reported like any other, and no failure
// stops the run or shows a message; the result is always 0. The last
// lookup's directory search is left open in `lookup`.
int RunCheck(System& system, FileLookup& lookup);

// Makes the program's own folder the current one where the current folder
// holds no data set and that folder does, so that a program started from
// elsewhere (a shortcut's other folder, a prompt, a scheduled task) checks
// the data set beside it, as when it is started there.
void EnterTheDataSetsFolder(System& system);

}  // namespace sealmark
