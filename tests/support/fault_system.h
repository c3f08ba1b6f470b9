#pragma once

#include <cstdint>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "frame/system.h"

namespace sealmark::test {

// Passes every call on to another System.
class SystemWrapper : public System {
 public:
  explicit SystemWrapper(System& target) : target_(target) {}

  SystemHandle OpenFile(const std::string& path, FileAccess access, FileSharing sharing) override {
    return target_.OpenFile(path, access, sharing);
  }
  bool IsDiskFile(SystemHandle file) override { return target_.IsDiskFile(file); }
  bool SeekToStart(SystemHandle file) override { return target_.SeekToStart(file); }
  std::optional<std::uint64_t> FileSize(SystemHandle file) override {
    return target_.FileSize(file);
  }
  std::optional<std::uint32_t> Read(SystemHandle file, void* buffer, std::uint32_t count) override {
    return target_.Read(file, buffer, count);
  }
  std::optional<std::uint32_t> Write(SystemHandle file, const void* data,
                                     std::uint32_t count) override {
    return target_.Write(file, data, count);
  }
  bool SetEnd(SystemHandle file) override { return target_.SetEnd(file); }
  bool Close(SystemHandle file) override { return target_.Close(file); }
  SystemHandle FindFirst(const std::string& path, FindRecord& record) override {
    return target_.FindFirst(path, record);
  }
  bool FindNext(SystemHandle search, FindRecord& record) override {
    return target_.FindNext(search, record);
  }
  bool CloseSearch(SystemHandle search) override { return target_.CloseSearch(search); }
  bool ObtainBuffer(Bytes& buffer, std::size_t size) override {
    return target_.ObtainBuffer(buffer, size);
  }
  void OpenWithShell(const std::string& name) override { target_.OpenWithShell(name); }

 private:
  System& target_;
};

// The host system with the failures that real files cannot stage, switched
// on one by one, and a record of the calls that tests look at. It never
// starts a program: shell requests are only recorded.
class FaultSystem : public SystemWrapper {
 public:
  FaultSystem() : SystemWrapper(HostSystem()) {}

  // Reads fail after a good open.
  bool failReads = false;
  // At most this many bytes arrive per read.
  std::optional<std::uint32_t> readLimit;
  // File sizes are reported as this.
  std::optional<std::uint64_t> reportedSize;
  // No buffer can be had; the sizes asked for are kept.
  bool refuseBuffers = false;
  std::vector<std::size_t> bufferRequests;
  // These writes, counted from 1, fail.
  std::set<int> failingWrites;
  // Bytes that writes may still add before the disk is full.
  std::optional<std::uint64_t> diskSpace;

  // The access of every open that succeeded.
  std::vector<FileAccess> openedWith;
  int closes = 0;
  int reads = 0;
  int writes = 0;
  int setEnds = 0;
  int openSearches = 0;
  std::vector<std::string> shellRequests;

  SystemHandle OpenFile(const std::string& path, FileAccess access, FileSharing sharing) override;
  std::optional<std::uint64_t> FileSize(SystemHandle file) override;
  std::optional<std::uint32_t> Read(SystemHandle file, void* buffer, std::uint32_t count) override;
  std::optional<std::uint32_t> Write(SystemHandle file, const void* data,
                                     std::uint32_t count) override;
  bool SetEnd(SystemHandle file) override;
  bool Close(SystemHandle file) override;
  SystemHandle FindFirst(const std::string& path, FindRecord& record) override;
  bool CloseSearch(SystemHandle search) override;
  bool ObtainBuffer(Bytes& buffer, std::size_t size) override;
  void OpenWithShell(const std::string& name) override;
};

}  // namespace sealmark::test
