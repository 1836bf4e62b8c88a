#include "platform/atspi/atspi_attributes.h"

#include <array>
#include <memory>
#include <string_view>
#include <vector>

#include "platform/atspi/atspi_element.h"
#include "platform/atspi/atspi_requests.h"
#include "platform/atspi/atspi_roles.h"
#include "platform/atspi/atspi_title_bar.h"

namespace virelo::atspi {
namespace {

// At most this many children are listed, so that a huge container cannot stall a search.
constexpr int kMaxChildren = 256;

// Clears an error and tells whether there was one.
bool failed(GError*& error) {
  if (error == nullptr) return false;
  g_error_free(error);
  error = nullptr;
  return true;
}

std::optional<AccessibilityValue> role(AtspiAccessible* accessible) {
  GError* error = nullptr;
  AtspiRole role = request([&] { return atspi_accessible_get_role(accessible, &error); });
  if (failed(error)) return std::nullopt;
  bool inMenuBar = false;
  if (role == ATSPI_ROLE_MENU || role == ATSPI_ROLE_MENU_ITEM) {
    AtspiAccessible* parent =
        request([&] { return atspi_accessible_get_parent(accessible, &error); });
    failed(error);
    if (parent != nullptr) {
      inMenuBar =
          request([&] { return atspi_accessible_get_role(parent, &error); }) == ATSPI_ROLE_MENU_BAR;
      failed(error);
      g_object_unref(parent);
    }
  }
  return AccessibilityValue(roleName(role, inMenuBar));
}

std::optional<AccessibilityValue> title(AtspiAccessible* accessible) {
  GError* error = nullptr;
  gchar* name = request([&] { return atspi_accessible_get_name(accessible, &error); });
  if (failed(error) || name == nullptr) return std::nullopt;
  std::string text(name);
  g_free(name);
  return AccessibilityValue(std::move(text));
}

std::optional<AccessibilityValue> parent(AtspiAccessible* accessible, double scale) {
  GError* error = nullptr;
  AtspiAccessible* parent =
      request([&] { return atspi_accessible_get_parent(accessible, &error); });
  if (failed(error)) return std::nullopt;
  if (parent == nullptr) return AccessibilityValue(std::monostate{});
  return AccessibilityValue(wrap(parent, scale));
}

// The children, or only those that are top-level windows.
std::optional<AccessibilityValue> children(AtspiAccessible* accessible, bool windowsOnly,
                                           double scale) {
  GError* error = nullptr;
  int count = request([&] { return atspi_accessible_get_child_count(accessible, &error); });
  if (failed(error) || count < 0) return std::nullopt;
  std::vector<ElementRef> list;
  for (int i = 0; i < count && i < kMaxChildren; ++i) {
    AtspiAccessible* child =
        request([&] { return atspi_accessible_get_child_at_index(accessible, i, &error); });
    if (failed(error) || child == nullptr) continue;
    ElementRef element = wrap(child, scale);
    if (windowsOnly) {
      AtspiRole role = request([&] { return atspi_accessible_get_role(child, &error); });
      if (failed(error) || !isWindowRole(role)) continue;
    }
    list.push_back(std::move(element));
  }
  return AccessibilityValue(std::move(list));
}

// The extents in screen coordinates: the origin as a point or the size.
std::optional<AccessibilityValue> extents(AtspiAccessible* accessible, bool origin, double scale) {
  AtspiComponent* component =
      request([&] { return atspi_accessible_get_component_iface(accessible); });
  if (component == nullptr) return std::nullopt;
  GError* error = nullptr;
  AtspiRect* rect = request(
      [&] { return atspi_component_get_extents(component, ATSPI_COORD_TYPE_SCREEN, &error); });
  g_object_unref(component);
  if (failed(error) || rect == nullptr) return std::nullopt;
  AccessibilityValue value =
      origin ? AccessibilityValue(Point{rect->x * scale, rect->y * scale})
             : AccessibilityValue(Size{rect->width * scale, rect->height * scale});
  g_free(rect);
  return value;
}

// Enabled from the state set. libatspi gives an empty set when the request fails; a real element
// always has some state, so an empty set counts as a failed read.
std::optional<AccessibilityValue> enabled(AtspiAccessible* accessible) {
  AtspiStateSet* states = request([&] { return atspi_accessible_get_state_set(accessible); });
  if (states == nullptr) return std::nullopt;
  GArray* all = atspi_state_set_get_states(states);
  bool empty = all == nullptr || all->len == 0;
  if (all != nullptr) g_array_free(all, TRUE);
  bool on = atspi_state_set_contains(states, ATSPI_STATE_ENABLED);
  g_object_unref(states);
  if (empty) return std::nullopt;
  return AccessibilityValue(on);
}

}  // namespace

ElementRef wrap(AtspiAccessible* accessible, double scale) {
  if (accessible == nullptr) return nullptr;
  return std::make_shared<AtspiElement>(accessible, scale);
}

std::optional<AccessibilityValue> readAttribute(AtspiAccessible* accessible,
                                                const std::string& attribute, double scale) {
  if (accessible == nullptr) return std::nullopt;
  if (attribute == "AXRole") return role(accessible);
  if (attribute == "AXTitle") return title(accessible);
  if (attribute == "AXParent") return parent(accessible, scale);
  if (attribute == "AXChildren") return children(accessible, false, scale);
  if (attribute == "AXWindows") return children(accessible, true, scale);
  if (attribute == "AXPosition") return extents(accessible, true, scale);
  if (attribute == "AXSize") return extents(accessible, false, scale);
  if (attribute == "AXEnabled") return enabled(accessible);
  if (auto button = titleBarButtonOf(attribute)) return titleBarButton(accessible, *button, scale);
  return std::nullopt;
}

}  // namespace virelo::atspi
