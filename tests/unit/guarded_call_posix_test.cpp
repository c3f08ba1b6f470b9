#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cerrno>

#include "platform/guarded_call.h"

namespace sealmark {
namespace {

TEST(GuardedSystemCall, ReportsErrnoAndKeepsTheCallsResult) {
  errno = EACCES;
  const auto clean = GuardedSystemCall([] { return 7; });
  EXPECT_EQ(clean.value, 7);
  EXPECT_FALSE(clean.failed);

  const auto failing = GuardedSystemCall([] { return open("/no/such/folder/file", O_RDONLY); });
  EXPECT_EQ(failing.value, -1);
  EXPECT_TRUE(failing.failed);
}

}  // namespace
}  // namespace sealmark
