#pragma once

#include <filesystem>
#include <string>

#include "support/crc_forge.h"

namespace sealmark::test {

// kFull: each file of its own size, from 4 bytes to a little over 4 MiB,
// about 40 MiB in all. kFourBytes: each file only the four bytes that give
// its checksum.
enum class SampleSizes { kFull, kFourBytes };

// The bytes of an intact copy of manifest entry `index`: deterministic,
// holding 0x00, 0x1A, CR and LF among the rest when there is room, and
// ending in the four bytes that give the manifest's checksum.
Bytes SampleContent(int index, SampleSizes sizes = SampleSizes::kFull);

// Where entry `index` lies below the install folder `root`: root/Data/...
std::filesystem::path SamplePath(const std::filesystem::path& root, int index);

// Makes root/Data with every manifest file intact. `root` itself is created
// when missing, but not its parents. Returns the empty text on success,
// otherwise what went wrong.
std::string LayOutSampleInstall(const std::filesystem::path& root,
                                SampleSizes sizes = SampleSizes::kFull);

// Makes entry `index` below the install folder `root` an intact file of
// `size` bytes, of which only the last four are written (a sparse file);
// false when it cannot.
bool MakeSparseSample(const std::filesystem::path& root, int index, std::uint64_t size);

}  // namespace sealmark::test
