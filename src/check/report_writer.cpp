#include "check/report_writer.h"

#include "check/report_text.h"

namespace sealmark {

ReportFileStep NextReportFileStep(const FoundReportFile& found) {
  if (found.created) {
    return ReportFileStep::kWrite;
  }
  if (!found.facts || found.facts->links > 1 || found.facts->otherOwner) {
    return ReportFileStep::kRefuse;
  }
  if (IsLink(*found.facts)) {
    return ReportFileStep::kRefuse;
  }
  return (found.facts->attributes & kAttributeReparsePoint) != 0 ? ReportFileStep::kReopen
                                                                 : ReportFileStep::kWrite;
}

// A file number of 0 says nothing of which file it is: some redirectors
// give every file that number.
bool IsTheSameFile(const std::optional<FileFacts>& reopened, const FileFacts& first) {
  return reopened && reopened->links <= 1 && reopened->index != 0 &&
         reopened->volume == first.volume && reopened->index == first.index;
}

// Anyone who may write the folder can leave a link under the report's name
// to a file they could not write themselves. Such a file is left as it is,
// as a report that cannot be created. The order leaves no gap worth having:
// the first open stops at a link, so it creates or opens nothing elsewhere;
// the check asks about the file that was opened, not the name again; a
// reopen creates nothing, and what it opens through a link put under the
// name in the meantime is closed unwritten, since it is not the file that
// was checked; and a hard link made to the open file after the check names
// only this report.
bool ReportWriter::Create(Folder folder, std::string_view name) {
  Close();
  const auto open = [&](FileLinks links, FileCreation creation) {
    return system_.OpenFile(folder, name, FileAccess::kWrite, FileSharing::kNone, links, creation);
  };
  const OpenedFile opened = open(FileLinks::kNoFollow, FileCreation::kOpenAlways);
  file_ = opened.file;
  if (file_ == FileHandle::kNone) {
    return false;
  }
  const std::optional<FileFacts> first = opened.created ? std::nullopt : system_.FactsOf(file_);
  ReportFileStep step = NextReportFileStep({opened.created, first});
  if (step == ReportFileStep::kReopen) {
    system_.Close(file_);
    file_ = open(FileLinks::kFollow, FileCreation::kOpenExisting).file;
    if (file_ == FileHandle::kNone) {
      return false;
    }
    step = IsTheSameFile(system_.FactsOf(file_), *first) ? ReportFileStep::kWrite
                                                         : ReportFileStep::kRefuse;
  }
  // Only a disk file is a report to show: not a pipe or a device.
  if (step != ReportFileStep::kWrite || !system_.IsDiskFile(file_)) {
    system_.Close(file_);
    file_ = FileHandle::kNone;
    return false;
  }
  system_.SeekToStart(file_);
  system_.SetEnd(file_);
  return true;
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
  system_.SetEnd(file_);
  system_.Close(file_);
  file_ = FileHandle::kNone;
}

}  // namespace sealmark
