// The host a session runs when neither --host nor the configuration file names one: told from the
// desktop session it runs in. A pure function of the signs it is given, so that the choice can be
// made (and tested) without a desktop; desktopSigns() gathers them from this process.
#pragma once

#include <functional>
#include <optional>
#include <string>

#include "virelo/client/session.h"

namespace virelo::session {

struct DesktopSigns {
  std::string sessionType;     // $XDG_SESSION_TYPE: "wayland", "x11", "tty", or empty
  std::string waylandDisplay;  // $WAYLAND_DISPLAY
  std::string display;         // $DISPLAY
  std::string currentDesktop;  // $XDG_CURRENT_DESKTOP: desktop names separated by colons
  std::string swaySocket;      // $SWAYSOCK
  // Whether the compositor's name has an owner on the session bus: GNOME's remote desktop
  // (org.gnome.Mutter.RemoteDesktop) and KWin (org.kde.KWin); nullopt when the bus was not asked
  // or could not be.
  std::optional<bool> mutterRemoteDesktop;
  std::optional<bool> kwin;
};

struct HostChoice {
  std::string host;
  std::string reason;  // why, for the session's log and `virelo doctor`
  // The session is Wayland but no host of this build serves its compositor: "linux" reaches only
  // XWayland applications with "cgevent".
  bool fallback = false;
};

// A Wayland session (its type says so; with no type, a Wayland display is set) runs the host of
// its compositor: "gnome" under mutter or gnome-shell (the remote desktop service on the bus, or
// where the bus was not asked a desktop named GNOME), "kde" under KWin (a desktop named KDE, or
// KWin on the bus), "wlroots" under sway and its kin (a desktop naming one, or sway's socket); each
// only when `built` says this build has it. Every other session, X11 among them, runs "linux".
HostChoice chooseHost(const DesktopSigns& signs,
                      const std::function<bool(const std::string&)>& built);

// The signs of this process's environment; the session bus is asked (through `busHasOwner`, which
// gives nullopt when it cannot tell) only in a Wayland session.
DesktopSigns desktopSigns(const client::EnvironmentLookup& environment,
                          const std::function<std::optional<bool>(const char*)>& busHasOwner);

// Whether a name has an owner on the user's session bus (org.freedesktop.DBus.NameHasOwner);
// nullopt without libsystemd or a session bus.
std::optional<bool> sessionBusHasOwner(const char* name);

}  // namespace virelo::session
