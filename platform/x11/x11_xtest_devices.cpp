#include "platform/x11/x11_xtest_devices.h"

#include <xcb/xinput.h>
#include <xcb/xtest.h>

#include <algorithm>
#include <string_view>
#include <vector>

#include "platform/x11/x11_reply.h"
#include "platform/x11/x11_xkb.h"

namespace virelo::x11 {

XTestDevices xtestDevices(xcb_connection_t* c) {
  XTestDevices devices;
  ReplyPtr<xcb_input_xi_query_device_reply_t> reply(awaitReply<xcb_input_xi_query_device_reply_t>(
      c, xcb_input_xi_query_device(c, XCB_INPUT_DEVICE_ALL).sequence));
  if (!reply) return devices;
  for (auto it = xcb_input_xi_query_device_infos_iterator(reply.get()); it.rem > 0;
       xcb_input_xi_device_info_next(&it)) {
    std::string_view name(xcb_input_xi_device_info_name(it.data),
                          static_cast<std::size_t>(xcb_input_xi_device_info_name_length(it.data)));
    if (name.find("XTEST") == std::string_view::npos) continue;
    if (it.data->type == XCB_INPUT_DEVICE_TYPE_SLAVE_KEYBOARD) devices.keyboard = it.data->deviceid;
    if (it.data->type == XCB_INPUT_DEVICE_TYPE_SLAVE_POINTER) devices.pointer = it.data->deviceid;
  }
  return devices;
}

bool stopRepeating(xcb_connection_t* c, std::uint16_t keyboard,
                   std::span<const std::uint8_t> keys) {
  ReplyPtr<xcb_xkb_get_controls_reply_t> controls(
      awaitReply<xcb_xkb_get_controls_reply_t>(c, xcb_xkb_get_controls(c, keyboard).sequence));
  if (!controls) return false;
  std::uint8_t perKeyRepeat[32];
  std::copy(std::begin(controls->perKeyRepeat), std::end(controls->perKeyRepeat), perKeyRepeat);
  bool changed = false;
  for (std::uint8_t key : keys) {
    const auto bit = static_cast<std::uint8_t>(1u << (key % 8));
    changed = changed || (perKeyRepeat[key / 8] & bit) != 0;
    perKeyRepeat[key / 8] &= static_cast<std::uint8_t>(~bit);
  }
  if (!changed) return true;
  ReplyPtr<xcb_generic_error_t> error(
      awaitChecked(c, xcb_xkb_set_controls_checked(c, keyboard, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
                                                   0, XCB_XKB_CONTROL_PER_KEY_REPEAT, 0, 0, 0, 0, 0,
                                                   0, 0, 0, 0, 0, 0, 0, 0, 0, perKeyRepeat)));
  return error == nullptr;
}

namespace {

// The keys (class XCB_INPUT_INPUT_CLASS_KEY) or buttons (_BUTTON) down on the device.
std::vector<std::uint8_t> downOn(xcb_connection_t* c, std::uint16_t device, std::uint8_t classId) {
  std::vector<std::uint8_t> down;
  const auto id = static_cast<std::uint8_t>(device);
  ReplyPtr<xcb_input_open_device_reply_t> open(
      awaitReply<xcb_input_open_device_reply_t>(c, xcb_input_open_device(c, id).sequence));
  if (!open) return down;
  ReplyPtr<xcb_input_query_device_state_reply_t> state(
      awaitReply<xcb_input_query_device_state_reply_t>(
          c, xcb_input_query_device_state(c, id).sequence));
  xcb_input_close_device(c, id);
  if (!state) return down;
  for (auto it = xcb_input_query_device_state_classes_iterator(state.get()); it.rem > 0;
       xcb_input_input_state_next(&it)) {
    if (it.data->class_id != classId) continue;
    // Key and button states share their layout: class, length, count, pad, 32 bytes of bits.
    const auto* bits = reinterpret_cast<const std::uint8_t*>(it.data) + 4;
    for (int i = 1; i < 256; ++i) {
      if ((bits[i / 8] >> (i % 8)) & 1) down.push_back(static_cast<std::uint8_t>(i));
    }
  }
  return down;
}

}  // namespace

int releaseHeld(xcb_connection_t* c, const XTestDevices& devices) {
  int released = 0;
  if (devices.keyboard) {
    for (std::uint8_t key : downOn(c, *devices.keyboard, XCB_INPUT_INPUT_CLASS_KEY)) {
      xcb_test_fake_input(c, XCB_KEY_RELEASE, key, XCB_CURRENT_TIME, XCB_WINDOW_NONE, 0, 0, 0);
      ++released;
    }
  }
  if (devices.pointer) {
    for (std::uint8_t button : downOn(c, *devices.pointer, XCB_INPUT_INPUT_CLASS_BUTTON)) {
      xcb_test_fake_input(c, XCB_BUTTON_RELEASE, button, XCB_CURRENT_TIME, XCB_WINDOW_NONE, 0, 0,
                          0);
      ++released;
    }
  }
  if (released > 0) xcb_flush(c);
  return released;
}

}  // namespace virelo::x11
