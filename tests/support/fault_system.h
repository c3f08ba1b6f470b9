#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "platform/system.h"

namespace sealmark::test {

// The host system with the failures that real files cannot stage, switched
// on one by one, fixed answers for the clock, the version and the date
// format, and a record of the calls that tests look at. It never starts a
// program: shell requests are only recorded. Its records take no part in the
// allocations that a test counts.
class FaultSystem : public System {
 public:
  // These reads, counted from 1, fail.
  std::set<int> failingReads;
  // At most this many bytes arrive per read.
  std::optional<std::uint32_t> readLimit;
  // File sizes are reported as this.
  std::optional<std::uint64_t> reportedSize;
  // No piece of memory larger than this can be had.
  std::optional<std::size_t> largestMemory;
  // These writes, counted from 1, fail.
  std::set<int> failingWrites;
  // Bytes that writes may still add before the disk is full.
  std::optional<std::uint64_t> diskSpace;
  // The clock and the version, when set.
  std::optional<CalendarTime> localTime;
  std::optional<OsVersion> version;
  // Short dates as M/D/YYYY, whatever the user's settings.
  bool monthDayYearDates = false;
  // What the system keeps about open files cannot be had.
  bool failFacts = false;
  // The shell cannot open a file in the current folder, as when the path
  // is too long for the shell.
  bool shellCannotOpen = false;
  // Files and folders opened by these paths carry a reparse point with
  // these tags.
  std::map<std::string, std::uint32_t> reparseTags;

  // The access of every open that succeeded, and whether it went through
  // links and could create the file.
  std::vector<FileAccess> openedWith;
  std::vector<std::pair<FileLinks, FileCreation>> openedHow;
  // The size of every piece of memory asked for, and the count of every read.
  std::vector<std::size_t> memoryRequests;
  std::vector<std::uint32_t> readCounts;
  int closes = 0;
  int writes = 0;
  int setEnds = 0;
  std::set<SearchHandle> openSearches;
  // How many files and folders were open when a file was last made new.
  std::size_t openWhenMade = 0;
  std::vector<std::pair<Folder, std::string>> shellRequests;

  OpenedFile OpenFile(Folder folder, std::string_view path, FileAccess access, FileSharing sharing,
                      FileLinks links, FileCreation creation) override;
  FileHandle OpenFolder(FileHandle parent, std::string_view path) override {
    return Opened(host_.OpenFolder(parent, path), path);
  }
  FileHandle MakeNewFile(FileHandle folder, std::string_view path) override {
    openWhenMade = openPaths_.size();
    return Opened(host_.MakeNewFile(folder, path), path);
  }
  std::optional<FileFacts> FactsOf(FileHandle file) override;
  bool IsDiskFile(FileHandle file) override { return host_.IsDiskFile(file); }
  bool SeekToStart(FileHandle file) override { return host_.SeekToStart(file); }
  std::optional<std::uint64_t> FileSize(FileHandle file) override {
    return reportedSize ? reportedSize : host_.FileSize(file);
  }
  std::optional<std::uint32_t> Read(FileHandle file, void* buffer, std::uint32_t count) override;
  std::optional<std::uint32_t> Write(FileHandle file, const void* data,
                                     std::uint32_t count) override;
  bool SetEnd(FileHandle file) override {
    ++setEnds;
    return host_.SetEnd(file);
  }
  bool Close(FileHandle file) override;
  SearchHandle FindFirst(std::string_view path, FindRecord& record) override;
  bool FindNext(SearchHandle search, FindRecord& record) override {
    return host_.FindNext(search, record);
  }
  bool CloseSearch(SearchHandle search) override {
    openSearches.erase(search);
    return host_.CloseSearch(search);
  }
  bool HoldsFolder(std::string_view name) override { return host_.HoldsFolder(name); }
  bool EnterProgramFolderHolding(std::string_view name) override {
    return host_.EnterProgramFolderHolding(name);
  }
  CalendarTime LocalTime() override { return localTime ? *localTime : host_.LocalTime(); }
  OsVersion Version() override { return version ? *version : host_.Version(); }
  std::optional<CalendarTime> UtcCalendarTime(std::uint64_t fileTime) override {
    return host_.UtcCalendarTime(fileTime);
  }
  ShortDate ShortDateText(const CalendarTime& date) override;
  std::unique_ptr<unsigned char[]> ObtainMemory(std::size_t size) override;
  bool ShellCanOpen(std::string_view name) override {
    return !shellCannotOpen && host_.ShellCanOpen(name);
  }
  void OpenWithShell(Folder folder, const char* name) override;

 private:
  // Notes the path that `file` was opened by.
  FileHandle Opened(FileHandle file, std::string_view path);

  System& host_ = HostSystem();
  std::map<FileHandle, std::string> openPaths_;
};

}  // namespace sealmark::test
