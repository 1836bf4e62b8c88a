// "virelo session" in a wlroots compositor's session, with no host named anywhere: it chooses the
// wlroots host by itself, and its service is ready on the compositor.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "tests/support/private_dir.h"
#include "tests/tools/tool_process.h"
#include "tests/wlroots/sway_compositor.h"

namespace virelo::test {
namespace {

TEST(SessionOnSway, ChoosesTheWlrootsHostByItself) {
  if (auto reason = SwayCompositor::missing(); !reason.empty()) GTEST_SKIP() << reason;
  SwayCompositor sway;
  PrivateDir config;  // no configuration file names a host
  auto environment = sway.environment();
  environment["XDG_CONFIG_HOME"] = config.path();
  client::ToolProcess session({"session"}, environment);

  const nlohmann::json published = client::publishedSession(environment);
  ASSERT_TRUE(published.is_object()) << session.errors();
  EXPECT_EQ(published["host"], "wlroots");
  EXPECT_EQ(published["backend"], "cgevent");
  EXPECT_NE(session.errors().find("host wlroots (a Wayland session of a wlroots compositor: "
                                  "sway's socket is set), backend cgevent"),
            std::string::npos)
      << session.errors();

  // Ready once its virtual keyboard and pointer are on the compositor's seat.
  const client::ToolResult status = client::readyStatus(environment);
  EXPECT_EQ(status.status, 0) << status.output << status.errors;
  EXPECT_EQ(nlohmann::json::parse(status.output, nullptr, false).value("ready", false), true)
      << status.output;
}

}  // namespace
}  // namespace virelo::test
