// Absolute pointing at its lowest layer: placePointer() against stand-in pointers that move as
// the "cgevent" host does (exactly) and as an accelerated virtual mouse does (more than sent),
// and the rule of where the pointer's position can be known.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <map>

#include "virelo/client/errors.h"
#include "virelo/client/x11.h"

namespace virelo::client {
namespace {

// A pointer on a 1920x1080 screen whose moves go through `gain` (counts to pixels per axis).
struct FakePointer {
  PointerPosition at{960, 540};
  int (*gain)(int counts) = [](int counts) { return counts; };
  int rounds = 0;  // readings after moves
  bool moved = false;

  PointerDriver driver() {
    return PointerDriver{[this]() -> std::optional<PointerPosition> {
                           if (moved) ++rounds;
                           moved = false;
                           return at;
                         },
                         [this](int dx, int dy) {
                           EXPECT_LE(std::abs(dx), 127);
                           EXPECT_LE(std::abs(dy), 127);
                           at.x = std::clamp(at.x + gain(dx), 0, 1919);
                           at.y = std::clamp(at.y + gain(dy), 0, 1079);
                           moved = true;
                         }};
  }
};

TEST(PointerPlacement, AnUnacceleratedPointerLandsInOneRound) {
  FakePointer pointer;
  EXPECT_EQ(placePointer(pointer.driver(), {12, 1070}), (PointerPosition{12, 1070}));
  EXPECT_EQ(pointer.rounds, 1);
}

TEST(PointerPlacement, AnAcceleratedPointerIsCorrectedUntilExact) {
  FakePointer pointer;
  // Faster moves go farther, as with the X server's threshold acceleration or libinput's.
  pointer.gain = [](int counts) { return std::abs(counts) > 4 ? counts * 5 / 2 : counts; };
  EXPECT_EQ(placePointer(pointer.driver(), {101, 877}), (PointerPosition{101, 877}));
  EXPECT_GT(pointer.rounds, 1);
  EXPECT_LE(pointer.rounds, kPlacementRounds);
}

TEST(PointerPlacement, APositionOutOfReachFailsWithWhereThePointerStopped) {
  FakePointer pointer;
  try {
    placePointer(pointer.driver(), {2500, 300});
    FAIL() << "placed off the screen";
  } catch (const PointerNotPlaced& e) {
    EXPECT_EQ(e.reachedX(), 1919);
    EXPECT_EQ(e.reachedY(), 300);
  }
  EXPECT_EQ(pointer.rounds, kPlacementRounds);
}

TEST(PointerPlacement, ThePositionIsKnownOnlyWhereAnXServerShowsThePointer) {
  std::map<std::string, std::string> environment;
  EnvironmentLookup lookup = [&](const char* name) -> const char* {
    auto found = environment.find(name);
    return found == environment.end() ? nullptr : found->second.c_str();
  };
  EXPECT_THROW(pointerDisplay(lookup, "corehid"), PointerUnknown);
  environment["DISPLAY"] = ":5";
  EXPECT_EQ(pointerDisplay(lookup, "corehid"), ":5");
  environment["XDG_SESSION_TYPE"] = "wayland";
  EXPECT_THROW(pointerDisplay(lookup, "corehid"), PointerUnknown);
  EXPECT_EQ(pointerDisplay(lookup, "cgevent"), ":5");  // the service posts into XWayland
}

TEST(BorrowedKeys, ACompositorsHostBorrowsNoKeyOfXWayland) {
  std::map<std::string, std::string> environment = {{"DISPLAY", ":5"},
                                                    {"XDG_SESSION_TYPE", "wayland"}};
  EnvironmentLookup lookup = [&](const char* name) -> const char* {
    auto found = environment.find(name);
    return found == environment.end() ? nullptr : found->second.c_str();
  };
  EXPECT_EQ(borrowingDisplay(lookup, "cgevent", "linux"), ":5");
  EXPECT_EQ(borrowingDisplay(lookup, "cgevent", ""), ":5");  // the host not known
  // So typeTextBorrowing() refuses what the layout lacks before anything is typed.
  for (const char* host : {"gnome", "kde", "wlroots"}) {
    EXPECT_EQ(borrowingDisplay(lookup, "cgevent", host), std::nullopt) << host;
  }
}

}  // namespace
}  // namespace virelo::client
