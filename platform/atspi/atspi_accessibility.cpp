#include "platform/atspi/atspi_accessibility.h"

#include <cmath>

#include "platform/atspi/atspi_attributes.h"
#include "platform/atspi/atspi_connection.h"
#include "platform/atspi/atspi_element.h"
#include "platform/atspi/atspi_requests.h"
#include "platform/atspi/atspi_roles.h"
#include "platform/atspi/atspi_top_level.h"

namespace virelo::atspi {
namespace {

// The timeout of libatspi's own default, until the finder sets its own.
constexpr int kDefaultTimeoutMS = 800;
// A hit test never descends further than this.
constexpr int kMaxDepth = 32;
// How many accessibles libatspi may keep of one application before those unused are let go.
constexpr guint kMostKept = 512;

AtspiAccessible* accessibleOf(const ElementRef& element) {
  auto* atspi = dynamic_cast<const AtspiElement*>(element.get());
  return atspi == nullptr ? nullptr : atspi->accessible();
}

bool isSystemWide(const ElementRef& element) {
  auto* atspi = dynamic_cast<const AtspiElement*>(element.get());
  return atspi != nullptr && atspi->accessible() == nullptr;
}

double scaleOf(const ElementRef& element) {
  auto* atspi = dynamic_cast<const AtspiElement*>(element.get());
  return atspi == nullptr ? 1 : atspi->scale();
}

// The deepest element at the point in the application's top-level window with these bounds (see
// accessibleWindowOf), with a reference, or null; and the window's scale.
ScaledWindow deepestAt(AtspiAccessible* app, const Rect& bounds, Point point, bool orContaining) {
  auto [current, scale] = accessibleWindowOf(app, bounds, point, orContaining);
  // The toolkit's hit test takes its own logical pixels.
  Point logical{point.x / scale, point.y / scale};
  for (int depth = 0; current != nullptr && depth < kMaxDepth; ++depth) {
    AtspiAccessible* child = childAt(current, logical);
    if (child == nullptr) break;
    if (child == current) {
      g_object_unref(child);
      break;
    }
    g_object_unref(current);
    current = child;
  }
  return {current, scale};
}

// libatspi keeps each accessible that a request gave in a table of its application, holding a
// reference, until the application leaves: an application that replaces its widgets would so grow
// this process by every widget that a hit test met. Once the table holds more than kMostKept, the
// accessibles that nothing but the table holds are let go (libatspi makes one anew when a request
// gives it again). Those in use by an element, or by a child as its parent, stay.
void forgetUnused(AtspiAccessible* accessible) {
  AtspiApplication* app = accessible->parent.app;
  if (app == nullptr || app->hash == nullptr || g_hash_table_size(app->hash) <= kMostKept) return;
  g_hash_table_foreach_remove(
      app->hash,
      [](gpointer, gpointer value, gpointer) -> gboolean {
        return G_OBJECT(value)->ref_count == 1;
      },
      nullptr);
}

}  // namespace

AtspiAccessibility::AtspiAccessibility(WindowList& windows)
    : windows_(windows), timeoutMS_(kDefaultTimeoutMS) {}

AtspiAccessibility::~AtspiAccessibility() = default;

int AtspiAccessibility::timeoutMS() const {
  return timeoutMS_.load(std::memory_order_relaxed);
}

bool AtspiAccessibility::ready() {
  return AtspiConnection::instance().ready(std::chrono::milliseconds(timeoutMS()));
}

bool AtspiAccessibility::isProcessTrusted() {
  if (!status_.enabled(timeoutMS())) return false;
  AtspiConnection& connection = AtspiConnection::instance();
  connection.reconnectIfLost();
  if (connection.generation() != generation_) {
    // The bus names are those of the new bus now.
    unanswering_ = UnansweringApplications();
    generation_ = connection.generation();
  }
  return ready();
}

ElementRef AtspiAccessibility::systemWide() {
  return std::make_shared<AtspiElement>();
}

void AtspiAccessibility::setMessagingTimeout(const ElementRef& element, float seconds) {
  if (!isSystemWide(element) || !(seconds > 0)) return;
  timeoutMS_.store(static_cast<int>(std::ceil(seconds * 1000)), std::memory_order_relaxed);
}

AtspiAccessible* AtspiAccessibility::applicationOf(std::int32_t pid) {
  if (!ready()) return nullptr;
  AtspiAccessible* desktop = atspi_get_desktop(0);
  if (desktop == nullptr) return nullptr;
  GError* error = nullptr;
  int count = atspi_accessible_get_child_count(desktop, &error);
  AtspiAccessible* found = nullptr;
  for (int i = 0; error == nullptr && found == nullptr && i < count; ++i) {
    AtspiAccessible* app = atspi_accessible_get_child_at_index(desktop, i, &error);
    if (app == nullptr) continue;
    AtspiConnection::instance().renew(app);
    GError* pidError = nullptr;
    guint appPID = atspi_accessible_get_process_id(app, &pidError);
    if (pidError == nullptr && appPID == static_cast<guint>(pid)) {
      found = app;
    } else {
      g_object_unref(app);
    }
    if (pidError != nullptr) g_error_free(pidError);
  }
  if (error != nullptr) g_error_free(error);
  g_object_unref(desktop);
  return found;
}

const nlohmann::json& AtspiAccessibility::windowList() {
  auto now = std::chrono::steady_clock::now();
  if (windowList_.is_null() || now - windowListTakenAt_ > kWindowListLifetime) {
    auto list = windows_.copyWindowInfo(
        kWindowListOptionOnScreenOnly | kWindowListExcludeDesktopElements, 0);
    windowList_ = list ? std::move(*list) : nlohmann::json();
    windowListTakenAt_ = now;
  }
  return windowList_;
}

template <typename Requests>
auto AtspiAccessibility::asking(AtspiAccessible* accessible, Requests requests)
    -> decltype(requests()) {
  std::string name = busNameOf(accessible);
  if (name.empty()) return requests();
  if (unanswering_.skipped(name, UnansweringApplications::Clock::now())) return {};
  std::uint64_t before = unansweredRequests();
  auto result = requests();
  unanswering_.record(name, unansweredRequests() != before, UnansweringApplications::Clock::now());
  return result;
}

ElementRef AtspiAccessibility::application(std::int32_t pid) {
  return std::make_shared<AtspiElement>(applicationOf(pid));
}

std::optional<AccessibilityValue> AtspiAccessibility::copyAttributeValue(
    const ElementRef& element, const std::string& attribute) {
  AtspiAccessible* accessible = accessibleOf(element);
  if (accessible == nullptr || !ready()) return std::nullopt;
  return asking(accessible, [&] { return readAttribute(accessible, attribute, scaleOf(element)); });
}

ElementRef AtspiAccessibility::elementAtPosition(const ElementRef& systemWide, float x, float y) {
  if (!isSystemWide(systemWide)) return nullptr;
  Point point{x, y};
  auto top = topLevelAt(windowList(), point);
  if (!top) return nullptr;
  AtspiAccessible* app = applicationOf(top->pid);
  if (app == nullptr) return nullptr;
  // A pop-up window (a menu, a combo box's list) lies over other windows of its application. A
  // toolkit may list it under the control that opened it rather than as a window of its own; then
  // no window matches it, and a window of the application beneath it must not be hit-tested
  // instead, for that would find the controls that the pop-up hides.
  bool popUp = top->layer > 0;
  auto [current, scale] = asking(app, [&] { return deepestAt(app, top->bounds, point, !popUp); });
  forgetUnused(app);
  g_object_unref(app);
  return wrap(current, scale);
}

std::optional<std::int32_t> AtspiAccessibility::processID(const ElementRef& element) {
  AtspiAccessible* accessible = accessibleOf(element);
  if (accessible == nullptr || !ready()) return std::nullopt;
  GError* error = nullptr;
  guint pid = atspi_accessible_get_process_id(accessible, &error);
  if (error != nullptr) {
    g_error_free(error);
    return std::nullopt;
  }
  return static_cast<std::int32_t>(pid);
}

bool AtspiAccessibility::equal(const ElementRef& a, const ElementRef& b) {
  if (a == nullptr || b == nullptr) return false;
  if (a == b) return true;
  AtspiAccessible* x = accessibleOf(a);
  AtspiAccessible* y = accessibleOf(b);
  if (x == nullptr || y == nullptr) return isSystemWide(a) && isSystemWide(b);
  if (x == y) return true;
  const AtspiObject& ox = x->parent;
  const AtspiObject& oy = y->parent;
  return ox.app == oy.app && g_strcmp0(ox.path, oy.path) == 0;
}

}  // namespace virelo::atspi
