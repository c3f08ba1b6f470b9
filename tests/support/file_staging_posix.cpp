#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "support/file_staging.h"

namespace sealmark::test {

namespace {

bool SetImmutable(const std::filesystem::path& path, bool on) {
  const int descriptor = open(path.c_str(), O_RDONLY);
  if (descriptor < 0) {
    return false;
  }
  int flags = 0;
  bool done = ioctl(descriptor, FS_IOC_GETFLAGS, &flags) == 0;
  if (done) {
    flags = on ? flags | FS_IMMUTABLE_FL : flags & ~FS_IMMUTABLE_FL;
    done = ioctl(descriptor, FS_IOC_SETFLAGS, &flags) == 0;
  }
  close(descriptor);
  return done;
}

bool OpensForWriting(const std::filesystem::path& path) {
  const int descriptor = open(path.c_str(), O_WRONLY);
  if (descriptor < 0) {
    return false;
  }
  close(descriptor);
  return true;
}

}  // namespace

bool AddFileAttribute(const std::filesystem::path&, std::uint32_t) {
  return false;
}

bool HasShareModes() {
  return false;
}

bool MakeSparseFile(const std::filesystem::path& path, std::uint64_t size) {
  const int descriptor = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  if (descriptor < 0) {
    return false;
  }
  const bool done = ftruncate(descriptor, static_cast<off_t>(size)) == 0;
  return close(descriptor) == 0 && done;
}

ExclusiveHold::ExclusiveHold(const std::filesystem::path&) {}
ExclusiveHold::~ExclusiveHold() = default;

// Root writes through permission bits, so the immutable flag comes first;
// without the right to set it, taking the write bits away is enough.
ReadOnlyFile::ReadOnlyFile(const std::filesystem::path& path) : path_(path) {
  immutable_ = SetImmutable(path, true);
  if (!immutable_) {
    chmod(path.c_str(), 0444);
  }
  took_ = !OpensForWriting(path);
}

ReadOnlyFile::~ReadOnlyFile() {
  if (immutable_) {
    SetImmutable(path_, false);
  }
  chmod(path_.c_str(), 0644);
}

}  // namespace sealmark::test
