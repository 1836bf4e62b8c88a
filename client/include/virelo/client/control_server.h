// The session's answer to control searches (part Controls): `virelo session` keeps the desktop's
// accessibility bus and trees at hand on a thread of its own and searches for its user's clients,
// which then need not reach them first (Desktop in controls.h asks it, falling back to its own
// search). It listens on a socket of its own, never the service's: controls.sock in the session's
// directory (session.h), mode 0600, named in session.json as "controls". Each connection is
// checked when it is accepted: one whose peer runs as another user (SO_PEERCRED) is closed
// unread. Each request is a line naming the display, the session bus and the query, answered with
// lines of JSON (client/controls/search_wire.h); one at a time, through the same Desktop as a
// client's own search.
//
// The desktop is the one of this process's environment ($DISPLAY, $DBUS_SESSION_BUS_ADDRESS,
// $VIRELO_ACCESSIBILITY_MODULE); a request for another is refused, and the client searches
// itself. When the desktop cannot be read yet (no X server, no accessibility bus), each request
// tries again.
#pragma once

#include <memory>
#include <string>
#include <thread>

#include "virelo/client/session.h"

namespace virelo::client {

class ControlSearchServer {
 public:
  // Listens at `path` (replacing what is there) and starts the thread, which opens the desktop.
  // Throws Error when it cannot listen.
  ControlSearchServer(const std::string& path, const EnvironmentLookup& environment);
  // Stops the thread and removes the socket.
  ~ControlSearchServer();
  ControlSearchServer(const ControlSearchServer&) = delete;
  ControlSearchServer& operator=(const ControlSearchServer&) = delete;

  const std::string& path() const { return path_; }

 private:
  struct State;
  void serve();

  std::string path_;
  std::unique_ptr<State> state_;
  std::thread thread_;
};

}  // namespace virelo::client
