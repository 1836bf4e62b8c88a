// The command-line tool's controls under gnome-shell: the GTK receiver's button, found on the
// accessibility bus inside its Wayland window and placed on the screen by the shell's window
// actors, clicked with the pointer through the real service.
#include "tests/gnome/gnome_desktop.h"
#include "tests/tools/tool_process.h"

namespace virelo::test {
namespace {

using GnomeControls = GnomeShellDesktop;

TEST_F(GnomeControls, ClickOnClicksTheButtonWithThePointer) {
  warmUp();
  auto environment = session_->environment();
  environment["VIRELO_SOCKET"] = service_->socketPath();
  environment["VIRELO_TOKEN"] = service_->token();
  environment["VL_HOST"] = "gnome";
  auto clicked = client::runTool({"click-on", "--role", "push button", "--name", "Press me"},
                                 environment, 20s);
  EXPECT_EQ(clicked.status, 0) << clicked.errors;
  EXPECT_TRUE(app().next([](const nlohmann::json& e) { return e.value("event", "") == "clicked"; }))
      << clicked.output;
}

}  // namespace
}  // namespace virelo::test
