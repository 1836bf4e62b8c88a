// A keyboard layout compiled from the XKB data: which keys, with which modifiers, type each
// character. Built once per layout and kept; reading it afterwards is a table look-up. A layout
// does not change once built, so any thread may use it.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "virelo/client/keystroke.h"
#include "virelo/client/layout_name.h"

namespace virelo::client {

class KeyboardLayout {
 public:
  // The keystrokes of every typable character: one for a key (with shift and/or AltGr), two for a
  // dead key followed by the key it composes with.
  using Table = std::unordered_map<char32_t, std::vector<Keystroke>>;
  // The key (and the modifiers of its level) of every XKB keysym the layout's keys give.
  using KeysymTable = std::unordered_map<std::uint32_t, Keystroke>;

  KeyboardLayout(std::string description, Table table, KeysymTable keysyms = {})
      : description_(std::move(description)),
        table_(std::move(table)),
        keysyms_(std::move(keysyms)) {}

  // The compiled layout of a name, compiled on first use and cached for the life of the
  // process. Throws UnknownLayout when the XKB data does not have it. Thread-safe.
  static std::shared_ptr<const KeyboardLayout> named(const LayoutName& name);
  // The US layout ("us" with the "evdev" rules), the default of typing and key names.
  static const KeyboardLayout& us();

  // How the layout was chosen, for messages: "de", "us(intl)", "X server: German", ...
  const std::string& description() const { return description_; }

  // The keystrokes that type one character, or nullptr when the layout cannot type it.
  const std::vector<Keystroke>* keystrokes(char32_t character) const;
  // The keystrokes of a UTF-8 text, in order. Throws UntypableText naming every character the
  // layout cannot type (and every byte that is not valid UTF-8) before anything is returned.
  std::vector<Keystroke> keystrokes(std::string_view text) const;
  // The key that types the character without modifiers, or nullopt.
  std::optional<int> plainKey(char32_t character) const;
  // The key that gives the XKB keysym (e.g. XKB_KEY_Page_Up), with the modifiers of its level;
  // the cheapest when several do. nullopt when no key of the layout gives it.
  std::optional<Keystroke> keysymKey(std::uint32_t keysym) const;
  // Every keysym the layout's keys give, with its key.
  const KeysymTable& keysyms() const { return keysyms_; }

 private:
  std::string description_;
  Table table_;
  KeysymTable keysyms_;
};

}  // namespace virelo::client
