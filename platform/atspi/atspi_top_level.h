// The steps of a hit test on the accessibility bus: the top-level window under a point from the
// window list, the accessible window of an application that matches it, and one component hit
// test in screen coordinates.
//
// Threads: only on the thread that uses libatspi (the snap target finder's queue).
#pragma once

#include <atspi/atspi.h>

#include <cstdint>
#include <optional>

#include "platform/geometry.h"
#include "platform/window_list.h"

namespace virelo::atspi {

struct TopLevel {
  std::int32_t pid;
  Rect bounds;
  int layer;
};

// The extents of the accessible in screen coordinates (its toolkit's logical pixels), or
// std::nullopt when it has none or does not answer.
std::optional<Rect> extentsOf(AtspiAccessible* accessible);

// The child at the index, with a reference, or null when the request fails.
AtspiAccessible* childAtIndex(AtspiAccessible* accessible, int index);

// The scale by which an accessible window's extents (its toolkit's logical pixels) give the X
// window's bounds (the server's pixels), when they describe the same window; std::nullopt when
// they do not.
std::optional<double> scaleOf(const Rect& extents, const Rect& bounds);

// The frontmost window of a window list (as WindowList::copyWindowInfo gives it) whose bounds
// contain the point, or std::nullopt.
std::optional<TopLevel> topLevelAt(const nlohmann::json& windows, Point point);

// An accessible top-level window, with a reference (or null), and its scale: how many of the X
// server's pixels one of its logical pixels is.
struct ScaledWindow {
  AtspiAccessible* window;
  double scale;
};

// The application's showing top-level window whose extents, scaled, match `bounds` (each edge
// within a few pixels); else, with `orContaining`, the first showing one that lies within `bounds`
// and contains the point (unscaled); else none.
ScaledWindow accessibleWindowOf(AtspiAccessible* application, const Rect& bounds, Point point,
                                bool orContaining);

// The child of `accessible` at the point (in its toolkit's logical pixels), with a reference, or
// null.
AtspiAccessible* childAt(AtspiAccessible* accessible, Point point);

}  // namespace virelo::atspi
