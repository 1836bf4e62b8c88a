#include "snapping/snap_tuning.h"

#include <gtest/gtest.h>

namespace virelo {
namespace {

TEST(SnapTuning, DefaultsAreTheServiceConstants) {
  const SnapTuning t;
  EXPECT_EQ(t.reach, 24.0);
  EXPECT_EQ(t.stopReach, 36.0);
  EXPECT_EQ(t.maxSpeed, 350.0);
  EXPECT_EQ(t.stopDelayNS, 100'000'000u);
  EXPECT_EQ(t.maxShort, 40.0);
  EXPECT_EQ(t.maxLong, 400.0);
}

TEST(SnapTuning, MemberwiseConstructionKeepsDefaultsForOmittedTrailingFields) {
  const SnapTuning t{10.0, 20.0};
  EXPECT_EQ(t.reach, 10.0);
  EXPECT_EQ(t.stopReach, 20.0);
  EXPECT_EQ(t.maxSpeed, 350.0);
  EXPECT_EQ(t.stopDelayNS, 100'000'000u);
  EXPECT_EQ(t.maxShort, 40.0);
  EXPECT_EQ(t.maxLong, 400.0);
  EXPECT_EQ((SnapTuning{24.0, 36.0, 350.0, 100'000'000, 40.0, 400.0}), SnapTuning{});
}

}  // namespace
}  // namespace virelo
