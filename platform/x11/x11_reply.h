// Ownership of the replies that XCB allocates with malloc, and waiting for them with a bound.
//
// An X server can stop answering without going away: another client grabs the server
// (GrabServer), or the server process is stopped. XCB's own waits (xcb_wait_for_reply and the
// typed *_reply functions) would then block the calling thread for good, the service's main loop
// among them, so that neither the parent's end of file nor SIGTERM could stop it. Every wait of
// this host for the server is therefore bounded by kReplyWait; a server that does not answer in
// that time is treated as lost: the connection is shut down (lose()), XCB marks it as broken,
// every later request on it fails at once, and its owner drops it and connects again later, as
// for a server that went away.
#pragma once

#include <poll.h>
#include <sys/socket.h>
#include <xcb/xcb.h>
#include <xcb/xcbext.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <memory>

namespace virelo::x11 {

struct FreeReply {
  void operator()(void* reply) const { std::free(reply); }
};
template <typename Reply>
using ReplyPtr = std::unique_ptr<Reply, FreeReply>;

inline constexpr std::chrono::milliseconds kReplyWait{1000};

// Shuts the connection down, so that XCB marks it as broken (and wakes whoever waits on it).
inline void lose(xcb_connection_t* c) {
  ::shutdown(xcb_get_file_descriptor(c), SHUT_RDWR);
  void* reply = nullptr;
  xcb_generic_error_t* error = nullptr;
  // Makes XCB read the end of file now; the sequence number does not matter.
  if (xcb_poll_for_reply(c, 0, &reply, &error) != 0) {
    std::free(reply);
    std::free(error);
  }
}

// Waits at most kReplyWait for the reply to the request with that sequence number (which must be
// a request with a reply); nullptr for an error reply, a broken connection or a server that did
// not answer in time, which is then lost. Reading for the reply leaves the events in XCB's queue.
template <typename Reply>
ReplyPtr<Reply> awaitReply(xcb_connection_t* c, unsigned int sequence) {
  xcb_flush(c);
  const auto deadline = std::chrono::steady_clock::now() + kReplyWait;
  for (;;) {
    void* reply = nullptr;
    xcb_generic_error_t* error = nullptr;
    if (xcb_poll_for_reply(c, sequence, &reply, &error) != 0) {
      std::free(error);
      return ReplyPtr<Reply>(static_cast<Reply*>(reply));
    }
    if (xcb_connection_has_error(c)) return nullptr;
    auto left =
        std::chrono::ceil<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) {
      lose(c);
      return nullptr;
    }
    // In short slices: another thread reading the same connection may take the reply off the
    // socket without this poll seeing it.
    pollfd readable{xcb_get_file_descriptor(c), POLLIN, 0};
    if (::poll(&readable, 1, static_cast<int>(std::min<long>(left.count(), 10))) < 0 &&
        errno != EINTR) {
      return nullptr;
    }
  }
}

// The error of a checked request without a reply, waiting as awaitReply does; nullptr when it
// succeeded, or when the connection broke or was lost (check xcb_connection_has_error).
inline ReplyPtr<xcb_generic_error_t> awaitChecked(xcb_connection_t* c, xcb_void_cookie_t cookie) {
  // A reply to a later request comes after the server has carried out this one (and sent its
  // error, if any); the check then reads without waiting.
  // (On a broken connection the check returns at once.)
  awaitReply<xcb_get_input_focus_reply_t>(c, xcb_get_input_focus(c).sequence);
  return ReplyPtr<xcb_generic_error_t>(xcb_request_check(c, cookie));
}

}  // namespace virelo::x11
