#include "targets/snap_target_finder.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "fake_platform.h"

namespace virelo {
namespace {

using ::testing::ElementsAre;
using testing::FakePlatform;
using ::testing::IsEmpty;
using testing::Turnstile;

using namespace std::chrono_literals;

constexpr std::uint64_t kMs = 1'000'000;
constexpr std::uint64_t T = 1'000'000 * kMs;  // any monotonic reading well after boot
const Point P{500, 500};

// One window filling the display with one 10 × 10 button at P: a search around P finds it, a
// search far from it finds nothing.
class FinderTest : public ::testing::Test {
 protected:
  FinderTest() {
    fake.window(100, makeRect(0, 0, 1920, 1080));
    fake.control("button", 100, "AXButton", kButton);
    fake.hitRegion(kButton, "button");
  }

  // Kept alive by the finder too, for a search it abandoned.
  std::shared_ptr<FakePlatform> shared = std::make_shared<FakePlatform>();
  FakePlatform& fake = *shared;
  std::shared_ptr<SnapTargetFinder> finder;
  static constexpr Rect kButton = {{495, 495}, {10, 10}};

  void make() {
    auto platform = fake.platform();
    platform.keepAlive = shared;
    finder = SnapTargetFinder::create(platform);
  }
  // After the owner let go: waits until an abandoned search has returned and the finder is gone.
  void awaitFinderGone() {
    while (shared.use_count() > 1) std::this_thread::yield();
  }
  // One accepted near search at T and P, finished.
  void firstSearch() {
    make();
    finder->refresh(P, T);
    finder->drain();
    ASSERT_EQ(fake.searches(), 1);
  }
  // Whether a refresh starts a search.
  bool accepted(Point p, std::uint64_t now) {
    int before = fake.searches();
    finder->refresh(p, now);
    finder->drain();
    return fake.searches() > before;
  }
};

TEST_F(FinderTest, ConstructionSetsTheMessagingTimeoutOnTheSystemWideElement) {
  make();
  EXPECT_EQ(fake.messagingTimeout(), 0.05f);
  EXPECT_EQ(fake.searches(), 0);
  EXPECT_THAT(finder->targets(), IsEmpty());
  EXPECT_FALSE(finder->takeWide());
}

// ---- throttling of near searches ----

TEST_F(FinderTest, FirstRefreshIsAcceptedAndPublishes) {
  make();
  EXPECT_TRUE(accepted(P, T));
  EXPECT_THAT(finder->targets(), ElementsAre(kButton));
}

TEST_F(FinderTest, RefreshFiftyMillisecondsLaterIsDropped) {
  firstSearch();
  EXPECT_FALSE(accepted({P.x + 100, P.y}, T + 50 * kMs));
}

TEST_F(FinderTest, RefreshSixtyMillisecondsLaterAndTenPointsAwayIsAccepted) {
  firstSearch();
  EXPECT_TRUE(accepted({P.x + 6, P.y + 8}, T + 60 * kMs));
}

TEST_F(FinderTest, RefreshJustUnderSixtyMillisecondsIsDropped) {
  firstSearch();
  EXPECT_FALSE(accepted({P.x + 100, P.y}, T + 60 * kMs - 1));
}

TEST_F(FinderTest, RefreshThreePointsAwayWithinTheRepeatTimeIsDropped) {
  firstSearch();
  EXPECT_FALSE(accepted({P.x + 3, P.y}, T + 100 * kMs));
  EXPECT_FALSE(accepted(P, T + 250 * kMs - 1));
}

TEST_F(FinderTest, RefreshEightPointsAwayIsAccepted) {
  firstSearch();
  EXPECT_TRUE(accepted({P.x, P.y + 8}, T + 60 * kMs));
}

TEST_F(FinderTest, RefreshAtTheSamePointAfterTwoHundredFiftyMillisecondsIsAccepted) {
  firstSearch();
  EXPECT_TRUE(accepted(P, T + 250 * kMs));
}

TEST_F(FinderTest, AcceptedRefreshMovesTheReference) {
  firstSearch();
  Point q{P.x + 10, P.y};
  EXPECT_TRUE(accepted(q, T + 60 * kMs));
  EXPECT_FALSE(accepted({q.x + 3, q.y}, T + 130 * kMs));   // 3 points from q
  EXPECT_FALSE(accepted({q.x + 20, q.y}, T + 110 * kMs));  // 50 ms after the second request
  EXPECT_TRUE(accepted({q.x + 20, q.y}, T + 120 * kMs));
}

TEST_F(FinderTest, ClockGoingBackwardsWrapsToALongTime) {
  firstSearch();
  EXPECT_TRUE(accepted(P, T - 1));
}

TEST_F(FinderTest, RefreshWhileASearchIsPendingIsDroppedAndMovesNothing) {
  Turnstile gate;
  fake.onSearch([&] { gate.pass(); });
  make();
  finder->refresh(P, T);
  gate.awaitArrivals(1);
  // Far away and much later, still dropped: one near search at a time.
  finder->refresh({P.x + 500, P.y}, T + 100 * kMs);
  gate.permit(10);
  finder->drain();
  EXPECT_EQ(fake.searches(), 1);
  // The dropped request did not move the reference: 120 ms after T and 10 points from P is
  // accepted, though it is only 20 ms after the dropped one and far from its point.
  EXPECT_TRUE(accepted({P.x + 10, P.y}, T + 120 * kMs));
}

TEST_F(FinderTest, DroppedRequestsDoNotQueueUp) {
  Turnstile gate;
  fake.onSearch([&] { gate.pass(); });
  make();
  finder->refresh(P, T);
  gate.awaitArrivals(1);
  for (int i = 1; i <= 20; ++i) finder->refresh({P.x + 50.0 * i, P.y}, T + i * 300 * kMs);
  gate.permit(100);
  finder->drain();
  EXPECT_EQ(fake.searches(), 1);
}

TEST_F(FinderTest, NearSearchUsesTheNearRing) {
  make();
  finder->refresh(P, T);
  finder->drain();
  EXPECT_EQ(fake.count("hit"), 13);
}

// ---- wide searches ----

TEST_F(FinderTest, WideSearchUsesTheWideRingAndIsTakenOnce) {
  make();
  finder->scanWide(P);
  finder->drain();
  EXPECT_EQ(fake.count("hit"), 25);
  auto first = finder->takeWide();
  ASSERT_TRUE(first);
  EXPECT_THAT(*first, ElementsAre(kButton));
  EXPECT_FALSE(finder->takeWide());
}

TEST_F(FinderTest, EmptyWideResultIsStillHandedOutOnce) {
  make();
  finder->scanWide({1500, 900});
  finder->drain();
  auto first = finder->takeWide();
  ASSERT_TRUE(first);
  EXPECT_THAT(*first, IsEmpty());
  EXPECT_FALSE(finder->takeWide());
}

TEST_F(FinderTest, OnlyTheLatestOfTwoQuickWideSearchesIsHandedOut) {
  Turnstile gate;
  fake.onSearch([&] { gate.pass(); });
  make();
  finder->scanWide(P);  // would find the button
  gate.awaitArrivals(1);
  finder->scanWide({1500, 900});  // finds nothing
  EXPECT_FALSE(finder->takeWide());
  gate.permit();  // the first search finishes; its result is dropped
  gate.awaitArrivals(2);
  EXPECT_FALSE(finder->takeWide());
  gate.permit();
  finder->drain();
  auto wide = finder->takeWide();
  ASSERT_TRUE(wide);
  EXPECT_THAT(*wide, IsEmpty());
  EXPECT_FALSE(finder->takeWide());
}

TEST_F(FinderTest, WideSearchesOvertakenWhileWaitingNeverRunAndOnlyTheLatestDoes) {
  Turnstile gate;
  fake.onSearch([&] { gate.pass(); });
  make();
  finder->refresh(P, T);  // holds the queue
  gate.awaitArrivals(1);
  for (int i = 0; i < 20; ++i) finder->scanWide(P);
  finder->scanWide({1500, 900});
  gate.permit(100);
  finder->drain();
  EXPECT_EQ(fake.searches(), 2);  // the near search and the latest wide one
  auto wide = finder->takeWide();
  ASSERT_TRUE(wide);
  EXPECT_THAT(*wide, IsEmpty());
}

TEST_F(FinderTest, NewWideRequestDiscardsAnUntakenResult) {
  Turnstile gate;
  make();
  finder->scanWide(P);
  finder->drain();
  fake.onSearch([&] { gate.pass(); });
  finder->scanWide({1500, 900});
  EXPECT_FALSE(finder->takeWide());
  gate.permit();
  finder->drain();
  auto wide = finder->takeWide();
  ASSERT_TRUE(wide);
  EXPECT_THAT(*wide, IsEmpty());
}

TEST_F(FinderTest, WideAndNearSearchesShareTheQueueInOrder) {
  std::vector<std::string> order;
  std::mutex mutex;
  make();
  fake.onSearch([&] {
    std::lock_guard<std::mutex> guard(mutex);
    order.push_back(fake.count("hit") == 0 ? "first" : "later");
  });
  finder->refresh(P, T);
  finder->scanWide(P);
  finder->drain();
  // The near search ran first (13 hits), then the wide one (25 more).
  EXPECT_EQ(fake.count("hit"), 38);
  EXPECT_THAT(order, ElementsAre("first", "later"));
}

// ---- accessibility permission ----

TEST_F(FinderTest, WithoutPermissionSearchesPublishEmptyLists) {
  make();
  finder->refresh(P, T);
  finder->drain();
  ASSERT_THAT(finder->targets(), ElementsAre(kButton));
  fake.setTrusted(false);
  fake.clearLog();
  finder->refresh(P, T + 300 * kMs);
  finder->scanWide(P);
  finder->drain();
  EXPECT_THAT(finder->targets(), IsEmpty());
  auto wide = finder->takeWide();
  ASSERT_TRUE(wide);
  EXPECT_THAT(*wide, IsEmpty());
  EXPECT_THAT(fake.log(), IsEmpty());  // nothing else of the platform was asked
}

// ---- the session's calls never wait for a search ----

TEST_F(FinderTest, SessionCallsReturnWhileASearchIsHeldUp) {
  Turnstile gate;
  fake.onSearch([&] { gate.pass(); });
  make();
  finder->refresh(P, T);
  gate.awaitArrivals(1);
  // The queue is stuck inside the platform. Every call below must come back on its own; if one
  // waited for the search this test would never finish.
  EXPECT_THAT(finder->targets(), IsEmpty());
  finder->refresh({P.x + 100, P.y}, T + 500 * kMs);
  finder->scanWide(P);
  EXPECT_FALSE(finder->takeWide());
  finder->scanWide(P);
  EXPECT_FALSE(finder->takeWide());
  EXPECT_EQ(fake.searches(), 1);  // still the first one
  gate.permit(10);
  finder->drain();
  EXPECT_THAT(finder->targets(), ElementsAre(kButton));
  EXPECT_EQ(fake.searches(), 2);  // the near search, then the latest wide one
  EXPECT_TRUE(finder->takeWide());
}

TEST_F(FinderTest, SessionCallsInterleavedWithRunningSearchesAreRaceFree) {
  // Run under ThreadSanitizer: the four calls race with the queue's searches and publications.
  make();
  int taken = 0;
  for (int i = 0; i < 50; ++i) {
    finder->refresh({P.x + (i % 2) * 20.0, P.y}, T + i * 300 * kMs);
    finder->scanWide(P);
    (void)finder->targets();
    if (finder->takeWide()) ++taken;
  }
  finder->drain();
  if (finder->takeWide()) ++taken;
  EXPECT_GE(taken, 1);
  EXPECT_THAT(finder->targets(), ElementsAre(kButton));
}

// ---- lifetime ----

TEST_F(FinderTest, QueuedSearchesDoNothingOnceTheFinderIsGone) {
  Turnstile gate;
  fake.onSearch([&] { gate.pass(); });
  make();
  std::weak_ptr<SnapTargetFinder> weak = finder;
  finder->refresh(P, T);
  gate.awaitArrivals(1);
  finder->scanWide(P);
  finder->scanWide(P);
  // Releasing the owner's handle discards the two queued searches; the running one gives up
  // once it gets past the gate.
  finder.reset();
  EXPECT_TRUE(weak.expired());
  gate.permit(10);
  awaitFinderGone();
  EXPECT_EQ(fake.searches(), 1);
  // The running search gave up before its next request: the window list was never asked for.
  EXPECT_EQ(fake.count("windows"), 0);
  fake.clearLog();
}

TEST_F(FinderTest, ReleasingTheFinderNeverWaitsForARunningSearch) {
  Turnstile gate;
  fake.onSearch([&] { gate.pass(); });
  make();
  finder->scanWide(P);
  gate.awaitArrivals(1);  // the search is inside the platform and stays there
  std::atomic<bool> released{false};
  std::thread owner([&] {
    finder.reset();
    released = true;
  });
  // Only a guard against a release that waits: it would hold on until the gate opens.
  for (int i = 0; i < 10000 && !released; ++i) std::this_thread::sleep_for(1ms);
  EXPECT_TRUE(released);
  gate.permit();
  owner.join();
  awaitFinderGone();
  EXPECT_EQ(fake.count("windows"), 0);  // the abandoned search asked nothing more
}

TEST_F(FinderTest, NothingUsesThePlatformAfterTheFinderIsDestroyed) {
  make();
  finder->refresh(P, T);
  finder->scanWide(P);
  finder->scanWide({P.x + 1, P.y});
  finder.reset();  // released with work possibly queued or running
  awaitFinderGone();
  auto before = fake.log().size();
  int searches = fake.searches();
  std::this_thread::yield();
  EXPECT_EQ(fake.log().size(), before);
  EXPECT_EQ(fake.searches(), searches);
}

// ---- the desk's scale ----

// A window with a close button in its title bar and a button whose right edge lies 22 points
// left of the search point, which also lies in the window's corner area: drawn at `scale`.
void drawDesk(FakePlatform& fake, double scale) {
  auto at = [scale](double x, double y, double w, double h) {
    return makeRect(x * scale, y * scale, w * scale, h * scale);
  };
  fake.window(100, at(200, 200, 600, 400));
  fake.windowElement("window", 100, at(200, 200, 600, 400));
  fake.control("close", 100, "AXButton", at(210, 210, 16, 16), "window");
  fake.setButton("window", "AXCloseButton", "close");
  fake.control("button", 100, "AXButton", at(300, 250, 20, 20), "window");
  fake.hitRegion(at(300, 250, 20, 20), "button");
}

TEST(FinderScale, ADeskAtTwiceTheScaleOffersTheSameTargetsInItsPixels) {
  auto search = [](double drawnAt, double finderScale) {
    FakePlatform fake;
    drawDesk(fake, drawnAt);
    auto finder = SnapTargetFinder::create(fake.platform(), finderScale);
    finder->refresh({342 * drawnAt, 260 * drawnAt}, T);
    finder->drain();
    return finder->targets();
  };
  const std::vector<Rect> unscaled = search(1, 1);
  ASSERT_THAT(unscaled, ElementsAre(makeRect(210, 210, 16, 16), makeRect(300, 250, 20, 20)));
  EXPECT_THAT(search(2, 2), ElementsAre(makeRect(420, 420, 32, 32), makeRect(600, 500, 40, 40)));
}

}  // namespace
}  // namespace virelo
