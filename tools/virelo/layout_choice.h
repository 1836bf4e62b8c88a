// The keyboard layout of the input commands (type, chord, key, run). --layout names it, or
// "active"; without it, the layout the user is typing with: the X server's current layout and
// group when $DISPLAY answers, else the one $VIRELO_LAYOUT names, else the "layout" of the
// configuration file, else the XKB_DEFAULT_* variables' (US when they are unset).
#pragma once

#include <memory>
#include <string>

#include "tools/virelo/tool_arguments.h"
#include "virelo/client/layouts.h"
#include "virelo/client/x11.h"

namespace virelo::tools {

struct LayoutChoice {
  std::shared_ptr<const client::KeyboardLayout> layout;
  // Where it came from, for -v: "--layout", "X server", "$VIRELO_LAYOUT", the file's path, ...
  std::string source;
};

// Throws client::UnknownLayout for a --layout the XKB data does not have, UsageError naming where
// it came from for another unknown name, and ConfigError for an unusable configuration file.
LayoutChoice chooseLayout(const ToolArguments& args, const client::EnvironmentLookup& environment);

}  // namespace virelo::tools
