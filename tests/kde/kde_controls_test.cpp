// The command-line tool's controls on KWin: the GTK receiver's button, found on the accessibility
// bus inside its Wayland window and placed on the screen by KWin's windows, clicked with the
// pointer through the real service.
#include "tests/kde/kde_desktop.h"
#include "tests/tools/tool_process.h"

namespace virelo::test {
namespace {

using KdeControls = KdeDesktop;

TEST_F(KdeControls, ClickOnClicksTheButtonWithThePointer) {
  startService();
  auto clicked = client::runTool({"click-on", "--role", "push button", "--name", "Press me"},
                                 toolEnvironment(), 20s);
  EXPECT_EQ(clicked.status, 0) << clicked.errors;
  // Where it says it clicked is the button's place on the screen: KWin's window origin plus its
  // place inside the window.
  const nlohmann::json& place = app().place("button");
  const ScreenPoint inside = app().centre("button");
  const ScreenPoint onScreen = centre("button");
  const std::string at = " at " + std::to_string(onScreen.x - inside.x + place["x"].get<int>()) +
                         "," + std::to_string(onScreen.y - inside.y + place["y"].get<int>()) + " ";
  EXPECT_NE(clicked.output.find("clicked with the pointer"), std::string::npos) << clicked.output;
  EXPECT_NE(clicked.output.find(at), std::string::npos)
      << clicked.output << " (wanted" << at << ")";
  EXPECT_TRUE(
      app().next([](const nlohmann::json& e) { return e.value("event", "") == "clicked"; }));
}

}  // namespace
}  // namespace virelo::test
