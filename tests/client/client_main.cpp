#include <gtest/gtest.h>

#include "tests/support/service_user.h"

int main(int argc, char** argv) {
  testing::InitGoogleTest(&argc, argv);
  virelo::test::ServiceUser::adopt();
  return RUN_ALL_TESTS();
}
