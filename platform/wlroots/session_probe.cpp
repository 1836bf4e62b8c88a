#include "platform/wlroots/session_probe.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <sstream>
#include <string_view>

namespace virelo::wlroots {
namespace {

constexpr std::string_view kCompositors[] = {"sway", "river", "wayfire", "labwc",
                                             "dwl",  "cage",  "hyprland"};

std::string lower(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return text;
}

std::string variable(const char* name) {
  const char* value = std::getenv(name);
  return value == nullptr ? "" : value;
}

}  // namespace

bool isWlrootsSession(const SessionClues& clues) {
  if (clues.waylandDisplay.empty()) return false;
  const std::string type = lower(clues.sessionType);
  if (!type.empty() && type != "wayland") return false;
  if (clues.currentDesktop.empty()) return !clues.swaySocket.empty();
  std::stringstream names(lower(clues.currentDesktop));
  for (std::string name; std::getline(names, name, ':');) {
    if (std::find(std::begin(kCompositors), std::end(kCompositors), name) !=
        std::end(kCompositors)) {
      return true;
    }
  }
  return false;
}

SessionClues sessionCluesFromEnvironment() {
  return {variable("XDG_SESSION_TYPE"), variable("WAYLAND_DISPLAY"),
          variable("XDG_CURRENT_DESKTOP"), variable("SWAYSOCK")};
}

}  // namespace virelo::wlroots
