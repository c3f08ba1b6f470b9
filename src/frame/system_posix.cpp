#include "frame/system.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "frame/guarded_call.h"

extern char** environ;

namespace sealmark {

namespace {

// Seconds from 1 January 1601 to 1 January 1970.
constexpr std::int64_t kEpochDifference = 11'644'473'600;

std::string NativePath(const std::string& path) {
  std::string native = path;
  std::replace(native.begin(), native.end(), '\\', '/');
  return native;
}

int AsDescriptor(SystemHandle handle) {
  return static_cast<int>(handle);
}

int OpenFlags(FileAccess access) {
  switch (access) {
    case FileAccess::kReadWrite:
      return O_RDWR;
    case FileAccess::kRead:
      return O_RDONLY;
    case FileAccess::kWrite:
      return O_WRONLY;
  }
  return O_RDONLY;
}

std::optional<struct stat> StatusOf(int descriptor) {
  struct stat status {};
  const auto got = GuardedSystemCall([&] { return fstat(descriptor, &status); });
  if (got.failed || got.value != 0) {
    return std::nullopt;
  }
  return status;
}

// The last-write time as Windows counts it: 100-nanosecond intervals since
// 1601, UTC; 0 for a time before 1601.
std::uint64_t WindowsFileTime(const struct timespec& time) {
  const std::int64_t seconds = static_cast<std::int64_t>(time.tv_sec) + kEpochDifference;
  if (seconds < 0) {
    return 0;
  }
  return static_cast<std::uint64_t>(seconds) * 10'000'000u +
         static_cast<std::uint64_t>(time.tv_nsec / 100);
}

void FillRecord(const std::string& path, const struct stat& status, FindRecord& record) {
  std::memset(&record, 0, sizeof record);
  const std::size_t slash = path.find_last_of('/');
  const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
  std::strncpy(record.cFileName, name.c_str(), sizeof record.cFileName - 1);
  if (S_ISDIR(status.st_mode)) {
    record.dwFileAttributes |= kAttributeDirectory;
  }
  if (!name.empty() && name[0] == '.') {
    record.dwFileAttributes |= kAttributeHidden;
  }
  const std::uint64_t time = WindowsFileTime(status.st_mtim);
  record.ftLastWriteTime.dwLowDateTime = static_cast<std::uint32_t>(time);
  record.ftLastWriteTime.dwHighDateTime = static_cast<std::uint32_t>(time >> 32);
}

// Reads or writes until `count` bytes have passed, as one Windows call does
// for a disk file; POSIX may hand over less per call.
template <typename Transfer>
std::optional<std::uint32_t> TransferAll(std::uint32_t count, Transfer transfer) {
  std::uint32_t done = 0;
  while (done < count) {
    const auto step = GuardedSystemCall([&] { return transfer(done, count - done); });
    if (step.value < 0) {
      if (errno == EINTR) {
        continue;
      }
      return std::nullopt;
    }
    if (step.value == 0) {
      break;
    }
    done += static_cast<std::uint32_t>(step.value);
  }
  return done;
}

// A stand-in for the Windows system on POSIX. Files have no share modes here,
// so the sharing asked for is not enforced. A lookup path holds no wildcard,
// so a search yields at most the one entry that the path names.
class PosixSystem final : public System {
 public:
  SystemHandle OpenFile(const std::string& path, FileAccess access, FileSharing) override {
    const std::string native = NativePath(path);
    // O_NONBLOCK: a FIFO in a data file's place must not hold the run.
    const auto opened = GuardedSystemCall([&] {
      return open(native.c_str(), OpenFlags(access) | O_CREAT | O_NONBLOCK | O_CLOEXEC, 0666);
    });
    return opened.value < 0 ? kNoHandle : opened.value;
  }

  bool IsDiskFile(SystemHandle file) override {
    const auto status = StatusOf(AsDescriptor(file));
    return status && S_ISREG(status->st_mode);
  }

  bool SeekToStart(SystemHandle file) override {
    const auto moved = GuardedSystemCall([&] { return lseek(AsDescriptor(file), 0, SEEK_SET); });
    return !moved.failed && moved.value == 0;
  }

  std::optional<std::uint64_t> FileSize(SystemHandle file) override {
    const auto status = StatusOf(AsDescriptor(file));
    if (!status) {
      return std::nullopt;
    }
    return static_cast<std::uint64_t>(status->st_size);
  }

  std::optional<std::uint32_t> Read(SystemHandle file, void* buffer, std::uint32_t count) override {
    auto* bytes = static_cast<unsigned char*>(buffer);
    return TransferAll(count, [&](std::uint32_t done, std::uint32_t left) {
      return read(AsDescriptor(file), bytes + done, left);
    });
  }

  std::optional<std::uint32_t> Write(SystemHandle file, const void* data,
                                     std::uint32_t count) override {
    const auto* bytes = static_cast<const unsigned char*>(data);
    return TransferAll(count, [&](std::uint32_t done, std::uint32_t left) {
      return write(AsDescriptor(file), bytes + done, left);
    });
  }

  bool SetEnd(SystemHandle file) override {
    const int descriptor = AsDescriptor(file);
    const auto position = GuardedSystemCall([&] { return lseek(descriptor, 0, SEEK_CUR); });
    if (position.value < 0) {
      return false;
    }
    return GuardedSystemCall([&] { return ftruncate(descriptor, position.value); }).value == 0;
  }

  bool Close(SystemHandle file) override {
    return GuardedSystemCall([&] { return close(AsDescriptor(file)); }).value == 0;
  }

  SystemHandle FindFirst(const std::string& path, FindRecord& record) override {
    const std::string native = NativePath(path);
    struct stat status {};
    if (GuardedSystemCall([&] { return stat(native.c_str(), &status); }).value != 0) {
      return kNoHandle;
    }
    FillRecord(native, status, record);
    return ++searches_;
  }

  bool FindNext(SystemHandle, FindRecord&) override { return false; }

  bool CloseSearch(SystemHandle) override { return true; }

  // Starts the desktop's opener, found on PATH, with its standard streams on
  // /dev/null; it is not waited for.
  void OpenWithShell(const std::string& name) override {
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    for (int stream = 0; stream <= 2; ++stream) {
      posix_spawn_file_actions_addopen(&actions, stream, "/dev/null", O_RDWR, 0);
    }
    std::string program = "xdg-open";
    std::string argument = name;
    char* argv[] = {program.data(), argument.data(), nullptr};
    pid_t child = 0;
    posix_spawnp(&child, program.c_str(), &actions, nullptr, argv, environ);
    posix_spawn_file_actions_destroy(&actions);
  }

 private:
  SystemHandle searches_ = 0;
};

}  // namespace

System& HostSystem() {
  static PosixSystem system;
  return system;
}

}  // namespace sealmark
