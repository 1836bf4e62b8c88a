// An event tap on the X server: it listens, on a connection of its own, to the XInput 2 raw key
// events of every keyboard of the session (raw events reach a listener whatever window has the
// focus and whatever grabs are active) and hands its callback each one as a window-server event:
//   a modifier or caps-lock key   flags changed (12), with the key's virtual code and the flags
//                                 of the modifier keys held after it;
//   a media key                   system defined (14), subtype 8, data1 = key type << 16 | state
//                                 << 8 (0x0A down, 0x0B up) | 1 for a press of a key already down;
//   any other key of the table    key down (10) or key up (11), field 8 = 1 for a press of a key
//                                 already down.
// Keys without a virtual code are not handed on. A key that comes from an XTEST device and
// matches what the window server posted carries the tag it was posted with in field 42, so that
// the service recognises its own events; keys from other XTEST clients (xdotool, say) and from
// real keyboards carry none.
//
// Swallowing and replacing: only media keys, and only while holdMediaKeys(true) (the window
// server calls it while a client lends Fn). Then the tap holds a synchronous passive grab of the
// media keys on the root window: a grabbed press freezes the keyboard until the tap decides. When
// the callback returned a replacement key (another event than the media key), the press is
// consumed and the replacement key is pressed and released through XTEST at once, tagged as the
// service's own; the media key's repeats are consumed, and its release reaches the focused client
// as a release without a press. When the callback
// returned the event itself, the press is replayed to the focused client as if no grab existed.
// Without the grab X has already delivered every key when the raw event arrives, so what the
// callback returns is not applied (the Fn flag it adds to other keys never is). Button and motion
// events are not tapped (the Fn tap does not ask for them). The Fn key of most keyboards never
// reaches X at all, and its evdev code does not fit X's key codes, so no event for the Fn key (63)
// ever comes from this tap.
//
// Threads: dispatch through the run loop on the tap's thread; enable() there or inside the
// callback; invalidate() on the tap's thread; holdMediaKeys() and broken() from any thread. The run
// loop's stop() from any thread.
#pragma once

#include <atomic>
#include <cstdint>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "platform/event_tap.h"
#include "platform/run_loop.h"
#include "platform/x11/x11_connection.h"
#include "platform/x11/x11_posted_keys.h"

namespace virelo::x11 {

class X11Tap final : public EventTap, public std::enable_shared_from_this<X11Tap> {
 public:
  // nullptr when the display cannot be reached or offers no XInput 2.
  static std::shared_ptr<X11Tap> create(const std::string& display, std::uint64_t mask,
                                        EventTapCallback callback,
                                        std::shared_ptr<PostedKeys> posted);

  void enable(bool on) override { enabled_ = on; }
  // Takes or gives up the grab of the media keys. Any thread.
  void holdMediaKeys(bool on);
  // Also gives up the grab, which nobody would answer any more.
  void invalidate() override {
    invalidated_ = true;
    holdMediaKeys(false);
  }
  std::shared_ptr<RunLoopSource> createRunLoopSource() override;

  // Whether the tap's connection broke (the server went away).
  bool broken() const;
  int fd() const;
  // Reads every waiting event and hands the wanted ones to the callback.
  void dispatch();

  X11Tap(std::unique_ptr<X11Connection> connection, std::uint64_t mask, EventTapCallback callback,
         std::shared_ptr<PostedKeys> posted);

 private:
  void findXTestDevices();
  void handleRawKey(std::uint8_t key, bool press, std::uint16_t sourceDevice, std::uint32_t time);
  // Posts the callback's replacement of a grabbed media key and notes the decision for the press
  // that the grab holds.
  void decideGrabbed(std::uint8_t key, bool press, const Event& returned);
  // A press that the grab froze the keyboard on: consumed or replayed.
  void releaseFrozenPress(std::uint8_t key);
  std::optional<Event> translate(std::uint8_t key, bool press, bool repeat) const;
  std::uint64_t modifierFlags() const;

  std::unique_ptr<X11Connection> connection_;
  const std::uint64_t mask_;
  const EventTapCallback callback_;
  const std::shared_ptr<PostedKeys> posted_;
  std::uint8_t xinputOpcode_ = 0;
  std::vector<std::uint16_t> xtestDevices_;
  std::set<std::uint8_t> down_;  // tap thread only
  std::atomic<bool> enabled_{false};
  std::atomic<bool> invalidated_{false};
  std::atomic<bool> grabbing_{false};
  std::map<std::uint8_t, bool> decided_;  // tap thread: grabbed presses to consume (true)
  std::set<std::uint8_t> replaced_;       // tap thread: held media keys being replaced
};

// The run loop of a tap thread: polls the descriptors of its tap sources and a wake-up
// descriptor for stop().
class X11RunLoop final : public RunLoop {
 public:
  static std::shared_ptr<X11RunLoop> create();
  explicit X11RunLoop(int wakeFd) : wakeFd_(wakeFd) {}
  ~X11RunLoop() override;

  void addSource(const std::shared_ptr<RunLoopSource>& source) override;
  void removeSource(const std::shared_ptr<RunLoopSource>& source) override;
  void runFor(double seconds) override;
  void stop() override;

 private:
  void dispatchAll();

  const int wakeFd_;
  std::vector<std::shared_ptr<X11Tap>> taps_;  // loop thread only
};

}  // namespace virelo::x11
