// Which sessions the wlroots host recognises as its own.
#include "platform/wlroots/session_probe.h"

#include <gtest/gtest.h>

namespace virelo::wlroots {
namespace {

TEST(WlrootsSession, IsKnownByTheDesktopItNamesOrBySwaysSocket) {
  EXPECT_TRUE(isWlrootsSession({"wayland", "wayland-1", "sway", ""}));
  EXPECT_TRUE(isWlrootsSession({"", "wayland-1", "Hyprland", ""}));
  EXPECT_TRUE(isWlrootsSession({"wayland", "wayland-0", "wlroots:river", ""}));
  EXPECT_TRUE(isWlrootsSession({"", "wayland-1", "", "/run/user/1000/sway-ipc.1000.42.sock"}));
}

TEST(WlrootsSession, OtherSessionsAreNot) {
  // GNOME and KDE, even with sway's socket left in the environment by a session before.
  EXPECT_FALSE(isWlrootsSession({"wayland", "wayland-0", "GNOME", "/run/user/1000/sway.sock"}));
  EXPECT_FALSE(isWlrootsSession({"wayland", "wayland-0", "KDE", ""}));
  // No Wayland display, or a session that says it is another kind.
  EXPECT_FALSE(isWlrootsSession({"wayland", "", "sway", "/run/user/1000/sway.sock"}));
  EXPECT_FALSE(isWlrootsSession({"x11", "wayland-1", "sway", ""}));
  // A Wayland display alone says nothing about the compositor.
  EXPECT_FALSE(isWlrootsSession({"wayland", "wayland-1", "", ""}));
}

}  // namespace
}  // namespace virelo::wlroots
