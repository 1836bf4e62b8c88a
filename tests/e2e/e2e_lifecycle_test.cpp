// How the real service ends: the parent's pipe, signals, output errors and the watchdog.
#include <gtest/gtest.h>
#include <signal.h>

#include <filesystem>
#include <set>
#include <string>
#include <thread>

#include "tests/support/host_control.h"
#include "tests/support/host_trace.h"
#include "tests/support/service_process.h"
#include "tests/support/test_client.h"

namespace virelo::test {
namespace {

namespace fs = std::filesystem;

std::unique_ptr<TestClient> authenticated(ServiceProcess& service) {
  auto client = std::make_unique<TestClient>(service.socketPath());
  EXPECT_EQ(client->hello(service.token())["ready"], true);
  return client;
}

TEST(Lifecycle, ClosingStandardInputStopsQuietlyAndRemovesTheSocketAndTheDevices) {
  ServiceProcess service;
  service.awaitReady();
  auto client = authenticated(service);
  client->command({{"cmd", "keyboard"}, {"modifiers", 0}, {"keys", {4}}});
  service.closeStdin();
  EXPECT_EQ(service.waitExit(), 0);
  EXPECT_EQ(service.readRest(1s), "");
  EXPECT_EQ(service.standardError(), "");
  EXPECT_FALSE(fs::exists(service.socketPath()));
  EXPECT_TRUE(client->closedByService());
  // The devices are removed after the last report, which releases the key still held.
  std::set<std::string> removed;
  for (const auto& event : HostTrace(service.tracePath()).events()) {
    if (event["event"] == "hid_input") removed.clear();
    if (event["event"] == "hid_destroy") removed.insert(event["device"].get<std::string>());
  }
  EXPECT_EQ(removed, (std::set<std::string>{"keyboard", "mouse", "media"}));
}

TEST(Lifecycle, StandardInputAtEndOfFileStopsRightAfterTheFirstStatus) {
  ServiceOptions options;
  options.stdinMode = ServiceOptions::Stdin::devNull;
  ServiceProcess service(options);
  service.awaitReady();
  EXPECT_EQ(service.waitExit(), 0);
  EXPECT_EQ(service.readRest(1s), "");
}

TEST(Lifecycle, BytesOnStandardInputAreIgnored) {
  ServiceProcess service;
  service.awaitReady();
  service.writeStdin("hello parent\n");
  auto client = authenticated(service);
  EXPECT_EQ(client->command({{"cmd", "status"}}), kAck);
  EXPECT_TRUE(service.running());
}

TEST(Lifecycle, TermAndIntStopInOrder) {
  for (int sig : {SIGTERM, SIGINT}) {
    for (const char* backend : {"corehid", "cgevent"}) {
      ServiceOptions options;
      options.backend = backend;
      ServiceProcess service(options);
      ASSERT_TRUE(service.readLine(10s));
      auto client = std::make_unique<TestClient>(service.socketPath());
      client->hello(service.token());
      service.signal(sig);
      EXPECT_EQ(service.waitExit(), 0) << backend << " " << sig;
      EXPECT_EQ(service.standardError(), "");
      std::string rest = service.readRest(1s);
      // With "cgevent" nothing more than fn_state lines may follow; "corehid" writes nothing.
      if (std::string(backend) == "corehid") {
        EXPECT_EQ(rest, "");
      }
      EXPECT_EQ(rest.find("\"type\":\"status\""), std::string::npos) << rest;
    }
  }
}

TEST(Lifecycle, PipeSignalDoesNotEndTheService) {
  ServiceProcess service;
  service.awaitReady();
  service.signal(SIGPIPE);
  auto client = authenticated(service);
  // A client that vanishes before its reply is written.
  {
    TestClient gone(service.socketPath());
    gone.sendLine(nlohmann::json{{"cmd", "hello"}, {"token", service.token()}}.dump());
    gone.close();
  }
  std::this_thread::sleep_for(50ms);
  EXPECT_EQ(client->command({{"cmd", "status"}}), kAck);
  EXPECT_TRUE(service.running());
}

TEST(Lifecycle, OutputErrorEndsTheServiceWithTheFailureEvent) {
  ServiceProcess service;
  service.awaitReady();
  auto client = authenticated(service);
  EXPECT_EQ(
      hostRequest(service.controlPath(), {{"request", "set"}, {"failDispatch", {"keyboard"}}}),
      (nlohmann::json{{"ok", true}}));
  client->send({{"cmd", "keyboard"}, {"modifiers", 0}, {"keys", {4}}});
  EXPECT_EQ(
      service.readLine(),
      R"({"backend":"corehid","error":"virtual_hid_not_ready","ready":false,"type":"status"})");
  EXPECT_EQ(service.waitExit(), 0);
  EXPECT_FALSE(fs::exists(service.socketPath()));
}

TEST(Lifecycle, WatchdogEndsAStalledServiceWithStatusThree) {
  ServiceProcess service;
  service.awaitReady();
  auto client = authenticated(service);
  hostRequest(service.controlPath(), {{"request", "set"}, {"dispatchDelayMs", 400}});
  client->send({{"cmd", "keyboard"}, {"modifiers", 0}, {"keys", {4}}});
  EXPECT_EQ(
      service.readLine(),
      R"({"backend":"corehid","error":"virtual_hid_not_ready","ready":false,"type":"status"})");
  EXPECT_EQ(service.waitExit(), 3);
}

TEST(Lifecycle, SlowDispatchWithinTheLimitIsNoStall) {
  ServiceProcess service;
  service.awaitReady();
  auto client = authenticated(service);
  hostRequest(service.controlPath(), {{"request", "set"}, {"dispatchDelayMs", 60}});
  EXPECT_EQ(client->command({{"cmd", "keyboard"}, {"modifiers", 0}, {"keys", {4}}}), kAck);
  EXPECT_TRUE(service.running());
}

TEST(Lifecycle, TickRunsWithoutClients) {
  // With no client the loop still ticks; a motion sample from a client that then leaves is
  // integrated by the ticks until it lapses, and nothing is left moving.
  ServiceProcess service;
  service.awaitReady();
  HostTrace trace(service.tracePath());
  auto before = trace.reports("mouse").size();
  std::this_thread::sleep_for(100ms);
  EXPECT_EQ(trace.reports("mouse").size(), before);
  EXPECT_TRUE(service.running());
}

}  // namespace
}  // namespace virelo::test
