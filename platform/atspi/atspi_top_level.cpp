#include "platform/atspi/atspi_top_level.h"

#include <algorithm>
#include <cmath>
#include <limits>

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
  AtspiComponent* component =
      request([&] { return atspi_accessible_get_component_iface(accessible); });
  if (component == nullptr) return nullptr;
  GError* error = nullptr;
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
