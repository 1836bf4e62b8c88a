#include "platform/x11/x11_tap.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>
#include <xcb/xinput.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <string_view>

#include "platform/x11/x11_keys.h"
#include "platform/x11/x11_poster.h"
#include "platform/x11/x11_reply.h"

namespace virelo::x11 {
namespace {

constexpr std::uint64_t kNsPerMs = 1000000;

// The source that feeds one tap into a run loop.
class X11TapSource final : public RunLoopSource {
 public:
  explicit X11TapSource(std::shared_ptr<X11Tap> tap) : tap(std::move(tap)) {}
  const std::shared_ptr<X11Tap> tap;
};

bool selectRawKeys(X11Connection& connection) {
  struct {
    xcb_input_event_mask_t head;
    std::uint32_t bits;
  } mask{};
  mask.head.deviceid = XCB_INPUT_DEVICE_ALL_MASTER;
  mask.head.mask_len = 1;
  mask.bits = XCB_INPUT_XI_EVENT_MASK_RAW_KEY_PRESS | XCB_INPUT_XI_EVENT_MASK_RAW_KEY_RELEASE;
  auto* c = connection.get();
  ReplyPtr<xcb_generic_error_t> error(
      awaitChecked(c, xcb_input_xi_select_events_checked(c, connection.root(), 1, &mask.head)));
  return error == nullptr;
}

bool typeWanted(std::uint64_t mask, std::uint32_t type) {
  return type < 64 && ((mask >> type) & 1) != 0;
}

}  // namespace

std::shared_ptr<X11Tap> X11Tap::create(const std::string& display, std::uint64_t mask,
                                       EventTapCallback callback,
                                       std::shared_ptr<PostedKeys> posted) {
  auto connection = X11Connection::open(display);
  if (!connection || !connection->hasXInput2() || !selectRawKeys(*connection)) return nullptr;
  auto tap =
      std::make_shared<X11Tap>(std::move(connection), mask, std::move(callback), std::move(posted));
  tap->findXTestDevices();
  return tap;
}

X11Tap::X11Tap(std::unique_ptr<X11Connection> connection, std::uint64_t mask,
               EventTapCallback callback, std::shared_ptr<PostedKeys> posted)
    : connection_(std::move(connection)),
      mask_(mask),
      callback_(std::move(callback)),
      posted_(std::move(posted)) {
  xinputOpcode_ = xcb_get_extension_data(connection_->get(), &xcb_input_id)->major_opcode;
}

void X11Tap::findXTestDevices() {
  auto* c = connection_->get();
  ReplyPtr<xcb_input_xi_query_device_reply_t> reply(awaitReply<xcb_input_xi_query_device_reply_t>(
      c, xcb_input_xi_query_device(c, XCB_INPUT_DEVICE_ALL).sequence));
  if (!reply) return;
  for (auto it = xcb_input_xi_query_device_infos_iterator(reply.get()); it.rem > 0;
       xcb_input_xi_device_info_next(&it)) {
    std::string_view name(xcb_input_xi_device_info_name(it.data),
                          static_cast<std::size_t>(xcb_input_xi_device_info_name_length(it.data)));
    if (name.find("XTEST") != std::string_view::npos) xtestDevices_.push_back(it.data->deviceid);
  }
}

std::shared_ptr<RunLoopSource> X11Tap::createRunLoopSource() {
  return std::make_shared<X11TapSource>(shared_from_this());
}

bool X11Tap::broken() const {
  return xcb_connection_has_error(connection_->get()) != 0;
}

int X11Tap::fd() const {
  return xcb_get_file_descriptor(connection_->get());
}

void X11Tap::dispatch() {
  while (xcb_generic_event_t* event = xcb_poll_for_event(connection_->get())) {
    ReplyPtr<xcb_generic_event_t> owned(event);
    if ((event->response_type & 0x7F) == XCB_KEY_PRESS) {
      releaseFrozenPress(reinterpret_cast<xcb_key_press_event_t*>(event)->detail);
    }
    if ((event->response_type & 0x7F) != XCB_GE_GENERIC) continue;
    auto* generic = reinterpret_cast<xcb_ge_generic_event_t*>(event);
    if (generic->extension != xinputOpcode_) continue;
    if (generic->event_type != XCB_INPUT_RAW_KEY_PRESS &&
        generic->event_type != XCB_INPUT_RAW_KEY_RELEASE) {
      continue;
    }
    auto* raw = reinterpret_cast<xcb_input_raw_key_press_event_t*>(event);
    handleRawKey(static_cast<std::uint8_t>(raw->detail),
                 generic->event_type == XCB_INPUT_RAW_KEY_PRESS, raw->sourceid, raw->time);
  }
}

void X11Tap::handleRawKey(std::uint8_t key, bool press, std::uint16_t sourceDevice,
                          std::uint32_t time) {
  const bool repeat = press && down_.count(key) != 0;
  if (press) {
    down_.insert(key);
  } else {
    down_.erase(key);
  }
  const bool fromXTest =
      std::find(xtestDevices_.begin(), xtestDevices_.end(), sourceDevice) != xtestDevices_.end();
  std::optional<std::int64_t> tag = fromXTest ? posted_->take(key, press) : std::nullopt;
  auto event = translate(key, press, repeat);
  if (!event || !typeWanted(mask_, event->type) || !enabled_ || invalidated_) return;
  event->timestamp = time * kNsPerMs;
  if (tag) event->setField(kFieldSourceUserData, *tag);
  Event returned = callback_(event->type, *event);
  if (event->type == kEventSystemDefined && grabbing_) decideGrabbed(key, press, returned);
}

void X11Tap::decideGrabbed(std::uint8_t key, bool press, const Event& returned) {
  if (!press) {
    replaced_.erase(key);  // its replacement was released with its press
    return;
  }
  const bool replace = returned.type != kEventSystemDefined;
  decided_[key] = replace;
  if (!replace || !isKeyboardEventType(returned.type)) return;
  replaced_.insert(key);
  // The replacement is pressed and released at once: a replacement held while the grab freezes
  // the keyboard on the media key's repeats could be repeated by the server past its release.
  Event down = returned;
  down.type = kEventKeyDown;
  Event up = returned;
  up.type = kEventKeyUp;
  postEvent(*connection_, *posted_, down);
  postEvent(*connection_, *posted_, up);
}

void X11Tap::releaseFrozenPress(std::uint8_t key) {
  // Without a decision of its own the press is a repeat by the server: consumed for a replaced
  // key, and for a key released meanwhile (replaying it would deliver a press without release).
  bool consume = replaced_.count(key) != 0 || down_.count(key) == 0;
  if (auto it = decided_.find(key); it != decided_.end()) {
    consume = it->second;
    decided_.erase(it);
  }
  // A consumed press ends the grab that it activated, so that the replacement posted through
  // XTEST reaches the focused client and not this tap.
  if (consume) {
    xcb_ungrab_keyboard(connection_->get(), XCB_CURRENT_TIME);
  } else {
    xcb_allow_events(connection_->get(), XCB_ALLOW_REPLAY_KEYBOARD, XCB_CURRENT_TIME);
  }
  xcb_flush(connection_->get());
}

void X11Tap::holdMediaKeys(bool on) {
  if (grabbing_.exchange(on) == on) return;
  auto* c = connection_->get();
  for (int keyType : kMediaKeyTypes) {
    auto key = mediaXKeycode(keyType);
    if (!key) continue;
    if (on) {
      xcb_grab_key(c, 0, connection_->root(), XCB_MOD_MASK_ANY, *key, XCB_GRAB_MODE_ASYNC,
                   XCB_GRAB_MODE_SYNC);
    } else {
      xcb_ungrab_key(c, *key, connection_->root(), XCB_MOD_MASK_ANY);
    }
  }
  // A round trip, so that the keys typed from now on meet the grab (or no longer do).
  awaitReply<xcb_get_input_focus_reply_t>(c, xcb_get_input_focus(c).sequence);
}

std::optional<Event> X11Tap::translate(std::uint8_t key, bool press, bool repeat) const {
  Event event;
  if (auto keyType = mediaKeyType(key)) {
    event.type = kEventSystemDefined;
    event.subtype = kSubtypeAuxControlButtons;
    event.data1 = (static_cast<std::int64_t>(*keyType) << 16) |
                  ((press ? kMediaKeyDown : kMediaKeyUp) << 8) | (repeat ? 1 : 0);
    event.data2 = -1;
    event.flags = modifierFlags();
    return event;
  }
  auto code = virtualKeycode(key);
  if (!code) return std::nullopt;
  event.keycode = *code;
  event.flags = modifierFlags();
  if (modifierMask(*code) != 0 || *code == kCapsLockKeycode) {
    event.type = kEventFlagsChanged;
  } else {
    event.type = press ? kEventKeyDown : kEventKeyUp;
    event.setField(kFieldKeyboardAutorepeat, repeat ? 1 : 0);
  }
  return event;
}

std::uint64_t X11Tap::modifierFlags() const {
  std::uint64_t flags = 0;
  for (std::uint8_t key : down_) {
    if (auto code = virtualKeycode(key)) flags |= modifierMask(*code);
  }
  return flags;
}

std::shared_ptr<X11RunLoop> X11RunLoop::create() {
  int fd = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  return std::make_shared<X11RunLoop>(fd);
}

X11RunLoop::~X11RunLoop() {
  if (wakeFd_ >= 0) ::close(wakeFd_);
}

void X11RunLoop::addSource(const std::shared_ptr<RunLoopSource>& source) {
  if (auto* tapSource = dynamic_cast<X11TapSource*>(source.get())) {
    taps_.push_back(tapSource->tap);
  }
}

void X11RunLoop::removeSource(const std::shared_ptr<RunLoopSource>& source) {
  if (auto* tapSource = dynamic_cast<X11TapSource*>(source.get())) {
    std::erase(taps_, tapSource->tap);
  }
}

void X11RunLoop::dispatchAll() {
  for (const auto& tap : taps_) tap->dispatch();
}

void X11RunLoop::runFor(double seconds) {
  using Clock = std::chrono::steady_clock;
  const auto deadline = Clock::now() + std::chrono::duration_cast<Clock::duration>(
                                           std::chrono::duration<double>(std::max(seconds, 0.0)));
  dispatchAll();  // events XCB already read while it waited for a reply
  for (;;) {
    std::vector<pollfd> fds{{wakeFd_, POLLIN, 0}};
    for (const auto& tap : taps_) {
      if (!tap->broken()) fds.push_back({tap->fd(), POLLIN, 0});
    }
    auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count();
    if (left <= 0) return;
    if (::poll(fds.data(), fds.size(), static_cast<int>(left)) < 0) return;
    std::uint64_t stops = 0;
    if (fds[0].revents != 0 && ::read(wakeFd_, &stops, sizeof stops) > 0) return;
    dispatchAll();
  }
}

void X11RunLoop::stop() {
  std::uint64_t one = 1;
  [[maybe_unused]] auto written = ::write(wakeFd_, &one, sizeof one);
}

}  // namespace virelo::x11
