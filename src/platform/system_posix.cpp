#include "platform/system.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/utsname.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include "platform/file_time_conversion.h"
#include "platform/guarded_call.h"

extern char** environ;

namespace sealmark {

namespace {

// The folder for temporary files that every user shares.
const char* SharedTemporaryFolder() {
  const char* folder = std::getenv("TMPDIR");
  return folder != nullptr && *folder != '\0' ? folder : "/tmp";
}

// `path` with "/" separators, ending in a NUL; the empty path, which names
// no file, when it is too long for the system.
class NativePath {
 public:
  explicit NativePath(std::string_view path) {
    const std::size_t size = path.size() < sizeof chars_ ? path.size() : 0;
    *std::replace_copy(path.begin(), path.begin() + size, chars_, '\\', '/') = '\0';
  }
  const char* c_str() const { return chars_; }

 private:
  char chars_[PATH_MAX];
};

int AsDescriptor(FileHandle file) {
  return static_cast<int>(file);
}

FileHandle AsFileHandle(int descriptor) {
  return descriptor < 0 ? FileHandle::kNone : static_cast<FileHandle>(descriptor);
}

// `path`'s last part, opened from the folder `parent` (the current folder
// for kNone) with `flags`, never through a link there.
FileHandle OpenAt(FileHandle parent, std::string_view path, int flags) {
  const std::string_view name = path.substr(path.find_last_of('\\') + 1);
  const NativePath native(parent == FileHandle::kNone ? path : name);
  const int from = parent == FileHandle::kNone ? AT_FDCWD : AsDescriptor(parent);
  return AsFileHandle(GuardedSystemCall([&] {
                        return openat(from, native.c_str(),
                                      flags | O_NOFOLLOW | O_NOCTTY | O_CLOEXEC, 0666);
                      }).value);
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

// The folder at `path`, open, when no one but the user may write it: a
// folder, not a link, the user's own, that no one else may write; -1
// otherwise.
int OpenOwnFolder(const char* path) {
  const int folder = GuardedSystemCall([&] {
                       return open(path, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
                     }).value;
  const auto status = folder < 0 ? std::nullopt : StatusOf(folder);
  if (status && status->st_uid == geteuid() && (status->st_mode & 022) == 0) {
    return folder;
  }
  if (folder >= 0) {
    GuardedSystemCall([&] { return close(folder); });
  }
  return -1;
}

// The user's own folder in the shared temporary folder, open, and its path
// in `path`; -1 when there is none. It is "sealmark-<user number>", made
// with mode 0700 where it is missing. Where another user holds that name,
// or it is not such a folder, a new one is made under a name that nobody
// held before, "sealmark-<user number>-XXXXXX", so that no other user can
// keep the user's report from being written. A folder found before, still
// in `path`, is taken again while it passes, so that every file of a run and
// the shell request are in one folder.
int OpenPrivateFolder(char (&path)[PATH_MAX]) {
  const int found = path[0] != '\0' ? OpenOwnFolder(path) : -1;
  if (found >= 0) {
    return found;
  }
  constexpr char kNewName[] = "-XXXXXX";
  const int length = std::snprintf(path, sizeof path, "%s/sealmark-%u", SharedTemporaryFolder(),
                                   static_cast<unsigned>(geteuid()));
  if (length <= 0 || static_cast<std::size_t>(length) + sizeof kNewName > sizeof path) {
    return -1;
  }
  GuardedSystemCall([&] { return mkdir(path, 0700); });
  const int folder = OpenOwnFolder(path);
  if (folder >= 0) {
    return folder;
  }
  std::strcat(path, kNewName);
  return GuardedSystemCall([&] { return mkdtemp(path); }).value != nullptr ? OpenOwnFolder(path)
                                                                           : -1;
}

// Whether `path` names a folder, or a link to one.
bool IsFolder(const char* path) {
  struct stat status {};
  return GuardedSystemCall([&] { return stat(path, &status); }).value == 0 &&
         S_ISDIR(status.st_mode);
}

void FillRecord(std::string_view path, const struct stat& status, FindRecord& record) {
  std::memset(&record, 0, sizeof record);
  // Past the last "/", or the whole path when it has none (npos + 1 is 0).
  const std::string_view name = path.substr(path.find_last_of('/') + 1);
  const std::size_t units = std::min(name.size(), std::size(record.name) - 1);
  std::copy_n(name.begin(), units, record.name);
  if (S_ISDIR(status.st_mode)) {
    record.attributes |= kAttributeDirectory;
  }
  if (!name.empty() && name[0] == '.') {
    record.attributes |= kAttributeHidden;
  }
  const std::uint64_t time = FileTimeOfPosixTime(status.st_mtim.tv_sec, status.st_mtim.tv_nsec);
  record.lastWriteTime = {static_cast<std::uint32_t>(time), static_cast<std::uint32_t>(time >> 32)};
}

CalendarTime CalendarTimeOf(const std::tm& fields) {
  return {static_cast<unsigned>(fields.tm_year + 1900), static_cast<unsigned>(fields.tm_mon + 1),
          static_cast<unsigned>(fields.tm_mday),        static_cast<unsigned>(fields.tm_hour),
          static_cast<unsigned>(fields.tm_min),         static_cast<unsigned>(fields.tm_sec),
          static_cast<unsigned>(fields.tm_wday)};
}

std::tm TmOf(const CalendarTime& time) {
  std::tm fields{};
  fields.tm_year = static_cast<int>(time.year) - 1900;
  fields.tm_mon = static_cast<int>(time.month) - 1;
  fields.tm_mday = static_cast<int>(time.day);
  fields.tm_hour = static_cast<int>(time.hour);
  fields.tm_min = static_cast<int>(time.minute);
  fields.tm_sec = static_cast<int>(time.second);
  fields.tm_wday = static_cast<int>(time.weekday);
  return fields;
}

// Takes the leading decimal number off `text` and the one separator after
// it; 0 when there is no number.
std::uint32_t TakeNumber(const char*& text) {
  char* end = nullptr;
  const unsigned long number = std::strtoul(text, &end, 10);
  if (end == text) {
    return 0;
  }
  text = *end != '\0' ? end + 1 : end;
  return static_cast<std::uint32_t>(number);
}

// Puts the standard streams of a program to be started on /dev/null; false
// when that cannot be set up.
bool AddQuietStreams(posix_spawn_file_actions_t& actions) {
  for (int stream = 0; stream <= 2; ++stream) {
    if (posix_spawn_file_actions_addopen(&actions, stream, "/dev/null", O_RDWR, 0) != 0) {
      return false;
    }
  }
  return true;
}

// Not one call: POSIX may hand over less per call than was asked for, so the
// call is repeated, each time guarded, until `count` bytes have passed, as
// one Windows call does for a disk file.
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
// so the sharing asked for is not enforced; a regular file counts as a disk
// file, and a name that begins with a dot as hidden. A lookup path holds no
// wildcard, so a search yields at most the one entry that the path names.
// The user's short date is the date format of the LC_TIME locale (%x).
class PosixSystem final : public System {
 public:
  // The shared temporary folder is every user's, so a file there is opened
  // in the user's own folder in it, held open from its check to the open.
  OpenedFile OpenFile(Folder folder, std::string_view path, FileAccess access, FileSharing,
                      FileLinks links, FileCreation creation) override {
    if (folder == Folder::kCurrent) {
      return OpenFrom(AT_FDCWD, path, access, links, creation);
    }
    const int own = OpenPrivateFolder(privateFolder_);
    if (own < 0) {
      return {FileHandle::kNone, false};
    }
    const OpenedFile opened = OpenFrom(own, path, access, links, creation);
    Close(AsFileHandle(own));
    return opened;
  }

  // A folder that is a symbolic link is not opened, nor is the link's folder
  // if one is put in the way afterwards: each is opened from the one above.
  FileHandle OpenFolder(FileHandle parent, std::string_view path) override {
    return OpenAt(parent, path, O_RDONLY | O_DIRECTORY);
  }

  FileHandle MakeNewFile(FileHandle folder, std::string_view path) override {
    return OpenAt(folder, path, O_RDWR | O_CREAT | O_EXCL);
  }

  // The descriptor is never that of a symbolic link: an open that may follow
  // one does, and one that may not fails. No reparse points here.
  std::optional<FileFacts> FactsOf(FileHandle file) override {
    const auto status = StatusOf(AsDescriptor(file));
    if (!status) {
      return std::nullopt;
    }
    return FileFacts{S_ISDIR(status->st_mode) ? kAttributeDirectory : 0,
                     0,
                     static_cast<std::uint32_t>(status->st_nlink),
                     static_cast<std::uint64_t>(status->st_dev),
                     static_cast<std::uint64_t>(status->st_ino),
                     status->st_uid != geteuid()};
  }

  bool IsDiskFile(FileHandle file) override {
    const auto status = StatusOf(AsDescriptor(file));
    return status && S_ISREG(status->st_mode);
  }

  bool SeekToStart(FileHandle file) override {
    const auto moved = GuardedSystemCall([&] { return lseek(AsDescriptor(file), 0, SEEK_SET); });
    return !moved.failed && moved.value == 0;
  }

  std::optional<std::uint64_t> FileSize(FileHandle file) override {
    const auto status = StatusOf(AsDescriptor(file));
    if (!status) {
      return std::nullopt;
    }
    return static_cast<std::uint64_t>(status->st_size);
  }

  std::optional<std::uint32_t> Read(FileHandle file, void* buffer, std::uint32_t count) override {
    auto* bytes = static_cast<unsigned char*>(buffer);
    return TransferAll(count, [&](std::uint32_t done, std::uint32_t left) {
      return read(AsDescriptor(file), bytes + done, left);
    });
  }

  std::optional<std::uint32_t> Write(FileHandle file, const void* data,
                                     std::uint32_t count) override {
    const auto* bytes = static_cast<const unsigned char*>(data);
    return TransferAll(count, [&](std::uint32_t done, std::uint32_t left) {
      return write(AsDescriptor(file), bytes + done, left);
    });
  }

  bool SetEnd(FileHandle file) override {
    const int descriptor = AsDescriptor(file);
    const auto position = GuardedSystemCall([&] { return lseek(descriptor, 0, SEEK_CUR); });
    if (position.value < 0) {
      return false;
    }
    return GuardedSystemCall([&] { return ftruncate(descriptor, position.value); }).value == 0;
  }

  bool Close(FileHandle file) override {
    return GuardedSystemCall([&] { return close(AsDescriptor(file)); }).value == 0;
  }

  SearchHandle FindFirst(std::string_view path, FindRecord& record) override {
    const NativePath native(path);
    struct stat status {};
    if (GuardedSystemCall([&] { return stat(native.c_str(), &status); }).value != 0) {
      return SearchHandle::kNone;
    }
    FillRecord(native.c_str(), status, record);
    return static_cast<SearchHandle>(++searches_);
  }

  bool FindNext(SearchHandle, FindRecord&) override { return false; }

  bool CloseSearch(SearchHandle) override { return true; }

  bool HoldsFolder(std::string_view name) override { return IsFolder(NativePath(name).c_str()); }

  // The program's own file is the one that the kernel names at
  // /proc/self/exe, by its whole path: the file itself, not a symbolic link
  // that the program was started through.
  bool EnterProgramFolderHolding(std::string_view name) override {
    char path[PATH_MAX];
    const auto length =
        GuardedSystemCall([&] { return readlink("/proc/self/exe", path, sizeof path); }).value;
    if (length <= 0 || static_cast<std::size_t>(length) >= sizeof path || path[0] != '/') {
      return false;
    }
    const std::size_t folder = std::string_view(path, static_cast<std::size_t>(length)).rfind('/');
    if (folder == std::string_view::npos || folder + 1 + name.size() >= sizeof path) {
      return false;
    }
    *std::copy(name.begin(), name.end(), path + folder + 1) = '\0';
    if (!IsFolder(path)) {
      return false;
    }
    path[folder + 1] = '\0';
    return GuardedSystemCall([&] { return chdir(path); }).value == 0;
  }

  CalendarTime LocalTime() override {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    return CalendarTimeOf(local);
  }

  // The kernel's name and its release "major.minor.patch...", the patch
  // level standing in for the build number.
  OsVersion Version() override {
    struct utsname system {};
    if (uname(&system) != 0) {
      return {0, 0, 0, {}};
    }
    const char* release = system.release;
    const std::uint32_t major = TakeNumber(release);
    const std::uint32_t minor = TakeNumber(release);
    const std::uint32_t build = TakeNumber(release);
    return {major, minor, build, OsName(system.sysname)};
  }

  std::optional<CalendarTime> UtcCalendarTime(std::uint64_t fileTime) override {
    const auto seconds = PosixSecondsOfFileTime(fileTime);
    if (!seconds) {
      return std::nullopt;
    }
    const auto time = static_cast<std::time_t>(*seconds);
    std::tm fields{};
    if (gmtime_r(&time, &fields) == nullptr) {
      return std::nullopt;
    }
    return CalendarTimeOf(fields);
  }

  ShortDate ShortDateText(const CalendarTime& date) override {
    const std::tm fields = TmOf(date);
    char text[kShortDateUnits + 1];
    return std::string_view(text, std::strftime(text, sizeof text, "%x", &fields));
  }

  // xdg-open takes a path of any length that the system does.
  bool ShellCanOpen(std::string_view) override { return true; }

  // Starts the desktop's opener, found on PATH, with its standard streams on
  // /dev/null; it is not waited for. When the streams cannot be set up (the
  // C library takes memory for that), the opener is not started.
  void OpenWithShell(Folder folder, const char* name) override {
    const bool temporary = folder == Folder::kTemporary;
    char path[PATH_MAX];
    const int length = std::snprintf(path, sizeof path, "%s%s%s", temporary ? privateFolder_ : "",
                                     temporary ? "/" : "", name);
    if (length <= 0 || static_cast<std::size_t>(length) >= sizeof path) {
      return;
    }
    posix_spawn_file_actions_t actions;
    if (posix_spawn_file_actions_init(&actions) != 0) {
      return;
    }
    if (AddQuietStreams(actions)) {
      // The arguments are not changed; the type is the C library's.
      char program[] = "xdg-open";
      char* argv[] = {program, path, nullptr};
      pid_t child = 0;
      posix_spawnp(&child, program, &actions, nullptr, argv, environ);
    }
    posix_spawn_file_actions_destroy(&actions);
  }

 private:
  // Open always first tries to make a new file, so that it can tell that it
  // made it, and else opens as before: through a link where it may follow
  // one, creating what a dangling link names.
  OpenedFile OpenFrom(int from, std::string_view path, FileAccess access, FileLinks links,
                      FileCreation creation) {
    const NativePath native(path);
    // O_NONBLOCK: a FIFO in a file's place must not hold the run. A FIFO
    // that no program reads is not opened for writing at all. O_NOCTTY: a
    // terminal in a file's place does not become the program's.
    const int flags = OpenFlags(access) | (links == FileLinks::kNoFollow ? O_NOFOLLOW : 0) |
                      O_NONBLOCK | O_NOCTTY | O_CLOEXEC;
    bool missing = false;
    const auto openWith = [&](int more) {
      const auto opened =
          GuardedSystemCall([&] { return openat(from, native.c_str(), flags | more, 0666); });
      missing = opened.value < 0 && opened.error == ENOENT;
      // As on Windows, a folder is not opened as a file.
      const auto status = opened.value < 0 ? std::nullopt : StatusOf(opened.value);
      if (status && S_ISDIR(status->st_mode)) {
        Close(AsFileHandle(opened.value));
        return FileHandle::kNone;
      }
      return AsFileHandle(opened.value);
    };
    if (creation == FileCreation::kOpenExisting) {
      const FileHandle file = openWith(0);
      return {file, false, missing};
    }
    const FileHandle made = openWith(O_CREAT | O_EXCL);
    if (made != FileHandle::kNone) {
      return {made, true};
    }
    const FileHandle file = openWith(O_CREAT);
    return {file, false, missing};
  }

  std::intptr_t searches_ = 0;
  // The user's own folder in the shared temporary folder, once an open there
  // has found it.
  char privateFolder_[PATH_MAX] = {};
};

PosixSystem gHostSystem;

}  // namespace

System& HostSystem() {
  return gHostSystem;
}

}  // namespace sealmark
