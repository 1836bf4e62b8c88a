// The state of the virtual keyboard that the wlroots window server types with: its keymap (the
// user's layout, from the XKB_DEFAULT_* variables that the compositor reads for its own keyboards
// too, else the keymap's defaults), and the keys and modifiers it holds. A virtual keyboard tells
// the compositor its modifiers itself, so each press and release goes through an XKB state here
// and says when the modifiers changed.
//
// Threads: not synchronised; the window server serialises every call.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <set>
#include <string>

namespace virelo::wlroots {

struct Modifiers {
  std::uint32_t depressed = 0;
  std::uint32_t latched = 0;
  std::uint32_t locked = 0;
  std::uint32_t group = 0;
  friend bool operator==(const Modifiers&, const Modifiers&) = default;
};

class WlrootsKeyboard {
 public:
  // Throws std::runtime_error when no keymap can be compiled (no XKB data installed).
  WlrootsKeyboard();
  ~WlrootsKeyboard();
  WlrootsKeyboard(const WlrootsKeyboard&) = delete;
  WlrootsKeyboard& operator=(const WlrootsKeyboard&) = delete;

  // The keymap in the text form a Wayland keyboard sends.
  const std::string& keymap() const { return keymap_; }
  // Takes the press or release of the evdev key; the new modifiers when they changed. A press of
  // a key already held, or a release of one not held, changes nothing.
  std::optional<Modifiers> key(std::uint32_t evdev, bool press);
  bool held(std::uint32_t evdev) const { return held_.count(evdev) != 0; }
  // The event services' modifier flags of what is held and locked (shift, control, option,
  // command, caps lock).
  std::uint64_t flags() const;
  // Forgets every held key and lock (a new virtual keyboard starts empty).
  void reset();

 private:
  struct Xkb;
  std::unique_ptr<Xkb> xkb_;
  std::string keymap_;
  std::set<std::uint32_t> held_;
  Modifiers modifiers_;
};

}  // namespace virelo::wlroots
