#include "platform/kde/kde_session.h"

#include <algorithm>
#include <cctype>
#include <string_view>

namespace virelo::kde {
namespace {

std::string_view value(const std::function<const char*(const char*)>& environment,
                       const char* name) {
  const char* v = environment(name);
  return v == nullptr ? std::string_view() : std::string_view(v);
}

bool sameWord(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::tolower(static_cast<unsigned char>(x)) ==
                  std::tolower(static_cast<unsigned char>(y));
         });
}

bool namesKde(std::string_view desktops) {
  while (!desktops.empty()) {
    const auto colon = desktops.find(':');
    if (sameWord(desktops.substr(0, colon), "KDE")) return true;
    if (colon == std::string_view::npos) break;
    desktops.remove_prefix(colon + 1);
  }
  return false;
}

}  // namespace

bool isKdeWaylandSession(const std::function<const char*(const char*)>& environment) {
  const std::string_view type = value(environment, "XDG_SESSION_TYPE");
  const bool wayland =
      type.empty() ? !value(environment, "WAYLAND_DISPLAY").empty() : sameWord(type, "wayland");
  return wayland && namesKde(value(environment, "XDG_CURRENT_DESKTOP"));
}

}  // namespace virelo::kde
