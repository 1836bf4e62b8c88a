// "virelo session" run as the service user against the simulated host: clients find it by
// themselves, one session per user, the published file, restarts and the orderly stop.
#include "virelo/client/session.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <thread>

#include "tests/support/host_trace.h"
#include "tests/support/private_dir.h"
#include "tests/tools/tool_process.h"
#include "virelo/client/client.h"

namespace virelo::client {
namespace {

using test::HostTrace;
using test::keyboardHex;
using namespace std::chrono_literals;

class Session : public testing::Test {
 protected:
  // A client's environment: nothing but where the user's runtime directory is.
  std::map<std::string, std::string> environment() const {
    return {{"XDG_RUNTIME_DIR", runtime_.path()}, {"XDG_CONFIG_HOME", runtime_ / "config"}};
  }

  std::unique_ptr<ToolProcess> startSession() {
    auto env = environment();
    env["VL_SIM_TRACE"] = runtime_ / "trace";
    return std::make_unique<ToolProcess>(std::vector<std::string>{"session", "--host", "sim"}, env);
  }

  std::string sessionFile() const { return runtime_ / "virelo/session.json"; }

  // The published file once it names a service other than `notPid`.
  nlohmann::json awaitPublished(pid_t notPid = 0, std::chrono::milliseconds timeout = 5s) {
    auto deadline = std::chrono::steady_clock::now() + timeout;
    while (std::chrono::steady_clock::now() < deadline) {
      std::ifstream in(sessionFile());
      auto file = nlohmann::json::parse(in, nullptr, false);
      if (file.is_object() && file.contains("pid") && file["pid"].get<pid_t>() != notPid) {
        return file;
      }
      std::this_thread::sleep_for(5ms);
    }
    return nullptr;
  }

  test::PrivateDir runtime_;
  HostTrace trace_{runtime_ / "trace"};
};

TEST_F(Session, ClientsFindItWithoutVariablesAndAStaleFileIsNeverTrusted) {
  // Left over as a session leaves it: private, and its lock not held.
  std::filesystem::create_directory(runtime_ / "virelo");
  ::chmod((runtime_ / "virelo").c_str(), 0700);
  test::writeFile(sessionFile(), R"({"socket":"/nowhere","token":"00"})");
  auto before = runTool({"status"}, environment());
  EXPECT_EQ(before.status, 1);
  EXPECT_NE(before.errors.find("no Virelo session: start one with `systemctl --user start virelo` "
                               "or `virelo session`"),
            std::string::npos)
      << before.errors;

  auto session = startSession();
  auto file = awaitPublished();
  ASSERT_TRUE(file.is_object()) << session->errors();
  struct stat st {};
  ASSERT_EQ(::stat(sessionFile().c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);
  EXPECT_EQ(file["host"], "sim");
  EXPECT_EQ(file["backend"], "corehid");

  auto typed = runTool({"type", "a"}, environment());
  EXPECT_EQ(typed.status, 0) << typed.errors;
  EXPECT_TRUE(trace_.waitFor([](const auto&) { return true; }));
  auto reports = trace_.reports("keyboard");
  EXPECT_NE(std::find(reports.begin(), reports.end(), keyboardHex(0, {4})), reports.end());

  auto status = runTool({"status", "--json"}, environment());
  EXPECT_EQ(status.status, 0) << status.errors;
  auto shown = nlohmann::json::parse(status.output);
  EXPECT_EQ(shown["session"]["pid"], file["pid"]);
  EXPECT_EQ(shown["session"]["restarts"], 0);
}

TEST_F(Session, ASecondSessionIsRefusedNamingTheRunningOne) {
  auto session = startSession();
  auto file = awaitPublished();
  ASSERT_TRUE(file.is_object()) << session->errors();
  auto second = runTool({"session", "--host", "sim"}, environment());
  EXPECT_EQ(second.status, 1);
  EXPECT_NE(second.errors.find("a Virelo session is already running (session pid " +
                               std::to_string(file["session_pid"].get<int>())),
            std::string::npos)
      << second.errors;
}

// How soon it is back is the session benchmark's figure.
TEST_F(Session, AKilledServiceIsBackAndTheNextCallWorks) {
  auto session = startSession();
  auto first = awaitPublished();
  ASSERT_TRUE(first.is_object()) << session->errors();
  std::string runtime = runtime_.path();
  Client client([&] {
    return findEndpoint([&](const char* name) -> const char* {
      return std::string(name) == "XDG_RUNTIME_DIR" ? runtime.c_str() : nullptr;
    });
  });
  client.pressKey(4);
  ASSERT_EQ(::kill(first["pid"].get<pid_t>(), SIGKILL), 0);
  auto second = awaitPublished(first["pid"].get<pid_t>());
  ASSERT_TRUE(second.is_object()) << session->errors();
  EXPECT_EQ(second["restarts"], 1);
  EXPECT_NE(second["token"], first["token"]);
  // The library's client finds the new service by itself; what it held went with the old one.
  EXPECT_TRUE(client.status().ready);
  EXPECT_TRUE(client.state().empty());
  auto typed = runTool({"type", "a"}, environment());
  EXPECT_EQ(typed.status, 0) << typed.errors;
}

TEST_F(Session, TerminationReleasesWhatIsHeldAndRemovesTheFile) {
  auto session = startSession();
  ASSERT_TRUE(awaitPublished().is_object()) << session->errors();
  ToolProcess hold({"hold", "shift"}, environment());
  ASSERT_TRUE(trace_.waitForReport("keyboard", keyboardHex(2)));
  session->signal(SIGTERM);
  EXPECT_EQ(session->waitExit(5s), 0) << session->errors();
  // Shift is let go: the keyboard's last word is an empty report, or its removal.
  std::string last;
  for (const auto& event : trace_.events()) {
    if (event.value("device", "") != "keyboard") continue;
    last = event["event"] == "hid_destroy" ? keyboardHex(0) : event.value("report", last);
  }
  EXPECT_EQ(last, keyboardHex(0));
  EXPECT_FALSE(std::filesystem::exists(sessionFile()));
  EXPECT_NE(session->errors().find("virelo session: stopped"), std::string::npos);
}

TEST_F(Session, WithoutAPrivateRuntimeDirectoryItSaysHowToFixIt) {
  ::chmod(runtime_.path().c_str(), 0777);
  const std::vector<std::pair<std::map<std::string, std::string>, std::string>> cases = {
      {{}, "the session cannot start: $XDG_RUNTIME_DIR is not set (log in through a session"},
      {{{"XDG_RUNTIME_DIR", "run/user"}},
       "$XDG_RUNTIME_DIR is relative (\"run/user\"); set it to the absolute path"},
      {environment(), "refusing $XDG_RUNTIME_DIR (" + runtime_.path() +
                          "): others can write it (mode 0777), so another user could plant a "
                          "session there; make it a directory of yours with mode 0700"},
  };
  for (const auto& [env, says] : cases) {
    auto result = runTool({"session", "--host", "sim"}, env, 5s);
    EXPECT_EQ(result.status, 1);
    EXPECT_NE(result.errors.find(says), std::string::npos) << result.errors;
  }
}

}  // namespace
}  // namespace virelo::client
