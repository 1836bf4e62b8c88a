// What a scan knows about the screen: the on-screen windows, front to back, and the bounds of
// the active displays, both taken afresh for every scan, and the rule for the window under a
// point.
//
// Threads: taken and used only on the snap target finder's background queue.
#pragma once

#include <nlohmann/json.hpp>
#include <optional>
#include <vector>

#include "platform/active_displays.h"
#include "platform/geometry.h"
#include "platform/window_list.h"
#include "targets/window.h"

namespace virelo {

class ScreenSnapshot {
 public:
  ScreenSnapshot() = default;
  ScreenSnapshot(std::vector<Window> windows, std::vector<Rect> displays)
      : windows_(std::move(windows)), displays_(std::move(displays)) {}

  // Asks the window server for the on-screen windows (without desktop elements) and the
  // displays for the active displays.
  static ScreenSnapshot take(WindowList& windowList, ActiveDisplays& displays);

  // The windows of a window-list result, front to back. A failed call or a result that is not a
  // list of dictionaries gives none; entries without an integer process id (32 bits), an integer
  // layer and a rectangle for bounds are skipped, and so are entries with a numeric alpha of at
  // most 0.01.
  static std::vector<Window> windowsFrom(const std::optional<nlohmann::json>& info);
  // The bounds of up to 16 active displays in the order listed; none when the list fails.
  static std::vector<Rect> displaysFrom(ActiveDisplays& displays);

  const std::vector<Window>& windows() const { return windows_; }
  const std::vector<Rect>& displays() const { return displays_; }

  // Whether the window's bounds contain a whole display (edges may coincide).
  bool coversDisplay(const Window& window) const;
  // The frontmost window containing the point, passing over windows outside layer 0 that cover
  // a display (full-screen overlays, menu bar shields, ...). nullptr when none qualifies.
  const Window* windowUnder(Point p) const;

 private:
  std::vector<Window> windows_;
  std::vector<Rect> displays_;
};

}  // namespace virelo
