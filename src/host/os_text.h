#pragma once

#include <cstdint>
#include <string_view>

#include "platform/fixed_text.h"
#include "platform/system.h"

namespace sealmark {

// The operating-system text: a name and three numbers of up to ten digits
// each, with "; Version - ", "." and " Build Number - " between them.
using OsText = FixedText<OsName::kCapacity + 12 + 1 + 16 + 3 * 10>;

// The short name of the Windows version with these numbers ("Windows 7" for
// 6.1); the empty text for numbers that no known version has.
std::string_view VersionName(std::uint32_t major, std::uint32_t minor);

// "<name>; Version - <major>.<minor> Build Number - <build>", the numbers in
// full unsigned decimal; empty when the name is longer than an OsName.
OsText JoinOperatingSystemText(std::string_view name, std::uint32_t major, std::uint32_t minor,
                               std::uint32_t build);

// The description of the system the program runs on, as the report shows it.
OsText OperatingSystemText(System& system);

}  // namespace sealmark
