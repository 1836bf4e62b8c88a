// Which process owns each window that a compositor shows, for a compositor that tells where its
// windows are but not whose they are (KWin's window info, gnome-shell's window actors): a shown
// window is matched with the applications' accessible windows, which know their process, title
// and size but not their place (a Wayland toolkit's extents are inside its own window).
//
// A shown window and an accessible one match when their sizes agree within kSizeTolerance and,
// where the compositor tells the shown window's title, their titles are equal. A shown window is
// owned only where the match is certain: it matches exactly one accessible window, and that one
// matches no other shown window (two windows of equal size and title, or of equal size where the
// compositor tells no titles, leave both unowned). A shown window repeated (gnome-shell's actor,
// its surface and its content at the same place) counts once.
//
// The compositor's windows may come in no known stacking order, so where two overlap nobody can
// tell which one is seen: the overlap itself is listed first, with no owner, so that no point
// there is taken for either window.
//
// With `Shown::nodes` the rectangles are every node of the compositor's own accessible tree, its
// panels and backgrounds among them: only those of an accessible window's size are taken for
// windows. With `Shown::windows` every rectangle is a window, owned or not (a window that no
// accessible window describes still hides what lies beneath it).
//
// windowListOf() gives the result in the dictionary form of window_list.h, front to back (layer
// 0, "title"; an unowned window has process id kUnknownOwner, which no application has).
#pragma once

#include <cstdint>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <vector>

#include "platform/geometry.h"

namespace virelo::hosts {

struct ShownWindow {
  Rect bounds;
  // nullopt where the compositor does not tell it.
  std::optional<std::string> title;
};

struct AccessibleWindow {
  std::int32_t pid = 0;
  std::string title;
  Size size;
};

struct OwnedWindow {
  std::int32_t pid = 0;
  std::string title;
  Rect bounds;
  friend bool operator==(const OwnedWindow&, const OwnedWindow&) = default;
};

enum class Shown { windows, nodes };

inline constexpr std::int32_t kUnknownOwner = 0;
inline constexpr double kSizeTolerance = 2;

std::vector<OwnedWindow> matchWindows(const std::vector<ShownWindow>& shown,
                                      const std::vector<AccessibleWindow>& accessible, Shown kind);

nlohmann::json windowListOf(const std::vector<OwnedWindow>& windows);

}  // namespace virelo::hosts
