#include <gtest/gtest.h>

#include <limits>

#include "tests/eventsynth/output_fixture.h"

namespace virelo::test {
namespace {

using ::testing::IsEmpty;

// ---------------------------------------------------------------------------------------------

using PointerButtons = OutputTest;

TEST_F(PointerButtons, PressAndMovePostsDownAtOldPositionThenDragAtNewOne) {
  services.setCursor({100, 100});
  output.pointing(mouseReport(1, 5, -3), 1 * kSecond, false);
  auto posted = services.takePosted();
  ASSERT_EQ(posted.size(), 2u);
  EXPECT_EQ(posted[0].type, kEventLeftMouseDown);
  EXPECT_EQ(posted[0].location, (Point{100, 100}));
  EXPECT_EQ(posted[0].button, 0u);
  EXPECT_EQ(posted[0].field(kFieldMouseClickState), 1);
  EXPECT_EQ(posted[1].type, kEventLeftMouseDragged);
  EXPECT_EQ(posted[1].location, (Point{105, 97}));
  EXPECT_EQ(posted[1].button, 0u);
  EXPECT_EQ(posted[1].field(kFieldMouseClickState), 1);
}

TEST_F(PointerButtons, MouseEventsCarryFlagsButNoTagAndNoRepeatField) {
  output.keyboard(keyReport(0x02), false, 1);
  output.pointing(mouseReport(1, 1, 0, 1), 1 * kSecond, false);
  auto posted = services.takePosted();
  ASSERT_EQ(posted.size(), 4u);
  for (std::size_t i = 1; i < posted.size(); ++i) {
    EXPECT_EQ(posted[i].flags, 0x20002u) << i;
    EXPECT_FALSE(posted[i].fields.count(kFieldSourceUserData)) << i;
    EXPECT_FALSE(posted[i].fields.count(kFieldKeyboardAutorepeat)) << i;
  }
}

TEST_F(PointerButtons, EachButtonHasItsEventTypes) {
  output.pointing(mouseReport(7), 1 * kSecond, false);
  output.pointing(mouseReport(0), 2 * kSecond, false);
  auto posted = services.takePosted();
  ASSERT_EQ(posted.size(), 6u);
  const std::uint32_t types[] = {1, 3, 25, 2, 4, 26};
  const std::uint32_t buttons[] = {0, 1, 2, 0, 1, 2};
  for (std::size_t i = 0; i < 6; ++i) {
    EXPECT_EQ(posted[i].type, types[i]) << i;
    EXPECT_EQ(posted[i].button, buttons[i]) << i;
  }
}

TEST_F(PointerButtons, HighBitsOfTheButtonByteAreIgnored) {
  output.pointing(mouseReport(0xF8), 1 * kSecond, false);
  EXPECT_THAT(services.takePosted(), IsEmpty());
}

TEST_F(PointerButtons, ReleaseCarriesTheClickStateOfThePressItEnds) {
  output.pointing(mouseReport(1), 1 * kSecond, false);
  output.pointing(mouseReport(0), 1 * kSecond + 50 * kMs, false);
  output.pointing(mouseReport(1), 1 * kSecond + 100 * kMs, false);
  output.pointing(mouseReport(0), 1 * kSecond + 150 * kMs, false);
  auto posted = services.takePosted();
  ASSERT_EQ(posted.size(), 4u);
  EXPECT_EQ(posted[1].type, kEventLeftMouseUp);
  EXPECT_EQ(posted[1].field(kFieldMouseClickState), 1);
  EXPECT_EQ(posted[3].type, kEventLeftMouseUp);
  EXPECT_EQ(posted[3].field(kFieldMouseClickState), 2);
}

TEST_F(PointerButtons, FailedButtonEventLeavesTheButtonUnpressedButCountsTheClick) {
  services.failAfter(RecordingEventServices::Kind::mouse, 0);
  EXPECT_THROW(output.pointing(mouseReport(1), 1 * kSecond, false), CGOutputFailure);
  services.allowAll();
  output.pointing(mouseReport(1), 1 * kSecond + 10 * kMs, false);
  auto posted = services.takePosted();
  ASSERT_EQ(posted.size(), 1u);
  EXPECT_EQ(posted[0].type, kEventLeftMouseDown);
  EXPECT_EQ(posted[0].field(kFieldMouseClickState), 2);
}

TEST_F(PointerButtons, UnreadableCursorFailsTheButtonChange) {
  services.failAfter(RecordingEventServices::Kind::plain, 0);
  EXPECT_THROW(output.pointing(mouseReport(1), 1 * kSecond, false), CGOutputFailure);
  EXPECT_THAT(services.takePosted(), IsEmpty());
}

// ---------------------------------------------------------------------------------------------

class PointerClicks : public OutputTest {
 protected:
  int clickAt(Point p, std::uint64_t now) {
    services.setCursor(p);
    output.pointing(mouseReport(1), now, false);
    output.pointing(mouseReport(0), now + 1, false);
    auto posted = services.takePosted();
    EXPECT_EQ(posted.size(), 2u);
    return static_cast<int>(posted.at(0).field(kFieldMouseClickState));
  }
};

TEST_F(PointerClicks, CountsUpWithinIntervalAndRadiusAndStopsAtThree) {
  EXPECT_EQ(clickAt({100, 100}, 1 * kSecond), 1);
  EXPECT_EQ(clickAt({103, 100}, 1 * kSecond + 100 * kMs), 2);
  EXPECT_EQ(clickAt({103, 100}, 1 * kSecond + 200 * kMs), 3);
  EXPECT_EQ(clickAt({103, 100}, 1 * kSecond + 300 * kMs), 3);
  EXPECT_EQ(clickAt({108, 100}, 1 * kSecond + 400 * kMs), 1);
}

TEST_F(PointerClicks, ExactlyFourPointsAwayStillCounts) {
  EXPECT_EQ(clickAt({100, 100}, 1 * kSecond), 1);
  EXPECT_EQ(clickAt({100, 104}, 1 * kSecond + 100 * kMs), 2);
}

TEST_F(PointerClicks, IntervalBoundaryIsInclusive) {
  EXPECT_EQ(clickAt({100, 100}, 1 * kSecond), 1);
  EXPECT_EQ(clickAt({100, 100}, 1 * kSecond + 500 * kMs), 2);
  EXPECT_EQ(clickAt({100, 100}, 2 * kSecond + 1), 1);
}

TEST_F(PointerClicks, InvalidIntervalMakesEveryPressASingleClick) {
  services.setDoubleClickInterval(std::numeric_limits<double>::quiet_NaN());
  EXPECT_EQ(clickAt({100, 100}, 1 * kSecond), 1);
  EXPECT_EQ(clickAt({100, 100}, 1 * kSecond + 1), 1);
}

TEST_F(PointerClicks, ButtonsCountSeparately) {
  EXPECT_EQ(clickAt({100, 100}, 1 * kSecond), 1);
  output.pointing(mouseReport(2), 1 * kSecond + 50 * kMs, false);
  auto posted = services.takePosted();
  ASSERT_EQ(posted.size(), 1u);
  EXPECT_EQ(posted[0].field(kFieldMouseClickState), 1);
}

// ---------------------------------------------------------------------------------------------

using PointerMotion = OutputTest;

TEST_F(PointerMotion, MoveWithoutButtonsIsMouseMovedForButtonZeroWithClickStateZero) {
  services.setCursor({10, 10});
  output.pointing(mouseReport(0, -5, 7), 1 * kSecond, false);
  auto posted = services.takePosted();
  ASSERT_EQ(posted.size(), 1u);
  EXPECT_EQ(posted[0].type, kEventMouseMoved);
  EXPECT_EQ(posted[0].location, (Point{5, 17}));
  EXPECT_EQ(posted[0].button, 0u);
  EXPECT_EQ(posted[0].field(kFieldMouseClickState), 0);
  EXPECT_EQ(posted[0].fields.size(), 1u);
}

TEST_F(PointerMotion, LeftAndRightHeldDragsAsLeftButton) {
  output.pointing(mouseReport(3), 1 * kSecond, false);
  services.takePosted();
  output.pointing(mouseReport(3, 1, 1), 1 * kSecond + 1, false);
  auto posted = services.takePosted();
  ASSERT_EQ(posted.size(), 1u);
  EXPECT_EQ(posted[0].type, kEventLeftMouseDragged);
  EXPECT_EQ(posted[0].button, 0u);
}

TEST_F(PointerMotion, RightAndOtherDragsUseTheirOwnTypeAndClickState) {
  output.pointing(mouseReport(2), 1 * kSecond, false);
  output.pointing(mouseReport(0), 1 * kSecond + 1, false);
  output.pointing(mouseReport(2, 1, 0), 1 * kSecond + 2, false);
  auto posted = services.takePosted();
  ASSERT_EQ(posted.size(), 4u);
  EXPECT_EQ(posted[3].type, kEventRightMouseDragged);
  EXPECT_EQ(posted[3].button, 1u);
  EXPECT_EQ(posted[3].field(kFieldMouseClickState), 2);

  output.pointing(mouseReport(4, 1, 0), 1 * kSecond + 3, false);
  posted = services.takePosted();
  ASSERT_EQ(posted.size(), 3u);  // right up, other down, drag
  EXPECT_EQ(posted[2].type, kEventOtherMouseDragged);
  EXPECT_EQ(posted[2].button, 2u);
}

TEST_F(PointerMotion, TargetOffEveryDisplayLandsOnTheDisplayNearestTheOldPosition) {
  services.setDisplays(
      std::vector<Rect>{makeRect(0, 0, 1920, 1080), makeRect(1920, 0, 1280, 1024)});
  services.setCursor({1915, 1075});
  // Target (1935, 1095) is below both displays; the old position is on the first one.
  output.pointing(mouseReport(0, 20, 20), 1 * kSecond, false);
  auto posted = services.takePosted();
  ASSERT_EQ(posted.size(), 1u);
  EXPECT_EQ(posted[0].location, (Point{1919, 1079}));
}

TEST_F(PointerMotion, NearestDisplayIsChosenFromTheOldPositionNotTheTarget) {
  services.setDisplays(std::vector<Rect>{makeRect(0, 0, 100, 100), makeRect(300, 0, 100, 100)});
  services.setCursor({99, 50});  // on the first display
  // The target (226, 50) is off both displays and nearer the second one.
  output.pointing(mouseReport(0, 127, 0), 1 * kSecond, false);
  auto posted = services.takePosted();
  ASSERT_EQ(posted.size(), 0u);   // clamps to (99, 50): no change
  services.setCursor({150, 50});  // in the gap, 50 from the first, 150 from the second
  output.pointing(mouseReport(0, 127, 0), 1 * kSecond + 1, false);
  posted = services.takePosted();
  ASSERT_EQ(posted.size(), 1u);
  EXPECT_EQ(posted[0].location, (Point{99, 50}));
}

TEST_F(PointerMotion, MoveThatChangesNothingPostsNothing) {
  services.setCursor({1919, 500});
  output.pointing(mouseReport(0, 10, 0), 1 * kSecond, false);
  EXPECT_THAT(services.takePosted(), IsEmpty());
}

TEST_F(PointerMotion, NoDisplaysMeansNoClamping) {
  services.setDisplays(std::vector<Rect>{});
  services.setCursor({5, 5});
  output.pointing(mouseReport(0, -10, -10), 1 * kSecond, false);
  auto posted = services.takePosted();
  ASSERT_EQ(posted.size(), 1u);
  EXPECT_EQ(posted[0].location, (Point{-5, -5}));
}

TEST_F(PointerMotion, ZeroMoveWithSnapCallsNoCallbackAndPostsNothing) {
  int calls = 0;
  output.setSnapStep([&](Point, Vector, bool, std::uint64_t) {
    ++calls;
    return Point{};
  });
  output.pointing(mouseReport(0), 1 * kSecond, true);
  EXPECT_EQ(calls, 0);
  EXPECT_THAT(services.takePosted(), IsEmpty());
}

TEST_F(PointerMotion, SnappedMoveUsesTheCallbackTargetAndStillClamps) {
  services.setCursor({100, 100});
  Point seenCurrent;
  Vector seenDelta;
  bool seenDragging = true;
  std::uint64_t seenNow = 0;
  output.setSnapStep([&](Point current, Vector delta, bool dragging, std::uint64_t now) {
    seenCurrent = current;
    seenDelta = delta;
    seenDragging = dragging;
    seenNow = now;
    return Point{5000, 40};
  });
  output.pointing(mouseReport(0, 3, -2), 7 * kSecond, true);
  EXPECT_EQ(seenCurrent, (Point{100, 100}));
  EXPECT_EQ(seenDelta, (Vector{3, -2}));
  EXPECT_FALSE(seenDragging);
  EXPECT_EQ(seenNow, 7 * kSecond);
  auto posted = services.takePosted();
  ASSERT_EQ(posted.size(), 1u);
  EXPECT_EQ(posted[0].location, (Point{1919, 40}));
}

TEST_F(PointerMotion, UnsnappedMoveIgnoresTheCallback) {
  int calls = 0;
  output.setSnapStep([&](Point, Vector, bool, std::uint64_t) {
    ++calls;
    return Point{};
  });
  output.pointing(mouseReport(0, 1, 1), 1 * kSecond, false);
  EXPECT_EQ(calls, 0);
  EXPECT_EQ(services.takePosted().size(), 1u);
}

TEST_F(PointerMotion, SnapCallbackSeesDraggingWhileAButtonIsHeld) {
  bool seenDragging = false;
  output.setSnapStep([&](Point current, Vector, bool dragging, std::uint64_t) {
    seenDragging = dragging;
    return current;
  });
  output.pointing(mouseReport(1, 1, 1), 1 * kSecond, true);
  EXPECT_TRUE(seenDragging);
}

TEST_F(PointerMotion, DisplaysAreQueriedAgainOnlyAfterMoreThanTwoSeconds) {
  output.pointing(mouseReport(0, 1, 0), 10 * kSecond, false);
  EXPECT_EQ(services.displayQueries(), 1);
  output.pointing(mouseReport(0, 1, 0), 11 * kSecond, false);
  output.pointing(mouseReport(0, 1, 0), 12 * kSecond, false);
  EXPECT_EQ(services.displayQueries(), 1);
  output.pointing(mouseReport(0, 1, 0), 12 * kSecond + 1, false);
  EXPECT_EQ(services.displayQueries(), 2);
}

TEST_F(PointerMotion, ButtonsAndWheelDoNotQueryDisplays) {
  output.pointing(mouseReport(1, 0, 0, 1), 10 * kSecond, false);
  EXPECT_EQ(services.displayQueries(), 0);
}

TEST_F(PointerMotion, DisplayListErrorKeepsThePreviousListAndRestartsThePeriod) {
  output.pointing(mouseReport(0, 1, 0), 10 * kSecond, false);
  services.setDisplays(std::nullopt);
  output.pointing(mouseReport(0, 1, 0), 13 * kSecond, false);
  EXPECT_EQ(services.displayQueries(), 2);
  services.setCursor({1919, 10});
  output.pointing(mouseReport(0, 5, 0), 14 * kSecond, false);
  EXPECT_EQ(services.displayQueries(), 2);
  EXPECT_THAT(services.takePosted().size(), 2u);  // the first two moves; the last is clamped
}

TEST_F(PointerMotion, DisplayListErrorWithNothingCachedQueriesOnEveryMove) {
  services.setDisplays(std::nullopt);
  output.pointing(mouseReport(0, 1, 0), 10 * kSecond, false);
  output.pointing(mouseReport(0, 1, 0), 10 * kSecond + 1, false);
  EXPECT_EQ(services.displayQueries(), 2);
  EXPECT_EQ(services.takePosted().size(), 2u);
}

TEST_F(PointerMotion, FailedMoveEventThrowsAndPostsNothing) {
  services.failAfter(RecordingEventServices::Kind::mouse, 0);
  EXPECT_THROW(output.pointing(mouseReport(0, 1, 0), 1 * kSecond, false), CGOutputFailure);
  EXPECT_THAT(services.takePosted(), IsEmpty());
}

// ---------------------------------------------------------------------------------------------

using PointerWheel = OutputTest;

TEST_F(PointerWheel, NegativeByteScrollsThatManyLines) {
  output.pointing(mouseReport(0, 0, 0, static_cast<std::int8_t>(0xFD)), 1 * kSecond, false);
  auto posted = services.takePosted();
  ASSERT_EQ(posted.size(), 1u);
  EXPECT_EQ(posted[0].type, kEventScrollWheel);
  EXPECT_EQ(posted[0].wheelUnits, ScrollUnits::lines);
  EXPECT_EQ(posted[0].wheelValue, -3);
}

TEST_F(PointerWheel, ZeroWheelPostsNoScroll) {
  output.pointing(mouseReport(0), 1 * kSecond, false);
  EXPECT_THAT(services.takePosted(), IsEmpty());
}

TEST_F(PointerWheel, ScrollComesAfterButtonsAndMovement) {
  output.pointing(mouseReport(1, 2, 0, 1), 1 * kSecond, false);
  auto posted = services.takePosted();
  ASSERT_EQ(posted.size(), 3u);
  EXPECT_EQ(posted[0].type, kEventLeftMouseDown);
  EXPECT_EQ(posted[1].type, kEventLeftMouseDragged);
  EXPECT_EQ(posted[2].type, kEventScrollWheel);
}

TEST_F(PointerWheel, FailedScrollThrows) {
  services.failAfter(RecordingEventServices::Kind::scroll, 0);
  EXPECT_THROW(output.pointing(mouseReport(0, 0, 0, 1), 1 * kSecond, false), CGOutputFailure);
}

TEST_F(PointerWheel, ShortReportReadsMissingBytesAsZero) {
  const std::vector<std::uint8_t> shortReport{1};
  output.pointing(shortReport, 1 * kSecond, false);
  auto posted = services.takePosted();
  ASSERT_EQ(posted.size(), 1u);
  EXPECT_EQ(posted[0].type, kEventLeftMouseDown);
}

// ---------------------------------------------------------------------------------------------

using PointerCursor = OutputTest;

TEST_F(PointerCursor, MoveCursorPostsMouseMovedUnclampedWithFlags) {
  output.keyboard(keyReport(0x08), false, 1);
  services.takePosted();
  output.moveCursor({-50, 5000});
  auto posted = services.takePosted();
  ASSERT_EQ(posted.size(), 1u);
  EXPECT_EQ(posted[0].type, kEventMouseMoved);
  EXPECT_EQ(posted[0].location, (Point{-50, 5000}));
  EXPECT_EQ(posted[0].field(kFieldMouseClickState), 0);
  EXPECT_EQ(posted[0].flags, 0x100008u);
}

TEST_F(PointerCursor, MoveCursorWhileAButtonIsHeldDoesNothing) {
  output.pointing(mouseReport(4), 1 * kSecond, false);
  services.takePosted();
  output.moveCursor({5, 5});
  EXPECT_THAT(services.takePosted(), IsEmpty());
}

TEST_F(PointerCursor, MoveCursorFailureThrows) {
  services.failAfter(RecordingEventServices::Kind::mouse, 0);
  EXPECT_THROW(output.moveCursor({5, 5}), CGOutputFailure);
}

TEST_F(PointerCursor, CursorLocationReadsThePositionOrNothing) {
  services.setCursor({12.5, 7});
  EXPECT_EQ(output.cursorLocation(), (Point{12.5, 7}));
  services.failAfter(RecordingEventServices::Kind::plain, 0);
  EXPECT_EQ(output.cursorLocation(), std::nullopt);
}

// ---------------------------------------------------------------------------------------------

TEST(PointerOnScreen, InsideAnyDisplayOrNoDisplaysKeepsThePoint) {
  const std::vector<Rect> screens{makeRect(0, 0, 10, 10), makeRect(10, 0, 10, 10)};
  EXPECT_EQ(CGEventOutput::onScreen({15, 5}, {0, 0}, screens), (Point{15, 5}));
  EXPECT_EQ(CGEventOutput::onScreen({50, 50}, {0, 0}, {}), (Point{50, 50}));
}

TEST(PointerOnScreen, RightAndBottomEdgesAreOutside) {
  const std::vector<Rect> screens{makeRect(0, 0, 10, 10)};
  EXPECT_EQ(CGEventOutput::onScreen({10, 10}, {5, 5}, screens), (Point{9, 9}));
  EXPECT_EQ(CGEventOutput::onScreen({-3, 4}, {5, 5}, screens), (Point{0, 4}));
}

TEST(PointerOnScreen, TiesKeepTheEarlierDisplay) {
  const std::vector<Rect> screens{makeRect(0, 0, 10, 10), makeRect(20, 0, 10, 10)};
  EXPECT_EQ(CGEventOutput::onScreen({15, 20}, {15, 5}, screens), (Point{9, 9}));
}

TEST(PointerOnScreen, NegativeSizedRectanglesAreStandardised) {
  const std::vector<Rect> screens{makeRect(10, 10, -10, -10)};
  EXPECT_EQ(CGEventOutput::onScreen({20, 20}, {5, 5}, screens), (Point{9, 9}));
}

}  // namespace
}  // namespace virelo::test
