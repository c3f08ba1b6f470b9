#include "support/expected_report.h"

#include <algorithm>

#include "check/manifest.h"

namespace sealmark::test {

namespace {

std::string Blanks(std::size_t width, std::size_t used) {
  return std::string(width > used ? width - used : 0, ' ');
}

}  // namespace

std::string ExpectedReport(const std::string& runDate, const std::string& operatingSystem,
                           const std::vector<ExpectedEntry>& entries) {
  const std::string separator = " -------------------------------------------------------\r\n";
  std::string report = " CRC Check of Ombrex_Atlas Data Files    " + runDate + "\r\n" + " \r\n" +
                       " Operating System: " + operatingSystem + "\r\n" + " \r\n" +
                       " Data\\Folder\\File                     Date         Staus\r\n" + separator;
  int bad = 0;
  for (std::size_t i = 0; i < entries.size(); ++i) {
    const std::string name(ManifestName(static_cast<int>(i) + 1));
    const ExpectedEntry& entry = entries[i];
    if (entry.valid) {
      report += " " + name + Blanks(35, name.size()) + entry.text + Blanks(15, entry.text.size()) +
                "Valid\r\n";
    } else {
      report += " " + name + " may be corrupted; CRC was " + entry.text + "\r\n";
      ++bad;
    }
  }
  report += separator + "\r\n";
  if (bad == 0) {
    report += " The integrity of 43 data files confirmed.\r\n";
  } else {
    report += " Integrity issue with " + std::to_string(bad) + "  file(s).\r\n" +
              " Reinstall the software to resolve this issue.\r\n";
  }
  return report;
}

}  // namespace sealmark::test
