// The words of one line of a virelo script, split as a shell splits a command line: blanks
// separate words; "..." keeps blanks and takes \" and \\ as escapes; '...' keeps everything as it
// stands; $'...' takes \n as a newline (Return, when typed), \t as a tab, and \\, \' and \" as
// escapes; outside quotes a backslash keeps the next character; quoted and unquoted parts that
// touch make one word; an unquoted word that starts with # begins a comment to the end of the line.
#pragma once

#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace virelo::tools {

// A line the splitter cannot take (an open quote, a backslash at the end).
class ScriptSyntaxError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// The line's words; none for a blank line or a comment. Throws ScriptSyntaxError.
std::vector<std::string> scriptWords(std::string_view line);

}  // namespace virelo::tools
