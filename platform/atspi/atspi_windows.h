// The applications' top-level windows on the accessibility bus, for a compositor that places them
// by their sizes (platform/hosts/matched_windows.h), and the rectangles of one application's own
// tree (gnome-shell's, whose nodes include its window actors at their places on the screen).
//
// Threads: only on the thread that uses libatspi (the snap target finder's queue).
#pragma once

#include <chrono>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/geometry.h"

namespace virelo::atspi {

struct TopWindow {
  std::int32_t pid = 0;
  std::string title;
  Size size;
};

// Every application's top-level accessibles of some size, except those of the applications named
// `skipped`; empty when the accessibility bus cannot be reached.
std::vector<TopWindow> topWindows(std::string_view skipped, std::chrono::milliseconds timeout);

// The screen extents of the accessibles of the application named `application`, down to `depth`
// levels below it (its top-level accessibles are level 1), at most `limit` of them, those of
// no size left out; empty when it is not on the bus.
std::vector<Rect> nodeExtents(std::string_view application, int depth, std::size_t limit,
                              std::chrono::milliseconds timeout);

}  // namespace virelo::atspi
