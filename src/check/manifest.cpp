#include "check/manifest.h"

namespace sealmark {

namespace {

const ManifestEntry* EntryAt(int index) {
  if (index < 1 || index > kManifestCount) {
    return nullptr;
  }
  return &kManifest[index - 1];
}

}  // namespace

std::string_view ManifestName(int index) {
  const ManifestEntry* entry = EntryAt(index);
  return entry != nullptr ? entry->name : std::string_view();
}

std::string_view ExpectedText(int index) {
  const ManifestEntry* entry = EntryAt(index);
  return entry != nullptr ? entry->expected : std::string_view();
}

}  // namespace sealmark
