// Acting on controls by name through the command-line tool, run as the service user against the
// real service and a real GTK 3 application.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <nlohmann/json.hpp>
#include <thread>

#include "tests/client/tool_process.h"
#include "tests/controls/controls_desktop.h"

namespace virelo::test {
namespace {

class ControlsTool : public ControlsTest {
 protected:
  void TearDown() override {
    if (switchedOff_) accessible().setEnabled(true);
    ControlsTest::TearDown();
  }
  bool switchedOff_ = false;
};

TEST_F(ControlsTool, TypeIntoLandsTheTextInTheNamedEntry) {
  FixtureApp& app = startGtk();
  auto typed = client::runTool({"type", "--into", "Last name", "Smith"}, toolEnvironment());
  ASSERT_EQ(typed.status, 0) << typed.errors;
  // The tool ends once the service has sent the keys; the application may not have them all yet.
  std::string last;
  for (const auto deadline = std::chrono::steady_clock::now() + 5s;
       last != "Smith" && std::chrono::steady_clock::now() < deadline;) {
    last = app.textOf("Last name");
    if (last != "Smith") std::this_thread::sleep_for(20ms);
  }
  EXPECT_EQ(last, "Smith");
  EXPECT_EQ(app.textOf("First name"), "");
}

TEST_F(ControlsTool, WithAccessibilitySwitchedOffItRefusesNamingTheSetting) {
  ASSERT_TRUE(accessible().setEnabled(false));
  switchedOff_ = true;
  auto refused = client::runTool({"click-on", "--name", "OK"}, toolEnvironment());
  EXPECT_EQ(refused.status, 1);
  EXPECT_NE(
      refused.errors.find("gsettings set org.gnome.desktop.interface toolkit-accessibility true"),
      std::string::npos)
      << refused.errors;
}

// The OK button of gtk_controls.py: its frame and centre in the X server's pixels.
constexpr int kOkX = ControlsTest::kWindowX + 20;
constexpr int kOkY = ControlsTest::kWindowY + 20;
constexpr int kOkCentreX = kOkX + 60;
constexpr int kOkCentreY = kOkY + 20;

TEST_F(ControlsTool, TargetsListsTheButtonUnderThePointer) {
  startGtk();
  auto placed = client::runTool(
      {"mousemove", std::to_string(kOkCentreX), std::to_string(kOkCentreY)}, toolEnvironment());
  ASSERT_EQ(placed.status, 0) << placed.errors;
  auto listed = client::runTool({"targets", "--json"}, toolEnvironment());
  ASSERT_EQ(listed.status, 0) << listed.errors;
  const auto targets = nlohmann::json::parse(listed.output);
  const nlohmann::json ok = {{"x", kOkX}, {"y", kOkY}, {"width", 120}, {"height", 40}};
  EXPECT_NE(std::find(targets["near"].begin(), targets["near"].end(), ok), targets["near"].end())
      << listed.output;
}

TEST_F(ControlsTool, ASnappedMoveLandsOnTheCentreOfTheButtonItApproaches) {
  startGtk();
  auto placed = client::runTool(
      {"mousemove", std::to_string(kOkX + 10), std::to_string(kOkCentreY)}, toolEnvironment());
  ASSERT_EQ(placed.status, 0) << placed.errors;
  // Slow moves towards the centre: once the service has found the button around the pointer, a
  // snapped move jumps onto its centre; unsnapped, these moves would end 20 pixels short of it.
  for (int i = 0; i < 20 && std::abs(pointer().x - kOkCentreX) > 3; ++i) {
    auto moved = client::runTool({"move", "--snap", "1", "0"}, toolEnvironment());
    ASSERT_EQ(moved.status, 0) << moved.errors;
    std::this_thread::sleep_for(100ms);
  }
  EXPECT_LE(std::abs(pointer().x - kOkCentreX), 3);
  EXPECT_EQ(pointer().y, kOkCentreY);
}

}  // namespace
}  // namespace virelo::test
