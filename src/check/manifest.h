#pragma once

#include <cstddef>
#include <iterator>
#include <string_view>

namespace sealmark {

// The folder of the data set, in the viewer's folder.
inline constexpr std::string_view kDataFolder = "Data";

// The viewer's data set: 43 files below "Data\", each with the checksum text
// of its intact copy, in the report's order.
struct ManifestEntry {
  std::string_view name;      // "\" separated, relative to "Data\"
  std::string_view expected;  // eight upper-case hexadecimal digits
};

inline constexpr ManifestEntry kManifest[] = {
    {"ExtDC.NDX", "C4256935"},
    {"GRD_Surface\\Newborn_GrdPl.DAT", "FDF80BF2"},
    {"Immersion\\Newborn_Imm.DAT", "8C54C2BC"},
    {"GRD_Volume\\Newborn_Soil_00.DAT", "9507E1D2"},
    {"GRD_Volume\\Newborn_Soil_01.DAT", "A8FFC9A9"},
    {"GRD_Volume\\Newborn_Soil_05.DAT", "C8DAD27B"},
    {"GRD_Volume\\Newborn_Soil_15.DAT", "EE92063E"},
    {"Submersion\\Newborn_Sub.DAT", "37047C3F"},
    {"GRD_Surface\\1-y-old_GrdPl.DAT", "4FDD7514"},
    {"Immersion\\1-y-old_Imm.DAT", "A5939777"},
    {"GRD_Volume\\1-y-old_Soil_00.DAT", "94A80A6E"},
    {"GRD_Volume\\1-y-old_Soil_01.DAT", "E194BECC"},
    {"GRD_Volume\\1-y-old_Soil_05.DAT", "B714AB43"},
    {"GRD_Volume\\1-y-old_Soil_15.DAT", "3CE28C38"},
    {"Submersion\\1-y-old_Sub.DAT", "93054B9C"},
    {"GRD_Surface\\5-y-old_GrdPl.DAT", "87B97FEF"},
    {"Immersion\\5-y-old_Imm.DAT", "A7DF8B14"},
    {"GRD_Volume\\5-y-old_Soil_00.DAT", "03E4DCB5"},
    {"GRD_Volume\\5-y-old_Soil_01.DAT", "9B974DD9"},
    {"GRD_Volume\\5-y-old_Soil_05.DAT", "D32BF04F"},
    {"GRD_Volume\\5-y-old_Soil_15.DAT", "FF095142"},
    {"Submersion\\5-y-old_Sub.DAT", "65F1FEC8"},
    {"GRD_Surface\\10-y-old_GrdPl.DAT", "17E452EA"},
    {"Immersion\\10-y-old_Imm.DAT", "140F32FC"},
    {"GRD_Volume\\10-y-old_Soil_00.DAT", "B2BB8B7D"},
    {"GRD_Volume\\10-y-old_Soil_01.DAT", "04D7A274"},
    {"GRD_Volume\\10-y-old_Soil_05.DAT", "31C7660F"},
    {"GRD_Volume\\10-y-old_Soil_15.DAT", "205DA3B3"},
    {"Submersion\\10-y-old_Sub.DAT", "D12C6C9D"},
    {"GRD_Surface\\15-y-old_GrdPl.DAT", "44B032F5"},
    {"Immersion\\15-y-old_Imm.DAT", "C9885F3F"},
    {"GRD_Volume\\15-y-old_Soil_00.DAT", "5AC49010"},
    {"GRD_Volume\\15-y-old_Soil_01.DAT", "8FAB4444"},
    {"GRD_Volume\\15-y-old_Soil_05.DAT", "B596EEEF"},
    {"GRD_Volume\\15-y-old_Soil_15.DAT", "E6518E5A"},
    {"Submersion\\15-y-old_Sub.DAT", "60418418"},
    {"GRD_Surface\\Adult_GrdPl.DAT", "FD7001F1"},
    {"Immersion\\Adult_Imm.DAT", "FBA96BC2"},
    {"GRD_Volume\\Adult_Soil_00.DAT", "B18B7651"},
    {"GRD_Volume\\Adult_Soil_01.DAT", "801B548A"},
    {"GRD_Volume\\Adult_Soil_05.DAT", "47982254"},
    {"GRD_Volume\\Adult_Soil_15.DAT", "5FEDF715"},
    {"Submersion\\Adult_Sub.DAT", "960F076C"},
};

// Entries are numbered 1 to kManifestCount.
inline constexpr int kManifestCount = static_cast<int>(std::size(kManifest));
static_assert(kManifestCount == 43);

constexpr std::size_t LongestManifestName() {
  std::size_t longest = 0;
  for (const ManifestEntry& entry : kManifest) {
    longest = entry.name.size() > longest ? entry.name.size() : longest;
  }
  return longest;
}

// The length of the longest name, which the report's name column must hold.
inline constexpr int kLongestName = static_cast<int>(LongestManifestName());

// The relative name of entry `index` below "Data\" ("\" separated); empty for
// an index outside 1 to kManifestCount.
std::string_view ManifestName(int index);

// The eight-digit upper-case checksum text of intact entry `index`; empty for
// an index outside 1 to kManifestCount.
std::string_view ExpectedText(int index);

}  // namespace sealmark
