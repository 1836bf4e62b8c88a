// "The active layout": the keyboard layout the user is typing with.
#pragma once

#include <functional>
#include <memory>

#include "virelo/client/keyboard_layout.h"
#include "virelo/client/layout_name.h"

namespace virelo::client {

// Reads an environment variable; nullptr when it is not set.
using EnvironmentLookup = std::function<const char*(const char*)>;

// The layout of the X server that $DISPLAY names, in its current group, when that server answers;
// otherwise the layout named by the XKB_DEFAULT_* variables; otherwise "us". Read anew on every
// call (the user may switch layouts); keep the result to type with it more than once. Throws
// UnknownLayout when the XKB_DEFAULT_* variables name a layout the XKB data does not have.
std::shared_ptr<const KeyboardLayout> activeLayout(const EnvironmentLookup& environment);

// The layout of the X server at `display` (an X display name such as ":1"), or nullptr when no
// server answers there or it has no keyboard extension.
std::shared_ptr<const KeyboardLayout> x11Layout(const char* display);

// The name that XKB_DEFAULT_RULES, _MODEL, _LAYOUT, _VARIANT and _OPTIONS give, each unset or
// empty one keeping its default (rules "evdev", model "pc105", layout "us").
LayoutName layoutNameFromEnvironment(const EnvironmentLookup& environment);

}  // namespace virelo::client
