// The event services of a window server whose events are plain values (event.h): creating an
// event fills in the record and never fails, and a system-defined event's data is read from it.
// The window servers derive from this and supply the rest of EventServices themselves.
//
// Threads: the factories touch no state of their own, so any thread.
#pragma once

#include "platform/event_services.h"

namespace virelo {

class PlainEventServices : public EventServices {
 public:
  std::optional<Event> createKeyboardEvent(std::uint16_t keycode, bool down) override;
  std::optional<Event> createMouseEvent(std::uint32_t type, Point position,
                                        std::uint32_t button) override;
  std::optional<Event> createScrollWheelEvent(std::int32_t lines) override;
  std::optional<Event> createSystemDefinedEvent(const SystemDefinedEventArgs& args) override;
  std::optional<SystemDefinedData> systemDefinedData(const Event& event) override;
};

}  // namespace virelo
