// What the X server says and does (the library Virelo::x11, component X11, on libxkbcommon-x11
// and xcb): "the active layout", the keyboard layout the user is typing with; where the pointer
// is, the screen and its RandR monitors; and absolute pointing: placing the pointer exactly on a
// position with the service's relative moves, reading where they took it and correcting.
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "virelo/client/layouts.h"
#include "virelo/client/session.h"

namespace virelo::client {

// The layout of the X server that $DISPLAY names, in its current group, when that server answers;
// otherwise the layout named by the XKB_DEFAULT_* variables; otherwise "us". Read anew on every
// call (the user may switch layouts); keep the result to type with it more than once. Throws
// UnknownLayout when the XKB_DEFAULT_* variables name a layout the XKB data does not have.
std::shared_ptr<const KeyboardLayout> activeLayout(const EnvironmentLookup& environment);

// The layout of the X server at `display` (an X display name such as ":1"), or nullptr when no
// server answers there or it has no keyboard extension.
std::shared_ptr<const KeyboardLayout> x11Layout(const char* display);

// A position on the X server's root window, in pixels from its top left corner.
struct PointerPosition {
  int x = 0;
  int y = 0;

  bool operator==(const PointerPosition&) const = default;
};

// Where the pointer is on the screen of the X server at `display` (an X display name such as
// ":1"), or nullopt when no server answers there. One round trip; a new connection every call.
std::optional<PointerPosition> pointerPosition(const char* display);

// A rectangle of the root window, in pixels: the whole screen or one RandR monitor.
struct ScreenArea {
  int x = 0;
  int y = 0;
  int width = 0;
  int height = 0;

  bool contains(PointerPosition p) const {
    return p.x >= x && p.y >= y && p.x < x + width && p.y < y + height;
  }
  bool operator==(const ScreenArea&) const = default;
};

// The whole root window of the X server at `display`, or nullopt when no server answers there.
std::optional<ScreenArea> screenArea(const char* display);

// The monitors of the X server at `display` as RandR lists them (GetMonitors, the active ones, in
// the server's order), numbered from 0 in that order; the whole screen as monitor 0 when the
// server has no RandR 1.5 or lists none. Empty when no server answers.
std::vector<ScreenArea> monitors(const char* display);

// The X display on which a client of the service's `backend` ("corehid", "cgevent", or empty
// when no service is asked) can know where the pointer is: $DISPLAY. Throws PointerUnknown without
// $DISPLAY, and in a Wayland session ($WAYLAND_DISPLAY set or XDG_SESSION_TYPE=wayland) unless the
// backend is "cgevent" (which posts into the X server, XWayland there): the compositor moves the
// pointer of the virtual devices and tells no client where it is.
std::string pointerDisplay(const EnvironmentLookup& environment, const std::string& backend);

// How placePointer() reads and moves a pointer; the X server and the service in moveTo(), a
// stand-in in tests.
struct PointerDriver {
  // Where the pointer is once every move sent so far has taken effect; nullopt when it cannot be
  // read any more.
  std::function<std::optional<PointerPosition>()> position;
  // One relative move, each axis in [-127, 127].
  std::function<void(int dx, int dy)> move;
};

// How many times placePointer() reads the pointer and corrects before it gives up.
inline constexpr int kPlacementRounds = 8;

// Places the pointer exactly on `target`: reads where it is, sends the difference as relative
// moves of at most 127 per axis, reads again and corrects, up to `rounds` times. A pointer moved
// without acceleration (the "cgevent" backend) lands in one round; one that the server
// accelerates (the "corehid" backend's virtual mouse under libinput or the X server's own
// acceleration) comes closer with each correction, whose moves get smaller. Returns where the
// pointer is (== target). Throws PointerNotPlaced when it is still elsewhere after the last
// round, PointerUnknown when the position cannot be read.
PointerPosition placePointer(const PointerDriver& driver, PointerPosition target,
                             int rounds = kPlacementRounds);

// placePointer() with the X server at `display` (an X display name such as ":1") and the service
// that `client` talks to: the pointer read with QueryPointer, moved with the client's moves
// (without snapping), waiting after each round until the server shows the moves. Throws
// PointerUnknown when no server answers there, PointerNotPlaced, and the client's errors.
PointerPosition moveTo(Client& client, const char* display, PointerPosition target);

}  // namespace virelo::client
