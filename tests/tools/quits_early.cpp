// quits_early: stands in for a test program of the test kit in the kit's
// own test. It prints the short date format as it finds it, sets another
// as a test would, and ends without putting the format back, without a
// summary or with the one in QUITS_EARLY_SUMMARY, and without a report.
#include <cstdio>
#include <cstdlib>

#include "platform/windows_api.h"
#include "support/platform.h"

int main() {
  wchar_t format[100] = {};
  GetLocaleInfoW(LOCALE_USER_DEFAULT, LOCALE_SSHORTDATE, format, 100);
  std::printf("short date format: %ls\n", format);
  if (const char* summary = std::getenv("QUITS_EARLY_SUMMARY")) {
    std::printf("%s\n", summary);
  }
  std::fflush(stdout);
  const sealmark::test::ShortDateFormat changed("yyyy'-quit early'");
  ExitProcess(0);
}
