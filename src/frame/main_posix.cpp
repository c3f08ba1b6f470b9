// The POSIX program: the same check, run from the folder that holds Data.
// Arguments have no effect and nothing is written to the terminal.
#include <malloc.h>

#include <clocale>

#include "check/run_check.h"

int main() {
  // Data file buffers are mapped afresh and handed back when freed; left to
  // itself, glibc would keep freed buffers in its heap, and a larger file's
  // buffer would then sit beside a smaller one's.
  mallopt(M_MMAP_THRESHOLD, 128 * 1024);
  // The Date column takes the user's date format from LC_TIME.
  std::setlocale(LC_TIME, "");
  sealmark::System& system = sealmark::HostSystem();
  sealmark::FileLookup lookup(system);
  const int result = sealmark::RunCheck(system, lookup);
  lookup.Close();
  return result;
}
