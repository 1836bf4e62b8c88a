// The "cgevent" backend of the real service on the simulated window server: posted events, the
// permission watch, Fn state events and the release of everything held when the service ends.
#include <gtest/gtest.h>
#include <signal.h>

#include <thread>

#include "core/monotonic_clock.h"
#include "tests/support/host_control.h"
#include "tests/support/host_trace.h"
#include "tests/support/service_process.h"
#include "tests/support/test_client.h"

namespace virelo::test {
namespace {

constexpr std::int64_t kTag = 0x564C464E;

// The posted events of the trace, in order.
std::vector<nlohmann::json> posts(const HostTrace& trace) {
  std::vector<nlohmann::json> out;
  for (auto& e : trace.events()) {
    if (e["event"] == "post") out.push_back(e);
  }
  return out;
}

bool hasPost(const std::vector<nlohmann::json>& events, int type, int keycode = -1) {
  for (const auto& e : events) {
    if (e["event"] == "post" && e["type"] == type &&
        (keycode < 0 || e.value("keycode", -1) == keycode)) {
      return true;
    }
  }
  return false;
}

class Cgevent : public testing::Test {
 protected:
  void start(nlohmann::json world = nlohmann::json::object()) {
    ServiceOptions options;
    options.backend = "cgevent";
    options.world = std::move(world);
    service_ = std::make_unique<ServiceProcess>(options);
  }
  std::unique_ptr<TestClient> authenticated() {
    auto client = std::make_unique<TestClient>(service_->socketPath());
    client->hello(service_->token());
    return client;
  }
  // Reads status lines until one matches; fn_state lines in between are skipped.
  std::optional<nlohmann::json> nextEvent(const std::function<bool(const nlohmann::json&)>& match,
                                          std::chrono::milliseconds timeout = 5s) {
    auto deadline = std::chrono::steady_clock::now() + timeout;
    while (std::chrono::steady_clock::now() < deadline) {
      auto event = service_->readEvent(std::chrono::duration_cast<std::chrono::milliseconds>(
          deadline - std::chrono::steady_clock::now()));
      if (event && match(*event)) return event;
    }
    return std::nullopt;
  }
  HostTrace trace() { return HostTrace(service_->tracePath()); }
  nlohmann::json host(const nlohmann::json& request) {
    return hostRequest(service_->controlPath(), request);
  }

  std::unique_ptr<ServiceProcess> service_;
};

TEST_F(Cgevent, ReadyThenTheTapReportsItsState) {
  start();
  EXPECT_EQ(service_->readLine(10s),
            R"({"backend":"cgevent","ok":true,"protocol":1,"ready":true,"type":"ready"})");
  EXPECT_TRUE(nextEvent([](const auto& e) {
    return e == nlohmann::json{{"backend", "cgevent"},
                               {"bridgeReady", true},
                               {"held", false},
                               {"type", "fn_state"}};
  }));
}

TEST_F(Cgevent, WithoutPostingPermissionNothingIsPosted) {
  start({{"postEventAccess", false}});
  EXPECT_EQ(
      service_->readLine(10s),
      R"({"backend":"cgevent","error":"virtual_hid_accessibility_required","ok":false,"protocol":1,"ready":false,"type":"status"})");
  TestClient client(service_->socketPath());
  auto status = client.hello(service_->token());
  EXPECT_EQ(status["ok"], false);
  EXPECT_EQ(status["error"], "virtual_hid_accessibility_required");
  EXPECT_EQ(client.command({{"cmd", "keyboard"}, {"modifiers", 0}, {"keys", {4}}})["ready"], false);
  std::this_thread::sleep_for(50ms);
  EXPECT_TRUE(posts(trace()).empty());
}

TEST_F(Cgevent, ShiftAndAPostFlagsChangedThenKeyDownWithTheTag) {
  start();
  service_->awaitReady();
  auto client = authenticated();
  EXPECT_EQ(client->command({{"cmd", "keyboard"}, {"modifiers", 2}, {"keys", {4}}}), kAck);
  ASSERT_TRUE(trace().waitFor([](const auto& events) { return hasPost(events, 10, 0); }));
  auto p = posts(trace());
  ASSERT_GE(p.size(), 2u);
  EXPECT_EQ(p[0]["type"], 12);
  EXPECT_EQ(p[0]["keycode"], 56);
  EXPECT_EQ(p[0]["flags"], 0x20002);
  EXPECT_EQ(p[0]["fields"]["42"], kTag);
  EXPECT_EQ(p[1]["type"], 10);
  EXPECT_EQ(p[1]["keycode"], 0);
  EXPECT_EQ(p[1]["flags"], 0x20002);
  EXPECT_EQ(p[1]["fields"]["42"], kTag);
  EXPECT_EQ(p[1]["fields"]["8"], 0);
}

TEST_F(Cgevent, MediaKeysAndPointerEvents) {
  start({{"cursor", {100, 100}}});
  service_->awaitReady();
  auto client = authenticated();
  client->command({{"cmd", "consumer"}, {"usages", {0xCD}}});
  client->command({{"cmd", "move"}, {"dx", 5}, {"dy", -3}});
  client->command({{"cmd", "wheel"}, {"amount", -3}});
  client->command({{"cmd", "buttons"}, {"buttons", 1}});
  client->command({{"cmd", "buttons"}, {"buttons", 0}});
  ASSERT_TRUE(trace().waitFor([](const auto& events) { return hasPost(events, 2); }));
  auto p = posts(trace());
  auto find = [&](int type) {
    for (auto& e : p) {
      if (e["type"] == type) return e;
    }
    return nlohmann::json();
  };
  EXPECT_EQ(find(14)["data1"], 0x100A00);
  EXPECT_EQ(find(14)["subtype"], 8);
  EXPECT_EQ(find(5)["location"], (nlohmann::json{105.0, 97.0}));
  EXPECT_EQ(find(22)["wheel"], (nlohmann::json{{"units", 1}, {"value", -3}}));
  EXPECT_EQ(find(1)["fields"]["1"], 1);
  EXPECT_EQ(find(1)["location"], (nlohmann::json{105.0, 97.0}));
  EXPECT_FALSE(find(1)["fields"].contains("42"));
}

TEST_F(Cgevent, PermissionRevokedReleasesAndGrantedAgainIsReady) {
  start();
  service_->awaitReady();
  auto client = authenticated();
  client->command({{"cmd", "keyboard"}, {"modifiers", 0}, {"keys", {4}}});
  EXPECT_EQ(host({{"request", "set"}, {"postEventAccess", false}}), (nlohmann::json{{"ok", true}}));
  EXPECT_TRUE(nextEvent(
      [](const auto& e) {
        return e == nlohmann::json{
                        {"backend", "cgevent"}, {"error", "virtual_hid_accessibility_required"},
                        {"ok", false},          {"protocol", 1},
                        {"ready", false},       {"type", "status"}};
      },
      3s));
  EXPECT_EQ(client->command({{"cmd", "status"}})["error"], "virtual_hid_accessibility_required");
  host({{"request", "set"}, {"postEventAccess", true}});
  EXPECT_TRUE(nextEvent([](const auto& e) { return e.value("type", "") == "ready"; }, 3s));
  // What was held when the permission went is released once events can be posted again.
  EXPECT_TRUE(trace().waitFor([](const auto& events) { return hasPost(events, 11, 0); }));
  EXPECT_EQ(client->command({{"cmd", "status"}}), kAck);
}

TEST_F(Cgevent, FnStateFollowsTheVirtualAndTheHardwareFn) {
  start();
  service_->awaitReady();
  auto fnState = [](bool held) {
    return [held](const nlohmann::json& e) {
      return e.value("type", "") == "fn_state" && e["held"] == held && e["bridgeReady"] == true;
    };
  };
  ASSERT_TRUE(nextEvent(fnState(false)));
  auto client = authenticated();
  client->command(
      {{"cmd", "keyboard"}, {"modifiers", 0}, {"keys", nlohmann::json::array()}, {"fn", true}});
  EXPECT_TRUE(nextEvent(fnState(true)));
  client->command(
      {{"cmd", "keyboard"}, {"modifiers", 0}, {"keys", nlohmann::json::array()}, {"fn", false}});
  EXPECT_TRUE(nextEvent(fnState(false)));
  host({{"request", "hardware"}, {"type", 12}, {"keycode", 63}, {"flags", 0x800000}});
  EXPECT_TRUE(nextEvent(fnState(true)));
  host({{"request", "hardware"}, {"type", 12}, {"keycode", 63}, {"flags", 0}});
  EXPECT_TRUE(nextEvent(fnState(false)));
}

TEST_F(Cgevent, HeldInputIsReleasedWhenTheServiceEnds) {
  for (bool bySignal : {false, true}) {
    start();
    service_->awaitReady();
    auto client = authenticated();
    client->command({{"cmd", "keyboard"}, {"modifiers", 0}, {"keys", {4}}});
    client->command({{"cmd", "buttons"}, {"buttons", 1}});
    client->command({{"cmd", "consumer"}, {"usages", {0xE2}}});
    if (bySignal) {
      service_->signal(SIGTERM);
    } else {
      service_->closeStdin();
    }
    EXPECT_EQ(service_->waitExit(), 0);
    auto events = trace().events();
    EXPECT_TRUE(hasPost(events, 11, 0)) << "key A released";
    EXPECT_TRUE(hasPost(events, 2)) << "left button released";
    bool muteUp = false;
    for (auto& e : posts(trace())) muteUp = muteUp || (e["type"] == 14 && e["data1"] == 0x070B00);
    EXPECT_TRUE(muteUp);
    service_.reset();
  }
}

TEST_F(Cgevent, ContinuousMotionMovesTheCursor) {
  start({{"cursor", {500, 500}}});
  service_->awaitReady();
  auto client = authenticated();
  client->command({{"cmd", "motion"}, {"dx", 10}, {"dy", 0}, {"t_ns", monotonicNS()}});
  EXPECT_TRUE(trace().waitFor([](const std::vector<nlohmann::json>& events) {
    for (const auto& e : events) {
      if (e["event"] == "post" && e["type"] == 5 && e["location"][0].get<double>() >= 508)
        return true;
    }
    return false;
  }));
}

}  // namespace
}  // namespace virelo::test
