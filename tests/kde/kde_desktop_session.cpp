#include "tests/kde/kde_desktop_session.h"

#include <unistd.h>

#include <filesystem>
#include <stdexcept>

#include "tests/support/service_user.h"
#include "virelo/client/launcher.h"

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

void giveToServiceUser(const std::string& path) {
  if (::chown(path.c_str(), ServiceUser::uid(), ServiceUser::gid()) != 0) {
    throw std::runtime_error("chown " + path);
  }
}

}  // namespace

std::vector<std::string> KdeDesktopSession::asServiceUser(std::vector<std::string> argv) {
  if (!ServiceUser::privileged()) return argv;
  std::vector<std::string> prefix{"setpriv", "--reuid=" + std::to_string(ServiceUser::uid()),
                                  "--regid=" + std::to_string(ServiceUser::gid()), "--clear-groups",
                                  "--"};
  prefix.insert(prefix.end(), argv.begin(), argv.end());
  return prefix;
}

std::string KdeDesktopSession::missing() {
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

std::map<std::string, std::string> KdeDesktopSession::environment() const {
  return {{"HOME", dir_.path()},
          {"XDG_RUNTIME_DIR", dir_ / "runtime"},
          {"XDG_DATA_DIRS", dir_ / "data" + ":/usr/share"},
          {"WAYLAND_DISPLAY", kSocket},
          {"DBUS_SESSION_BUS_ADDRESS", bus_}};
}

nlohmann::json KdeDesktopSession::ask(const std::string& script,
                                      const std::string& argument) const {
  ChildOptions options;
  options.argv = asServiceUser(
      {GtkReceiver::interpreter(), std::string(VIRELO_KDE_TESTS_DIR) + "/" + script, argument});
  options.environment = environment();
  options.readOutput = true;
  ChildProcess helper(options);
  auto line = helper.readLine(10s);
  return line ? nlohmann::json::parse(*line, nullptr, false) : nlohmann::json();
}

// KWin's frame holds the title bar above the window and borders of equal width on the other sides.
std::optional<ScreenPoint> KdeDesktopSession::windowOrigin() const {
  auto frame = ask("kde_window.py", kTitle);
  if (!frame.is_object() || !frame.contains("x")) return std::nullopt;
  const int side = (frame["width"].get<int>() - kWindowWidth) / 2;
  return ScreenPoint{frame["x"].get<int>() + side,
                     frame["y"].get<int>() + frame["height"].get<int>() - kWindowHeight - side};
}

// A copy the service user may run (the build tree may not be readable by it), copied as root, and
// the desktop file that names it.
void KdeDesktopSession::admit(const std::string& program, const std::string& name) {
  const std::string bin = dir_ / "bin";
  const std::string copy = bin + "/" + name;
  ServiceUser::asRoot([&] {
    std::filesystem::create_directories(bin);
    giveToServiceUser(bin);
    if (name == "virelo-service") {
      client::copyService(program, bin);
    } else {
      std::filesystem::copy_file(program, copy, std::filesystem::copy_options::overwrite_existing);
    }
    giveToServiceUser(copy);
  });
  std::filesystem::create_directories(dir_ / "data/applications");
  writeFile(dir_ / ("data/applications/" + name + ".desktop"),
            "[Desktop Entry]\nType=Application\nName=" + name + "\nNoDisplay=true\nExec=" + copy +
                "\nX-KDE-Wayland-Interfaces=org_kde_kwin_fake_input\n");
}

KdeDesktopSession::KdeDesktopSession(const std::string& servicePath,
                                     const std::vector<std::string>& admitted) {
  admit(servicePath, "virelo-service");
  for (const auto& program : admitted) {
    admit(program, std::filesystem::path(program).filename());
  }
  ChildOptions compositor;
  compositor.argv =
      asServiceUser({"setsid", std::string(VIRELO_KDE_TESTS_DIR) + "/kde_session.sh", dir_.path()});
  compositor.readOutput = true;
  compositor_ = std::make_unique<ChildProcess>(compositor);
  auto ready = compositor_->readLine(20s);
  if (!ready || ready->rfind("ready ", 0) != 0) {
    throw std::runtime_error("the KWin session did not start");
  }
  bus_ = ready->substr(6);
  ChildOptions receiver;
  receiver.argv = asServiceUser({GtkReceiver::interpreter(), GtkReceiver::script()});
  receiver.environment = environment();
  receiver.environment.insert({{"GDK_BACKEND", "wayland"}, {"NO_AT_BRIDGE", "0"}});
  receiver_ = std::make_unique<GtkReceiver>(receiver);
  auto origin = windowOrigin();
  if (!origin) throw std::runtime_error("KWin does not tell where the receiver's window is");
  origin_ = *origin;
}

KdeDesktopSession::~KdeDesktopSession() {
  // The receiver first, while its compositor still runs.
  receiver_.reset();
  compositor_.reset();
}

}  // namespace virelo::test
