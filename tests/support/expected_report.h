#pragma once

#include <string>
#include <vector>

namespace sealmark::test {

// What the report says of one manifest entry: the date text of a valid
// file, or the checksum text found for a bad one.
struct ExpectedEntry {
  bool valid;
  std::string text;
};

// The report, CR LF line ends included, written out from its layout.
std::string ExpectedReport(const std::string& runDate, const std::string& operatingSystem,
                           const std::vector<ExpectedEntry>& entries);

}  // namespace sealmark::test
