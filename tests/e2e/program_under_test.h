#pragma once

#include <filesystem>

namespace sealmark::test {

// The check program that the end-to-end tests run.
extern std::filesystem::path gProgramUnderTest;

}  // namespace sealmark::test
