#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>

#include "tests/support/service_user.h"

namespace {

// LeakSanitizer's exit check needs root again (see tests/client/client_main.cpp).
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
