#include "tools/virelo/record_command.h"

#ifdef VIRELO_HAVE_XINPUT

#include <poll.h>
#include <signal.h>
#include <sys/signalfd.h>
#include <unistd.h>
#include <xcb/xcb.h>
#include <xcb/xinput.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <memory>
#include <optional>
#include <set>
#include <stdexcept>
#include <string>

#include "tools/virelo/recording.h"
#endif

#include <stdexcept>

namespace virelo::tools {

#ifdef VIRELO_HAVE_XINPUT
namespace {

using Clock = std::chrono::steady_clock;

struct FreeReply {
  void operator()(void* p) const { std::free(p); }
};
template <typename T>
using Reply = std::unique_ptr<T, FreeReply>;

class XSession {
 public:
  XSession() {
    const char* display = std::getenv("DISPLAY");
    if (display == nullptr || *display == '\0') {
      throw std::runtime_error("cannot record: no X server ($DISPLAY is not set)");
    }
    connection_ = xcb_connect(nullptr, nullptr);
    if (xcb_connection_has_error(connection_) != 0) {
      xcb_disconnect(connection_);
      throw std::runtime_error("cannot open the X display \"" +
                               std::string(std::getenv("DISPLAY") ? std::getenv("DISPLAY") : "") +
                               "\"");
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
  if (ext == nullptr || !ext->present) throw std::runtime_error("the X server has no XInput");
  Reply<xcb_input_xi_query_version_reply_t> version(
      xcb_input_xi_query_version_reply(c, xcb_input_xi_query_version(c, 2, 2), nullptr));
  if (!version || version->major_version < 2) {
    throw std::runtime_error("the X server has no XInput 2");
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
    if (error) throw std::runtime_error("cannot select the XInput 2 raw events");
  }
}

std::pair<int, int> pointerPosition(const XSession& x) {
  Reply<xcb_query_pointer_reply_t> reply(
      xcb_query_pointer_reply(x.get(), xcb_query_pointer(x.get(), x.root()), nullptr));
  if (!reply) throw std::runtime_error("the X server went away");
  return {reply->root_x, reply->root_y};
}

// Turns the X server's events into recorded events, leaving out the service's own unless asked.
class Recorder {
 public:
  Recorder(const XSession& x, bool includeOwn)
      : x_(x), includeOwn_(includeOwn), opcode_(xinputOpcode(x.get())) {
    selectEvents(x.get(), x.root());
    own_ = ownDevices(x.get());
    auto [px, py] = pointerPosition(x);
    script_.emplace(px, py);
  }

  void handle(xcb_generic_event_t* event) {
    auto* generic = reinterpret_cast<xcb_ge_generic_event_t*>(event);
    if ((generic->response_type & 0x7F) != XCB_GE_GENERIC || generic->extension != opcode_) return;
    using Kind = RecordedEvent::Kind;
    std::optional<Kind> kind;
    switch (generic->event_type) {
      case XCB_INPUT_HIERARCHY:
        own_ = ownDevices(x_.get());
        return;
      case XCB_INPUT_RAW_KEY_PRESS:
        kind = Kind::keyPress;
        break;
      case XCB_INPUT_RAW_KEY_RELEASE:
        kind = Kind::keyRelease;
        break;
      case XCB_INPUT_RAW_BUTTON_PRESS:
        kind = Kind::buttonPress;
        break;
      case XCB_INPUT_RAW_BUTTON_RELEASE:
        kind = Kind::buttonRelease;
        break;
      case XCB_INPUT_RAW_MOTION:
        kind = Kind::pointerAt;
        break;
      default:
        return;
    }
    // The raw events of all kinds share this head.
    auto* raw = reinterpret_cast<xcb_input_raw_key_press_event_t*>(event);
    const bool left = !includeOwn_ && own_.contains(raw->sourceid);
    RecordedEvent recorded{*kind, raw->time, static_cast<int>(raw->detail)};
    if (*kind == Kind::pointerAt) {
      std::tie(recorded.x, recorded.y) = pointerPosition(x_);
      if (left) recorded.kind = Kind::pointerMovedElsewhere;
    } else if (left) {
      return;
    }
    script_->add(recorded);
  }

  std::string finish() { return script_->finish(); }

 private:
  const XSession& x_;
  bool includeOwn_;
  std::uint8_t opcode_;
  std::set<int> own_;
  std::optional<ScriptRecorder> script_;
};

// SIGINT, SIGTERM and SIGHUP as a readable descriptor, blocked for the process.
int stopSignals() {
  sigset_t set;
  sigemptyset(&set);
  for (int sig : {SIGINT, SIGTERM, SIGHUP}) sigaddset(&set, sig);
  if (sigprocmask(SIG_BLOCK, &set, nullptr) != 0) throw std::runtime_error("sigprocmask");
  int fd = signalfd(-1, &set, SFD_CLOEXEC);
  if (fd < 0) throw std::runtime_error("signalfd");
  return fd;
}

}  // namespace

int runRecordCommand(const ToolArguments& args) {
  if (!args.operands.empty()) throw UsageError("record takes no operands");
  std::ofstream file;
  if (args.output && *args.output != "-") {
    file.open(*args.output, std::ios::trunc);
    if (!file) throw std::runtime_error("cannot write " + *args.output);
  }
  const int signals = stopSignals();
  XSession x;
  Recorder recorder(x, args.includeOwn);
  std::optional<Clock::time_point> deadline;
  if (args.durationS) deadline = Clock::now() + std::chrono::seconds(*args.durationS);
  std::cerr << "virelo: recording" << (deadline ? "" : " until Ctrl-C") << "\n";

  for (;;) {
    while (xcb_generic_event_t* event = xcb_poll_for_event(x.get())) {
      recorder.handle(event);
      std::free(event);
    }
    if (xcb_connection_has_error(x.get()) != 0) {
      std::cerr << "virelo: the X server went away; writing what was recorded\n";
      break;
    }
    int timeout = -1;
    if (deadline) {
      auto left = std::chrono::ceil<std::chrono::milliseconds>(*deadline - Clock::now());
      if (left.count() <= 0) break;
      timeout = static_cast<int>(left.count());
    }
    pollfd fds[] = {{xcb_get_file_descriptor(x.get()), POLLIN, 0}, {signals, POLLIN, 0}};
    if (::poll(fds, 2, timeout) < 0 && errno != EINTR) throw std::runtime_error("poll");
    if (fds[1].revents != 0) {
      // What had arrived before the signal still belongs to the recording.
      while (xcb_generic_event_t* event = xcb_poll_for_event(x.get())) {
        recorder.handle(event);
        std::free(event);
      }
      break;
    }
  }
  ::close(signals);

  const std::string script = recorder.finish();
  if (file.is_open()) {
    file << script;
    file.close();
    if (!file) throw std::runtime_error("cannot write " + *args.output);
  } else {
    std::cout << script << std::flush;
  }
  return 0;
}

#else

int runRecordCommand(const ToolArguments&) {
  throw std::runtime_error(
      "this virelo was built without XInput (libxcb-xinput): it cannot record");
}

#endif

}  // namespace virelo::tools
