// The previous and next control buttons of "virelo steer" on a real accessible desktop (Xvfb,
// the accessibility bus and the GTK application of tests/controls), with the real service moving
// the X pointer.
#include <gtest/gtest.h>

#include <fstream>
#include <thread>

#include "tests/controls/controls_desktop.h"
#include "tests/support/private_dir.h"
#include "tests/tools/tool_process.h"

namespace virelo::test {
namespace {

class SteerControls : public ControlsTest {};

TEST_F(SteerControls, TheShouldersStepThroughTheFrontWindowsControlsInReadingOrder) {
  startGtk();
  // The pointer inside the window, above and left of its first control, the button "OK" at
  // (120, 120) of 120 x 40; beside it "Covered" at (260, 120).
  auto placed = client::runTool({"mousemove", "110", "110"}, toolEnvironment());
  ASSERT_EQ(placed.status, 0) << placed.errors;
  PrivateDir dir;
  const std::string pad = dir / "pad";
  writeFile(pad, "attach\n");
  client::ToolProcess steer({"steer", "--virtual-pad", pad}, toolEnvironment());
  const auto press = [&](const char* button) {
    std::ofstream(pad, std::ios::app) << "button " << button << " 1\nbutton " << button << " 0\n";
  };
  const auto waitForPointer = [&](client::PointerPosition expected) {
    for (const auto deadline = std::chrono::steady_clock::now() + 10s;
         std::chrono::steady_clock::now() < deadline;) {
      if (pointer() == expected) return true;
      std::this_thread::sleep_for(10ms);
    }
    return false;
  };
  press("rightshoulder");
  EXPECT_TRUE(waitForPointer({180, 140})) << steer.errors();
  press("rightshoulder");
  EXPECT_TRUE(waitForPointer({320, 140})) << steer.errors();
  press("leftshoulder");
  EXPECT_TRUE(waitForPointer({180, 140})) << steer.errors();
}

}  // namespace
}  // namespace virelo::test
