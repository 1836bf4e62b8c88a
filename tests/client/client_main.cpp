#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>

#include "tests/support/service_user.h"

namespace {

// LeakSanitizer checks for leaks at exit by attaching to the process's threads, which a process
// running with the service user's effective ids is not allowed to do; going back to root first
// lets the check run. Registered after the sanitizer's own exit hook, so it runs before it.
void becomeRootAgainForTheExitChecks() {
  if (::seteuid(0) == 0) {
    [[maybe_unused]] int ignored = ::setegid(0);
  }
}

}  // namespace

int main(int argc, char** argv) {
  testing::InitGoogleTest(&argc, argv);
  virelo::test::ServiceUser::adopt();
  if (virelo::test::ServiceUser::privileged()) std::atexit(becomeRootAgainForTheExitChecks);
  return RUN_ALL_TESTS();
}
