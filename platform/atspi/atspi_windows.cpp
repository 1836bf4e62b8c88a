#include "platform/atspi/atspi_windows.h"

#include <atspi/atspi.h>

#include <functional>

#include "platform/atspi/atspi_connection.h"
#include "platform/atspi/atspi_requests.h"
#include "platform/atspi/atspi_top_level.h"

namespace virelo::atspi {
namespace {

std::string nameOf(AtspiAccessible* accessible) {
  GError* error = nullptr;
  gchar* name = request([&] { return atspi_accessible_get_name(accessible, &error); });
  if (error != nullptr) g_error_free(error);
  std::string result = name != nullptr ? name : "";
  g_free(name);
  return result;
}

int childCount(AtspiAccessible* accessible) {
  GError* error = nullptr;
  int count = request([&] { return atspi_accessible_get_child_count(accessible, &error); });
  if (error != nullptr) {
    g_error_free(error);
    return 0;
  }
  return count;
}

// Calls `each` with every application on the bus (borrowed for the call).
void forEachApplication(const std::function<void(AtspiAccessible*)>& each) {
  AtspiAccessible* desktop = atspi_get_desktop(0);
  if (desktop == nullptr) return;
  const int count = childCount(desktop);
  for (int i = 0; i < count; ++i) {
    AtspiAccessible* app = childAtIndex(desktop, i);
    if (app == nullptr) continue;
    AtspiConnection::instance().renew(app);
    each(app);
    g_object_unref(app);
  }
  g_object_unref(desktop);
}

bool sized(const std::optional<Rect>& extents) {
  return extents && extents->width() > 0 && extents->height() > 0;
}

void collect(AtspiAccessible* accessible, int depth, std::size_t limit, std::vector<Rect>& out) {
  const int count = childCount(accessible);
  for (int i = 0; i < count && out.size() < limit; ++i) {
    AtspiAccessible* child = childAtIndex(accessible, i);
    if (child == nullptr) continue;
    auto extents = extentsOf(child);
    if (sized(extents)) out.push_back(*extents);
    // A node of no size or place (a hidden actor's extents are of the least integer) shows
    // nothing beneath it either.
    if (depth > 1 && extents && extents->minX() > -1e9) collect(child, depth - 1, limit, out);
    g_object_unref(child);
  }
}

}  // namespace

std::vector<TopWindow> topWindows(std::string_view skipped, std::chrono::milliseconds timeout) {
  std::vector<TopWindow> windows;
  if (!AtspiConnection::instance().ready(timeout)) return windows;
  forEachApplication([&](AtspiAccessible* app) {
    if (nameOf(app) == skipped) return;
    GError* error = nullptr;
    const auto pid = static_cast<std::int32_t>(
        request([&] { return atspi_accessible_get_process_id(app, &error); }));
    if (error != nullptr) {
      g_error_free(error);
      return;
    }
    const int count = childCount(app);
    for (int i = 0; i < count; ++i) {
      AtspiAccessible* window = childAtIndex(app, i);
      if (window == nullptr) continue;
      auto extents = extentsOf(window);
      if (sized(extents)) windows.push_back({pid, nameOf(window), extents->size});
      g_object_unref(window);
    }
  });
  return windows;
}

std::vector<Rect> nodeExtents(std::string_view application, int depth, std::size_t limit,
                              std::chrono::milliseconds timeout) {
  std::vector<Rect> nodes;
  if (!AtspiConnection::instance().ready(timeout)) return nodes;
  forEachApplication([&](AtspiAccessible* app) {
    if (nodes.empty() && nameOf(app) == application) collect(app, depth, limit, nodes);
  });
  return nodes;
}

}  // namespace virelo::atspi
