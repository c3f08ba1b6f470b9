// e2e_tests PROGRAM [RECORDER_FOLDER]: runs the check program PROGRAM in
// sample install folders. RECORDER_FOLDER, put first on PATH, holds the
// xdg-open that records shell requests natively; under Wine the prefix's
// .txt association starts the recorder.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>

#include "e2e/program_under_test.h"
#include "support/platform.h"

namespace sealmark::test {

std::filesystem::path gProgramUnderTest;

}  // namespace sealmark::test

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  if (argc < 2 || argc > 3) {
    std::fprintf(stderr, "usage: e2e_tests PROGRAM [RECORDER_FOLDER]\n");
    return 2;
  }
  sealmark::test::gProgramUnderTest = std::filesystem::absolute(argv[1]);
  if (argc == 3) {
    sealmark::test::PrependToPath(std::filesystem::absolute(argv[2]));
  }
  return RUN_ALL_TESTS();
}
