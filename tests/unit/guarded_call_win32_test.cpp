#include <gtest/gtest.h>

#include "platform/guarded_call.h"
#include "platform/windows_api.h"
#include "support/temp_dir.h"

namespace sealmark {
namespace {

TEST(GuardedSystemCall, SuppressesDialogsDuringTheCallAndRestoresTheModeAfter) {
  for (UINT before : {0u, static_cast<UINT>(SEM_NOGPFAULTERRORBOX), 0x8003u}) {
    SetErrorMode(before);
    const auto during = GuardedSystemCall([] { return GetErrorMode(); });
    EXPECT_EQ(during.value, 0x8001u);
    EXPECT_FALSE(during.failed);
    EXPECT_EQ(GetErrorMode(), before);
  }
  SetErrorMode(0);
}

TEST(GuardedSystemCall, ReportsTheLastErrorAndKeepsTheCallsResult) {
  SetLastError(ERROR_ACCESS_DENIED);
  const auto clean = GuardedSystemCall([] { return 7; });
  EXPECT_EQ(clean.value, 7);
  EXPECT_FALSE(clean.failed);

  const auto failing = GuardedSystemCall([] {
    return CreateFileW(L"Z:\\no\\such\\folder\\file.dat", GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                       FILE_ATTRIBUTE_NORMAL, nullptr);
  });
  EXPECT_EQ(failing.value, INVALID_HANDLE_VALUE);
  EXPECT_TRUE(failing.failed);
}

// Opening an existing file with OPEN_ALWAYS succeeds and still leaves
// ERROR_ALREADY_EXISTS: the guard reports it, the handle is good.
TEST(GuardedSystemCall, OpenOfAnExistingFileLeavesAnErrorButAHandle) {
  test::TempDir temp;
  const auto path = temp.path() / "exists.dat";
  test::WriteFileContent(path, "x");
  const auto opened = GuardedSystemCall([&] {
    return CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_ALWAYS,
                       FILE_ATTRIBUTE_NORMAL, nullptr);
  });
  EXPECT_NE(opened.value, INVALID_HANDLE_VALUE);
  EXPECT_EQ(opened.error, static_cast<unsigned long>(ERROR_ALREADY_EXISTS));
  EXPECT_TRUE(opened.failed);
  CloseHandle(opened.value);
}

}  // namespace
}  // namespace sealmark
