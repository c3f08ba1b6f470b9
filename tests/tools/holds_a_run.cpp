// holds_a_run HELD STOP [event]: stands in for a run of the test kit in
// another session, in the kit's own test. It holds the mutex by which a
// user's runs go one at a time (with "event", an event of its name, which
// keeps the mutex from being made), makes the file HELD once it does, and
// lets go once the file STOP is there, or after ten minutes.
#include <cstdio>

#include "kit/one_run.h"

int main(int argc, char** argv) {
  const std::wstring name = sealmark::kit::OneRunPerUser();
  if (argc < 3 || argc > 4 ||
      (argc == 4 ? CreateEventW(nullptr, TRUE, FALSE, name.c_str())
                 : CreateMutexW(nullptr, FALSE, name.c_str())) == nullptr) {
    return 1;
  }
  std::fclose(std::fopen(argv[1], "w"));
  for (int wait = 0; wait < 6000 && GetFileAttributesA(argv[2]) == INVALID_FILE_ATTRIBUTES;
       ++wait) {
    Sleep(100);
  }
  return 0;
}
