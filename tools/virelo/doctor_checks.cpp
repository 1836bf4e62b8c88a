#include "tools/virelo/doctor_checks.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>

#include "tools/virelo/display_probe.h"
#include "tools/virelo/systemd_library.h"
#include "virelo/client/client.h"
#include "virelo/client/session.h"

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

Check sessionType() {
  std::string type = env("XDG_SESSION_TYPE");
  if (type.empty())
    type = !env("WAYLAND_DISPLAY").empty() ? "wayland" : !env("DISPLAY").empty() ? "x11" : "";
  if (type == "x11") {
    return {"session-type", Outcome::ok,
            "X11: the virtual devices and window-server events both reach every application", ""};
  }
  if (type == "wayland") {
    return {"session-type", Outcome::warning,
            "Wayland: the virtual devices (corehid) reach every application, window-server "
            "events (cgevent) only XWayland applications",
            "use the corehid backend on Wayland"};
  }
  return {"session-type", Outcome::warning,
          "no graphical session seen ($XDG_SESSION_TYPE, "
          "$WAYLAND_DISPLAY and $DISPLAY are unset)",
          "run virelo from the desktop session"};
}

Check display(bool& works) {
  DisplayReport report = probeDisplay(std::getenv("DISPLAY"));
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
  const SystemdLibrary* systemd = systemdLibrary();
  if (systemd == nullptr) {
    return {"accessibility", Outcome::warning, "not checked: libsystemd.so.0 cannot be opened",
            "install libsystemd0"};
  }
  sd_bus* bus = nullptr;
  if (systemd->busOpenUser(&bus) < 0) {
    return {"accessibility", Outcome::warning, "no session bus (snapping onto controls needs it)",
            "run from the desktop session, where $DBUS_SESSION_BUS_ADDRESS is set"};
  }
  sd_bus_error error = SD_BUS_ERROR_NULL;
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

Diagnosis diagnose() {
  Diagnosis d;
  d.checks.push_back(uhidModule());
  d.checks.push_back(uhidAccess(d.corehidWorks));
  d.checks.push_back(udevRule());
  d.checks.push_back(sessionType());
  d.checks.push_back(display(d.cgeventWorks));
  d.checks.push_back(accessibilityBus());
  d.checks.push_back(runningSession());
  return d;
}

}  // namespace virelo::tools
