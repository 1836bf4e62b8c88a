// A client's complete input state, as every command sends it: held modifiers, keys (keyboard page
// usages 1..231, at most 32), the virtual Fn flag, held media-key usages and pointer buttons.
#pragma once

#include <cstdint>
#include <set>

namespace virelo::client {

// Modifier bits of the keyboard report.
namespace modifier {
inline constexpr std::uint8_t leftCtrl = 1 << 0;
inline constexpr std::uint8_t leftShift = 1 << 1;
inline constexpr std::uint8_t leftAlt = 1 << 2;
inline constexpr std::uint8_t leftGui = 1 << 3;
inline constexpr std::uint8_t rightCtrl = 1 << 4;
inline constexpr std::uint8_t rightShift = 1 << 5;
inline constexpr std::uint8_t rightAlt = 1 << 6;
inline constexpr std::uint8_t rightGui = 1 << 7;
}  // namespace modifier

// Pointer button bits ("buttons"): bit 0 is the primary button.
namespace button {
inline constexpr int primary = 1 << 0;
inline constexpr int secondary = 1 << 1;
inline constexpr int middle = 1 << 2;
}  // namespace button

// The consumer-page usages of the media device.
namespace media {
inline constexpr int mute = 0xE2;
inline constexpr int volumeUp = 0xE9;
inline constexpr int volumeDown = 0xEA;
inline constexpr int playPause = 0xCD;
inline constexpr int nextTrack = 0xB5;
inline constexpr int previousTrack = 0xB6;
}  // namespace media

struct InputState {
  std::uint8_t modifiers = 0;
  std::set<int> keys;
  bool fn = false;
  std::set<int> media;
  int buttons = 0;

  bool empty() const {
    return modifiers == 0 && keys.empty() && !fn && media.empty() && buttons == 0;
  }
  bool operator==(const InputState&) const = default;
};

}  // namespace virelo::client
