#include "tests/support/raw_key_listener.h"

#include <poll.h>
#include <xcb/xcb.h>
#include <xcb/xinput.h>

#include <cstdlib>
#include <stdexcept>

#include "tests/support/line_reader.h"
#include "tests/support/x_connect.h"

namespace virelo::test {
namespace {

using Clock = std::chrono::steady_clock;

std::uint8_t xinputOpcode(xcb_connection_t* c) {
  const xcb_query_extension_reply_t* ext = xcb_get_extension_data(c, &xcb_input_id);
  if (ext == nullptr || !ext->present) throw std::runtime_error("the X server has no XInput");
  auto* version = xcb_input_xi_query_version_reply(c, xcb_input_xi_query_version(c, 2, 2), nullptr);
  const bool two = version != nullptr && version->major_version >= 2;
  std::free(version);
  if (!two) throw std::runtime_error("the X server has no XInput 2");
  return ext->major_opcode;
}

void selectRawKeys(xcb_connection_t* c) {
  struct {
    xcb_input_event_mask_t head;
    std::uint32_t bits;
  } mask{{XCB_INPUT_DEVICE_ALL_MASTER, 1},
         XCB_INPUT_XI_EVENT_MASK_RAW_KEY_PRESS | XCB_INPUT_XI_EVENT_MASK_RAW_KEY_RELEASE};
  xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(c)).data->root;
  xcb_generic_error_t* error =
      xcb_request_check(c, xcb_input_xi_select_events_checked(c, root, 1, &mask.head));
  std::free(error);
  if (error != nullptr) throw std::runtime_error("cannot select XInput 2 raw key events");
}

}  // namespace

RawKeyListener::RawKeyListener(const std::string& display) {
  connection_ = connectX(display);
  try {
    xinputOpcode_ = xinputOpcode(connection_);
    selectRawKeys(connection_);
  } catch (...) {
    xcb_disconnect(connection_);
    throw;
  }
}

RawKeyListener::~RawKeyListener() {
  xcb_disconnect(connection_);
}

std::optional<RawKey> RawKeyListener::decode(void* event) const {
  auto* generic = static_cast<xcb_ge_generic_event_t*>(event);
  if ((generic->response_type & 0x7F) != XCB_GE_GENERIC || generic->extension != xinputOpcode_) {
    return std::nullopt;
  }
  if (generic->event_type != XCB_INPUT_RAW_KEY_PRESS &&
      generic->event_type != XCB_INPUT_RAW_KEY_RELEASE) {
    return std::nullopt;
  }
  auto* raw = static_cast<xcb_input_raw_key_press_event_t*>(event);
  return RawKey{static_cast<int>(raw->detail), generic->event_type == XCB_INPUT_RAW_KEY_PRESS,
                Clock::now()};
}

std::optional<RawKey> RawKeyListener::next(std::chrono::milliseconds timeout) {
  const auto deadline = Clock::now() + timeout;
  for (;;) {
    while (xcb_generic_event_t* event = xcb_poll_for_event(connection_)) {
      auto key = decode(event);
      std::free(event);
      if (key) return key;
    }
    if (xcb_connection_has_error(connection_) != 0) return std::nullopt;
    pollfd readable{xcb_get_file_descriptor(connection_), POLLIN, 0};
    if (::poll(&readable, 1, remainingMs(deadline)) <= 0) return std::nullopt;
  }
}

}  // namespace virelo::test
