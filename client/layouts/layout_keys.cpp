// Key names and chords in a keyboard layout: the look-ups of keys.h with the layout's plain keys,
// and XKB keysym names.
#include <xkbcommon/xkbcommon.h>

#include "key_lookup.h"
#include "virelo/client/layouts.h"

namespace virelo::client {
namespace {

// The media keys that XKB names, as consumer usages.
std::optional<int> mediaOfKeysym(xkb_keysym_t keysym) {
  switch (keysym) {
    case XKB_KEY_XF86AudioMute:
      return media::mute;
    case XKB_KEY_XF86AudioRaiseVolume:
      return media::volumeUp;
    case XKB_KEY_XF86AudioLowerVolume:
      return media::volumeDown;
    case XKB_KEY_XF86AudioPlay:
    case XKB_KEY_XF86AudioPause:
      return media::playPause;
    case XKB_KEY_XF86AudioNext:
      return media::nextTrack;
    case XKB_KEY_XF86AudioPrev:
      return media::previousTrack;
    default:
      return std::nullopt;
  }
}

xkb_keysym_t keysymNamed(std::string_view part) {
  const std::string name(part);
  xkb_keysym_t keysym = xkb_keysym_from_name(name.c_str(), XKB_KEYSYM_NO_FLAGS);
  if (keysym == XKB_KEY_NoSymbol) {
    keysym = xkb_keysym_from_name(name.c_str(), XKB_KEYSYM_CASE_INSENSITIVE);
  }
  return keysym;
}

// Adds the key or media key that an XKB keysym name gives; false when it gives none.
bool addKeysym(Chord& chord, std::string_view part, const KeyboardLayout& layout) {
  const xkb_keysym_t keysym = keysymNamed(part);
  if (keysym == XKB_KEY_NoSymbol) return false;
  if (auto usage = mediaOfKeysym(keysym)) {
    chord.media.insert(*usage);
    return true;
  }
  auto stroke = layout.keysymKey(keysym);
  if (!stroke) return false;
  chord.keys.insert(stroke->usage);
  chord.modifiers |= stroke->modifiers;
  return true;
}

}  // namespace

std::optional<int> keyUsage(std::string_view name, const KeyboardLayout& layout) {
  return keyUsageWith(name, [&layout](char32_t c) { return layout.plainKey(c); });
}

Chord parseChord(std::string_view text, const KeyboardLayout& layout) {
  return parseChordWith(
      text, [&layout](std::string_view name) { return keyUsage(name, layout); },
      [&layout](std::string_view name, Chord& chord) { return addKeysym(chord, name, layout); });
}

}  // namespace virelo::client
