// An active event tap at the session level. The services call its callback on the thread whose
// run loop serves the tap's source, with each matching event; the callback returns the event to
// let through (the same one, changed or not, or a replacement). When the system disables the
// tap, the callback receives the notification type kEventTapDisabledByTimeout or
// kEventTapDisabledByUserInput with an empty event.
//
// Threads: every operation on the tap's own thread, except enable(), which may also be called
// from inside its callback.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>

#include "platform/event.h"
#include "platform/run_loop.h"

namespace virelo {

using EventTapCallback = std::function<Event(std::uint32_t type, Event event)>;

class EventTap {
 public:
  virtual ~EventTap() = default;
  virtual void enable(bool on) = 0;
  // The tap receives nothing more; a later enable() has no effect.
  virtual void invalidate() = 0;
  // A source to add to a run loop; nullptr when it cannot be created.
  virtual std::shared_ptr<RunLoopSource> createRunLoopSource() = 0;
};

}  // namespace virelo
