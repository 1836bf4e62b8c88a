// Finds, for every character a compiled XKB keymap can type, the cheapest keystrokes that type it.
#pragma once

#include <xkbcommon/xkbcommon.h>

#include "virelo/client/layouts.h"

namespace virelo::client {

// Tries every key of the keymap's `group` alone, with shift, with AltGr (right alt) and with
// both, Caps Lock and Num Lock off, and records what each types; then every dead key followed by
// every typed key, through the shared compose table. A character keeps its cheapest way: a single
// key before a dead-key sequence, fewer modifiers first, main keys before the keypad and keys that
// only some keyboards have. Records too the cheapest key (with its modifiers) of every keysym
// that a key gives at those levels, for keys named by keysym ("Page_Up", "KP_Enter").
struct KeystrokeTables {
  KeyboardLayout::Table characters;
  KeyboardLayout::KeysymTable keysyms;
};
KeystrokeTables buildKeystrokeTable(xkb_keymap* keymap, xkb_layout_index_t group);

}  // namespace virelo::client
