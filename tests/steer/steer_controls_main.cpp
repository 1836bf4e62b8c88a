#include <gtest/gtest.h>

#include "tests/controls/controls_desktop.h"
#include "tests/support/service_user.h"

int main(int argc, char** argv) {
  testing::InitGoogleTest(&argc, argv);
  virelo::test::ServiceUser::adopt();
  const int result = RUN_ALL_TESTS();
  // While the process may still act as root, which stopping the X server needs.
  virelo::test::ControlsTest::stopDesktop();
  return result;
}
