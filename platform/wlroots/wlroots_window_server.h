// A wlroots compositor (sway and its kin) as the window server of the event services. Events are
// sent through a virtual keyboard and a virtual pointer of the compositor on the Wayland display
// named at construction (wayland_link.h):
//   key down / up (10, 11)      press / release of the key's evdev code (wlroots_keys.h) on the
//                               virtual keyboard, whose keymap is the user's layout
//                               (wlroots_keyboard.h), then its modifiers when they changed; a
//                               key down marked as an auto-repeat (field 8) is not sent, since
//                               Wayland clients repeat a held key themselves;
//   flags changed (12)          press or release of the modifier key it names, whichever makes
//                               what the virtual keyboard holds match the event's flags; for caps
//                               lock the other half of what it holds; nothing for Fn;
//   media key (14, subtype 8)   press / release of the media key's evdev code (repeats not sent);
//   mouse (1-7, 25-27)          absolute motion to the event's location within the output layout,
//                               then the press or release of the button for button events;
//   scroll (22)                 one wheel click per line.
// Relative motion is absolute motion from where this host last placed the pointer (createEvent()
// tells that place): Wayland tells no client where the pointer is, so the user's own mouse
// movements are not seen. The display list and the desk's scale come from the outputs.
//
// No tap: a Wayland compositor lets no client watch the hardware keyboard, so listening is never
// permitted and createTap() gives nullptr (the Fn tap says it is not available; nothing pretends
// to watch the keys). The repeat and double-click settings are not told to clients that have no
// window: they are NaN, which the service replaces with its defaults.
//
// Posting is permitted while the compositor is reachable; a lost compositor is an ordinary state:
// events are dropped, and the next permission check connects again (at most every 200 ms, each
// attempt waiting at most 100 ms). Event objects are plain values, so creating one never fails.
//
// Threads: every operation from any thread; one internal leaf mutex serialises them.
#pragma once

#include <chrono>
#include <memory>
#include <mutex>
#include <string>

#include "platform/post_by_kind.h"
#include "platform/tapless_event_services.h"
#include "platform/wlroots/wayland_link.h"
#include "platform/wlroots/wlroots_keyboard.h"

namespace virelo::wlroots {

class WlrootsWindowServer final : public TaplessEventServices {
 public:
  static constexpr std::chrono::milliseconds kReconnectInterval{200};
  static constexpr std::chrono::milliseconds kConnectWait{100};
  static constexpr std::chrono::milliseconds kFirstConnectWait{1000};

  // `display` as in $WAYLAND_DISPLAY; empty: no display, nothing is ever permitted.
  explicit WlrootsWindowServer(std::string display);
  ~WlrootsWindowServer() override;

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
  // The link, connecting again first when the compositor was lost (under mutex_).
  WaylandLink* reconnected();
  // The link as it is, or nullptr when there is none or it broke (under mutex_).
  WaylandLink* current();
  void connect(std::chrono::milliseconds wait);
  // The handlers of post() for each kind of event (post_by_kind.h), under mutex_.
  template <typename P, typename T>
  friend void virelo::postByKind(P& poster, T& target, const Event& event);
  void postKey(WaylandLink& link, const Event& event);
  void postFlagsChange(WaylandLink& link, const Event& event);
  void postMedia(WaylandLink& link, const Event& event);
  void postScroll(WaylandLink& link, const Event& event);
  void postMouse(WaylandLink& link, const Event& event);
  // The press or release of the key on the virtual keyboard, then its modifiers when they
  // changed; nothing when the key already is in that state.
  void sendKey(WaylandLink& link, std::uint32_t evdev, bool press);

  const std::string display_;
  std::mutex mutex_;
  WlrootsKeyboard keyboard_;                           // under mutex_
  std::unique_ptr<WaylandLink> link_;                  // under mutex_
  std::chrono::steady_clock::time_point lastAttempt_;  // under mutex_
  Point cursor_;                                       // under mutex_
  bool placed_ = false;                                // under mutex_
};

}  // namespace virelo::wlroots
