#include "platform/hosts/placed_accessibility.h"

#include <algorithm>
#include <cmath>
#include <utility>

namespace virelo::hosts {
namespace {

struct PlacedElement final : AccessibilityElement {
  PlacedElement(ElementRef e, std::optional<Point> o) : inner(std::move(e)), origin(o) {}
  ElementRef inner;
  std::optional<Point> origin;  // of its window on the screen; nullopt: not known
};

ElementRef place(ElementRef inner, std::optional<Point> origin) {
  if (!inner) return nullptr;
  return std::make_shared<PlacedElement>(std::move(inner), origin);
}

const PlacedElement* placed(const ElementRef& element) {
  return dynamic_cast<const PlacedElement*>(element.get());
}

ElementRef innerOf(const ElementRef& element) {
  const PlacedElement* p = placed(element);
  return p != nullptr ? p->inner : nullptr;
}

template <typename T>
std::optional<T> as(std::optional<AccessibilityValue> value) {
  if (!value) return std::nullopt;
  if (auto* v = std::get_if<T>(&*value)) return std::move(*v);
  return std::nullopt;
}

bool near(double a, double b) {
  return std::abs(a - b) <= PlacedAccessibility::kSizeTolerance;
}

}  // namespace

ElementRef PlacedAccessibility::systemWide() {
  return place(inner_.systemWide(), std::nullopt);
}

std::vector<PlacedAccessibility::ListedWindow> PlacedAccessibility::listedWindows() {
  std::vector<ListedWindow> windows;
  auto list =
      windows_.copyWindowInfo(kWindowListOptionOnScreenOnly | kWindowListExcludeDesktopElements, 0);
  if (!list || !list->is_array()) return windows;
  for (const auto& entry : *list) {
    if (!entry.is_object()) continue;
    auto pid = entry.find(kWindowOwnerPID);
    auto bounds = entry.find(kWindowBounds);
    if (pid == entry.end() || !pid->is_number_integer() || bounds == entry.end()) continue;
    auto rect = rectFromDictionary(*bounds);
    auto title = entry.find("title");
    if (!rect) continue;
    windows.push_back({pid->get<std::int32_t>(),
                       title != entry.end() && title->is_string() ? title->get<std::string>() : "",
                       *rect});
  }
  return windows;
}

ElementRef PlacedAccessibility::application(std::int32_t pid) {
  std::optional<Point> origin;
  int count = 0;
  for (const auto& window : listedWindows()) {
    if (window.pid != pid) continue;
    ++count;
    origin = window.bounds.origin;
  }
  return place(inner_.application(pid), count == 1 ? origin : std::nullopt);
}

void PlacedAccessibility::setMessagingTimeout(const ElementRef& element, float seconds) {
  if (auto inner = innerOf(element)) inner_.setMessagingTimeout(inner, seconds);
}

std::optional<AccessibilityValue> PlacedAccessibility::copyAttributeValue(
    const ElementRef& element, const std::string& attribute) {
  const PlacedElement* p = placed(element);
  if (p == nullptr) return std::nullopt;
  auto value = inner_.copyAttributeValue(p->inner, attribute);
  if (!value) return value;
  if (auto* point = std::get_if<Point>(&*value)) {
    if (!p->origin) return std::nullopt;
    return AccessibilityValue(Point{point->x + p->origin->x, point->y + p->origin->y});
  }
  if (auto* one = std::get_if<ElementRef>(&*value))
    return AccessibilityValue(place(*one, p->origin));
  if (auto* many = std::get_if<std::vector<ElementRef>>(&*value)) {
    for (auto& e : *many) e = place(e, p->origin);
  }
  return value;
}

std::optional<Rect> PlacedAccessibility::innerFrame(const ElementRef& inner) {
  auto origin = as<Point>(inner_.copyAttributeValue(inner, "AXPosition"));
  auto size = as<Size>(inner_.copyAttributeValue(inner, "AXSize"));
  if (!origin || !size) return std::nullopt;
  return Rect{*origin, *size};
}

ElementRef PlacedAccessibility::accessibleWindow(const ListedWindow& listed, bool titled) {
  auto windows = as<std::vector<ElementRef>>(
      inner_.copyAttributeValue(inner_.application(listed.pid), "AXWindows"));
  if (!windows) return nullptr;
  ElementRef found;
  for (const auto& window : *windows) {
    auto frame = innerFrame(window);
    if (!frame || !near(frame->width(), listed.bounds.width()) ||
        !near(frame->height(), listed.bounds.height())) {
      continue;
    }
    if (titled && as<std::string>(inner_.copyAttributeValue(window, "AXTitle")) != listed.title) {
      continue;
    }
    if (found) return nullptr;  // two would do: neither is certain
    found = window;
  }
  return found;
}

ElementRef PlacedAccessibility::elementAtPosition(const ElementRef&, float x, float y) {
  const Point point{x, y};
  auto windows = listedWindows();
  auto top = std::find_if(windows.begin(), windows.end(),
                          [&](const ListedWindow& w) { return w.bounds.contains(point); });
  if (top == windows.end()) return nullptr;
  const bool titled = std::count_if(windows.begin(), windows.end(),
                                    [&](const ListedWindow& w) { return w.pid == top->pid; }) > 1;
  ElementRef current = accessibleWindow(*top, titled);
  if (!current) return nullptr;
  const Point origin = top->bounds.origin;
  const Point inside{point.x - origin.x, point.y - origin.y};
  for (int depth = 0; depth < kMaxDepth; ++depth) {
    auto children = as<std::vector<ElementRef>>(inner_.copyAttributeValue(current, "AXChildren"));
    if (!children) break;
    // The last child drawn lies on top.
    auto hit = std::find_if(children->rbegin(), children->rend(), [&](const ElementRef& child) {
      auto frame = child ? innerFrame(child) : std::nullopt;
      return frame && frame->contains(inside);
    });
    if (hit == children->rend()) break;
    current = *hit;
  }
  return place(current, origin);
}

std::optional<std::int32_t> PlacedAccessibility::processID(const ElementRef& element) {
  auto inner = innerOf(element);
  return inner ? inner_.processID(inner) : std::nullopt;
}

bool PlacedAccessibility::equal(const ElementRef& a, const ElementRef& b) {
  return inner_.equal(innerOf(a), innerOf(b));
}

}  // namespace virelo::hosts
