#include "support/fault_system.h"

#include <algorithm>

namespace sealmark::test {

FileHandle FaultSystem::OpenFile(const std::string& path, FileAccess access, FileSharing sharing,
                                 FileLinks links) {
  const FileHandle file = host_.OpenFile(path, access, sharing, links);
  if (file != FileHandle::kNone) {
    openedWith.push_back(access);
  }
  return file;
}

std::optional<std::uint32_t> FaultSystem::Read(FileHandle file, void* buffer, std::uint32_t count) {
  ++reads;
  if (failReads) {
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

SearchHandle FaultSystem::FindFirst(const std::string& path, FindRecord& record) {
  const SearchHandle search = host_.FindFirst(path, record);
  if (search != SearchHandle::kNone) {
    openSearches.insert(search);
  }
  return search;
}

std::string FaultSystem::ShortDateText(const CalendarTime& date) {
  if (!monthDayYearDates) {
    return host_.ShortDateText(date);
  }
  return std::to_string(date.month) + "/" + std::to_string(date.day) + "/" +
         std::to_string(date.year);
}

}  // namespace sealmark::test
