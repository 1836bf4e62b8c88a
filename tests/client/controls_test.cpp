// The client's part for controls without an accessibility bus: how names match and queries read,
// and the refusals of a desktop that cannot be read, each saying what is missing.
#include "virelo/client/controls.h"

#include <gtest/gtest.h>

#include <map>

#include "tests/support/xvfb_server.h"
#include "virelo/protocol/accessibility_module.h"

#ifndef VIRELO_OTHER_VERSION_MODULE
#error "VIRELO_OTHER_VERSION_MODULE must name the test module of another version"
#endif

namespace virelo::client {
namespace {

EnvironmentLookup lookupIn(const std::map<std::string, std::string>& environment) {
  return [&environment](const char* name) -> const char* {
    auto found = environment.find(name);
    return found == environment.end() ? nullptr : found->second.c_str();
  };
}

// The message of the ControlsUnavailable that opening a desktop there throws.
std::string refusal(const std::map<std::string, std::string>& environment) {
  try {
    Desktop desktop(lookupIn(environment));
  } catch (const ControlsUnavailable& e) {
    return e.what();
  }
  return "opened";
}

TEST(Controls, NamesMatchWholeOrInPartOrByAWholeRegularExpression) {
  EXPECT_TRUE(NameMatch::exactly("OK")("OK"));
  EXPECT_FALSE(NameMatch::exactly("OK")("OK "));
  EXPECT_TRUE(NameMatch::containing("Save")("Save as…"));
  EXPECT_TRUE(NameMatch::matching("Save( as)?.*")("Save as…"));
  EXPECT_FALSE(NameMatch::matching("ave")("Save"));
  EXPECT_TRUE(NameMatch::matching("(?i)ok")("OK"));
  EXPECT_THROW(NameMatch::matching("("), MalformedExpression);
  ControlQuery query;
  query.role = "push button";
  query.name = NameMatch::exactly("OK");
  query.application = "gedit";
  EXPECT_EQ(query.describe(), "a push button named \"OK\" of gedit");
}

// Any application may give a control a name this long; an engine that recursed per character
// ran out of stack on it.
TEST(Controls, ARegularExpressionMatchesAHugeNameWithoutRecursion) {
  const std::string huge = std::string(50'000, 'x') + " Save";
  EXPECT_TRUE(NameMatch::matching(".*[Ss]ave.*")(huge));
  EXPECT_TRUE(NameMatch::matching("(x|y)* Save")(huge));
  EXPECT_FALSE(NameMatch::matching("Save( As)?")(huge));
}

// What an application chose may hold any bytes; a message shows them escaped, on one line: C0,
// DEL and C1 controls (U+009B is CSI) escaped, bytes that are not UTF-8 as U+FFFD, the rest as is.
TEST(Controls, AControlReadsInAMessageWithWhatItsApplicationChoseEscaped) {
  Control control;
  control.role = "push button";
  control.name =
      "O\"K\n\x7f\xc2\x9b"
      "2J\xff\xc3\xa9";
  control.application = "app\n\x1b[2J\t\\";
  control.enabled = true;
  control.visible = true;
  EXPECT_EQ(
      control.describe(),
      "push button \"O\\\"K\\n\\u007f\\u009b2J\xef\xbf\xbd\xc3\xa9\" of app\\n\\u001b[2J\\t\\\\ "
      "at 0,0 0x0");
}

TEST(Controls, ADesktopThatCannotBeReadSaysWhatIsMissing) {
  // Only KWin and gnome-shell tell where windows are: a Wayland session of another host refuses.
  EXPECT_NE(refusal({{"DISPLAY", ":0"},
                     {"WAYLAND_DISPLAY", "wayland-0"},
                     {"VIRELO_SOCKET", "/run/vl.sock"},
                     {"VL_HOST", "wlroots"}})
                .find("Wayland session on the \"wlroots\" host"),
            std::string::npos);
  EXPECT_NE(refusal({}).find("$DISPLAY is not set"), std::string::npos);
  EXPECT_NE(refusal({{"DISPLAY", ":32767"}}).find("no X server answers on \":32767\""),
            std::string::npos);
  test::XvfbServer server;
  if (!server.available()) GTEST_SKIP() << "Xvfb is not installed or did not start";
  EXPECT_NE(refusal({{"DISPLAY", server.display()},
                     {"VIRELO_ACCESSIBILITY_MODULE", "/nonexistent/module.so"}})
                .find("no accessibility module is installed"),
            std::string::npos);
  // A module of another release is refused before any of its functions is called.
  const std::string otherRelease =
      refusal({{"DISPLAY", server.display()},
               {"VIRELO_ACCESSIBILITY_MODULE", VIRELO_OTHER_VERSION_MODULE}});
  EXPECT_NE(otherRelease.find(std::string("the accessibility module ") +
                              VIRELO_OTHER_VERSION_MODULE + " has interface version " +
                              std::to_string(VIRELO_ACCESSIBILITY_MODULE_VERSION + 1) +
                              ", this program needs version " +
                              std::to_string(VIRELO_ACCESSIBILITY_MODULE_VERSION)),
            std::string::npos)
      << otherRelease;
}

}  // namespace
}  // namespace virelo::client
