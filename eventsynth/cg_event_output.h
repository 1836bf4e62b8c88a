// The "cgevent" backend: turns the bridge's merged HID reports into window-server events, posting
// only the transitions against what it has already posted. Keyboard: key-downs and key-ups,
// modifier, Fn and caps-lock changes as flags-changed events, auto-repeat of the last pressed key
// on the tick. Pointer: button presses with the platform's click count, moves and drags kept on
// the displays, line scrolls. Media keys as system-defined events. Owns the Fn and media key tap.
//
// A release posted while the posting permission is gone is dropped by the platform, which may then
// still hold what was released: such releases are owed and posted again once posting works (on
// the next repeat tick or release of everything), unless the same input is held again by then.
//
// Every keyboard, mouse and scroll event gets the flags word of the state at posting time (caps
// lock, the virtual or hardware Fn, the held modifiers); keyboard and media events carry
// FnEventBridge::kEventTag in field 42 so that the tap lets them through.
//
// Threads: every operation on the main thread; the owned FnEventBridge shares its state with the
// tap thread under its own lock.
#pragma once

#include <array>
#include <cstdint>
#include <initializer_list>
#include <map>
#include <optional>
#include <set>
#include <span>

#include "eventsynth/event_output.h"
#include "fntap/fn_event_bridge.h"
#include "platform/event_services.h"
#include "platform/input_codes.h"

namespace virelo {

class CGEventOutput final : public EventOutput {
 public:
  static constexpr std::uint64_t kScreensRefreshNS = 2000000000;
  static constexpr std::size_t kMaxDisplays = 16;
  static constexpr double kClickRadius = 4.0;
  static constexpr int kMaxClickCount = 3;

  // HID keyboard usage (page 7) -> virtual key code; 103 entries.
  static const std::map<int, std::uint16_t>& keycodes();
  // Consumer usage -> the platform's auxiliary-control key type.
  static const std::map<int, int>& mediaKeys();

  // `services` must outlive this object: destroying it stops the tap and joins its thread, which
  // may still post. `tapClock` paces the tap thread (real time unless a test passes its own).
  // Reports shorter than the bridge's (33, 4 and 1 bytes) read their missing bytes as 0, so an
  // empty report releases everything of its kind.
  explicit CGEventOutput(EventServices& services, FnTapClock tapClock = FnTapClock::system());

  bool permitted() override;
  void keyboard(std::span<const std::uint8_t> report, bool fn, std::uint64_t now) override;
  void consumer(std::span<const std::uint8_t> report) override;
  void pointing(std::span<const std::uint8_t> report, std::uint64_t now, bool snap) override;
  void repeatTick(std::uint64_t now) override;
  std::optional<Point> cursorLocation() override;
  void moveCursor(Point to) override;
  void releaseAll() override;
  void setSnapStep(SnapStep step) override;
  void startTap() override;
  void stopTap() override;
  FnSnapshot fnSnapshot() override;

  // Forgets everything held without posting (releases still owed to the system are kept).
  void discardState();
  FnEventBridge& fnBridge() { return fnBridge_; }

  // Keeps a point on the displays: unchanged when some display contains it (or there are none),
  // otherwise clamped into the display nearest to `from` (ties keep the earlier display).
  static Point onScreen(Point point, Point from, std::span<const Rect> screens);

 private:
  struct FieldSetting {
    int field;
    std::int64_t value;
  };

  std::uint64_t eventFlags();
  // Posts an event the platform made, with the given field values; `stamp` gives it the flags word
  // of the state at posting time. Throws CGOutputFailure when the platform made none.
  void postEvent(std::optional<Event> event, std::initializer_list<FieldSetting> fields,
                 bool stamp = true);
  // The steps of keyboard(): the key codes the report holds, then releases before presses.
  static std::set<std::uint16_t> wantedKeys(std::span<const std::uint8_t> report);
  void releaseKeys(const std::set<std::uint16_t>& wanted);
  void releaseModifiers(int m);
  void changeFn(bool fn);
  void pressModifiers(int m);
  void pressKeys(const std::set<std::uint16_t>& wanted, std::uint64_t now);
  // The steps of pointing(): button changes, then the move (a drag while a button is held).
  void changeButtons(int b, std::uint64_t now);
  void moveBy(int dx, int dy, std::uint64_t now, bool snap);
  void postKey(std::uint16_t code, bool down, bool flagsChanged, bool repeat = false);
  void postMedia(int usage, bool down);
  Point currentPosition();
  // Posts a press or release of button 0-2 at the cursor; a press counts clicks. Throws
  // CGOutputFailure.
  void postButton(int button, bool press, std::uint64_t now);
  // Called right after a release was posted: remembers it as owed when posting was not allowed.
  void noteKeyRelease(std::uint16_t code, bool flagsChanged);
  void noteButtonRelease(int bit);
  void noteMediaRelease(int usage);
  // Posts the owed releases of what is not held again, when posting is allowed. Throws
  // CGOutputFailure.
  void postOwedReleases();
  bool holdsKey(std::uint16_t code) const;
  int clickCount(int button, Point position, std::uint64_t now);
  void refreshScreens(std::uint64_t now);

  EventServices& services_;
  FnEventBridge fnBridge_;
  std::int64_t modifiers_ = 0;
  bool fnHeld_ = false;
  std::set<std::uint16_t> keys_;
  int buttons_ = 0;
  std::set<int> consumers_;
  std::optional<std::uint16_t> repeatKey_;
  std::uint64_t repeatAt_ = 0;
  bool capsLocked_ = false;
  // Owed key releases by key code, each with whether it was posted as a flags-changed event.
  std::map<std::uint16_t, bool> owedKeys_;
  int owedButtons_ = 0;
  std::set<int> owedMedia_;
  std::array<std::uint64_t, 3> clickTimes_{};
  std::array<Point, 3> clickPoints_{};
  std::array<int, 3> clickCounts_{};
  SnapStep snapStep_;
  std::vector<Rect> screens_;
  std::uint64_t screensAt_ = 0;
};

}  // namespace virelo
