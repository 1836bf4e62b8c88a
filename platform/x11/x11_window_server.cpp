#include "platform/x11/x11_window_server.h"

#include <algorithm>
#include <utility>

#include "platform/x11/x11_keys.h"
#include "platform/x11/x11_poster.h"
#include "platform/x11/x11_reply.h"
#include "platform/x11/x11_settings.h"
#include "platform/x11/x11_tap.h"
#include "platform/x11/x11_xtest_devices.h"

namespace virelo::x11 {

X11WindowServer::X11WindowServer(std::string display) : display_(std::move(display)) {
  std::lock_guard<std::mutex> guard(mutex_);
  lastAttempt_ = std::chrono::steady_clock::now();
  opening_ = X11Opening::start(display_);
  takeOpened(kReplyWait);
}

X11WindowServer::~X11WindowServer() = default;

std::shared_ptr<X11Connection> X11WindowServer::watched(std::unique_ptr<X11Connection> connection) {
  if (!connection) return nullptr;
  connection->watchXkb();
  // What a previous instance left held when it crashed or was killed (XTEST input outlives its
  // client) would stay down and repeat: a service that starts, or finds the server again,
  // releases it first.
  if (connection->hasXTest() && connection->hasXInput2()) {
    releaseHeld(connection->get(), xtestDevices(connection->get()));
  }
  return connection;
}

void X11WindowServer::takeOpened(std::chrono::milliseconds wait) {
  if (!opening_ || !opening_->await(wait)) return;
  connection_ = watched(opening_->take());
  opening_.reset();
}

std::shared_ptr<X11Connection> X11WindowServer::current() {
  std::lock_guard<std::mutex> guard(mutex_);
  if (connection_ && xcb_connection_has_error(connection_->get())) connection_.reset();
  return connection_;
}

std::shared_ptr<X11Connection> X11WindowServer::reconnected() {
  std::lock_guard<std::mutex> guard(mutex_);
  if (connection_ && !connection_->alive()) connection_.reset();
  if (connection_) return connection_;
  if (opening_) {
    takeOpened(std::chrono::milliseconds(0));  // an open still waiting for the server
    return connection_;
  }
  auto now = std::chrono::steady_clock::now();
  if (now - lastAttempt_ >= kReconnectInterval) {
    lastAttempt_ = now;
    opening_ = X11Opening::start(display_);
    takeOpened(kReconnectWait);
  }
  return connection_;
}

bool X11WindowServer::tapBroken() {
  std::lock_guard<std::mutex> guard(mutex_);
  std::erase_if(taps_, [](const std::weak_ptr<X11Tap>& tap) { return tap.expired(); });
  return std::any_of(taps_.begin(), taps_.end(), [](const std::weak_ptr<X11Tap>& weak) {
    auto tap = weak.lock();
    return tap && tap->broken();
  });
}

std::optional<Event> X11WindowServer::createEvent() {
  auto connection = current();
  auto position = connection ? pointerPosition(*connection) : std::nullopt;
  std::lock_guard<std::mutex> guard(mutex_);
  if (position) cursor_ = *position;
  Event event;
  event.location = cursor_;
  return event;
}

void X11WindowServer::post(const Event& event) {
  if (event.type == kEventFlagsChanged && event.keycode == kFnKeycode) {
    lendFn((event.flags & kFlagSecondaryFn) != 0);
  }
  if (auto connection = current()) postEvent(*connection, *posted_, event);
}

void X11WindowServer::lendFn(bool lent) {
  std::lock_guard<std::mutex> lending(lendMutex_);
  fnLent_ = lent;
  std::vector<std::shared_ptr<X11Tap>> taps;
  {
    std::lock_guard<std::mutex> guard(mutex_);
    for (const auto& weak : taps_) {
      if (auto tap = weak.lock()) taps.push_back(std::move(tap));
    }
  }
  for (const auto& tap : taps) tap->holdMediaKeys(lent);
}

std::uint64_t X11WindowServer::combinedFlagsState() {
  auto connection = current();
  return connection && connection->xkb() ? connection->xkb()->flags() : 0;
}

bool X11WindowServer::postEventAccess() {
  auto connection = reconnected();
  return connection && connection->hasXTest();
}

bool X11WindowServer::listenEventAccess() {
  auto connection = reconnected();
  return connection && connection->hasXInput2() && !tapBroken();
}

double X11WindowServer::keyRepeatDelay() {
  auto connection = current();
  auto repeat = connection && connection->xkb() ? connection->xkb()->repeat() : std::nullopt;
  return repeat ? repeat->delay : 0;
}

double X11WindowServer::keyRepeatInterval() {
  auto connection = current();
  auto repeat = connection && connection->xkb() ? connection->xkb()->repeat() : std::nullopt;
  return repeat ? repeat->interval : 0;
}

double X11WindowServer::doubleClickInterval() {
  auto connection = current();
  return connection ? doubleClickSeconds(*connection) : kDefaultDoubleClickSeconds;
}

double X11WindowServer::deskScale() {
  auto connection = current();
  return connection ? x11::deskScale(*connection) : 1;
}

std::optional<std::vector<Rect>> X11WindowServer::activeDisplayBounds(std::size_t maxDisplays) {
  auto connection = current();
  if (!connection) return std::nullopt;
  return monitors(*connection, maxDisplays);
}

std::shared_ptr<EventTap> X11WindowServer::createTap(std::uint64_t mask,
                                                     EventTapCallback callback) {
  auto tap = X11Tap::create(display_, mask, std::move(callback), posted_);
  if (!tap) return nullptr;
  std::lock_guard<std::mutex> lending(lendMutex_);
  {
    std::lock_guard<std::mutex> guard(mutex_);
    taps_.push_back(tap);
  }
  if (fnLent_) tap->holdMediaKeys(true);
  return tap;
}

std::shared_ptr<RunLoop> X11WindowServer::currentRunLoop() {
  return X11RunLoop::create();
}

}  // namespace virelo::x11
