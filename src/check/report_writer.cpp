#include "check/report_writer.h"

#include "check/report_text.h"

namespace sealmark {

namespace {

bool IsSameFile(const FileFacts& one, const FileFacts& other) {
  return one.volume == other.volume && one.index == other.index;
}

}  // namespace

ReportFileStep NextReportFileStep(const FoundReportFile& found,
                                  const std::optional<FileFacts>& firstFound) {
  if (found.created) {
    return ReportFileStep::kWrite;
  }
  if (!found.facts || found.facts->links > 1) {
    return ReportFileStep::kRefuse;
  }
  const FileFacts& facts = *found.facts;
  if (firstFound) {
    return IsSameFile(facts, *firstFound) ? ReportFileStep::kWrite : ReportFileStep::kRefuse;
  }
  if ((facts.attributes & kAttributeReparsePoint) == 0) {
    return ReportFileStep::kWrite;
  }
  if (facts.reparseTag == 0 || (facts.reparseTag & kReparseTagNameSurrogate) != 0) {
    return ReportFileStep::kRefuse;
  }
  return ReportFileStep::kReopen;
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
void ReportWriter::Create(std::string_view name) {
  Close();
  const OpenedFile opened = system_.OpenFile(name, FileAccess::kWrite, FileSharing::kNone,
                                             FileLinks::kNoFollow, FileCreation::kOpenAlways);
  file_ = opened.file;
  if (file_ == FileHandle::kNone) {
    return;
  }
  const std::optional<FileFacts> first = opened.created ? std::nullopt : system_.FactsOf(file_);
  ReportFileStep step = NextReportFileStep({opened.created, first});
  if (step == ReportFileStep::kReopen) {
    system_.Close(file_);
    file_ = system_
                .OpenFile(name, FileAccess::kWrite, FileSharing::kNone, FileLinks::kFollow,
                          FileCreation::kOpenExisting)
                .file;
    if (file_ == FileHandle::kNone) {
      return;
    }
    step = NextReportFileStep({false, system_.FactsOf(file_)}, first);
  }
  if (step != ReportFileStep::kWrite) {
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
