#pragma once

#include <filesystem>
#include <string>

#include "support/crc_forge.h"

namespace sealmark::test {

// The bytes of an intact copy of manifest entry `index`: deterministic, of the
// entry's own size (4 bytes up to 4 MiB), holding 0x00, 0x1A, CR and LF among
// the rest, and ending in the four bytes that give the manifest's checksum.
Bytes SampleContent(int index);

// Where entry `index` lies below the install folder `root`: root/Data/...
std::filesystem::path SamplePath(const std::filesystem::path& root, int index);

// Makes root/Data with every manifest file intact. `root` itself is created
// when missing, but not its parents. Returns the empty text on success,
// otherwise what went wrong.
std::string LayOutSampleInstall(const std::filesystem::path& root);

}  // namespace sealmark::test
