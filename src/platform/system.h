#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string_view>

#include "platform/find_record.h"
#include "platform/fixed_text.h"

namespace sealmark {

// An open file and an open directory search: two types, so that one cannot
// be closed as the other. kNone when there is none.
enum class FileHandle : std::intptr_t { kNone = -1 };
enum class SearchHandle : std::intptr_t { kNone = -1 };

enum class FileAccess { kReadWrite, kRead, kWrite };
enum class FileSharing { kReadWrite, kNone };
// Whether an open goes on through a link at the path (a symbolic link,
// junction or other reparse point) to what it names, or stops at the link:
// Windows then opens the link itself, POSIX refuses the open.
enum class FileLinks { kFollow, kNoFollow };
// Whether an open creates a missing file (open always) or opens only a file
// that is there.
enum class FileCreation { kOpenAlways, kOpenExisting };

// The folder that a path is taken in: the current folder, or the user's
// folder for temporary files (GetTempPathW's on Windows; $TMPDIR, else
// /tmp, on POSIX), which takes a file name alone.
enum class Folder { kCurrent, kTemporary };

// An open file, kNone when the open failed, whether the open made it, and
// whether it failed because the file, or a folder on its path, is missing.
struct OpenedFile {
  FileHandle file;
  bool created;
  bool missing = false;
};

// What the system keeps about an open file.
struct FileFacts {
  std::uint32_t attributes;  // kAttribute... bits
  std::uint32_t reparseTag;  // 0 where there is no reparse point or its tag cannot be read
  std::uint32_t links;       // the number of its names; 0 where none are counted
  std::uint64_t volume;      // the volume's serial number, or the device
  std::uint64_t index;       // the file's number on its volume; 0 where there is none
  bool otherOwner = false;   // another user owns it (asked on POSIX only)
};

// The bit of a reparse tag that says the reparse point names another file
// or folder (symbolic links, junctions, mount points), as Windows'
// IsReparseTagNameSurrogate tests it.
inline constexpr std::uint32_t kReparseTagNameSurrogate = 0x20000000;

// Whether the file is taken for a link: a reparse point whose tag says it
// names another file, or whose tag cannot be read.
inline bool IsLink(const FileFacts& facts) {
  return (facts.attributes & kAttributeReparsePoint) != 0 &&
         (facts.reparseTag == 0 || (facts.reparseTag & kReparseTagNameSurrogate) != 0);
}

// A date and time of day, as the system's clock and date formatting take it.
struct CalendarTime {
  unsigned year;
  unsigned month;  // 1 to 12
  unsigned day;    // 1 to 31
  unsigned hour;
  unsigned minute;
  unsigned second;
  unsigned weekday = 0;  // 0 for Sunday
};

// What a system other than Windows calls itself: as much as a POSIX kernel
// name holds.
using OsName = FixedText<64>;

// The numbers of the system's version. `name` is what a system other than
// Windows calls itself (the POSIX stand-in's kernel); it is empty on Windows,
// whose versions are named by their numbers.
struct OsVersion {
  std::uint32_t major;
  std::uint32_t minor;
  std::uint32_t build;
  OsName name;
};

// The user's short date: at most 49 UTF-16 units, each of which takes up to
// 2 bytes in a double-byte ANSI code page and up to 3 in UTF-8.
inline constexpr int kShortDateUnits = 49;
using ShortDate = FixedText<3 * kShortDateUnits>;

// The system as the check sees it. Failures are values (kNone, false,
// nullopt or an empty text), never messages, and no method but ObtainMemory
// asks for memory of the program's own. Paths are 8-bit texts relative to
// the current folder, with "\" separators.
class System {
 public:
  virtual ~System() = default;

  // Files and directory searches: each one system call, made through
  // GuardedSystemCall, with these exceptions. Windows asks for the current
  // folder (GetCurrentDirectoryW, unguarded) beside each call that takes a
  // path in it, to pass a path that would reach MAX_PATH whole. FactsOf
  // reads the tag of a reparse point with a second call. The POSIX stand-in
  // repeats a read or a write until the whole count has passed, as one
  // Windows call does, and its open always first tries to make a new file.

  // Opens `path` in `folder` for `access`. Open always creates a missing
  // file empty, with normal attributes, where its folder allows.
  virtual OpenedFile OpenFile(Folder folder, std::string_view path, FileAccess access,
                              FileSharing sharing, FileLinks links, FileCreation creation) = 0;
  // Opens the folder `path` in the current folder itself, not what a link
  // there names, for reading. Windows shares it for reading alone, so that
  // it can be neither renamed nor deleted while it is open, though files can
  // still be made in it; POSIX holds nothing, but a file made from the open
  // folder is made in that folder wherever it has gone. `parent` is the
  // folder that holds it, open in the same way, or kNone for the current
  // folder: POSIX opens the folder from there, Windows takes the path whole.
  virtual FileHandle OpenFolder(FileHandle parent, std::string_view path) = 0;
  // Makes the file `path` in the current folder new and empty, with normal
  // attributes, open for reading and writing and shared for both; `folder`
  // is the folder that holds it, opened by OpenFolder. Never through a link
  // and never over anything already at the path: kNone instead.
  virtual FileHandle MakeNewFile(FileHandle folder, std::string_view path) = 0;
  // What the system keeps about the open file; none when it cannot be asked.
  virtual std::optional<FileFacts> FactsOf(FileHandle file) = 0;
  virtual bool IsDiskFile(FileHandle file) = 0;
  virtual bool SeekToStart(FileHandle file) = 0;
  virtual std::optional<std::uint64_t> FileSize(FileHandle file) = 0;
  // One read of up to `count` bytes; how many arrived.
  virtual std::optional<std::uint32_t> Read(FileHandle file, void* buffer, std::uint32_t count) = 0;
  // One write of `count` bytes; how many were written.
  virtual std::optional<std::uint32_t> Write(FileHandle file, const void* data,
                                             std::uint32_t count) = 0;
  // Ends the file at its current position.
  virtual bool SetEnd(FileHandle file) = 0;
  virtual bool Close(FileHandle file) = 0;

  // Starts a directory search for `path`, filling `record` with the first
  // entry found.
  virtual SearchHandle FindFirst(std::string_view path, FindRecord& record) = 0;
  virtual bool FindNext(SearchHandle search, FindRecord& record) = 0;
  virtual bool CloseSearch(SearchHandle search) = 0;

  // Where the run takes its paths from. What asks the file system is
  // guarded.

  // Whether the current folder holds the folder `name`, or a link to one.
  virtual bool HoldsFolder(std::string_view name) = 0;
  // Makes the folder of the program's own file the current folder where it
  // holds the folder `name`, or a link to one; false, with the current
  // folder as it was, otherwise.
  virtual bool EnterProgramFolderHolding(std::string_view name) = 0;

  // The host's clock, version and date settings.

  // The current local date and time.
  virtual CalendarTime LocalTime() = 0;
  virtual OsVersion Version() = 0;
  // The UTC calendar fields of a file time; none when it has no date.
  virtual std::optional<CalendarTime> UtcCalendarTime(std::uint64_t fileTime) = 0;
  // The user's short date for `date`, in the ANSI code page; empty when it
  // cannot be made.
  virtual ShortDate ShortDateText(const CalendarTime& date) = 0;

  // `size` bytes of memory, not cleared; nullptr when they cannot be had.
  // Not a system call: it is here so that tests can refuse the memory.
  virtual std::unique_ptr<unsigned char[]> ObtainMemory(std::size_t size);

  // Whether the desktop shell can be asked to open the file `name` in the
  // current folder: Windows' shell takes its full path only up to a length.
  virtual bool ShellCanOpen(std::string_view name) = 0;

  // Asks the desktop shell to open the file `name` in `folder` for the
  // user, without waiting and without reporting how it went. A shell
  // request, not a guarded file call.
  virtual void OpenWithShell(Folder folder, const char* name) = 0;
};

// The system the program runs on.
System& HostSystem();

}  // namespace sealmark
