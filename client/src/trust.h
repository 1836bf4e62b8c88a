// What a client checks before it trusts the files that name a service and the service itself, so
// that neither the token nor any input goes to another user.
//
// The rule, from the top of the session's files down:
//   $XDG_RUNTIME_DIR   a directory (a link to one is followed) owned by the user that neither the
//                      group nor others can write: nobody else can then plant or rename what is
//                      in it
//   virelo/            a directory, not a link, owned by the user, with no access for others
//   session.lock,      regular files, not links, owned by the user; session.json with no access
//   session.json       for the group or others
//   the socket         the process listening on it runs as the user (SO_PEERCRED), checked before
//                      a byte is sent
//   controls.sock      the session's socket for control searches: in virelo/, not a link, owned
//                      by the user, with no access for the group or others; and its listener
//                      runs as the user, as above
// "The user" is the effective user; for root, which runs no session of its own, it is the owner
// of $XDG_RUNTIME_DIR, whose session a root client acts on (the command-line tool then becomes
// that user before it connects). Each check that fails throws UntrustedService saying which file
// and what is wrong with it.
//
// Every function may be called from any thread; the descriptors belong to the caller.
#pragma once

#include <sys/types.h>

#include <string>

namespace virelo::client::trust {

// An open descriptor, closed with the object.
class Descriptor {
 public:
  Descriptor() = default;
  explicit Descriptor(int fd) : fd_(fd) {}
  ~Descriptor();
  Descriptor(Descriptor&& other) noexcept : fd_(other.fd_) { other.fd_ = -1; }
  Descriptor& operator=(Descriptor&& other) noexcept;
  Descriptor(const Descriptor&) = delete;
  Descriptor& operator=(const Descriptor&) = delete;

  int get() const { return fd_; }
  explicit operator bool() const { return fd_ >= 0; }

 private:
  int fd_ = -1;
};

// The directory named by $XDG_RUNTIME_DIR and the user whose session it holds. `fd` is empty
// when the directory does not exist.
struct RuntimeDirectory {
  Descriptor fd;
  uid_t user = 0;
};
RuntimeDirectory openRuntimeDirectory(const std::string& path);

// The private directory `name` in `parent` (at `path`); empty when it does not exist.
Descriptor openPrivateDirectory(int parent, const std::string& name, const std::string& path,
                                uid_t user);

// The private directory `name` in `parent` (at `path`) as the session makes it: created with mode
// 0700 when missing, else checked as above but for its mode, which is then set to 0700.
Descriptor makePrivateDirectory(int parent, const std::string& name, const std::string& path,
                                uid_t user);

// The regular file `name` in `directory` (at `path`), opened for reading; empty when it does not
// exist. `privateMode`: the group and others must have no access to it either.
Descriptor openOwnFile(int directory, const std::string& name, const std::string& path, uid_t user,
                       bool privateMode);

// The socket at `path`, which must lie in the session's directory `directory` and pass the checks
// above, connected (non-blocking) and its listener checked with checkPeer(). Throws
// UntrustedService when a check fails, NoSession or ConnectionLost when it cannot be reached.
Descriptor connectOwnSocket(const std::string& directory, const std::string& path);

// Throws UntrustedService unless the process listening at the other end of the connected socket
// `fd` (at `path`) runs as this process's effective user.
void checkPeer(int fd, const std::string& path);

}  // namespace virelo::client::trust
