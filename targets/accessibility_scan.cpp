#include "targets/accessibility_scan.h"

#include <algorithm>
#include <cmath>
#include <string>

namespace virelo {
namespace {

// Size of a window's corner area before growing by the margin: the title bar's buttons live in
// the top-left 126 × 66 points of the desk (times the desk's scale in pixels).
constexpr double kCornerWidth = 126;
constexpr double kCornerHeight = 66;
constexpr std::size_t kMaxWindowElements = 12;
constexpr double kWindowFrameTolerance = 2;
constexpr int kMaxTitleBarWindows = 2;
// The element hit, its parent and its grandparent are examined; nothing higher.
constexpr int kMaxWalkLevels = 3;

// The value of a read when it succeeded and is of kind T.
template <class T>
std::optional<T> valueAs(std::optional<AccessibilityValue> value) {
  if (!value) return std::nullopt;
  if (T* v = std::get_if<T>(&*value)) return std::move(*v);
  return std::nullopt;
}

// The element of a read, or null.
ElementRef elementOf(std::optional<AccessibilityValue> value) {
  return valueAs<ElementRef>(std::move(value)).value_or(nullptr);
}

bool isClickableRole(const std::string& role) {
  return std::find(AccessibilityScan::roles.begin(), AccessibilityScan::roles.end(), role) !=
         AccessibilityScan::roles.end();
}

bool isStopRole(const std::string& role) {
  return role == "AXWebArea" || role == "AXWindow" || role == "AXApplication";
}

bool within(double a, double b, double tolerance) {
  return std::abs(a - b) <= tolerance;
}

}  // namespace

AccessibilityScan::AccessibilityScan(Accessibility& accessibility, WindowList& windowList,
                                     ActiveDisplays& displays, WebAppDetector& web,
                                     ElementRef system, std::int32_t ownPID,
                                     const std::atomic<bool>* stopping, double scale)
    : ax_(accessibility),
      windowList_(windowList),
      displays_(displays),
      web_(web),
      system_(std::move(system)),
      ownPID_(ownPID),
      stopping_(stopping),
      scale_(scale) {}

std::vector<Rect> AccessibilityScan::scan(Point point, const std::vector<Vector>& ring,
                                          double margin) {
  if (stopping()) return {};
  ScreenSnapshot screen = ScreenSnapshot::take(windowList_, displays_);
  std::vector<Rect> result;
  titleBarPass(screen, point, margin, result);
  samplingPass(screen, point, ring, result);
  return result;
}

std::optional<Rect> AccessibilityScan::frame(const ElementRef& element) {
  auto position = ax_.copyAttributeValue(element, "AXPosition");
  if (!position) return std::nullopt;
  auto size = ax_.copyAttributeValue(element, "AXSize");
  auto origin = valueAs<Point>(std::move(position));
  auto extent = valueAs<Size>(std::move(size));
  if (!origin || !extent) return std::nullopt;
  return Rect{*origin, *extent};
}

bool AccessibilityScan::enabled(const ElementRef& element) {
  return valueAs<bool>(ax_.copyAttributeValue(element, "AXEnabled")).value_or(true);
}

ElementRef AccessibilityScan::matchingWindowElement(const Window& window) {
  auto elements = valueAs<std::vector<ElementRef>>(
      ax_.copyAttributeValue(ax_.application(window.pid), "AXWindows"));
  if (!elements) return nullptr;
  std::size_t count = std::min(elements->size(), kMaxWindowElements);
  for (std::size_t i = 0; i < count; ++i) {
    const ElementRef& element = (*elements)[i];
    if (!element) continue;
    auto f = frame(element);
    if (!f) continue;
    const Rect& b = window.bounds;
    if (within(f->minX(), b.minX(), kWindowFrameTolerance) &&
        within(f->minY(), b.minY(), kWindowFrameTolerance) &&
        within(f->width(), b.width(), kWindowFrameTolerance) &&
        within(f->height(), b.height(), kWindowFrameTolerance)) {
      return element;
    }
  }
  return nullptr;
}

void AccessibilityScan::titleBarPass(const ScreenSnapshot& screen, Point point, double margin,
                                     std::vector<Rect>& result) {
  int examined = 0;
  for (const Window& w : screen.windows()) {
    if (stopping()) return;
    if (w.layer != 0 || w.pid == ownPID_ || examined >= kMaxTitleBarWindows) continue;
    Rect corner = makeRect(w.bounds.minX() - margin, w.bounds.minY() - margin,
                           kCornerWidth * scale_ + 2 * margin, kCornerHeight * scale_ + 2 * margin);
    if (!corner.contains(point)) continue;
    ++examined;

    ElementRef windowElement = matchingWindowElement(w);
    if (!windowElement) continue;

    std::vector<Rect> kept;
    for (auto attribute : windowButtons) {
      ElementRef button = elementOf(ax_.copyAttributeValue(windowElement, std::string(attribute)));
      if (!button || !enabled(button)) continue;
      auto f = frame(button);
      if (!f || !(f->width() > 0) || !(f->height() > 0)) continue;
      kept.push_back(*f);
    }
    // A button that another window lies over cannot be clicked.
    for (const Rect& b : kept) {
      const Window* under = screen.windowUnder(b.center());
      if (under && under->bounds == w.bounds) result.push_back(b);
    }
  }
}

ElementRef AccessibilityScan::candidateAbove(ElementRef current) {
  for (int level = 0;;) {
    auto role = valueAs<std::string>(ax_.copyAttributeValue(current, "AXRole"));
    if (role) {
      if (isClickableRole(*role)) return current;
      if (isStopRole(*role)) return nullptr;
    }
    ElementRef parent = elementOf(ax_.copyAttributeValue(current, "AXParent"));
    if (!parent) return nullptr;
    if (++level >= kMaxWalkLevels) return nullptr;
    current = std::move(parent);
  }
}

void AccessibilityScan::samplingPass(const ScreenSnapshot& screen, Point point,
                                     const std::vector<Vector>& ring, std::vector<Rect>& result) {
  // Elements already taken as candidates in this scan, so that several samples landing on the
  // same control read it only once.
  std::vector<ElementRef> seen;
  for (const Vector& o : ring) {
    if (stopping()) return;
    Point s{point.x + o.dx, point.y + o.dy};
    if (screen.windows().empty()) continue;
    const Window* window = screen.windowUnder(s);
    if (!window || window->pid == ownPID_ || web_.isWeb(window->pid)) continue;

    ElementRef hit =
        ax_.elementAtPosition(system_, static_cast<float>(s.x), static_cast<float>(s.y));
    if (!hit) continue;
    ElementRef candidate = candidateAbove(std::move(hit));
    if (!candidate) continue;

    bool known = std::any_of(seen.begin(), seen.end(),
                             [&](const ElementRef& e) { return ax_.equal(e, candidate); });
    if (known) continue;
    seen.push_back(candidate);

    auto pid = ax_.processID(candidate);
    if (!pid || *pid == ownPID_ || web_.isWeb(*pid)) continue;
    if (!enabled(candidate)) continue;
    if (auto f = frame(candidate)) result.push_back(*f);
  }
}

}  // namespace virelo
