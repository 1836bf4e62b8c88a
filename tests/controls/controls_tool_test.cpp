// Acting on controls by name through the command-line tool, run as the service user against the
// real service and a real GTK 3 application.
#include <gtest/gtest.h>

#include <chrono>
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

}  // namespace
}  // namespace virelo::test
