// The user's session: the one service that `virelo session` keeps running for this user, and how
// clients find it without being told.
//
// The session lives in $XDG_RUNTIME_DIR/virelo/ (mode 0700):
//   session.lock   held (an open-file-description write lock) by the running session for its
//                  whole life; whoever holds it owns the directory
//   session.json   mode 0600, replaced atomically: where the service listens and its token
//                  {"socket","token","host","backend","pid","protocol","session_pid",
//                   "started","restarts"}
// A session.json whose lock nobody holds is left over from a session that is gone: it is never
// trusted. Nor is anything another user could have written: before reading, a client checks that
// $XDG_RUNTIME_DIR is the user's and that neither the group nor others can write it, that
// virelo/ is the user's own directory (not a link) with no access for others, and that
// session.lock and session.json are the user's regular files (not links), session.json with no
// access for others. The connection then checks that the service listening on the socket runs as
// the user before it sends anything (client.h). A failed check throws UntrustedService.
//
// Example, connecting as every CLI verb does:
//   virelo::client::Client client(virelo::client::findSession);
//   client.pressModifiers(virelo::client::modifier::leftCtrl);
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "virelo/client/errors.h"

namespace virelo::client {

// Reads an environment variable; nullptr when it is not set (std::getenv, or a table in tests).
using EnvironmentLookup = std::function<const char*(const char*)>;

// Where a client connects and the token it says "hello" with.
struct Endpoint {
  std::string socket;
  std::string token;
};

struct SessionInfo {
  std::string socket;
  std::string token;
  std::string host;     // "sim", "uhid" or "linux"
  std::string backend;  // "corehid" or "cgevent"
  pid_t pid = 0;        // the service's
  int protocol = 1;
  pid_t sessionPid = 0;
  std::int64_t started = 0;  // when the session started, seconds since the epoch
  int restarts = 0;          // how often the service has been started again

  bool operator==(const SessionInfo&) const = default;
};

// $XDG_RUNTIME_DIR/virelo. Throws NoSession when $XDG_RUNTIME_DIR is unset or relative (saying
// which).
std::string sessionDirectory(const EnvironmentLookup& environment);

// Whether a running session holds the lock in `directory`. Throws UntrustedService when the
// directory or the lock fails the checks above.
bool sessionRunning(const std::string& directory);

// The running session's file, or nullopt when no session runs (no lock holder) or it has not
// published its service yet. Throws NoSession when the file of a running session is unreadable
// or malformed, UntrustedService when a directory or file fails the checks above.
std::optional<SessionInfo> readSession(const std::string& directory);

// Writes session.json atomically with mode 0600 (a temporary file renamed over it).
void writeSession(const std::string& directory, const SessionInfo& info);

// The endpoint to use: $VIRELO_SOCKET and $VIRELO_TOKEN when both are set, else the running
// session's. Throws NoSession saying what is missing, UntrustedService as readSession().
Endpoint findEndpoint(const EnvironmentLookup& environment);

// findEndpoint with the process environment; what Client(findSession) calls on every (re)connect.
Endpoint findSession();

}  // namespace virelo::client
