// Acting on controls by name through the client library, against real GTK 3 and Qt 5
// applications on the accessibility bus and the real service: finding, refusing what cannot or
// must not be clicked, clicking, and waiting.
#include <gtest/gtest.h>
#include <signal.h>

#include <algorithm>
#include <chrono>

#include "tests/controls/controls_desktop.h"

namespace virelo::test {
namespace {

using Clock = std::chrono::steady_clock;
using client::ControlQuery;
using client::NameMatch;

using ControlsLibrary = ControlsTest;

std::size_t count(const std::vector<std::string>& lines, const std::string& line) {
  return static_cast<std::size_t>(std::count(lines.begin(), lines.end(), line));
}

TEST_F(ControlsLibrary, FindsAButtonByRoleAndName) {
  startGtk();
  auto found = asRoot([&] { return desktop().find(query("push button", "OK")); });
  ASSERT_EQ(found.controls.size(), 1u);
  const client::Control& ok = found.controls[0];
  EXPECT_EQ(ok.role, "push button");
  EXPECT_EQ(ok.name, "OK");
  EXPECT_EQ(ok.application, kGtk);
  EXPECT_EQ(ok.x, kWindowX + 20);
  EXPECT_EQ(ok.y, kWindowY + 20);
  EXPECT_EQ(ok.width, 120);
  EXPECT_EQ(ok.height, 40);
  EXPECT_TRUE(ok.enabled);
  EXPECT_TRUE(ok.visible);
  EXPECT_FALSE(ok.covered);
  // Newer libatspi calls the role "button": that names it too, and it is still "push button".
  auto named = asRoot([&] { return desktop().find(query("button", "OK")); });
  ASSERT_EQ(named.controls.size(), 1u);
  EXPECT_EQ(named.controls[0].role, "push button");
}

TEST_F(ControlsLibrary, FindsControlsByARegularExpressionOverTheWholeName) {
  startGtk();
  ControlQuery names;
  names.name = NameMatch::matching("(First|Last) name");
  auto found = asRoot([&] { return desktop().find(names); });
  ASSERT_EQ(found.controls.size(), 2u);
  EXPECT_EQ(found.controls[0].name, "First name");
  EXPECT_EQ(found.controls[1].name, "Last name");
  EXPECT_EQ(found.controls[0].role, "text");
  EXPECT_TRUE(found.controls[0].editable);
  // The whole name: a part matches nothing.
  names.name = NameMatch::matching("First");
  EXPECT_TRUE(asRoot([&] { return desktop().find(names); }).controls.empty());
}

TEST_F(ControlsLibrary, AnAmbiguousNameIsRefusedListingEveryMatch) {
  FixtureApp& app = startGtk();
  try {
    asRoot([&] { client::clickOn(client(), desktop(), query("push button", "Apply"), {}); });
    FAIL() << "clicked one of two buttons \"Apply\"";
  } catch (const client::AmbiguousControl& e) {
    ASSERT_EQ(e.candidates().size(), 2u) << e.what();
    EXPECT_NE(e.candidates()[0].find("\"Apply\""), std::string::npos) << e.candidates()[0];
    EXPECT_NE(e.candidates()[0].find("at 120,180"), std::string::npos) << e.candidates()[0];
    EXPECT_NE(e.candidates()[1].find("at 260,180"), std::string::npos) << e.candidates()[1];
  }
  EXPECT_EQ(count(app.heardSoFar(), "clicked Apply"), 0u);
}

TEST_F(ControlsLibrary, ADisabledButtonIsRefusedAndNotClicked) {
  FixtureApp& app = startGtk();
  const client::PointerPosition before = pointer();
  try {
    asRoot([&] { client::clickOn(client(), desktop(), query("push button", "Off"), {}); });
    FAIL() << "clicked the disabled button";
  } catch (const client::ControlNotActionable& e) {
    EXPECT_NE(std::string(e.what()).find("disabled"), std::string::npos) << e.what();
  }
  // Refused before the pointer went there: nothing was pressed on it either.
  EXPECT_EQ(pointer(), before);
  EXPECT_TRUE(app.heardSoFar().empty());
}

TEST_F(ControlsLibrary, ACoveredButtonIsRefusedAndNotClicked) {
  FixtureApp& app = startGtk();
  app.send("cover");
  ASSERT_TRUE(app.readUntil("covered"));
  ControlQuery covered = query("push button", "Covered");
  try {
    asRoot([&] { client::clickOn(client(), desktop(), covered, {}); });
    FAIL() << "clicked the covered button";
  } catch (const client::ControlNotActionable& e) {
    EXPECT_NE(std::string(e.what()).find("covered by another window"), std::string::npos)
        << e.what();
  }
  EXPECT_EQ(count(app.heardSoFar(), "clicked Covered"), 0u);
  // Only a search for all of them lists it, as covered.
  EXPECT_TRUE(asRoot([&] { return desktop().find(covered); }).controls.empty());
  covered.all = true;
  auto all = asRoot([&] { return desktop().find(covered); });
  ASSERT_EQ(all.controls.size(), 1u);
  EXPECT_TRUE(all.controls[0].covered);
}

TEST_F(ControlsLibrary, AButtonBeyondTheScreensEdgeIsOffScreenAndRefusedBeforeThePointerMoves) {
  FixtureApp& app = startGtk();
  app.send("widen");
  ASSERT_TRUE(app.readUntil("widened"));
  // Its window holds it, and GTK calls it showing: only the screen's edge keeps it from sight.
  ControlQuery far = query("push button", "Far");
  far.all = true;
  auto all = asRoot([&] { return desktop().find(far); });
  ASSERT_EQ(all.controls.size(), 1u);
  EXPECT_TRUE(all.controls[0].offScreen);
  EXPECT_FALSE(
      asRoot([&] { return desktop().find(query("push button", "OK")); }).controls.at(0).offScreen);
  far.all = false;
  EXPECT_TRUE(asRoot([&] { return desktop().find(far); }).controls.empty());
  const client::PointerPosition before = pointer();
  try {
    asRoot([&] { client::clickOn(client(), desktop(), far, {}); });
    FAIL() << "clicked a button beyond the screen's edge";
  } catch (const client::ControlNotActionable& e) {
    EXPECT_NE(std::string(e.what()).find("off the screen"), std::string::npos) << e.what();
  }
  EXPECT_EQ(pointer(), before);
  EXPECT_EQ(count(app.heardSoFar(), "clicked Far"), 0u);
}

TEST_F(ControlsLibrary, ClickOnFiresTheButtonExactlyOnce) {
  FixtureApp& app = startGtk();
  auto clicked =
      asRoot([&] { return client::clickOn(client(), desktop(), query("push button", "OK"), {}); });
  EXPECT_EQ(pointer(), clicked.control.centre());
  auto before = app.readUntil("clicked OK");
  ASSERT_TRUE(before) << "the button did not fire";
  auto after = app.heardSoFar();
  EXPECT_EQ(count(*before, "clicked OK") + count(after, "clicked OK"), 0u);
  EXPECT_EQ(count(after, "double-clicked OK"), 0u);
}

TEST_F(ControlsLibrary, ClickOnTwiceIsADoubleClick) {
  FixtureApp& app = startGtk();
  client::ClickOptions twice;
  twice.twice = true;
  asRoot([&] { client::clickOn(client(), desktop(), query("push button", "OK"), twice); });
  auto before = app.readUntil("double-clicked OK");
  ASSERT_TRUE(before) << "no double click arrived";
  EXPECT_EQ(count(*before, "clicked OK") + count(app.heardSoFar(), "clicked OK"), 2u);
}

TEST_F(ControlsLibrary, AnItemOfAnOpenMenuIsClickedInItsPopUp) {
  FixtureApp& app = startGtk();
  asRoot([&] { client::clickOn(client(), desktop(), query("menu", "File"), {}); });
  // The items lie in a pop-up window below the main window, yet hang in the tree under "File".
  auto open =
      asRoot([&] { return client::waitFor(desktop(), query("menu item", "Open"), false, 5s); });
  ASSERT_TRUE(open);
  EXPECT_GE(open->y, kWindowY + 300);
  asRoot([&] { client::clickOn(client(), desktop(), query("menu item", "Open"), {}); });
  EXPECT_TRUE(app.readUntil("activated Open")) << "the menu item was not chosen";
}

TEST_F(ControlsLibrary, WaitForSeesAButtonThatAppearsAfterASecond) {
  FixtureApp& app = startGtk();
  const auto asked = Clock::now();
  app.send("appear 1000");
  auto later =
      asRoot([&] { return client::waitFor(desktop(), query("push button", "Later"), false, 20s); });
  ASSERT_TRUE(later);
  EXPECT_EQ(later->name, "Later");
  EXPECT_GE(Clock::now() - asked, 1000ms);
}

TEST_F(ControlsLibrary, WaitForTimesOutWhenTheButtonNeverComes) {
  startGtk();
  const auto asked = Clock::now();
  try {
    asRoot([&] { client::waitFor(desktop(), query("push button", "Never"), false, 300ms); });
    FAIL() << "found a button that does not exist";
  } catch (const client::WaitTimedOut& e) {
    EXPECT_NE(std::string(e.what()).find("a push button named \"Never\""), std::string::npos)
        << e.what();
  }
  EXPECT_GE(Clock::now() - asked, 300ms);
}

TEST_F(ControlsLibrary, AButtonOfAnApplicationThatDoesNotAnswerIsNotGone) {
  FixtureApp& app = startGtk();
  ASSERT_EQ(::kill(app.pid(), SIGSTOP), 0);
  // Let go again before the application is stopped at the end of the test.
  struct Resumed {
    pid_t pid;
    ~Resumed() { ::kill(pid, SIGCONT); }
  } resumed{app.pid()};
  try {
    asRoot([&] { client::waitFor(desktop(), query("push button", "OK"), true, 1s); });
    FAIL() << "the button of a stopped application counted as gone";
  } catch (const client::WaitTimedOut& e) {
    EXPECT_NE(std::string(e.what()).find("pid " + std::to_string(app.pid())), std::string::npos)
        << e.what();
  }
}

TEST_F(ControlsLibrary, AScaledGtkApplicationIsClickedOnItsButtonsCentre) {
  FixtureApp& app = startGtk(2);
  auto clicked =
      asRoot([&] { return client::clickOn(client(), desktop(), query("push button", "OK"), {}); });
  // GDK_SCALE=2: every logical pixel of the window is two of the X server's.
  EXPECT_EQ(clicked.control.x, kWindowX + 40);
  EXPECT_EQ(clicked.control.y, kWindowY + 40);
  EXPECT_EQ(clicked.control.width, 240);
  EXPECT_EQ(clicked.control.height, 80);
  EXPECT_EQ(pointer(), clicked.control.centre());
  EXPECT_TRUE(app.readUntil("clicked OK")) << "the button did not fire";
}

TEST_F(ControlsLibrary, AQtApplicationsButtonIsFoundByRoleAndNameAndClicked) {
  if (!qtInstalled()) GTEST_SKIP() << "python3-pyqt5 is not installed";
  FixtureApp& app = startQt();
  auto found = asRoot([&] { return desktop().find(query("push button", "OK", kQt)); });
  ASSERT_EQ(found.controls.size(), 1u);
  EXPECT_EQ(found.controls[0].x, kWindowX + 20);
  EXPECT_EQ(found.controls[0].y, kWindowY + 20);
  EXPECT_EQ(found.controls[0].width, 120);
  EXPECT_EQ(found.controls[0].height, 40);
  asRoot([&] { client::clickOn(client(), desktop(), query("push button", "OK", kQt), {}); });
  EXPECT_TRUE(app.readUntil("clicked OK")) << "the button did not fire";
}

}  // namespace
}  // namespace virelo::test

namespace virelo::test {
namespace {

using ControlsContents = ControlsTest;

TEST_F(ControlsContents, TheTextOfAnEntryAndTheValueOfASpinButtonAreReadBack) {
  FixtureApp& app = startGtk();
  app.send("fill 0 First name=naïve café");
  ASSERT_TRUE(app.readUntil("filled"));
  EXPECT_EQ(asRoot([&] { return client::readText(desktop(), query("text", "First name"), false); }),
            "naïve café");
  auto spin = asRoot([&] { return desktop().find(query("spin button", "Count")); });
  ASSERT_EQ(spin.controls.size(), 1u);
  EXPECT_EQ(spin.controls[0].text, "3");
  ASSERT_TRUE(spin.controls[0].value);
  EXPECT_EQ(spin.controls[0].value->current, 3);
  EXPECT_EQ(spin.controls[0].value->minimum, 0);
  EXPECT_EQ(spin.controls[0].value->maximum, 10);
}

TEST_F(ControlsContents, WaitForSeesATextArriveInAnEntry) {
  FixtureApp& app = startGtk();
  ControlQuery entry = query("text", "Last name");
  entry.text = NameMatch::matching(R"(done \d+)");
  app.send("fill 500 Last name=done 42");
  auto shown = asRoot([&] { return client::waitFor(desktop(), entry, false, 10s); });
  ASSERT_TRUE(shown);
  EXPECT_EQ(shown->text, "done 42");
}

TEST_F(ControlsContents, AnActionPressesACoveredButtonWithoutThePointer) {
  FixtureApp& app = startGtk();
  app.send("cover");
  ASSERT_TRUE(app.readUntil("covered"));
  const client::PointerPosition before = pointer();
  client::ClickOptions options;
  options.by = client::ClickBy::action;
  auto clicked = asRoot([&] {
    return client::clickOn(client(), desktop(), query("push button", "Covered"), options);
  });
  EXPECT_EQ(clicked.by, client::ClickBy::action);
  EXPECT_EQ(clicked.action, "click");
  EXPECT_TRUE(clicked.control.covered);
  EXPECT_TRUE(app.readUntil("clicked Covered")) << "the button did not fire";
  EXPECT_EQ(pointer(), before);
}

// The three check boxes "Pick" lie in the tree right group first, but read left to right: the one
// at (160, 404) shares the row of the one at (20, 400).
TEST_F(ControlsContents, AlikeCheckBoxesAreToldApartByReadingOrderAndTheirContainer) {
  startGtk();
  auto place = [&](const ControlQuery& q, bool first = false) {
    auto control = asRoot([&] { return client::oneControl(desktop(), q, first); });
    return std::pair(control.x - kWindowX, control.y - kWindowY);
  };
  ControlQuery pick = query("check box", "Pick");
  EXPECT_EQ(place(pick, true), std::pair(20, 400));
  pick.nth = 2;
  EXPECT_EQ(place(pick), std::pair(160, 404));
  pick.nth = 3;
  EXPECT_EQ(place(pick), std::pair(20, 430));
  pick.nth = 2;
  pick.container = NameMatch::exactly("Left group");
  EXPECT_EQ(place(pick), std::pair(20, 430));
  pick.nth.reset();
  pick.container = NameMatch::exactly("Right group");
  EXPECT_EQ(place(pick), std::pair(160, 404));
}

}  // namespace
}  // namespace virelo::test
