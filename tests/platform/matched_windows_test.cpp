// Which process owns each window a compositor shows, from the accessible windows' sizes and
// titles, and where nobody can tell.
#include "platform/hosts/matched_windows.h"

#include <gtest/gtest.h>

namespace virelo::hosts {
namespace {

const Rect kReceiver = makeRect(440, 250, 400, 300);

std::vector<OwnedWindow> owned(const std::vector<OwnedWindow>& windows) {
  std::vector<OwnedWindow> result;
  for (const auto& w : windows) {
    if (w.pid != kUnknownOwner) result.push_back(w);
  }
  return result;
}

TEST(MatchedWindows, AWindowOfOneSizeAndTitleIsOwnedByItsProcess) {
  // KWin's frame and GTK's accessible frame, a point apart.
  auto windows =
      matchWindows({{kReceiver, "Receiver"}, {makeRect(0, 0, 200, 100), "Other"}},
                   {{7, "Receiver", {401, 300}}, {8, "Editor", {640, 480}}}, Shown::windows);
  EXPECT_EQ(windows, (std::vector<OwnedWindow>{{7, "Receiver", kReceiver},
                                               {kUnknownOwner, "", makeRect(0, 0, 200, 100)}}));
}

TEST(MatchedWindows, WindowsOfEqualSizeAreToldApartOnlyByTheirTitles) {
  const Rect other = makeRect(0, 0, 400, 300);
  const std::vector<AccessibleWindow> accessible{{7, "Receiver", {400, 300}},
                                                 {8, "Editor", {400, 300}}};
  EXPECT_EQ(
      owned(matchWindows({{kReceiver, "Receiver"}, {other, "Editor"}}, accessible, Shown::windows)),
      (std::vector<OwnedWindow>{{7, "Receiver", kReceiver}, {8, "Editor", other}}));
  EXPECT_TRUE(owned(matchWindows({{kReceiver, "Receiver"}, {other, "Receiver"}},
                                 {{7, "Receiver", {400, 300}}}, Shown::windows))
                  .empty());
  EXPECT_TRUE(owned(matchWindows({{kReceiver, std::nullopt}, {other, std::nullopt}}, accessible,
                                 Shown::nodes))
                  .empty());
}

TEST(MatchedWindows, WhereTwoWindowsOverlapNeitherOwnsTheOverlap) {
  auto windows =
      matchWindows({{kReceiver, "Receiver"}, {makeRect(800, 500, 300, 200), "Editor"}},
                   {{7, "Receiver", {400, 300}}, {8, "Editor", {300, 200}}}, Shown::windows);
  ASSERT_EQ(windows.size(), 3u);
  EXPECT_EQ(windows[0], (OwnedWindow{kUnknownOwner, "", makeRect(800, 500, 40, 50)}));
  EXPECT_EQ(owned(windows).size(), 2u);
}

TEST(MatchedWindows, AmongTheShellsNodesOnlyThoseOfAWindowsSizeAreWindows) {
  // gnome-shell's stage, its background, a window's actor with its surface and content at the
  // same place, and the top bar.
  const std::vector<ShownWindow> nodes{{makeRect(0, 0, 1280, 800), std::nullopt},
                                       {makeRect(0, 0, 1280, 800), std::nullopt},
                                       {makeRect(38, 87, 400, 300), std::nullopt},
                                       {makeRect(38, 87, 400, 300), std::nullopt},
                                       {makeRect(0, 0, 1280, 32), std::nullopt}};
  EXPECT_EQ(matchWindows(nodes, {{7, "Receiver", {400, 300}}}, Shown::nodes),
            (std::vector<OwnedWindow>{{7, "Receiver", makeRect(38, 87, 400, 300)}}));
}

}  // namespace
}  // namespace virelo::hosts
