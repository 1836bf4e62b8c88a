// The parent launcher against the real service: readiness, refusals, the orderly stop and the
// watchdog's exit status.
#include "virelo/client/launcher.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <memory>

#include "tests/support/host_control.h"
#include "tests/support/service_user.h"
#include "virelo/client/client.h"
#include "virelo/client/errors.h"

namespace virelo::client {
namespace {

using test::ServiceUser;
using namespace std::chrono_literals;
namespace fs = std::filesystem;

// As root the launcher is made and started with root's ids and runs the service as the service
// user, the way an administrator would use it; otherwise it runs the service as the caller.
void asLauncherUser(const std::function<void()>& fn) {
  if (ServiceUser::privileged()) {
    ServiceUser::asRoot(fn);
  } else {
    fn();
  }
}

LaunchOptions simOptions() {
  LaunchOptions options;
  options.servicePath = VIRELO_SERVICE_PATH;
  options.environment = {{"VL_SIM_TRACE", "{dir}/trace"}, {"VL_SIM_CONTROL", "{dir}/control"}};
  options.user = "nobody";
  return options;
}

std::unique_ptr<Launcher> makeLauncher(LaunchOptions options) {
  std::unique_ptr<Launcher> launcher;
  asLauncherUser([&] { launcher = std::make_unique<Launcher>(std::move(options)); });
  return launcher;
}

ServiceEvent start(Launcher& launcher) {
  ServiceEvent event;
  asLauncherUser([&] { event = launcher.start(); });
  return event;
}

// A world file for the simulated host, written into the launcher's private directory.
std::unique_ptr<Launcher> withWorld(const nlohmann::json& world) {
  auto options = simOptions();
  options.environment["VL_SIM_WORLD"] = "{dir}/world.json";
  auto launcher = makeLauncher(options);
  std::ofstream(launcher->directory() + "/world.json") << world.dump();
  return launcher;
}

TEST(Launcher, StartsInAPrivateDirectoryAndReportsReadiness) {
  auto launcher = makeLauncher(simOptions());
  struct stat st {};
  ASSERT_EQ(::lstat(launcher->directory().c_str(), &st), 0);
  EXPECT_TRUE(S_ISDIR(st.st_mode));
  EXPECT_EQ(st.st_mode & 0777, 0700u);
  EXPECT_EQ(st.st_uid, ServiceUser::uid());

  ServiceEvent ready = start(*launcher);
  EXPECT_EQ(ready.type, "ready");
  EXPECT_TRUE(ready.ready);
  EXPECT_EQ(ready.backend, "corehid");
  EXPECT_EQ(ready.line,
            R"({"backend":"corehid","ok":true,"protocol":1,"ready":true,"type":"ready"})");
  EXPECT_TRUE(launcher->running());
  EXPECT_EQ(launcher->token().size(), 64u);
  EXPECT_EQ(launcher->token().find_first_not_of("0123456789abcdef"), std::string::npos);

  Client client(launcher->socketPath());
  EXPECT_TRUE(client.hello(launcher->token()).ready);
}

TEST(Launcher, ClosingThePipeStopsInOrderWithStatusZero) {
  auto launcher = makeLauncher(simOptions());
  start(*launcher);
  auto client = std::make_unique<Client>(launcher->socketPath());
  client->hello(launcher->token());
  EXPECT_EQ(launcher->stop(), 0);
  EXPECT_FALSE(launcher->running());
  EXPECT_FALSE(launcher->lastFailure());
  EXPECT_FALSE(fs::exists(launcher->socketPath()));
  EXPECT_THROW(client->status(), ConnectionLost);
}

TEST(Launcher, EveryLaunchHasItsOwnDirectoryAndToken) {
  auto a = makeLauncher(simOptions());
  auto b = makeLauncher(simOptions());
  EXPECT_NE(a->directory(), b->directory());
  start(*a);
  start(*b);
  EXPECT_NE(a->token(), b->token());
  std::string dir = a->directory();
  a.reset();
  EXPECT_FALSE(fs::exists(dir));
}

TEST(Launcher, AServiceThatRunsButIsNotReadyIsNoRefusal) {
  auto options = simOptions();
  options.backend = "cgevent";
  options.environment["VL_SIM_WORLD"] = "{dir}/world.json";
  auto launcher = makeLauncher(options);
  std::ofstream(launcher->directory() + "/world.json") << R"({"postEventAccess":false})";
  ServiceEvent first = start(*launcher);
  EXPECT_EQ(first.type, "status");
  EXPECT_EQ(first.ok, false);
  EXPECT_EQ(first.error, "virtual_hid_accessibility_required");
  EXPECT_FALSE(first.failure());
  EXPECT_TRUE(launcher->running());
  EXPECT_EQ(launcher->stop(), 0);
}

TEST(Launcher, AnInvalidSignatureIsRefusedWithItsErrorCode) {
  auto launcher = withWorld({{"signature", {{"valid", false}}}});
  try {
    start(*launcher);
    FAIL() << "no refusal";
  } catch (const ServiceRefused& e) {
    EXPECT_EQ(e.code(), "virtual_hid_authorization_required");
    EXPECT_EQ(e.exitStatus(), 0);
  }
  EXPECT_FALSE(launcher->running());
  EXPECT_FALSE(fs::exists(launcher->socketPath()));
}

TEST(Launcher, TheSuperuserIsRefusedWithTheProtocolErrorCode) {
  if (!ServiceUser::privileged()) GTEST_SKIP() << "needs root";
  auto options = simOptions();
  options.user.reset();
  auto launcher = makeLauncher(options);
  try {
    start(*launcher);
    FAIL() << "no refusal";
  } catch (const ServiceRefused& e) {
    EXPECT_EQ(e.code(), "virtual_hid_protocol_error");
  }
}

TEST(Launcher, AnUnknownBackendIsASilentExit) {
  auto options = simOptions();
  options.backend = "CoreHID";
  auto launcher = makeLauncher(options);
  try {
    start(*launcher);
    FAIL() << "no error";
  } catch (const ServiceExitedSilently& e) {
    EXPECT_EQ(e.exitStatus(), 0);
  }
}

TEST(Launcher, AMissingBinaryIsALaunchFailure) {
  auto options = simOptions();
  options.servicePath = "/nonexistent/virelo-service";
  auto launcher = makeLauncher(options);
  EXPECT_THROW(start(*launcher), LaunchFailed);
}

TEST(Launcher, AnUnknownUserIsALaunchFailure) {
  if (!ServiceUser::privileged()) GTEST_SKIP() << "needs root";
  auto options = simOptions();
  options.user = "no-such-user-here";
  EXPECT_THROW(makeLauncher(options), LaunchFailed);
}

TEST(Launcher, AStalledLoopEndsWithTheWatchdogsStatusThree) {
  auto launcher = makeLauncher(simOptions());
  start(*launcher);
  Client client(launcher->socketPath());
  client.hello(launcher->token());
  test::hostRequest(launcher->directory() + "/control",
                    {{"request", "set"}, {"dispatchDelayMs", 400}});
  // The keyboard report takes 400 ms to dispatch, so the loop stalls and the watchdog ends the
  // service. Whether the reply still gets out first depends on the timing of the service's
  // threads (under ThreadSanitizer it does), so either outcome of the command is accepted.
  try {
    client.pressKey(4);
  } catch (const ConnectionLost&) {
  }
  EXPECT_EQ(launcher->waitExit(5s), 3);
  ASSERT_TRUE(launcher->lastFailure());
  EXPECT_EQ(launcher->lastFailure()->error, "virtual_hid_not_ready");
  EXPECT_EQ(
      launcher->lastFailure()->line,
      R"({"backend":"corehid","error":"virtual_hid_not_ready","ready":false,"type":"status"})");
  EXPECT_EQ(launcher->stop(), 3);
}

}  // namespace
}  // namespace virelo::client
