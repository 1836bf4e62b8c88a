// The desktop's controls: the checks of what reading them needs, and the searches.
#include <cmath>
#include <cstring>
#include <stdexcept>

#include "controls_module.h"
#include "virelo/client/controls.h"

namespace virelo::client {
namespace {

bool waylandSession(const EnvironmentLookup& environment) {
  const char* wayland = environment("WAYLAND_DISPLAY");
  const char* type = environment("XDG_SESSION_TYPE");
  return (wayland != nullptr && *wayland != '\0') ||
         (type != nullptr && std::strcmp(type, "wayland") == 0);
}

// The X display whose windows decide where controls lie and what covers them.
std::string displayOf(const EnvironmentLookup& environment) {
  if (waylandSession(environment)) {
    throw ControlsUnavailable(
        "this is a Wayland session: its compositor tells no client where windows are, so "
        "controls cannot be found on the screen (an X session is needed)");
  }
  const char* display = environment("DISPLAY");
  if (display == nullptr || *display == '\0') {
    throw ControlsUnavailable("no X display: $DISPLAY is not set");
  }
  if (!screenArea(display)) {
    throw ControlsUnavailable(std::string("no X server answers on \"") + display + "\"");
  }
  return display;
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
  return control;
}

}  // namespace

Desktop::Desktop(const EnvironmentLookup& environment, std::chrono::milliseconds timeout)
    : display_(displayOf(environment)), controls_(openControls(environment, display_, timeout)) {
  checkReach(*controls_);
}

Desktop::~Desktop() = default;
Desktop::Desktop(Desktop&&) noexcept = default;
Desktop& Desktop::operator=(Desktop&&) noexcept = default;

FoundControls Desktop::showing(const ControlQuery& query) {
  ControlFilter filter;
  filter.role = query.role;
  if (query.name) filter.name = *query.name;
  if (query.application) {
    filter.application = [wanted = *query.application](std::string_view name) {
      return name == wanted;
    };
  }
  filter.all = query.all;
  ControlSearch search;
  try {
    search = controls_->find(filter);
  } catch (const std::invalid_argument& e) {
    throw UnknownRole(std::string(e.what()));
  }
  FoundControls found;
  found.unanswering = std::move(search.unanswering);
  for (const auto& control : search.controls) {
    if (!query.editable || control.editable) found.controls.push_back(controlOf(control));
  }
  return found;
}

FoundControls Desktop::find(const ControlQuery& query) {
  FoundControls found = showing(query);
  if (query.all) return found;
  std::erase_if(found.controls,
                [](const Control& c) { return !c.visible || c.covered || c.offScreen; });
  return found;
}

std::vector<std::string> Desktop::roleNames() {
  return controls_->roleNames();
}

}  // namespace virelo::client
