// Finds, for every character a compiled XKB keymap can type, the cheapest keystrokes that type it.
#pragma once

#include <xkbcommon/xkbcommon.h>

#include "virelo/client/layouts.h"

namespace virelo::client {

// Tries every key of the keymap's `group` alone, with shift, with AltGr (right alt) and with
// both, Caps Lock and Num Lock off, and records what each types; then every dead key followed by
// every typed key, through the shared compose table. A character keeps its cheapest way: a single
// key before a dead-key sequence, fewer modifiers first, main keys before the keypad and keys that
// only some keyboards have.
KeyboardLayout::Table buildKeystrokeTable(xkb_keymap* keymap, xkb_layout_index_t group);

}  // namespace virelo::client
