#include "platform/x11/x11_xkb_watch.h"

#include <xcb/xcbext.h>

#include <cstdlib>

#include "platform/x11/x11_keys.h"
#include "platform/x11/x11_reply.h"
#include "platform/x11/x11_xkb.h"
#include "platform/x11/x11_xtest_devices.h"

namespace virelo::x11 {
namespace {

constexpr double kMsPerSecond = 1000.0;
constexpr std::uint16_t kNotifications =
    XCB_XKB_EVENT_TYPE_STATE_NOTIFY | XCB_XKB_EVENT_TYPE_CONTROLS_NOTIFY |
    XCB_XKB_EVENT_TYPE_NEW_KEYBOARD_NOTIFY | XCB_XKB_EVENT_TYPE_MAP_NOTIFY;

// Whether sequence a comes after b (XCB's full sequence numbers wrap at 2^32).
bool after(std::uint32_t a, std::uint32_t b) {
  return static_cast<std::int32_t>(a - b) > 0;
}

std::optional<KeyRepeat> readRepeat(xcb_connection_t* c) {
  ReplyPtr<xcb_xkb_get_controls_reply_t> controls(awaitReply<xcb_xkb_get_controls_reply_t>(
      c, xcb_xkb_get_controls(c, XCB_XKB_ID_USE_CORE_KBD).sequence));
  if (!controls) return std::nullopt;
  if ((controls->enabledControls & XCB_XKB_BOOL_CTRL_REPEAT_KEYS) == 0) return KeyRepeat{};
  return KeyRepeat{controls->repeatDelay / kMsPerSecond, controls->repeatInterval / kMsPerSecond};
}

std::optional<Keymap> readKeymap(xcb_connection_t* c) {
  const xcb_setup_t* setup = xcb_get_setup(c);
  const auto count = static_cast<std::uint8_t>(setup->max_keycode - setup->min_keycode + 1);
  ReplyPtr<xcb_get_keyboard_mapping_reply_t> mapping(awaitReply<xcb_get_keyboard_mapping_reply_t>(
      c, xcb_get_keyboard_mapping(c, setup->min_keycode, count).sequence));
  if (!mapping) return std::nullopt;
  const xcb_keysym_t* keysyms = xcb_get_keyboard_mapping_keysyms(mapping.get());
  const auto length =
      static_cast<std::size_t>(xcb_get_keyboard_mapping_keysyms_length(mapping.get()));
  return Keymap(setup->min_keycode, mapping->keysyms_per_keycode, {keysyms, length});
}

std::optional<std::vector<std::uint8_t>> readPointerMap(xcb_connection_t* c) {
  ReplyPtr<xcb_get_pointer_mapping_reply_t> mapping(
      awaitReply<xcb_get_pointer_mapping_reply_t>(c, xcb_get_pointer_mapping(c).sequence));
  if (!mapping) return std::nullopt;
  const std::uint8_t* map = xcb_get_pointer_mapping_map(mapping.get());
  return std::vector<std::uint8_t>(map, map + xcb_get_pointer_mapping_map_length(mapping.get()));
}

}  // namespace

std::uint64_t flagsOfXkbState(std::uint8_t mods, std::uint8_t lockedMods) {
  std::uint64_t flags = 0;
  if (lockedMods & XCB_MOD_MASK_LOCK) flags |= 0x10000;
  if (mods & XCB_MOD_MASK_SHIFT) flags |= 0x20000;
  if (mods & XCB_MOD_MASK_CONTROL) flags |= 0x40000;
  if (mods & XCB_MOD_MASK_1) flags |= 0x80000;
  if (mods & XCB_MOD_MASK_4) flags |= 0x100000;
  return flags;
}

XkbWatch::XkbWatch(xcb_connection_t* connection) : connection_(connection) {
  firstEvent_ = xcb_get_extension_data(connection_, &xcb_xkb_id)->first_event;
  xcb_xkb_select_events(connection_, XCB_XKB_ID_USE_CORE_KBD, kNotifications, 0, kNotifications, 0,
                        0, nullptr);
  stateAsked();
}

void XkbWatch::pump() {
  std::lock_guard<std::mutex> guard(mutex_);
  pumpLocked();
}

void XkbWatch::pumpLocked() {
  while (xcb_generic_event_t* event = xcb_poll_for_event(connection_)) {
    ReplyPtr<xcb_generic_event_t> owned(event);
    takeLocked(*event);
  }
}

void XkbWatch::take(const xcb_generic_event_t& event) {
  std::lock_guard<std::mutex> guard(mutex_);
  takeLocked(event);
}

void XkbWatch::takeLocked(const xcb_generic_event_t& event) {
  if ((event.response_type & 0x7F) == XCB_MAPPING_NOTIFY) {
    const auto& mapping = reinterpret_cast<const xcb_mapping_notify_event_t&>(event);
    if (mapping.request == XCB_MAPPING_POINTER) {
      pointerMapRead_ = false;
    } else {
      keymapRead_ = false;
    }
    return;
  }
  if ((event.response_type & 0x7F) != firstEvent_) return;
  // Every XKB event has its kind in the second byte.
  const auto& state = reinterpret_cast<const xcb_xkb_state_notify_event_t&>(event);
  if (state.xkbType == XCB_XKB_STATE_NOTIFY) {
    keepState(event.full_sequence, flagsOfXkbState(state.mods, state.lockedMods), false);
  } else if (state.xkbType == XCB_XKB_CONTROLS_NOTIFY) {
    repeatRead_ = false;
  } else if (state.xkbType == XCB_XKB_NEW_KEYBOARD_NOTIFY || state.xkbType == XCB_XKB_MAP_NOTIFY) {
    keymapRead_ = false;
    mediaRepeatOff_ = false;
  }
}

void XkbWatch::keepState(std::uint32_t sequence, std::uint64_t flags, bool reply) {
  // A reply shows the state when the server answered the request; a notification sent while the
  // server carried out that request or a later one is newer, one sent before is older.
  if (stateSequence_) {
    if (reply && !after(sequence, *stateSequence_)) return;
    if (!reply && after(*stateSequence_, sequence)) return;
  }
  stateSequence_ = sequence;
  flags_ = flags;
}

void XkbWatch::stateAsked() {
  std::lock_guard<std::mutex> guard(mutex_);
  if (askedState_) xcb_discard_reply(connection_, *askedState_);
  askedState_ = xcb_xkb_get_state(connection_, XCB_XKB_ID_USE_CORE_KBD).sequence;
  xcb_flush(connection_);
}

std::uint64_t XkbWatch::flags() {
  std::lock_guard<std::mutex> guard(mutex_);
  if (askedState_) {
    const unsigned int sequence = *askedState_;
    askedState_.reset();
    ReplyPtr<xcb_xkb_get_state_reply_t> state(
        awaitReply<xcb_xkb_get_state_reply_t>(connection_, sequence));
    // Notifications read while waiting for the reply may be newer than it.
    if (state) keepState(sequence, flagsOfXkbState(state->mods, state->lockedMods), true);
  }
  pumpLocked();
  return flags_;
}

std::optional<KeyRepeat> XkbWatch::repeat() {
  std::lock_guard<std::mutex> guard(mutex_);
  pumpLocked();
  if (!repeatRead_) {
    repeat_ = readRepeat(connection_);
    repeatRead_ = repeat_.has_value();
  }
  return repeat_;
}

}  // namespace virelo::x11

namespace virelo::x11 {

std::optional<std::uint8_t> XkbWatch::modifierKey(std::uint16_t virtualKeycode) {
  std::lock_guard<std::mutex> guard(mutex_);
  pumpLocked();
  if (!keymapRead_) {
    auto keymap = readKeymap(connection_);
    keymapRead_ = keymap.has_value();
    keymap_ = keymap ? std::move(*keymap) : Keymap();
  }
  return keymap_.modifierKey(virtualKeycode);
}

std::uint8_t XkbWatch::physicalButton(std::uint8_t logical) {
  std::lock_guard<std::mutex> guard(mutex_);
  pumpLocked();
  if (!pointerMapRead_) {
    auto map = readPointerMap(connection_);
    pointerMapRead_ = map.has_value();
    pointerMap_ = map ? std::move(*map) : std::vector<std::uint8_t>();
  }
  return x11::physicalButton(pointerMap_, logical);
}

}  // namespace virelo::x11

namespace virelo::x11 {

void XkbWatch::keepMediaKeysFromRepeating() {
  std::lock_guard<std::mutex> guard(mutex_);
  pumpLocked();
  if (mediaRepeatOff_) return;
  // Tried once per keymap: a server without an XTEST keyboard or that refuses the change is not
  // asked again at every media key.
  mediaRepeatOff_ = true;
  auto keyboard = xtestDevices(connection_).keyboard;
  if (!keyboard) return;
  std::vector<std::uint8_t> keys;
  for (int keyType : kMediaKeyTypes) {
    if (auto key = mediaXKeycode(keyType)) keys.push_back(*key);
  }
  stopRepeating(connection_, *keyboard, keys);
}

}  // namespace virelo::x11
