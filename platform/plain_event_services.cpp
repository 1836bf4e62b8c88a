#include "platform/plain_event_services.h"

namespace virelo {

std::optional<Event> PlainEventServices::createKeyboardEvent(std::uint16_t keycode, bool down) {
  Event event;
  event.type = down ? kEventKeyDown : kEventKeyUp;
  event.keycode = keycode;
  return event;
}

std::optional<Event> PlainEventServices::createMouseEvent(std::uint32_t type, Point position,
                                                          std::uint32_t button) {
  Event event;
  event.type = type;
  event.location = position;
  event.button = button;
  return event;
}

std::optional<Event> PlainEventServices::createScrollWheelEvent(std::int32_t lines) {
  Event event;
  event.type = kEventScrollWheel;
  event.wheelUnits = ScrollUnits::lines;
  event.wheelValue = lines;
  return event;
}

std::optional<Event> PlainEventServices::createSystemDefinedEvent(
    const SystemDefinedEventArgs& args) {
  return systemDefinedEvent(args);
}

std::optional<SystemDefinedData> PlainEventServices::systemDefinedData(const Event& event) {
  if (event.type != kEventSystemDefined) return std::nullopt;
  return SystemDefinedData{event.subtype, event.data1};
}

}  // namespace virelo
