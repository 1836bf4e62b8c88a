#include "platform/atspi/atspi_top_level.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <vector>

#include "platform/atspi/atspi_requests.h"
#include "platform/atspi/atspi_roles.h"

namespace virelo::atspi {
namespace {

// How far an accessible window's extents may lie from the window list's bounds and still match.
constexpr double kMatchSlack = 2;
// At most this many top-level windows of one application are looked at.
constexpr int kMaxWindows = 32;
// Scales are whole numbers unless far from one; and no toolkit scales beyond these.
constexpr double kWholeScaleSlack = 0.05;
constexpr double kMinScale = 0.5;
constexpr double kMaxScale = 4;
// The toolkits' own hit test of a container (GetAccessibleAtPoint) looks at each of its children
// in turn, in GTK at the cost of a round trip to the X server each: a container with thousands of
// children would hold up the application's main loop for longer than the request may take. Above
// this many children the child at a point is searched here instead (ChildSearch).
constexpr int kMaxChildrenHitTested = 32;
constexpr int kMaxChildrenProbed = 48;

}  // namespace

std::optional<Rect> extentsOf(AtspiAccessible* accessible) {
  AtspiComponent* component =
      request([&] { return atspi_accessible_get_component_iface(accessible); });
  if (component == nullptr) return std::nullopt;
  GError* error = nullptr;
  AtspiRect* rect = request(
      [&] { return atspi_component_get_extents(component, ATSPI_COORD_TYPE_SCREEN, &error); });
  g_object_unref(component);
  if (error != nullptr) g_error_free(error);
  if (rect == nullptr) return std::nullopt;
  Rect result = makeRect(rect->x, rect->y, rect->width, rect->height);
  g_free(rect);
  return result;
}

AtspiAccessible* childAtIndex(AtspiAccessible* accessible, int index) {
  GError* error = nullptr;
  AtspiAccessible* child =
      request([&] { return atspi_accessible_get_child_at_index(accessible, index, &error); });
  if (error != nullptr) {
    g_error_free(error);
    if (child != nullptr) g_object_unref(child);
    return nullptr;
  }
  return child;
}

namespace {

bool showingWindow(AtspiAccessible* accessible) {
  GError* error = nullptr;
  AtspiRole role = request([&] { return atspi_accessible_get_role(accessible, &error); });
  if (error != nullptr) {
    g_error_free(error);
    return false;
  }
  if (!isWindowRole(role)) return false;
  AtspiStateSet* states = request([&] { return atspi_accessible_get_state_set(accessible); });
  if (states == nullptr) return false;
  bool showing = atspi_state_set_contains(states, ATSPI_STATE_SHOWING);
  g_object_unref(states);
  return showing;
}

// The scale by which an accessible window's extents (its toolkit's logical pixels) give the X
// window's bounds (the server's pixels), when they describe the same window: 1 for a toolkit that
// works in the server's pixels, GDK_SCALE for GTK. The ratio of the widths, taken as the whole
// number it lies close to, and every edge of the scaled extents within a few pixels of the bounds.
}  // namespace

std::optional<double> scaleOf(const Rect& extents, const Rect& bounds) {
  if (extents.width() <= 0 || extents.height() <= 0) return std::nullopt;
  double scale = bounds.width() / extents.width();
  if (std::abs(scale - std::round(scale)) <= kWholeScaleSlack) scale = std::round(scale);
  if (scale < kMinScale || scale > kMaxScale) return std::nullopt;
  double slack = kMatchSlack * std::max(1.0, scale);
  bool same = std::abs(extents.minX() * scale - bounds.minX()) <= slack &&
              std::abs(extents.minY() * scale - bounds.minY()) <= slack &&
              std::abs(extents.width() * scale - bounds.width()) <= slack &&
              std::abs(extents.height() * scale - bounds.height()) <= slack;
  return same ? std::optional<double>(scale) : std::nullopt;
}

namespace {

// Whether the point comes before the rectangle in reading order: above it, or beside it on its
// left.
bool before(Point point, const Rect& rect) {
  return point.y < rect.minY() || (point.y < rect.maxY() && point.x < rect.minX());
}

// The child at the point of a container with many children, looking at no more than
// kMaxChildrenProbed of them; with a reference, or null. Large containers lay their children out
// in rows (boxes, lists, grids, flow boxes), in reading order or its reverse, and scroll: the
// toolkits give the extents of the children on screen only (GTK gives the least integer for the
// others), and those form one run of indices. So the search first looks for one child on screen
// (at the ends, then at ever finer even spacing), then bisects: a child on screen tells by its
// extents on which side the point lies, one off screen by its index on which side of the run it
// lies. Where children are laid out otherwise the child may be missed, but one that does not
// contain the point is never given.
class ChildSearch {
 public:
  ChildSearch(AtspiAccessible* container, int count, Point point)
      : container_(container), count_(count), point_(point) {}
  ~ChildSearch() {
    if (found_ != nullptr) g_object_unref(found_);
  }
  ChildSearch(const ChildSearch&) = delete;
  ChildSearch& operator=(const ChildSearch&) = delete;

  AtspiAccessible* run() {
    int anchor = findShown();
    if (found_ != nullptr || anchor < 0) return take();
    bool reversed = readingOrderReversed(anchor);
    int low = lowestOpen_;
    int high = highestOpen_;
    while (found_ == nullptr && low <= high && probes_ < kMaxChildrenProbed) {
      int middle = low + (high - low) / 2;
      auto extents = probe(middle);
      if (found_ != nullptr) break;
      bool towardsLower = extents ? before(point_, *extents) != reversed : middle > anchor;
      if (towardsLower) {
        high = middle - 1;
      } else {
        low = middle + 1;
      }
    }
    return take();
  }

 private:
  // The extents of the child at the index when it is on screen; keeps it when it contains the
  // point. Children off screen narrow the range still open around the run of those on screen.
  std::optional<Rect> probe(int index) {
    ++probes_;
    AtspiAccessible* child = childAtIndex(container_, index);
    if (child == nullptr) return std::nullopt;
    auto extents = extentsOf(child);
    bool onScreen = extents && extents->minX() > kOffScreen && extents->minY() > kOffScreen;
    if (onScreen && extents->contains(point_)) {
      found_ = child;
    } else {
      g_object_unref(child);
    }
    return onScreen ? extents : std::nullopt;
  }

  // The index of a child on screen, or -1.
  int findShown() {
    std::vector<int> order{0, count_ - 1};
    for (int parts = 2; static_cast<int>(order.size()) < kMaxChildrenProbed && parts < count_;
         parts *= 2) {
      for (int k = 1; k < parts; k += 2)
        order.push_back(static_cast<int>(static_cast<long long>(count_ - 1) * k / parts));
    }
    for (int index : order) {
      if (probes_ >= kMaxChildrenProbed / 2) break;
      if (probe(index)) return index;
      if (found_ != nullptr) return index;
      offScreen_.push_back(index);
    }
    return -1;
  }

  // Whether the children run against reading order, told by the shown child and a neighbour.
  bool readingOrderReversed(int anchor) {
    for (int index : offScreen_) {
      if (index < anchor) lowestOpen_ = std::max(lowestOpen_, index + 1);
      if (index > anchor) highestOpen_ = std::min(highestOpen_, index - 1);
    }
    auto here = probe(anchor);
    if (!here || found_ != nullptr) return false;
    for (int neighbour : {anchor + 1, anchor - 1}) {
      if (neighbour < 0 || neighbour >= count_) continue;
      auto there = probe(neighbour);
      if (found_ != nullptr) return false;
      if (there) return (neighbour > anchor) == before(there->origin, *here);
    }
    return false;
  }

  AtspiAccessible* take() {
    AtspiAccessible* found = found_;
    found_ = nullptr;
    return found;
  }

  // GTK gives the least integer as the position of children that are not on screen.
  static constexpr double kOffScreen = -1e9;

  AtspiAccessible* container_;
  int count_;
  Point point_;
  int probes_ = 0;
  int lowestOpen_ = 0;
  int highestOpen_ = count_ - 1;
  std::vector<int> offScreen_;
  AtspiAccessible* found_ = nullptr;
};

}  // namespace

std::optional<TopLevel> topLevelAt(const nlohmann::json& windows, Point point) {
  if (!windows.is_array()) return std::nullopt;
  for (const auto& entry : windows) {
    if (!entry.is_object()) continue;
    auto pid = entry.find(kWindowOwnerPID);
    auto bounds = entry.find(kWindowBounds);
    auto layer = entry.find(kWindowLayer);
    if (pid == entry.end() || !pid->is_number_integer() || bounds == entry.end()) continue;
    auto rect = rectFromDictionary(*bounds);
    if (!rect || !rect->contains(point)) continue;
    return TopLevel{pid->get<std::int32_t>(), *rect,
                    layer != entry.end() && layer->is_number_integer() ? layer->get<int>() : 0};
  }
  return std::nullopt;
}

ScaledWindow accessibleWindowOf(AtspiAccessible* application, const Rect& bounds, Point point,
                                bool orContaining) {
  GError* error = nullptr;
  int count = request([&] { return atspi_accessible_get_child_count(application, &error); });
  AtspiAccessible* containing = nullptr;
  for (int i = 0; error == nullptr && i < count && i < kMaxWindows; ++i) {
    AtspiAccessible* window =
        request([&] { return atspi_accessible_get_child_at_index(application, i, &error); });
    if (window == nullptr) continue;
    auto extents = showingWindow(window) ? extentsOf(window) : std::nullopt;
    if (auto scale = extents ? scaleOf(*extents, bounds) : std::nullopt) {
      if (containing != nullptr) g_object_unref(containing);
      if (error != nullptr) g_error_free(error);
      return {window, *scale};
    }
    // Only a window that lies within the X window stands in for it: one of a toolkit that scales
    // (its extents in other pixels than the point) would be hit-tested at the wrong place.
    if (orContaining && extents && extents->contains(point) &&
        bounds.grown(kMatchSlack).contains(*extents) && containing == nullptr) {
      containing = window;
    } else {
      g_object_unref(window);
    }
  }
  if (error != nullptr) g_error_free(error);
  return {containing, 1};
}

AtspiAccessible* childAt(AtspiAccessible* accessible, Point point) {
  GError* error = nullptr;
  int count = request([&] { return atspi_accessible_get_child_count(accessible, &error); });
  if (error != nullptr) {
    g_error_free(error);
    return nullptr;
  }
  if (count <= 0) return nullptr;
  if (count > kMaxChildrenHitTested) return ChildSearch(accessible, count, point).run();
  AtspiComponent* component =
      request([&] { return atspi_accessible_get_component_iface(accessible); });
  if (component == nullptr) return nullptr;
  AtspiAccessible* child = request([&] {
    return atspi_component_get_accessible_at_point(
        component, static_cast<gint>(std::floor(point.x)), static_cast<gint>(std::floor(point.y)),
        ATSPI_COORD_TYPE_SCREEN, &error);
  });
  g_object_unref(component);
  if (error != nullptr) {
    g_error_free(error);
    if (child != nullptr) g_object_unref(child);
    return nullptr;
  }
  return child;
}

}  // namespace virelo::atspi
