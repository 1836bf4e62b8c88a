// What the controller's buttons and second stick ask for, and the dwell click.
#include "tools/steer/pad_actions.h"

#include <gtest/gtest.h>

#include "tools/steer/control_order.h"

namespace virelo::steer {
namespace {

PadState with(std::initializer_list<PadButton> buttons) {
  PadState pad;
  for (PadButton b : buttons) pad.set(b, true);
  return pad;
}

TEST(PadActions, ButtonsAndTheDpadAreHeldWhileTheyArePressed) {
  EXPECT_EQ(heldFor(with({PadButton::a, PadButton::x})).buttons, 1 | 4);
  EXPECT_EQ(heldFor(with({PadButton::b})).buttons, 2);
  EXPECT_EQ(heldFor(with({PadButton::up, PadButton::left})).keys, (std::set<int>{80, 82}));
  EXPECT_TRUE(heldFor(with({PadButton::y, PadButton::back, PadButton::rightShoulder})).empty());
}

TEST(PadActions, TogglesAndControlStepsActOnThePressOnly) {
  const PadState shoulders = with({PadButton::leftShoulder, PadButton::rightShoulder});
  Presses both;
  both.previousControl = both.nextControl = true;
  EXPECT_EQ(pressesBetween({}, shoulders), both);
  EXPECT_EQ(pressesBetween(shoulders, shoulders), Presses{});
  EXPECT_TRUE(pressesBetween({}, with({PadButton::back})).togglePause);
  EXPECT_TRUE(pressesBetween({}, with({PadButton::y})).toggleSnapping);
}

TEST(PadActions, TheSecondStickScrollsAtItsRateUpAndDown) {
  Scroller scroller;
  const Response response;
  int up = 0;
  for (int i = 0; i < 130; ++i) up += scroller.steps({0, -1}, response, 15, 0.008);
  EXPECT_EQ(up, 15);
  int down = 0;
  for (int i = 0; i < 130; ++i) down += scroller.steps({0, 0.999}, response, 10, 0.008);
  EXPECT_EQ(down, -10);
  EXPECT_EQ(scroller.steps({0.05, 0.05}, response, 15, 10), 0);
}

TEST(Dwell, ClicksOnceAfterThePointerRestsAndAgainOnlyAfterItMoved) {
  constexpr std::uint64_t ms = 1'000'000;
  Dwell dwell(6, 800 * ms);
  EXPECT_FALSE(dwell.update({}, 0));  // never moved yet
  EXPECT_FALSE(dwell.update({0, 0}, 2000 * ms));
  EXPECT_FALSE(dwell.update({20, 0}, 2000 * ms));
  EXPECT_FALSE(dwell.update({3, 3}, 2700 * ms));  // wandering within the radius
  EXPECT_TRUE(dwell.update({0, 0}, 2800 * ms));
  EXPECT_FALSE(dwell.update({0, 0}, 5000 * ms));
  EXPECT_FALSE(dwell.update({0, 10}, 5000 * ms));
  EXPECT_TRUE(dwell.update({0, 0}, 5800 * ms));
}

TEST(ControlOrder, RowsTopToBottomLeftToRightAndTheNeighboursOfThePointer) {
  // Two rows, the second one's controls a little out of line; given shuffled.
  const Box ok{300, 200, 80, 30}, cancel{200, 204, 80, 24}, name{20, 40, 200, 24},
      search{240, 38, 60, 28};
  const std::vector<Box> ordered = inReadingOrder({ok, search, cancel, name});
  ASSERT_EQ(ordered, (std::vector<Box>{name, search, cancel, ok}));
  // On a control's centre: its neighbours, wrapping at the ends.
  EXPECT_EQ(neighbour(ordered, search.centreX(), search.centreY(), true), 2u);
  EXPECT_EQ(neighbour(ordered, name.centreX(), name.centreY(), false), 3u);
  EXPECT_EQ(neighbour(ordered, ok.centreX(), ok.centreY(), true), 0u);
  // Between controls: the ones around the pointer.
  EXPECT_EQ(neighbour(ordered, 100, 120, true), 2u);
  EXPECT_EQ(neighbour(ordered, 100, 120, false), 1u);
  EXPECT_EQ(neighbour({}, 0, 0, true), std::nullopt);
}

}  // namespace
}  // namespace virelo::steer
