// KWin on Wayland as the window server of the event services: events are posted through KWin's
// fake input (kde_fake_input.h) as the keyboard, pointer and wheel that they describe:
//   key down / up (10, 11)      press / release of the key's evdev code (kde_keys.h), by position;
//                               a key down marked as an auto-repeat (field 8) is not posted, as
//                               Wayland clients repeat a held key themselves;
//   flags changed (12)          press or release of the modifier key it names, whichever makes
//                               what this process holds match the event's flags; for caps lock
//                               the other half of what it holds; nothing for Fn, which has no key;
//   media key (14, subtype 8)   press / release of the media key (repeats not posted);
//   mouse (1-7, 25-27)          the pointer to the event's location (absolute, in the
//                               compositor's logical coordinates), then the press or release of
//                               the left, right or middle button;
//   scroll (22)                 one wheel click on the vertical axis per line.
//
// The compositor does not tell where the pointer is: the cursor is the place this process last
// put it, the centre of the first output before it placed it. No tap can watch the hardware
// keyboard under Wayland, and createTap() says so by giving none (the Fn state reports the bridge
// not ready). Permissions: posting and listening are permitted while the compositor offers fake
// input to this program; a lost compositor is an ordinary state, and the next permission check
// that finds it back connects again (at most every kReconnectInterval). Connecting runs on a thread
// of its own: the constructor waits for it up to FakeInput::kOpenWait, a permission check at most
// kReconnectWait, and a later check looks at the same attempt again.
//
// Threads: every operation from any thread; one internal leaf mutex guards the connection.
#pragma once

#include <chrono>
#include <future>
#include <map>
#include <memory>
#include <mutex>
#include <string>

#include "platform/post_by_kind.h"
#include "platform/tapless_event_services.h"

namespace virelo::kde {

class FakeInput;

class KdeWindowServer final : public TaplessEventServices {
 public:
  static constexpr std::chrono::milliseconds kReconnectInterval{200};
  static constexpr std::chrono::milliseconds kReconnectWait{100};
  // Compositor units of one wheel click (libinput's 15 degrees).
  static constexpr double kWheelClick = 15;

  // `display` as in $WAYLAND_DISPLAY; empty: no compositor, nothing is ever permitted.
  explicit KdeWindowServer(std::string display);
  ~KdeWindowServer() override;

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

 private:
  // The connection, connecting again first when it was lost (under mutex_).
  FakeInput* connected();
  // Takes the connection of an attempt that ended within `wait` (under mutex_).
  void takeOpened(std::chrono::milliseconds wait);
  // The handlers of post() for each kind of event (post_by_kind.h), under mutex_.
  template <typename P, typename T>
  friend void virelo::postByKind(P& poster, T& target, const Event& event);
  void postKey(FakeInput& input, const Event& event);
  void postFlagsChange(FakeInput& input, const Event& event);
  void postMedia(FakeInput& input, const Event& event);
  void postScroll(FakeInput& input, const Event& event);
  void postMouse(FakeInput& input, const Event& event);

  const std::string display_;
  std::mutex mutex_;
  std::unique_ptr<FakeInput> input_;                   // under mutex_
  std::future<std::unique_ptr<FakeInput>> opening_;    // under mutex_
  std::chrono::steady_clock::time_point lastAttempt_;  // under mutex_
  std::optional<Point> cursor_;                        // under mutex_
  // The modifier and caps-lock keys this process holds, virtual key code to evdev code.
  std::map<std::uint16_t, std::uint16_t> modifiers_;  // under mutex_
};

}  // namespace virelo::kde
