#include "tools/virelo/control_lines.h"

#include "virelo/client/controls.h"

namespace virelo::tools {
namespace {

std::string states(const client::Control& control) {
  std::string text = control.enabled ? "enabled" : "disabled";
  if (control.focused) text += ",focused";
  if (control.covered) text += ",covered";
  if (control.offScreen) text += ",offscreen";
  if (!control.visible) text += ",hidden";
  // Its bounds are inside its window, which the compositor does not certainly show.
  if (!control.placed) text += ",unplaced";
  return text;
}

}  // namespace

std::string controlLine(const client::Control& c) {
  // Applications choose their names and their controls' names, and a newline, a tab or an escape
  // sequence in one must neither forge a line or a field nor reach a terminal.
  return client::escapedText(c.role) + "\t\"" + client::escapedText(c.name) + "\"\t" +
         client::escapedText(c.application) + "\t" + std::to_string(c.x) + "," +
         std::to_string(c.y) + " " + std::to_string(c.width) + "x" + std::to_string(c.height) +
         "\t" + states(c);
}

}  // namespace virelo::tools
