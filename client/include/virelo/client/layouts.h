// Typing with keyboard layouts, on libxkbcommon and the layouts of xkb-data (the library
// Virelo::layouts, component Layouts): layout names, layouts compiled from the XKB data, key names
// and chords in a layout, and typing a text through a Client.
#pragma once

#include <chrono>
#include <compare>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "virelo/client/client.h"
#include "virelo/client/errors.h"
#include "virelo/client/keys.h"
#include "virelo/client/session.h"

namespace virelo::client {

// The name of an XKB keyboard layout: rules, model, layout, variant and options, as given to
// setxkbmap (for example layout "fr" with variant "azerty").
struct LayoutName {
  std::string rules = "evdev";
  std::string model = "pc105";
  std::string layout = "us";
  std::string variant;
  std::string options;

  auto operator<=>(const LayoutName&) const = default;
};

// Reads "LAYOUT" or "LAYOUT(VARIANT)", e.g. "de" or "us(intl)"; throws UnknownLayout when the
// text is empty or malformed.
LayoutName parseLayoutName(std::string_view text);

// "LAYOUT" or "LAYOUT(VARIANT)", followed by "[options]" when options are set.
std::string describe(const LayoutName& name);

// A layout or variant that the XKB layout registry (xkb-data) knows: its name as
// parseLayoutName() reads it ("de", "de(nodeadkeys)") and its description ("German (no dead
// keys)").
struct KnownLayout {
  std::string name;
  std::string description;

  bool operator==(const KnownLayout&) const = default;
};

// Every layout and variant of the registry, in the registry's order. libxkbregistry (with libxml2
// behind it) is opened on the first call only, so that a program that never lists layouts never
// loads it. Throws Error when the library is not installed or the registry cannot be read.
std::vector<KnownLayout> knownLayouts();

// The name that XKB_DEFAULT_RULES, _MODEL, _LAYOUT, _VARIANT and _OPTIONS give, each unset or
// empty one keeping its default (rules "evdev", model "pc105", layout "us").
LayoutName layoutNameFromEnvironment(const EnvironmentLookup& environment);

// One key of a typed text: a keyboard usage and the modifiers held with it.
struct Keystroke {
  int usage = 0;
  // Modifier bits (see modifier:: in client.h): left shift for the shift level, right alt for
  // AltGr.
  std::uint8_t modifiers = 0;

  bool operator==(const Keystroke&) const = default;
};

// A keyboard layout compiled from the XKB data: which keys, with which modifiers, type each
// character. Built once per layout and kept; reading it afterwards is a table look-up. A layout
// does not change once built, so any thread may use it.
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
  // The US layout ("us" with the "evdev" rules), the default of typeText(). Its one-character key
  // names are those of keyUsage(name) in keys.h.
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

// The keyboard usage of a key name as keyUsage(name) in keys.h, except that a name of one
// character names the key that types it without modifiers in the layout ("ü" on "de"; upper-case
// ASCII letters name their lower-case key).
std::optional<int> keyUsage(std::string_view name, const KeyboardLayout& layout);
// Parses a chord as parseChord(text) in keys.h, one-character key names in the layout, and also
// XKB keysym names ("Page_Up", "KP_Enter", "XF86AudioRaiseVolume", "exclam"; exact case first,
// then any case): each the key of the layout that gives it, with the modifiers of its level, or
// for the XF86Audio keysyms the media key. Throws UnknownKeyName for a part that is none of these,
// including an empty part.
Chord parseChord(std::string_view text, const KeyboardLayout& layout);

// Types the UTF-8 text with the layout: for every character, presses the modifiers it needs
// (left shift, right alt for AltGr), presses and releases the key, and lets the modifiers go when
// the next key does not need them; a dead key and the key it composes with are typed the same
// way, one after the other. Modifiers and other keys the client already holds stay held (a held
// key that the text types is released first, so that it goes down again, and ends up released);
// with a shift key already held, letters come out in upper case. The whole text is checked first:
// characters the layout cannot type throw UntypableText, naming each, before anything is sent;
// so do characters that need a key the service's backend cannot post (with "cgevent", as hello()
// reported it: the ISO key left of Z, usage 0x64, which types "<" and ">" in German, and the
// non-US hash key, 0x32).
// Errors of the client (ProtocolError, ConnectionLost, ...) pass through.
void typeText(Client& client, std::string_view text, const KeyboardLayout& layout);

// Pacing for applications that drop fast input: how long each key is held, and the pause after
// each keystroke before the next. Zero is the fastest the service takes.
struct TypePacing {
  std::chrono::microseconds hold{0};
  std::chrono::microseconds delay{0};
};
// The same, paced.
void typeText(Client& client, std::string_view text, const KeyboardLayout& layout,
              TypePacing pacing);
// The same, with `between` called between the steps of the typing (before each keyboard state, or
// each batch of at most 64 states when unpaced) and at least every 20 ms of a pause: an exception
// it throws ends the typing, after the keys and modifiers the text holds are let go (what the
// client held before stays held), and then passes through. A binding uses it to let a pending
// interrupt end a long text.
void typeText(Client& client, std::string_view text, const KeyboardLayout& layout,
              TypePacing pacing, const std::function<void()>& between);
// The same with the US layout.
void typeText(Client& client, std::string_view text);

// Pastes the UTF-8 text instead of typing it, for characters that no key of the layout types on a
// host whose compositor's keymap decides (GNOME, KDE, wlroots): puts the whole text on the Wayland
// clipboard with wl-copy (Debian's wl-clipboard, found on $PATH; it keeps a process of its own
// that serves the text until something else takes the clipboard), which replaces what the
// clipboard held, then presses and releases ctrl+v (left control and the key that types "v" in
// the layout) through the client. The application does with ctrl+v what it does with the user's:
// most paste, a terminal (which pastes with ctrl+shift+v) does not. Throws Error before anything
// is sent when `environment` has no $WAYLAND_DISPLAY, wl-copy cannot be run, fails, or has not
// taken the clipboard within 5 s; the client's errors pass through.
void pasteText(Client& client, std::string_view text, const KeyboardLayout& layout,
               const EnvironmentLookup& environment);

}  // namespace virelo::client
