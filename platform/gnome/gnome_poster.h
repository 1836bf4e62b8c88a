// Posts window-server events through a remote desktop session's input (gnome_remote_input.h), as
// the keyboard, mouse and wheel that the events describe:
//   key down / up (10, 11)      press / release of the key's evdev code; a key down marked as an
//                               auto-repeat (field 8) is not posted, since Wayland applications
//                               repeat a held key themselves;
//   flags changed (12)          press or release of the modifier key it names, whichever makes
//                               what this poster holds match the event's flags; for caps lock the
//                               other half of what it holds (a press when it holds none); nothing
//                               for Fn, which the compositor has no key for;
//   media key (14, subtype 8)   press / release of the media key (repeats not posted);
//   mouse (1-7, 25-27)          the pointer to the event's location (placed where the session can
//                               place it, else moved by the distance from where this poster last
//                               put it), then the press or release of the left, right or middle
//                               button for button events; dragging is motion while a button is
//                               held;
//   scroll (22)                 the wheel's steps, positive up.
// The compositor merges the session's devices with the user's, so what to release is decided from
// this poster's own record, never from the seat's state.
//
// Threads: one thread at a time (the window server's mutex).
#pragma once

#include <cstdint>
#include <set>

#include "platform/event.h"
#include "platform/gnome/gnome_remote_input.h"
#include "platform/post_by_kind.h"

namespace virelo::gnome {

class Poster {
 public:
  void post(RemoteInput& input, const Event& event);
  // The flags of the modifiers this poster holds.
  std::uint64_t flags() const;
  // Where this poster last put the pointer.
  Point cursor() const { return cursor_; }
  // A new session: nothing is held, and the pointer is where the session says.
  void restart(Point cursor);

 private:
  // The handlers of post() for each kind of event (post_by_kind.h).
  template <typename P, typename T>
  friend void virelo::postByKind(P& poster, T& target, const Event& event);
  void postFlagsChange(RemoteInput& input, const Event& event);
  void postKey(RemoteInput& input, const Event& event);
  void postMedia(RemoteInput& input, const Event& event);
  void postScroll(RemoteInput& input, const Event& event);
  void postMouse(RemoteInput& input, const Event& event);

  std::set<std::uint16_t> held_;  // modifier and caps lock keys, by virtual key code
  Point cursor_;
};

}  // namespace virelo::gnome
