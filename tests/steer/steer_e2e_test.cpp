// "virelo steer" against the real service on the simulated host (the "cgevent" backend, whose
// pointer the host keeps): a virtual game controller of SDL's, driven through the tool's
// --virtual-pad file, and pose datagrams from a sender of the test's own.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstring>
#include <fstream>
#include <thread>

#include "tests/support/host_control.h"
#include "tests/support/host_trace.h"
#include "tests/support/private_dir.h"
#include "tests/support/service_process.h"
#include "tests/tools/tool_process.h"

namespace virelo::test {
namespace {

using client::ToolProcess;
using nlohmann::json;

constexpr int kMouseMoved = 5, kLeftDown = 1, kLeftUp = 2, kLeftDragged = 6, kKeyUp = 11;

// A window at (100, 100) of 800 x 600 whose close button is the 14 x 14 square at (110, 105),
// centre (117, 112); the pointer starts at (200, 130).
json world() {
  json elements = {
      {{"id", "win"},
       {"role", "AXWindow"},
       {"frame", {100, 100, 800, 600}},
       {"parent", "app:4242"},
       {"closeButton", "close"}},
      {{"id", "close"}, {"role", "AXButton"}, {"frame", {110, 105, 14, 14}}, {"parent", "win"}},
  };
  return {{"trusted", true},
          {"cursor", {200, 130}},
          {"windows", {{{"pid", 4242}, {"layer", 0}, {"bounds", {100, 100, 800, 600}}}}},
          {"apps",
           {{"4242",
             {{"bundleIdentifier", "org.example.editor"},
              {"windows", {"win"}},
              {"elements", elements}}}}}};
}

class Steer : public testing::Test {
 protected:
  void SetUp() override {
    ServiceOptions options;
    options.backend = "cgevent";
    options.world = world();
    service_ = std::make_unique<ServiceProcess>(options);
    service_->awaitReady();
    trace_ = std::make_unique<HostTrace>(service_->tracePath());
  }
  void startTool(std::vector<std::string> args,
                 std::map<std::string, std::string> environment = {}) {
    writeFile(pad_, "");
    args.insert(args.begin(), "steer");
    environment["VIRELO_SOCKET"] = service_->socketPath();
    environment["VIRELO_TOKEN"] = service_->token();
    tool_ = std::make_unique<ToolProcess>(args, environment);
  }
  void startPad(std::map<std::string, std::string> environment = {}) {
    startTool({"--virtual-pad", pad_}, std::move(environment));
    pad("attach");
  }
  void pad(const std::string& line) { std::ofstream(pad_, std::ios::app) << line << "\n"; }
  json cursor() { return hostRequest(service_->controlPath(), {{"request", "state"}})["cursor"]; }
  // Waits until the pointer satisfies the predicate.
  bool waitForCursor(const std::function<bool(double x, double y)>& predicate,
                     std::chrono::milliseconds timeout = 5s) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (std::chrono::steady_clock::now() < deadline) {
      const json at = cursor();
      if (predicate(at[0].get<double>(), at[1].get<double>())) return true;
      std::this_thread::sleep_for(5ms);
    }
    return false;
  }
  // Waits until the trace has a posted event of the type.
  bool waitForPosted(int type) {
    return trace_->waitFor([type](const std::vector<json>& events) {
      for (const json& e : events) {
        if (e.value("event", "") == "post" && e.value("type", 0) == type) return true;
      }
      return false;
    });
  }
  std::vector<json> posted() {
    std::vector<json> out;
    for (const json& e : trace_->events()) {
      if (e.value("event", "") == "post") out.push_back(e);
    }
    return out;
  }

  PrivateDir dir_;
  std::string pad_ = dir_ / "pad";
  std::unique_ptr<ServiceProcess> service_;
  std::unique_ptr<HostTrace> trace_;
  std::unique_ptr<ToolProcess> tool_;
};

TEST_F(Steer, TheStickMovesThePointerAlongItsDirectionAndStopsWithIt) {
  startPad();
  pad("axis leftx 0.8");
  ASSERT_TRUE(waitForCursor([](double x, double) { return x > 500; })) << tool_->errors();
  pad("axis leftx 0");
  // At rest it stays where it is, on the line it was steered along.
  std::this_thread::sleep_for(100ms);
  const json rest = cursor();
  std::this_thread::sleep_for(200ms);
  EXPECT_EQ(cursor(), rest);
  EXPECT_EQ(rest[1], 130.0);
}

TEST_F(Steer, ASlowApproachIsCapturedOnEnteringTheBand) {
  startPad();
  // About 100 points per second to the left, toward the close button, whose band of 24 points
  // begins at x = 148.
  pad("axis leftx -0.38");
  ASSERT_TRUE(waitForCursor([](double x, double) { return x < 140; })) << tool_->errors();
  pad("axis leftx 0");
  bool entered = false;
  for (const json& e : posted()) {
    if (e["type"] != kMouseMoved || e["location"][0].get<double>() >= 148) continue;
    EXPECT_EQ(e["location"], (json{117.0, 112.0})) << "the first move into the band";
    entered = true;
    break;
  }
  EXPECT_TRUE(entered);
}

TEST_F(Steer, HoldingAWhileSteeringDrags) {
  startPad();
  pad("button a 1");
  ASSERT_TRUE(waitForPosted(kLeftDown)) << tool_->errors();
  pad("axis lefty 0.7");
  ASSERT_TRUE(waitForCursor([](double, double y) { return y > 300; }));
  pad("axis lefty 0");
  pad("button a 0");
  ASSERT_TRUE(waitForPosted(kLeftUp));
  std::vector<int> types;
  for (const json& e : posted()) {
    if (types.empty() || types.back() != e["type"].get<int>()) types.push_back(e["type"]);
  }
  EXPECT_EQ(types, (std::vector<int>{kLeftDown, kLeftDragged, kLeftUp}));
}

TEST_F(Steer, AControllerMappingsFileThatCannotBeReadIsNamedAndSteeringGoesOn) {
  // (SDL prefers its own mapping of a virtual controller to the file's, so the file's mappings
  // themselves cannot be shown with one.)
  startPad({{"SDL_GAMECONTROLLERCONFIG_FILE", dir_ / "no-such-mappings.txt"}});
  pad("button a 1");
  EXPECT_TRUE(waitForPosted(kLeftDown)) << tool_->errors();
  EXPECT_NE(tool_->errors().find("SDL_GAMECONTROLLERCONFIG_FILE " + dir_ / "no-such-mappings.txt"),
            std::string::npos)
      << tool_->errors();
}

TEST_F(Steer, UnpluggingTheControllerReleasesEverythingItHeld) {
  startPad();
  pad("button a 1");
  pad("button dpup 1");
  pad("axis leftx 1");
  ASSERT_TRUE(waitForPosted(kLeftDown)) << tool_->errors();
  ASSERT_TRUE(waitForCursor([](double x, double) { return x > 300; }));
  pad("detach");
  ASSERT_TRUE(waitForPosted(kLeftUp));
  ASSERT_TRUE(waitForPosted(kKeyUp));
  std::this_thread::sleep_for(100ms);
  const json rest = cursor();
  std::this_thread::sleep_for(200ms);
  EXPECT_EQ(cursor(), rest);
  EXPECT_FALSE(tool_->waitExit(0ms)) << "the client waits for the next controller";
}

TEST_F(Steer, ASignalEndsSteeringInOrderAndReleasesEverything) {
  startPad();
  pad("button a 1");
  ASSERT_TRUE(waitForPosted(kLeftDown)) << tool_->errors();
  tool_->signal(SIGTERM);
  EXPECT_EQ(tool_->waitExit(5s), 0) << tool_->errors();
  EXPECT_TRUE(waitForPosted(kLeftUp));
}

// A UDP port that is free now.
int freePort() {
  const int fd = ::socket(AF_INET, SOCK_DGRAM, 0);
  sockaddr_in where{};
  where.sin_family = AF_INET;
  where.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  ::bind(fd, reinterpret_cast<sockaddr*>(&where), sizeof where);
  socklen_t size = sizeof where;
  ::getsockname(fd, reinterpret_cast<sockaddr*>(&where), &size);
  ::close(fd);
  return ntohs(where.sin_port);
}

TEST_F(Steer, AHeadTrackersYawSteersAndDatagramsOfAnotherSizeAreCounted) {
  const int port = freePort();
  startTool({"--input", "udp:" + std::to_string(port), "--show"});
  const int fd = ::socket(AF_INET, SOCK_DGRAM, 0);
  sockaddr_in to{};
  to.sin_family = AF_INET;
  to.sin_port = htons(static_cast<std::uint16_t>(port));
  to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  const auto send = [&](const void* bytes, std::size_t size) {
    ::sendto(fd, bytes, size, 0, reinterpret_cast<const sockaddr*>(&to), sizeof to);
  };
  const double pose[6] = {0, 0, 0, 10.0, 0, 0};  // x, y, z, yaw, pitch, roll; little-endian here
  const char wrong[47] = {};
  // Poses until the pointer has moved (the tool listens by then), then one datagram of 47 bytes.
  bool moved = false, counted = false;
  for (int i = 0; i < 500 && !counted; ++i) {
    send(pose, sizeof pose);
    std::this_thread::sleep_for(10ms);
    if (!moved) {
      const json at = cursor();
      moved = at[0].get<double>() > 300;
      EXPECT_EQ(at[1], 130.0);
      if (moved) send(wrong, sizeof wrong);
    } else {
      counted = tool_->output().find("ignored 1") != std::string::npos;
    }
  }
  ::close(fd);
  EXPECT_TRUE(moved) << tool_->errors();
  EXPECT_TRUE(counted) << tool_->output();
}

TEST(SteerCheck, AWrongProfileEndsTheCheckWithStatusTwoNamingItsLine) {
  PrivateDir config;
  writeFile(config / "config.json",
            "{\"steer\": {\"profiles\": {\n  \"fine\": {\"exponent\": 2},\n  \"fast\": "
            "{\"maxSpeed\": -5}}}}\n");
  const client::ToolResult result =
      client::runTool({"steer", "--check", "--config", config / "config.json"}, {});
  EXPECT_EQ(result.status, 2);
  EXPECT_NE(result.errors.find("config.json:3: profile \"fast\""), std::string::npos)
      << result.errors;
}

}  // namespace
}  // namespace virelo::test
