// Recording an X session's input (XInput 2 raw events on the root window) as a script.
#include <poll.h>
#include <xcb/xcb.h>
#include <xcb/xinput.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <tuple>

#include "virelo/client/script.h"

namespace virelo::client {
namespace {

using Clock = std::chrono::steady_clock;

struct FreeReply {
  void operator()(void* p) const { std::free(p); }
};
template <typename T>
using Reply = std::unique_ptr<T, FreeReply>;

class XSession {
 public:
  explicit XSession(const char* display) {
    if (display == nullptr || *display == '\0') {
      throw RecordingUnavailable("cannot record: no X server ($DISPLAY is not set)");
    }
    connection_ = xcb_connect(display, nullptr);
    if (xcb_connection_has_error(connection_) != 0) {
      xcb_disconnect(connection_);
      throw RecordingUnavailable("cannot open the X display \"" + std::string(display) + "\"");
    }
    root_ = xcb_setup_roots_iterator(xcb_get_setup(connection_)).data->root;
  }
  ~XSession() { xcb_disconnect(connection_); }
  XSession(const XSession&) = delete;
  XSession& operator=(const XSession&) = delete;

  xcb_connection_t* get() const { return connection_; }
  xcb_window_t root() const { return root_; }

 private:
  xcb_connection_t* connection_;
  xcb_window_t root_;
};

std::uint8_t xinputOpcode(xcb_connection_t* c) {
  const xcb_query_extension_reply_t* ext = xcb_get_extension_data(c, &xcb_input_id);
  if (ext == nullptr || !ext->present) throw RecordingUnavailable("the X server has no XInput");
  Reply<xcb_input_xi_query_version_reply_t> version(
      xcb_input_xi_query_version_reply(c, xcb_input_xi_query_version(c, 2, 2), nullptr));
  if (!version || version->major_version < 2) {
    throw RecordingUnavailable("the X server has no XInput 2");
  }
  return ext->major_opcode;
}

// The slave devices whose input the service posts: the XTEST devices and the service's own.
std::set<int> ownDevices(xcb_connection_t* c) {
  std::set<int> own;
  Reply<xcb_input_xi_query_device_reply_t> reply(xcb_input_xi_query_device_reply(
      c, xcb_input_xi_query_device(c, XCB_INPUT_DEVICE_ALL), nullptr));
  if (!reply) return own;
  for (auto it = xcb_input_xi_query_device_infos_iterator(reply.get()); it.rem > 0;
       xcb_input_xi_device_info_next(&it)) {
    const std::string name(xcb_input_xi_device_info_name(it.data),
                           xcb_input_xi_device_info_name_length(it.data));
    const bool master = it.data->type == XCB_INPUT_DEVICE_TYPE_MASTER_KEYBOARD ||
                        it.data->type == XCB_INPUT_DEVICE_TYPE_MASTER_POINTER;
    if (!master && (name.find("XTEST") != std::string::npos || name.starts_with("Virelo "))) {
      own.insert(it.data->deviceid);
    }
  }
  return own;
}

void selectEvents(xcb_connection_t* c, xcb_window_t root) {
  struct Mask {
    xcb_input_event_mask_t head;
    std::uint32_t bits;
  };
  const Mask masks[] = {
      {{XCB_INPUT_DEVICE_ALL_MASTER, 1},
       XCB_INPUT_XI_EVENT_MASK_RAW_KEY_PRESS | XCB_INPUT_XI_EVENT_MASK_RAW_KEY_RELEASE |
           XCB_INPUT_XI_EVENT_MASK_RAW_BUTTON_PRESS | XCB_INPUT_XI_EVENT_MASK_RAW_BUTTON_RELEASE |
           XCB_INPUT_XI_EVENT_MASK_RAW_MOTION},
      {{XCB_INPUT_DEVICE_ALL, 1}, XCB_INPUT_XI_EVENT_MASK_HIERARCHY},
  };
  for (const Mask& mask : masks) {
    Reply<xcb_generic_error_t> error(
        xcb_request_check(c, xcb_input_xi_select_events_checked(c, root, 1, &mask.head)));
    if (error) throw RecordingUnavailable("cannot select the XInput 2 raw events");
  }
}

std::pair<int, int> pointerAt(const XSession& x) {
  Reply<xcb_query_pointer_reply_t> reply(
      xcb_query_pointer_reply(x.get(), xcb_query_pointer(x.get(), x.root()), nullptr));
  if (!reply) throw RecordingUnavailable("the X server went away");
  return {reply->root_x, reply->root_y};
}

std::optional<RecordedEvent::Kind> kindOf(std::uint16_t eventType) {
  using Kind = RecordedEvent::Kind;
  switch (eventType) {
    case XCB_INPUT_RAW_KEY_PRESS:
      return Kind::keyPress;
    case XCB_INPUT_RAW_KEY_RELEASE:
      return Kind::keyRelease;
    case XCB_INPUT_RAW_BUTTON_PRESS:
      return Kind::buttonPress;
    case XCB_INPUT_RAW_BUTTON_RELEASE:
      return Kind::buttonRelease;
    case XCB_INPUT_RAW_MOTION:
      return Kind::pointerAt;
    default:
      return std::nullopt;
  }
}

// Turns the X server's events into recorded events, leaving out the service's own unless asked.
class Recorder {
 public:
  Recorder(const XSession& x, bool includeOwn)
      : x_(x), includeOwn_(includeOwn), opcode_(xinputOpcode(x.get())) {
    selectEvents(x.get(), x.root());
    own_ = ownDevices(x.get());
    auto [px, py] = pointerAt(x);
    script_.emplace(px, py);
  }

  // Takes every event that has arrived.
  void drain() {
    while (xcb_generic_event_t* event = xcb_poll_for_event(x_.get())) {
      handle(event);
      std::free(event);
    }
  }

  std::string finish() { return script_->finish(); }

 private:
  void handle(xcb_generic_event_t* event) {
    auto* generic = reinterpret_cast<xcb_ge_generic_event_t*>(event);
    if ((generic->response_type & 0x7F) != XCB_GE_GENERIC || generic->extension != opcode_) return;
    if (generic->event_type == XCB_INPUT_HIERARCHY) {
      own_ = ownDevices(x_.get());
      return;
    }
    const auto kind = kindOf(generic->event_type);
    if (!kind) return;
    // The raw events of all kinds share this head.
    auto* raw = reinterpret_cast<xcb_input_raw_key_press_event_t*>(event);
    const bool left = !includeOwn_ && own_.contains(raw->sourceid);
    RecordedEvent recorded{*kind, raw->time, static_cast<int>(raw->detail)};
    if (*kind == RecordedEvent::Kind::pointerAt) {
      std::tie(recorded.x, recorded.y) = pointerAt(x_);
      if (left) recorded.kind = RecordedEvent::Kind::pointerMovedElsewhere;
    } else if (left) {
      return;
    }
    script_->add(recorded);
  }

  const XSession& x_;
  bool includeOwn_;
  std::uint8_t opcode_;
  std::set<int> own_;
  std::optional<ScriptRecorder> script_;
};

// How long the next wait may take: until the deadline, and at most 20 ms when `interrupted` is
// to be asked; nullopt once the deadline has passed.
std::optional<int> nextWait(const std::optional<Clock::time_point>& deadline, bool asking) {
  int timeout = asking ? 20 : -1;
  if (deadline) {
    auto left = std::chrono::ceil<std::chrono::milliseconds>(*deadline - Clock::now());
    if (left.count() <= 0) return std::nullopt;
    timeout = timeout < 0 ? static_cast<int>(left.count())
                          : std::min(timeout, static_cast<int>(left.count()));
  }
  return timeout;
}

}  // namespace

Recording recordInput(const char* display, const RecordOptions& options) {
  XSession x(display);
  Recorder recorder(x, options.includeOwn);
  std::optional<Clock::time_point> deadline;
  if (options.duration) deadline = Clock::now() + *options.duration;
  if (options.started) options.started();
  Recording recording;
  for (;;) {
    recorder.drain();
    if (xcb_connection_has_error(x.get()) != 0) {
      recording.serverGone = true;
      break;
    }
    if (options.interrupted && options.interrupted()) break;
    const auto timeout = nextWait(deadline, static_cast<bool>(options.interrupted));
    if (!timeout) break;
    pollfd fds[] = {{xcb_get_file_descriptor(x.get()), POLLIN, 0},
                    {options.stopDescriptor, POLLIN, 0}};
    if (::poll(fds, options.stopDescriptor >= 0 ? 2 : 1, *timeout) < 0 && errno != EINTR) {
      throw RecordingUnavailable("cannot wait for the X server's events");
    }
    if (options.stopDescriptor >= 0 && fds[1].revents != 0) {
      recorder.drain();  // what had arrived before the stop still belongs to the recording
      break;
    }
  }
  recording.script = recorder.finish();
  return recording;
}

}  // namespace virelo::client
