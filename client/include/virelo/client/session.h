// The user's session: the one service that `virelo session` keeps running for this user, and how
// clients find it without being told.
//
// The session lives in $XDG_RUNTIME_DIR/virelo/ (mode 0700):
//   session.lock   held (an open-file-description write lock) by the running session for its
//                  whole life; whoever holds it owns the directory
//   session.json   mode 0600, replaced atomically: where the service listens and its token
//                  {"socket","token","host","backend","pid","protocol","session_pid",
//                   "started","restarts"}, and "controls" where the session answers control
//                  searches (controls.h): the path of that socket, which readers that do not
//                  know the field ignore
//   controls.sock  the session's socket for control searches, mode 0600
// A session.json whose lock nobody holds is left over from a session that is gone: it is never
// trusted. Nor is anything another user could have written: before reading, a client checks that
// $XDG_RUNTIME_DIR is the user's and that neither the group nor others can write it, that
// virelo/ is the user's own directory (not a link) with no access for others, and that
// session.lock and session.json are the user's regular files (not links), session.json with no
// access for others. The connection then checks that the service listening on the socket runs as
// the user before it sends anything (client.h). A failed check throws UntrustedService.
//
// Which service a client uses is one rule, the same for this library, the virelo command and the
// Python package (resolveEndpoint): the socket is the one the caller names (a command line's
// --socket, Python's connect(socket=...)), else $VIRELO_SOCKET; the token likewise (--token-file,
// connect(token=...), else $VIRELO_TOKEN). With both, that service; with neither, the running
// session's. With only one of them it is an error naming the missing one: the session's token
// is never sent to a socket the session did not name, nor its socket used with another token.
//
// The session itself (`virelo session`) writes the files: it makes the directory private, holds
// the lock, removes what a gone session left and publishes session.json (the functions at the end).
//
// Example, connecting as every CLI verb does:
//   virelo::client::Client client(virelo::client::findSession);
//   client.pressModifiers(virelo::client::modifier::leftCtrl);
#pragma once

#include <sys/types.h>

#include <cstddef>
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
  std::string host;     // "sim", "uhid", "linux", "gnome", "kde" or "wlroots"
  std::string backend;  // "corehid" or "cgevent"
  pid_t pid = 0;        // the service's
  int protocol = 1;
  pid_t sessionPid = 0;
  std::int64_t started = 0;  // when the session started, seconds since the epoch
  int restarts = 0;          // how often the service has been started again
  // The session's socket for control searches; empty when it answers none.
  std::string controls;

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

// What a caller names of the endpoint itself; an unset (or empty) half is taken from the
// environment.
struct EndpointRequest {
  std::optional<std::string> socket;
  std::optional<std::string> token;
};

// The endpoint under the rule above. Throws NoSession when only one half is found (saying which
// is missing) or no session runs, UntrustedService as readSession().
Endpoint resolveEndpoint(const EndpointRequest& given, const EnvironmentLookup& environment);

// resolveEndpoint with nothing given: $VIRELO_SOCKET and $VIRELO_TOKEN, else the session's.
Endpoint findEndpoint(const EnvironmentLookup& environment);

// findEndpoint with the process environment; what Client(findSession) calls on every (re)connect.
Endpoint findSession();

// The host of the service that resolveEndpoint() picks ("linux", "gnome", ...; what typing asks
// before it borrows a key, x11.h): the session's, from session.json, when it is the session's;
// for a service the caller or the environment names, $VL_HOST (the variable its parent starts it
// with). Empty when neither tells, or the session's file cannot be read.
std::string serviceHost(const EndpointRequest& given, const EnvironmentLookup& environment);

// What the session does, and only it.

// $XDG_RUNTIME_DIR/virelo, created with mode 0700 (and set to 0700 when it exists). Throws
// NoSession when $XDG_RUNTIME_DIR is unset, relative or missing, UntrustedService when it or
// virelo/ fails the checks above (virelo/ may have had a wider mode: it is narrowed), Error when
// virelo/ cannot be made.
std::string prepareSessionDirectory(const EnvironmentLookup& environment);

// Holds session.lock for its life. The lock is an open-file-description lock, so it goes with the
// process however it ends, and readers see it without taking it.
class SessionLock {
 public:
  // Throws Error naming the running session when another one holds the lock.
  explicit SessionLock(const std::string& directory);
  ~SessionLock();
  SessionLock(const SessionLock&) = delete;
  SessionLock& operator=(const SessionLock&) = delete;

 private:
  int fd_ = -1;
};

// Removes what a session that is gone left in the directory: session.json, its temporary file,
// its socket for control searches and its services' socket directories. Call only while holding the
// lock.
void removeLeftovers(const std::string& directory);

// A file that readBoundedFile() refused; what() is the reason alone ("not a regular file",
// "larger than 65536 bytes", "cannot be read: ..."), for the caller to put after the file's name.
class UnreadableFile : public Error {
 public:
  using Error::Error;
};

// The one reader of the small files around a session (session.json, the configuration file, the
// record of borrowed keys): the text of the regular file open at `fd`, when it holds at most
// `limit` bytes. Throws UnreadableFile.
std::string readBoundedFile(int fd, std::size_t limit);

// The same for the file at `path`, opened without waiting for a writer (a FIFO is refused as not
// a regular file, not waited for).
std::string readBoundedFile(const std::string& path, std::size_t limit);

}  // namespace virelo::client
