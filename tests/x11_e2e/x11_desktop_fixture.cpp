#include "tests/x11_e2e/x11_desktop_fixture.h"

#include <algorithm>
#include <functional>
#include <thread>

namespace virelo::test {
namespace {

using Clock = std::chrono::steady_clock;
// The receiver's window, away from the pointer's start in the screen's centre.
constexpr int kWindowX = 100;
constexpr int kWindowY = 100;

}  // namespace

void X11Desktop::SetUp() {
  if (!VirtualDesktop::missing().empty()) GTEST_SKIP() << VirtualDesktop::missing();
}

void X11Desktop::startDesktop() {
  desktop_ = std::make_unique<VirtualDesktop>(kWindowX, kWindowY);
  ASSERT_TRUE(desktop_->server->available()) << "Xvfb did not start";
  probe_ = std::make_unique<XProbe>(desktop_->server->display());
  startService(desktop_->server->display());
  service_->awaitReady();
}

void X11Desktop::startService(const std::string& display) {
  ServiceOptions options;
  options.backend = "cgevent";
  options.trace = false;
  options.control = false;
  options.environment = {{"VL_HOST", "linux"}, {"DISPLAY", display}};
  service_ = std::make_unique<ServiceProcess>(options);
}

std::unique_ptr<client::Client> X11Desktop::connect() {
  auto client = std::make_unique<client::Client>(service_->socketPath());
  client->hello(service_->token());
  return client;
}

void X11Desktop::moveTo(client::Client& client, ScreenPoint target) {
  for (int step = 0; step < 32; ++step) {
    PointerState from = probe_->pointer();
    const int dx = std::clamp(target.x - from.x, -127, 127);
    const int dy = std::clamp(target.y - from.y, -127, 127);
    if (dx == 0 && dy == 0) return;
    client.move(dx, dy);
    // The move reaches the server over the service's own connection: wait until it shows.
    const auto deadline = Clock::now() + 1s;
    while (Clock::now() < deadline) {
      PointerState now = probe_->pointer();
      if (now.x != from.x || now.y != from.y) break;
      std::this_thread::sleep_for(2ms);
    }
  }
  FAIL() << "the pointer did not reach (" << target.x << ", " << target.y << ")";
}

namespace {

// The service's requests reach the server over its own connection, so what the probe sees can lag
// behind the reply to a command a little.
bool within2s(const std::function<bool()>& condition) {
  const auto deadline = Clock::now() + 2s;
  for (;;) {
    if (condition()) return true;
    if (Clock::now() > deadline) return false;
    std::this_thread::sleep_for(5ms);
  }
}

}  // namespace

bool X11Desktop::serverHoldsNothing() {
  return within2s([&] { return probe_->heldKeys().empty() && probe_->pointer().buttons == 0; });
}

bool X11Desktop::serverHoldsSomething() {
  return within2s([&] { return !probe_->heldKeys().empty() && probe_->pointer().buttons != 0; });
}

}  // namespace virelo::test
