#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/find_record.h"

namespace sealmark::test {

// Test set-ups that need the platform itself.

// Adds a file attribute (kAttributeHidden, kAttributeSystem) to `path`;
// false where the platform keeps no such attributes.
bool AddFileAttribute(const std::filesystem::path& path, std::uint32_t attribute);

// Whether opens can keep other programs out of a file (share modes).
bool HasShareModes();

// Makes a file of `size` bytes without writing them (a sparse file).
bool MakeSparseFile(const std::filesystem::path& path, std::uint64_t size);

// Sets the last-write time of `path` (100-nanosecond intervals since 1601).
bool SetLastWriteTime(const std::filesystem::path& path, std::uint64_t fileTime);

// Holds `path` open with share mode 0, as another program might, for as long
// as the object lives. held() is false where the platform has no share modes.
class ExclusiveHold {
 public:
  explicit ExclusiveHold(const std::filesystem::path& path);
  ~ExclusiveHold();
  ExclusiveHold(const ExclusiveHold&) = delete;
  ExclusiveHold& operator=(const ExclusiveHold&) = delete;
  bool held() const { return handle_ != -1; }

 private:
  std::intptr_t handle_ = -1;
};

// Makes `path` impossible to open for writing, even for root, for as long as
// the object lives. refusesWrites() tells whether that worked here.
class ReadOnlyFile {
 public:
  explicit ReadOnlyFile(const std::filesystem::path& path);
  ~ReadOnlyFile();
  ReadOnlyFile(const ReadOnlyFile&) = delete;
  ReadOnlyFile& operator=(const ReadOnlyFile&) = delete;
  bool refusesWrites() const { return refusesWrites_; }

 private:
  std::filesystem::path path_;
  bool immutable_ = false;
  bool refusesWrites_ = false;
};

// Keeps the user from reading `path` for as long as the object lives: on
// Windows by an access-control entry that denies it, on POSIX by its mode.
// refusesReads() tells whether that worked here (root, and Wine run by
// root, read every file).
class UnreadableFile {
 public:
  explicit UnreadableFile(const std::filesystem::path& path);
  ~UnreadableFile();
  UnreadableFile(const UnreadableFile&) = delete;
  UnreadableFile& operator=(const UnreadableFile&) = delete;
  bool refusesReads() const { return refusesReads_; }

 private:
  std::filesystem::path path_;
  std::string previous_;  // its former access-control list, on Windows
  bool refusesReads_ = false;
};

// Makes `link` a symbolic link to `target`, or on Windows, where the user
// may make none and `target` is a folder, a junction. The empty text where
// the link is there, else why not. TempDir removes what a link to a folder
// leads to along with it: links lead only to places in the same TempDir.
std::string MakeLink(const std::filesystem::path& target, const std::filesystem::path& link);

// Whether `path` is a link itself: a symbolic link, or a junction.
bool IsLink(const std::filesystem::path& path);

// The file name in a find record, as 8-bit text (ASCII names only).
std::string RecordName(const FindRecord& record);

// The current time as a last-write time counts it.
std::uint64_t NowAsFileTime();

// Loads the library at `path` into this process and frees it again; false
// where that fails or the platform has no DLLs.
bool LoadAndFreeLibrary(const std::filesystem::path& path);

struct ProgramRun {
  int exitCode;                 // -1 when the program could not be started
  std::string output;           // what it wrote to its standard output and error
  unsigned long processId = 0;  // its process's id
};

// Runs `program` with `arguments` in `folder` and waits for it to end.
ProgramRun RunProgram(const std::filesystem::path& program,
                      const std::vector<std::string>& arguments,
                      const std::filesystem::path& folder);

// Sets an environment variable of this process, which programs it starts
// inherit.
void SetEnvironment(const std::string& name, const std::string& value);

// Puts `folder` first on the PATH of this process.
void PrependToPath(const std::filesystem::path& folder);

// The name that the file `name` takes in the user's folder for temporary
// files: the same on Windows; on POSIX, in the user's own folder there
// ("sealmark-0/FileCheck.TXT").
std::string TemporaryName(const std::string& name);

// Makes `folder` the user's folder for temporary files, of this process and
// the programs it starts, for as long as it lives: TMP on Windows, TMPDIR
// on POSIX.
class TemporaryFolder {
 public:
  explicit TemporaryFolder(const std::filesystem::path& folder);
  ~TemporaryFolder();
  TemporaryFolder(const TemporaryFolder&) = delete;
  TemporaryFolder& operator=(const TemporaryFolder&) = delete;

 private:
  std::filesystem::path previous_;
};

// The longest full path of a report in the current folder that the program
// asks the shell to open: 250 on Windows; no limit on POSIX.
std::size_t ShellPathLimit();

// Makes a FIFO at `path`; false where the platform has none.
bool MakeFifo(const std::filesystem::path& path);

// Gives the file at `path` to a user other than this process's; false
// where that cannot be done (not as root, or no owners on this platform).
bool GiveToAnotherUser(const std::filesystem::path& path);

// Sets the user's short date format for as long as it lives: on Windows the
// regional setting, given as a date picture ("dd.MM.yyyy"); on POSIX the
// LC_TIME locale of this process and the programs it starts ("C").
class ShortDateFormat {
 public:
  explicit ShortDateFormat(const std::string& format);
  ~ShortDateFormat();
  ShortDateFormat(const ShortDateFormat&) = delete;
  ShortDateFormat& operator=(const ShortDateFormat&) = delete;

 private:
  std::string previous_;
};

// A short date format whose dates ExpectedDateText writes.
ShortDateFormat KnownDateFormat();

// The date text, in the known format, of the UTC day of the file's last write.
std::string ExpectedDateText(const std::filesystem::path& file);

// The date text, in the known format, of time 0: 1 January 1601.
std::string ExpectedDateTextOfTimeZero();

// Sets the text value `name` of the current user's registry key `key` for as
// long as it lives, and then removes it. isSet() is false where there is no
// registry or the value could not be set.
class RegistryValue {
 public:
  RegistryValue(const std::string& key, const std::string& name, const std::string& value);
  ~RegistryValue();
  RegistryValue(const RegistryValue&) = delete;
  RegistryValue& operator=(const RegistryValue&) = delete;
  bool isSet() const { return isSet_; }

 private:
  std::string key_;
  std::string name_;
  bool isSet_ = false;
};

// Whether this process runs under Wine.
bool RunsUnderWine();

// Why the shell would open a .txt file with something other than the
// tests' recorder (shell_recorder): the user's own choice of program, or
// a default that names another; the empty text where it would start the
// recorder. The tests never start a real viewer.
std::string WhyTheShellWouldNotStartTheRecorder();

// The registry key under which Wine keeps its settings for the program
// `name` ("Sealmark.exe"), such as the Windows version it reports.
std::string WineProgramKey(const std::string& name);

}  // namespace sealmark::test
