// Which application has the focus on the X desktop, for profiles chosen per application: the
// class part of WM_CLASS of the root's _NET_ACTIVE_WINDOW ("Gimp-2.10", "firefox-esr"), read
// through a connection of its own, at most every half second.
//
// Without an X server, or a window manager that names the active window, it is "" (no
// application's profile applies).
//
// Threads: one thread (the steering loop's) uses the object.
#pragma once

#include <chrono>
#include <string>

struct xcb_connection_t;

namespace virelo::steer {

class FocusedApplication {
 public:
  // `display` is an X display name; empty: $DISPLAY.
  explicit FocusedApplication(const std::string& display = "");
  ~FocusedApplication();
  FocusedApplication(const FocusedApplication&) = delete;
  FocusedApplication& operator=(const FocusedApplication&) = delete;

  // The focused application's class, read again when the last answer is half a second old.
  const std::string& current();

 private:
  std::string read();

  xcb_connection_t* connection_ = nullptr;
  unsigned root_ = 0;
  unsigned activeAtom_ = 0;
  std::string current_;
  std::chrono::steady_clock::time_point readAt_;
  bool everRead_ = false;
};

}  // namespace virelo::steer
