#include <map>
#include <mutex>

#include "keystroke_table.h"
#include "utf8.h"
#include "virelo/client/errors.h"
#include "virelo/client/layouts.h"
#include "xkb_handles.h"

namespace virelo::client {
namespace {

std::shared_ptr<const KeyboardLayout> compile(const LayoutName& name) {
  XkbContextPtr context = quietXkbContext();
  if (!context) throw UnknownLayout(describe(name));
  const xkb_rule_names names{name.rules.c_str(), name.model.c_str(), name.layout.c_str(),
                             name.variant.c_str(), name.options.c_str()};
  XkbKeymapPtr keymap(
      xkb_keymap_new_from_names(context.get(), &names, XKB_KEYMAP_COMPILE_NO_FLAGS));
  if (!keymap) throw UnknownLayout(describe(name));
  KeystrokeTables tables = buildKeystrokeTable(keymap.get(), 0);
  return std::make_shared<const KeyboardLayout>(describe(name), std::move(tables.characters),
                                                std::move(tables.keysyms));
}

}  // namespace

std::shared_ptr<const KeyboardLayout> KeyboardLayout::named(const LayoutName& name) {
  static std::mutex mutex;
  static std::map<LayoutName, std::shared_ptr<const KeyboardLayout>> cache;
  std::lock_guard lock(mutex);
  auto found = cache.find(name);
  if (found != cache.end()) return found->second;
  return cache.emplace(name, compile(name)).first->second;
}

const KeyboardLayout& KeyboardLayout::us() {
  static const std::shared_ptr<const KeyboardLayout> layout = named(LayoutName{});
  return *layout;
}

const std::vector<Keystroke>* KeyboardLayout::keystrokes(char32_t character) const {
  auto found = table_.find(character);
  return found == table_.end() ? nullptr : &found->second;
}

std::vector<Keystroke> KeyboardLayout::keystrokes(std::string_view text) const {
  std::vector<Keystroke> strokes;
  std::vector<UntypableCharacter> untypable;
  std::size_t offset = 0;
  while (offset < text.size()) {
    const std::size_t start = offset;
    const char32_t c = decodeUtf8(text, offset);
    const std::vector<Keystroke>* found = c == kInvalidCharacter ? nullptr : keystrokes(c);
    if (found == nullptr) {
      untypable.push_back({c, start});
    } else {
      strokes.insert(strokes.end(), found->begin(), found->end());
    }
  }
  if (!untypable.empty()) throw UntypableText(std::move(untypable), description_);
  return strokes;
}

std::optional<Keystroke> KeyboardLayout::keysymKey(std::uint32_t keysym) const {
  auto found = keysyms_.find(keysym);
  if (found == keysyms_.end()) return std::nullopt;
  return found->second;
}

std::optional<int> KeyboardLayout::plainKey(char32_t character) const {
  const std::vector<Keystroke>* found = keystrokes(character);
  if (found == nullptr || found->size() != 1 || found->front().modifiers != 0) return std::nullopt;
  return found->front().usage;
}

}  // namespace virelo::client
