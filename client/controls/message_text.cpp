#include "message_text.h"

#include <cstdio>

#include "utf8.h"
#include "virelo/client/controls.h"

namespace virelo::client {

std::string escapedText(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  std::size_t offset = 0;
  while (offset < text.size()) {
    const std::size_t start = offset;
    const char32_t c = decodeUtf8(text, offset);
    if (c == '"') {
      out += "\\\"";
    } else if (c == '\\') {
      out += "\\\\";
    } else if (c == '\n') {
      out += "\\n";
    } else if (c == '\t') {
      out += "\\t";
    } else if (c == '\r') {
      out += "\\r";
    } else if (c < 0x20 || (c >= 0x7F && c < 0xA0)) {  // C0, DEL and C1 (U+009B: CSI)
      char code[8];
      std::snprintf(code, sizeof code, "\\u%04x", static_cast<unsigned>(c));
      out += code;
    } else if (c == kInvalidCharacter) {
      out += "\xEF\xBF\xBD";  // U+FFFD, for bytes that are not UTF-8 (or for itself)
    } else {
      out += text.substr(start, offset - start);
    }
  }
  return out;
}

std::string quotedText(std::string_view text) {
  // Appended piece by piece: g++ 12's optimiser warns falsely of an overlap in "\"" + text.
  std::string quoted = "\"";
  quoted += escapedText(text);
  quoted += '"';
  return quoted;
}

std::string controlWords(const Control& control) {
  return escapedText(control.role) + " " + quotedText(control.name) + " of " +
         escapedText(control.application);
}

}  // namespace virelo::client
