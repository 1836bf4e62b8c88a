// Acting on controls by name through the command-line tool, run as the service user against the
// real service and a real GTK 3 application.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <nlohmann/json.hpp>
#include <thread>

#include "tests/controls/controls_desktop.h"
#include "tests/tools/tool_process.h"

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

// What find --json, get-text and wait-for --text-regex make of an entry's text and a spin button's
// value.
TEST_F(ControlsTool, TheTextAndValueOfControlsAreReadAndWaitedFor) {
  FixtureApp& app = startGtk();
  app.send("fill 0 First name=naïve \"café\"");
  ASSERT_TRUE(app.readUntil("filled"));
  auto text =
      client::runTool({"get-text", "--role", "text", "--name", "First name"}, toolEnvironment());
  EXPECT_EQ(text.status, 0) << text.errors;
  EXPECT_EQ(text.output, "naïve \"café\"\n");  // exactly, not escaped, into a pipe
  auto found = client::runTool({"find", "--json", "--role", "spin button", "--name", "Count"},
                               toolEnvironment());
  ASSERT_EQ(found.status, 0) << found.errors;
  const auto spin = nlohmann::json::parse(found.output).at(0);
  EXPECT_EQ(spin["text"], "3");
  EXPECT_EQ(spin["value"], nlohmann::json({{"current", 3}, {"minimum", 0}, {"maximum", 10}}));
  app.send("fill 300 Last name=done 42");
  auto waited = client::runTool({"wait-for", "--role", "text", "--text-regex", R"(done \d+)"},
                                toolEnvironment());
  EXPECT_EQ(waited.status, 0) << waited.errors;
  EXPECT_NE(waited.output.find("\"Last name\""), std::string::npos) << waited.output;
  auto none = client::runTool({"get-text", "--name", "OK", "--app", "nothing"}, toolEnvironment());
  EXPECT_EQ(none.status, 1);
}

// click-on --action presses a covered button without the pointer and says so; with the pointer it
// refuses that button, and the two ways are never mixed on one command line.
TEST_F(ControlsTool, ClickOnSaysWhetherItUsedThePointerOrTheControlsAction) {
  FixtureApp& app = startGtk();
  app.send("cover");
  ASSERT_TRUE(app.readUntil("covered"));
  auto refused = client::runTool({"click-on", "--name", "Covered"}, toolEnvironment());
  EXPECT_EQ(refused.status, 1);
  EXPECT_NE(refused.errors.find("covered"), std::string::npos) << refused.errors;
  auto acted = client::runTool({"click-on", "--name", "Covered", "--action"}, toolEnvironment());
  EXPECT_EQ(acted.status, 0) << acted.errors;
  EXPECT_TRUE(acted.output.starts_with("clicked with its action \"click\": push button "))
      << acted.output;
  EXPECT_TRUE(app.readUntil("clicked Covered"));
  auto named =
      client::runTool({"click-on", "--name", "OK", "--action", "click"}, toolEnvironment());
  EXPECT_EQ(named.status, 0) << named.errors;
  EXPECT_TRUE(app.readUntil("clicked OK"));
  auto pointer = client::runTool({"click-on", "--name", "OK"}, toolEnvironment());
  EXPECT_EQ(pointer.status, 0) << pointer.errors;
  EXPECT_TRUE(pointer.output.starts_with("clicked with the pointer: ")) << pointer.output;
  EXPECT_TRUE(app.readUntil("clicked OK"));
  auto mixed =
      client::runTool({"click-on", "--name", "OK", "--action", "--double"}, toolEnvironment());
  EXPECT_EQ(mixed.status, 2);
}

// --first, --nth and --in reach the library's reading order: the place is in what click-on says.
TEST_F(ControlsTool, NthFirstAndInPickOneOfTheAlikeCheckBoxes) {
  startGtk();
  auto at = [&](std::vector<std::string> words) {
    words.insert(words.begin(), {"click-on", "--role", "check box", "--name", "Pick", "--action"});
    auto clicked = client::runTool(words, toolEnvironment());
    EXPECT_EQ(clicked.status, 0) << clicked.errors;
    const auto place = clicked.output.find(" at ");
    return place == std::string::npos ? clicked.output : clicked.output.substr(place + 4, 7);
  };
  EXPECT_EQ(at({"--first"}), "120,500");
  EXPECT_EQ(at({"--nth", "2"}), "260,504");
  EXPECT_EQ(at({"--in", "Left group", "--nth", "2"}), "120,530");
  auto ambiguous = client::runTool({"click-on", "--name", "Pick", "--action"}, toolEnvironment());
  EXPECT_EQ(ambiguous.status, 1);
  auto both =
      client::runTool({"click-on", "--name", "Pick", "--first", "--nth", "1"}, toolEnvironment());
  EXPECT_EQ(both.status, 2);
}

class WindowsTool : public ControlsTest {
 protected:
  void TearDown() override {
    ControlsTest::TearDown();
    accessible().reset();  // the window manager stays for no other test
  }
};

// The fixture's window under openbox: listed, searched, activated, and the screen's size.
TEST_F(WindowsTool, WindowsAreListedSearchedAndActivated) {
  if (!accessible().startWindowManager()) GTEST_SKIP() << "the window manager openbox does not run";
  FixtureApp& app = startGtk();
  auto listed = client::runTool({"windows", "--json"}, toolEnvironment());
  ASSERT_EQ(listed.status, 0) << listed.errors;
  const auto windows = nlohmann::json::parse(listed.output);
  auto own = std::find_if(windows.begin(), windows.end(),
                          [](const auto& w) { return w["title"] == "Controls fixture"; });
  ASSERT_NE(own, windows.end()) << listed.output;
  EXPECT_EQ((*own)["pid"], app.pid());
  const std::string id = std::to_string((*own)["id"].get<std::uint32_t>());
  auto searched =
      client::runTool({"search", "--name", "Controls fix.*", "--pid", std::to_string(app.pid())},
                      toolEnvironment());
  EXPECT_EQ(searched.status, 0) << searched.errors;
  EXPECT_EQ(searched.output, id + "\n");
  EXPECT_EQ(client::runTool({"search", "--name", "Controls"}, toolEnvironment()).status, 1);
  auto activated = client::runTool({"activate", id}, toolEnvironment());
  EXPECT_EQ(activated.status, 0) << activated.errors;
  EXPECT_EQ(client::runTool({"getactivewindow"}, toolEnvironment()).output, id + "\n");
  EXPECT_EQ(client::runTool({"getdisplaygeometry"}, toolEnvironment()).output, "1024 768\n");
  EXPECT_EQ(client::runTool({"activate", "0x7"}, toolEnvironment()).status, 1);  // no such window
  EXPECT_EQ(client::runTool({"activate", "seven"}, toolEnvironment()).status, 2);
}

}  // namespace
}  // namespace virelo::test
