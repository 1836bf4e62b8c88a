#include "platform/gnome/gnome_session_probe.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <sstream>

namespace virelo::gnome {
namespace {

bool isWayland(const SessionSigns& signs) {
  if (!signs.sessionType.empty()) return signs.sessionType == "wayland";
  return !signs.waylandDisplay.empty();
}

bool namesGnome(const std::string& desktops) {
  std::stringstream list(desktops);
  for (std::string name; std::getline(list, name, ':');) {
    std::transform(name.begin(), name.end(), name.begin(),
                   [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    if (name == "GNOME") return true;
  }
  return false;
}

std::string variable(const char* name) {
  const char* value = std::getenv(name);
  return value == nullptr ? "" : value;
}

}  // namespace

bool isGnomeSession(const SessionSigns& signs) {
  if (!isWayland(signs)) return false;
  if (signs.remoteDesktopOnBus) return *signs.remoteDesktopOnBus;
  return namesGnome(signs.currentDesktop);
}

SessionSigns sessionSignsFromEnvironment() {
  return {variable("XDG_SESSION_TYPE"), variable("WAYLAND_DISPLAY"),
          variable("XDG_CURRENT_DESKTOP"), std::nullopt};
}

}  // namespace virelo::gnome
