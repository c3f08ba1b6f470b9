// sample-install DIR: lays out DIR/Data as an intact copy of the viewer's
// data set, for trying the check and for the end-to-end tests.
#include <cstdio>

#include "support/sample_data.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: sample-install DIR\n");
    return 2;
  }
  const std::string problem = sealmark::test::LayOutSampleInstall(argv[1]);
  if (!problem.empty()) {
    std::fprintf(stderr, "sample-install: %s\n", problem.c_str());
    return 1;
  }
  return 0;
}
