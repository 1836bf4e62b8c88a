// The window server of the simulated host: event creation and posting, the session's event taps
// with their run loops, the posting and listening permissions, the keyboard and mouse settings,
// the display list, the cursor and caps lock.
//
// Posting: an event posted at the HID tap passes every installed and enabled session tap whose
// mask takes its type, newest first, each on its own tap thread (delivered into that tap's run
// loop; the poster waits until the callback has returned). A tap that does not answer within the
// tap timeout (1 s) is disabled like the real system does and receives the timeout notification
// when its loop runs again; the event goes on. Then mouse events move the cursor and each press
// of the caps-lock key toggles caps lock, whether posted or from the hardware (each source's
// flags-changed events for that key alternate press and release). Without the posting permission
// posted events are dropped; without the listening permission no tap can be created and none
// receives events.
//
// World keys: "postEventAccess", "listenEventAccess" (booleans, default true), "displays" (list of
// [x, y, width, height], default [[0, 0, 1920, 1080]]; null makes the display list fail),
// "cursor" ([x, y], default the centre of the first display), "keyRepeatDelay",
// "keyRepeatInterval", "doubleClickInterval" (seconds, a number or "nan", "inf", "-inf"; default
// 0.25, 0.03, 0.5), "capsLock" (boolean, default false), "deskScale" (pixels per logical point
// of the desk, a positive number, default 1; read by the service at its start).
// Trace: post (every posted event as it leaves the taps), post_dropped (posted without
// permission), hardware (a hardware event as it leaves the taps), tap_create, tap_refused,
// tap_enable, tap_invalidate, tap_disabled (with "reason"). Events are written as
// {"type","flags","location":[x,y],"timestamp"} plus "keycode" (keyboard), "button" (mouse),
// "fields" ({"1":N,"8":N,"42":N}, every integer field that was set), "subtype", "data1",
// "data2" (system-defined) and "wheel" ({"units":1,"value":N}, scroll).
// Control: {"request":"set", ...world keys...}; {"request":"cursor","x":X,"y":Y};
// {"request":"hardware", ...an event as in the trace...} (answers the event as it left the
// taps); {"request":"disable_tap","reason":"timeout"|"user_input"} (answers after the callbacks
// returned); {"request":"state"} (cursor, capsLock, both permissions, tapInstalled, tapEnabled).
//
// Threads: every EventServices operation from any thread; the control requests run on the
// control thread. All state is under one internal mutex that is never held while a tap callback
// runs. Objects handed out (taps, run loops) may outlive the server; they then do nothing useful.
#pragma once

#include <chrono>
#include <memory>

#include "platform/plain_event_services.h"
#include "platform/sim/sim_host.h"

namespace virelo::sim {

class SimWindowServer final : public PlainEventServices {
 public:
  static constexpr std::chrono::milliseconds kTapTimeout{1000};

  explicit SimWindowServer(SimHost& host, std::chrono::milliseconds tapTimeout = kTapTimeout);
  ~SimWindowServer() override;
  SimWindowServer(const SimWindowServer&) = delete;
  SimWindowServer& operator=(const SimWindowServer&) = delete;

  // The plain events, stamped with the time they are made at; keys and scrolls at the cursor.
  std::optional<Event> createKeyboardEvent(std::uint16_t keycode, bool down) override;
  std::optional<Event> createMouseEvent(std::uint32_t type, Point position,
                                        std::uint32_t button) override;
  std::optional<Event> createScrollWheelEvent(std::int32_t lines) override;
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

  // The trace form of an event, and back (missing keys take defaults; throws on malformed input).
  static nlohmann::json eventToJson(const Event& event);
  static Event eventFromJson(const nlohmann::json& json, Point defaultLocation);

  struct State;

 private:
  std::shared_ptr<State> state_;
};

}  // namespace virelo::sim
