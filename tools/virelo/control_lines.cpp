#include "tools/virelo/control_lines.h"

#include <nlohmann/json.hpp>

namespace virelo::tools {
namespace {

// The text as a JSON string: quotes, backslashes and control characters escaped, bytes that are
// not UTF-8 replaced. Applications choose their names and their controls' names, and a newline,
// a tab or an escape sequence in one must neither forge a line or a field nor reach a terminal.
std::string quoted(const std::string& text) {
  return nlohmann::json(text).dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

// The same, without the quotes: ordinary names read as they are.
std::string escaped(const std::string& text) {
  const std::string json = quoted(text);
  return json.substr(1, json.size() - 2);
}

std::string states(const client::Control& control) {
  std::string text = control.enabled ? "enabled" : "disabled";
  if (control.focused) text += ",focused";
  if (control.covered) text += ",covered";
  if (control.offScreen) text += ",offscreen";
  if (!control.visible) text += ",hidden";
  return text;
}

}  // namespace

std::string controlLine(const client::Control& c) {
  return escaped(c.role) + "\t" + quoted(c.name) + "\t" + escaped(c.application) + "\t" +
         std::to_string(c.x) + "," + std::to_string(c.y) + " " + std::to_string(c.width) + "x" +
         std::to_string(c.height) + "\t" + states(c);
}

}  // namespace virelo::tools
