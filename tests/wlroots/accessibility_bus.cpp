#include "tests/wlroots/accessibility_bus.h"

#include <stdexcept>
#include <thread>

namespace virelo::test {
namespace {

using Clock = std::chrono::steady_clock;

constexpr const char* kLauncher = "/usr/libexec/at-spi-bus-launcher";

}  // namespace

std::string AccessibilityBus::missing() {
  if (!programExists("dbus-daemon") || !programExists("dbus-send")) {
    return "the session bus is not installed (dbus-daemon, dbus-bin)";
  }
  if (!programExists(kLauncher)) return "at-spi2-core (at-spi-bus-launcher) is not installed";
  return "";
}

AccessibilityBus::AccessibilityBus() {
  // The session bus of the service user, which admits root too, so that this process may use it
  // while it acts as root.
  writeFile(config_ / "session.conf",
            "<!DOCTYPE busconfig PUBLIC \"-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN\"\n"
            " \"http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd\">\n"
            "<busconfig>\n"
            "  <include>/usr/share/dbus-1/session.conf</include>\n"
            "  <policy context=\"default\"><allow user=\"root\"/></policy>\n"
            "</busconfig>\n");
  ChildOptions bus;
  bus.argv = {"dbus-daemon", "--config-file=" + (config_ / "session.conf"), "--nofork",
              "--print-address=1"};
  bus.readOutput = true;
  bus.asServiceUser = true;
  sessionBus_ = std::make_unique<ChildProcess>(bus);
  auto address = sessionBus_->readLine(10s);
  if (!address || address->empty()) throw std::runtime_error("the session bus did not start");
  address_ = *address;
  ChildOptions launcher;
  launcher.argv = {kLauncher, "--launch-immediately"};
  launcher.environment = environment();
  // The switch is a setting, kept for the launcher's life only: the service user has no home to
  // keep settings in.
  launcher.environment["GSETTINGS_BACKEND"] = "memory";
  launcher.asServiceUser = true;
  launcher_ = std::make_unique<ChildProcess>(launcher);
  // Nothing is sent to the launcher's name before it holds it: the session bus would start
  // another launcher for it.
  const auto deadline = Clock::now() + 10s;
  for (;;) {
    auto owned = send({"--dest=org.freedesktop.DBus", "/org/freedesktop/DBus",
                       "org.freedesktop.DBus.NameHasOwner", "string:org.a11y.Bus"});
    if (owned && owned->find("boolean true") != std::string::npos) break;
    if (Clock::now() > deadline) throw std::runtime_error("the accessibility bus did not start");
    std::this_thread::sleep_for(50ms);
  }
  if (!send({"--dest=org.a11y.Bus", "/org/a11y/bus", "org.freedesktop.DBus.Properties.Set",
             "string:org.a11y.Status", "string:IsEnabled", "variant:boolean:true"})) {
    throw std::runtime_error("the accessibility bus cannot be switched on");
  }
}

std::map<std::string, std::string> AccessibilityBus::environment() const {
  return {{"DBUS_SESSION_BUS_ADDRESS", address_}};
}

std::optional<std::string> AccessibilityBus::send(const std::vector<std::string>& arguments) const {
  ChildOptions options;
  options.argv = {"dbus-send", "--session", "--print-reply"};
  options.argv.insert(options.argv.end(), arguments.begin(), arguments.end());
  options.environment = environment();
  options.readOutput = true;
  options.asServiceUser = true;
  ChildProcess sender(options);
  std::string reply;
  while (auto line = sender.readLine(5s)) reply += *line + "\n";
  if (sender.wait() != 0) return std::nullopt;
  return reply;
}

}  // namespace virelo::test
