// HID report descriptors and report layouts shared by both backends. No report uses a report ID.
//   keyboard input, 33 bytes: modifier bits, then 32 key slots in ascending usage order, 0-filled
//   mouse input, 4 bytes: buttons (bits 0-4), x, y, wheel as signed bytes in [-127, 127]
//   consumer input, 1 byte: bit i set while consumerUsages[i] is held
//   keyboard LED output, 1 byte: bits 0-4 (num, caps, scroll, compose, kana)
#pragma once

#include <array>
#include <bitset>
#include <cstdint>
#include <optional>

#include "platform/input_codes.h"
#include "virelo/protocol/limits.h"

namespace virelo {

inline constexpr std::size_t kKeyboardReportSize = 33;
inline constexpr std::size_t kMouseReportSize = 4;
inline constexpr std::size_t kConsumerReportSize = 1;
inline constexpr std::size_t kMaxKeys = protocol::kMaxKeys;
inline constexpr int kMaxKeyUsage = protocol::kMaxKeyUsage;

using KeyboardReport = std::array<std::uint8_t, kKeyboardReportSize>;
using MouseReport = std::array<std::uint8_t, kMouseReportSize>;
using ConsumerReport = std::array<std::uint8_t, kConsumerReportSize>;

// Keyboard/Keypad usages 1..231, as a set.
using KeySet = std::bitset<kMaxKeyUsage + 1>;
// Consumer usages held, by their index in consumerUsages.
using ConsumerSet = std::bitset<6>;

// The index of a usage in consumerUsages, or nullopt when the media device does not have it.
std::optional<std::size_t> consumerIndex(std::int64_t usage);

extern const std::array<std::uint8_t, 60> keyboardDescriptor;
extern const std::array<std::uint8_t, 52> mouseDescriptor;
extern const std::array<std::uint8_t, 35> consumerDescriptor;

KeyboardReport makeKeyboardReport(std::uint8_t modifiers, const KeySet& keys);
MouseReport makeMouseReport(std::uint8_t buttons, std::int64_t dx, std::int64_t dy,
                            std::int64_t wheel);
ConsumerReport makeConsumerReport(const ConsumerSet& consumers);

}  // namespace virelo
