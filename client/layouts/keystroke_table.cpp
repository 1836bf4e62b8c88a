#include "keystroke_table.h"

#include <linux/input-event-codes.h>

#include <map>
#include <utility>
#include <vector>

#include "utf8.h"
#include "virelo/client/client.h"
#include "virelo/client/keys.h"
#include "xkb_handles.h"

namespace virelo::client {
namespace {

constexpr xkb_keycode_t kXkbOffset = 8;  // XKB key code = evdev code + 8
constexpr int kSpareKeyCost = 10;
constexpr int kSequenceCost = 100;

// One way to type a character, with the keysym its last key produces.
struct Way {
  std::vector<Keystroke> strokes;
  int cost = 0;
  xkb_keysym_t keysym = XKB_KEY_NoSymbol;
};

struct Combination {
  std::uint8_t modifiers;
  xkb_mod_mask_t mask;
};

// The XKB modifiers that holding the key sets in this keymap (Shift for shift, usually Mod5 for
// AltGr; plain Mod1 where right alt is an ordinary Alt, which then adds nothing).
xkb_mod_mask_t modifiersOfKey(xkb_keymap* keymap, int evdevCode) {
  XkbStatePtr state(xkb_state_new(keymap));
  xkb_state_update_key(state.get(), evdevCode + kXkbOffset, XKB_KEY_DOWN);
  return xkb_state_serialize_mods(state.get(), XKB_STATE_MODS_EFFECTIVE);
}

// Keys to use only for what no other key types: the keypad (its digits need Num Lock), and the
// keys that only some keyboards have (the ISO key beside left shift, the Japanese keys).
bool isSpareKey(int usage) {
  return (usage >= 0x54 && usage <= 0x67) || usage >= 0x85;
}

bool isDeadKey(xkb_keysym_t keysym) {
  return keysym >= XKB_KEY_dead_grave && keysym <= XKB_KEY_dead_longsolidusoverlay;
}

// The text character of a key's output: Return types a newline; other control characters
// (escape, backspace, delete) are not text.
char32_t textCharacter(char32_t c, xkb_keysym_t keysym) {
  if (c == '\r') return keysym == XKB_KEY_Return ? U'\n' : 0;
  if (c == '\t') return c;
  if (c < 0x20 || (c >= 0x7F && c < 0xA0)) return 0;
  return c;
}

class TableBuilder {
 public:
  TableBuilder(xkb_keymap* keymap, xkb_layout_index_t group) : keymap_(keymap), group_(group) {}

  void addKeys() {
    xkb_mod_mask_t shift = modifiersOfKey(keymap_, KEY_LEFTSHIFT);
    xkb_mod_mask_t altGr = modifiersOfKey(keymap_, KEY_RIGHTALT);
    const Combination combinations[] = {{0, 0},
                                        {modifier::leftShift, shift},
                                        {modifier::rightAlt, altGr},
                                        {modifier::leftShift | modifier::rightAlt, shift | altGr}};
    XkbStatePtr state(xkb_state_new(keymap_));
    for (xkb_keycode_t key = xkb_keymap_min_keycode(keymap_);
         key <= xkb_keymap_max_keycode(keymap_); ++key) {
      auto usage =
          key >= kXkbOffset ? usageOfEvdevCode(static_cast<int>(key - kXkbOffset)) : std::nullopt;
      if (!usage || *usage >= 0xE0) continue;
      for (int i = 0; i < 4; ++i) {
        xkb_state_update_mask(state.get(), combinations[i].mask, 0, 0, 0, 0, group_);
        Way way{{{*usage, combinations[i].modifiers}},
                i + (isSpareKey(*usage) ? kSpareKeyCost : 0),
                xkb_state_key_get_one_sym(state.get(), key)};
        considerKeysym(way);
        addKey(xkb_state_key_get_utf32(state.get(), key), std::move(way));
      }
    }
  }

  bool hasDeadKeys() const { return !deadKeys_.empty(); }

  // Every dead key followed by every key typed so far, composed as an application would.
  void addDeadKeySequences(xkb_compose_table* compose) {
    if (compose == nullptr || deadKeys_.empty()) return;
    std::vector<Way> bases;
    for (const auto& [c, way] : best_) bases.push_back(way);
    XkbComposeStatePtr state(xkb_compose_state_new(compose, XKB_COMPOSE_STATE_NO_FLAGS));
    for (const auto& [deadKeysym, dead] : deadKeys_) {
      for (const Way& base : bases) {
        xkb_compose_state_reset(state.get());
        xkb_compose_state_feed(state.get(), deadKeysym);
        xkb_compose_state_feed(state.get(), base.keysym);
        if (xkb_compose_state_get_status(state.get()) != XKB_COMPOSE_COMPOSED) continue;
        Way way{dead.strokes, kSequenceCost + dead.cost + base.cost, base.keysym};
        way.strokes.insert(way.strokes.end(), base.strokes.begin(), base.strokes.end());
        consider(composedCharacter(state.get()), std::move(way));
      }
    }
  }

  KeystrokeTables take() {
    KeystrokeTables tables;
    for (auto& [c, way] : best_) tables.characters.emplace(c, std::move(way.strokes));
    for (auto& [keysym, way] : keysyms_) tables.keysyms.emplace(keysym, way.strokes.front());
    return tables;
  }

 private:
  void addKey(char32_t output, Way way) {
    if (output == 0 && isDeadKey(way.keysym)) {
      auto [it, added] = deadKeys_.try_emplace(way.keysym, way);
      if (!added && way.cost < it->second.cost) it->second = std::move(way);
      return;
    }
    consider(textCharacter(output, way.keysym), std::move(way));
  }

  void considerKeysym(const Way& way) {
    if (way.keysym == XKB_KEY_NoSymbol) return;
    auto [it, added] = keysyms_.try_emplace(way.keysym, way);
    if (!added && way.cost < it->second.cost) it->second = way;
  }

  void consider(char32_t c, Way way) {
    if (c == 0) return;
    auto [it, added] = best_.try_emplace(c, way);
    if (!added && way.cost < it->second.cost) it->second = std::move(way);
  }

  // The one character a finished compose sequence gives, or 0 for none or several.
  static char32_t composedCharacter(xkb_compose_state* state) {
    char utf8[16];
    int length = xkb_compose_state_get_utf8(state, utf8, sizeof(utf8));
    if (length <= 0 || static_cast<std::size_t>(length) >= sizeof(utf8)) return 0;
    std::string_view text(utf8, static_cast<std::size_t>(length));
    std::size_t offset = 0;
    char32_t c = decodeUtf8(text, offset);
    return offset == text.size() && c != kInvalidCharacter ? textCharacter(c, 0) : 0;
  }

  xkb_keymap* keymap_;
  xkb_layout_index_t group_;
  std::map<char32_t, Way> best_;
  std::map<xkb_keysym_t, Way> deadKeys_;
  std::map<xkb_keysym_t, Way> keysyms_;
};

}  // namespace

KeystrokeTables buildKeystrokeTable(xkb_keymap* keymap, xkb_layout_index_t group) {
  TableBuilder builder(keymap, group);
  builder.addKeys();
  // The compose table is read (a few thousand lines of the locale's Compose file) only for a
  // layout that has dead keys.
  if (builder.hasDeadKeys()) builder.addDeadKeySequences(sharedComposeTable());
  return builder.take();
}

}  // namespace virelo::client
