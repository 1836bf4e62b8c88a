#include "tests/support/x_observer.h"

#include <poll.h>
#include <xcb/xinput.h>
#include <xcb/xtest.h>

#include <cstdlib>
#include <memory>
#include <stdexcept>
#include <string_view>
#include <vector>

#include "tests/support/x_connect.h"

#define explicit explicit_
#include <xcb/xkb.h>
#undef explicit

namespace virelo::test {
namespace {

struct FreeReply {
  void operator()(void* p) const { std::free(p); }
};
template <typename T>
using Reply = std::unique_ptr<T, FreeReply>;

xcb_atom_t atom(xcb_connection_t* c, const std::string& name) {
  Reply<xcb_intern_atom_reply_t> reply(xcb_intern_atom_reply(
      c, xcb_intern_atom(c, 0, static_cast<std::uint16_t>(name.size()), name.c_str()), nullptr));
  return reply ? reply->atom : 0;
}

// Waits until the server has handled every request sent so far.
void sync(xcb_connection_t* c) {
  std::free(xcb_get_input_focus_reply(c, xcb_get_input_focus(c), nullptr));
}

void put32(std::vector<std::uint8_t>& bytes, std::uint32_t value) {
  for (int i = 0; i < 4; ++i) bytes.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
}

// An _XSETTINGS_SETTINGS property in little-endian order with one integer setting.
std::vector<std::uint8_t> xsettingsProperty(const std::string& name, std::int32_t value) {
  std::vector<std::uint8_t> bytes = {0, 0, 0, 0};
  put32(bytes, 1);  // serial
  put32(bytes, 1);  // one setting
  bytes.insert(bytes.end(), {0, 0, static_cast<std::uint8_t>(name.size()), 0});
  bytes.insert(bytes.end(), name.begin(), name.end());
  while (bytes.size() % 4 != 0) bytes.push_back(0);
  put32(bytes, 0);  // last change
  put32(bytes, static_cast<std::uint32_t>(value));
  return bytes;
}

}  // namespace

XObserver::XObserver(const std::string& display) {
  c_ = connectX(display);
  root_ = xcb_setup_roots_iterator(xcb_get_setup(c_)).data->root;
  Reply<xcb_xkb_use_extension_reply_t> xkb(
      xcb_xkb_use_extension_reply(c_, xcb_xkb_use_extension(c_, 1, 0), nullptr));
  if (!xkb || !xkb->supported) {
    xcb_disconnect(c_);
    throw std::runtime_error("the X server has no XKB");
  }
}

XObserver::~XObserver() {
  xcb_disconnect(c_);
}

bool XObserver::keyDown(std::uint8_t keycode) {
  Reply<xcb_query_keymap_reply_t> keymap(xcb_query_keymap_reply(c_, xcb_query_keymap(c_), nullptr));
  return keymap && (keymap->keys[keycode / 8] >> (keycode % 8) & 1) != 0;
}

std::vector<int> XObserver::heldKeys() {
  Reply<xcb_query_keymap_reply_t> keymap(xcb_query_keymap_reply(c_, xcb_query_keymap(c_), nullptr));
  if (!keymap) throw std::runtime_error("no reply from the X server");
  std::vector<int> held;
  for (int code = 0; code < 256; ++code) {
    if ((keymap->keys[code / 8] >> (code % 8)) & 1) held.push_back(code);
  }
  return held;
}

XObserver::PointerState XObserver::pointer() {
  Reply<xcb_query_pointer_reply_t> reply(
      xcb_query_pointer_reply(c_, xcb_query_pointer(c_, root_), nullptr));
  if (!reply) return {};
  return {reply->root_x, reply->root_y, reply->mask, (reply->mask >> 8) & 0x1Fu};
}

RepeatSettings XObserver::repeat() {
  Reply<xcb_xkb_get_controls_reply_t> controls(
      xcb_xkb_get_controls_reply(c_, xcb_xkb_get_controls(c_, XCB_XKB_ID_USE_CORE_KBD), nullptr));
  if (!controls) throw std::runtime_error("no reply from the X server");
  return {controls->repeatDelay, controls->repeatInterval};
}

bool XObserver::capsLocked() {
  Reply<xcb_xkb_get_state_reply_t> state(
      xcb_xkb_get_state_reply(c_, xcb_xkb_get_state(c_, XCB_XKB_ID_USE_CORE_KBD), nullptr));
  return state && (state->lockedMods & XCB_MOD_MASK_LOCK) != 0;
}

std::uint8_t XObserver::modifiers() {
  Reply<xcb_xkb_get_state_reply_t> state(
      xcb_xkb_get_state_reply(c_, xcb_xkb_get_state(c_, XCB_XKB_ID_USE_CORE_KBD), nullptr));
  if (!state) throw std::runtime_error("no reply from the X server");
  return state->mods;
}

void XObserver::setPointerMapping(const std::vector<std::uint8_t>& map) {
  // The server takes only a map of all its buttons: the others keep their entries.
  Reply<xcb_get_pointer_mapping_reply_t> current(
      xcb_get_pointer_mapping_reply(c_, xcb_get_pointer_mapping(c_), nullptr));
  if (!current) throw std::runtime_error("no reply from the X server");
  const std::uint8_t* entries = xcb_get_pointer_mapping_map(current.get());
  std::vector<std::uint8_t> full(entries,
                                 entries + xcb_get_pointer_mapping_map_length(current.get()));
  for (std::size_t i = 0; i < map.size() && i < full.size(); ++i) full[i] = map[i];
  Reply<xcb_set_pointer_mapping_reply_t> reply(xcb_set_pointer_mapping_reply(
      c_, xcb_set_pointer_mapping(c_, static_cast<std::uint8_t>(full.size()), full.data()),
      nullptr));
  if (!reply || reply->status != XCB_MAPPING_STATUS_SUCCESS) {
    throw std::runtime_error("the X server did not take the pointer mapping");
  }
}

void XObserver::setKeyRepeat(std::uint16_t delayMs, std::uint16_t intervalMs) {
  const std::uint8_t perKeyRepeat[32] = {};
  xcb_void_cookie_t cookie = xcb_xkb_set_controls_checked(
      c_, XCB_XKB_ID_USE_CORE_KBD, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, XCB_XKB_BOOL_CTRL_REPEAT_KEYS,
      XCB_XKB_BOOL_CTRL_REPEAT_KEYS,
      std::uint32_t{XCB_XKB_BOOL_CTRL_REPEAT_KEYS} |
          std::uint32_t{XCB_XKB_CONTROL_CONTROLS_ENABLED},
      delayMs, intervalMs, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, perKeyRepeat);
  std::free(xcb_request_check(c_, cookie));
}

void XObserver::fakeKey(std::uint8_t keycode, bool press) {
  xcb_test_fake_input(c_, press ? XCB_KEY_PRESS : XCB_KEY_RELEASE, keycode, XCB_CURRENT_TIME,
                      XCB_WINDOW_NONE, 0, 0, 0);
  sync(c_);
}

void XObserver::fakeButton(std::uint8_t button, bool press) {
  xcb_test_fake_input(c_, press ? XCB_BUTTON_PRESS : XCB_BUTTON_RELEASE, button, XCB_CURRENT_TIME,
                      XCB_WINDOW_NONE, 0, 0, 0);
  sync(c_);
}

void XObserver::grabServer() {
  xcb_grab_server(c_);
  sync(c_);
}

void XObserver::ungrabServer() {
  xcb_ungrab_server(c_);
  sync(c_);
}

void XObserver::movePointer(int x, int y) {
  xcb_test_fake_input(c_, XCB_MOTION_NOTIFY, 0, XCB_CURRENT_TIME, root_,
                      static_cast<std::int16_t>(x), static_cast<std::int16_t>(y), 0);
  sync(c_);
}

namespace {

// The state classes of the XTEST slave device of that use (XCB_INPUT_DEVICE_TYPE_SLAVE_KEYBOARD
// or _POINTER): bit i of the result for key or button i.
std::vector<bool> xtestDeviceState(xcb_connection_t* c, std::uint16_t use, std::uint8_t classId) {
  Reply<xcb_input_xi_query_version_reply_t> version(
      xcb_input_xi_query_version_reply(c, xcb_input_xi_query_version(c, 2, 2), nullptr));
  Reply<xcb_input_xi_query_device_reply_t> devices(xcb_input_xi_query_device_reply(
      c, xcb_input_xi_query_device(c, XCB_INPUT_DEVICE_ALL), nullptr));
  if (!devices) throw std::runtime_error("no reply from the X server");
  std::vector<bool> down(256);
  for (auto it = xcb_input_xi_query_device_infos_iterator(devices.get()); it.rem > 0;
       xcb_input_xi_device_info_next(&it)) {
    std::string_view name(xcb_input_xi_device_info_name(it.data),
                          static_cast<std::size_t>(xcb_input_xi_device_info_name_length(it.data)));
    if (it.data->type != use || name.find("XTEST") == std::string_view::npos) continue;
    const auto id = static_cast<std::uint8_t>(it.data->deviceid);
    Reply<xcb_input_open_device_reply_t> open(
        xcb_input_open_device_reply(c, xcb_input_open_device(c, id), nullptr));
    Reply<xcb_input_query_device_state_reply_t> state(
        xcb_input_query_device_state_reply(c, xcb_input_query_device_state(c, id), nullptr));
    xcb_input_close_device(c, id);
    if (!state) throw std::runtime_error("no device state from the X server");
    for (auto cls = xcb_input_query_device_state_classes_iterator(state.get()); cls.rem > 0;
         xcb_input_input_state_next(&cls)) {
      if (cls.data->class_id != classId) continue;
      // Keys and buttons have the same layout: class, length, count, pad, 32 bytes of bits.
      const auto* bits = reinterpret_cast<const std::uint8_t*>(cls.data) + 4;
      for (int i = 0; i < 256; ++i) {
        if ((bits[i / 8] >> (i % 8)) & 1) down[static_cast<std::size_t>(i)] = true;
      }
    }
  }
  return down;
}

}  // namespace

std::vector<int> XObserver::xtestKeysDown() {
  auto down = xtestDeviceState(c_, XCB_INPUT_DEVICE_TYPE_SLAVE_KEYBOARD, XCB_INPUT_INPUT_CLASS_KEY);
  std::vector<int> keys;
  for (int i = 0; i < 256; ++i) {
    if (down[static_cast<std::size_t>(i)]) keys.push_back(i);
  }
  return keys;
}

unsigned XObserver::xtestButtonsDown() {
  auto down =
      xtestDeviceState(c_, XCB_INPUT_DEVICE_TYPE_SLAVE_POINTER, XCB_INPUT_INPUT_CLASS_BUTTON);
  unsigned buttons = 0;
  for (int i = 1; i <= 5; ++i) {
    if (down[static_cast<std::size_t>(i)]) buttons |= 1u << (i - 1);
  }
  return buttons;
}

void XObserver::serveXSettings(const std::string& name, std::int32_t value) {
  xcb_window_t owner = xcb_generate_id(c_);
  xcb_create_window(c_, XCB_COPY_FROM_PARENT, owner, root_, 0, 0, 1, 1, 0,
                    XCB_WINDOW_CLASS_INPUT_ONLY, XCB_COPY_FROM_PARENT, 0, nullptr);
  auto bytes = xsettingsProperty(name, value);
  auto settings = atom(c_, "_XSETTINGS_SETTINGS");
  xcb_change_property(c_, XCB_PROP_MODE_REPLACE, owner, settings, settings, 8,
                      static_cast<std::uint32_t>(bytes.size()), bytes.data());
  xcb_set_selection_owner(c_, owner, atom(c_, "_XSETTINGS_S0"), XCB_CURRENT_TIME);
  sync(c_);
}

void XObserver::setResources(const std::string& text) {
  xcb_change_property(c_, XCB_PROP_MODE_REPLACE, root_, XCB_ATOM_RESOURCE_MANAGER, XCB_ATOM_STRING,
                      8, static_cast<std::uint32_t>(text.size()), text.data());
  sync(c_);
}

void XObserver::openFocusedWindow() {
  auto* screen = xcb_setup_roots_iterator(xcb_get_setup(c_)).data;
  window_ = xcb_generate_id(c_);
  std::uint32_t events = XCB_EVENT_MASK_KEY_PRESS | XCB_EVENT_MASK_BUTTON_PRESS;
  xcb_create_window(c_, XCB_COPY_FROM_PARENT, window_, root_, 0, 0, screen->width_in_pixels,
                    screen->height_in_pixels, 0, XCB_WINDOW_CLASS_INPUT_OUTPUT,
                    XCB_COPY_FROM_PARENT, XCB_CW_EVENT_MASK, &events);
  xcb_map_window(c_, window_);
  sync(c_);
  xcb_set_input_focus(c_, XCB_INPUT_FOCUS_POINTER_ROOT, window_, XCB_CURRENT_TIME);
  sync(c_);
}

template <typename Match>
int XObserver::countEvents(Match match, std::chrono::milliseconds wait) {
  int count = 0;
  pollfd readable{xcb_get_file_descriptor(c_), POLLIN, 0};
  for (;;) {
    while (xcb_generic_event_t* event = xcb_poll_for_event(c_)) {
      if (match(event)) ++count;
      std::free(event);
    }
    if (::poll(&readable, 1, static_cast<int>(wait.count())) != 1) return count;
  }
}

int XObserver::countKeyPresses(std::chrono::milliseconds wait) {
  return countEvents(
      [](xcb_generic_event_t* e) { return (e->response_type & 0x7F) == XCB_KEY_PRESS; }, wait);
}

int XObserver::countKeyPresses(std::uint8_t keycode, std::chrono::milliseconds wait) {
  return countEvents(
      [keycode](xcb_generic_event_t* e) {
        return (e->response_type & 0x7F) == XCB_KEY_PRESS &&
               reinterpret_cast<xcb_key_press_event_t*>(e)->detail == keycode;
      },
      wait);
}

int XObserver::countButtonPresses(std::uint8_t button, std::chrono::milliseconds wait) {
  return countEvents(
      [button](xcb_generic_event_t* e) {
        return (e->response_type & 0x7F) == XCB_BUTTON_PRESS &&
               reinterpret_cast<xcb_button_press_event_t*>(e)->detail == button;
      },
      wait);
}

}  // namespace virelo::test
