// The X Window System as the window server of the event services: events are posted into the X
// server on the display named at construction through XTEST (see x11_poster.h for the mapping),
// its state and the user's settings are read from XKB, XSETTINGS and RandR (x11_settings.h), and
// taps listen to the keys that reach the session through XInput 2 raw events (x11_tap.h).
//
// Permissions: posting is permitted while the server is reachable and offers XTEST, listening
// while it is reachable with XInput 2 and no tap's own connection has broken. A lost server is an
// ordinary state, never an error: events are dropped, the cursor stays where it was last seen,
// and the next permission check that finds the server back connects again (at most every
// 200 ms). Event objects are plain values here, so creating one never fails.
//
// Threads: every operation from any thread (the main loop and the tap thread); one internal leaf
// mutex guards the connection handle, which is used outside it (XCB serialises requests).
#pragma once

#include <chrono>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/plain_event_services.h"
#include "platform/x11/x11_connection.h"
#include "platform/x11/x11_posted_keys.h"

namespace virelo::x11 {

class X11Tap;

class X11WindowServer final : public PlainEventServices {
 public:
  static constexpr std::chrono::milliseconds kReconnectInterval{200};
  // How long a permission check waits for a new connection; an open that takes longer (a server
  // that does not answer) goes on meanwhile and is looked at again by the next check.
  static constexpr std::chrono::milliseconds kReconnectWait{100};

  // `display` as in $DISPLAY; empty: no display, nothing is ever permitted.
  explicit X11WindowServer(std::string display);
  ~X11WindowServer() override;

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
  std::shared_ptr<EventTap> createTap(std::uint64_t mask, EventTapCallback callback) override;
  std::shared_ptr<RunLoop> currentRunLoop() override;

 private:
  // Makes a new connection keep the keyboard's state and settings, and releases first whatever
  // the XTEST devices still hold.
  static std::shared_ptr<X11Connection> watched(std::unique_ptr<X11Connection> connection);
  // The connection of an open that has ended within `wait`, if it succeeded (under mutex_).
  void takeOpened(std::chrono::milliseconds wait);
  // The connection as it is, or nullptr when there is none or it broke.
  std::shared_ptr<X11Connection> current();
  // The same, connecting again first when the server was lost.
  std::shared_ptr<X11Connection> reconnected();
  bool tapBroken();
  // A client lends Fn (the Fn key's flags change says so) or stops: the taps hold the media keys
  // for the time, so that the Fn tap can replace them with function keys; so does a tap created
  // while Fn is lent.
  void lendFn(bool lent);

  const std::string display_;
  std::mutex mutex_;
  std::shared_ptr<X11Connection> connection_;          // under mutex_
  std::unique_ptr<X11Opening> opening_;                // under mutex_
  std::chrono::steady_clock::time_point lastAttempt_;  // under mutex_
  Point cursor_;                                       // under mutex_
  std::vector<std::weak_ptr<X11Tap>> taps_;            // under mutex_
  // Taken before mutex_ (and without it while the taps take or give up their grab), so that a
  // new tap and a change of the lent Fn cannot pass each other.
  std::mutex lendMutex_;
  bool fnLent_ = false;  // under lendMutex_
  const std::shared_ptr<PostedKeys> posted_ = std::make_shared<PostedKeys>();
};

}  // namespace virelo::x11
