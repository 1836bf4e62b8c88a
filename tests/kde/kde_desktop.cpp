#include "tests/kde/kde_desktop.h"

#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <nlohmann/json.hpp>
#include <stdexcept>

#include "tests/support/child_process.h"
#include "tests/support/private_dir.h"
#include "tests/support/service_user.h"
#include "virelo/client/launcher.h"

#ifndef VIRELO_SERVICE_PATH
#error "VIRELO_SERVICE_PATH must name the service binary"
#endif
#ifndef VIRELO_KDE_TESTS_DIR
#error "VIRELO_KDE_TESTS_DIR must name tests/kde"
#endif

namespace virelo::test {
namespace {

constexpr const char* kSocket = "wayland-vl";
constexpr const char* kTitle = "Virelo receiver";
// The receiver's window (tests/support/gtk_receiver.py), without KWin's decoration.
constexpr int kWindowWidth = 400;
constexpr int kWindowHeight = 300;

// The session, shared by the tests of a suite.
struct Session {
  PrivateDir dir;
  std::unique_ptr<ChildProcess> compositor;
  std::string bus;
  std::unique_ptr<GtkReceiver> receiver;
  ScreenPoint origin;  // of the receiver's window, inside KWin's decoration
  std::string failure;

  std::map<std::string, std::string> environment() const {
    return {{"HOME", dir.path()},
            {"XDG_RUNTIME_DIR", dir / "runtime"},
            {"XDG_DATA_DIRS", dir / "data" + ":/usr/share"},
            {"WAYLAND_DISPLAY", kSocket},
            {"DBUS_SESSION_BUS_ADDRESS", bus}};
  }
};

std::unique_ptr<Session>& session() {
  static std::unique_ptr<Session> shared;
  return shared;
}

// The program's argument vector, run as the service user (the helpers run as root otherwise).
std::vector<std::string> asServiceUser(std::vector<std::string> argv) {
  if (!ServiceUser::privileged()) return argv;
  std::vector<std::string> prefix{"setpriv", "--reuid=" + std::to_string(ServiceUser::uid()),
                                  "--regid=" + std::to_string(ServiceUser::gid()), "--clear-groups",
                                  "--"};
  prefix.insert(prefix.end(), argv.begin(), argv.end());
  return prefix;
}

std::string missing() {
  for (const char* program : {"kwin_wayland", "dbus-daemon", "dbus-send", "setsid", "setpriv"}) {
    if (!programExists(program)) return std::string(program) + " is not installed";
  }
  if (!std::filesystem::exists("/usr/libexec/at-spi-bus-launcher")) {
    return "at-spi2-core (at-spi-bus-launcher) is not installed";
  }
  ChildOptions probe;
  probe.argv = {GtkReceiver::interpreter(), "-c",
                "import gi; gi.require_version('Gtk', '3.0'); from gi.repository import Gtk, Gio"};
  if (!programExists(probe.argv[0]) || ChildProcess(probe).wait() != 0) {
    return "GTK 3 for Python is not installed (Debian python3-gi, gir1.2-gtk-3.0)";
  }
  return "";
}

// What a helper script of this folder prints, run in the session as the service user.
nlohmann::json askSession(const Session& s, const std::string& script, const std::string& arg) {
  ChildOptions options;
  options.argv = asServiceUser(
      {GtkReceiver::interpreter(), std::string(VIRELO_KDE_TESTS_DIR) + "/" + script, arg});
  options.environment = s.environment();
  options.readOutput = true;
  ChildProcess helper(options);
  auto line = helper.readLine(10s);
  return line ? nlohmann::json::parse(*line, nullptr, false) : nlohmann::json();
}

// Where KWin shows the receiver's window, inside its decoration: KWin's frame holds the title bar
// above the window and borders of equal width on the other sides.
std::optional<ScreenPoint> windowOrigin(const Session& s) {
  auto frame = askSession(s, "kde_window.py", kTitle);
  if (!frame.is_object() || !frame.contains("x")) return std::nullopt;
  const int side = (frame["width"].get<int>() - kWindowWidth) / 2;
  return ScreenPoint{frame["x"].get<int>() + side,
                     frame["y"].get<int>() + frame["height"].get<int>() - kWindowHeight - side};
}

// The service's copy that KWin lets use its fake input: a desktop file in the session's data
// directory names it. Written before KWin starts, which reads the desktop files then.
void admitService(const Session& s) {
  const std::string bin = s.dir / "bin";
  std::filesystem::create_directory(bin);
  // Copied as root: the build tree may not be readable by the service user.
  ServiceUser::asRoot([&] {
    client::copyService(VIRELO_SERVICE_PATH, bin);
    if (::chown((bin + "/virelo-service").c_str(), ServiceUser::uid(), ServiceUser::gid()) != 0) {
      throw std::runtime_error("chown");
    }
  });
  std::filesystem::create_directories(s.dir / "data/applications");
  writeFile(s.dir / "data/applications/virelo-service.desktop",
            "[Desktop Entry]\nType=Application\nName=Virelo\nNoDisplay=true\nExec=" + bin +
                "/virelo-service\nX-KDE-Wayland-Interfaces=org_kde_kwin_fake_input\n");
}

void start(Session& s) {
  admitService(s);
  ChildOptions compositor;
  compositor.argv = asServiceUser(
      {"setsid", std::string(VIRELO_KDE_TESTS_DIR) + "/kde_session.sh", s.dir.path()});
  compositor.readOutput = true;
  s.compositor = std::make_unique<ChildProcess>(compositor);
  auto ready = s.compositor->readLine(20s);
  if (!ready || ready->rfind("ready ", 0) != 0) {
    s.failure = "the KWin session did not start";
    return;
  }
  s.bus = ready->substr(6);
  ChildOptions receiver;
  receiver.argv = asServiceUser({GtkReceiver::interpreter(), GtkReceiver::script()});
  receiver.environment = s.environment();
  receiver.environment.insert({{"GDK_BACKEND", "wayland"}, {"NO_AT_BRIDGE", "0"}});
  s.receiver = std::make_unique<GtkReceiver>(receiver);
  auto origin = windowOrigin(s);
  if (!origin) {
    s.failure = "KWin does not tell where the receiver's window is";
    return;
  }
  s.origin = *origin;
}

}  // namespace

void KdeDesktop::SetUpTestSuite() {
  session() = std::make_unique<Session>();
  session()->failure = missing();
  if (!session()->failure.empty()) return;
  try {
    start(*session());
  } catch (const std::exception& e) {
    session()->failure = e.what();
  }
}

void KdeDesktop::TearDownTestSuite() {
  session().reset();
}

void KdeDesktop::SetUp() {
  if (!session() || !session()->failure.empty()) {
    GTEST_SKIP() << (session() ? session()->failure : "no session");
  }
}

void KdeDesktop::TearDown() {
  if (!service_) return;
  service_->closeStdin();
  EXPECT_EQ(service_->waitExit(), 0);
  EXPECT_EQ(service_->standardError(), "");
}

void KdeDesktop::startService(bool admitted, bool awaitReady) {
  Session& s = *session();
  ServiceOptions options;
  options.backend = "cgevent";
  options.trace = false;
  options.control = false;
  options.environment = s.environment();
  options.environment["VL_HOST"] = "kde";
  if (admitted) {
    options.program = s.dir / "bin/virelo-service";
    options.inPlace = true;
  }
  service_ = std::make_unique<ServiceProcess>(options);
  cursor_ = {640, 400};
  // KWin takes a moment to look the program up; on a busy machine the service may say that it is
  // not ready before it is.
  if (awaitReady) service_->awaitEventualReady();
}

std::unique_ptr<client::Client> KdeDesktop::connect() {
  auto client = std::make_unique<client::Client>(service_->socketPath());
  client->hello(service_->token());
  return client;
}

std::map<std::string, std::string> KdeDesktop::sessionEnvironment() {
  return session()->environment();
}

std::map<std::string, std::string> KdeDesktop::toolEnvironment() const {
  auto environment = sessionEnvironment();
  environment["VIRELO_SOCKET"] = service_->socketPath();
  environment["VIRELO_TOKEN"] = service_->token();
  environment["VL_HOST"] = "kde";
  return environment;
}

ScreenPoint KdeDesktop::centre(const std::string& widget) {
  const ScreenPoint inside = app().centre(widget);
  return {session()->origin.x + inside.x, session()->origin.y + inside.y};
}

void KdeDesktop::moveTo(client::Client& client, ScreenPoint target) {
  while (cursor_.x != target.x || cursor_.y != target.y) {
    const int dx = std::clamp(target.x - cursor_.x, -127, 127);
    const int dy = std::clamp(target.y - cursor_.y, -127, 127);
    client.move(dx, dy);
    cursor_ = {cursor_.x + dx, cursor_.y + dy};
  }
}

std::optional<std::string> KdeDesktop::entryText(const std::string& expected) {
  auto text = askSession(*session(), "kde_entry_text.py", expected);
  if (!text.is_string()) return std::nullopt;
  return text.get<std::string>();
}

GtkReceiver& KdeDesktop::app() {
  return *session()->receiver;
}

}  // namespace virelo::test
