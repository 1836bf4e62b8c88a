#include "platform/atspi/atspi_controls.h"

#include <atspi/atspi.h>
#include <dbus/dbus.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <fstream>
#include <stdexcept>
#include <utility>

#include "platform/atspi/atspi_connection.h"
#include "platform/atspi/atspi_contents.h"
#include "platform/atspi/atspi_requests.h"
#include "platform/atspi/atspi_top_level.h"

namespace virelo::atspi {
namespace {

// A walk never descends further, nor looks at more accessibles of one window, nor at more
// top-level windows of one application.
constexpr int kMaxDepth = 64;
constexpr std::size_t kMostVisited = 100000;
constexpr int kMaxWindows = 64;
// The monitors that are looked at.
constexpr std::uint32_t kMaxMonitors = 16;
// How far an accessible window's extents may reach beyond an X window that stands in for it.
constexpr double kContainSlack = 2;
// How far an accessible window's size may differ from the compositor's window that shows it.
constexpr double kSizeSlack = 2;

// One reference of an accessible, given up at the end of the scope.
class Held {
 public:
  explicit Held(AtspiAccessible* accessible) : accessible_(accessible) {}
  ~Held() {
    if (accessible_ != nullptr) g_object_unref(accessible_);
  }
  Held(const Held&) = delete;
  Held& operator=(const Held&) = delete;
  AtspiAccessible* get() const { return accessible_; }

 private:
  AtspiAccessible* accessible_;
};

// Role names compare without case, and with "_" and "-" as spaces: "push_button" is
// "push button".
std::string normalisedRole(std::string_view text) {
  std::string result(text);
  for (char& c : result) {
    if (c == '_' || c == '-') c = ' ';
    c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  }
  return result;
}

// The role names are libatspi's, but for the push button's, which newer libatspi (Debian 13's)
// shortened to "button": it stays "push button", the name that scripts and earlier releases use,
// and "button" names it too.
std::string roleNameOf(AtspiRole role) {
  if (role == ATSPI_ROLE_PUSH_BUTTON) return "push button";
  gchar* name = atspi_role_get_name(role);
  std::string result = name != nullptr ? name : "";
  g_free(name);
  return result;
}

AtspiRole roleNamed(std::string_view name) {
  const std::string wanted = normalisedRole(name);
  if (wanted == "button") return ATSPI_ROLE_PUSH_BUTTON;
  for (int role = 0; role < ATSPI_ROLE_LAST_DEFINED; ++role) {
    if (normalisedRole(roleNameOf(static_cast<AtspiRole>(role))) == wanted) {
      return static_cast<AtspiRole>(role);
    }
  }
  throw std::invalid_argument("unknown role \"" + std::string(name) + "\"");
}

std::optional<std::string> nameOf(AtspiAccessible* accessible) {
  GError* error = nullptr;
  gchar* name = request([&] { return atspi_accessible_get_name(accessible, &error); });
  if (error != nullptr) {
    g_error_free(error);
    g_free(name);
    return std::nullopt;
  }
  std::string result = name != nullptr ? name : "";
  g_free(name);
  return result;
}

std::optional<AtspiRole> roleOf(AtspiAccessible* accessible) {
  GError* error = nullptr;
  AtspiRole role = request([&] { return atspi_accessible_get_role(accessible, &error); });
  if (error == nullptr) return role;
  g_error_free(error);
  return std::nullopt;
}

int childCount(AtspiAccessible* accessible) {
  GError* error = nullptr;
  int count = request([&] { return atspi_accessible_get_child_count(accessible, &error); });
  if (error == nullptr) return count;
  g_error_free(error);
  return 0;
}

struct States {
  bool known = false;
  bool showing = false;
  bool visible = false;
  bool enabled = false;
  bool focused = false;
  bool focusable = false;
  bool editable = false;
};

// libatspi gives an empty set when the request fails; a real accessible always has some state.
States statesOf(AtspiAccessible* accessible) {
  AtspiStateSet* set = request([&] { return atspi_accessible_get_state_set(accessible); });
  if (set == nullptr) return {};
  GArray* all = atspi_state_set_get_states(set);
  States states;
  states.known = all != nullptr && all->len > 0;
  if (all != nullptr) g_array_free(all, TRUE);
  states.showing = atspi_state_set_contains(set, ATSPI_STATE_SHOWING);
  states.visible = atspi_state_set_contains(set, ATSPI_STATE_VISIBLE);
  states.enabled = atspi_state_set_contains(set, ATSPI_STATE_ENABLED);
  states.focused = atspi_state_set_contains(set, ATSPI_STATE_FOCUSED);
  states.focusable = atspi_state_set_contains(set, ATSPI_STATE_FOCUSABLE);
  states.editable = atspi_state_set_contains(set, ATSPI_STATE_EDITABLE);
  g_object_unref(set);
  return states;
}

// The name of the process's program, as the kernel keeps it.
std::string programOf(std::int32_t pid) {
  std::ifstream comm("/proc/" + std::to_string(pid) + "/comm");
  std::string name;
  std::getline(comm, name);
  return name;
}

// The process behind a name on the accessibility bus, as the bus itself tells it (it answers for
// an application that does not).
std::optional<std::int32_t> busProcessOf(const std::string& busName) {
  DBusConnection* bus = atspi_get_a11y_bus();
  if (bus == nullptr || busName.empty()) return std::nullopt;
  DBusMessage* call =
      dbus_message_new_method_call("org.freedesktop.DBus", "/org/freedesktop/DBus",
                                   "org.freedesktop.DBus", "GetConnectionUnixProcessID");
  if (call == nullptr) return std::nullopt;
  const char* name = busName.c_str();
  dbus_message_append_args(call, DBUS_TYPE_STRING, &name, DBUS_TYPE_INVALID);
  DBusError error;
  dbus_error_init(&error);
  DBusMessage* reply = dbus_connection_send_with_reply_and_block(bus, call, 1000, &error);
  dbus_message_unref(call);
  dbus_uint32_t pid = 0;
  bool read = reply != nullptr &&
              dbus_message_get_args(reply, &error, DBUS_TYPE_UINT32, &pid, DBUS_TYPE_INVALID);
  dbus_error_free(&error);
  if (reply != nullptr) dbus_message_unref(reply);
  return read ? std::optional<std::int32_t>(static_cast<std::int32_t>(pid)) : std::nullopt;
}

// How an application that did not answer is named: its name when it gave one before, else its
// program's, with its process.
std::string unansweringName(AtspiAccessible* app, const std::optional<std::string>& name) {
  const std::string busName = busNameOf(app);
  auto pid = busProcessOf(busName);
  std::string label = name && !name->empty() ? *name : pid ? programOf(*pid) : busName;
  if (pid) label += " (pid " + std::to_string(*pid) + ")";
  return label;
}

struct ListedWindow {
  std::int32_t pid;
  Rect bounds;
  // Above 0 for pop-ups (menus, lists of combo boxes), which no window manager frames.
  int layer;
  std::string title;
};

std::vector<ListedWindow> listedWindows(const std::optional<nlohmann::json>& list) {
  std::vector<ListedWindow> windows;
  if (!list || !list->is_array()) return windows;
  for (const auto& entry : *list) {
    if (!entry.is_object()) continue;
    auto pid = entry.find(kWindowOwnerPID);
    auto bounds = entry.find(kWindowBounds);
    auto layer = entry.find(kWindowLayer);
    auto title = entry.find("title");
    if (bounds == entry.end()) continue;
    auto rect = rectFromDictionary(*bounds);
    if (!rect) continue;
    std::int32_t owner =
        pid != entry.end() && pid->is_number_integer() ? pid->get<std::int32_t>() : 0;
    windows.push_back(
        {owner, *rect, layer != entry.end() && layer->is_number_integer() ? layer->get<int>() : 0,
         title != entry.end() && title->is_string() ? title->get<std::string>() : ""});
  }
  return windows;
}

// Where an accessible window lies: its X window in the window list and its scale; and where
// its extents are inside the window, the window's origin on the screen.
struct Placement {
  int stacking = -1;
  double scale = 1;
  Rect bounds;
  Point origin{0, 0};
};

Placement placementOf(const std::vector<ListedWindow>& windows, std::int32_t pid,
                      const std::optional<Rect>& extents) {
  if (!extents) return {};
  for (std::size_t i = 0; i < windows.size(); ++i) {
    if (windows[i].pid != pid) continue;
    if (auto scale = scaleOf(*extents, windows[i].bounds)) {
      return {static_cast<int>(i), *scale, windows[i].bounds};
    }
  }
  // A window manager's frame holds the window with its decorations.
  for (std::size_t i = 0; i < windows.size(); ++i) {
    if (windows[i].pid == pid && windows[i].bounds.grown(kContainSlack).contains(*extents)) {
      return {static_cast<int>(i), 1, windows[i].bounds};
    }
  }
  return {};
}

// An accessible window whose extents are inside itself: the listed window of its process with
// its title and its size, where exactly one is (the list tells each window's owner only where
// that is certain).
Placement placementInWindow(const std::vector<ListedWindow>& windows, std::int32_t pid,
                            const std::string& title, const std::optional<Rect>& extents) {
  if (!extents) return {};
  Placement found;
  for (std::size_t i = 0; i < windows.size(); ++i) {
    const ListedWindow& w = windows[i];
    if (w.pid != pid || w.title != title ||
        std::abs(w.bounds.width() - extents->width()) > kSizeSlack ||
        std::abs(w.bounds.height() - extents->height()) > kSizeSlack) {
      continue;
    }
    if (found.stacking >= 0) return {};
    found = {static_cast<int>(i), 1, w.bounds, w.bounds.origin};
  }
  return found;
}

// The roles of what a pop-up holds: a menu's items, a combo box's list.
bool inPopUpRole(AtspiRole role) {
  switch (role) {
    case ATSPI_ROLE_MENU:
    case ATSPI_ROLE_MENU_ITEM:
    case ATSPI_ROLE_CHECK_MENU_ITEM:
    case ATSPI_ROLE_RADIO_MENU_ITEM:
    case ATSPI_ROLE_TEAROFF_MENU_ITEM:
    case ATSPI_ROLE_POPUP_MENU:
    case ATSPI_ROLE_LIST_ITEM:
      return true;
    default:
      return false;
  }
}

// The bounds of the monitors; empty when the server does not tell them.
std::vector<Rect> monitorsOf(ActiveDisplays& displays) {
  std::vector<Rect> bounds;
  auto ids = displays.activeDisplayList(kMaxMonitors);
  if (!ids) return bounds;
  for (std::uint32_t id : *ids) bounds.push_back(displays.displayBounds(id));
  return bounds;
}

// The extents on the screen: scaled, then moved by the window's origin.
Rect placed(const Rect& rect, const Placement& place) {
  const double scale = place.scale;
  return makeRect(place.origin.x + rect.minX() * scale, place.origin.y + rect.minY() * scale,
                  rect.width() * scale, rect.height() * scale);
}

}  // namespace

struct AtspiControls::Search {
  const ControlFilter& filter;
  Positions positions;
  std::optional<AtspiRole> role;
  std::vector<ListedWindow> windows;
  ControlSearch result;
  std::size_t visited = 0;
  // The count of unanswered requests when the current application's search began: once it grows,
  // the application is given up.
  std::uint64_t unansweredBefore = 0;
  std::vector<Rect> monitors;
  // The accessibles of the controls given, one reference each, in their order; and the number of
  // this search, which the controls' handles carry.
  std::vector<AtspiAccessible*>* kept = nullptr;
  std::uint64_t serial = 0;

  bool givenUp() const { return unansweredRequests() != unansweredBefore; }

  struct Application {
    std::string name;
    std::int32_t pid;
  };

  void application(AtspiAccessible* app) {
    unansweredBefore = unansweredRequests();
    auto name = nameOf(app);
    GError* error = nullptr;
    guint pid = request([&] { return atspi_accessible_get_process_id(app, &error); });
    if (error != nullptr) g_error_free(error);
    if (givenUp()) {
      result.unanswering.push_back(unansweringName(app, name));
      return;
    }
    const std::string label = name && !name->empty() ? *name : busNameOf(app);
    if (error != nullptr || static_cast<pid_t>(pid) == ::getpid()) return;
    Application owner{label, static_cast<std::int32_t>(pid)};
    if (filter.application && !filter.application(owner.name) &&
        !filter.application(programOf(owner.pid))) {
      return;
    }
    const int count = childCount(app);
    for (int i = 0; i < count && i < kMaxWindows; ++i) {
      Held window(childAtIndex(app, i));
      if (window.get() != nullptr) topLevel(window.get(), owner);
      if (givenUp()) {
        result.unanswering.push_back(unansweringName(app, name));
        return;
      }
    }
  }

  void topLevel(AtspiAccessible* window, const Application& owner) {
    if (!filter.all && !statesOf(window).showing) return;
    visited = 0;
    const Placement place =
        positions == AtspiControls::Positions::inWindow
            ? placementInWindow(windows, owner.pid, nameOf(window).value_or(""), extentsOf(window))
            : placementOf(windows, owner.pid, extentsOf(window));
    consider(window, owner, place, std::nullopt);
    if (!collect(window, owner, place) && !givenUp()) walk(window, owner, place, 0);
  }

  // The window's descendants that the filter's role and showing state accept, in one request;
  // false when the toolkit does not answer it.
  bool collect(AtspiAccessible* window, const Application& owner, const Placement& place) {
    AtspiCollection* collection =
        request([&] { return atspi_accessible_get_collection_iface(window); });
    if (collection == nullptr) return false;
    AtspiStateSet* states = atspi_state_set_new(nullptr);
    if (!filter.all) atspi_state_set_add(states, ATSPI_STATE_SHOWING);
    GArray* roles = g_array_new(FALSE, FALSE, sizeof(AtspiRole));
    if (role) g_array_append_val(roles, *role);
    AtspiMatchRule* rule = atspi_match_rule_new(
        states, ATSPI_Collection_MATCH_ALL, nullptr, ATSPI_Collection_MATCH_ALL, roles,
        role ? ATSPI_Collection_MATCH_ANY : ATSPI_Collection_MATCH_ALL, nullptr,
        ATSPI_Collection_MATCH_ALL, FALSE);
    GError* error = nullptr;
    GArray* matches = request([&] {
      return atspi_collection_get_matches(collection, rule, ATSPI_Collection_SORT_ORDER_CANONICAL,
                                          0, TRUE, &error);
    });
    g_object_unref(rule);
    g_object_unref(states);
    g_array_free(roles, TRUE);
    g_object_unref(collection);
    if (error != nullptr) {
      g_error_free(error);
      if (matches != nullptr) g_array_free(matches, TRUE);
      return false;
    }
    if (matches == nullptr) return false;
    for (guint i = 0; i < matches->len; ++i) {
      Held match(g_array_index(matches, AtspiAccessible*, i));
      if (match.get() != window) consider(match.get(), owner, place, role);
    }
    g_array_free(matches, TRUE);
    return true;
  }

  // The same, child by child; subtrees that are not showing are left out unless all are asked
  // for.
  void walk(AtspiAccessible* node, const Application& owner, const Placement& place, int depth) {
    if (depth >= kMaxDepth) return;
    const int count = childCount(node);
    for (int i = 0; i < count && visited < kMostVisited && !givenUp(); ++i, ++visited) {
      Held child(childAtIndex(node, i));
      if (child.get() == nullptr) continue;
      if (!filter.all && !statesOf(child.get()).showing) continue;
      std::optional<AtspiRole> childRole;
      if (role) {
        childRole = roleOf(child.get());
        if (childRole == role) consider(child.get(), owner, place, childRole);
      } else {
        consider(child.get(), owner, place, std::nullopt);
      }
      walk(child.get(), owner, place, depth + 1);
    }
  }

  // Adds the accessible when the filter accepts it; its role when already known.
  void consider(AtspiAccessible* accessible, const Application& owner, const Placement& place,
                std::optional<AtspiRole> knownRole) {
    if (givenUp()) return;
    // The role is read first only when the filter asks for one; else the name sorts out most.
    if (!knownRole && role) {
      knownRole = roleOf(accessible);
      if (knownRole != role) return;
    }
    auto name = nameOf(accessible);
    if (!name || (filter.name && !filter.name(*name))) return;
    if (!knownRole) knownRole = roleOf(accessible);
    if (!knownRole) return;
    const States states = statesOf(accessible);
    if (!filter.all && !states.showing) return;
    if (filter.container && !enclosedBy(accessible, filter.container, kMaxDepth)) return;
    Control control;
    control.role = roleNameOf(*knownRole);
    control.name = std::move(*name);
    control.application = owner.name;
    control.pid = owner.pid;
    if (auto extents = extentsOf(accessible)) control.bounds = placed(*extents, place);
    control.enabled = states.enabled;
    control.focused = states.focused;
    control.focusable = states.focusable;
    control.editable = states.editable;
    const Point centre{control.bounds.minX() + control.bounds.width() / 2,
                       control.bounds.minY() + control.bounds.height() / 2};
    const Placement own = popUpAt(centre, owner.pid, *knownRole).value_or(place);
    control.stacking = own.stacking;
    control.visible = states.showing && states.visible && control.bounds.width() > 0 &&
                      control.bounds.height() > 0 &&
                      (own.stacking < 0 || own.bounds.contains(centre));
    // A window-relative place of an unplaced window says nothing of what lies above it.
    const bool unplaced = positions == AtspiControls::Positions::inWindow && own.stacking < 0;
    control.covered = !unplaced && coveredAt(centre, own, owner.pid);
    control.offScreen = !unplaced && offScreen(centre);
    control.text = textOf(accessible);
    control.value = valueOf(accessible);
    control.handle = (serial << 32) | kept->size();
    kept->push_back(static_cast<AtspiAccessible*>(g_object_ref(accessible)));
    result.controls.push_back(std::move(control));
  }

  // A pop-up's items hang in the accessibility tree under the window that opened the pop-up, yet
  // lie in a window of their own: the front-most window at an item's centre, when it is a pop-up
  // of the same process, is the item's.
  std::optional<Placement> popUpAt(Point centre, std::int32_t pid, AtspiRole itemRole) const {
    if (!inPopUpRole(itemRole)) return std::nullopt;
    for (std::size_t i = 0; i < windows.size(); ++i) {
      if (!windows[i].bounds.contains(centre)) continue;
      if (windows[i].pid != pid || windows[i].layer <= 0) return std::nullopt;
      return Placement{static_cast<int>(i), 1, windows[i].bounds};
    }
    return std::nullopt;
  }

  // Whether the point lies on no monitor (unknown when the server tells none).
  bool offScreen(Point point) const {
    return !monitors.empty() && std::none_of(monitors.begin(), monitors.end(),
                                             [&](const Rect& m) { return m.contains(point); });
  }

  // Whether the front-most window at the point is another than the control's.
  bool coveredAt(Point point, const Placement& place, std::int32_t pid) const {
    for (std::size_t i = 0; i < windows.size(); ++i) {
      if (!windows[i].bounds.contains(point)) continue;
      return place.stacking >= 0 ? static_cast<int>(i) != place.stacking : windows[i].pid != pid;
    }
    return false;
  }
};

AtspiControls::AtspiControls(WindowList& windows, ActiveDisplays& displays,
                             std::chrono::milliseconds timeout, Positions positions)
    : windows_(windows), displays_(displays), timeout_(timeout), positions_(positions) {}

AtspiControls::~AtspiControls() {
  forget();
}

void AtspiControls::forget() {
  for (AtspiAccessible* accessible : found_) g_object_unref(accessible);
  found_.clear();
}

bool AtspiControls::started() {
  AtspiConnection& connection = AtspiConnection::instance();
  connection.reconnectIfLost();
  return connection.ready(timeout_);
}

Controls::Reach AtspiControls::reach() {
  auto enabled = status_.read(static_cast<int>(timeout_.count()));
  if (!enabled) return Reach::noBus;
  if (!*enabled) return Reach::switchedOff;
  return started() ? Reach::ready : Reach::noBus;
}

ControlSearch AtspiControls::find(const ControlFilter& filter) {
  forget();
  Search search{filter, positions_, std::nullopt, {}, {}, 0, 0, {}, &found_, ++searches_};
  if (filter.role) search.role = roleNamed(*filter.role);
  if (!started()) return {};
  search.windows = listedWindows(windows_.copyWindowInfo(
      kWindowListOptionOnScreenOnly | kWindowListExcludeDesktopElements, 0));
  search.monitors = monitorsOf(displays_);
  Held desktop(atspi_get_desktop(0));
  if (desktop.get() == nullptr) return {};
  const int count = childCount(desktop.get());
  for (int i = 0; i < count; ++i) {
    Held app(childAtIndex(desktop.get(), i));
    if (app.get() == nullptr) continue;
    AtspiConnection::instance().renew(app.get());
    search.application(app.get());
  }
  return std::move(search.result);
}

std::string AtspiControls::act(std::uint64_t handle, const std::optional<std::string>& action) {
  const std::uint64_t index = handle & 0xFFFFFFFFu;
  if ((handle >> 32) != searches_ || index >= found_.size()) {
    throw std::runtime_error("the control is not one of the latest search");
  }
  return doAction(found_[index], action);
}

std::vector<std::string> AtspiControls::roleNames() {
  std::vector<std::string> names;
  for (int role = 0; role < ATSPI_ROLE_LAST_DEFINED; ++role) {
    std::string name = roleNameOf(static_cast<AtspiRole>(role));
    if (!name.empty() && std::find(names.begin(), names.end(), name) == names.end()) {
      names.push_back(std::move(name));
    }
  }
  return names;
}

}  // namespace virelo::atspi
