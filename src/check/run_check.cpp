#include "check/run_check.h"

#include <cstring>
#include <optional>
#include <string_view>

#include "check/manifest.h"
#include "check/report_text.h"
#include "check/report_writer.h"
#include "host/date_text.h"
#include "host/os_text.h"

namespace sealmark {

namespace {

void WriteLine(ReportWriter& report, std::string_view line) {
  report.Write(line);
  report.EndLine();
}

// Creates the report in the current folder or, where it cannot be written
// there or the shell could not open it there, in the user's folder for
// temporary files, leaving the current folder's as it is; the folder that
// holds it, none when neither does.
std::optional<Folder> CreateReport(System& system, ReportWriter& report) {
  if (system.ShellCanOpen(kReportName) && report.Create(Folder::kCurrent, kReportName)) {
    return Folder::kCurrent;
  }
  if (report.Create(Folder::kTemporary, kReportName)) {
    return Folder::kTemporary;
  }
  return std::nullopt;
}

}  // namespace

void EnterTheDataSetsFolder(System& system) {
  if (!system.HoldsFolder(kDataFolder)) {
    system.EnterProgramFolderHolding(kDataFolder);
  }
}

int RunCheck(System& system, FileLookup& lookup) {
  const OsText operatingSystem = OperatingSystemText(system);

  ReportWriter report(system);
  const std::optional<Folder> reportFolder = CreateReport(system, report);
  WriteLine(report, TitleLine(RunDateText(system)));
  WriteLine(report, kBlankLine);
  WriteLine(report, OperatingSystemLine(operatingSystem));
  WriteLine(report, kBlankLine);
  WriteLine(report, kColumnHeader);
  WriteLine(report, SeparatorLine());

  ContentBuffer content;
  FindRecord record;
  std::memset(&record, 0, sizeof record);
  std::int32_t badFiles = 0;
  for (int index = 1; index <= kManifestCount; ++index) {
    const std::string_view name = ManifestName(index);
    const FixedText<5 + kLongestName> path{kDataFolder, "\\", name};
    const std::uint32_t checksum = ReadWholeFile(system, path, content);
    lookup.LookUpFile(path, record);
    const StampText dateText = FileDateText(system, LastWriteTime(record));
    const FixedText<8> checksumText = HexText(checksum, 8);
    if (checksumText != ExpectedText(index)) {
      WriteLine(report, MismatchLine(name, checksumText));
      ++badFiles;
    } else {
      WriteLine(report, ValidLine(name, dateText));
    }
  }

  WriteLine(report, SeparatorLine());
  WriteLine(report, kEmptyLine);
  if (badFiles == 0) {
    WriteLine(report, kConfirmationLine);
  } else {
    report.Write(kIssueLineStart);
    report.WriteCount(badFiles);
    report.Write(kIssueLineEnd);
    report.EndLine();
    WriteLine(report, kReinstallLine);
  }
  report.Close();

  // The shell shows only this run's report: whatever a name holds that the
  // run could not write, an earlier report or a planted one, is not shown.
  if (reportFolder) {
    system.OpenWithShell(*reportFolder, kReportName);
  }
  return 0;
}

}  // namespace sealmark
