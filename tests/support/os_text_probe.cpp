// os_text_probe FILE: writes to FILE the operating-system text, and on a
// second line the numbers that the first version query reported.
#include <cstdio>
#include <cstring>

#include "frame/windows_api.h"
#include "host/os_text.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    return 2;
  }
  OSVERSIONINFOEXW first;
  std::memset(&first, 0, sizeof first);
  first.dwOSVersionInfoSize = sizeof first;
  GetVersionExW(reinterpret_cast<OSVERSIONINFOW*>(&first));

  std::FILE* file = std::fopen(argv[1], "wb");
  if (file == nullptr) {
    return 1;
  }
  std::fprintf(file, "%s\n%lu.%lu\n", sealmark::OperatingSystemText().c_str(), first.dwMajorVersion,
               first.dwMinorVersion);
  return std::fclose(file) == 0 ? 0 : 1;
}
