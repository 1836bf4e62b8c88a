// The session's private directory and the lock that makes one session per user.
#pragma once

#include <stdexcept>
#include <string>

#include "virelo/client/session.h"

namespace virelo::tools {

// A session cannot start; the message says why and, where it can, how to fix it.
class SessionError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// $XDG_RUNTIME_DIR/virelo, created with mode 0700 (and set to 0700 when it exists). Throws
// SessionError when $XDG_RUNTIME_DIR is unset, relative, not a directory of this user, writable by
// its group or others, or the directory cannot be made private.
std::string prepareSessionDirectory(const client::EnvironmentLookup& environment);

// Holds session.lock for its life. The lock is an open-file-description lock, so it goes with the
// process however it ends, and readers can see it without taking it.
class SessionLock {
 public:
  // Throws SessionError naming the running session when another one holds the lock.
  explicit SessionLock(const std::string& directory);
  ~SessionLock();
  SessionLock(const SessionLock&) = delete;
  SessionLock& operator=(const SessionLock&) = delete;

 private:
  int fd_ = -1;
};

// Removes what a session that is gone left in the directory: session.json and its services'
// socket directories. Call only while holding the lock.
void removeLeftovers(const std::string& directory);

}  // namespace virelo::tools
