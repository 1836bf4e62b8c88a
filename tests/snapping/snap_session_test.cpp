#include "snapping/snap_session.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "tests/snapping/geometry_printers.h"
#include "tests/snapping/scripted_target_source.h"
#include "tests/snapping/snap_test_scene.h"

namespace virelo {
namespace {

using namespace snaptest;

using Stage = SnapSession::Stage;

constexpr std::uint64_t kStopDelay = 100'000'000;  // 100 ms

// A 20 x 20 target centred on (110, 110); a cursor resting 30 points to its left is pulled onto it.
const Point kBesideTarget{70, 110};

class SnapSessionTest : public ::testing::Test {
 protected:
  std::optional<Point> idle(std::uint64_t now, bool buttonsHeld = false) {
    return session_.idle(now, cursor_, buttonsHeld);
  }

  // A slow, button-free move that ends at `at` at time `now`; nothing to snap to.
  void moveTo(Point at, std::uint64_t now) {
    ASSERT_EQ(session_.move({at.x - 1, at.y}, {1, 0}, false, now), at);
  }

  // Moves to `at` at kStart and lets the pointer rest there until the wide search is requested.
  void restAt(Point at) {
    moveTo(at, kStart);
    cursorAt_ = at;
    ASSERT_EQ(idle(kStart + kStopDelay), std::nullopt);
    ASSERT_EQ(session_.stage(), Stage::awaitingWide);
  }

  std::shared_ptr<ScriptedTargetSource> source_ = std::make_shared<ScriptedTargetSource>();
  SnapSession session_{source_};
  std::optional<Point> cursorAt_;
  int cursorReads_ = 0;
  const std::function<std::optional<Point>()> cursor_ = [this] {
    ++cursorReads_;
    return cursorAt_;
  };
};

// --- move ---------------------------------------------------------------------------------------

using SnapSessionMove = SnapSessionTest;

TEST_F(SnapSessionMove, StartsInactiveWithAFreshSnapper) {
  EXPECT_EQ(session_.stage(), Stage::inactive);
  EXPECT_EQ(session_.movedAt(), 0u);
  EXPECT_EQ(session_.stopPoint(), (Point{0, 0}));
  EXPECT_EQ(session_.snapper().tuning(), SnapTuning{});
  EXPECT_EQ(session_.snapper().lastAt(), 0u);
  EXPECT_FALSE(session_.snapper().last());
}

TEST_F(SnapSessionMove, SnapsAgainstTheNearTargetsAndRefreshesAheadOfTheResult) {
  source_->near = {kTarget};
  EXPECT_EQ(session_.move({74, 110}, {2, 0}, false, kStart), kTargetCentre);
  EXPECT_EQ(session_.snapper().last(), kTarget);
  ASSERT_EQ(source_->refreshes.size(), 1u);
  // 50 points per second to the right: 24 + 50 * 0.06 points ahead of the target's centre.
  EXPECT_EQ(source_->refreshes[0].around, (Point{137, 110}));
  EXPECT_EQ(source_->refreshes[0].now, kStart);
  EXPECT_EQ(session_.stage(), Stage::moving);
  EXPECT_EQ(session_.movedAt(), kStart);
}

TEST_F(SnapSessionMove, UnsnappedMoveRefreshesAheadOfTheDestinationInThePointersHeading) {
  EXPECT_EQ(session_.move({10, 20}, {2, 1}, false, kStart), (Point{12, 21}));
  ASSERT_EQ(source_->refreshes.size(), 1u);
  // A band's width (24) and 60 ms of the smoothed speed ahead, along (2, 1).
  const double lead = 24 + session_.snapper().speed() * 0.06;
  EXPECT_NEAR(source_->refreshes[0].around.x, 12 + 2 / std::sqrt(5.0) * lead, 1e-9);
  EXPECT_NEAR(source_->refreshes[0].around.y, 21 + 1 / std::sqrt(5.0) * lead, 1e-9);
}

TEST_F(SnapSessionMove, DraggingMoveEndsThePullWithoutRefreshButUpdatesTimeAndSpeed) {
  source_->near = {kTarget};
  moveTo({50, 50}, kStart);
  ASSERT_EQ(session_.stage(), Stage::moving);
  source_->refreshes.clear();

  EXPECT_EQ(session_.move({98, 110}, {2, 0}, true, kStart + kTick), (Point{100, 110}));
  EXPECT_EQ(session_.stage(), Stage::inactive);
  EXPECT_TRUE(source_->refreshes.empty());
  EXPECT_EQ(session_.movedAt(), kStart + kTick);
  EXPECT_EQ(session_.snapper().lastAt(), kStart + kTick);
  EXPECT_FALSE(session_.snapper().captured());
  // 25 + 0.2 * (250 - 25): the dragging movement entered the estimate.
  EXPECT_NEAR(session_.snapper().speed(), 70.0, 1e-9);
}

TEST_F(SnapSessionMove, MoveAboveTwiceTheCaptureSpeedWaitsForStillnessWithoutRefresh) {
  // First step: 0.075 * 40 / 0.003 = 1000 points per second.
  session_.move({0, 0}, {40, 0}, false, kStart);
  EXPECT_GT(session_.snapper().speed(), 700);
  EXPECT_EQ(session_.stage(), Stage::moving);
  EXPECT_TRUE(source_->refreshes.empty());
}

TEST_F(SnapSessionMove, MoveTooFastToSnapButBelowTwiceTheCaptureSpeedStillRefreshes) {
  // First step: 0.075 * 20 / 0.003 = 500 points per second.
  source_->near = {kTarget};
  EXPECT_EQ(session_.move({56, 110}, {20, 0}, false, kStart), (Point{76, 110}));
  EXPECT_FALSE(session_.snapper().captured());
  ASSERT_EQ(source_->refreshes.size(), 1u);
  EXPECT_EQ(source_->refreshes[0].around, (Point{130, 110}));
}

TEST_F(SnapSessionMove, MoveWhileAwaitingTheWideResultStartsWaitingAgain) {
  restAt(kBesideTarget);
  moveTo({200, 200}, kStart + 2 * kStopDelay);
  EXPECT_EQ(session_.stage(), Stage::moving);
  EXPECT_EQ(session_.movedAt(), kStart + 2 * kStopDelay);
}

// --- idle ---------------------------------------------------------------------------------------

using SnapSessionIdle = SnapSessionTest;

TEST_F(SnapSessionIdle, InactiveSessionDoesNothing) {
  cursorAt_ = kBesideTarget;
  EXPECT_EQ(idle(kStart), std::nullopt);
  EXPECT_EQ(idle(kStart + 10 * kStopDelay), std::nullopt);
  EXPECT_EQ(session_.stage(), Stage::inactive);
  EXPECT_EQ(cursorReads_, 0);
  EXPECT_TRUE(source_->wideRequests.empty());
  EXPECT_EQ(source_->takeWideCalls, 0);
}

TEST_F(SnapSessionIdle, WideSearchIsRequestedExactlyAfterTheStopDelay) {
  moveTo(kBesideTarget, kStart);
  cursorAt_ = kBesideTarget;

  EXPECT_EQ(idle(kStart + kStopDelay - 1), std::nullopt);
  EXPECT_EQ(session_.stage(), Stage::moving);
  EXPECT_EQ(cursorReads_, 0);
  EXPECT_TRUE(source_->wideRequests.empty());

  EXPECT_EQ(idle(kStart + kStopDelay), std::nullopt);
  EXPECT_EQ(session_.stage(), Stage::awaitingWide);
  EXPECT_EQ(session_.stopPoint(), kBesideTarget);
  EXPECT_EQ(cursorReads_, 1);
  ASSERT_EQ(source_->wideRequests.size(), 1u);
  EXPECT_EQ(source_->wideRequests[0], kBesideTarget);
  EXPECT_EQ(source_->takeWideCalls, 0);
}

TEST_F(SnapSessionIdle, StopDelayCountsFromTheLatestMove) {
  moveTo({60, 110}, kStart);
  moveTo(kBesideTarget, kStart + 50'000'000);
  cursorAt_ = kBesideTarget;
  EXPECT_EQ(idle(kStart + kStopDelay), std::nullopt);
  EXPECT_EQ(session_.stage(), Stage::moving);
  EXPECT_EQ(idle(kStart + 50'000'000 + kStopDelay), std::nullopt);
  EXPECT_EQ(session_.stage(), Stage::awaitingWide);
}

TEST_F(SnapSessionIdle, ButtonHeldWhenStillEndsThePull) {
  moveTo(kBesideTarget, kStart);
  cursorAt_ = kBesideTarget;
  EXPECT_EQ(idle(kStart + kStopDelay, true), std::nullopt);
  EXPECT_EQ(session_.stage(), Stage::inactive);
  EXPECT_EQ(cursorReads_, 0);
  EXPECT_TRUE(source_->wideRequests.empty());
  EXPECT_EQ(idle(kStart + 2 * kStopDelay), std::nullopt);
  EXPECT_TRUE(source_->wideRequests.empty());
}

TEST_F(SnapSessionIdle, UnreadableCursorWhenStillEndsThePull) {
  moveTo(kBesideTarget, kStart);
  EXPECT_EQ(idle(kStart + kStopDelay), std::nullopt);
  EXPECT_EQ(session_.stage(), Stage::inactive);
  EXPECT_EQ(cursorReads_, 1);
  EXPECT_TRUE(source_->wideRequests.empty());
}

TEST_F(SnapSessionIdle, WaitsForTheWideResultWithoutReadingTheCursor) {
  restAt(kBesideTarget);
  EXPECT_EQ(idle(kStart + kStopDelay + kTick), std::nullopt);
  EXPECT_EQ(idle(kStart + kStopDelay + 2 * kTick, true), std::nullopt);
  EXPECT_EQ(session_.stage(), Stage::awaitingWide);
  EXPECT_EQ(source_->takeWideCalls, 2);
  EXPECT_EQ(cursorReads_, 1);
}

TEST_F(SnapSessionIdle, PullsOntoATargetOfTheWideResultWhenTheCursorHasNotMoved) {
  restAt(kBesideTarget);
  source_->finishWide({kTarget});
  EXPECT_EQ(idle(kStart + kStopDelay + kTick), kTargetCentre);
  EXPECT_EQ(session_.stage(), Stage::settled);
  EXPECT_EQ(session_.snapper().last(), kTarget);
  EXPECT_EQ(cursorReads_, 2);
  EXPECT_FALSE(source_->wideReady());
}

TEST_F(SnapSessionIdle, CursorWithinOnePointOfTheStopPointIsStillPulled) {
  restAt(kBesideTarget);
  cursorAt_ = Point{kBesideTarget.x + 1, kBesideTarget.y};
  source_->finishWide({kTarget});
  EXPECT_EQ(idle(kStart + kStopDelay + kTick), kTargetCentre);
}

TEST_F(SnapSessionIdle, CursorMovedTwoPointsDuringTheSearchIsNotPulled) {
  restAt(kBesideTarget);
  cursorAt_ = Point{kBesideTarget.x + 2, kBesideTarget.y};
  source_->finishWide({kTarget});
  EXPECT_EQ(idle(kStart + kStopDelay + kTick), std::nullopt);
  EXPECT_EQ(session_.stage(), Stage::settled);
  EXPECT_FALSE(session_.snapper().last());
}

TEST_F(SnapSessionIdle, ButtonHeldWhenTheResultArrivesMeansNoPull) {
  restAt(kBesideTarget);
  source_->finishWide({kTarget});
  EXPECT_EQ(idle(kStart + kStopDelay + kTick, true), std::nullopt);
  EXPECT_EQ(session_.stage(), Stage::settled);
  EXPECT_EQ(cursorReads_, 1);
  EXPECT_FALSE(source_->wideReady());
}

TEST_F(SnapSessionIdle, UnreadableCursorWhenTheResultArrivesMeansNoPull) {
  restAt(kBesideTarget);
  cursorAt_.reset();
  source_->finishWide({kTarget});
  EXPECT_EQ(idle(kStart + kStopDelay + kTick), std::nullopt);
  EXPECT_EQ(session_.stage(), Stage::settled);
}

TEST_F(SnapSessionIdle, EmptyWideResultSettlesWithoutPull) {
  restAt(kBesideTarget);
  source_->finishWide({});
  EXPECT_EQ(idle(kStart + kStopDelay + kTick), std::nullopt);
  EXPECT_EQ(session_.stage(), Stage::settled);
}

TEST_F(SnapSessionIdle, WideResultWithoutAQualifyingTargetSettlesWithoutPull) {
  restAt(kBesideTarget);
  source_->finishWide({makeRect(0, 0, 500, 500), makeRect(300, 300, 20, 20)});
  EXPECT_EQ(idle(kStart + kStopDelay + kTick), std::nullopt);
  EXPECT_EQ(session_.stage(), Stage::settled);
}

TEST_F(SnapSessionIdle, AfterAPullNothingHappensUntilTheNextMove) {
  restAt(kBesideTarget);
  source_->finishWide({kTarget});
  ASSERT_EQ(idle(kStart + kStopDelay + kTick), kTargetCentre);
  const int reads = cursorReads_;
  const int takes = source_->takeWideCalls;

  for (std::uint64_t t = 2; t < 10; ++t) EXPECT_EQ(idle(kStart + t * kStopDelay), std::nullopt);
  EXPECT_EQ(session_.stage(), Stage::settled);
  EXPECT_EQ(cursorReads_, reads);
  EXPECT_EQ(source_->takeWideCalls, takes);
  EXPECT_EQ(source_->wideRequests.size(), 1u);

  // The next move starts the sequence again.
  const std::uint64_t later = kStart + 20 * kStopDelay;
  moveTo({300, 300}, later);
  cursorAt_ = Point{300, 300};
  EXPECT_EQ(idle(later + kStopDelay), std::nullopt);
  EXPECT_EQ(session_.stage(), Stage::awaitingWide);
  EXPECT_EQ(source_->wideRequests.size(), 2u);
}

// --- cancel -------------------------------------------------------------------------------------

using SnapSessionCancel = SnapSessionTest;

TEST_F(SnapSessionCancel, CancelWhileWaitingForStillnessDropsThePull) {
  moveTo(kBesideTarget, kStart);
  cursorAt_ = kBesideTarget;
  session_.cancel();
  EXPECT_EQ(session_.stage(), Stage::inactive);
  EXPECT_EQ(idle(kStart + kStopDelay), std::nullopt);
  EXPECT_TRUE(source_->wideRequests.empty());
  EXPECT_EQ(session_.movedAt(), kStart);
}

TEST_F(SnapSessionCancel, CancelledWideRequestIsLeftToTheSourceAndNeverTaken) {
  restAt(kBesideTarget);
  session_.cancel();
  EXPECT_EQ(session_.stage(), Stage::inactive);
  const Rect stale = kTarget;
  source_->finishWide({stale});
  EXPECT_EQ(idle(kStart + kStopDelay + kTick), std::nullopt);
  EXPECT_EQ(source_->takeWideCalls, 0);
  EXPECT_TRUE(source_->wideReady());

  // The next rest asks again; that request discards the stale result.
  const std::uint64_t later = kStart + 5 * kStopDelay;
  moveTo(kBesideTarget, later);
  EXPECT_EQ(idle(later + kStopDelay), std::nullopt);
  EXPECT_EQ(source_->wideRequests.size(), 2u);
  EXPECT_EQ(idle(later + kStopDelay + kTick), std::nullopt);
  EXPECT_EQ(session_.stage(), Stage::awaitingWide);

  const Rect fresh = makeRect(40, 130, 20, 20);  // centre (50, 140)
  source_->finishWide({fresh});
  EXPECT_EQ(idle(later + kStopDelay + 2 * kTick), (Point{50, 140}));
  EXPECT_EQ(session_.snapper().last(), fresh);
}

TEST_F(SnapSessionCancel, CancelKeepsTheLastSnappedTargetExcludedFromMoves) {
  source_->near = {kTarget};
  ASSERT_EQ(session_.move({74, 110}, {2, 0}, false, kStart), kTargetCentre);
  session_.cancel();
  EXPECT_EQ(session_.stage(), Stage::inactive);
  EXPECT_EQ(session_.snapper().last(), kTarget);
  EXPECT_EQ(session_.move({74, 110}, {2, 0}, false, kStart + kTick), (Point{76, 110}));
}

TEST_F(SnapSessionCancel, CancelKeepsTheLastSnappedTargetExcludedFromThePull) {
  source_->near = {kTarget};
  ASSERT_EQ(session_.move({74, 110}, {2, 0}, false, kStart), kTargetCentre);
  session_.cancel();
  source_->near.clear();

  const std::uint64_t later = kStart + 5 * kStopDelay;
  moveTo(kBesideTarget, later);
  cursorAt_ = kBesideTarget;
  ASSERT_EQ(idle(later + kStopDelay), std::nullopt);
  source_->finishWide({kTarget});
  EXPECT_EQ(idle(later + kStopDelay + kTick), std::nullopt);
  EXPECT_EQ(session_.stage(), Stage::settled);
}

}  // namespace
}  // namespace virelo
