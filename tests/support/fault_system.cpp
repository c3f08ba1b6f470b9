#include "support/fault_system.h"

#include <algorithm>

#include "support/allocations.h"

namespace sealmark::test {

OpenedFile FaultSystem::OpenFile(Folder folder, std::string_view path, FileAccess access,
                                 FileSharing sharing, FileLinks links, FileCreation creation) {
  const OpenedFile opened = host_.OpenFile(folder, path, access, sharing, links, creation);
  if (Opened(opened.file, path) != FileHandle::kNone) {
    const UncountedAllocations uncounted;
    openedWith.push_back(access);
    openedHow.emplace_back(links, creation);
  }
  return opened;
}

FileHandle FaultSystem::Opened(FileHandle file, std::string_view path) {
  if (file != FileHandle::kNone) {
    const UncountedAllocations uncounted;
    openPaths_[file] = path;
  }
  return file;
}

bool FaultSystem::Close(FileHandle file) {
  ++closes;
  openPaths_.erase(file);
  return host_.Close(file);
}

std::optional<FileFacts> FaultSystem::FactsOf(FileHandle file) {
  auto facts = failFacts ? std::nullopt : host_.FactsOf(file);
  const auto path = openPaths_.find(file);
  const auto tag = path == openPaths_.end() ? reparseTags.end() : reparseTags.find(path->second);
  if (facts && tag != reparseTags.end()) {
    facts->attributes |= kAttributeReparsePoint;
    facts->reparseTag = tag->second;
  }
  return facts;
}

std::optional<std::uint32_t> FaultSystem::Read(FileHandle file, void* buffer, std::uint32_t count) {
  {
    const UncountedAllocations uncounted;
    readCounts.push_back(count);
  }
  if (failingReads.count(static_cast<int>(readCounts.size())) != 0) {
    return std::nullopt;
  }
  return host_.Read(file, buffer, readLimit ? std::min(count, *readLimit) : count);
}

std::optional<std::uint32_t> FaultSystem::Write(FileHandle file, const void* data,
                                                std::uint32_t count) {
  ++writes;
  if (failingWrites.count(writes) != 0 || (diskSpace && *diskSpace == 0)) {
    return std::nullopt;
  }
  if (diskSpace) {
    // A disk that fills up takes what still fits.
    count = static_cast<std::uint32_t>(std::min<std::uint64_t>(count, *diskSpace));
    *diskSpace -= count;
  }
  return host_.Write(file, data, count);
}

SearchHandle FaultSystem::FindFirst(std::string_view path, FindRecord& record) {
  const SearchHandle search = host_.FindFirst(path, record);
  if (search != SearchHandle::kNone) {
    const UncountedAllocations uncounted;
    openSearches.insert(search);
  }
  return search;
}

ShortDate FaultSystem::ShortDateText(const CalendarTime& date) {
  if (!monthDayYearDates) {
    return host_.ShortDateText(date);
  }
  return {DecimalText(date.month), "/", DecimalText(date.day), "/", DecimalText(date.year)};
}

std::unique_ptr<unsigned char[]> FaultSystem::ObtainMemory(std::size_t size) {
  {
    const UncountedAllocations uncounted;
    memoryRequests.push_back(size);
  }
  return largestMemory && size > *largestMemory ? nullptr : host_.ObtainMemory(size);
}

void FaultSystem::OpenWithShell(Folder folder, const char* name) {
  const UncountedAllocations uncounted;
  shellRequests.emplace_back(folder, name);
}

}  // namespace sealmark::test
