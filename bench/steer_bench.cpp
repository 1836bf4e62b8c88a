// The figures of "virelo steer" (tools/bench --only steer): the real tool with a virtual
// controller (--virtual-pad) against the real service on the simulated host ("cgevent"), whose
// posted events the host's trace records with their times. Each figure stands beside a baseline
// of the same run:
//   - stick moved -> first pointer movement, p99, against a bare "move" command's own way to the
//     host;
//   - the interval between pointer movements while steering fast (motion) and slowly (snapped
//     moves), p99, against the client library's own MotionStream;
//   - the speed delivered against the profile's speed for the deflection;
//   - slow approaches (50-300 points per second; straight, 20 and 45 degrees) captured by a button
//     on the move that enters its band, against the number of approaches;
//   - slow steering past a button (inside its pull distance, outside its band) that is never pulled
//     onto it while it moves, against the number of runs.
// Prints one Markdown table on standard output.
#include <unistd.h>

#include <cmath>
#include <fstream>
#include <iostream>
#include <thread>

#include "bench/latency_stats.h"
#include "bench/report_text.h"
#include "tests/support/host_control.h"
#include "tests/support/host_trace.h"
#include "tests/support/private_dir.h"
#include "tests/support/service_process.h"
#include "tests/support/service_user.h"
#include "tests/support/test_client.h"
#include "tests/tools/tool_process.h"
#include "tools/steer/stick_response.h"
#include "virelo/client/client.h"
#include "virelo/client/motion.h"

namespace virelo::bench {
namespace {

using namespace std::chrono_literals;
using nlohmann::json;
using steer::Vec2;
using test::HostTrace;
using test::ServiceProcess;

constexpr int kMouseMoved = 5;
// The close button: 14 x 14 at (410, 405), centre (417, 412), in a window at (400, 400).
constexpr double kButtonX = 410, kButtonY = 405, kButtonSize = 14;
constexpr double kCentreX = 417, kCentreY = 412;
constexpr double kBand = 24;

json world() {
  json elements = {
      {{"id", "win"},
       {"role", "AXWindow"},
       {"frame", {400, 400, 800, 600}},
       {"parent", "app:4242"},
       {"closeButton", "close"}},
      {{"id", "close"}, {"role", "AXButton"}, {"frame", {410, 405, 14, 14}}, {"parent", "win"}},
  };
  return {{"trusted", true},
          {"cursor", {100, 100}},
          {"displays", {{0, 0, 3840, 2160}}},
          {"windows", {{{"pid", 4242}, {"layer", 0}, {"bounds", {400, 400, 800, 600}}}}},
          {"apps",
           {{"4242",
             {{"bundleIdentifier", "org.example.editor"},
              {"windows", {"win"}},
              {"elements", elements}}}}}};
}

struct Moved {
  std::uint64_t at;  // the event's time, CLOCK_MONOTONIC nanoseconds
  double x, y;
};

// A service on the simulated host and "virelo steer" with a virtual controller plugged in.
struct SteerRig {
  std::unique_ptr<ServiceProcess> service;
  test::PrivateDir dir;
  std::string pad = dir / "pad";
  std::unique_ptr<client::ToolProcess> tool;

  explicit SteerRig(bool withTool = true) {
    test::ServiceOptions options;
    options.backend = "cgevent";
    options.world = world();
    service = std::make_unique<ServiceProcess>(options);
    service->awaitReady();
    if (!withTool) return;
    test::writeFile(pad, "attach\n");
    tool = std::make_unique<client::ToolProcess>(
        std::vector<std::string>{"steer", "--virtual-pad", pad},
        std::map<std::string, std::string>{{"VIRELO_SOCKET", service->socketPath()},
                                           {"VIRELO_TOKEN", service->token()}});
    std::this_thread::sleep_for(300ms);  // plugged in and connected
  }
  void write(const std::string& line) { std::ofstream(pad, std::ios::app) << line << "\n"; }
  void stick(Vec2 v) { write("axis leftx " + format(v.x, 4) + "\naxis lefty " + format(v.y, 4)); }
  void place(double x, double y) {
    test::hostRequest(service->controlPath(), {{"request", "cursor"}, {"x", x}, {"y", y}});
  }
  std::vector<Moved> moves(std::uint64_t after = 0) const {
    std::vector<Moved> out;
    for (const json& e : HostTrace(service->tracePath()).events()) {
      if (e.value("event", "") != "post" || e.value("type", 0) != kMouseMoved) continue;
      const std::uint64_t t = e["timestamp"];
      if (t > after) out.push_back({t, e["location"][0], e["location"][1]});
    }
    return out;
  }
  // The first movement after `after`, waiting for it up to a second.
  std::optional<Moved> firstMove(std::uint64_t after) const {
    for (const auto deadline = std::chrono::steady_clock::now() + 1s;
         std::chrono::steady_clock::now() < deadline; std::this_thread::sleep_for(2ms)) {
      const auto found = moves(after);
      if (!found.empty()) return found.front();
    }
    return std::nullopt;
  }
};

// The deflection that steers at `speed` points per second with the default profile.
double deflectionFor(double speed) {
  const steer::Response r;
  return r.deadZone + std::pow(speed / r.maxSpeed, 1 / r.exponent) * (r.saturation - r.deadZone);
}

struct Row {
  std::string figure;
  double value, baseline;
};

std::vector<Row> latency(int runs) {
  SteerRig rig;
  std::vector<double> steered, bare;
  for (int i = 0; i < runs; ++i) {
    rig.place(100, 100 + i % 5);
    std::this_thread::sleep_for(50ms);
    const std::uint64_t before = client::monotonicNow();
    rig.stick({0.8, 0});
    if (auto first = rig.firstMove(before)) steered.push_back((first->at - before) / 1e6);
    rig.stick({0, 0});
    std::this_thread::sleep_for(60ms);
  }
  rig.tool.reset();
  test::TestClient direct(rig.service->socketPath());
  direct.hello(rig.service->token());
  for (int i = 0; i < runs; ++i) {
    const std::uint64_t before = client::monotonicNow();
    direct.command({{"cmd", "move"}, {"dx", 1}, {"dy", 0}});
    if (auto first = rig.firstMove(before)) bare.push_back((first->at - before) / 1e6);
    std::this_thread::sleep_for(20ms);
  }
  return {{"Stick moved -> first pointer movement (ms, p99) vs a bare move",
           latencyStats(steered).p99, latencyStats(bare).p99}};
}

std::vector<double> intervals(const std::vector<Moved>& moved) {
  std::vector<double> out;
  for (std::size_t i = 1; i < moved.size(); ++i)
    out.push_back((moved[i].at - moved[i - 1].at) / 1e6);
  return out;
}

// The speed to the right of the movements, from the fifth to the fifth last (the steady part).
double deliveredSpeed(const std::vector<Moved>& moved) {
  if (moved.size() <= 10) return 0;
  const Moved& a = moved[4];
  const Moved& b = moved[moved.size() - 5];
  return (b.x - a.x) / ((b.at - a.at) / 1e9);
}

// Steers at `speed` to the right for `seconds`; the movements and the speed they delivered.
std::pair<std::vector<Moved>, double> steerFor(SteerRig& rig, double speed, double seconds) {
  rig.place(100, 100);
  std::this_thread::sleep_for(50ms);
  const std::uint64_t before = client::monotonicNow();
  rig.stick({deflectionFor(speed), 0});
  std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
  rig.stick({0, 0});
  std::this_thread::sleep_for(100ms);
  std::vector<Moved> moved = rig.moves(before);
  return {moved, deliveredSpeed(moved)};
}

std::vector<Row> cadenceAndSpeed(double seconds) {
  SteerRig rig;
  auto [fast, fastSpeed] = steerFor(rig, 800, seconds);
  // 250 points per second: about two points a tick, so that every tick moves the pointer.
  auto [slow, slowSpeed] = steerFor(rig, 250, seconds);
  rig.tool.reset();
  // The client library's own stream of motion samples, at the same 800 points per second.
  client::Client direct(rig.service->socketPath());
  direct.hello(rig.service->token());
  const std::uint64_t before = client::monotonicNow();
  {
    client::MotionStream stream(direct);
    stream.start(8, 0);
    std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
    stream.stop();
  }
  const std::vector<Moved> streamed = rig.moves(before);
  const auto baseline = latencyStats(intervals(streamed)).p99;
  return {{"Interval between movements steering fast (ms, p99) vs MotionStream",
           latencyStats(intervals(fast)).p99, baseline},
          {"Interval between movements steering slowly (ms, p99) vs MotionStream",
           latencyStats(intervals(slow)).p99, baseline},
          {"Speed delivered steering fast (points/s) vs the profile's", fastSpeed, 800},
          {"Speed delivered by MotionStream at 800 points/s vs the same steered",
           deliveredSpeed(streamed), fastSpeed},
          {"Speed delivered steering slowly (points/s) vs the profile's", slowSpeed, 250}};
}

// Whether a slow approach at `speed` and `degrees` off the horizontal, from 80 points right of the
// button's band, is captured on the move that enters the band.
bool capturedOnEntry(double speed, double degrees) {
  SteerRig rig;
  const double angle = degrees * M_PI / 180;
  const double startX = kCentreX + 80 + kBand, startY = kCentreY - std::sin(angle) * 80;
  rig.place(startX, startY);
  std::this_thread::sleep_for(50ms);
  const std::uint64_t before = client::monotonicNow();
  const double d = deflectionFor(speed);
  rig.stick({-d * std::cos(angle), d * std::sin(angle)});
  const auto deadline = std::chrono::steady_clock::now() + 3s;
  std::optional<Moved> entered;
  while (!entered && std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(20ms);
    for (const Moved& m : rig.moves(before)) {
      // Inside the band, its edge not included.
      const bool inBand = m.x > kButtonX - kBand && m.x < kButtonX + kButtonSize + kBand &&
                          m.y > kButtonY - kBand && m.y < kButtonY + kButtonSize + kBand;
      if (inBand) {
        entered = m;
        break;
      }
    }
  }
  rig.stick({0, 0});
  if (entered && (entered->x != kCentreX || entered->y != kCentreY)) {
    progress("entered the band at (" + format(entered->x, 0) + ", " + format(entered->y, 0) +
             ") without a capture");
  }
  return entered && entered->x == kCentreX && entered->y == kCentreY;
}

// Whether steering slowly past the button, 30 points below its edge, never jumps onto it.
bool neverPulledWhileMoving() {
  SteerRig rig;
  rig.place(kCentreX + 150, kButtonY + kButtonSize + 30);
  std::this_thread::sleep_for(50ms);
  const std::uint64_t before = client::monotonicNow();
  rig.stick({-deflectionFor(100), 0});
  std::this_thread::sleep_for(2500ms);
  rig.stick({0, 0});
  for (const Moved& m : rig.moves(before)) {
    if (m.x == kCentreX && m.y == kCentreY) return false;
  }
  return true;
}

std::vector<Row> snapping(bool quick) {
  int approaches = 0, captured = 0;
  for (double speed : {50.0, 100.0, 200.0, 300.0}) {
    for (double degrees : {0.0, 20.0, 45.0}) {
      if (quick && speed == 100) continue;
      progress("approach at " + format(speed, 0) + " points/s, " + format(degrees, 0) + " degrees");
      ++approaches;
      captured += capturedOnEntry(speed, degrees);
    }
  }
  const int runs = quick ? 2 : 5;
  int unpulled = 0;
  for (int i = 0; i < runs; ++i) unpulled += neverPulledWhileMoving();
  return {{"Slow approaches captured on entering the band vs approaches", double(captured),
           double(approaches)},
          {"Runs past a button never pulled while moving vs runs", double(unpulled), double(runs)}};
}

}  // namespace
}  // namespace virelo::bench

int main(int argc, char** argv) {
  using namespace virelo::bench;
  const bool quick = argc > 1 && std::string(argv[1]) == "--quick";
  virelo::test::ServiceUser::adopt();
  std::vector<Row> rows;
  progress("latency");
  for (Row& r : latency(quick ? 20 : 100)) rows.push_back(r);
  progress("cadence and speed");
  for (Row& r : cadenceAndSpeed(quick ? 1.0 : 2.0)) rows.push_back(r);
  for (Row& r : snapping(quick)) rows.push_back(r);
  std::cout << "| Figure | Value | Baseline | x baseline |\n|---|---|---|---|\n";
  for (const Row& r : rows) {
    std::cout << "| " << r.figure << " | " << format(r.value, 2) << " | " << format(r.baseline, 2)
              << " | " << format(r.baseline == 0 ? 0 : r.value / r.baseline, 2) << " |\n";
  }
  return 0;
}
