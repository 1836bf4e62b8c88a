// A connected pair of local stream sockets standing in for one client: the service side is
// handed to the code under test (which may close it), the peer side stays with the test.
#pragma once

#include <sys/socket.h>
#include <unistd.h>

#include <stdexcept>
#include <string>

namespace virelo::testing {

class ClientSocket {
 public:
  ClientSocket() {
    int fds[2];
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, fds) != 0) {
      throw std::runtime_error("socketpair");
    }
    service_ = fds[0];
    peer_ = fds[1];
  }
  ~ClientSocket() { closePeer(); }
  ClientSocket(const ClientSocket&) = delete;
  ClientSocket& operator=(const ClientSocket&) = delete;

  // The service side. Whoever takes it closes it (the bridge when it drops the client).
  int serviceFd() const { return service_; }
  int peerFd() const { return peer_; }
  void closePeer() {
    if (peer_ >= 0) ::close(peer_);
    peer_ = -1;
  }
  void send(const std::string& bytes) const {
    if (::send(peer_, bytes.data(), bytes.size(), MSG_NOSIGNAL) !=
        static_cast<ssize_t>(bytes.size())) {
      throw std::runtime_error("send");
    }
  }

 private:
  int service_ = -1;
  int peer_ = -1;
};

}  // namespace virelo::testing
