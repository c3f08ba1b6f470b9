#pragma once

#include <cstdint>
#include <limits>
#include <optional>
#include <string_view>

#include "platform/fixed_text.h"
#include "platform/system.h"

namespace sealmark {

// The short names of the Windows versions, by their numbers; tested in order,
// the first match wins.
struct VersionRow {
  std::uint32_t major;
  std::optional<std::uint32_t> minor;  // nullopt: any minor number
  std::string_view name;
};
inline constexpr VersionRow kVersions[] = {
    {4, 0, "Windows 95"},
    {4, 10, "Windows 98"},
    {4, 90, "Windows ME"},
    {3, std::nullopt, "Windows NT"},
    {4, std::nullopt, "Windows NT"},
    {5, 0, "Windows 2K"},
    {5, 1, "Windows XP"},
    {5, 2, "Windows 2K3"},
    {6, 0, "Windows Vista"},
    {6, 1, "Windows 7"},
    {6, 2, "Windows 8.0"},
    {6, 3, "Windows 8.1"},
    {10, 0, "Windows 10"},
};

// The fixed pieces of the operating-system text, and the most digits that
// each of its three numbers can have.
inline constexpr std::string_view kVersionPiece = "; Version - ";
inline constexpr std::string_view kMinorPiece = ".";
inline constexpr std::string_view kBuildPiece = " Build Number - ";
inline constexpr std::size_t kNumberDigits = std::numeric_limits<std::uint32_t>::digits10 + 1;

// The longest name that the system can report: one of the table's, or what a
// system other than Windows calls itself.
constexpr std::size_t LongestSystemName() {
  std::size_t longest = OsName::kCapacity;
  for (const VersionRow& row : kVersions) {
    longest = row.name.size() > longest ? row.name.size() : longest;
  }
  return longest;
}

// The operating-system text: the longest name, the fixed pieces and three
// numbers of full width always fit.
using OsText = FixedText<LongestSystemName() + kVersionPiece.size() + kMinorPiece.size() +
                         kBuildPiece.size() + 3 * kNumberDigits>;

// The short name of the Windows version with these numbers ("Windows 7" for
// 6.1); the empty text for numbers that no known version has.
std::string_view VersionName(std::uint32_t major, std::uint32_t minor);

// "<name>; Version - <major>.<minor> Build Number - <build>", the numbers in
// full unsigned decimal. Empty when the whole would be longer than an OsText
// holds, which only a name longer than LongestSystemName() can make it.
OsText JoinOperatingSystemText(std::string_view name, std::uint32_t major, std::uint32_t minor,
                               std::uint32_t build);

// The description of the system the program runs on, as the report shows it.
OsText OperatingSystemText(System& system);

}  // namespace sealmark
