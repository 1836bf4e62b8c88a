// The window server's event services: creating, posting and tapping events, the permissions to
// post and to listen, the user's keyboard and mouse settings, the desk's scale and the display
// list. The event
// synthesis and the Fn tap reach the platform only through this interface.
//
// Threads: every operation may be called from any thread (the main loop and the tap thread use
// it concurrently); implementations synchronise themselves and never call a tap callback while
// holding a lock of their own.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

#include "platform/event.h"
#include "platform/event_tap.h"
#include "platform/geometry.h"
#include "platform/run_loop.h"

namespace virelo {

class EventServices {
 public:
  virtual ~EventServices() = default;

  // Event creation, without an event source. Each returns nullopt when no event object results.
  // A key-down (10) or key-up (11) event for the virtual key code.
  virtual std::optional<Event> createKeyboardEvent(std::uint16_t keycode, bool down) = 0;
  // A mouse event of the type at the position for the button.
  virtual std::optional<Event> createMouseEvent(std::uint32_t type, Point position,
                                                std::uint32_t button) = 0;
  // A scroll event of one wheel in line units.
  virtual std::optional<Event> createScrollWheelEvent(std::int32_t lines) = 0;
  // A system-defined event (type 14).
  virtual std::optional<Event> createSystemDefinedEvent(const SystemDefinedEventArgs& args) = 0;
  // An empty event whose location is the current cursor position.
  virtual std::optional<Event> createEvent() = 0;
  // The subtype and data1 of a system-defined event; nullopt for other events or when the
  // platform cannot read them.
  virtual std::optional<SystemDefinedData> systemDefinedData(const Event& event) = 0;

  // Posts at the HID event tap: the event enters the session as hardware input and passes every
  // session tap. Dropped by the platform without the posting permission.
  virtual void post(const Event& event) = 0;
  // The combined modifier flags of the session.
  virtual std::uint64_t combinedFlagsState() = 0;

  virtual bool postEventAccess() = 0;
  virtual bool listenEventAccess() = 0;

  // The user's settings, in seconds, as the system reports them (any double, NaN included).
  virtual double keyRepeatDelay() = 0;
  virtual double keyRepeatInterval() = 0;
  virtual double doubleClickInterval() = 0;
  // How many of the window server's pixels make one logical point of the desk: 1 on an unscaled
  // desk, 2 at 200 %. Snapping measures its sizes and distances in points.
  virtual double deskScale() = 0;

  // The bounds of the first `maxDisplays` active displays in the platform's order; nullopt when
  // the display list cannot be read.
  virtual std::optional<std::vector<Rect>> activeDisplayBounds(std::size_t maxDisplays) = 0;

  // An active tap at the head of the session taps for the event types whose bits are set in
  // `mask`; nullptr when it cannot be created. Not enabled until enable(true).
  virtual std::shared_ptr<EventTap> createTap(std::uint64_t mask, EventTapCallback callback) = 0;
  // The calling thread's run loop.
  virtual std::shared_ptr<RunLoop> currentRunLoop() = 0;
};

}  // namespace virelo
