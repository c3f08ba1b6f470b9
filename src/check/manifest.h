#pragma once

#include <string_view>

namespace sealmark {

// The viewer's data set: 43 files below "Data\", each with the checksum text
// of its intact copy. Entries are numbered 1 to kManifestCount; the order is
// the report's order.
inline constexpr int kManifestCount = 43;

// No name is longer: the report's columns are laid out for it.
inline constexpr int kLongestName = 35;

// The relative name of entry `index` below "Data\" ("\" separated); empty for
// an index outside 1 to kManifestCount.
std::string_view ManifestName(int index);

// The eight-digit upper-case checksum text of intact entry `index`; empty for
// an index outside 1 to kManifestCount.
std::string_view ExpectedText(int index);

}  // namespace sealmark
