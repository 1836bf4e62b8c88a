// Whether a desktop session is that of a wlroots compositor, from what its environment tells: a
// pure function, so that the choice of host can be made (and tested) without a compositor.
#pragma once

#include <string>

namespace virelo::wlroots {

struct SessionClues {
  std::string sessionType;     // $XDG_SESSION_TYPE
  std::string waylandDisplay;  // $WAYLAND_DISPLAY
  std::string currentDesktop;  // $XDG_CURRENT_DESKTOP: names separated by colons
  std::string swaySocket;      // $SWAYSOCK
};

// True for a Wayland session (a Wayland display, and no other session type said) whose desktop
// names a wlroots compositor (sway, river, Wayfire, labwc, dwl, Hyprland, cage), or that has sway's
// IPC socket with no desktop named; false for every other, GNOME and KDE among them.
bool isWlrootsSession(const SessionClues& clues);

// The clues of this process's environment.
SessionClues sessionCluesFromEnvironment();

}  // namespace virelo::wlroots
