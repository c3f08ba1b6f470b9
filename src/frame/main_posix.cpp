// The POSIX program: the same check, run from the folder that holds Data.
// Arguments have no effect and nothing is written to the terminal.
#include <clocale>

#include "check/run_check.h"

int main() {
  // The Date column takes the user's date format from LC_TIME.
  std::setlocale(LC_TIME, "");
  sealmark::System& system = sealmark::HostSystem();
  sealmark::FileLookup lookup(system);
  const int result = sealmark::RunCheck(system, lookup);
  lookup.Close();
  return result;
}
