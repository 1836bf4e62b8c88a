// Turns the keyboard reports a host received back into text the way a Linux desktop does:
// every change of a report is a key press or release (evdev code + 8) fed into a libxkbcommon
// state of the layout, with dead keys composed through the "en_US.UTF-8" compose table.
#pragma once

#include <string>
#include <vector>

#include "virelo/client/layouts.h"

namespace virelo::client {

// The text typed by the reports, given as hex of 33-byte keyboard reports (modifier bits, then
// the usages of up to 32 held keys) in the order they arrived. Return gives "\n".
std::string decodeTypedText(const LayoutName& layout, const std::vector<std::string>& reports);

}  // namespace virelo::client
