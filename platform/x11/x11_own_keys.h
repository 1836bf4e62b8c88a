// The modifier and caps-lock keys that this process holds down on the server's XTEST keyboard,
// each virtual key code with the X key it pressed. The XTEST keyboard is one device shared by
// every XTEST client and merged with the user's keyboards into the core keyboard, so the core
// keyboard's state (QueryKeymap) cannot tell what this process still has to release: the user
// may have pressed and released the same key meanwhile. The flags changes of the event synthesis
// are therefore carried out against this record alone.
//
// Two virtual keys may stand for one X key (both option keys on a keymap with one Alt key): the
// X key is pressed with the first of them and released with the last.
//
// Threads: guarded by the connection's posting mutex (X11Connection::postMutex()).
#pragma once

#include <cstdint>
#include <map>
#include <optional>

namespace virelo::x11 {

class OwnKeys {
 public:
  // The X key that the virtual key holds down; nullopt when it holds none.
  std::optional<std::uint8_t> held(std::uint16_t code) const {
    auto it = held_.find(code);
    if (it == held_.end()) return std::nullopt;
    return it->second;
  }
  // Records the press; true when the X key is not yet down for another virtual key (post it).
  bool press(std::uint16_t code, std::uint8_t key) {
    const bool first = !holds(key);
    held_[code] = key;
    return first;
  }
  // Records the release; the X key to release when no other virtual key holds it.
  std::optional<std::uint8_t> release(std::uint16_t code) {
    auto it = held_.find(code);
    if (it == held_.end()) return std::nullopt;
    const std::uint8_t key = it->second;
    held_.erase(it);
    if (holds(key)) return std::nullopt;
    return key;
  }

 private:
  bool holds(std::uint8_t key) const {
    for (const auto& [code, held] : held_) {
      if (held == key) return true;
    }
    return false;
  }

  std::map<std::uint16_t, std::uint8_t> held_;
};

}  // namespace virelo::x11
