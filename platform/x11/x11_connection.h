// One connection to an X server, with what this host needs to know about the server: the root
// window of the default screen and which of the extensions XTEST (posting), XInput 2 (listening),
// XKB (keyboard state and settings) and RandR 1.5 (monitors) it offers.
//
// Opening waits at most kReplyWait (x11_reply.h) for the server, as every other wait of this host
// does: a server that does not answer in time counts as unreachable.
// Closing a connection first waits (at most kCloseWait) until the server has carried out every
// request sent on it, so that nothing posted just before is lost.
// A connection that breaks stays broken: alive() turns false for good, and the owner opens a new
// one. Nothing here ever ends the process or writes anything.
// Threads: XCB serialises its own requests, so a connection may be used from several threads;
// alive() may be called from any thread.
#pragma once

#include <xcb/xcb.h>

#include <chrono>
#include <memory>
#include <mutex>
#include <string>

#include "platform/x11/x11_own_keys.h"
#include "platform/x11/x11_xkb_watch.h"

namespace virelo::x11 {

class X11Opening;

class X11Connection {
 public:
  static constexpr std::chrono::milliseconds kCloseWait{1000};
  // Opens given up on that may still be waiting for a server that does not answer, at most.
  static constexpr int kMaxStuckOpens = 4;

  // nullptr when the display cannot be reached or does not answer within kReplyWait (see
  // X11Opening for an open that may take longer).
  static std::unique_ptr<X11Connection> open(const std::string& display);
  ~X11Connection();
  X11Connection(const X11Connection&) = delete;
  X11Connection& operator=(const X11Connection&) = delete;

  xcb_connection_t* get() const { return connection_; }
  xcb_window_t root() const { return root_; }
  int screenNumber() const { return screenNumber_; }
  std::uint16_t screenWidth() const { return width_; }
  std::uint16_t screenHeight() const { return height_; }
  bool hasXTest() const { return xtest_; }
  bool hasXInput2() const { return xinput2_; }
  bool hasXkb() const { return xkb_; }
  bool hasMonitors() const { return monitors_; }

  // Whether the server is still there. Reads what is waiting on the connection (a server that
  // went away leaves an end of file there): events go to the XKB watch, if any, or are discarded.
  bool alive();

  // Starts keeping the keyboard's state and repeat settings (none without XKB). Before the
  // connection is shared with other threads.
  void watchXkb();
  // The watch, or nullptr when there is none.
  XkbWatch* xkb() const { return xkbWatch_.get(); }

  // Held while events are posted on the connection; guards ownKeys().
  std::mutex& postMutex() { return postMutex_; }
  // The modifier keys this process holds down through this connection (see x11_own_keys.h).
  OwnKeys& ownKeys() { return ownKeys_; }

 private:
  friend class X11Opening;
  X11Connection(xcb_connection_t* connection, int screenNumber);
  // Connects and queries the extensions, waiting for the server as long as it takes.
  static std::unique_ptr<X11Connection> openNow(const std::string& display);
  void queryExtensions();
  void awaitProcessed();

  xcb_connection_t* connection_;
  int screenNumber_;
  xcb_window_t root_ = 0;
  std::uint16_t width_ = 0;
  std::uint16_t height_ = 0;
  bool xtest_ = false;
  bool xinput2_ = false;
  bool xkb_ = false;
  bool monitors_ = false;
  std::unique_ptr<XkbWatch> xkbWatch_;
  std::mutex postMutex_;
  OwnKeys ownKeys_;  // under postMutex_
};

// An open of a connection in progress, on a thread of its own: a server that does not answer
// (stopped, or grabbed by another client) never holds up the owner, which looks again later.
// Destroying it before the open has ended abandons the open.
// Threads: one owner; the opening thread shares nothing else.
class X11Opening {
 public:
  // nullptr for an empty display, or while X11Connection::kMaxStuckOpens opens still run.
  static std::unique_ptr<X11Opening> start(const std::string& display);
  ~X11Opening();
  X11Opening(const X11Opening&) = delete;
  X11Opening& operator=(const X11Opening&) = delete;

  // Waits at most `wait` for the open to end; whether it has.
  bool await(std::chrono::milliseconds wait);
  // Once it has ended: the connection, or nullptr when the display could not be reached (or it
  // was taken already).
  std::unique_ptr<X11Connection> take();

 private:
  struct State;
  explicit X11Opening(std::shared_ptr<State> state) : state_(std::move(state)) {}
  const std::shared_ptr<State> state_;
};

}  // namespace virelo::x11
