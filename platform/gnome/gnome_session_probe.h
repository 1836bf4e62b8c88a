// Whether the desktop session is one that the GNOME host serves: a Wayland session of GNOME's
// compositor (mutter, gnome-shell), told by the session's environment and, where it was asked,
// by its session bus. A pure function of what it is given, for the choice of a host by name.
#pragma once

#include <optional>
#include <string>

namespace virelo::gnome {

struct SessionSigns {
  std::string sessionType;     // $XDG_SESSION_TYPE: "wayland", "x11", "tty", or empty
  std::string waylandDisplay;  // $WAYLAND_DISPLAY
  std::string currentDesktop;  // $XDG_CURRENT_DESKTOP: desktop names separated by colons
  // Whether org.gnome.Mutter.RemoteDesktop has an owner on the session bus; nullopt when the bus
  // was not asked (or could not be).
  std::optional<bool> remoteDesktopOnBus;
};

// True for a Wayland session (its type says so; with no type, a Wayland display is set) whose
// compositor offers the remote desktop service on the bus; when the bus was not asked, whose
// desktop names include GNOME (in any case). False for every other session, and for a GNOME
// session whose bus lacks the service, where the host could not post.
bool isGnomeSession(const SessionSigns& signs);

// The environment's part of the signs (the bus not asked).
SessionSigns sessionSignsFromEnvironment();

}  // namespace virelo::gnome
