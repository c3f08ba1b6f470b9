// os_text_probe: prints the operating-system text, and on a second line the
// numbers that the first version query reported.
#include <fcntl.h>
#include <io.h>

#include <cstdio>
#include <cstring>

#include "host/os_text.h"
#include "platform/windows_api.h"

int main() {
  OSVERSIONINFOEXW first;
  std::memset(&first, 0, sizeof first);
  first.dwOSVersionInfoSize = sizeof first;
  GetVersionExW(reinterpret_cast<OSVERSIONINFOW*>(&first));
  _setmode(_fileno(stdout), _O_BINARY);
  const sealmark::OsText text = sealmark::OperatingSystemText(sealmark::HostSystem());
  std::printf("%.*s\n%lu.%lu\n", static_cast<int>(text.size()), text.data(), first.dwMajorVersion,
              first.dwMinorVersion);
  return 0;
}
