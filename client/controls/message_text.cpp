#include "message_text.h"

#include <cstdio>

#include "virelo/client/controls.h"

namespace virelo::client {

std::string escapedText(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    switch (c) {
      case '"':
        out += "\\\"";
        break;
      case '\\':
        out += "\\\\";
        break;
      case '\n':
        out += "\\n";
        break;
      case '\t':
        out += "\\t";
        break;
      case '\r':
        out += "\\r";
        break;
      default:
        if (byte < 0x20 || byte == 0x7f) {
          char code[8];
          std::snprintf(code, sizeof code, "\\u%04x", byte);
          out += code;
        } else {
          out += c;
        }
    }
  }
  return out;
}

std::string quotedText(std::string_view text) {
  return "\"" + escapedText(text) + "\"";
}

std::string controlWords(const Control& control) {
  return escapedText(control.role) + " " + quotedText(control.name) + " of " +
         escapedText(control.application);
}

}  // namespace virelo::client
