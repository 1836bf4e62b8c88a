#include "platform/atspi/atspi_title_bar.h"

#include <deque>
#include <initializer_list>
#include <string_view>
#include <utility>

#include "platform/atspi/atspi_attributes.h"
#include "platform/atspi/atspi_requests.h"
#include "platform/atspi/atspi_roles.h"

namespace virelo::atspi {
namespace {

// The search looks at most this deep below the window, at the first few children of each
// container, and at no more elements in all.
constexpr int kMaxDepth = 3;
constexpr int kMaxChildrenPerLevel = 6;
constexpr int kMaxVisited = 48;

// The accessible names the toolkits give their title-bar buttons (GTK: "Close", "Minimize",
// "Maximize"; "Restore" once maximised).
bool named(TitleBarButton button, std::string_view name) {
  auto any = [&](std::initializer_list<std::string_view> names) {
    for (auto n : names) {
      if (n == name) return true;
    }
    return false;
  };
  switch (button) {
    case TitleBarButton::close:
      return any({"Close"});
    case TitleBarButton::minimize:
      return any({"Minimize", "Minimise"});
    case TitleBarButton::zoom:
      return any({"Maximize", "Maximise", "Restore", "Unmaximize"});
    case TitleBarButton::fullScreen:
      return false;
  }
  return false;
}

bool isContainer(AtspiRole role) {
  return role == ATSPI_ROLE_PANEL || role == ATSPI_ROLE_FILLER || role == ATSPI_ROLE_TOOL_BAR;
}

std::string nameOf(AtspiAccessible* accessible) {
  GError* error = nullptr;
  gchar* name = request([&] { return atspi_accessible_get_name(accessible, &error); });
  if (error != nullptr) g_error_free(error);
  std::string text = name == nullptr ? "" : name;
  g_free(name);
  return text;
}

// Breadth first through the header containers; the first matching push button, with a reference.
AtspiAccessible* findButton(AtspiAccessible* window, TitleBarButton button) {
  std::deque<std::pair<AtspiAccessible*, int>> todo{{g_object_ref(window), 0}};
  AtspiAccessible* found = nullptr;
  for (int visited = 0; !todo.empty() && visited < kMaxVisited; ++visited) {
    auto [node, depth] = todo.front();
    todo.pop_front();
    GError* error = nullptr;
    AtspiRole role = depth == 0 ? ATSPI_ROLE_FRAME
                                : request([&] { return atspi_accessible_get_role(node, &error); });
    if (error == nullptr && found == nullptr) {
      if (role == ATSPI_ROLE_PUSH_BUTTON && named(button, nameOf(node))) {
        found = ATSPI_ACCESSIBLE(g_object_ref(node));
      } else if (depth < kMaxDepth && (depth == 0 || isContainer(role))) {
        int count = request([&] { return atspi_accessible_get_child_count(node, &error); });
        for (int i = 0; error == nullptr && i < count && i < kMaxChildrenPerLevel; ++i) {
          AtspiAccessible* child =
              request([&] { return atspi_accessible_get_child_at_index(node, i, &error); });
          if (child != nullptr) todo.emplace_back(child, depth + 1);
        }
      }
    }
    if (error != nullptr) g_error_free(error);
    g_object_unref(node);
  }
  for (auto& [node, depth] : todo) g_object_unref(node);
  return found;
}

}  // namespace

std::optional<TitleBarButton> titleBarButtonOf(const std::string& attribute) {
  if (attribute == "AXCloseButton") return TitleBarButton::close;
  if (attribute == "AXMinimizeButton") return TitleBarButton::minimize;
  if (attribute == "AXZoomButton") return TitleBarButton::zoom;
  if (attribute == "AXFullScreenButton") return TitleBarButton::fullScreen;
  return std::nullopt;
}

std::optional<AccessibilityValue> titleBarButton(AtspiAccessible* window, TitleBarButton button,
                                                 double scale) {
  GError* error = nullptr;
  AtspiRole role = request([&] { return atspi_accessible_get_role(window, &error); });
  if (error != nullptr) {
    g_error_free(error);
    return std::nullopt;
  }
  if (!isWindowRole(role)) return std::nullopt;
  AtspiAccessible* found = findButton(window, button);
  if (found == nullptr) return AccessibilityValue(std::monostate{});
  return AccessibilityValue(wrap(found, scale));
}

}  // namespace virelo::atspi
