// What the GNOME window server posts through: the input of a remote desktop session, in the
// compositor's own terms (evdev key and button codes, pointer motion, wheel steps). Implemented by
// the session of mutter's remote desktop service (gnome_remote_desktop.h); the events of the event
// services are translated into these calls by gnome_poster.h.
//
// Threads: one thread at a time (the window server's mutex).
#pragma once

#include <cstdint>

#include "platform/geometry.h"

namespace virelo::gnome {

class RemoteInput {
 public:
  virtual ~RemoteInput() = default;
  // Press or release of the key with the evdev code.
  virtual void key(std::uint32_t evdev, bool down) = 0;
  // Press or release of the button with the evdev code.
  virtual void button(std::int32_t evdev, bool down) = 0;
  // Moves the pointer by the distance in the desk's pixels, unaccelerated; the compositor keeps
  // the pointer on the monitors.
  virtual void moveBy(double dx, double dy) = 0;
  // Places the pointer at the point of the desk; false (and nothing is posted) where the session
  // cannot place it there.
  virtual bool moveTo(Point point) = 0;
  // Turns the vertical wheel by the steps, positive away from the user (up).
  virtual void scroll(std::int32_t steps) = 0;
};

}  // namespace virelo::gnome
