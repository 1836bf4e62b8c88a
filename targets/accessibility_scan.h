// The search that the snap target finder runs: the rectangles of clickable elements of other
// applications near a point. Two passes: the title-bar pass collects the window buttons (close,
// minimise, zoom, full screen) of at most two ordinary windows whose top-left corner area holds
// the point; the sampling pass hit-tests every sample point of a ring and walks up from the
// element hit to the nearest element with a clickable role.
//
// Threads: used only on the snap target finder's background queue; takes no lock.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

#include "platform/accessibility.h"
#include "platform/active_displays.h"
#include "platform/geometry.h"
#include "platform/window_list.h"
#include "targets/screen_snapshot.h"
#include "targets/web_app_detector.h"

namespace virelo {

class AccessibilityScan {
 public:
  // Roles of the elements that are targets.
  static constexpr std::array<std::string_view, 7> roles = {
      "AXButton",     "AXCheckBox",           "AXRadioButton", "AXPopUpButton",
      "AXMenuButton", "AXDisclosureTriangle", "AXMenuBarItem"};
  // Window attributes whose values are the window's title-bar buttons, in reporting order.
  static constexpr std::array<std::string_view, 4> windowButtons = {
      "AXCloseButton", "AXMinimizeButton", "AXZoomButton", "AXFullScreenButton"};

  // Everything is borrowed and must outlive the scan. `system` is the system-wide element,
  // `ownPID` this process, whose windows and elements are never targets. When `stopping` is
  // given and becomes true (from any thread), a running scan gives up before its next request
  // and returns what it has. `scale` is the desk's (pixels per logical point), by which the
  // corner area of the title-bar pass grows; the ring and the margin come scaled already.
  AccessibilityScan(Accessibility& accessibility, WindowList& windowList, ActiveDisplays& displays,
                    WebAppDetector& web, ElementRef system, std::int32_t ownPID,
                    const std::atomic<bool>* stopping = nullptr, double scale = 1);

  // Title-bar rectangles first (by window front to back, then in windowButtons order), then one
  // rectangle per sample that found a new target, in ring order. Never fails.
  std::vector<Rect> scan(Point point, const std::vector<Vector>& ring, double margin);

  // Both passes on a given snapshot.
  void titleBarPass(const ScreenSnapshot& screen, Point point, double margin,
                    std::vector<Rect>& result);
  void samplingPass(const ScreenSnapshot& screen, Point point, const std::vector<Vector>& ring,
                    std::vector<Rect>& result);

  // The element's rectangle from "AXPosition" and "AXSize", or none.
  std::optional<Rect> frame(const ElementRef& element);
  // "AXEnabled" when it reads as a boolean; true otherwise.
  bool enabled(const ElementRef& element);

 private:
  // The window element of `window` among the application's first 12, by frame within 2 points.
  ElementRef matchingWindowElement(const Window& window);
  // The clickable element at or up to two levels above `hit`, or null when the walk stops.
  ElementRef candidateAbove(ElementRef hit);
  bool stopping() const { return stopping_ && stopping_->load(std::memory_order_relaxed); }

  Accessibility& ax_;
  WindowList& windowList_;
  ActiveDisplays& displays_;
  WebAppDetector& web_;
  ElementRef system_;
  std::int32_t ownPID_;
  const std::atomic<bool>* stopping_;
  double scale_;
};

}  // namespace virelo
