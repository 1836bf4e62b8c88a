// How texts that applications choose (the names of controls and of applications) appear in the
// messages of the part for controls: escaped as in a JSON string, so that none breaks a message
// into lines of its own or reaches a terminal as a control sequence.
//
// Threads: any.
#pragma once

#include <string>
#include <string_view>

namespace virelo::client {

struct Control;

// The text with `"`, `\` and the control characters (C0 below U+0020, DEL, and C1 from U+0080 to
// U+009F, which terminals read as escapes too) escaped as JSON escapes them (\n, \t, \u001b,
// \u009b, ...), and bytes that are not UTF-8 replaced with U+FFFD, without quotes: valid JSON
// string contents. The command-line tool prints applications' names with it as well.
std::string escapedText(std::string_view text);
// The same in double quotes.
std::string quotedText(std::string_view text);
// How a control is named in a message: push button "OK" of myapp.
std::string controlWords(const Control& control);

}  // namespace virelo::client
