// Connections to an X server whose every wait is bounded. A server can accept a connection and
// then never answer (its process stopped, or another client grabbed it), and XCB would wait for
// it for ever. Here connecting waits at most kConnectWait; a reply is awaited with awaitReply
// (platform/x11/x11_reply.h, the service's own bound of kReplyWait, 1 s); and requests that other
// libraries wait for with XCB's own waits (libxkbcommon-x11) run under a ServerDeadline, which
// cuts the connection off once it passes, so that those waits end at once.
#pragma once

#include <xcb/xcb.h>

#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "platform/x11/x11_reply.h"

namespace virelo::client {

struct XcbDisconnect {
  void operator()(xcb_connection_t* connection) const { xcb_disconnect(connection); }
};
using XcbConnectionPtr = std::unique_ptr<xcb_connection_t, XcbDisconnect>;

using x11::awaitReply;
using x11::kReplyWait;
using x11::ReplyPtr;

inline constexpr std::chrono::milliseconds kConnectWait{2000};

// A connection to the X server at `display`; nullptr when none can be made there (no server, or
// it refused). Throws XServerSilent when the server does not complete the connection within
// kConnectWait; the attempt then goes on in the background and ends when the server answers or
// goes away.
XcbConnectionPtr connectX(const char* display);

// The X server that the display name `display` names, as X reads the name: the host and the
// display number ("host:N", ":N" for the local socket), without the screen or the protocol, so
// that ":0", ":0.0" and "unix:0" give one name. A name X cannot read is given back as it is.
std::string serverName(const std::string& display);

// While it exists, cuts `connection` off (shuts its socket down) once `wait` has passed: every
// wait on the connection then ends, as for a server that went away.
// Threads: a thread of its own waits for the deadline.
class ServerDeadline {
 public:
  ServerDeadline(xcb_connection_t* connection, std::chrono::milliseconds wait);
  ~ServerDeadline();
  ServerDeadline(const ServerDeadline&) = delete;
  ServerDeadline& operator=(const ServerDeadline&) = delete;

  // Whether the deadline passed and the connection was cut off.
  bool passed();

 private:
  std::mutex mutex_;
  std::condition_variable disarmed_;
  bool done_ = false;
  bool passed_ = false;
  std::thread thread_;
};

}  // namespace virelo::client
