// The service's readiness following the compositor.
#include "tests/gnome/gnome_desktop.h"
#include "tests/support/private_dir.h"
#include "tests/tools/tool_process.h"

namespace virelo::test {
namespace {

class GnomeAvailability : public GnomeDesktop {
 protected:
  void SetUp() override {
    GnomeDesktop::SetUp();
    if (!IsSkipped()) startService();
  }
};

TEST_F(GnomeAvailability, WhenTheCompositorEndsTheServiceSaysItIsNotReady) {
  session_->stopCompositor();
  std::optional<nlohmann::json> status;
  while (auto event = service_->readEvent(5s)) {
    if ((*event)["type"] == "status") {
      status = event;
      break;
    }
  }
  ASSERT_TRUE(status);
  EXPECT_EQ((*status)["ready"], false);
  EXPECT_EQ((*status)["error"], "virtual_hid_accessibility_required");
  EXPECT_TRUE(service_->running());
}

// No configuration file and no variable names a host or the desktop: the session learns from the
// session bus that it runs under mutter, and its service gets ready there.
TEST(SessionOnGnome, ChoosesTheGnomeHostByItself) {
  if (auto reason = GnomeSession::missing(Compositor::mutter); !reason.empty()) {
    GTEST_SKIP() << reason;
  }
  GnomeSession gnome(Compositor::mutter);
  PrivateDir config;
  auto environment = gnome.environment();
  environment["XDG_CONFIG_HOME"] = config.path();
  client::ToolProcess session({"session"}, environment);
  const nlohmann::json published = client::publishedSession(environment);
  ASSERT_TRUE(published.is_object()) << session.errors();
  EXPECT_EQ(published["host"], "gnome");
  EXPECT_NE(session.errors().find("host gnome (a Wayland session of GNOME's compositor: "
                                  "org.gnome.Mutter.RemoteDesktop is on the session bus), "
                                  "backend cgevent"),
            std::string::npos)
      << session.errors();
  const client::ToolResult status = client::readyStatus(environment, 15s);
  EXPECT_EQ(status.status, 0) << status.output << status.errors << gnome.compositorLog();
}

}  // namespace
}  // namespace virelo::test
