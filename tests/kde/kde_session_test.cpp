// Telling a KDE Plasma session on Wayland from its environment.
#include "platform/kde/kde_session.h"

#include <gtest/gtest.h>

#include <map>
#include <string>

namespace virelo::kde {
namespace {

bool kde(const std::map<std::string, std::string>& variables) {
  return isKdeWaylandSession([&](const char* name) -> const char* {
    auto it = variables.find(name);
    return it == variables.end() ? nullptr : it->second.c_str();
  });
}

TEST(KdeSession, IsAWaylandSessionWhoseDesktopNamesKde) {
  EXPECT_TRUE(kde({{"XDG_SESSION_TYPE", "wayland"}, {"XDG_CURRENT_DESKTOP", "KDE"}}));
  EXPECT_TRUE(kde({{"XDG_SESSION_TYPE", "Wayland"}, {"XDG_CURRENT_DESKTOP", "plasma:kde"}}));
  // Without a session type, the Wayland display tells.
  EXPECT_TRUE(kde({{"WAYLAND_DISPLAY", "wayland-0"}, {"XDG_CURRENT_DESKTOP", "KDE"}}));
}

TEST(KdeSession, IsNoneOnX11OrOnAnotherDesktop) {
  EXPECT_FALSE(kde({{"XDG_SESSION_TYPE", "x11"},
                    {"WAYLAND_DISPLAY", "wayland-0"},
                    {"XDG_CURRENT_DESKTOP", "KDE"}}));
  EXPECT_FALSE(kde({{"XDG_SESSION_TYPE", "wayland"}, {"XDG_CURRENT_DESKTOP", "GNOME"}}));
  EXPECT_FALSE(kde({{"XDG_SESSION_TYPE", "wayland"}, {"XDG_CURRENT_DESKTOP", "KDEx:sway"}}));
  EXPECT_FALSE(kde({{"XDG_SESSION_TYPE", "wayland"}}));
  EXPECT_FALSE(kde({{"XDG_CURRENT_DESKTOP", "KDE"}}));
}

}  // namespace
}  // namespace virelo::kde
