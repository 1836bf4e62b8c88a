// What a media key's system-defined event says, as every window server reads it before it posts
// the key: the subtype is the auxiliary control buttons (8), and data1 holds the key type in bits
// 16 to 31, its state (down 0x0A, up 0x0B) in bits 8 to 15 and the repeat flag in bit 0.
#pragma once

#include <cstdint>
#include <optional>

#include "platform/event.h"

namespace virelo {

struct MediaKeyChange {
  // The auxiliary-control key type (input_codes.h).
  int keyType = 0;
  bool down = false;
};

// The press or release of the event's media key; nullopt for another subtype, another state and
// for a repeat, which is never posted.
inline std::optional<MediaKeyChange> mediaKeyChange(const Event& event) {
  if (event.subtype != kSubtypeAuxControlButtons) return std::nullopt;
  const auto data1 = static_cast<std::uint32_t>(event.data1);
  const int state = static_cast<int>((data1 >> 8) & 0xFF);
  if ((state != kMediaKeyDown && state != kMediaKeyUp) || (data1 & 1) != 0) return std::nullopt;
  return MediaKeyChange{static_cast<int>((data1 >> 16) & 0xFFFF), state == kMediaKeyDown};
}

}  // namespace virelo
