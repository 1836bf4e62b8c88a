// The baseline of the Wayland figures: a bare client of the compositor's own input interface that
// posts evdev key presses and releases straight to it, sending each one at once, with nothing in
// between. One implementation per compositor, each in a program of its own
// (wayland_poster_main.cpp), since KWin admits its fake input to an executable only:
//   kde_bare_poster.cpp      org_kde_kwin_fake_input (KWin)
//   wlroots_bare_poster.cpp  zwp_virtual_keyboard_v1 (sway and the other wlroots compositors)
//   gnome_bare_poster.cpp    org.gnome.Mutter.RemoteDesktop over the session bus (mutter)
// They share no code with the service's hosts.
//
// Threads: one thread uses an object.
#pragma once

#include <memory>

namespace virelo::bench {

class BarePoster {
 public:
  virtual ~BarePoster() = default;
  // Posts the press or release of the evdev key code and sends it to the compositor.
  virtual void key(int evdev, bool press) = 0;
};

// Connects to the compositor of the environment ($WAYLAND_DISPLAY, or the session bus) and opens
// its input interface, waiting a few seconds for a compositor that admits programs only after
// looking them up; throws std::runtime_error when it cannot.
std::unique_ptr<BarePoster> openBarePoster();

}  // namespace virelo::bench
