// "virelo list-layouts" and "virelo list-keys": what the names of the other commands may be.
#pragma once

#include <ostream>

#include "tools/virelo/tool_arguments.h"
#include "virelo/client/layouts.h"

namespace virelo::tools {

// Every XKB layout and variant that the layout registry (xkb-data, through libxkbregistry) knows,
// one per line: "de(nodeadkeys)<TAB>German (no dead keys)". Throws client::Error when the
// registry cannot be read.
void listLayouts(std::ostream& out);

// The key names of the layout, one key per line: the name of its position, then the keysym names
// it gives alone and with shift, AltGr or both (the names chords take in XKB spelling); then the
// modifier, media key and button names.
void listKeys(std::ostream& out, const client::KeyboardLayout& layout);

// The "list-layouts" and "list-keys [--layout L]" verbs; each returns the exit status.
int runListLayouts(const ToolArguments& args);
int runListKeys(const ToolArguments& args);

}  // namespace virelo::tools
