// Reading what a GoogleTest program of the kit printed and reported, and
// counting its run: text work alone, which the native build tests too.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace sealmark::kit {

struct Counts {
  int passed = 0;
  int failed = 0;
  int skipped = 0;

  Counts& operator+=(const Counts& more) {
    passed += more.passed;
    failed += more.failed;
    skipped += more.skipped;
    return *this;
  }
  bool operator==(const Counts& other) const {
    return passed == other.passed && failed == other.failed && skipped == other.skipped;
  }
};

std::string CountsText(const Counts& counts);

// How the run of a test program went, as the runner saw it.
struct Started {
  std::optional<unsigned long> exitCode;  // none where it did not end by itself
  std::string problem;                    // why it did not start
  bool inItsJob = false;
  bool stopped = false;  // ended by Ctrl+C or the window's closing
};

// What a test program ran, from its XML report `report` (none where there
// is none), checked against the summary in its output `output`; with
// `strict`, a test that skipped because the shell would not start the
// recorder counts as failed. A program that did not start or end by
// itself, whose report is missing or unreadable or disagrees with its
// summary, that ran no test, or that ended without its summary or with an
// error counts as one failed test, whatever its report counts. Each
// skipped test with its reason, and each failed one, is added to `notes`.
Counts CountTheOutput(const std::string& name, const Started& started, const std::string& output,
                      const std::optional<std::string>& report, bool strict,
                      std::vector<std::string>& notes);

}  // namespace sealmark::kit
