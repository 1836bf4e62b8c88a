// What the X server says (the library Virelo::x11, component X11, on libxkbcommon-x11 and xcb):
// "the active layout", the keyboard layout the user is typing with, and where the pointer is.
#pragma once

#include <memory>
#include <optional>

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

}  // namespace virelo::client
