// Input codes that several layers speak: the HID consumer usages of the media device, the window
// server's virtual key codes of the keys the service treats by name, and its auxiliary-control
// key types (the media keys that system-defined events carry in data1). Plain constants.
#pragma once

#include <array>
#include <cstdint>

#include "virelo/protocol/usages.h"

namespace virelo {

// Mute, Volume Increment, Volume Decrement, Play/Pause, Scan Next Track, Scan Previous Track
// (HID consumer page 0x0C): the order of the consumer descriptor and the bit order of the
// consumer report.
inline constexpr std::array<int, 6> consumerUsages = protocol::kConsumerUsages;

// Virtual key codes.
inline constexpr std::uint16_t kFnKeycode = 63;
inline constexpr std::uint16_t kCapsLockKeycode = 57;
// F1 to F20, by number: functionKeycode(1) is F1.
inline constexpr std::array<std::uint16_t, 20> kFunctionKeycodes = {
    122, 120, 99, 118, 96, 97, 98, 100, 101, 109, 103, 111, 105, 107, 113, 106, 64, 79, 80, 90};
constexpr std::uint16_t functionKeycode(std::size_t number) {
  return kFunctionKeycodes[number - 1];
}

// The eight modifier keys in the bit order of a keyboard report's modifier byte (left control,
// shift, option, command, then the right ones): their virtual key codes, and the flags each sets
// (the generic flag plus its side-specific device bit).
inline constexpr std::array<std::uint16_t, 8> kModifierKeycodes = {59, 56, 58, 55, 62, 60, 61, 54};
inline constexpr std::array<std::uint64_t, 8> kModifierMasks = {
    0x40001, 0x20002, 0x80020, 0x100008, 0x42000, 0x20004, 0x80040, 0x100010};

// Auxiliary-control key types.
inline constexpr int kMediaKeySoundUp = 0;
inline constexpr int kMediaKeySoundDown = 1;
inline constexpr int kMediaKeyBrightnessUp = 2;
inline constexpr int kMediaKeyBrightnessDown = 3;
inline constexpr int kMediaKeyMute = 7;
inline constexpr int kMediaKeyPlay = 16;
inline constexpr int kMediaKeyNext = 17;
inline constexpr int kMediaKeyPrevious = 18;

}  // namespace virelo
