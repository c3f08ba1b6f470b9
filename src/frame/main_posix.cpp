// The POSIX program: the same check, run in the folder that holds Data.
// Arguments have no effect and nothing is written to the terminal.
#include <clocale>
#include <ctime>

#include "check/run_check.h"

int main() {
  sealmark::System& system = sealmark::HostSystem();
  sealmark::EnterTheDataSetsFolder(system);
  // The Date column takes the user's date format from LC_TIME. The C library
  // takes memory for the locale and for the time zone, which it keeps for
  // the process: both are loaded here, before the run.
  std::setlocale(LC_TIME, "");
  tzset();
  sealmark::FileLookup lookup(system);
  const int result = sealmark::RunCheck(system, lookup);
  lookup.Close();
  return result;
}
