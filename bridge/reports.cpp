#include "bridge/reports.h"

#include <algorithm>

namespace virelo {

// clang-format off
const std::array<std::uint8_t, 60> keyboardDescriptor = {
    0x05, 0x01,        // Usage Page (Generic Desktop)
    0x09, 0x06,        // Usage (Keyboard)
    0xA1, 0x01,        // Collection (Application)
    0x05, 0x07,        //   Usage Page (Keyboard/Keypad)
    0x19, 0xE0,        //   Usage Minimum (Left Control)
    0x29, 0xE7,        //   Usage Maximum (Right GUI)
    0x15, 0x00,        //   Logical Minimum (0)
    0x25, 0x01,        //   Logical Maximum (1)
    0x75, 0x01,        //   Report Size (1)
    0x95, 0x08,        //   Report Count (8)
    0x81, 0x02,        //   Input (Data, Variable, Absolute): modifier byte
    0x19, 0x00,        //   Usage Minimum (0)
    0x29, 0xE7,        //   Usage Maximum (0xE7)
    0x15, 0x00,        //   Logical Minimum (0)
    0x26, 0xE7, 0x00,  //   Logical Maximum (231)
    0x75, 0x08,        //   Report Size (8)
    0x95, 0x20,        //   Report Count (32)
    0x81, 0x00,        //   Input (Data, Array, Absolute): 32 key slots
    0x05, 0x08,        //   Usage Page (LEDs)
    0x19, 0x01,        //   Usage Minimum (Num Lock)
    0x29, 0x05,        //   Usage Maximum (Kana)
    0x15, 0x00,        //   Logical Minimum (0)
    0x25, 0x01,        //   Logical Maximum (1)
    0x75, 0x01,        //   Report Size (1)
    0x95, 0x05,        //   Report Count (5)
    0x91, 0x02,        //   Output (Data, Variable, Absolute): 5 LED bits
    0x75, 0x03,        //   Report Size (3)
    0x95, 0x01,        //   Report Count (1)
    0x91, 0x01,        //   Output (Constant): 3 filler bits
    0xC0,              // End Collection
};

const std::array<std::uint8_t, 52> mouseDescriptor = {
    0x05, 0x01,  // Usage Page (Generic Desktop)
    0x09, 0x02,  // Usage (Mouse)
    0xA1, 0x01,  // Collection (Application)
    0x09, 0x01,  //   Usage (Pointer)
    0xA1, 0x00,  //   Collection (Physical)
    0x05, 0x09,  //     Usage Page (Button)
    0x19, 0x01,  //     Usage Minimum (1)
    0x29, 0x05,  //     Usage Maximum (5)
    0x15, 0x00,  //     Logical Minimum (0)
    0x25, 0x01,  //     Logical Maximum (1)
    0x95, 0x05,  //     Report Count (5)
    0x75, 0x01,  //     Report Size (1)
    0x81, 0x02,  //     Input (Data, Variable, Absolute): 5 button bits
    0x95, 0x01,  //     Report Count (1)
    0x75, 0x03,  //     Report Size (3)
    0x81, 0x01,  //     Input (Constant): 3 filler bits
    0x05, 0x01,  //     Usage Page (Generic Desktop)
    0x09, 0x30,  //     Usage (X)
    0x09, 0x31,  //     Usage (Y)
    0x09, 0x38,  //     Usage (Wheel)
    0x15, 0x81,  //     Logical Minimum (-127)
    0x25, 0x7F,  //     Logical Maximum (127)
    0x75, 0x08,  //     Report Size (8)
    0x95, 0x03,  //     Report Count (3)
    0x81, 0x06,  //     Input (Data, Variable, Relative): X, Y, wheel
    0xC0,        //   End Collection
    0xC0,        // End Collection
};

const std::array<std::uint8_t, 35> consumerDescriptor = {
    0x05, 0x0C,  // Usage Page (Consumer)
    0x09, 0x01,  // Usage (Consumer Control)
    0xA1, 0x01,  // Collection (Application)
    0x09, 0xE2,  //   Usage (Mute)
    0x09, 0xE9,  //   Usage (Volume Increment)
    0x09, 0xEA,  //   Usage (Volume Decrement)
    0x09, 0xCD,  //   Usage (Play/Pause)
    0x09, 0xB5,  //   Usage (Scan Next Track)
    0x09, 0xB6,  //   Usage (Scan Previous Track)
    0x15, 0x00,  //   Logical Minimum (0)
    0x25, 0x01,  //   Logical Maximum (1)
    0x75, 0x01,  //   Report Size (1)
    0x95, 0x06,  //   Report Count (6)
    0x81, 0x02,  //   Input (Data, Variable, Absolute): 6 usage bits
    0x75, 0x02,  //   Report Size (2)
    0x95, 0x01,  //   Report Count (1)
    0x81, 0x01,  //   Input (Constant): 2 filler bits
    0xC0,        // End Collection
};
// clang-format on

std::optional<std::size_t> consumerIndex(std::int64_t usage) {
  for (std::size_t i = 0; i < consumerUsages.size(); ++i) {
    if (consumerUsages[i] == usage) return i;
  }
  return std::nullopt;
}

KeyboardReport makeKeyboardReport(std::uint8_t modifiers, const KeySet& keys) {
  KeyboardReport report{};
  report[0] = modifiers;
  // Stops at the last held usage rather than scanning all 231 (at most 32 are held).
  std::size_t slot = 1;
  const std::size_t end = std::min<std::size_t>(1 + keys.count(), report.size());
  for (std::size_t usage = 1; usage <= kMaxKeyUsage && slot < end; ++usage) {
    if (keys[usage]) report[slot++] = static_cast<std::uint8_t>(usage);
  }
  return report;
}

namespace {
std::uint8_t signedByte(std::int64_t v) {
  return static_cast<std::uint8_t>(
      static_cast<std::int8_t>(std::clamp<std::int64_t>(v, -127, 127)));
}
}  // namespace

MouseReport makeMouseReport(std::uint8_t buttons, std::int64_t dx, std::int64_t dy,
                            std::int64_t wheel) {
  return {buttons, signedByte(dx), signedByte(dy), signedByte(wheel)};
}

ConsumerReport makeConsumerReport(const ConsumerSet& consumers) {
  return {static_cast<std::uint8_t>(consumers.to_ulong() & 0x3F)};
}

}  // namespace virelo
