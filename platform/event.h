// A window-server event as the event services hand it out: created by EventServices, changed in
// place by its owner, then posted or returned from a tap callback. A plain value: copying it copies
// the event. "No event object" is an empty std::optional<Event>.
#pragma once

#include <cstdint>
#include <map>

#include "platform/geometry.h"

namespace virelo {

// Event types.
inline constexpr std::uint32_t kEventLeftMouseDown = 1;
inline constexpr std::uint32_t kEventLeftMouseUp = 2;
inline constexpr std::uint32_t kEventRightMouseDown = 3;
inline constexpr std::uint32_t kEventRightMouseUp = 4;
inline constexpr std::uint32_t kEventMouseMoved = 5;
inline constexpr std::uint32_t kEventLeftMouseDragged = 6;
inline constexpr std::uint32_t kEventRightMouseDragged = 7;
inline constexpr std::uint32_t kEventKeyDown = 10;
inline constexpr std::uint32_t kEventKeyUp = 11;
inline constexpr std::uint32_t kEventFlagsChanged = 12;
inline constexpr std::uint32_t kEventSystemDefined = 14;
inline constexpr std::uint32_t kEventScrollWheel = 22;
inline constexpr std::uint32_t kEventOtherMouseDown = 25;
inline constexpr std::uint32_t kEventOtherMouseUp = 26;
inline constexpr std::uint32_t kEventOtherMouseDragged = 27;
// Notifications a tap callback receives when the system disabled the tap.
inline constexpr std::uint32_t kEventTapDisabledByTimeout = 0xFFFFFFFE;
inline constexpr std::uint32_t kEventTapDisabledByUserInput = 0xFFFFFFFF;
// The key state of a media key's system-defined event (bits 8 to 15 of its data1).
inline constexpr int kMediaKeyDown = 0x0A;
inline constexpr int kMediaKeyUp = 0x0B;

// Integer fields.
inline constexpr int kFieldMouseClickState = 1;
inline constexpr int kFieldKeyboardAutorepeat = 8;
inline constexpr int kFieldKeyboardKeycode = 9;
inline constexpr int kFieldSourceUserData = 42;

// Flag bits.
inline constexpr std::uint64_t kFlagAlphaShift = 0x10000;
inline constexpr std::uint64_t kFlagShift = 0x20000;
inline constexpr std::uint64_t kFlagControl = 0x40000;
inline constexpr std::uint64_t kFlagAlternate = 0x80000;
inline constexpr std::uint64_t kFlagCommand = 0x100000;
inline constexpr std::uint64_t kFlagSecondaryFn = 0x800000;

// Subtype of the system-defined events that carry the auxiliary control (media) keys.
inline constexpr std::int16_t kSubtypeAuxControlButtons = 8;

inline constexpr bool isKeyboardEventType(std::uint32_t type) {
  return type == kEventKeyDown || type == kEventKeyUp || type == kEventFlagsChanged;
}
inline constexpr bool isMouseEventType(std::uint32_t type) {
  return (type >= kEventLeftMouseDown && type <= kEventRightMouseDragged) ||
         (type >= kEventOtherMouseDown && type <= kEventOtherMouseDragged);
}

// Units of a scroll event.
enum class ScrollUnits { pixels = 0, lines = 1 };

struct Event {
  std::uint32_t type = 0;
  std::uint64_t flags = 0;
  Point location;
  std::uint64_t timestamp = 0;
  // Keyboard events: the virtual key code (integer field 9).
  std::uint16_t keycode = 0;
  // Mouse events: the mouse button number.
  std::uint32_t button = 0;
  // System-defined events.
  std::int16_t subtype = 0;
  std::int64_t data1 = 0;
  std::int64_t data2 = 0;
  // Scroll events: units and the value of the one wheel.
  ScrollUnits wheelUnits = ScrollUnits::lines;
  std::int32_t wheelValue = 0;
  // The integer fields that were set on the event, field 9 excepted (it is `keycode`).
  std::map<int, std::int64_t> fields;

  // The value of an integer field; 0 when it was never set.
  std::int64_t field(int f) const {
    if (f == kFieldKeyboardKeycode) return keycode;
    auto it = fields.find(f);
    return it == fields.end() ? 0 : it->second;
  }
  void setField(int f, std::int64_t value) {
    if (f == kFieldKeyboardKeycode) {
      keycode = static_cast<std::uint16_t>(value);
    } else {
      fields[f] = value;
    }
  }

  friend bool operator==(const Event&, const Event&) = default;
};

// What the application layer reads from a system-defined event.
struct SystemDefinedData {
  std::int16_t subtype = 0;
  std::int64_t data1 = 0;
};

// The arguments of a system-defined event.
struct SystemDefinedEventArgs {
  Point location;
  std::uint64_t modifierFlags = 0;
  std::uint64_t timestamp = 0;
  std::int64_t windowNumber = 0;
  std::int16_t subtype = 0;
  std::int64_t data1 = 0;
  std::int64_t data2 = 0;
};

// The system-defined event the arguments describe, as every window server creates it.
inline Event systemDefinedEvent(const SystemDefinedEventArgs& args) {
  Event e;
  e.type = kEventSystemDefined;
  e.location = args.location;
  e.flags = args.modifierFlags;
  e.timestamp = args.timestamp;
  e.subtype = args.subtype;
  e.data1 = args.data1;
  e.data2 = args.data2;
  return e;
}

}  // namespace virelo
