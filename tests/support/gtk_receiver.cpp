#include "tests/support/gtk_receiver.h"

#include <filesystem>
#include <stdexcept>
#include <utility>

#include "tests/support/service_user.h"

#ifndef VIRELO_GTK_RECEIVER_PATH
#error "VIRELO_GTK_RECEIVER_PATH must name tests/support/gtk_receiver.py"
#endif

namespace virelo::test {
namespace {

using Clock = std::chrono::steady_clock;

ChildOptions receiverOptions(const std::string& display) {
  ChildOptions options;
  options.environment = {{"DISPLAY", display}, {"GDK_BACKEND", "x11"}, {"NO_AT_BRIDGE", "1"}};
  return options;
}

// The options with the script's command line, its window at (x, y), and its output read.
ChildOptions withScript(ChildOptions options, int x, int y) {
  options.argv = {GtkReceiver::interpreter(), GtkReceiver::script(), "--at", std::to_string(x),
                  std::to_string(y)};
  options.readOutput = true;
  return options;
}

ChildOptions reading(ChildOptions options) {
  options.readOutput = true;
  return options;
}

ChildOptions launchedOptions(const std::vector<std::string>& launcher,
                             const std::map<std::string, std::string>& environment) {
  ChildOptions options;
  options.argv = launcher;
  options.argv.insert(options.argv.end(), {GtkReceiver::interpreter(), GtkReceiver::script()});
  options.environment = environment;
  options.readOutput = true;
  return options;
}

}  // namespace

std::string GtkReceiver::script() {
  return VIRELO_GTK_RECEIVER_PATH;
}

GtkReceiver::GtkReceiver(const std::string& display, int x, int y)
    : GtkReceiver(receiverOptions(display), x, y) {}

GtkReceiver::GtkReceiver(ChildOptions options, int x, int y)
    : process_(withScript(std::move(options), x, y)) {
  auto ready = next([](const auto& e) { return e.value("event", "") == "ready"; }, 20s);
  if (!ready) throw std::runtime_error("the GTK receiver did not become ready");
  places_ = *ready;
}

GtkReceiver::GtkReceiver(ChildOptions options) : process_(reading(std::move(options))) {
  auto ready = next([](const auto& e) { return e.value("event", "") == "ready"; }, 20s);
  if (!ready) throw std::runtime_error("the GTK receiver did not become ready");
  places_ = *ready;
}

GtkReceiver::GtkReceiver(const std::vector<std::string>& launcher,
                         const std::map<std::string, std::string>& environment)
    : process_(launchedOptions(launcher, environment)) {
  auto ready = next([](const auto& e) { return e.value("event", "") == "ready"; }, 20s);
  if (!ready) throw std::runtime_error("the GTK receiver did not become ready");
  places_ = *ready;
}

ScreenPoint GtkReceiver::centre(const std::string& widget) const {
  const auto& place = places_.at(widget);
  return {place["x"].get<int>() + place["width"].get<int>() / 2,
          place["y"].get<int>() + place["height"].get<int>() / 2};
}

std::optional<nlohmann::json> GtkReceiver::read(std::chrono::milliseconds timeout) {
  auto line = process_.readLine(timeout);
  if (!line) return std::nullopt;
  return nlohmann::json::parse(*line, nullptr, false);
}

std::optional<nlohmann::json> GtkReceiver::next(
    const std::function<bool(const nlohmann::json&)>& match, std::chrono::milliseconds timeout) {
  const auto deadline = Clock::now() + timeout;
  while (Clock::now() < deadline) {
    auto event =
        read(std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()));
    if (event && event->is_object() && match(*event)) return event;
  }
  return std::nullopt;
}

std::vector<nlohmann::json> GtkReceiver::drain(std::chrono::milliseconds quiet) {
  std::vector<nlohmann::json> events;
  while (auto event = read(quiet)) {
    if (event->is_object()) events.push_back(std::move(*event));
  }
  return events;
}

VirtualDesktop::VirtualDesktop(int x, int y) : server(startServer()) {
  if (server->available()) receiver.emplace(server->display(), x, y);
}

std::unique_ptr<XvfbServer> VirtualDesktop::startServer(std::optional<int> number) {
  std::unique_ptr<XvfbServer> server;
  auto start = [&] {
    server = std::make_unique<XvfbServer>(
        XvfbServer::Options{number, {"-ac", "-noreset", "-screen", "0", "1024x768x24"}});
  };
  if (ServiceUser::privileged()) {
    ServiceUser::asRoot(start);
  } else {
    start();
  }
  return server;
}

int VirtualDesktop::freeDisplayNumber() {
  namespace fs = std::filesystem;
  for (int n = 90;; ++n) {
    const std::string s = std::to_string(n);
    if (!fs::exists("/tmp/.X" + s + "-lock") && !fs::exists("/tmp/.X11-unix/X" + s)) return n;
  }
}

const std::string& VirtualDesktop::missing() {
  static const std::string reason = []() -> std::string {
    if (!XvfbServer::installed()) return "Xvfb is not installed (Debian xvfb)";
    ChildOptions probe;
    probe.argv = {GtkReceiver::interpreter(), "-c",
                  "import gi; gi.require_version('Gtk', '3.0'); gi.require_version('Gdk', '3.0')"};
    if (!programExists(probe.argv[0]) || ChildProcess(probe).wait() != 0) {
      return "GTK 3 for Python is not installed (Debian python3-gi, gir1.2-gtk-3.0)";
    }
    return "";
  }();
  return reason;
}

}  // namespace virelo::test
