// How texts that applications choose (the names of controls and of applications) appear in the
// messages of the part for controls: escaped as in a JSON string (escapedText() in
// virelo/client/controls.h), so that none breaks a message into lines of its own or reaches a
// terminal as a control sequence.
//
// Threads: any.
#pragma once

#include <string>
#include <string_view>

#include "virelo/client/controls.h"

namespace virelo::client {

// escapedText() in double quotes.
std::string quotedText(std::string_view text);
// How a control is named in a message: push button "OK" of myapp.
std::string controlWords(const Control& control);

}  // namespace virelo::client
