#include "check/report_writer.h"

#include "check/report_text.h"

namespace sealmark {

void ReportWriter::Create(std::string_view name) {
  Close();
  file_ = system_.OpenFile(name, FileAccess::kWrite, FileSharing::kNone, FileLinks::kNoFollow);
  if (file_ == FileHandle::kNone) {
    return;
  }
  // Anyone who may write the folder can leave a link under the report's
  // name to a file they could not write themselves. Such a file is left as
  // it is, as a report that cannot be created. The order leaves no gap
  // worth having: the open stops at a link, so it creates or opens nothing
  // elsewhere; the check asks about the file that was opened, not the name
  // again, so nothing put under the name after the open is written; and a
  // hard link made to the open file after the check names only this report.
  if (!system_.HasOneNameOnly(file_)) {
    system_.Close(file_);
    file_ = FileHandle::kNone;
    return;
  }
  // Only a disk file has content to cut and an end to set.
  disk_ = system_.IsDiskFile(file_);
  if (disk_) {
    system_.SeekToStart(file_);
    system_.SetEnd(file_);
  }
}

// A write that fails or falls short is not retried: the item is lost and
// the next one still goes out.
void ReportWriter::Write(std::string_view text) {
  if (file_ == FileHandle::kNone || text.empty()) {
    return;
  }
  system_.Write(file_, text.data(), static_cast<std::uint32_t>(text.size()));
}

void ReportWriter::WriteCount(std::int32_t count) {
  Write(CountItem(count));
}

void ReportWriter::EndLine() {
  Write("\r\n");
}

void ReportWriter::Close() {
  if (file_ == FileHandle::kNone) {
    return;
  }
  if (disk_) {
    system_.SetEnd(file_);
  }
  system_.Close(file_);
  file_ = FileHandle::kNone;
  disk_ = false;
}

}  // namespace sealmark
