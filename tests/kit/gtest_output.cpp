#include "kit/gtest_output.h"

#include <set>
#include <sstream>

namespace sealmark::kit {

namespace {

bool StartsWith(const std::string& text, const std::string& start) {
  return text.compare(0, start.size(), start) == 0;
}

// The number that follows `start` at the start of `line`, as in
// "[  PASSED  ] 12 tests."; none where another text follows.
std::optional<int> CountAfter(const std::string& line, const std::string& start) {
  if (!StartsWith(line, start) || line.size() == start.size() || line[start.size()] < '0' ||
      line[start.size()] > '9') {
    return std::nullopt;
  }
  // No more digits than an int holds.
  return std::stoi(line.substr(start.size(), 9));
}

// The counts in the summary of a GoogleTest program's `output`, none where
// it has none; each skipped test with the reason that it gave, and each
// failed test, as lines of `notes`.
std::optional<Counts> ReadSummary(const std::string& output, std::vector<std::string>& notes) {
  std::optional<Counts> counts;
  std::string reason;
  bool inReason = false;
  std::istringstream lines(output);
  for (std::string line; std::getline(lines, line);) {
    if (!line.empty() && line.back() == '\r') {
      line.pop_back();
    }
    if (const auto passed = CountAfter(line, "[  PASSED  ] ")) {
      counts = Counts{*passed, 0, 0};
    } else if (const auto skipped = CountAfter(line, "[  SKIPPED ] "); skipped && counts) {
      counts->skipped = *skipped;
    } else if (const auto failed = CountAfter(line, "[  FAILED  ] "); failed && counts) {
      counts->failed = *failed;
    } else if (StartsWith(line, "[  SKIPPED ] ") && line.back() == ')' && !counts) {
      notes.push_back("  skipped " + line.substr(13, line.rfind(" (") - 13) + ": " +
                      (reason.empty() ? "(no reason given)" : reason));
    } else if (StartsWith(line, "[  FAILED  ] ") && line.back() == ')' && !counts) {
      notes.push_back("  failed  " + line.substr(13, line.rfind(" (") - 13));
    } else if (StartsWith(line, "[ RUN      ] ")) {
      reason.clear();
      inReason = false;
    } else if (line.size() > 9 && line.compare(line.size() - 9, 9, ": Skipped") == 0) {
      inReason = true;
    } else if (inReason && !StartsWith(line, "[")) {
      reason += (reason.empty() ? "" : " ") + line;
    }
  }
  return counts;
}

// The reason of a skip that the tests give where the shell would not start
// the recorder.
constexpr char kNoRecorder[] = "the shell would not start the recorder";

struct Report {
  Counts counts;
  std::set<std::string> skippedForTheRecorder;  // Suite.Test
};

std::string Attribute(const std::string& tag, const std::string& name) {
  const std::string start = " " + name + "=\"";
  const std::size_t at = tag.find(start);
  if (at == std::string::npos) {
    return {};
  }
  const std::size_t from = at + start.size();
  return tag.substr(from, tag.find('"', from) - from);
}

// The counts of a GoogleTest XML report: each test case that ran, by its
// result; none where the report is cut short or unreadable.
std::optional<Report> ReadReport(const std::string& xml) {
  if (xml.find("<testsuites") == std::string::npos ||
      xml.find("</testsuites>") == std::string::npos) {
    return std::nullopt;
  }
  Report report;
  for (std::size_t at = xml.find("<testcase "); at != std::string::npos;
       at = xml.find("<testcase ", at + 1)) {
    const std::size_t tagEnd = xml.find('>', at);
    if (tagEnd == std::string::npos) {
      return std::nullopt;
    }
    const std::string tag = xml.substr(at, tagEnd - at);
    const bool empty = xml[tagEnd - 1] == '/';
    const std::size_t end = empty ? tagEnd : xml.find("</testcase>", tagEnd);
    if (end == std::string::npos) {
      return std::nullopt;
    }
    const std::string body = xml.substr(tagEnd, end - tagEnd);
    const std::string result = Attribute(tag, "result");
    if (body.find("<failure") != std::string::npos) {
      ++report.counts.failed;
    } else if (result == "skipped") {
      ++report.counts.skipped;
      if (body.find(kNoRecorder) != std::string::npos) {
        report.skippedForTheRecorder.insert(Attribute(tag, "classname") + "." +
                                            Attribute(tag, "name"));
      }
    } else if (result == "completed") {
      ++report.counts.passed;
    }
  }
  return report;
}

// Why a program's run counts as one failed test; the empty text where it
// does not.
std::string ProblemOf(const Started& started, const std::optional<Counts>& summary,
                      const std::optional<Report>& report) {
  if (!started.problem.empty()) {
    return "could not start: " + started.problem;
  }
  if (started.stopped) {
    return "stopped";
  }
  if (!started.exitCode) {
    return "did not end within 20 minutes";
  }
  const std::string exitCode = std::to_string(*started.exitCode);
  if (!summary) {
    return "ended without its summary, with exit code " + exitCode;
  }
  if (!report) {
    return "its XML report is missing or unreadable";
  }
  if (!(report->counts == *summary)) {
    return "its summary says " + CountsText(*summary) + ", its XML report " +
           CountsText(report->counts);
  }
  if (summary->passed + summary->failed + summary->skipped == 0) {
    return "ran no test";
  }
  if (*started.exitCode != 0 && summary->failed == 0) {
    return "ended with exit code " + exitCode;
  }
  return {};
}

}  // namespace

std::string CountsText(const Counts& counts) {
  return std::to_string(counts.passed) + " passed, " + std::to_string(counts.failed) + " failed, " +
         std::to_string(counts.skipped) + " skipped";
}

Counts CountTheOutput(const std::string& name, const Started& started, const std::string& output,
                      const std::optional<std::string>& report, bool strict,
                      std::vector<std::string>& notes) {
  const std::optional<Counts> summary = ReadSummary(output, notes);
  const std::optional<Report> reported = report ? ReadReport(*report) : std::nullopt;
  const std::string problem = ProblemOf(started, summary, reported);
  if (!problem.empty()) {
    notes.push_back("  failed  " + name + ": " + problem);
    return Counts{0, 1, 0};
  }
  Counts counts = reported->counts;
  if (strict) {
    for (std::string& note : notes) {
      const std::string test = note.substr(10, note.find(": ") - 10);
      if (note.compare(0, 10, "  skipped ") == 0 && reported->skippedForTheRecorder.count(test)) {
        note = "  failed  " + test + " (--strict: it would skip)" + note.substr(note.find(": "));
        --counts.skipped;
        ++counts.failed;
      }
    }
  }
  return counts;
}

}  // namespace sealmark::kit
