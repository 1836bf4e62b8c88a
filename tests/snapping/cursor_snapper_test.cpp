#include "snapping/cursor_snapper.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <vector>

#include "tests/snapping/geometry_printers.h"
#include "tests/snapping/snap_test_scene.h"

namespace virelo {
namespace {

using namespace snaptest;

// Drives a snapper with slow movements: each step 8 ms after the previous one, so a movement of at
// most 2 points keeps the smoothed speed at or below 250 points per second.
class SlowSteps : public ::testing::Test {
 protected:
  Point slow(Point current, Vector delta, const std::vector<Rect>& targets) {
    now_ += kTick;
    return snapper_.step(current, delta, false, targets, now_);
  }

  CursorSnapper snapper_;
  std::uint64_t now_ = kStart;
};

// --- Speed estimate ---------------------------------------------------------------------------

TEST(CursorSnapperSpeed, FirstStepAssumesThreeMilliseconds) {
  CursorSnapper s;
  s.step({0, 0}, {3, 4}, false, {}, kStart);
  EXPECT_NEAR(s.speed(), 125.0, 1e-9);
  EXPECT_EQ(s.lastAt(), kStart);
}

TEST(CursorSnapperSpeed, GapLongerThanAQuarterSecondCountsAsAQuarterSecond) {
  CursorSnapper s;
  s.step({0, 0}, {3, 4}, false, {}, kStart);
  s.step({0, 0}, {5, 0}, false, {}, kStart + 300 * kMs);
  EXPECT_NEAR(s.speed(), 5 / 0.25, 1e-9);
}

TEST(CursorSnapperSpeed, GapShorterThanHalfAMillisecondCountsAsHalfAMillisecond) {
  CursorSnapper s;
  s.step({0, 0}, {3, 4}, false, {}, kStart);
  s.step({0, 0}, {1, 0}, false, {}, kStart + 100'000);  // 0.1 ms later
  // 125 + (0.0005 / 0.04) * (1 / 0.0005 - 125)
  EXPECT_NEAR(s.speed(), 148.4375, 1e-9);
}

TEST(CursorSnapperSpeed, ClockReadingBeforeThePreviousStepCountsAsAQuarterSecond) {
  CursorSnapper s;
  s.step({0, 0}, {3, 4}, false, {}, kStart);
  s.step({0, 0}, {5, 0}, false, {}, kStart - 1);
  EXPECT_NEAR(s.speed(), 20.0, 1e-9);
  EXPECT_EQ(s.lastAt(), kStart - 1);
}

TEST(CursorSnapperSpeed, GapOfFortyMillisecondsReplacesTheEstimate) {
  CursorSnapper s;
  s.step({0, 0}, {3, 4}, false, {}, kStart);
  s.step({0, 0}, {2, 0}, false, {}, kStart + 40 * kMs);
  EXPECT_NEAR(s.speed(), 50.0, 1e-9);
}

TEST(CursorSnapperSpeed, ShorterGapSmoothsTowardTheNewSpeed) {
  CursorSnapper s;
  s.step({0, 0}, {3, 4}, false, {}, kStart);
  s.step({0, 0}, {2, 0}, false, {}, kStart + 8 * kMs);
  // 125 + 0.2 * (250 - 125)
  EXPECT_NEAR(s.speed(), 150.0, 1e-9);
}

// --- Usable targets, zone and centre ----------------------------------------------------------

TEST(CursorSnapperUsable, SidesAreCheckedAgainstTheLimits) {
  const CursorSnapper s;
  EXPECT_FALSE(s.usable(makeRect(0, 0, 3.9, 20)));
  EXPECT_TRUE(s.usable(makeRect(0, 0, 4, 4)));
  EXPECT_FALSE(s.usable(makeRect(0, 0, 41, 41)));
  EXPECT_FALSE(s.usable(makeRect(0, 0, 30, 401)));
  EXPECT_TRUE(s.usable(makeRect(0, 0, 40, 400)));
  EXPECT_TRUE(s.usable(makeRect(0, 0, 400, 40)));
  EXPECT_FALSE(s.usable(makeRect(0, 0, 0, 0)));
}

TEST(CursorSnapperUsable, NegativeSizesCountByTheirAbsoluteValue) {
  const CursorSnapper s;
  EXPECT_TRUE(s.usable(makeRect(20, 20, -20, -20)));
  EXPECT_FALSE(s.usable(makeRect(20, 20, -3, 20)));
}

TEST(CursorSnapperUsable, LimitsComeFromTheTuning) {
  const CursorSnapper s(SnapTuning{24, 36, 350, 100'000'000, 50, 60});
  EXPECT_TRUE(s.usable(makeRect(0, 0, 41, 41)));
  EXPECT_FALSE(s.usable(makeRect(0, 0, 20, 61)));
}

TEST(CursorSnapperGeometry, ZoneGrowsEverySideAndCentreIsTheMiddle) {
  EXPECT_EQ(CursorSnapper::zone(makeRect(10, 20, 30, 40), 5), makeRect(5, 15, 40, 50));
  EXPECT_EQ(CursorSnapper::zone(makeRect(40, 60, -30, -40), 5), makeRect(5, 15, 40, 50));
  EXPECT_EQ(CursorSnapper::center(makeRect(10, 20, 30, 40)), (Point{25, 40}));
  EXPECT_EQ(CursorSnapper::center(makeRect(40, 60, -30, -40)), (Point{25, 40}));
}

// --- step ---------------------------------------------------------------------------------------

using CursorSnapperStep = SlowSteps;

TEST_F(CursorSnapperStep, SlowApproachSnapsOnTheFirstDestinationInsideTheBand) {
  const std::vector<Rect> targets{kTarget};
  Point at{60, 110};
  for (; at.x < 74; at.x += 2) {
    EXPECT_EQ(slow(at, {2, 0}, targets), (Point{at.x + 2, 110}));
    EXPECT_FALSE(snapper_.captured());
  }
  EXPECT_EQ(slow({74, 110}, {2, 0}, targets), kTargetCentre);
  EXPECT_EQ(snapper_.captured(), kTarget);
  EXPECT_EQ(snapper_.last(), kTarget);

  // Moving on within and across the same target is free.
  for (at = kTargetCentre; at.x < 160; at.x += 2) {
    EXPECT_EQ(slow(at, {2, 0}, targets), (Point{at.x + 2, 110}));
    EXPECT_FALSE(snapper_.captured());
    EXPECT_EQ(snapper_.last(), kTarget);
  }
}

TEST_F(CursorSnapperStep, ZeroMovementReturnsCurrentAndClearsCaptured) {
  const Rect other = makeRect(200, 100, 20, 20);
  const std::vector<Rect> targets{kTarget, other};
  ASSERT_EQ(slow({74, 110}, {2, 0}, targets), kTargetCentre);
  ASSERT_TRUE(snapper_.captured());
  const double before = snapper_.speed();

  // Resting inside another target: still no snap.
  EXPECT_EQ(slow({210, 110}, {0, 0}, targets), (Point{210, 110}));
  EXPECT_FALSE(snapper_.captured());
  EXPECT_EQ(snapper_.last(), kTarget);
  EXPECT_NEAR(snapper_.speed(), before * 0.8, 1e-9);
  EXPECT_EQ(snapper_.lastAt(), now_);
}

TEST_F(CursorSnapperStep, DraggingMovesByTheDeltaEvenIntoATarget) {
  const std::vector<Rect> targets{kTarget};
  EXPECT_EQ(snapper_.step({98, 110}, {2, 0}, true, targets, kStart), (Point{100, 110}));
  EXPECT_FALSE(snapper_.captured());
  EXPECT_FALSE(snapper_.last());
  EXPECT_NEAR(snapper_.speed(), 50.0, 1e-9);
  EXPECT_EQ(snapper_.lastAt(), kStart);
}

TEST_F(CursorSnapperStep, EmptyTargetListMovesByTheDelta) {
  EXPECT_EQ(slow({10, 10}, {2, -1}, {}), (Point{12, 9}));
  EXPECT_FALSE(snapper_.captured());
  EXPECT_GT(snapper_.speed(), 0);
}

TEST_F(CursorSnapperStep, FastStepEnteringTheBandDoesNotSnap) {
  const std::vector<Rect> targets{kTarget};
  // First step: 0.075 * 20 / 0.003 = 500 points per second.
  EXPECT_EQ(snapper_.step({56, 110}, {20, 0}, false, targets, kStart), (Point{76, 110}));
  EXPECT_GT(snapper_.speed(), 350);
  EXPECT_FALSE(snapper_.captured());
  EXPECT_FALSE(snapper_.last());
}

TEST_F(CursorSnapperStep, SlowStepAfterFastMovementDoesNotSnapWhileTheSmoothedSpeedIsHigh) {
  const std::vector<Rect> targets{kTarget};
  for (double x = -100; x < -60; x += 10) slow({x, 110}, {10, 0}, targets);
  ASSERT_GT(snapper_.speed(), 600);
  EXPECT_EQ(slow({74, 110}, {2, 0}, targets), (Point{76, 110}));
  EXPECT_GT(snapper_.speed(), 350);
  EXPECT_FALSE(snapper_.captured());

  // The same step from rest snaps.
  CursorSnapper fresh;
  EXPECT_EQ(fresh.step({74, 110}, {2, 0}, false, targets, kStart), kTargetCentre);
}

TEST_F(CursorSnapperStep, CursorAlreadyInTheBandSnapsOnlyWhenLandingInsideTheTarget) {
  const std::vector<Rect> targets{kTarget};
  Point at{80, 110};
  for (; at.x < 98; at.x += 2) {
    EXPECT_EQ(slow(at, {2, 0}, targets), (Point{at.x + 2, 110}));
    EXPECT_FALSE(snapper_.captured());
  }
  // Lands on the left edge, which belongs to the target.
  EXPECT_EQ(slow({98, 110}, {2, 0}, targets), kTargetCentre);
  EXPECT_EQ(snapper_.captured(), kTarget);
}

TEST_F(CursorSnapperStep, DestinationOnTheRightEdgeIsOutsideTheTarget) {
  const std::vector<Rect> targets{kTarget};
  EXPECT_EQ(slow({130, 110}, {-2, 0}, targets), (Point{128, 110}));
  EXPECT_EQ(slow({122, 110}, {-2, 0}, targets), (Point{120, 110}));
  EXPECT_FALSE(snapper_.captured());
  EXPECT_EQ(slow({120, 110}, {-2, 0}, targets), kTargetCentre);
}

TEST_F(CursorSnapperStep, DestinationOnTheBottomEdgeIsOutsideTheTarget) {
  const std::vector<Rect> targets{kTarget};
  EXPECT_EQ(slow({110, 122}, {0, -2}, targets), (Point{110, 120}));
  EXPECT_FALSE(snapper_.captured());
  EXPECT_EQ(slow({110, 120}, {0, -2}, targets), kTargetCentre);
}

TEST_F(CursorSnapperStep, DestinationOnAnEdgeIsAtDistanceZero) {
  // The destination (110, 120) lies on the bottom edge of `edge` and inside `holder`; both are at
  // distance 0, so the earlier of the two wins. `entered` triggers the snap but is 23 points away.
  const Rect entered = makeRect(100, 143, 20, 20);
  const Rect edge = kTarget;
  const Rect holder = makeRect(105, 120, 10, 10);
  const std::vector<Rect> targets{entered, edge, holder};
  EXPECT_EQ(slow({110, 118}, {0, 2}, targets), kTargetCentre);
  EXPECT_EQ(snapper_.captured(), edge);
}

TEST_F(CursorSnapperStep, EqualDistancesChooseTheEarlierTarget) {
  const Rect a = kTarget;
  const Rect b = makeRect(140, 100, 20, 20);
  // (130, 77) is 10 points beside both and 23 above both.
  EXPECT_EQ(slow({130, 75}, {0, 2}, {a, b}), kTargetCentre);

  CursorSnapper other;
  EXPECT_EQ(other.step({130, 75}, {0, 2}, false, std::vector<Rect>{b, a}, kStart),
            (Point{150, 110}));
}

TEST_F(CursorSnapperStep, SelectionAlsoConsidersTargetsWhoseBandTheCursorWasAlreadyIn) {
  const Rect entered = makeRect(100, 150, 20, 20);  // band starts at y = 126
  const Rect nearer = kTarget;                      // the cursor is already in its band
  EXPECT_EQ(slow({110, 125}, {0, 2}, {entered, nearer}), kTargetCentre);
  EXPECT_EQ(snapper_.last(), nearer);
}

TEST_F(CursorSnapperStep, NoTriggerMeansNoSnapEvenWithACandidate) {
  // Already in the band of the target and not landing inside it: nothing triggers.
  EXPECT_EQ(slow({120, 125}, {2, 0}, {kTarget}), (Point{122, 125}));
  EXPECT_FALSE(snapper_.captured());
}

TEST_F(CursorSnapperStep, UnusableTargetsAreIgnored) {
  const Rect huge = makeRect(0, 0, 500, 500);
  const Rect sliver = makeRect(60, 100, 3, 20);
  EXPECT_EQ(slow({50, 110}, {2, 0}, {huge, sliver}), (Point{52, 110}));
  EXPECT_FALSE(snapper_.captured());
  // The huge rectangle contains the destination (distance 0) yet the usable target is chosen.
  EXPECT_EQ(slow({74, 110}, {2, 0}, {huge, kTarget}), kTargetCentre);
}

TEST_F(CursorSnapperStep, LastTargetIsExcludedUntilAnotherTargetIsSnapped) {
  const Rect a = kTarget;
  const Rect b = makeRect(300, 100, 20, 20);
  const std::vector<Rect> targets{a, b};
  ASSERT_EQ(slow({74, 110}, {2, 0}, targets), kTargetCentre);

  EXPECT_EQ(slow({74, 110}, {2, 0}, targets), (Point{76, 110}));
  EXPECT_EQ(slow({98, 110}, {2, 0}, targets), (Point{100, 110}));
  EXPECT_FALSE(snapper_.captured());

  EXPECT_EQ(slow({274, 110}, {2, 0}, targets), (Point{310, 110}));
  EXPECT_EQ(snapper_.last(), b);

  EXPECT_EQ(slow({74, 110}, {2, 0}, targets), kTargetCentre);
  EXPECT_EQ(snapper_.last(), a);
}

// Snaps to kTarget, then enters the band of `again` from its left; returns whether that snapped.
bool snapsAgainAfterTarget(const Rect& again) {
  CursorSnapper s;
  EXPECT_EQ(s.step({74, 110}, {2, 0}, false, std::vector<Rect>{kTarget}, kStart), kTargetCentre);
  const Point from{again.minX() - 26, CursorSnapper::center(again).y};
  s.step(from, {2, 0}, false, std::vector<Rect>{again}, kStart + kTick);
  return s.captured().has_value();
}

TEST(CursorSnapperSameTarget, UpToOnePointOfDifferenceIsTheSameTarget) {
  EXPECT_FALSE(snapsAgainAfterTarget(kTarget));
  EXPECT_FALSE(snapsAgainAfterTarget(makeRect(101, 99, 21, 19)));
  EXPECT_FALSE(snapsAgainAfterTarget(makeRect(99, 101, 19, 21)));
  EXPECT_FALSE(snapsAgainAfterTarget(makeRect(100.5, 100.5, 20.5, 20.5)));
  // A mirrored description of the same area is the same target.
  EXPECT_FALSE(snapsAgainAfterTarget(makeRect(120, 120, -20, -20)));
}

TEST(CursorSnapperSameTarget, MoreThanOnePointOfDifferenceIsAnotherTarget) {
  EXPECT_TRUE(snapsAgainAfterTarget(makeRect(100, 100, 21.5, 20)));
  EXPECT_TRUE(snapsAgainAfterTarget(makeRect(100, 100, 20, 18.5)));
  EXPECT_TRUE(snapsAgainAfterTarget(makeRect(101.5, 100, 20, 20)));
  EXPECT_TRUE(snapsAgainAfterTarget(makeRect(100, 98.5, 20, 20)));
}

TEST_F(CursorSnapperStep, ResetForgetsTargetsSpeedAndTime) {
  ASSERT_EQ(slow({74, 110}, {2, 0}, {kTarget}), kTargetCentre);
  snapper_.reset();
  EXPECT_FALSE(snapper_.captured());
  EXPECT_FALSE(snapper_.last());
  EXPECT_EQ(snapper_.speed(), 0);
  EXPECT_EQ(snapper_.lastAt(), 0u);
  // The next step is a first step again, and the old target is eligible again.
  EXPECT_EQ(slow({74, 110}, {2, 0}, {kTarget}), kTargetCentre);
  EXPECT_NEAR(snapper_.speed(), 50.0, 1e-9);
}

// --- settle -------------------------------------------------------------------------------------

TEST(CursorSnapperSettle, EmptyTargetListGivesNone) {
  CursorSnapper s;
  EXPECT_EQ(s.settle({70, 110}, {}), std::nullopt);
}

TEST(CursorSnapperSettle, PullsFromThirtyPointsAwayButNotThirtySeven) {
  CursorSnapper s;
  EXPECT_EQ(s.settle({63, 110}, std::vector<Rect>{kTarget}), std::nullopt);
  EXPECT_FALSE(s.captured());
  EXPECT_EQ(s.settle({70, 110}, std::vector<Rect>{kTarget}), kTargetCentre);
  EXPECT_EQ(s.captured(), kTarget);
  EXPECT_EQ(s.last(), kTarget);
}

TEST(CursorSnapperSettle, StopBandIsHalfOpen) {
  CursorSnapper left;
  EXPECT_EQ(left.settle({64, 110}, std::vector<Rect>{kTarget}), kTargetCentre);
  CursorSnapper right;
  EXPECT_EQ(right.settle({156, 110}, std::vector<Rect>{kTarget}), std::nullopt);
  EXPECT_EQ(right.settle({155.5, 110}, std::vector<Rect>{kTarget}), kTargetCentre);
}

TEST(CursorSnapperSettle, CursorInsideATargetStays) {
  CursorSnapper s;
  const Rect beside = makeRect(125, 100, 20, 20);
  EXPECT_EQ(s.settle({110, 110}, std::vector<Rect>{kTarget, beside}), std::nullopt);
  EXPECT_FALSE(s.captured());
  EXPECT_FALSE(s.last());
}

TEST(CursorSnapperSettle, CursorInsideTheLastSnappedTargetStays) {
  CursorSnapper s;
  ASSERT_EQ(s.settle({70, 110}, std::vector<Rect>{kTarget}), kTargetCentre);
  // Were the last target skipped here, `beside` would pull the cursor.
  const Rect beside = makeRect(125, 100, 20, 20);
  EXPECT_EQ(s.settle({110, 110}, std::vector<Rect>{kTarget, beside}), std::nullopt);
  EXPECT_EQ(s.last(), kTarget);
}

TEST(CursorSnapperSettle, NearestTargetWinsAndTheEarlierOnATie) {
  const Rect a = kTarget;
  const Rect b = makeRect(150, 100, 20, 20);
  CursorSnapper s1;
  EXPECT_EQ(s1.settle({130, 110}, std::vector<Rect>{b, a}), kTargetCentre);
  CursorSnapper s2;
  EXPECT_EQ(s2.settle({135, 110}, std::vector<Rect>{a, b}), kTargetCentre);
  CursorSnapper s3;
  EXPECT_EQ(s3.settle({135, 110}, std::vector<Rect>{b, a}), (Point{160, 110}));
}

TEST(CursorSnapperSettle, LastTargetIsNotACandidate) {
  CursorSnapper s;
  ASSERT_EQ(s.settle({70, 110}, std::vector<Rect>{kTarget}), kTargetCentre);
  EXPECT_EQ(s.settle({70, 110}, std::vector<Rect>{kTarget}), std::nullopt);
  const Rect farther = makeRect(17, 100, 20, 20);  // 33 points to the left of (70, 110)
  EXPECT_EQ(s.settle({70, 110}, std::vector<Rect>{kTarget, farther}), (Point{27, 110}));
  EXPECT_EQ(s.last(), farther);
}

TEST(CursorSnapperSettle, UnusableTargetsNeitherHoldNorPull) {
  CursorSnapper s;
  const Rect huge = makeRect(0, 0, 500, 500);
  EXPECT_EQ(s.settle({70, 110}, std::vector<Rect>{huge}), std::nullopt);
  EXPECT_EQ(s.settle({70, 110}, std::vector<Rect>{huge, kTarget}), kTargetCentre);
}

TEST(CursorSnapperSettle, LeavesSpeedAndTimeAloneAndKeepsCapturedWhenNotPulling) {
  CursorSnapper s;
  s.step({0, 0}, {3, 4}, false, {}, kStart);
  ASSERT_EQ(s.settle({70, 110}, std::vector<Rect>{kTarget}), kTargetCentre);
  EXPECT_NEAR(s.speed(), 125.0, 1e-9);
  EXPECT_EQ(s.lastAt(), kStart);
  EXPECT_EQ(s.settle({500, 500}, std::vector<Rect>{kTarget}), std::nullopt);
  EXPECT_EQ(s.captured(), kTarget);
}

}  // namespace
}  // namespace virelo
