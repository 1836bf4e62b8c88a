// Accessibility for toolkits that know only places inside their own windows, as a Wayland
// application's accessible tree does: the elements of an inner accessibility (AT-SPI), placed on
// the screen by a window list of the compositor's (screen coordinates, with "title").
//
// An element's position is the inner one plus the screen origin of the window it belongs to.
// That origin is known only where the window is certain: the hit test at a point takes the
// frontmost listed window there, and the one accessible window of its process whose size is the
// listed window's (within 2 points) and, when the process lists more than one window, whose
// title is the listed one's; then it descends through the children whose frames contain the
// point. An application's elements (application()) are placed only when its process lists
// exactly one window. Wherever the window is not certain, positions are unknown (nullopt) and
// hit tests find nothing, so that no target is ever offered at a wrong place.
//
// Threads: as the inner accessibility (the snap target finder's queue).
#pragma once

#include <chrono>
#include <memory>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <vector>

#include "platform/accessibility.h"
#include "platform/window_list.h"

namespace virelo::hosts {

class PlacedAccessibility final : public Accessibility {
 public:
  static constexpr double kSizeTolerance = 2;
  static constexpr int kMaxDepth = 32;

  // Both must outlive this object.
  PlacedAccessibility(Accessibility& inner, WindowList& windows)
      : inner_(inner), windows_(windows) {}

  bool isProcessTrusted() override { return inner_.isProcessTrusted(); }
  ElementRef systemWide() override;
  ElementRef application(std::int32_t pid) override;
  void setMessagingTimeout(const ElementRef& element, float seconds) override;
  std::optional<AccessibilityValue> copyAttributeValue(const ElementRef& element,
                                                       const std::string& attribute) override;
  ElementRef elementAtPosition(const ElementRef& systemWide, float x, float y) override;
  std::optional<std::int32_t> processID(const ElementRef& element) override;
  bool equal(const ElementRef& a, const ElementRef& b) override;

 private:
  struct ListedWindow {
    std::int32_t pid;
    std::string title;
    Rect bounds;
  };
  std::vector<ListedWindow> listedWindows();
  // The inner accessible window that is certainly the listed one, or null.
  ElementRef accessibleWindow(const ListedWindow& listed, bool titled);
  std::optional<Rect> innerFrame(const ElementRef& inner);

  Accessibility& inner_;
  WindowList& windows_;
};

}  // namespace virelo::hosts
