// The desks of the Wayland figures: a private headless compositor with the GTK receiver on it as a
// native Wayland application (GDK_BACKEND=wayland), the real service posting to it (VL_HOST set to
// the host, backend "cgevent") and the bare poster of the same compositor interface
// (wayland_poster.h), both run as the service user, from the fixtures of the end-to-end tests:
//   kde      KWin (tests/kde/kde_desktop_session.h), the service and the poster admitted to its
//            fake input by desktop files
//   wlroots  sway (tests/wlroots/sway_compositor.h)
//   gnome    mutter (tests/gnome/gnome_session.h)
//
// Threads: one thread uses an object.
#pragma once

#include <sys/types.h>

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "tests/support/gtk_receiver.h"
#include "tests/support/service_process.h"

namespace virelo::bench {

class Desk {
 public:
  virtual ~Desk() = default;
  virtual test::GtkReceiver& receiver() = 0;
  test::ServiceProcess& service() { return *service_; }
  test::ServiceProcess& poster() { return *poster_; }
  // The compositor's process and the receiver's, found in /proc by their command names and the
  // desk's runtime directory in their environment; -1 when not found.
  pid_t compositorPid() const;
  pid_t receiverPid() const;

 protected:
  // Starts the service and the poster in the compositor's environment, and waits until each can
  // post (the poster from `posterPath` where it is when `inPlace`, else from a copy).
  void startPosting(const std::map<std::string, std::string>& environment, const std::string& host,
                    const std::string& servicePath, const std::string& posterPath, bool inPlace);
  // Ends the service and the poster (their input closed, as at a session's end) and waits for
  // them: each desk does so before its compositor stops, which otherwise may hang at its end with
  // their remote desktop sessions still open (mutter was seen to).
  void stopPosting();

  std::unique_ptr<test::ServiceProcess> service_;
  std::unique_ptr<test::ServiceProcess> poster_;
  std::string runtimeDir_;
  std::string compositorName_;  // its command name in /proc
};

// The hosts whose desks this build has, in the order they run.
std::vector<std::string> builtDesks();
// Why the host's desk cannot be made on this machine (a compositor or GTK missing), or "".
std::string missingForDesk(const std::string& host);
// Starts the host's desk; throws std::runtime_error when any part of it does not start.
std::unique_ptr<Desk> openDesk(const std::string& host);

}  // namespace virelo::bench
