#include "tests/atspi/accessible_desktop.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>
#include <xcb/xcb.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <sstream>

#include "tests/support/service_user.h"

namespace virelo::test {
namespace {

constexpr int kStartTimeoutMs = 20000;
constexpr const char* kLauncher = "/usr/libexec/at-spi-bus-launcher";

// One line from the descriptor, without its newline; empty after the timeout or end of file.
std::string readLine(int fd) {
  std::string line;
  pollfd readable{fd, POLLIN, 0};
  char c = 0;
  while (::poll(&readable, 1, kStartTimeoutMs) == 1 && ::read(fd, &c, 1) == 1 && c != '\n') {
    line += c;
  }
  return c == '\n' ? line : std::string();
}

void stopGroup(pid_t pid) {
  if (pid <= 0) return;
  ::kill(-pid, SIGTERM);
  ::waitpid(pid, nullptr, 0);
}

// Whether the root window has the property (with `erase`: removes it and says false).
bool rootProperty(const std::string& display, const char* name, bool erase = false) {
  xcb_connection_t* c = xcb_connect(display.c_str(), nullptr);
  bool found = false;
  if (xcb_connection_has_error(c) == 0) {
    auto* atom = xcb_intern_atom_reply(
        c, xcb_intern_atom(c, 1, static_cast<std::uint16_t>(std::strlen(name)), name), nullptr);
    if (atom != nullptr && atom->atom != XCB_ATOM_NONE) {
      xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(c)).data->root;
      if (erase) {
        xcb_request_check(c, xcb_delete_property_checked(c, root, atom->atom));
      } else {
        auto* property = xcb_get_property_reply(
            c, xcb_get_property(c, 0, root, atom->atom, XCB_GET_PROPERTY_TYPE_ANY, 0, 1), nullptr);
        found = property != nullptr && xcb_get_property_value_length(property) > 0;
        std::free(property);
      }
    }
    std::free(atom);
  }
  xcb_disconnect(c);
  return found;
}

// A window manager announces itself with the property _NET_SUPPORTING_WM_CHECK of the root.
bool windowManagerRuns(const std::string& display) {
  return rootProperty(display, "_NET_SUPPORTING_WM_CHECK");
}

// The accessibility bus's launcher names the bus in the property AT_SPI_BUS of the root once the
// bus runs.
constexpr const char* kBusProperty = "AT_SPI_BUS";

bool runs(const std::string& command) {
  return std::system(command.c_str()) == 0;
}

}  // namespace

// Forks and runs the program with the given descriptors as standard input and output (-1:
// /dev/null), in a process group of its own; its standard error goes to /dev/null.
pid_t AccessibleDesktop::spawn(const std::vector<std::string>& args, int in, int out) {
  std::vector<const char*> argv;
  for (const auto& arg : args) argv.push_back(arg.c_str());
  argv.push_back(nullptr);
  pid_t pid = ::fork();
  if (pid != 0) return pid;
  int null = ::open("/dev/null", O_RDWR);
  ::dup2(in >= 0 ? in : null, STDIN_FILENO);
  ::dup2(out >= 0 ? out : null, STDOUT_FILENO);
  ::dup2(null, STDERR_FILENO);
  ::setpgid(0, 0);
  if (asServiceUser_ && !ServiceUser::becomeInChild(ServiceUser::uid(), ServiceUser::gid())) {
    ::_exit(126);
  }
  ::execv(argv[0], const_cast<char* const*>(argv.data()));
  ::_exit(127);
}

AccessibleDesktop::AccessibleDesktop(bool asServiceUser) : asServiceUser_(asServiceUser) {
  // Never reset when its last client leaves, as a session's X server never is: a reset drops the
  // root window's properties, among them the accessibility bus's address (AT_SPI_BUS), which the
  // launcher sets and leaves (Qt 5 finds the bus only there).
  XvfbServer::Options options{{}, {"-noreset", "-screen", "0", "1024x768x24"}};
  if (asServiceUser_) {
    home_ = std::make_unique<PrivateDir>();
    ::setenv("HOME", home_->path().c_str(), 1);
    ::setenv("XDG_RUNTIME_DIR", home_->path().c_str(), 1);
    ServiceUser::asRoot([&] { xvfb_ = std::make_unique<XvfbServer>(options); });
  } else {
    xvfb_ = std::make_unique<XvfbServer>(options);
  }
  if (!xvfb_->available()) {
    unavailable_ = "Xvfb does not start";
  } else if (::access(kLauncher, X_OK) != 0) {
    unavailable_ = "at-spi2-core (at-spi-bus-launcher) is not installed";
  } else if (!runs(std::string(kPython) + " -c 'import gi; gi.require_version(\"Gtk\", \"3.0\"); "
                                          "from gi.repository import Gtk' 2>/dev/null")) {
    unavailable_ = "python3-gi with gir1.2-gtk-3.0 is not installed";
  } else if (!startBuses()) {
    unavailable_ = "the session bus or the accessibility bus does not start";
  }
}

bool AccessibleDesktop::startBuses() {
  ::setenv("DISPLAY", xvfb_->display().c_str(), 1);
  ::unsetenv("AT_SPI_BUS_ADDRESS");
  ::unsetenv("NO_AT_BRIDGE");
  // A session bus admits only the user it runs as; one run as the service user admits root too,
  // as the accessibility bus always does, so that this process may use it while it acts as root.
  std::string config = "--session";
  if (asServiceUser_) {
    writeFile(*home_ / "session.conf",
              "<!DOCTYPE busconfig PUBLIC \"-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN\"\n"
              " \"http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd\">\n"
              "<busconfig>\n"
              "  <include>/usr/share/dbus-1/session.conf</include>\n"
              "  <policy context=\"default\"><allow user=\"root\"/></policy>\n"
              "</busconfig>\n");
    config = "--config-file=" + (*home_ / "session.conf");
  }
  int out[2];
  if (::pipe2(out, O_CLOEXEC) != 0) return false;
  sessionBus_ =
      spawn({"/usr/bin/dbus-daemon", config, "--nofork", "--print-address=1"}, -1, out[1]);
  ::close(out[1]);
  std::string address = readLine(out[0]);
  ::close(out[0]);
  if (address.empty()) return false;
  ::setenv("DBUS_SESSION_BUS_ADDRESS", address.c_str(), 1);
  sessionBusAddress_ = address;
  return startAccessibilityBus();
}

bool AccessibleDesktop::startAccessibilityBus() {
  // Started at once, as a desktop session's autostart starts it, rather than when first asked
  // for: Qt 5 applications join the bus only if it runs when they start (they find it through
  // the property AT_SPI_BUS of the root window, which the launcher sets once the bus runs).
  // The applications started next must find it: the launcher's start takes a moment.
  rootProperty(display(), kBusProperty, true);
  launcher_ = spawn({kLauncher, "--launch-immediately"}, -1, -1);
  for (int i = 0; i < 100; ++i) {
    // Nothing is sent to the launcher's name before it holds it: the session bus would start
    // another launcher for it (its activation file), which, not started at once, sets no
    // AT_SPI_BUS, while this one, finding the name taken, ends.
    if (busNameOwned() && setEnabled(true) && rootProperty(display(), kBusProperty)) return true;
    ::usleep(100'000);
  }
  return false;
}

bool AccessibleDesktop::busNameOwned() {
  int out[2];
  if (::pipe2(out, O_CLOEXEC) != 0) return false;
  pid_t pid =
      spawn({"/usr/bin/dbus-send", "--session", "--print-reply", "--dest=org.freedesktop.DBus",
             "/org/freedesktop/DBus", "org.freedesktop.DBus.NameHasOwner", "string:org.a11y.Bus"},
            -1, out[1]);
  ::close(out[1]);
  std::string reply;
  for (std::string line = readLine(out[0]); !line.empty(); line = readLine(out[0])) reply += line;
  ::close(out[0]);
  if (pid > 0) ::waitpid(pid, nullptr, 0);
  return reply.find("boolean true") != std::string::npos;
}

bool AccessibleDesktop::restartAccessibilityBus() {
  // The launcher's bus and the registry it activates are in the launcher's process group.
  stopGroup(launcher_);
  return startAccessibilityBus();
}

bool AccessibleDesktop::setEnabled(bool on) {
  std::string value = on ? "true" : "false";
  pid_t pid = spawn({"/usr/bin/dbus-send", "--session", "--print-reply", "--dest=org.a11y.Bus",
                     "/org/a11y/bus", "org.freedesktop.DBus.Properties.Set",
                     "string:org.a11y.Status", "string:IsEnabled", "variant:boolean:" + value},
                    -1, -1);
  int status = 0;
  return pid > 0 && ::waitpid(pid, &status, 0) == pid && WIFEXITED(status) &&
         WEXITSTATUS(status) == 0;
}

const AccessibleDesktop::App& AccessibleDesktop::startApp(int x, int y, int scale, int buttons) {
  auto app = std::make_unique<App>();
  int in[2];
  int out[2];
  if (::pipe2(in, O_CLOEXEC) == 0 && ::pipe2(out, O_CLOEXEC) == 0) {
    app->pid = spawn({kPython, VIRELO_ATSPI_APP, std::to_string(x), std::to_string(y),
                      std::to_string(scale), std::to_string(buttons)},
                     in[0], out[1]);
    ::close(in[0]);
    ::close(out[1]);
    app->input = in[1];
    app->output = out[0];
    std::istringstream ready(readLine(out[0]));
    std::string word;
    int pid = 0;
    double bx = 0, by = 0, bw = 0, bh = 0;
    if (ready >> word >> pid >> bx >> by >> bw >> bh && word == "ready") {
      app->press = makeRect(bx, by, bw, bh);
    } else {
      stopGroup(app->pid);
      app->pid = -1;
    }
  }
  apps_.push_back(std::move(app));
  return *apps_.back();
}

std::string AccessibleDesktop::ask(const App& app, const std::string& line) {
  std::string sent = line + "\n";
  if (::write(app.input, sent.data(), sent.size()) != static_cast<ssize_t>(sent.size())) return "";
  return readLine(app.output);
}

bool AccessibleDesktop::startScreenReader() {
  const auto script = std::filesystem::path(VIRELO_ATSPI_APP).parent_path() / "screen_reader.py";
  int out[2];
  if (screenReader_ > 0 || ::pipe2(out, O_CLOEXEC) != 0) return false;
  screenReader_ = spawn({kPython, script.string()}, -1, out[1]);
  ::close(out[1]);
  bool listening = readLine(out[0]) == "listening";
  ::close(out[0]);
  return listening;
}

bool AccessibleDesktop::startWindowManager() {
  constexpr const char* kOpenbox = "/usr/bin/openbox";
  if (::access(kOpenbox, X_OK) != 0) return false;
  windowManager_ = spawn({kOpenbox, "--sm-disable"}, -1, -1);
  for (int i = 0; i < 100; ++i) {
    if (windowManagerRuns(display())) return true;
    ::usleep(100'000);
  }
  return false;
}

ServiceOptions AccessibleDesktop::serviceOptions() const {
  ServiceOptions options;
  options.backend = "cgevent";
  options.trace = false;
  options.control = false;
  options.environment = {
      {"VL_HOST", "linux"}, {"DISPLAY", display()}, {"DBUS_SESSION_BUS_ADDRESS", sessionBus()}};
  // The desktop's own with `asServiceUser`, which it set for this process.
  for (const char* name : {"HOME", "XDG_RUNTIME_DIR"}) {
    if (const char* value = std::getenv(name)) options.environment[name] = value;
  }
  return options;
}

void AccessibleDesktop::reset() {
  for (auto& app : apps_) {
    if (app->input >= 0) ::close(app->input);
    if (app->output >= 0) ::close(app->output);
    stopGroup(app->pid);
  }
  apps_.clear();
  stopGroup(windowManager_);
  stopGroup(screenReader_);
  windowManager_ = screenReader_ = -1;
}

AccessibleDesktop::~AccessibleDesktop() {
  reset();
  stopGroup(launcher_);
  stopGroup(sessionBus_);
  if (asServiceUser_) {
    ServiceUser::asRoot([&] { xvfb_->stop(); });
  } else {
    xvfb_->stop();
  }
}

}  // namespace virelo::test
