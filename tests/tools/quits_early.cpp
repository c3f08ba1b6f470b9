// quits_early: stands in for a test program of the test kit in the kit's
// own test. It prints the short date format as it finds it, sets another
// as a test would, and ends without a summary and without putting the
// format back.
#include <cstdio>

#include "platform/windows_api.h"
#include "support/platform.h"

int main() {
  wchar_t format[100] = {};
  GetLocaleInfoW(LOCALE_USER_DEFAULT, LOCALE_SSHORTDATE, format, 100);
  std::printf("short date format: %ls\n", format);
  std::fflush(stdout);
  const sealmark::test::ShortDateFormat changed("yyyy'-quit early'");
  ExitProcess(0);
}
