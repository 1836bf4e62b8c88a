#include "platform/sim/sim_window_server.h"

#include <mutex>
#include <thread>

#include "core/monotonic_clock.h"
#include "platform/sim/sim_window_state.h"

namespace virelo::sim {

SimWindowServer::SimWindowServer(SimHost& host, std::chrono::milliseconds tapTimeout)
    : state_(std::make_shared<State>(host, tapTimeout)) {
  state_->loadWorld(host.world());
  serveWindowControl(state_);
}

SimWindowServer::~SimWindowServer() = default;

std::optional<Event> SimWindowServer::createKeyboardEvent(std::uint16_t keycode, bool down) {
  auto e = PlainEventServices::createKeyboardEvent(keycode, down);
  e->timestamp = monotonicNS();
  std::lock_guard<std::mutex> guard(state_->mutex);
  e->location = state_->cursor;
  return e;
}

std::optional<Event> SimWindowServer::createMouseEvent(std::uint32_t type, Point position,
                                                       std::uint32_t button) {
  auto e = PlainEventServices::createMouseEvent(type, position, button);
  e->timestamp = monotonicNS();
  return e;
}

std::optional<Event> SimWindowServer::createScrollWheelEvent(std::int32_t lines) {
  auto e = PlainEventServices::createScrollWheelEvent(lines);
  e->timestamp = monotonicNS();
  std::lock_guard<std::mutex> guard(state_->mutex);
  e->location = state_->cursor;
  return e;
}

std::optional<Event> SimWindowServer::createEvent() {
  Event e;
  e.timestamp = monotonicNS();
  std::lock_guard<std::mutex> guard(state_->mutex);
  e.location = state_->cursor;
  return e;
}

void SimWindowServer::post(const Event& event) {
  {
    std::lock_guard<std::mutex> guard(state_->mutex);
    if (!state_->postAccess) {
      nlohmann::json line = eventToJson(event);
      line["event"] = "post_dropped";
      state_->host.trace(std::move(line));
      return;
    }
  }
  Event out = state_->passTaps(event);
  {
    std::lock_guard<std::mutex> guard(state_->mutex);
    state_->applyLocked(out, EventSource::posted);
  }
  if (!state_->host.tracing()) return;
  nlohmann::json line = eventToJson(out);
  line["event"] = "post";
  state_->host.trace(std::move(line));
}

std::uint64_t SimWindowServer::combinedFlagsState() {
  std::lock_guard<std::mutex> guard(state_->mutex);
  return state_->capsLock ? kFlagAlphaShift : 0;
}

bool SimWindowServer::postEventAccess() {
  std::lock_guard<std::mutex> guard(state_->mutex);
  return state_->postAccess;
}

bool SimWindowServer::listenEventAccess() {
  std::lock_guard<std::mutex> guard(state_->mutex);
  return state_->listenAccess;
}

double SimWindowServer::keyRepeatDelay() {
  std::lock_guard<std::mutex> guard(state_->mutex);
  return state_->keyRepeatDelay;
}

double SimWindowServer::keyRepeatInterval() {
  std::lock_guard<std::mutex> guard(state_->mutex);
  return state_->keyRepeatInterval;
}

double SimWindowServer::doubleClickInterval() {
  std::lock_guard<std::mutex> guard(state_->mutex);
  return state_->doubleClickInterval;
}

double SimWindowServer::deskScale() {
  std::lock_guard<std::mutex> guard(state_->mutex);
  return state_->deskScale;
}

std::optional<std::vector<Rect>> SimWindowServer::activeDisplayBounds(std::size_t maxDisplays) {
  std::lock_guard<std::mutex> guard(state_->mutex);
  if (!state_->displays) return std::nullopt;
  auto list = *state_->displays;
  if (list.size() > maxDisplays) list.resize(maxDisplays);
  return list;
}

std::shared_ptr<EventTap> SimWindowServer::createTap(std::uint64_t mask,
                                                     EventTapCallback callback) {
  std::lock_guard<std::mutex> guard(state_->mutex);
  if (!state_->listenAccess) {
    state_->host.trace({{"event", "tap_refused"}});
    return nullptr;
  }
  auto tap = std::make_shared<SimTap>(state_, mask, std::move(callback));
  state_->taps.insert(state_->taps.begin(), tap);
  state_->host.trace({{"event", "tap_create"}, {"mask", mask}});
  return tap;
}

std::shared_ptr<RunLoop> SimWindowServer::currentRunLoop() {
  const auto id = std::this_thread::get_id();
  std::lock_guard<std::mutex> guard(state_->mutex);
  auto& slot = state_->loops[id];
  if (auto loop = slot.lock()) return loop;
  auto loop = std::make_shared<SimRunLoop>(state_, id);
  slot = loop;
  return loop;
}

}  // namespace virelo::sim
