#include "tools/virelo/control_lines.h"

#include <nlohmann/json.hpp>

namespace virelo::tools {
namespace {

std::string states(const client::Control& control) {
  std::string text = control.enabled ? "enabled" : "disabled";
  if (control.focused) text += ",focused";
  if (control.covered) text += ",covered";
  if (!control.visible) text += ",hidden";
  return text;
}

}  // namespace

std::string controlLine(const client::Control& c) {
  return c.role + "\t" + nlohmann::json(c.name).dump() + "\t" + c.application + "\t" +
         std::to_string(c.x) + "," + std::to_string(c.y) + " " + std::to_string(c.width) + "x" +
         std::to_string(c.height) + "\t" + states(c);
}

}  // namespace virelo::tools
