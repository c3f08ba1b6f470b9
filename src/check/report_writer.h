#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

#include "platform/system.h"

namespace sealmark {

// What the writer does with the file that an open of the report's name
// found: write it, open it again without stopping at its reparse point, or
// leave it as it is.
enum class ReportFileStep { kWrite, kReopen, kRefuse };

// What an open of the report's name found: whether it made the file, and
// what the system keeps about the file (none when it cannot be asked).
struct FoundReportFile {
  bool created;
  std::optional<FileFacts> facts;
};

// The step for `found`. A file the open made is the program's own. Anything
// else is left as it is when nothing is known of it, when another user owns
// it, when it has a further name (a hard link), or when its reparse point
// names another file (a symbolic link, junction or mount point); any other
// reparse point is an ordinary file that a file system filter serves, to be
// opened again without stopping at it.
ReportFileStep NextReportFileStep(const FoundReportFile& found);

// Whether the reopen of a file that the first open found as `first` found
// `reopened`: that same file, known by a file number, of one name.
bool IsTheSameFile(const std::optional<FileFacts>& reopened, const FileFacts& first);

// Writes the report item by item, one system write per item and per line
// end, with no buffering of its own. A writer whose file could not be
// created stays closed, and on a closed writer every operation does nothing.
class ReportWriter {
 public:
  explicit ReportWriter(System& system) : system_(system) {}
  ~ReportWriter() { Close(); }
  ReportWriter(const ReportWriter&) = delete;
  ReportWriter& operator=(const ReportWriter&) = delete;

  // Creates the file `name` in `folder` or cuts an existing one to nothing;
  // true when the writer is then open on it. The file is held with no
  // sharing until it is closed. A file that the steps above refuse, or one
  // that is not a disk file (a pipe or a device), is left as it is, and the
  // writer stays closed.
  bool Create(Folder folder, std::string_view name);

  // Appends the bytes of `text` as they are.
  void Write(std::string_view text);

  // Appends the count item of `count` (" 12 ").
  void WriteCount(std::int32_t count);

  // Appends CR LF.
  void EndLine();

  // Ends the file at the current position and closes it.
  void Close();

 private:
  System& system_;
  FileHandle file_ = FileHandle::kNone;
};

}  // namespace sealmark
