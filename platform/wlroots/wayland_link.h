// One client connection to a wlroots compositor: the globals the window server needs (a seat,
// the outputs with their logical places in the layout, the virtual keyboard and virtual pointer
// managers), one virtual keyboard with the keymap given and one virtual pointer on that seat.
// Requests are sent at once; the compositor's events are read only inside the bounded waits here
// (connecting, and outputs(), which takes what arrived without waiting), so no call blocks on a
// compositor that stopped answering for longer than the wait it was given.
//
// Threads: not synchronised; its owner serialises every call.
#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/geometry.h"
#include "platform/wlroots/wlroots_keyboard.h"

namespace virelo::wlroots {

struct OutputPlace {
  Rect logical;   // in the layout, in logical points
  int scale = 1;  // the output's pixels per point
};

class WaylandLink {
 public:
  // The link to the compositor on the display (a name in $XDG_RUNTIME_DIR, or a path), or
  // nullptr when none answers within `wait` or it offers no seat, virtual keyboard or virtual
  // pointer.
  static std::unique_ptr<WaylandLink> connect(const std::string& display, const std::string& keymap,
                                              std::chrono::milliseconds wait);
  ~WaylandLink();
  WaylandLink(const WaylandLink&) = delete;
  WaylandLink& operator=(const WaylandLink&) = delete;

  // False once the connection broke (the compositor went away or refused a request).
  bool alive();
  void key(std::uint32_t evdev, bool press);
  void modifiers(const Modifiers& modifiers);
  // Places the pointer at the point of the layout (clamped into its bounding box).
  void moveTo(Point point);
  void button(std::uint32_t evdevButton, bool press);
  // Turns the wheel by whole clicks: positive away from the user (up).
  void scroll(std::int32_t clicks);
  // The outputs as the compositor last described them, in its order.
  std::vector<OutputPlace> outputs();

  struct Globals;

 private:
  WaylandLink();
  bool setUp(const std::string& keymap, std::chrono::steady_clock::time_point deadline);
  bool sendKeymap(const std::string& keymap);
  bool roundtrip(std::chrono::steady_clock::time_point deadline);
  // Reads what the compositor sent within the timeout (0: only what is there) and dispatches it.
  bool readEvents(std::chrono::milliseconds timeout);
  std::uint32_t now() const;
  void flush();

  std::unique_ptr<Globals> globals_;
  const std::chrono::steady_clock::time_point epoch_ = std::chrono::steady_clock::now();
};

}  // namespace virelo::wlroots
