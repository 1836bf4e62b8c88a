// The desktop's controls: the checks of what reading them needs, and the searches.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <stdexcept>
#include <utility>

#include "controls_module.h"
#include "message_text.h"
#include "same_control.h"
#include "session_search.h"
#include "virelo/client/controls.h"
#include "virelo/client/session.h"

namespace virelo::client {
namespace {

bool waylandSession(const EnvironmentLookup& environment) {
  const char* wayland = environment("WAYLAND_DISPLAY");
  const char* type = environment("XDG_SESSION_TYPE");
  return (wayland != nullptr && *wayland != '\0') ||
         (type != nullptr && std::strcmp(type, "wayland") == 0);
}

// The desktop whose windows decide where controls lie and what covers them, and why a control
// of a window that a compositor does not certainly show could not be placed.
struct Placing {
  std::string display;
  std::string unplaced;
};

// Under Wayland, the compositor of the session's host.
Placing compositorOf(const EnvironmentLookup& environment) {
  const std::string host = serviceHost({}, environment);
  if (host == "kde") {
    return {"kde:",
            "KWin shows no window that is certainly its window (one of its size, within 2 "
            "points, and its title, like no other of KWin's windows)"};
  }
  if (host == "gnome") {
    return {"gnome:",
            "gnome-shell shows no window of its window's size alone (it tells no titles, so "
            "windows of equal size cannot be told apart)"};
  }
  // Appended piece by piece: g++ 12's optimiser warns falsely of an overlap in `"..." + string`.
  std::string message = "this is a Wayland session ";
  if (host.empty()) {
    message += "of an unknown host (no session's host, no $VL_HOST)";
  } else {
    message += "on the \"";
    message += host;
    message += "\" host";
  }
  message +=
      ": only KWin (host kde) and gnome-shell (host gnome) tell a client where windows are, so "
      "here controls cannot be placed on the screen";
  throw ControlsUnavailable(message);
}

Placing placingOf(const EnvironmentLookup& environment) {
  if (waylandSession(environment)) return compositorOf(environment);
  const char* display = environment("DISPLAY");
  if (display == nullptr || *display == '\0') {
    throw ControlsUnavailable("no X display: $DISPLAY is not set");
  }
  if (!screenArea(display)) {
    throw ControlsUnavailable(std::string("no X server answers on \"") + display + "\"");
  }
  return {display, ""};
}

void checkReach(Controls& controls) {
  switch (controls.reach()) {
    case Controls::Reach::ready:
      return;
    case Controls::Reach::switchedOff:
      throw ControlsUnavailable(
          "accessibility is switched off; switch it on with: gsettings set "
          "org.gnome.desktop.interface toolkit-accessibility true (or: busctl --user "
          "set-property org.a11y.Bus /org/a11y/bus org.a11y.Status IsEnabled b true), then "
          "restart the applications");
    case Controls::Reach::noBus:
      throw ControlsUnavailable(
          "no accessibility bus: the session bus ($DBUS_SESSION_BUS_ADDRESS) does not answer or "
          "has no at-spi bus (Debian: at-spi2-core)");
  }
}

int rounded(double value) {
  return static_cast<int>(std::lround(value));
}

Control controlOf(const virelo::Control& found) {
  Control control;
  control.role = found.role;
  control.name = found.name;
  control.application = found.application;
  control.pid = found.pid;
  control.x = rounded(found.bounds.minX());
  control.y = rounded(found.bounds.minY());
  control.width = rounded(found.bounds.maxX()) - control.x;
  control.height = rounded(found.bounds.maxY()) - control.y;
  control.enabled = found.enabled;
  control.visible = found.visible;
  control.focused = found.focused;
  control.focusable = found.focusable;
  control.editable = found.editable;
  control.covered = found.covered;
  control.offScreen = found.offScreen;
  control.stacking = found.stacking;
  control.text = found.text;
  if (found.value) {
    control.value = ControlValue{found.value->current, found.value->minimum, found.value->maximum};
  }
  control.handle = found.handle;
  return control;
}

// Only the query's nth control, where it asks for one.
void keepNth(const ControlQuery& query, std::vector<Control>& controls) {
  if (!query.nth) return;
  if (*query.nth == 0 || *query.nth > controls.size()) {
    controls.clear();
    return;
  }
  Control nth = std::move(controls[*query.nth - 1]);
  controls.assign(1, std::move(nth));
}

}  // namespace

Desktop::Desktop(const EnvironmentLookup& environment, std::chrono::milliseconds timeout)
    : Desktop(environment, timeout, true) {}

Desktop::Desktop(const EnvironmentLookup& environment, std::chrono::milliseconds timeout,
                 bool askSession)
    : timeout_(timeout) {
  Placing placing = placingOf(environment);
  display_ = std::move(placing.display);
  unplaced_ = std::move(placing.unplaced);
  if (const char* module = environment("VIRELO_ACCESSIBILITY_MODULE")) module_ = module;
  // The session answers searches on an X display; a compositor's desktop is searched here.
  if (askSession && timeout == kControlsTimeout && !onCompositor()) {
    session_ = SessionSearch::connect(environment, display_);
  }
  if (!session_) here();
}

Desktop::~Desktop() = default;
Desktop::Desktop(Desktop&&) noexcept = default;
Desktop& Desktop::operator=(Desktop&&) noexcept = default;

Controls& Desktop::here() {
  if (!controls_) {
    const auto module = module_;
    const EnvironmentLookup environment = [&module](const char* name) -> const char* {
      return module && std::strcmp(name, "VIRELO_ACCESSIBILITY_MODULE") == 0 ? module->c_str()
                                                                             : nullptr;
    };
    auto controls = openControls(environment, display_, timeout_);
    checkReach(*controls);
    controls_ = std::move(controls);
  }
  return *controls_;
}

void Desktop::searchInProcess() {
  session_.reset();
  sessionQuery_.reset();
  here();
}

FoundControls Desktop::search(const ControlQuery& query) {
  if (session_) {
    if (auto found = session_->search(query)) {
      sessionQuery_ = query;
      return std::move(*found);
    }
    session_.reset();
  }
  sessionQuery_.reset();
  return searchHere(query);
}

FoundControls Desktop::searchHere(const ControlQuery& query) {
  ControlFilter filter;
  filter.role = query.role;
  if (query.name) filter.name = *query.name;
  if (query.application) {
    filter.application = [wanted = *query.application](std::string_view name) {
      return name == wanted;
    };
  }
  if (query.container) filter.container = *query.container;
  filter.all = query.all;
  ControlSearch search;
  try {
    search = here().find(filter);
  } catch (const std::invalid_argument& e) {
    throw UnknownRole(std::string(e.what()));
  }
  FoundControls found;
  found.unanswering = std::move(search.unanswering);
  for (const auto& control : search.controls) {
    if (query.editable && !control.editable) continue;
    if (query.text && !(control.text && (*query.text)(*control.text))) continue;
    found.controls.push_back(controlOf(control));
    // A compositor's window that matched no shown window for certain leaves its controls inside
    // it.
    if (onCompositor() && control.stacking < 0) found.controls.back().placed = false;
  }
  readingOrder(found.controls);
  return found;
}

FoundControls Desktop::showing(const ControlQuery& query) {
  FoundControls found = search(query);
  keepNth(query, found.controls);
  return found;
}

FoundControls Desktop::find(const ControlQuery& query) {
  FoundControls found = search(query);
  if (!query.all) {
    std::erase_if(found.controls,
                  [](const Control& c) { return !c.visible || c.covered || c.offScreen; });
  }
  keepNth(query, found.controls);
  return found;
}

std::string Desktop::act(const Control& control, const std::optional<std::string>& action) {
  Control target = control;
  if (sessionQuery_) {
    // The session found it; this process's own search names it for the module here.
    ControlQuery query = *sessionQuery_;
    query.nth.reset();
    searchInProcess();
    const FoundControls found = searchHere(query);
    const auto same = std::find_if(found.controls.begin(), found.controls.end(),
                                   [&](const Control& c) { return sameControl(c, control); });
    if (same == found.controls.end()) {
      throw ControlNotActionable("the " + controlWords(control) + " is gone");
    }
    target = *same;
  }
  Controls& controls = here();
  try {
    return controls.act(target.handle, action);
  } catch (const std::runtime_error& e) {
    throw ControlNotActionable("the " + controlWords(control) + " was not pressed: " + e.what());
  }
}

std::vector<std::string> Desktop::roleNames() {
  return here().roleNames();
}

}  // namespace virelo::client
