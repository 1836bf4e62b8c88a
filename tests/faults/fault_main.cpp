#include <gtest/gtest.h>

#include <cstdio>

#include "tests/support/fault_tally.h"
#include "tests/support/service_user.h"

namespace {

// Prints the faults injected per kind once all tests have run.
class TallyPrinter : public testing::EmptyTestEventListener {
  void OnTestProgramEnd(const testing::UnitTest&) override {
    std::printf("faults injected:\n%s", virelo::test::FaultTally::instance().report().c_str());
  }
};

}  // namespace

int main(int argc, char** argv) {
  testing::InitGoogleTest(&argc, argv);
  virelo::test::ServiceUser::adopt();
  testing::UnitTest::GetInstance()->listeners().Append(new TallyPrinter);
  return RUN_ALL_TESTS();
}
