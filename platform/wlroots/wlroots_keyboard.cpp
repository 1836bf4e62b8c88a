#include "platform/wlroots/wlroots_keyboard.h"

#include <xkbcommon/xkbcommon.h>

#include <cstdlib>
#include <stdexcept>
#include <utility>

#include "platform/event.h"

namespace virelo::wlroots {
namespace {

// XKB key codes are evdev codes + 8.
constexpr std::uint32_t kEvdevToXkb = 8;

}  // namespace

struct WlrootsKeyboard::Xkb {
  xkb_context* context = nullptr;
  xkb_keymap* keymap = nullptr;
  xkb_state* state = nullptr;
  ~Xkb() {
    if (state != nullptr) xkb_state_unref(state);
    if (keymap != nullptr) xkb_keymap_unref(keymap);
    if (context != nullptr) xkb_context_unref(context);
  }
};

WlrootsKeyboard::WlrootsKeyboard() : xkb_(std::make_unique<Xkb>()) {
  xkb_->context = xkb_context_new(XKB_CONTEXT_NO_FLAGS);
  if (xkb_->context == nullptr) throw std::runtime_error("no XKB context");
  xkb_->keymap = xkb_keymap_new_from_names(xkb_->context, nullptr, XKB_KEYMAP_COMPILE_NO_FLAGS);
  if (xkb_->keymap == nullptr) throw std::runtime_error("no XKB keymap");
  char* text = xkb_keymap_get_as_string(xkb_->keymap, XKB_KEYMAP_FORMAT_TEXT_V1);
  if (text == nullptr) throw std::runtime_error("no XKB keymap text");
  keymap_ = text;
  std::free(text);
  reset();
}

WlrootsKeyboard::~WlrootsKeyboard() = default;

void WlrootsKeyboard::reset() {
  if (xkb_->state != nullptr) xkb_state_unref(xkb_->state);
  xkb_->state = xkb_state_new(xkb_->keymap);
  if (xkb_->state == nullptr) throw std::runtime_error("no XKB state");
  held_.clear();
  modifiers_ = {};
}

std::optional<Modifiers> WlrootsKeyboard::key(std::uint32_t evdev, bool press) {
  if (press == held(evdev)) return std::nullopt;
  if (press) {
    held_.insert(evdev);
  } else {
    held_.erase(evdev);
  }
  xkb_state_update_key(xkb_->state, evdev + kEvdevToXkb, press ? XKB_KEY_DOWN : XKB_KEY_UP);
  Modifiers now{xkb_state_serialize_mods(xkb_->state, XKB_STATE_MODS_DEPRESSED),
                xkb_state_serialize_mods(xkb_->state, XKB_STATE_MODS_LATCHED),
                xkb_state_serialize_mods(xkb_->state, XKB_STATE_MODS_LOCKED),
                xkb_state_serialize_layout(xkb_->state, XKB_STATE_LAYOUT_EFFECTIVE)};
  if (now == modifiers_) return std::nullopt;
  modifiers_ = now;
  return now;
}

std::uint64_t WlrootsKeyboard::flags() const {
  constexpr std::pair<const char*, std::uint64_t> kNames[] = {{XKB_MOD_NAME_SHIFT, kFlagShift},
                                                              {XKB_MOD_NAME_CTRL, kFlagControl},
                                                              {XKB_MOD_NAME_ALT, kFlagAlternate},
                                                              {XKB_MOD_NAME_LOGO, kFlagCommand},
                                                              {XKB_MOD_NAME_CAPS, kFlagAlphaShift}};
  std::uint64_t flags = 0;
  for (const auto& [name, flag] : kNames) {
    if (xkb_state_mod_name_is_active(xkb_->state, name, XKB_STATE_MODS_EFFECTIVE) > 0) {
      flags |= flag;
    }
  }
  return flags;
}

}  // namespace virelo::wlroots
