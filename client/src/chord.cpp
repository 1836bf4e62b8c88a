#include "virelo/client/chord.h"

#include <xkbcommon/xkbcommon.h>

#include <string>

#include "virelo/client/input_state.h"
#include "virelo/client/key_names.h"
#include "virelo/client/keyboard_layout.h"
#include "virelo/client/unknown_key_name.h"

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

Chord parseChord(std::string_view text) {
  return parseChord(text, KeyboardLayout::us());
}

Chord parseChord(std::string_view text, const KeyboardLayout& layout) {
  Chord chord;
  std::size_t start = 0;
  for (;;) {
    std::size_t plus = text.find('+', start);
    std::string_view part =
        text.substr(start, plus == std::string_view::npos ? plus : plus - start);
    if (auto bit = modifierBit(part)) {
      chord.modifiers |= *bit;
    } else if (auto usage = keyUsage(part, layout)) {
      chord.keys.insert(*usage);
    } else if (auto mediaKey = mediaUsage(part)) {
      chord.media.insert(*mediaKey);
    } else if (part.empty() || !addKeysym(chord, part, layout)) {
      throw UnknownKeyName(std::string(part));
    }
    if (plus == std::string_view::npos) break;
    start = plus + 1;
  }
  return chord;
}

}  // namespace virelo::client
