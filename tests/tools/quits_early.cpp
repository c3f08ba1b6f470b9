// quits_early: stands in for a test program of the test kit in the kit's
// own test. It prints the short date format as it finds it, sets another
// as a test would, and ends without putting the format back, without a
// summary or with the one in QUITS_EARLY_SUMMARY, with the report in
// QUITS_EARLY_REPORT written where --gtest_output=xml: names it or none,
// and with the exit code in QUITS_EARLY_EXIT (0 without it). Before that,
// as a test that has Wine report another Windows to a program, it sets the
// version of os_text_probe.exe and removes it, the user's own with it.
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/windows_api.h"
#include "support/platform.h"

int main(int argc, char** argv) {
  wchar_t format[100] = {};
  GetLocaleInfoW(LOCALE_USER_DEFAULT, LOCALE_SSHORTDATE, format, 100);
  std::printf("short date format: %ls\n", format);
  if (const char* summary = std::getenv("QUITS_EARLY_SUMMARY")) {
    std::printf("%s\n", summary);
  }
  std::fflush(stdout);
  const char* report = std::getenv("QUITS_EARLY_REPORT");
  for (int at = 1; report != nullptr && at < argc; ++at) {
    if (std::strncmp(argv[at], "--gtest_output=xml:", 19) == 0) {
      if (std::FILE* file = std::fopen(argv[at] + 19, "w")) {
        std::fputs(report, file);
        std::fclose(file);
      }
    }
  }
  {
    const sealmark::test::RegistryValue version(sealmark::test::WineProgramKey("os_text_probe.exe"),
                                                "Version", "win2k");
  }
  const sealmark::test::ShortDateFormat changed("yyyy'-quit early'");
  const char* code = std::getenv("QUITS_EARLY_EXIT");
  ExitProcess(code == nullptr ? 0 : std::atoi(code));
}
