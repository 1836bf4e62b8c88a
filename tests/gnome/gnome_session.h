// A headless GNOME session of its own for the tests (gnome_session.sh): a private runtime
// directory and session bus, PipeWire, the accessibility bus and the compositor (mutter, or
// gnome-shell with its overview closed), all run as the service user, so that the service and
// its clients, which run as that user too, may use the bus. Stopped with the object.
//
// Threads: one test thread uses an object.
#pragma once

#include <sys/types.h>

#include <map>
#include <optional>
#include <string>
#include <vector>

#include "tests/support/child_process.h"
#include "tests/support/private_dir.h"

namespace virelo::test {

enum class Compositor { mutter, shell };

class GnomeSession {
 public:
  // The size of the session's one virtual monitor.
  static constexpr int kWidth = 1280;
  static constexpr int kHeight = 800;

  // Starts the session and waits (up to 20 s) until the compositor and its remote desktop
  // service are there; throws std::runtime_error when they are not.
  explicit GnomeSession(Compositor compositor);

  // The variables a program of the session needs: the session bus, the runtime directory, the
  // Wayland display.
  const std::map<std::string, std::string>& environment() const { return environment_; }
  // The last lines the compositor wrote, for a failure's message.
  std::string compositorLog() const;
  // Kills the compositor (the rest of the session stays).
  void stopCompositor();
  // The command that runs the rest of its arguments as the session's user (empty when the
  // tests run as that user already).
  static std::vector<std::string> launcher();
  // Why a session of the compositor cannot be started on this machine, or an empty string.
  static std::string missing(Compositor compositor);

 private:
  PrivateDir dir_;
  std::optional<ChildProcess> process_;
  std::map<std::string, std::string> environment_;
  pid_t compositor_ = -1;
};

}  // namespace virelo::test
