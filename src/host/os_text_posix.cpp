#include <sys/utsname.h>

#include <cstdlib>

#include "host/os_text.h"

namespace sealmark {

namespace {

// Takes the leading decimal number off `text` and the one separator after
// it; 0 when there is no number.
std::uint32_t TakeNumber(const char*& text) {
  char* end = nullptr;
  const unsigned long number = std::strtoul(text, &end, 10);
  if (end == text) {
    return 0;
  }
  text = *end != '\0' ? end + 1 : end;
  return static_cast<std::uint32_t>(number);
}

}  // namespace

// The kernel's name and its release "major.minor.patch...", the patch level
// standing in for the build number.
std::string OperatingSystemText() {
  struct utsname system {};
  if (uname(&system) != 0) {
    return JoinOperatingSystemText("", 0, 0, 0);
  }
  const char* release = system.release;
  const std::uint32_t major = TakeNumber(release);
  const std::uint32_t minor = TakeNumber(release);
  const std::uint32_t build = TakeNumber(release);
  return JoinOperatingSystemText(system.sysname, major, minor, build);
}

}  // namespace sealmark
