#pragma once

#include <cstdint>
#include <string>

#include "frame/system.h"

namespace sealmark {

// The short name of the Windows version with these numbers ("Windows 7" for
// 6.1); the empty text for numbers that no known version has.
std::string VersionName(std::uint32_t major, std::uint32_t minor);

// "<name>; Version - <major>.<minor> Build Number - <build>", the numbers in
// full unsigned decimal.
std::string JoinOperatingSystemText(const std::string& name, std::uint32_t major,
                                    std::uint32_t minor, std::uint32_t build);

// The description of the system the program runs on, as the report shows it.
std::string OperatingSystemText(System& system);

}  // namespace sealmark
