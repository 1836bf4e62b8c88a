// A private headless KWin session (kde_session.sh: a session bus, the accessibility bus, KWin on
// Wayland) with the GTK receiver on it as a native Wayland application, everything run as the
// service user; and copies of the programs that KWin lets use its fake input: the service and any
// others asked for, each named by a desktop file in the session's data directory (written before
// KWin starts, which reads the desktop files then). The KDE end-to-end tests and the Wayland
// benchmark share it. Stopped with the object.
//
// Threads: one thread uses an object.
#pragma once

#include <map>
#include <memory>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <vector>

#include "tests/support/child_process.h"
#include "tests/support/gtk_receiver.h"
#include "tests/support/private_dir.h"

namespace virelo::test {

class KdeDesktopSession {
 public:
  // Starts the session with the service (servicePath) and the other programs admitted; throws
  // std::runtime_error saying what failed.
  KdeDesktopSession(const std::string& servicePath, const std::vector<std::string>& admitted = {});
  ~KdeDesktopSession();
  KdeDesktopSession(const KdeDesktopSession&) = delete;
  KdeDesktopSession& operator=(const KdeDesktopSession&) = delete;

  // HOME, XDG_RUNTIME_DIR, XDG_DATA_DIRS, WAYLAND_DISPLAY and DBUS_SESSION_BUS_ADDRESS.
  std::map<std::string, std::string> environment() const;
  // The admitted copy of the service, and of another program by its file name.
  std::string service() const { return dir_ / "bin/virelo-service"; }
  std::string admitted(const std::string& name) const { return dir_ / ("bin/" + name); }
  GtkReceiver& receiver() { return *receiver_; }
  // Where KWin shows the receiver's window, inside its decoration.
  ScreenPoint origin() const { return origin_; }
  // The JSON line a helper script of tests/kde prints, run in the session as the service user.
  nlohmann::json ask(const std::string& script, const std::string& argument) const;

  // The program's argument vector, run as the service user when this process may act as root.
  static std::vector<std::string> asServiceUser(std::vector<std::string> argv);
  // Why the session cannot be started on this machine, or "" when it can.
  static std::string missing();

 private:
  void admit(const std::string& program, const std::string& name);
  std::optional<ScreenPoint> windowOrigin() const;

  PrivateDir dir_;
  std::unique_ptr<ChildProcess> compositor_;
  std::string bus_;
  std::unique_ptr<GtkReceiver> receiver_;
  ScreenPoint origin_;
};

}  // namespace virelo::test
