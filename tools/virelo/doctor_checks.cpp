#include "tools/virelo/doctor_checks.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>

#include "session/host_choice.h"
#include "session/host_names.h"
#include "session/systemd_library.h"
#include "tools/virelo/display_probe.h"
#include "virelo/client/client.h"
#include "virelo/client/session.h"
#include "virelo/client/windows.h"

namespace virelo::tools {
namespace {

using Outcome = Check::Outcome;

constexpr const char* kRuleName = "70-virelo-uhid.rules";

bool exists(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0;
}

std::string env(const char* name) {
  const char* value = std::getenv(name);
  return value ? value : "";
}

Check uhidModule() {
  if (exists("/sys/module/uhid"))
    return {"uhid-module", Outcome::ok, "the uhid module is loaded", ""};
  if (exists("/dev/uhid")) {
    return {"uhid-module", Outcome::ok, "/dev/uhid exists (the module loads when it is opened)",
            ""};
  }
  return {"uhid-module", Outcome::failure, "the uhid module is not loaded and /dev/uhid is missing",
          "sudo modprobe uhid (and install the package's modules-load.d entry to load it at boot)"};
}

Check uhidAccess(bool& works) {
  int fd = ::open("/dev/uhid", O_RDWR | O_CLOEXEC);
  if (fd >= 0) {
    ::close(fd);
    works = true;
    return {"uhid-access", Outcome::ok, "/dev/uhid opens read-write for this user", ""};
  }
  std::string why = std::strerror(errno);
  return {"uhid-access", Outcome::failure, "/dev/uhid does not open read-write: " + why,
          "install the udev rule " + std::string(kRuleName) +
              " (it gives the user of the active seat access), then `sudo udevadm trigger "
              "--name-match=uhid` or log in again; on a machine without logind seats give a "
              "group access instead (see virelo(1))"};
}

}  // namespace

Check udevRule(const std::string& root) {
  // udev's directories, the first of which holding a file of the name is the one that counts.
  for (const char* dir : {"/etc/udev/rules.d", "/run/udev/rules.d", "/usr/local/lib/udev/rules.d",
                          "/usr/lib/udev/rules.d", "/lib/udev/rules.d"}) {
    const std::string path = std::string(dir) + "/" + kRuleName;
    std::error_code error;
    const std::filesystem::path file(root + path);
    if (!std::filesystem::exists(std::filesystem::symlink_status(file, error))) continue;
    // An empty file or a link to /dev/null masks the rules of the same name after it.
    const bool masked = std::filesystem::is_symlink(file, error)
                            ? std::filesystem::read_symlink(file, error) == "/dev/null"
                            : std::filesystem::is_regular_file(file, error) &&
                                  std::filesystem::file_size(file, error) == 0;
    if (!masked) return {"udev-rule", Outcome::ok, path + " is installed", ""};
    return {"udev-rule", Outcome::warning, path + " masks the rule (it is empty or /dev/null)",
            "remove " + path + " and run `sudo udevadm control --reload`"};
  }
  return {"udev-rule", Outcome::warning, std::string(kRuleName) + " is not installed",
          "install the Debian package, or copy the rule from the source tree into "
          "/etc/udev/rules.d and run `sudo udevadm control --reload`"};
}

namespace {

bool compositorHost(const std::string& host) {
  return host == "gnome" || host == "kde" || host == "wlroots";
}

bool waylandSession() {
  const std::string type = env("XDG_SESSION_TYPE");
  return type.empty() ? !env("WAYLAND_DISPLAY").empty() : type == "wayland";
}

Check sessionType(const std::string& host) {
  std::string type = env("XDG_SESSION_TYPE");
  if (type.empty())
    type = !env("WAYLAND_DISPLAY").empty() ? "wayland" : !env("DISPLAY").empty() ? "x11" : "";
  if (type == "x11") {
    return {"session-type", Outcome::ok,
            "X11: the virtual devices and window-server events both reach every application", ""};
  }
  if (type == "wayland" && compositorHost(host)) {
    return {"session-type", Outcome::ok,
            "Wayland: the " + host +
                " host's window-server events (cgevent) go through the compositor to every "
                "application, as the virtual devices (corehid) do",
            ""};
  }
  if (type == "wayland") {
    return {"session-type", Outcome::warning,
            "Wayland: the virtual devices (corehid) reach every application, window-server "
            "events (cgevent) of the " +
                host + " host only XWayland applications",
            "use the corehid backend, or the host of the compositor (gnome, kde, wlroots)"};
  }
  return {"session-type", Outcome::warning,
          "no graphical session seen ($XDG_SESSION_TYPE, "
          "$WAYLAND_DISPLAY and $DISPLAY are unset)",
          "run virelo from the desktop session"};
}

// Which host, and why; for a compositor's host whether this session is that compositor's.
Check hostChoice(const session::SessionSettings& settings, bool& compositorHere) {
  const std::string source = settings.hostSource == "--host" ? "chosen with --host"
                             : settings.hostSource.starts_with("/")
                                 ? "named by " + settings.hostSource
                                 : settings.hostSource;
  const std::string detail = settings.host + " (" + source + ")";
  if (settings.hostFallback) {
    return {"host", Outcome::warning, detail,
            "use the corehid backend (the virtual devices reach every application)"};
  }
  if (!compositorHost(settings.host)) return {"host", Outcome::ok, detail, ""};
  const session::HostChoice here =
      session::chooseHost(session::desktopSigns(std::getenv, session::sessionBusHasOwner),
                          [](const std::string&) { return true; });
  compositorHere = here.host == settings.host;
  if (compositorHere) return {"host", Outcome::ok, detail, ""};
  return {"host", Outcome::failure,
          detail + ", but this session is not its compositor's: " + here.reason,
          "run from the desktop session of that compositor, or choose the host with --host"};
}

Check display(bool& works, const std::string& host) {
  DisplayReport report = probeDisplay(std::getenv("DISPLAY"));
  if (auto problem = report.problem(); problem && compositorHost(host)) {
    return {"display", Outcome::ok, *problem + ": the " + host + " host needs no X server", ""};
  }
  if (auto problem = report.problem()) {
    return {"display", Outcome::failure, *problem,
            "run from a terminal of the X11 session (so that $DISPLAY and $XAUTHORITY are set)"};
  }
  works = true;
  std::string missing;
  if (!report.xinput) missing += " XInputExtension";
  if (!report.xkb) missing += " XKEYBOARD";
  if (!missing.empty()) {
    return {"display", Outcome::warning, report.display + " has XTEST but lacks" + missing,
            "the Fn tap and the keymap need them: use an X server with these extensions"};
  }
  return {"display", Outcome::ok, report.display + " answers with XTEST, XInput 2 and XKB", ""};
}

Check accessibilityBus() {
  const std::string enable =
      "gsettings set org.gnome.desktop.interface toolkit-accessibility true (or: busctl --user "
      "set-property org.a11y.Bus /org/a11y/bus org.a11y.Status IsEnabled b true)";
#ifdef VIRELO_HAVE_SYSTEMD
  const session::SystemdLibrary* systemd = session::systemdLibrary();
  if (systemd == nullptr) {
    return {"accessibility", Outcome::warning, "not checked: libsystemd.so.0 cannot be opened",
            "install libsystemd0"};
  }
  sd_bus* bus = nullptr;
  if (systemd->busOpenUser(&bus) < 0) {
    return {"accessibility", Outcome::warning, "no session bus (snapping onto controls needs it)",
            "run from the desktop session, where $DBUS_SESSION_BUS_ADDRESS is set"};
  }
  sd_bus_error error{};  // SD_BUS_ERROR_NULL, whose compound literal is C only
  int enabled = 0;
  int r = systemd->getPropertyTrivial(bus, "org.a11y.Bus", "/org/a11y/bus", "org.a11y.Status",
                                      "IsEnabled", &error, 'b', &enabled);
  std::string message = error.message ? error.message : "";
  systemd->errorFree(&error);
  systemd->busUnref(bus);
  if (r < 0) {
    return {"accessibility", Outcome::warning,
            "the accessibility bus does not answer (" + message + "); snapping finds no controls",
            "install at-spi2-core"};
  }
  if (!enabled) {
    return {"accessibility", Outcome::warning,
            "the accessibility bus is switched off; snapping finds no controls", enable};
  }
  return {"accessibility", Outcome::ok, "the accessibility bus is reachable and enabled", ""};
#else
  return {"accessibility", Outcome::warning, "not checked (built without libsystemd)", ""};
#endif
}

// Listing and activating windows (windows.h): EWMH, from the X server's window manager.
Check windows() {
  const std::string display = env("DISPLAY");
  const std::string xwayland = waylandSession() ? "; under Wayland these are XWayland's only" : "";
  if (display.empty()) {
    return {"windows", Outcome::warning,
            "no X server ($DISPLAY is unset): listing and activating windows (EWMH on X11) is "
            "not available",
            ""};
  }
  try {
    const std::size_t count = client::listWindows(display.c_str()).size();
    const bool activation = client::windowActivationOffered(display.c_str());
    return {"windows", activation && xwayland.empty() ? Outcome::ok : Outcome::warning,
            "the window manager on " + display + " lists " + std::to_string(count) +
                " window(s) (EWMH) and " +
                (activation ? "activates them on request"
                            : "offers no activation (_NET_ACTIVE_WINDOW)") +
                xwayland,
            ""};
  } catch (const client::Error& e) {
    return {"windows", Outcome::warning,
            std::string(e.what()) + ": listing and activating windows is not available",
            "run a window manager that publishes the Extended Window Manager Hints"};
  }
}

Check runningSession() {
  try {
    client::Client client(client::findSession, std::chrono::seconds(2));
    client::Status status = client.helloStatus();
    if (status.ready) {
      return {"session", Outcome::ok, "a session runs and is ready (" + status.backend + ")", ""};
    }
    return {"session", Outcome::warning,
            "a session runs but is not ready: " + status.error.value_or("unknown"),
            "see its log: journalctl --user -u virelo"};
  } catch (const client::Error& e) {
    return {"session", Outcome::warning, e.what(),
            "systemctl --user enable --now virelo (or run `virelo session`)"};
  }
}

}  // namespace

namespace {

// What a compositor's host says of the Fn tap: Wayland lets no client watch the keyboards.
Check noFnTap() {
  return {"fn-tap", Outcome::warning,
          "none: under Wayland no client can watch the hardware keyboard, so the Fn tap is off "
          "(fn_state says \"bridgeReady\":false) and Fn on the real keyboard is the "
          "compositor's",
          ""};
}

const char* const kOutsideLayout =
    "characters outside the layout are refused before anything is typed, or pasted with "
    "`virelo type --via-clipboard`";

Check gnomeInput(bool pipewire) {
  const std::string absolute =
      pipewire ? "absolute pointer through a stream of the primary monitor (PipeWire runs)"
               : "absolute pointer only by distances from a point of the desk's top edge, where a "
                 "session puts the pointer, on a single monitor (no PipeWire runs)";
  return {"host-input", pipewire ? Outcome::ok : Outcome::warning,
          std::string("keys by position (NotifyKeyboardKeycode; ") + kOutsideLayout +
              "); relative pointer, unaccelerated; " + absolute +
              "; buttons left, right, middle, back, forward; wheel (discrete steps); media keys "
              "as keys, which the desktop's media key handler acts on",
          pipewire ? "" : "start PipeWire (systemctl --user start pipewire) for exact placement"};
}

}  // namespace

std::vector<Check> hostAbilities(const std::string& host, bool pipewire) {
  const Check noPositions{"window-positions", Outcome::warning,
                          "not yet: the host offers no snap targets (never wrong ones) and the "
                          "controls have no screen positions",
                          ""};
  if (host == "gnome") return {gnomeInput(pipewire), noPositions, noFnTap()};
  if (host == "kde") {
    return {{"host-input", Outcome::ok,
             std::string("keys by position (KWin's fake input, which KWin offers only to the "
                         "executable that an installed desktop file names; ") +
                 kOutsideLayout +
                 "); relative pointer, from where the service last put it; absolute pointer in "
                 "KWin's logical coordinates; buttons left, right, middle; wheel, one click per "
                 "line; media keys as their evdev codes",
             ""},
            noPositions,
            noFnTap()};
  }
  if (host == "wlroots") {
    return {{"host-input", Outcome::ok,
             std::string("keys by position on a virtual keyboard whose keymap is the user's "
                         "layout ($XKB_DEFAULT_*; ") +
                 kOutsideLayout +
                 "); relative pointer, from where the host last placed it; absolute pointer "
                 "within the outputs; buttons left, right, middle and the side buttons; wheel; "
                 "media keys as evdev keys, which the compositor's bindings act on",
             ""},
            {"window-positions", Outcome::ok,
             "snapping: sway's tree ($SWAYSOCK) places a window's AT-SPI elements where the match "
             "is certain, else no targets; the client library's controls do not use it yet",
             ""},
            noFnTap()};
  }
  if (host == "sim") {
    return {{"host-input", Outcome::ok, "simulated: input is recorded, nothing reaches the desktop",
             ""}};
  }
  if (host == "uhid") {
    return {{"host-input", Outcome::ok,
             "the kernel's virtual devices (corehid), which reach every application; the window "
             "server is simulated, with no snap targets and no Fn tap",
             ""}};
  }
  return {
      {"host-input", Outcome::ok,
       "keys by position (with cgevent the X server's XTEST, with corehid the virtual "
       "keyboard; characters outside the layout on a borrowed key of the X server); relative "
       "and absolute pointer; buttons left, right, middle; wheel; media keys",
       ""},
      {"window-positions", Outcome::ok,
       "the X server's window list places the AT-SPI elements for snapping and the controls", ""},
      {"fn-tap", Outcome::ok, "the X server's raw key events (XInput 2) of the hardware keyboard",
       ""}};
}

const char* outcomeName(Check::Outcome outcome) {
  switch (outcome) {
    case Outcome::ok:
      return "ok";
    case Outcome::warning:
      return "warning";
    case Outcome::failure:
      return "failure";
  }
  return "failure";
}

Diagnosis diagnose(const session::SessionSettings& settings) {
  Diagnosis d;
  const bool compositor = compositorHost(settings.host);
  bool compositorHere = false;
  bool displayWorks = false;
  d.checks.push_back(uhidModule());
  d.checks.push_back(uhidAccess(d.corehidWorks));
  d.checks.push_back(udevRule());
  d.checks.push_back(sessionType(settings.host));
  d.checks.push_back(hostChoice(settings, compositorHere));
  const std::string runtime = env("XDG_RUNTIME_DIR");
  for (Check& check : hostAbilities(settings.host, exists(runtime + "/pipewire-0"))) {
    d.checks.push_back(std::move(check));
  }
  d.checks.push_back(display(displayWorks, settings.host));
  d.cgeventWorks = compositor ? compositorHere : displayWorks;
  d.checks.push_back(windows());
  d.checks.push_back(accessibilityBus());
  d.checks.push_back(runningSession());
  for (const auto& check : extraChecks()) d.checks.push_back(check());
  return d;
}

std::vector<std::function<Check()>>& extraChecks() {
  static std::vector<std::function<Check()>> checks;
  return checks;
}

}  // namespace virelo::tools
