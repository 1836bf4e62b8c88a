// Owning handles of libxkbcommon objects, and the context and compose table every layout uses.
#pragma once

#include <xkbcommon/xkbcommon-compose.h>
#include <xkbcommon/xkbcommon.h>

#include <memory>

namespace virelo::client {

struct XkbUnref {
  void operator()(xkb_context* p) const { xkb_context_unref(p); }
  void operator()(xkb_keymap* p) const { xkb_keymap_unref(p); }
  void operator()(xkb_state* p) const { xkb_state_unref(p); }
  void operator()(xkb_compose_table* p) const { xkb_compose_table_unref(p); }
  void operator()(xkb_compose_state* p) const { xkb_compose_state_unref(p); }
};
using XkbContextPtr = std::unique_ptr<xkb_context, XkbUnref>;
using XkbKeymapPtr = std::unique_ptr<xkb_keymap, XkbUnref>;
using XkbStatePtr = std::unique_ptr<xkb_state, XkbUnref>;
using XkbComposeTablePtr = std::unique_ptr<xkb_compose_table, XkbUnref>;
using XkbComposeStatePtr = std::unique_ptr<xkb_compose_state, XkbUnref>;

// A context with the system's XKB data that logs nothing (a library must not write to standard
// error) and ignores the XKB_DEFAULT_* variables (names are always given in full).
XkbContextPtr quietXkbContext();

// The compose sequences of the "en_US.UTF-8" locale (which the other UTF-8 locales include),
// loaded on first use and kept; nullptr when the system has no compose data. Read-only, so
// threads may share it.
xkb_compose_table* sharedComposeTable();

}  // namespace virelo::client
