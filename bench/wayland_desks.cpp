#include "bench/wayland_desks.h"

#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <stdexcept>

#ifdef VIRELO_KDE_POSTER_PATH
#include "tests/kde/kde_desktop_session.h"
#endif
#ifdef VIRELO_WLROOTS_POSTER_PATH
#include "tests/wlroots/sway_compositor.h"
#endif
#ifdef VIRELO_GNOME_POSTER_PATH
#include "tests/gnome/gnome_session.h"
#endif

#ifndef VIRELO_SERVICE_PATH
#error "VIRELO_SERVICE_PATH must name the service binary"
#endif

namespace virelo::bench {
namespace {

using test::ChildOptions;
using test::ChildProcess;
using test::GtkReceiver;

bool gtkInstalled() {
  static const bool installed = [] {
    ChildOptions probe;
    probe.argv = {GtkReceiver::interpreter(), "-c",
                  "import gi; gi.require_version('Gtk', '3.0'); gi.require_version('Gdk', '3.0')"};
    return test::programExists(probe.argv[0]) && ChildProcess(probe).wait() == 0;
  }();
  return installed;
}

#ifdef VIRELO_KDE_POSTER_PATH
class KdeDesk : public Desk {
 public:
  KdeDesk() : session_(VIRELO_SERVICE_PATH, {VIRELO_KDE_POSTER_PATH}) {
    const std::string poster = std::filesystem::path(VIRELO_KDE_POSTER_PATH).filename();
    startPosting(session_.environment(), "kde", session_.service(), session_.admitted(poster),
                 true);
  }
  ~KdeDesk() override { stopPosting(); }
  GtkReceiver& receiver() override { return session_.receiver(); }

 private:
  test::KdeDesktopSession session_;
};
#endif

#ifdef VIRELO_WLROOTS_POSTER_PATH
class WlrootsDesk : public Desk {
 public:
  WlrootsDesk() {
    startPosting(sway_.environment(), "wlroots", VIRELO_SERVICE_PATH, VIRELO_WLROOTS_POSTER_PATH,
                 false);
    // After the virtual keyboards, which give the seat the keyboard whose focus the receiver
    // waits for.
    ChildOptions app;
    app.environment = sway_.environment();
    app.environment["GDK_BACKEND"] = "wayland";
    app.environment["NO_AT_BRIDGE"] = "1";
    app.asServiceUser = true;
    receiver_.emplace(app, 100, 100);
  }
  ~WlrootsDesk() override { stopPosting(); }
  GtkReceiver& receiver() override { return *receiver_; }

 private:
  test::SwayCompositor sway_;
  std::optional<GtkReceiver> receiver_;
};
#endif

#ifdef VIRELO_GNOME_POSTER_PATH
class GnomeDesk : public Desk {
 public:
  GnomeDesk() : session_(test::Compositor::mutter) {
    startPosting(session_.environment(), "gnome", VIRELO_SERVICE_PATH, VIRELO_GNOME_POSTER_PATH,
                 false);
    // mutter activates a new window only on a seat with a keyboard, which the remote desktop
    // sessions bring.
    auto environment = session_.environment();
    environment["GDK_BACKEND"] = "wayland";
    environment["NO_AT_BRIDGE"] = "1";
    receiver_.emplace(test::GnomeSession::launcher(), environment);
  }
  ~GnomeDesk() override { stopPosting(); }
  GtkReceiver& receiver() override { return *receiver_; }

 private:
  test::GnomeSession session_;
  std::optional<GtkReceiver> receiver_;
};
#endif

// A process whose command name is `comm`, whose environment holds the variable and whose command
// line holds `argument`; -1 when there is none.
pid_t findProcess(const std::string& comm, const std::string& variable,
                  const std::string& argument) {
  auto read = [](const std::filesystem::path& path) {
    std::ifstream in(path);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  };
  std::error_code ec;
  for (const auto& entry : std::filesystem::directory_iterator("/proc", ec)) {
    const std::string name = entry.path().filename();
    if (name.find_first_not_of("0123456789") != std::string::npos) continue;
    if (read(entry.path() / "comm") != comm + "\n") continue;
    const std::string environment = read(entry.path() / "environ");
    if (environment.find(std::string(1, '\0') + variable + '\0') == std::string::npos &&
        environment.rfind(variable + '\0', 0) != 0) {
      continue;
    }
    if (read(entry.path() / "cmdline").find(argument) == std::string::npos) continue;
    return static_cast<pid_t>(std::stol(name));
  }
  return -1;
}

}  // namespace

pid_t Desk::compositorPid() const {
  return findProcess(compositorName_, "XDG_RUNTIME_DIR=" + runtimeDir_, "");
}

pid_t Desk::receiverPid() const {
  return findProcess("python3", "XDG_RUNTIME_DIR=" + runtimeDir_, "gtk_receiver.py");
}

void Desk::startPosting(const std::map<std::string, std::string>& environment,
                        const std::string& host, const std::string& servicePath,
                        const std::string& posterPath, bool inPlace) {
  runtimeDir_ = environment.at("XDG_RUNTIME_DIR");
  compositorName_ = host == "kde" ? "kwin_wayland" : host == "wlroots" ? "sway" : "mutter";
  test::ServiceOptions options;
  options.backend = "cgevent";
  options.trace = false;
  options.control = false;
  options.environment = environment;
  options.environment["VL_HOST"] = host;
  options.program = servicePath;
  options.inPlace = inPlace;
  service_ = std::make_unique<test::ServiceProcess>(options);
  // A compositor may take a moment to admit a new client to its input interface.
  service_->awaitEventualReady();
  options.environment.erase("VL_HOST");
  options.program = posterPath;
  options.arguments = std::vector<std::string>{};
  poster_ = std::make_unique<test::ServiceProcess>(options);
  poster_->awaitEventualReady();
}

void Desk::stopPosting() {
  for (auto* process : {&service_, &poster_}) {
    if (!*process) continue;
    (*process)->closeStdin();
    (*process)->waitExit(std::chrono::seconds(5));
    process->reset();
  }
}

std::vector<std::string> builtDesks() {
  std::vector<std::string> hosts;
#ifdef VIRELO_KDE_POSTER_PATH
  hosts.push_back("kde");
#endif
#ifdef VIRELO_WLROOTS_POSTER_PATH
  hosts.push_back("wlroots");
#endif
#ifdef VIRELO_GNOME_POSTER_PATH
  hosts.push_back("gnome");
#endif
  return hosts;
}

std::string missingForDesk(const std::string& host) {
  if (!gtkInstalled()) return "GTK 3 for Python is not installed (python3-gi, gir1.2-gtk-3.0)";
#ifdef VIRELO_KDE_POSTER_PATH
  if (host == "kde") return test::KdeDesktopSession::missing();
#endif
#ifdef VIRELO_WLROOTS_POSTER_PATH
  if (host == "wlroots") return test::SwayCompositor::missing();
#endif
#ifdef VIRELO_GNOME_POSTER_PATH
  if (host == "gnome") return test::GnomeSession::missing(test::Compositor::mutter);
#endif
  return "the host \"" + host + "\" is not built";
}

std::unique_ptr<Desk> openDesk(const std::string& host) {
#ifdef VIRELO_KDE_POSTER_PATH
  if (host == "kde") return std::make_unique<KdeDesk>();
#endif
#ifdef VIRELO_WLROOTS_POSTER_PATH
  if (host == "wlroots") return std::make_unique<WlrootsDesk>();
#endif
#ifdef VIRELO_GNOME_POSTER_PATH
  if (host == "gnome") return std::make_unique<GnomeDesk>();
#endif
  throw std::runtime_error("the host \"" + host + "\" is not built");
}

}  // namespace virelo::bench
