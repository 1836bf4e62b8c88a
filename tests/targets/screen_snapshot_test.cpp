#include "targets/screen_snapshot.h"

#include <gtest/gtest.h>

#include "fake_platform.h"

namespace virelo {
namespace {

using testing::FakePlatform;

nlohmann::json entry(nlohmann::json pid, nlohmann::json layer, nlohmann::json bounds) {
  return {{kWindowOwnerPID, pid}, {kWindowLayer, layer}, {kWindowBounds, bounds}};
}

nlohmann::json dict(double x, double y, double w, double h) {
  return {{"X", x}, {"Y", y}, {"Width", w}, {"Height", h}};
}

TEST(WindowSnapshot, AsksForOnScreenWindowsWithoutDesktopElements) {
  FakePlatform fake;
  ScreenSnapshot::take(fake, fake);
  EXPECT_EQ(fake.count("windows 17 0"), 1);
  EXPECT_EQ(fake.count("displays 16"), 1);
}

TEST(WindowSnapshot, KeepsFrontToBackOrder) {
  auto windows = ScreenSnapshot::windowsFrom(
      nlohmann::json::array({entry(1, 0, dict(0, 0, 10, 10)), entry(2, 3, dict(5, 6, 7, 8))}));
  ASSERT_EQ(windows.size(), 2u);
  EXPECT_EQ(windows[0], (Window{1, makeRect(0, 0, 10, 10), 0}));
  EXPECT_EQ(windows[1], (Window{2, makeRect(5, 6, 7, 8), 3}));
}

TEST(WindowSnapshot, AlphaAtMostOnePercentIsLeftOut) {
  auto with = [](nlohmann::json alpha) {
    auto e = entry(1, 0, dict(0, 0, 10, 10));
    e[kWindowAlpha] = alpha;
    return e;
  };
  auto windows = ScreenSnapshot::windowsFrom(
      nlohmann::json::array({with(0.005), with(0.02), entry(2, 0, dict(0, 0, 1, 1)), with(0.01),
                             with("faint"), with(0)}));
  ASSERT_EQ(windows.size(), 3u);
  EXPECT_EQ(windows[0].bounds.width(), 10);  // alpha 0.02
  EXPECT_EQ(windows[1].pid, 2);              // no alpha
  EXPECT_EQ(windows[2].pid, 1);              // a non-numeric alpha keeps the window
}

TEST(WindowSnapshot, MalformedEntriesAreSkipped) {
  auto windows = ScreenSnapshot::windowsFrom(nlohmann::json::array({
      entry("12", 0, dict(0, 0, 1, 1)),                           // pid is text
      entry(1.5, 0, dict(0, 0, 1, 1)),                            // pid is not an integer
      entry(4294967296LL, 0, dict(0, 0, 1, 1)),                   // pid beyond 32 bits
      entry(3, nullptr, dict(0, 0, 1, 1)),                        // layer missing its number
      entry(4, 0, {{"X", 0}, {"Y", 0}, {"Width", 1}}),            // bounds without a height
      entry(5, 0, nlohmann::json::array({0, 0, 1, 1})),           // bounds not a dictionary
      {{kWindowOwnerPID, 6}, {kWindowBounds, dict(0, 0, 1, 1)}},  // no layer at all
      entry(7, -20, dict(1, 2, 3, 4)),                            // good
  }));
  ASSERT_EQ(windows.size(), 1u);
  EXPECT_EQ(windows[0], (Window{7, makeRect(1, 2, 3, 4), -20}));
}

TEST(WindowSnapshot, FailedOrMalformedListIsEmpty) {
  EXPECT_TRUE(ScreenSnapshot::windowsFrom(std::nullopt).empty());
  EXPECT_TRUE(ScreenSnapshot::windowsFrom(nlohmann::json::object()).empty());
  // A list with one entry that is not a dictionary is not a list of dictionaries at all.
  EXPECT_TRUE(
      ScreenSnapshot::windowsFrom(nlohmann::json::array({entry(1, 0, dict(0, 0, 1, 1)), 42}))
          .empty());
}

TEST(DisplayList, FailedListIsEmptyAndAtMostSixteenAreRead) {
  FakePlatform fake;
  fake.setDisplays(std::nullopt);
  EXPECT_TRUE(ScreenSnapshot::displaysFrom(fake).empty());
  std::vector<Rect> many;
  for (int i = 0; i < 20; ++i) many.push_back(makeRect(i * 100, 0, 100, 100));
  fake.setDisplays(many);
  auto displays = ScreenSnapshot::displaysFrom(fake);
  ASSERT_EQ(displays.size(), 16u);
  EXPECT_EQ(displays[15], makeRect(1500, 0, 100, 100));
}

TEST(WindowUnderPoint, FrontmostContainingWindowWins) {
  ScreenSnapshot screen({{1, makeRect(100, 100, 50, 50), 0}, {2, makeRect(0, 0, 500, 500), 0}},
                        {makeRect(0, 0, 1920, 1080)});
  EXPECT_EQ(screen.windowUnder({120, 120})->pid, 1);
  EXPECT_EQ(screen.windowUnder({150, 120})->pid, 2);  // right edge is outside window 1
  EXPECT_EQ(screen.windowUnder({600, 600}), nullptr);
}

TEST(WindowUnderPoint, NonZeroLayerCoveringADisplayIsPassedOver) {
  ScreenSnapshot screen({{1, makeRect(0, 0, 1920, 1080), 25}, {2, makeRect(0, 0, 800, 600), 0}},
                        {makeRect(0, 0, 1920, 1080)});
  EXPECT_EQ(screen.windowUnder({10, 10})->pid, 2);
  EXPECT_EQ(screen.windowUnder({1000, 900}), nullptr);
}

TEST(WindowUnderPoint, NonZeroLayerCoveringNoDisplayIsTaken) {
  ScreenSnapshot screen({{1, makeRect(0, 0, 300, 300), 25}, {2, makeRect(0, 0, 800, 600), 0}},
                        {makeRect(0, 0, 1920, 1080), makeRect(1920, 0, 1280, 800)});
  EXPECT_EQ(screen.windowUnder({10, 10})->pid, 1);
}

TEST(WindowUnderPoint, CoveringAnyOneDisplayIsEnough) {
  ScreenSnapshot screen({{1, makeRect(1900, -10, 1400, 900), 3}, {2, makeRect(0, 0, 4000, 900), 0}},
                        {makeRect(0, 0, 1920, 1080), makeRect(1920, 0, 1280, 800)});
  EXPECT_EQ(screen.windowUnder({2000, 10})->pid, 2);
}

TEST(WindowUnderPoint, LayerZeroIsTakenEvenWhenCoveringADisplay) {
  ScreenSnapshot screen({{1, makeRect(0, 0, 1920, 1080), 0}}, {makeRect(0, 0, 1920, 1080)});
  EXPECT_EQ(screen.windowUnder({10, 10})->pid, 1);
}

TEST(WindowUnderPoint, WithoutDisplaysNoWindowIsPassedOver) {
  ScreenSnapshot screen({{1, makeRect(0, 0, 1920, 1080), 25}}, {});
  EXPECT_EQ(screen.windowUnder({10, 10})->pid, 1);
}

}  // namespace
}  // namespace virelo
