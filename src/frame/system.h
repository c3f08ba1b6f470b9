#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "frame/find_record.h"

namespace sealmark {

using Bytes = std::vector<unsigned char>;

// An open file or directory search; kNoHandle when there is none.
using SystemHandle = std::intptr_t;
inline constexpr SystemHandle kNoHandle = -1;

enum class FileAccess { kReadWrite, kRead, kWrite };
enum class FileSharing { kReadWrite, kNone };

// The system primitives that the check needs. Each is one system call made
// through GuardedSystemCall, and each failure is a value (kNoHandle, false or
// nullopt), never a message. Paths are 8-bit texts relative to the current
// folder, with "\" separators.
class System {
 public:
  virtual ~System() = default;

  // Opens `path` for `access`, creating it empty with normal attributes when
  // it is missing and its folder allows (open always).
  virtual SystemHandle OpenFile(const std::string& path, FileAccess access,
                                FileSharing sharing) = 0;
  virtual bool IsDiskFile(SystemHandle file) = 0;
  virtual bool SeekToStart(SystemHandle file) = 0;
  virtual std::optional<std::uint64_t> FileSize(SystemHandle file) = 0;
  // One read of up to `count` bytes; how many arrived.
  virtual std::optional<std::uint32_t> Read(SystemHandle file, void* buffer,
                                            std::uint32_t count) = 0;
  // One write of `count` bytes; how many were written.
  virtual std::optional<std::uint32_t> Write(SystemHandle file, const void* data,
                                             std::uint32_t count) = 0;
  // Ends the file at its current position.
  virtual bool SetEnd(SystemHandle file) = 0;
  virtual bool Close(SystemHandle file) = 0;

  // Starts a directory search for `path`, filling `record` with the first
  // entry found.
  virtual SystemHandle FindFirst(const std::string& path, FindRecord& record) = 0;
  virtual bool FindNext(SystemHandle search, FindRecord& record) = 0;
  virtual bool CloseSearch(SystemHandle search) = 0;

  // Makes `buffer` `size` bytes long; false when the memory cannot be had.
  virtual bool ObtainBuffer(Bytes& buffer, std::size_t size);

  // Asks the desktop shell to open the file `name` for the user, without
  // waiting and without reporting how it went.
  virtual void OpenWithShell(const std::string& name) = 0;
};

// The system the program runs on.
System& HostSystem();

}  // namespace sealmark
