#include "eventsynth/nanos.h"

#include <gtest/gtest.h>

#include <limits>

namespace virelo {
namespace {

TEST(Nanos, ConvertsPositiveSecondsTruncating) {
  EXPECT_EQ(nanos(0.25), 250000000u);
  EXPECT_EQ(nanos(1.5), 1500000000u);
  EXPECT_EQ(nanos(1e-10), 0u);
}

TEST(Nanos, RejectsZeroNegativeNonFiniteAndTooLarge) {
  EXPECT_FALSE(nanos(0.0));
  EXPECT_FALSE(nanos(-0.5));
  EXPECT_FALSE(nanos(std::numeric_limits<double>::infinity()));
  EXPECT_FALSE(nanos(-std::numeric_limits<double>::infinity()));
  EXPECT_FALSE(nanos(std::numeric_limits<double>::quiet_NaN()));
  EXPECT_FALSE(nanos(18446744073.0));
  EXPECT_TRUE(nanos(18446744072.0));
}

}  // namespace
}  // namespace virelo
