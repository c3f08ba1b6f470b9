#include "kit/gtest_output.h"

#include <gtest/gtest.h>

namespace sealmark::kit {
namespace {

std::string Report(const std::string& cases) {
  return "<?xml version=\"1.0\"?>\n<testsuites tests=\"2\">\n<testsuite name=\"S\">\n" + cases +
         "</testsuite>\n</testsuites>\n";
}
const std::string kPassed = "<testcase name=\"A\" result=\"completed\" classname=\"S\" />\n";
const std::string kFailed =
    "<testcase name=\"B\" result=\"completed\">\n<failure message=\"x\" />\n</testcase>\n";
const std::string kSkipped =
    "<testcase name=\"C\" result=\"skipped\" classname=\"S\">\n<skipped message=\"x\" />\n"
    "</testcase>\n";

Started Exited(unsigned long code, bool stopped = false) {
  Started started;
  started.exitCode = code;
  started.stopped = stopped;
  return started;
}

struct Row {
  const char* what;
  Started started;
  std::string output;
  std::optional<std::string> report;
  Counts counts;
  std::vector<std::string> notes;
};

// How the kit counts a test program's run from its output and report: the
// report's counts, or one failed test for any problem.
TEST(CountTheOutput, CountsTheReportOrOneFailureForAnyProblem) {
  const Row rows[] = {
      {"an earlier run's report beside a program that ended early",
       Exited(3),
       "[ RUN      ] S.A\n",
       Report(kPassed + kPassed + kPassed + kFailed),
       {0, 1, 0},
       {"  failed  p: ended without its summary, with exit code 3"}},
      {"a summary that its report does not bear out",
       Exited(0),
       "[  PASSED  ] 1 test.\n",
       Report(kPassed + kPassed),
       {0, 1, 0},
       {"  failed  p: its summary says 1 passed, 0 failed, 0 skipped, its XML report 2 passed, 0 "
        "failed, 0 skipped"}},
      {"a skip whose reason has several lines",
       Exited(0),
       "[ RUN      ] S.C\nlinks.cpp(12): Skipped\nno link can be made here:\n  no privilege\n"
       "[  SKIPPED ] S.C (0 ms)\n[  PASSED  ] 0 tests.\n[  SKIPPED ] 1 test, listed below:\n"
       "[  SKIPPED ] S.C\n",
       Report(kSkipped),
       {0, 0, 1},
       {"  skipped S.C: no link can be made here:   no privilege"}},
      {"a program that ran nothing",
       Exited(0),
       "[==========] 0 tests from 0 test suites ran.\n[  PASSED  ] 0 tests.\n",
       Report(""),
       {0, 1, 0},
       {"  failed  p: ran no test"}},
      {"an error after a full run",
       Exited(3),
       "[  PASSED  ] 1 test.\n",
       Report(kPassed),
       {0, 1, 0},
       {"  failed  p: ended with exit code 3"}},
      {"Ctrl+C",
       Exited(1, true),
       "[ RUN      ] S.A\n",
       std::nullopt,
       {0, 1, 0},
       {"  failed  p: stopped"}},
  };
  for (const Row& row : rows) {
    std::vector<std::string> notes;
    const Counts counts = CountTheOutput("p", row.started, row.output, row.report, false, notes);
    EXPECT_EQ(CountsText(counts), CountsText(row.counts)) << row.what;
    EXPECT_EQ(notes, row.notes) << row.what;
  }
}

}  // namespace
}  // namespace sealmark::kit
