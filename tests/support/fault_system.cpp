#include "support/fault_system.h"

#include <algorithm>

namespace sealmark::test {

SystemHandle FaultSystem::OpenFile(const std::string& path, FileAccess access,
                                   FileSharing sharing) {
  const SystemHandle file = SystemWrapper::OpenFile(path, access, sharing);
  if (file != kNoHandle) {
    openedWith.push_back(access);
  }
  return file;
}

std::optional<std::uint64_t> FaultSystem::FileSize(SystemHandle file) {
  if (reportedSize) {
    return reportedSize;
  }
  return SystemWrapper::FileSize(file);
}

std::optional<std::uint32_t> FaultSystem::Read(SystemHandle file, void* buffer,
                                               std::uint32_t count) {
  ++reads;
  if (failReads) {
    return std::nullopt;
  }
  return SystemWrapper::Read(file, buffer, readLimit ? std::min(count, *readLimit) : count);
}

std::optional<std::uint32_t> FaultSystem::Write(SystemHandle file, const void* data,
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
  return SystemWrapper::Write(file, data, count);
}

bool FaultSystem::SetEnd(SystemHandle file) {
  ++setEnds;
  return SystemWrapper::SetEnd(file);
}

bool FaultSystem::Close(SystemHandle file) {
  ++closes;
  return SystemWrapper::Close(file);
}

SystemHandle FaultSystem::FindFirst(const std::string& path, FindRecord& record) {
  const SystemHandle search = SystemWrapper::FindFirst(path, record);
  if (search != kNoHandle) {
    ++openSearches;
  }
  return search;
}

bool FaultSystem::CloseSearch(SystemHandle search) {
  --openSearches;
  return SystemWrapper::CloseSearch(search);
}

bool FaultSystem::ObtainBuffer(Bytes& buffer, std::size_t size) {
  bufferRequests.push_back(size);
  return !refuseBuffers && SystemWrapper::ObtainBuffer(buffer, size);
}

void FaultSystem::OpenWithShell(const std::string& name) {
  shellRequests.push_back(name);
}

}  // namespace sealmark::test
