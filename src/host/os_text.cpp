#include "host/os_text.h"

#include <optional>

namespace sealmark {

namespace {

struct VersionRow {
  std::uint32_t major;
  std::optional<std::uint32_t> minor;  // nullopt: any minor number
  const char* name;
};

// Tested in order; the first match wins.
constexpr VersionRow kVersions[] = {
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

}  // namespace

std::string_view VersionName(std::uint32_t major, std::uint32_t minor) {
  for (const VersionRow& row : kVersions) {
    if (row.major == major && (!row.minor || *row.minor == minor)) {
      return row.name;
    }
  }
  return {};
}

OsText JoinOperatingSystemText(std::string_view name, std::uint32_t major, std::uint32_t minor,
                               std::uint32_t build) {
  return {name,
          "; Version - ",
          DecimalText(major),
          ".",
          DecimalText(minor),
          " Build Number - ",
          DecimalText(build)};
}

// Windows is named by its numbers; another system by its own name.
OsText OperatingSystemText(System& system) {
  const OsVersion version = system.Version();
  const std::string_view name = version.name.empty() ? VersionName(version.major, version.minor)
                                                     : std::string_view(version.name);
  return JoinOperatingSystemText(name, version.major, version.minor, version.build);
}

}  // namespace sealmark
