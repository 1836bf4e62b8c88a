// GNOME's compositor (mutter, or gnome-shell, which is built on it) as the window server of the
// event services: events are posted through a session of its remote desktop service on the
// session bus (gnome_remote_desktop.h; see gnome_poster.h for the mapping).
//
// What the compositor does not offer: a way to watch the keyboards' input (Wayland gives no
// client the session's input), so listening is never permitted and no tap is ever created, which
// the Fn state reports; the pointer's position, so the cursor is where this server last put it
// (with a monitor stream, placed absolutely; without one, moved by distances from a point of the
// desk's top edge, where it is put when a session starts); the user's key repeat and
// double-click settings (not-a-number: the service's defaults).
//
// Permissions: posting is permitted while a session runs. A compositor that is not there, or
// that ends, is an ordinary state, never an error: events are dropped, and the next permission
// check that finds the service back starts a new session (at most every 200 ms). Event objects
// are plain values here, so creating one never fails.
//
// Threads: every operation from any thread; one internal leaf mutex guards the session.
#pragma once

#include <chrono>
#include <memory>
#include <mutex>

#include "platform/gnome/gnome_poster.h"
#include "platform/gnome/gnome_remote_desktop.h"
#include "platform/tapless_event_services.h"

namespace virelo::gnome {

class GnomeWindowServer final : public TaplessEventServices {
 public:
  static constexpr std::chrono::milliseconds kReconnectInterval{200};

  GnomeWindowServer();
  ~GnomeWindowServer() override;

  std::optional<Event> createEvent() override;
  void post(const Event& event) override;
  std::uint64_t combinedFlagsState() override;
  bool postEventAccess() override;
  bool listenEventAccess() override;
  double keyRepeatDelay() override;
  double keyRepeatInterval() override;
  double doubleClickInterval() override;
  double deskScale() override;
  std::optional<std::vector<Rect>> activeDisplayBounds(std::size_t maxDisplays) override;

 private:
  // Opens a session and puts the pointer where the poster can follow it (under mutex_).
  void connect();

  std::mutex mutex_;
  std::unique_ptr<RemoteDesktop> desktop_;             // under mutex_
  std::chrono::steady_clock::time_point lastAttempt_;  // under mutex_
  Poster poster_;                                      // under mutex_
};

}  // namespace virelo::gnome
