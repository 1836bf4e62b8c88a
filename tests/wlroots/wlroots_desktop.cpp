#include "tests/wlroots/wlroots_desktop.h"

#include <algorithm>

namespace virelo::test {
namespace {

bool gtkInstalled() {
  static const bool installed = [] {
    ChildOptions probe;
    probe.argv = {GtkReceiver::interpreter(), "-c",
                  "import gi; gi.require_version('Gtk', '3.0'); gi.require_version('Gdk', '3.0')"};
    return programExists(probe.argv[0]) && ChildProcess(probe).wait() == 0;
  }();
  return installed;
}

}  // namespace

void WlrootsDesktop::start(bool accessible) {
  if (auto reason = SwayCompositor::missing(); !reason.empty()) GTEST_SKIP() << reason;
  if (auto reason = AccessibilityBus::missing(); accessible && !reason.empty()) {
    GTEST_SKIP() << reason;
  }
  if (!gtkInstalled()) {
    GTEST_SKIP() << "GTK 3 for Python is not installed (Debian python3-gi, gir1.2-gtk-3.0)";
  }
  sway_.emplace();
  auto environment = sway_->environment();
  if (accessible) {
    bus_.emplace();
    environment.merge(bus_->environment());
  }
  ServiceOptions options;
  options.backend = "cgevent";
  options.trace = false;
  options.control = false;
  options.environment = environment;
  options.environment["VL_HOST"] = "wlroots";
  service_ = std::make_unique<ServiceProcess>(options);
  service_->awaitEventualReady();
  // Started after the service, whose virtual keyboard gives the seat the keyboard that the
  // receiver waits to have the focus of.
  ChildOptions app;
  app.environment = environment;
  app.environment["GDK_BACKEND"] = "wayland";
  app.environment["NO_AT_BRIDGE"] = accessible ? "0" : "1";
  app.asServiceUser = true;
  app_.emplace(app, 100, 100);
  auto surface = sway_->windowSurface("Virelo receiver");
  ASSERT_TRUE(surface) << "sway did not place the receiver's window";
  window_ = *surface;
  client_ = std::make_unique<client::Client>(service_->socketPath());
  client_->hello(service_->token());
}

ScreenPoint WlrootsDesktop::centre(const std::string& widget) const {
  // A Wayland application knows only places in its own window.
  const ScreenPoint inside = app_->centre(widget);
  return {static_cast<int>(window_.origin.x) + inside.x,
          static_cast<int>(window_.origin.y) + inside.y};
}

void WlrootsDesktop::moveBy(ScreenPoint from, ScreenPoint to) {
  while (from.x != to.x || from.y != to.y) {
    const int dx = std::clamp(to.x - from.x, -127, 127);
    const int dy = std::clamp(to.y - from.y, -127, 127);
    client_->move(dx, dy);
    from = {from.x + dx, from.y + dy};
  }
}

}  // namespace virelo::test
