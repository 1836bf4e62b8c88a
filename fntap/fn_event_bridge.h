// The Fn and media key tap. On a thread of its own ("vl-fn-events") it installs an active
// session event tap for key, flags-changed and system-defined events, while both the posting and
// the listening permission are granted, and for every such event of the session:
//   - keeps the state of the hardware Fn key (physicalFnHeld());
//   - while a client holds the virtual Fn (setHeld(true)), adds the Fn flag to keys typed on the
//     real keyboard;
//   - while the virtual Fn is held, replaces presses of the media keys by the function keys
//     F1, F2, F7 to F12, and carries their repeats and release to the same function key.
// Events carrying kEventTag (posted by the event synthesis and by this tap) pass untouched.
//
// Threads: start(), stop(), setHeld(), physicalFnHeld(), snapshot() and releaseConverted() on the
// main thread; the tap thread runs the tap, process() and releaseConverted() before each tap
// installation. One leaf mutex guards the state; it is never held while events are posted or
// another lock of this service is taken. The destructor stops the tap and joins the thread.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <thread>

#include "fntap/fn_snapshot.h"
#include "fntap/fn_tap_clock.h"
#include "platform/event_services.h"
#include "platform/input_codes.h"

namespace virelo {

class FnEventBridge {
 public:
  // The marker in field 42 of every event the service posts: the ASCII codes of "VLFN".
  static constexpr std::int64_t kEventTag = 0x564C464E;
  // Key down, key up, flags changed, system defined.
  static constexpr std::uint64_t kTapEventMask = 0x5C00;
  static constexpr double kRunSliceSeconds = 0.1;
  static constexpr double kRetrySeconds = 2.0;

  // Media key type -> virtual key code of the function key that replaces it.
  static const std::map<int, std::uint16_t>& mediaKeys();

  explicit FnEventBridge(EventServices& services, FnTapClock clock = FnTapClock::system());
  ~FnEventBridge();
  FnEventBridge(const FnEventBridge&) = delete;
  FnEventBridge& operator=(const FnEventBridge&) = delete;

  // Starts the tap thread; does nothing when it was started before or stop() was called.
  void start();
  // Resets the Fn states, makes the thread end within one run-loop slice (without waiting for
  // it) and releases converted keys. Every later start() does nothing.
  void stop();

  void setHeld(bool held);
  bool physicalFnHeld();
  FnSnapshot snapshot();

  // Filters one event of the session; returns the event to let through.
  Event process(std::uint32_t type, Event event);
  // Posts the key-up of every function key whose press replaced a media key and is still owed
  // (only with the posting permission).
  void releaseConverted();

 private:
  // What the tap thread keeps between passes of its loop; only that thread touches it.
  struct TapThread {
    std::shared_ptr<RunLoop> loop;
    std::shared_ptr<EventTap> tap;
    std::shared_ptr<RunLoopSource> source;
    double nextAttempt;
  };

  // The tap thread: passes until stop(), each one running the installed tap for a slice, trying
  // to install it (at most every kRetrySeconds) or taking it down when a permission is gone.
  void run();
  void passPermitted(TapThread& thread);
  bool installTap(TapThread& thread);
  void withdrawTap(TapThread& thread);
  // Disables and invalidates the tap and takes its source off the loop.
  void closeTap(TapThread& thread);
  Event tapCallback(std::uint32_t type, Event event);
  Event replace(int keyType, bool down, const Event& incoming, std::int64_t data1);
  bool isStopping();

  EventServices& services_;
  FnTapClock clock_;

  std::mutex lock_;
  bool held_ = false;
  // The virtual Fn as setHeld() last gave it: taking the tap down clears held_ but not this, and
  // installing the tap again restores held_ from it.
  bool lent_ = false;
  bool physicalHeld_ = false;
  bool available_ = false;
  bool stopping_ = false;
  std::thread worker_;
  std::shared_ptr<RunLoop> loop_;
  std::shared_ptr<EventTap> port_;
  std::set<int> convertedMedia_;
  std::set<int> passthroughMedia_;
};

}  // namespace virelo
