// "The active layout" read from a real X server (Xvfb) whose layout setxkbmap has set, and the
// fallbacks without one; the pointer's position read from the server.
#include <gtest/gtest.h>

#include <map>

#include "tests/support/xvfb_server.h"
#include "virelo/client/x11.h"

namespace virelo::client {
namespace {

using test::XvfbServer;

EnvironmentLookup lookupIn(const std::map<std::string, std::string>& environment) {
  return [&environment](const char* name) -> const char* {
    auto found = environment.find(name);
    return found == environment.end() ? nullptr : found->second.c_str();
  };
}

TEST(X11Layout, TheXServersLayoutComesBeforeTheVariables) {
  XvfbServer server;
  if (!server.available()) GTEST_SKIP() << "Xvfb is not installed or did not start";
  std::map<std::string, std::string> environment{{"DISPLAY", server.display()},
                                                 {"XKB_DEFAULT_LAYOUT", "fr"}};
  auto active = activeLayout(lookupIn(environment));
  // A fresh Xvfb has the US layout.
  EXPECT_EQ(active->description(), "of the X server (English (US))");
  EXPECT_EQ(active->keystrokes("azAZ!"), KeyboardLayout::us().keystrokes("azAZ!"));
}

TEST(X11Layout, SetxkbmapChangesTheActiveLayout) {
  // Without -noreset the server starts afresh, with its own layout, when setxkbmap disconnects.
  XvfbServer server(XvfbServer::Options{std::nullopt, {"-noreset"}});
  if (!server.available()) GTEST_SKIP() << "Xvfb is not installed or did not start";
  ASSERT_TRUE(server.setxkbmap("de"));
  auto active = x11Layout(server.display().c_str());
  ASSERT_NE(active, nullptr);
  if (active->description() == "of the X server (English (US))") {
    GTEST_SKIP() << "this Xvfb accepted \"setxkbmap de\" but kept its US keymap";
  }
  EXPECT_EQ(active->description(), "of the X server (German)");
  const char* text = "Grüße, Jürgen! @€<";
  EXPECT_EQ(active->keystrokes(text),
            KeyboardLayout::named(parseLayoutName("de"))->keystrokes(text));
}

TEST(X11Layout, WithoutAnXServerTheVariablesNameTheLayout) {
  std::map<std::string, std::string> environment{{"DISPLAY", ":32767"},
                                                 {"XKB_DEFAULT_LAYOUT", "de"}};
  EXPECT_EQ(activeLayout(lookupIn(environment))->description(), "de");
}

TEST(X11Layout, WithoutAnXServerOrVariablesTheLayoutIsUs) {
  std::map<std::string, std::string> environment;
  EXPECT_EQ(activeLayout(lookupIn(environment))->description(), "us");
}

TEST(X11Pointer, ThePositionIsOnTheScreen) {
  XvfbServer server(XvfbServer::Options{std::nullopt, {"-screen", "0", "800x600x24"}});
  if (!server.available()) GTEST_SKIP() << "Xvfb is not installed or did not start";
  auto position = pointerPosition(server.display().c_str());
  ASSERT_TRUE(position.has_value());
  EXPECT_GE(position->x, 0);
  EXPECT_LT(position->x, 800);
  EXPECT_GE(position->y, 0);
  EXPECT_LT(position->y, 600);
}

TEST(X11Pointer, WithoutAnXServerThereIsNoPosition) {
  EXPECT_EQ(pointerPosition(":32767"), std::nullopt);
}

}  // namespace
}  // namespace virelo::client
