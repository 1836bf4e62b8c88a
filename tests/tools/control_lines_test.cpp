// The lines that "find" and "wait-for" print: whatever an application names itself or its
// controls, a line stays one line of five fields, and nothing of it reaches a terminal as a
// control sequence.
#include "tools/virelo/control_lines.h"

#include <gtest/gtest.h>

namespace virelo::tools {
namespace {

TEST(ControlLines, EveryFieldIsEscapedSoThatNoNameForgesALine) {
  client::Control control;
  control.role = "push button";
  control.name = "O\"K\n";
  control.application =
      "app\npush button\t\"Pay\"\t\x1b]0;title\x07\\\xc2\x9b"
      "2J\x7f";
  control.x = 10;
  control.y = 20;
  control.width = 30;
  control.height = 40;
  control.enabled = true;
  control.visible = true;
  control.offScreen = true;
  EXPECT_EQ(
      controlLine(control),
      "push button\t\"O\\\"K\\n\"\tapp\\npush button\\t\\\"Pay\\\"\\t\\u001b]0;title\\u0007\\\\"
      "\\u009b2J\\u007f\t10,20 30x40\tenabled,offscreen");
}

}  // namespace
}  // namespace virelo::tools
