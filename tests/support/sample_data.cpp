#include "support/sample_data.h"

#include <zlib.h>

#include <cstdint>
#include <fstream>
#include <system_error>

#include "check/manifest.h"
#include "support/platform.h"

namespace sealmark::test {

namespace {

std::uint64_t SplitMix64(std::uint64_t& state) {
  std::uint64_t z = (state += 0x9E3779B97F4A7C15u);
  z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9u;
  z = (z ^ (z >> 27)) * 0x94D049BB133111EBu;
  return z ^ (z >> 31);
}

// In full size, entry 1 is the bare four-byte patch, the last entry a little
// over 4 MiB, the others spread below 2 MiB: about 40 MiB in all.
std::size_t SampleSize(int index, SampleSizes sizes) {
  if (index == 1 || sizes == SampleSizes::kFourBytes) {
    return 4;
  }
  if (index == kManifestCount) {
    return 4 * 1024 * 1024 + 3;
  }
  std::uint64_t state = static_cast<std::uint64_t>(index) * 7919u;
  return 4 + static_cast<std::size_t>(SplitMix64(state) % (2000u * 1024u));
}

std::uint32_t ParseHex(std::string_view text) {
  return static_cast<std::uint32_t>(std::stoul(std::string(text), nullptr, 16));
}

std::string Describe(const std::filesystem::path& path, const std::error_code& error) {
  return "cannot write " + path.string() + ": " + error.message();
}

}  // namespace

Bytes SampleContent(int index, SampleSizes sizes) {
  static constexpr unsigned char kAwkwardBytes[] = {0x00, 0x1A, '\r', '\n', '\r', '\r',
                                                    '\n', 0x1A, 0x00, 0xFF, '\n', '\r'};
  const std::size_t body = SampleSize(index, sizes) - 4;
  Bytes content;
  content.reserve(body + 4);
  for (std::size_t i = 0; i < body && i < sizeof kAwkwardBytes; ++i) {
    content.push_back(kAwkwardBytes[i]);
  }
  std::uint64_t state = static_cast<std::uint64_t>(index);
  while (content.size() < body) {
    const std::uint64_t word = SplitMix64(state);
    for (int shift = 0; shift < 64 && content.size() < body; shift += 8) {
      content.push_back(static_cast<unsigned char>(word >> shift));
    }
  }
  const Bytes patch = CrcPatch(static_cast<std::uint32_t>(crc32_z(0, content.data(), body)),
                               ParseHex(ExpectedText(index)));
  content.insert(content.end(), patch.begin(), patch.end());
  return content;
}

std::filesystem::path SamplePath(const std::filesystem::path& root, int index) {
  std::filesystem::path path = root / "Data";
  std::string_view name = ManifestName(index);
  for (std::size_t slash; (slash = name.find('\\')) != std::string_view::npos;) {
    path /= std::string(name.substr(0, slash));
    name.remove_prefix(slash + 1);
  }
  return path / std::string(name);
}

std::string LayOutSampleInstall(const std::filesystem::path& root, SampleSizes sizes) {
  std::error_code error;
  std::filesystem::create_directory(root, error);
  if (error) {
    return Describe(root, error);
  }
  for (int index = 1; index <= kManifestCount; ++index) {
    const std::filesystem::path path = SamplePath(root, index);
    std::filesystem::create_directories(path.parent_path(), error);
    if (error) {
      return Describe(path.parent_path(), error);
    }
    const Bytes content = SampleContent(index, sizes);
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    file.write(reinterpret_cast<const char*>(content.data()),
               static_cast<std::streamsize>(content.size()));
    file.close();
    if (!file) {
      return "cannot write " + path.string();
    }
  }
  return {};
}

bool MakeSparseSample(const std::filesystem::path& root, int index, std::uint64_t size) {
  const std::filesystem::path path = SamplePath(root, index);
  if (!MakeSparseFile(path, size - 4)) {
    return false;
  }
  const Bytes patch = CrcPatch(CrcOfZeros(size - 4), ParseHex(ExpectedText(index)));
  std::ofstream file(path, std::ios::binary | std::ios::app);
  file.write(reinterpret_cast<const char*>(patch.data()), 4);
  file.close();
  return static_cast<bool>(file);
}

}  // namespace sealmark::test
