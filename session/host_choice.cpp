#include "session/host_choice.h"

#include <algorithm>
#include <cctype>

#include "platform/gnome/gnome_session_probe.h"
#include "platform/kde/kde_session.h"
#include "platform/wlroots/session_probe.h"
#include "session/systemd_library.h"

namespace virelo::session {
namespace {

std::string lower(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return text;
}

bool isWayland(const DesktopSigns& signs) {
  if (!signs.sessionType.empty()) return lower(signs.sessionType) == "wayland";
  return !signs.waylandDisplay.empty();
}

bool kdeSession(const DesktopSigns& signs) {
  const bool named = kde::isKdeWaylandSession([&](const char* name) -> const char* {
    const std::string variable = name;
    if (variable == "XDG_SESSION_TYPE") return signs.sessionType.c_str();
    if (variable == "WAYLAND_DISPLAY") return signs.waylandDisplay.c_str();
    if (variable == "XDG_CURRENT_DESKTOP") return signs.currentDesktop.c_str();
    return nullptr;
  });
  return named || signs.kwin.value_or(false);
}

// Why the session is not Wayland, for a choice of "linux".
std::string notWayland(const DesktopSigns& signs) {
  if (!signs.sessionType.empty()) {
    return "the session is not Wayland ($XDG_SESSION_TYPE is " + signs.sessionType + ")";
  }
  if (!signs.display.empty()) return "no Wayland display, and the X server " + signs.display;
  return "no graphical session seen ($XDG_SESSION_TYPE, $WAYLAND_DISPLAY and $DISPLAY are unset)";
}

const char* const kXWaylandOnly =
    ": the X11 host, whose window-server events reach only XWayland applications";

// The compositor's host and why, or nullopt when no host serves it.
std::optional<HostChoice> compositorHost(const DesktopSigns& signs) {
  if (gnome::isGnomeSession({signs.sessionType, signs.waylandDisplay, signs.currentDesktop,
                             signs.mutterRemoteDesktop})) {
    return HostChoice{
        "gnome",
        signs.mutterRemoteDesktop
            ? "GNOME's compositor: org.gnome.Mutter.RemoteDesktop is on the session bus"
            : "GNOME's compositor: the desktop is GNOME",
        false};
  }
  if (kdeSession(signs)) {
    return HostChoice{"kde",
                      signs.kwin.value_or(false) ? "KWin: org.kde.KWin is on the session bus"
                                                 : "KWin: the desktop is KDE",
                      false};
  }
  if (wlroots::isWlrootsSession(
          {signs.sessionType, signs.waylandDisplay, signs.currentDesktop, signs.swaySocket})) {
    return HostChoice{"wlroots",
                      signs.currentDesktop.empty()
                          ? "a wlroots compositor: sway's socket is set"
                          : "a wlroots compositor: the desktop is " + signs.currentDesktop,
                      false};
  }
  return std::nullopt;
}

}  // namespace

HostChoice chooseHost(const DesktopSigns& signs,
                      const std::function<bool(const std::string&)>& built) {
  if (!isWayland(signs)) return {"linux", notWayland(signs), false};
  const std::string wayland = "a Wayland session of ";
  if (auto found = compositorHost(signs)) {
    if (built(found->host)) return {found->host, wayland + found->reason, false};
    return {"linux",
            wayland + found->reason + ", but this build has no " + found->host + " host" +
                kXWaylandOnly,
            true};
  }
  const std::string desktop =
      signs.currentDesktop.empty() ? "no desktop named" : "the desktop is " + signs.currentDesktop;
  if (signs.mutterRemoteDesktop == false &&
      lower(signs.currentDesktop).find("gnome") != std::string::npos) {
    return {"linux",
            "a Wayland session whose desktop is " + signs.currentDesktop +
                ", but org.gnome.Mutter.RemoteDesktop is not on the session bus" + kXWaylandOnly,
            true};
  }
  return {"linux", wayland + "a compositor that no host serves (" + desktop + ")" + kXWaylandOnly,
          true};
}

DesktopSigns desktopSigns(const client::EnvironmentLookup& environment,
                          const std::function<std::optional<bool>(const char*)>& busHasOwner) {
  auto variable = [&](const char* name) {
    const char* value = environment(name);
    return std::string(value == nullptr ? "" : value);
  };
  DesktopSigns signs{variable("XDG_SESSION_TYPE"),
                     variable("WAYLAND_DISPLAY"),
                     variable("DISPLAY"),
                     variable("XDG_CURRENT_DESKTOP"),
                     variable("SWAYSOCK"),
                     std::nullopt,
                     std::nullopt};
  if (isWayland(signs)) {
    signs.mutterRemoteDesktop = busHasOwner("org.gnome.Mutter.RemoteDesktop");
    signs.kwin = busHasOwner("org.kde.KWin");
  }
  return signs;
}

std::optional<bool> sessionBusHasOwner(const char* name) {
#ifdef VIRELO_HAVE_SYSTEMD
  const SystemdLibrary* systemd = systemdLibrary();
  sd_bus* bus = nullptr;
  if (systemd == nullptr || systemd->busOpenUser(&bus) < 0) return std::nullopt;
  sd_bus_error error{};  // SD_BUS_ERROR_NULL, whose compound literal is C only
  sd_bus_message* reply = nullptr;
  int owned = 0;
  int r = systemd->callMethod(bus, "org.freedesktop.DBus", "/org/freedesktop/DBus",
                              "org.freedesktop.DBus", "NameHasOwner", &error, &reply, "s", name);
  if (r >= 0) r = systemd->messageReadBasic(reply, 'b', &owned);
  systemd->messageUnref(reply);
  systemd->errorFree(&error);
  systemd->busUnref(bus);
  if (r < 0) return std::nullopt;
  return owned != 0;
#else
  (void)name;
  return std::nullopt;
#endif
}

}  // namespace virelo::session
