// update-manifest [--write] INSTALL SOURCE: compares the data set of the
// viewer's install INSTALL (the folder that holds Data) with the manifest
// that this program was built with, from the checkout SOURCE, and with
// --write takes the changed checksums into SOURCE. scripts/update-manifest
// builds it from the checkout and runs it.
//
// Each file is found as Windows finds it, whatever the case of its name,
// and read whole, as stored, into the project's own Crc32. Prints a line
// for each manifest entry in order: same, changed (with the old and the new
// text), missing, unreadable (with the reason) or ambiguous (more than one
// file answers to it); then the files below Data that it does not name
// (extra), the names that differ only in case within a folder, and the
// count of each kind. Exits with 0 where every entry was read and no names
// collide, 1 otherwise, 2 on a wrong call.
//
// --write rewrites only the expected texts that changed in
// src/check/manifest.h and the digest of the whole list in
// tests/unit/manifest_test.cpp, each file replaced whole by a new one, and
// only where every entry was read and no names collide. The names, their
// order and their count are the program's own and never change.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "check/crc32.h"
#include "check/data_file.h"
#include "check/manifest.h"

namespace {

namespace fs = std::filesystem;
using sealmark::kManifest;
using sealmark::ManifestEntry;

// A file or folder below INSTALL: its name as spelled there, relative to
// INSTALL and "\" separated, as the report names data files.
struct Found {
  std::string name;
  fs::path path;
  fs::file_type type;  // through a link; not_found for a link that leads nowhere
};

// The key under which Windows takes a name: the same whatever the case of
// its ASCII letters.
std::string CaseKey(std::string_view name) {
  std::string key(name);
  std::transform(key.begin(), key.end(), key.begin(),
                 [](char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 32) : c; });
  return key;
}

// The name of a manifest entry relative to INSTALL, as the report names it.
std::string PathOf(const ManifestEntry& entry) {
  return std::string(sealmark::kDataFolder) + "\\" + std::string(entry.name);
}

// Whether the folder `name` is Data or a folder of it that holds manifest
// entries, whatever the case.
bool HoldsEntries(const std::string& name) {
  const std::string folder = CaseKey(name) + "\\";
  return std::any_of(std::begin(kManifest), std::end(kManifest), [&](const ManifestEntry& entry) {
    return CaseKey(PathOf(entry)).rfind(folder, 0) == 0;
  });
}

// A name as printed: a control character as "?", as ls shows it, so that
// no file name can make a line of its own.
std::string Shown(std::string name) {
  std::replace_if(
      name.begin(), name.end(),
      [](char c) { return static_cast<unsigned char>(c) < 0x20 || c == 0x7F; }, '?');
  return name;
}

// What lies below the install's Data folder, each folder gone through once.
// A link to a folder is gone through where the manifest's entries lie below
// it, as Windows goes through it to them, and otherwise listed alone, so
// that a link to / is not taken for part of the data set. Names in one
// folder that differ only in case go to `collisions`.
class Install {
 public:
  explicit Install(const fs::path& root) {
    std::set<std::pair<dev_t, ino_t>> seen;
    List(root, "", seen, /*dataOnly=*/true);
    std::sort(found_.begin(), found_.end(),
              [](const Found& a, const Found& b) { return a.name < b.name; });
    std::sort(collisions_.begin(), collisions_.end());
  }

  const std::vector<Found>& found() const { return found_; }
  const std::vector<std::string>& collisions() const { return collisions_; }

  // Whether Data is there, as a folder or a link to one.
  bool HoldsData() const {
    return std::any_of(found_.begin(), found_.end(), [](const Found& file) {
      return file.name.find('\\') == std::string::npos && file.type == fs::file_type::directory;
    });
  }

  // Why the folder of the file `name` could not be listed; empty where it was.
  std::string WhyUnlisted(const std::string& name) const {
    for (const auto& [folder, reason] : unlisted_) {
      if (CaseKey(name).rfind(CaseKey(folder) + "\\", 0) == 0) {
        return "its folder " + Shown(folder) + " cannot be listed: " + reason;
      }
    }
    return {};
  }

 private:
  void List(const fs::path& folder, const std::string& name,
            std::set<std::pair<dev_t, ino_t>>& seen, bool dataOnly) {
    struct stat facts;
    if (stat(folder.c_str(), &facts) != 0 || !seen.insert({facts.st_dev, facts.st_ino}).second) {
      return;
    }
    std::error_code error;
    std::map<std::string, std::string> byKey;
    for (fs::directory_iterator entries(folder, error); !error && entries != fs::end(entries);
         entries.increment(error)) {
      const fs::directory_entry& entry = *entries;
      const std::string own = entry.path().filename().string();
      if (dataOnly && CaseKey(own) != CaseKey(sealmark::kDataFolder)) {
        continue;
      }
      const std::string whole = name.empty() ? own : name + "\\" + own;
      const auto [first, isNew] = byKey.emplace(CaseKey(own), whole);
      if (!isNew) {
        collisions_.push_back(Shown(first->second) + " and " + Shown(whole));
      }
      std::error_code unknown;
      const fs::file_type type = entry.status(unknown).type();
      found_.push_back({whole, entry.path(), type});
      if (type == fs::file_type::directory && (!entry.is_symlink(unknown) || HoldsEntries(whole))) {
        List(entry.path(), whole, seen, false);
      }
    }
    if (error) {
      unlisted_.emplace_back(name, error.message());
    }
  }

  std::vector<Found> found_;
  std::vector<std::string> collisions_;
  std::vector<std::pair<std::string, std::string>> unlisted_;  // folder, reason
};

// The CRC-32 of the file's bytes, read in pieces of at most the size that
// the check reads in one; none, with the reason, where it cannot be read.
std::optional<std::uint32_t> ChecksumOf(const Found& file, std::string& problem) {
  if (file.type == fs::file_type::not_found) {
    problem = "a link that leads nowhere";
    return std::nullopt;
  }
  if (file.type == fs::file_type::directory) {
    problem = "a folder";
    return std::nullopt;
  }
  if (file.type != fs::file_type::regular) {
    problem = "not a regular file";
    return std::nullopt;
  }
  const int descriptor = open(file.path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (descriptor < 0) {
    problem = std::strerror(errno);
    return std::nullopt;
  }
  std::vector<unsigned char> piece(sealmark::kWholeReadLimit);
  std::uint32_t checksum = 0;
  ssize_t arrived = 0;
  while ((arrived = read(descriptor, piece.data(), piece.size())) > 0) {
    checksum = sealmark::Crc32(piece.data(), static_cast<std::size_t>(arrived), checksum);
  }
  if (arrived < 0) {
    problem = std::strerror(errno);
  }
  close(descriptor);
  return arrived < 0 ? std::nullopt : std::optional<std::uint32_t>(checksum);
}

std::string HexText(std::uint32_t value) {
  char text[9];
  std::snprintf(text, sizeof text, "%08X", value);
  return text;
}

// The digest that the manifest's test holds of the whole list: the CRC-32
// of each entry's name, a blank, its expected text and a line feed.
std::uint32_t DigestOf(const std::vector<std::string>& expected) {
  std::string entries;
  for (std::size_t index = 0; index < expected.size(); ++index) {
    entries += std::string(kManifest[index].name) + " " + expected[index] + "\n";
  }
  return sealmark::Crc32(entries.data(), entries.size());
}

std::optional<std::string> ReadText(const fs::path& path) {
  std::ifstream file(path, std::ios::binary);
  std::string text{std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
  return file.bad() || !file.is_open() ? std::nullopt : std::optional<std::string>(text);
}

// Replaces `path` with a file that holds `text`, by a rename, so that the
// path holds either the old or the new text whatever befalls the write.
bool ReplaceFile(const fs::path& path, const std::string& text) {
  const fs::path next = path.string() + ".update-manifest";
  {
    std::ofstream file(next, std::ios::binary | std::ios::trunc);
    file << text;
    if (!file.flush()) {
      return false;
    }
  }
  const int descriptor = open(next.c_str(), O_RDONLY | O_CLOEXEC);
  const bool synced = descriptor >= 0 && fsync(descriptor) == 0;
  if (descriptor >= 0) {
    close(descriptor);
  }
  std::error_code error;
  fs::rename(next, path, error);
  return synced && !error;
}

// The one place of `old` in `text` after `from`, replaced by `now`; false
// where it is not there once.
bool ReplaceOnce(std::string& text, const std::string& old, const std::string& now,
                 std::size_t from = 0) {
  const std::size_t at = text.find(old, from);
  if (at == std::string::npos || text.find(old, at + 1) != std::string::npos) {
    return false;
  }
  text.replace(at, old.size(), now);
  return true;
}

// The entry as manifest.h spells it: {"GRD_Volume\\Adult_Soil_00.DAT", "B18B7651"}.
std::string SourceLine(std::string_view name, std::string_view expected) {
  std::string escaped;
  for (const char c : name) {
    escaped += c == '\\' ? std::string("\\\\") : std::string(1, c);
  }
  return "{\"" + escaped + "\", \"" + std::string(expected) + "\"}";
}

// Takes the new texts into SOURCE's manifest and the digest into its test.
int Rewrite(const fs::path& source, const std::vector<std::string>& expected) {
  const fs::path manifestFile = source / "src/check/manifest.h";
  const fs::path testFile = source / "tests/unit/manifest_test.cpp";
  std::optional<std::string> manifest = ReadText(manifestFile);
  std::optional<std::string> test = ReadText(testFile);
  if (!manifest || !test) {
    std::printf("Nothing rewritten: %s or %s cannot be read.\n", manifestFile.c_str(),
                testFile.c_str());
    return 1;
  }
  const std::string oldManifest = *manifest;
  for (std::size_t index = 0; index < expected.size(); ++index) {
    const ManifestEntry& entry = kManifest[index];
    if (expected[index] != entry.expected &&
        !ReplaceOnce(*manifest, SourceLine(entry.name, entry.expected),
                     SourceLine(entry.name, expected[index]))) {
      std::printf("Nothing rewritten: %s does not hold %s once, as this program was built.\n",
                  manifestFile.c_str(), SourceLine(entry.name, entry.expected).c_str());
      return 1;
    }
  }
  // The digest is the test's one hexadecimal constant after its name.
  const std::size_t digestAt = test->find("0x", test->find("MatchesTheDataSetsListAsAWhole"));
  if (digestAt == std::string::npos || test->compare(digestAt + 10, 1, "u") != 0) {
    std::printf(
        "Nothing rewritten: %s holds no digest where MatchesTheDataSetsListAsAWhole has it.\n",
        testFile.c_str());
    return 1;
  }
  const std::string oldTest = *test;
  test->replace(digestAt + 2, 8, HexText(DigestOf(expected)));
  if (*manifest == oldManifest && *test == oldTest) {
    std::printf("Nothing rewritten: the manifest already holds what the install holds.\n");
    return 0;
  }
  if ((*manifest != oldManifest && !ReplaceFile(manifestFile, *manifest)) ||
      (*test != oldTest && !ReplaceFile(testFile, *test))) {
    std::printf("The rewrite failed: see git diff, and run again.\n");
    return 1;
  }
  std::printf(
      "Rewrote the changed expected texts in src/check/manifest.h and the digest in "
      "tests/unit/manifest_test.cpp.\n"
      "Next: git diff to see them; scripts/test.sh to rebuild and run every test; commit; "
      "then scripts/package.sh to make a release.\n");
  return 0;
}

struct Counts {
  int same = 0, changed = 0, missing = 0, unreadable = 0, ambiguous = 0, otherCase = 0;
};

// Prints the line of the manifest entry `entry` and counts it; its expected
// text as the install has it, where it was read.
std::string CompareEntry(const Install& install, const ManifestEntry& entry, Counts& counts) {
  const std::string name = PathOf(entry);
  const std::string expected(entry.expected);
  std::vector<const Found*> matches;
  for (const Found& file : install.found()) {
    if (CaseKey(file.name) == CaseKey(name)) {
      matches.push_back(&file);
    }
  }
  if (matches.size() > 1) {
    ++counts.ambiguous;
    std::printf("ambiguous  %s: more than one file answers to it (below)\n", name.c_str());
    return expected;
  }
  if (matches.empty()) {
    const std::string why = install.WhyUnlisted(name);
    if (why.empty()) {
      ++counts.missing;
      std::printf("missing    %s\n", name.c_str());
    } else {
      ++counts.unreadable;
      std::printf("unreadable %s: %s\n", name.c_str(), why.c_str());
    }
    return expected;
  }
  const Found& file = *matches.front();
  const std::string spelled = file.name == name ? "" : " (found as " + Shown(file.name) + ")";
  counts.otherCase += spelled.empty() ? 0 : 1;
  std::string problem;
  const std::optional<std::uint32_t> checksum = ChecksumOf(file, problem);
  if (!checksum) {
    ++counts.unreadable;
    std::printf("unreadable %s%s: %s\n", name.c_str(), spelled.c_str(), problem.c_str());
    return expected;
  }
  const std::string found = HexText(*checksum);
  if (found == expected) {
    ++counts.same;
    std::printf("same       %s%s\n", name.c_str(), spelled.c_str());
  } else {
    ++counts.changed;
    std::printf("changed    %s%s: %s -> %s\n", name.c_str(), spelled.c_str(), expected.c_str(),
                found.c_str());
  }
  return found;
}

// Prints the files below Data that the manifest does not name; how many.
int ListExtraFiles(const Install& install) {
  std::set<std::string> named;
  for (const ManifestEntry& entry : kManifest) {
    named.insert(CaseKey(PathOf(entry)));
  }
  int extra = 0;
  for (const Found& file : install.found()) {
    if (file.type != fs::file_type::directory && named.count(CaseKey(file.name)) == 0) {
      ++extra;
      std::printf("extra      %s\n", Shown(file.name).c_str());
    }
  }
  return extra;
}

}  // namespace

int main(int argc, char** argv) {
  const bool write = argc == 4 && std::string(argv[1]) == "--write";
  if (argc != 3 + (write ? 1 : 0)) {
    std::fprintf(stderr, "usage: update-manifest [--write] INSTALL SOURCE\n");
    return 2;
  }
  const fs::path root = argv[argc - 2];
  const Install install(root);
  if (!install.HoldsData()) {
    std::printf("%s holds no folder %s: name the viewer's folder that holds it.\n", root.c_str(),
                std::string(sealmark::kDataFolder).c_str());
    return 1;
  }
  Counts counts;
  std::vector<std::string> expected;
  for (const ManifestEntry& entry : kManifest) {
    expected.push_back(CompareEntry(install, entry, counts));
  }
  const int extra = ListExtraFiles(install);
  for (const std::string& pair : install.collisions()) {
    std::printf("case       %s: names that differ only in case\n", pair.c_str());
  }
  std::printf(
      "%d same, %d changed, %d missing, %d unreadable, %d ambiguous; %d extra; %d found in other "
      "case; %zu names that differ only in case\n",
      counts.same, counts.changed, counts.missing, counts.unreadable, counts.ambiguous, extra,
      counts.otherCase, install.collisions().size());
  if (counts.missing + counts.unreadable + counts.ambiguous > 0 || !install.collisions().empty()) {
    if (write) {
      std::printf(
          "Nothing rewritten: every entry must be read, and no two names may differ only in "
          "case.\n");
    }
    return 1;
  }
  return write ? Rewrite(argv[argc - 1], expected) : 0;
}
