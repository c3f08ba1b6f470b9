#include "host/os_text.h"

namespace sealmark {

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
  return {name,        kVersionPiece,     DecimalText(major), kMinorPiece, DecimalText(minor),
          kBuildPiece, DecimalText(build)};
}

// Windows is named by its numbers; another system by its own name.
OsText OperatingSystemText(System& system) {
  const OsVersion version = system.Version();
  const std::string_view name = version.name.empty() ? VersionName(version.major, version.minor)
                                                     : std::string_view(version.name);
  return JoinOperatingSystemText(name, version.major, version.minor, version.build);
}

}  // namespace sealmark
