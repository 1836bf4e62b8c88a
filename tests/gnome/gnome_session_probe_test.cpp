// Which sessions the GNOME host takes for its own.
#include "platform/gnome/gnome_session_probe.h"

#include <gtest/gtest.h>

namespace virelo::gnome {
namespace {

TEST(GnomeSessionProbe, AWaylandSessionIsGnomeWhenItsBusOffersTheRemoteDesktopService) {
  EXPECT_TRUE(isGnomeSession({"wayland", "wayland-0", "", true}));
  // The bus decides over the desktop's name, both ways.
  EXPECT_TRUE(isGnomeSession({"wayland", "wayland-0", "sway", true}));
  EXPECT_FALSE(isGnomeSession({"wayland", "wayland-0", "GNOME", false}));
}

TEST(GnomeSessionProbe, WithoutTheBusTheDesktopNamesDecide) {
  EXPECT_TRUE(isGnomeSession({"wayland", "wayland-0", "GNOME", std::nullopt}));
  EXPECT_TRUE(isGnomeSession({"wayland", "wayland-0", "ubuntu:gnome", std::nullopt}));
  EXPECT_FALSE(isGnomeSession({"wayland", "wayland-0", "GNOME-Classic", std::nullopt}));
  EXPECT_FALSE(isGnomeSession({"wayland", "wayland-0", "KDE", std::nullopt}));
  EXPECT_FALSE(isGnomeSession({"wayland", "wayland-0", "", std::nullopt}));
}

TEST(GnomeSessionProbe, OnlyAWaylandSessionIsGnomes) {
  // X11 GNOME sessions belong to the X11 host, even with XWayland's display around.
  EXPECT_FALSE(isGnomeSession({"x11", "wayland-0", "GNOME", true}));
  EXPECT_FALSE(isGnomeSession({"tty", "", "GNOME", true}));
  // No session type: a Wayland display says Wayland.
  EXPECT_TRUE(isGnomeSession({"", "wayland-0", "GNOME", std::nullopt}));
  EXPECT_FALSE(isGnomeSession({"", "", "GNOME", true}));
}

}  // namespace
}  // namespace virelo::gnome
