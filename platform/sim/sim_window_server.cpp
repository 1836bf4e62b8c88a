#include "platform/sim/sim_window_server.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <condition_variable>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <stdexcept>
#include <thread>

#include "core/monotonic_clock.h"

namespace virelo::sim {
namespace {

constexpr std::uint16_t kCapsLockKeycode = 57;

std::optional<std::vector<Rect>> parseDisplays(const nlohmann::json& value) {
  if (value.is_null()) return std::nullopt;
  if (!value.is_array()) throw std::invalid_argument("displays");
  std::vector<Rect> displays;
  for (const auto& d : value) {
    if (!d.is_array() || d.size() != 4) throw std::invalid_argument("displays");
    displays.push_back(
        makeRect(d[0].get<double>(), d[1].get<double>(), d[2].get<double>(), d[3].get<double>()));
  }
  return displays;
}

Point parsePoint(const nlohmann::json& value) {
  if (!value.is_array() || value.size() != 2) throw std::invalid_argument("point");
  return {value[0].get<double>(), value[1].get<double>()};
}

bool typeInMask(std::uint64_t mask, std::uint32_t type) {
  return type < 64 && ((mask >> type) & 1) != 0;
}

// Hand-offs between a poster and a tap thread: spins while the condition holds, for at most
// `limit`, so that an answer that comes at once costs neither side a sleep and a wake-up. After
// the first microseconds it yields the processor in between, in case the other side waits for it.
template <typename Condition>
void spinWhile(Condition condition, std::chrono::microseconds limit) {
  auto start = std::chrono::steady_clock::now();
  auto yieldFrom = start + std::chrono::microseconds(20);
  auto until = start + limit;
  while (condition()) {
    auto now = std::chrono::steady_clock::now();
    if (now >= until) return;
    if (now >= yieldFrom) {
      std::this_thread::yield();
    } else {
#if defined(__x86_64__) || defined(__i386__)
      __builtin_ia32_pause();
#endif
    }
  }
}

// A poster waits for the tap's answer anyway; a tap thread only hopes for the next event.
constexpr auto kPosterSpin = std::chrono::microseconds(1000);
constexpr auto kTapSpin = std::chrono::microseconds(50);

}  // namespace

class SimTap;
class SimRunLoop;

// Where an event comes from: posted through the event services, or a hardware device.
enum class EventSource { posted = 0, hardware = 1 };

struct SimWindowServer::State {
  SimHost& host;
  std::chrono::milliseconds tapTimeout;

  std::mutex mutex;
  // Notified on every change: queued work, stops, finished deliveries, tap changes.
  std::condition_variable changed;
  bool postAccess = true;
  bool listenAccess = true;
  std::optional<std::vector<Rect>> displays;
  Point cursor;
  double keyRepeatDelay = 0.25;
  double keyRepeatInterval = 0.03;
  double doubleClickInterval = 0.5;
  bool capsLock = false;
  // Whether each source's caps-lock key is down: a source's flags-changed events for that key
  // alternate press and release, and every press toggles caps lock.
  std::array<bool, 2> capsKeyDown{};
  // The session taps, newest first.
  std::vector<std::shared_ptr<SimTap>> taps;
  std::map<std::thread::id, std::weak_ptr<SimRunLoop>> loops;

  State(SimHost& h, std::chrono::milliseconds timeout) : host(h), tapTimeout(timeout) {}

  Event passTaps(Event event);
  std::optional<Event> deliver(const std::shared_ptr<SimTap>& tap, std::uint32_t type,
                               const Event& event, bool waitForIt);
  // Applies what an event that left the taps does to the session. Under the mutex.
  void applyLocked(const Event& event, EventSource source);
  nlohmann::json snapshotLocked() const;
  void applySet(const nlohmann::json& request);
};

class SimRunLoop final : public RunLoop, public std::enable_shared_from_this<SimRunLoop> {
 public:
  SimRunLoop(std::shared_ptr<SimWindowServer::State> state, std::thread::id thread)
      : state_(std::move(state)), thread_(thread) {}

  void addSource(const std::shared_ptr<RunLoopSource>& source) override;
  void removeSource(const std::shared_ptr<RunLoopSource>& source) override;

  void runFor(double seconds) override {
    auto deadline = std::chrono::steady_clock::now() +
                    std::chrono::duration_cast<std::chrono::steady_clock::duration>(
                        std::chrono::duration<double>(std::max(seconds, 0.0)));
    std::unique_lock<std::mutex> lock(state_->mutex);
    bool justWorked = false;
    while (!stopped_) {
      if (!work_.empty()) {
        auto job = std::move(work_.front());
        work_.pop_front();
        lock.unlock();
        job();
        lock.lock();
        justWorked = true;
        continue;
      }
      // Events come in bursts (a key press is a flags change and a key down): right after a
      // delivery the loop looks for the next one for a moment before it goes to sleep.
      if (justWorked) {
        justWorked = false;
        std::uint64_t seen = queued_.load(std::memory_order_acquire);
        lock.unlock();
        spinWhile([&] { return queued_.load(std::memory_order_acquire) == seen; }, kTapSpin);
        lock.lock();
        continue;
      }
      if (state_->changed.wait_until(lock, deadline) == std::cv_status::timeout) break;
    }
    stopped_ = false;
  }

  void stop() override {
    std::lock_guard<std::mutex> guard(state_->mutex);
    stopped_ = true;
    state_->changed.notify_all();
  }

  // Under the mutex.
  void enqueueLocked(std::function<void()> job) {
    work_.push_back(std::move(job));
    queued_.fetch_add(1, std::memory_order_release);
    state_->changed.notify_all();
  }
  std::thread::id thread() const { return thread_; }

 private:
  std::shared_ptr<SimWindowServer::State> state_;
  const std::thread::id thread_;
  std::deque<std::function<void()>> work_;  // under the mutex
  bool stopped_ = false;                    // under the mutex
  std::atomic<std::uint64_t> queued_{0};    // jobs ever queued, read without the mutex
};

class SimTap final : public EventTap, public std::enable_shared_from_this<SimTap> {
 public:
  SimTap(std::shared_ptr<SimWindowServer::State> state, std::uint64_t mask,
         EventTapCallback callback)
      : state_(std::move(state)), mask_(mask), callback_(std::move(callback)) {}

  void enable(bool on) override {
    std::lock_guard<std::mutex> guard(state_->mutex);
    if (invalidated_) return;
    enabled_ = on;
    state_->host.trace({{"event", "tap_enable"}, {"enabled", on}});
    state_->changed.notify_all();
  }

  void invalidate() override {
    std::lock_guard<std::mutex> guard(state_->mutex);
    if (invalidated_) return;
    invalidated_ = true;
    enabled_ = false;
    auto self = shared_from_this();
    std::erase(state_->taps, self);
    state_->host.trace({{"event", "tap_invalidate"}});
    state_->changed.notify_all();
  }

  std::shared_ptr<RunLoopSource> createRunLoopSource() override;

  Event call(std::uint32_t type, Event event) { return callback_(type, std::move(event)); }

  // All under the mutex.
  bool installedLocked() const { return !invalidated_ && loop_ != nullptr; }
  bool deliverableLocked(std::uint32_t type) const {
    return installedLocked() && enabled_ && typeInMask(mask_, type);
  }
  bool enabledLocked() const { return enabled_; }
  void disableLocked() { enabled_ = false; }
  bool invalidatedLocked() const { return invalidated_; }
  const std::shared_ptr<SimRunLoop>& loopLocked() const { return loop_; }
  void setLoopLocked(std::shared_ptr<SimRunLoop> loop) { loop_ = std::move(loop); }

 private:
  std::shared_ptr<SimWindowServer::State> state_;
  const std::uint64_t mask_;
  const EventTapCallback callback_;
  bool enabled_ = false;
  bool invalidated_ = false;
  std::shared_ptr<SimRunLoop> loop_;
};

class SimRunLoopSource final : public RunLoopSource {
 public:
  explicit SimRunLoopSource(std::shared_ptr<SimTap> tap) : tap(std::move(tap)) {}
  const std::shared_ptr<SimTap> tap;
};

std::shared_ptr<RunLoopSource> SimTap::createRunLoopSource() {
  return std::make_shared<SimRunLoopSource>(shared_from_this());
}

void SimRunLoop::addSource(const std::shared_ptr<RunLoopSource>& source) {
  auto s = std::dynamic_pointer_cast<SimRunLoopSource>(source);
  if (!s) return;
  std::lock_guard<std::mutex> guard(state_->mutex);
  if (!s->tap->invalidatedLocked()) s->tap->setLoopLocked(shared_from_this());
  state_->changed.notify_all();
}

void SimRunLoop::removeSource(const std::shared_ptr<RunLoopSource>& source) {
  auto s = std::dynamic_pointer_cast<SimRunLoopSource>(source);
  if (!s) return;
  std::lock_guard<std::mutex> guard(state_->mutex);
  if (s->tap->loopLocked().get() == this) s->tap->setLoopLocked(nullptr);
  state_->changed.notify_all();
}

std::optional<Event> SimWindowServer::State::deliver(const std::shared_ptr<SimTap>& tap,
                                                     std::uint32_t type, const Event& event,
                                                     bool waitForIt) {
  struct Slot {
    std::atomic<bool> done{false};
    Event result;
  };
  std::unique_lock<std::mutex> lock(mutex);
  auto loop = tap->loopLocked();
  if (!loop || tap->invalidatedLocked()) return std::nullopt;
  if (loop->thread() == std::this_thread::get_id()) {
    // Posted from the tap's own thread: the callback runs right here.
    lock.unlock();
    return tap->call(type, event);
  }
  auto slot = std::make_shared<Slot>();
  loop->enqueueLocked([this, tap, type, event, slot] {
    Event out = tap->call(type, event);
    std::lock_guard<std::mutex> guard(mutex);
    slot->result = std::move(out);
    slot->done.store(true, std::memory_order_release);
    changed.notify_all();
  });
  if (!waitForIt) return std::nullopt;
  // A callback usually answers within microseconds: look for the answer for a moment before
  // sleeping on the condition.
  lock.unlock();
  spinWhile([&] { return !slot->done.load(std::memory_order_acquire); }, kPosterSpin);
  lock.lock();
  changed.wait_for(lock, tapTimeout, [&] {
    return slot->done.load(std::memory_order_relaxed) || tap->invalidatedLocked() ||
           tap->loopLocked() != loop;
  });
  if (slot->done.load(std::memory_order_relaxed)) return slot->result;
  if (!tap->invalidatedLocked() && tap->loopLocked() == loop && tap->enabledLocked()) {
    // Too slow: the system disables the tap and tells it so when its loop runs again.
    tap->disableLocked();
    host.trace({{"event", "tap_disabled"}, {"reason", "timeout"}});
    loop->enqueueLocked([tap] { tap->call(kEventTapDisabledByTimeout, Event{}); });
  }
  return std::nullopt;
}

Event SimWindowServer::State::passTaps(Event event) {
  std::vector<std::shared_ptr<SimTap>> current;
  {
    std::lock_guard<std::mutex> guard(mutex);
    if (!listenAccess) return event;
    current = taps;
  }
  for (const auto& tap : current) {
    {
      std::lock_guard<std::mutex> guard(mutex);
      if (!listenAccess || !tap->deliverableLocked(event.type)) continue;
    }
    if (auto out = deliver(tap, event.type, event, true)) event = std::move(*out);
  }
  return event;
}

void SimWindowServer::State::applyLocked(const Event& event, EventSource source) {
  if (isMouseEventType(event.type)) cursor = event.location;
  if (event.type == kEventFlagsChanged && event.keycode == kCapsLockKeycode) {
    bool& down = capsKeyDown[static_cast<std::size_t>(source)];
    if (!down) capsLock = !capsLock;
    down = !down;
  }
}

nlohmann::json SimWindowServer::State::snapshotLocked() const {
  bool installed = false;
  bool enabled = false;
  for (const auto& tap : taps) {
    if (!tap->installedLocked()) continue;
    installed = true;
    enabled = enabled || tap->enabledLocked();
  }
  return {{"ok", true},
          {"cursor", {cursor.x, cursor.y}},
          {"capsLock", capsLock},
          {"postEventAccess", postAccess},
          {"listenEventAccess", listenAccess},
          {"tapInstalled", installed},
          {"tapEnabled", enabled}};
}

void SimWindowServer::State::applySet(const nlohmann::json& request) {
  // Parsed first, so that a malformed request changes nothing.
  std::optional<bool> post, listen, caps;
  std::optional<std::optional<std::vector<Rect>>> newDisplays;
  std::optional<Point> newCursor;
  std::optional<double> delay, interval, doubleClick;
  if (request.contains("postEventAccess")) post = request["postEventAccess"].get<bool>();
  if (request.contains("listenEventAccess")) listen = request["listenEventAccess"].get<bool>();
  if (request.contains("capsLock")) caps = request["capsLock"].get<bool>();
  if (request.contains("displays")) newDisplays = parseDisplays(request["displays"]);
  if (request.contains("cursor")) newCursor = parsePoint(request["cursor"]);
  if (request.contains("keyRepeatDelay")) {
    delay = worldSeconds(request["keyRepeatDelay"], keyRepeatDelay);
  }
  if (request.contains("keyRepeatInterval")) {
    interval = worldSeconds(request["keyRepeatInterval"], keyRepeatInterval);
  }
  if (request.contains("doubleClickInterval")) {
    doubleClick = worldSeconds(request["doubleClickInterval"], doubleClickInterval);
  }
  std::lock_guard<std::mutex> guard(mutex);
  if (post) postAccess = *post;
  if (listen) listenAccess = *listen;
  if (caps) capsLock = *caps;
  if (newDisplays) displays = std::move(*newDisplays);
  if (newCursor) cursor = *newCursor;
  if (delay) keyRepeatDelay = *delay;
  if (interval) keyRepeatInterval = *interval;
  if (doubleClick) doubleClickInterval = *doubleClick;
  changed.notify_all();
}

SimWindowServer::SimWindowServer(SimHost& host, std::chrono::milliseconds tapTimeout)
    : state_(std::make_shared<State>(host, tapTimeout)) {
  const auto& world = host.world();
  auto& s = *state_;
  s.displays = std::vector<Rect>{makeRect(0, 0, 1920, 1080)};
  try {
    if (world.contains("displays")) s.displays = parseDisplays(world["displays"]);
  } catch (const std::exception&) {
    host.trace({{"event", "world_error"}, {"key", "displays"}});
  }
  s.cursor = (s.displays && !s.displays->empty()) ? s.displays->front().center() : Point{};
  try {
    if (world.contains("cursor")) s.cursor = parsePoint(world["cursor"]);
  } catch (const std::exception&) {
    host.trace({{"event", "world_error"}, {"key", "cursor"}});
  }
  auto boolean = [&](const char* key, bool fallback) {
    auto it = world.find(key);
    return (it != world.end() && it->is_boolean()) ? it->get<bool>() : fallback;
  };
  s.postAccess = boolean("postEventAccess", true);
  s.listenAccess = boolean("listenEventAccess", true);
  s.capsLock = boolean("capsLock", false);
  s.keyRepeatDelay = worldSeconds(world.value("keyRepeatDelay", nlohmann::json()), 0.25);
  s.keyRepeatInterval = worldSeconds(world.value("keyRepeatInterval", nlohmann::json()), 0.03);
  s.doubleClickInterval = worldSeconds(world.value("doubleClickInterval", nlohmann::json()), 0.5);

  auto state = state_;
  host.onSet([state](const nlohmann::json& request) { state->applySet(request); });
  host.onRequest("cursor", [state](const nlohmann::json& request) -> nlohmann::json {
    Point p{request.at("x").get<double>(), request.at("y").get<double>()};
    std::lock_guard<std::mutex> guard(state->mutex);
    state->cursor = p;
    return {{"ok", true}};
  });
  host.onRequest("state", [state](const nlohmann::json&) -> nlohmann::json {
    std::lock_guard<std::mutex> guard(state->mutex);
    return state->snapshotLocked();
  });
  host.onRequest("hardware", [state](const nlohmann::json& request) -> nlohmann::json {
    Point cursor;
    {
      std::lock_guard<std::mutex> guard(state->mutex);
      cursor = state->cursor;
    }
    Event event = eventFromJson(request, cursor);
    event = state->passTaps(std::move(event));
    nlohmann::json json = eventToJson(event);
    {
      std::lock_guard<std::mutex> guard(state->mutex);
      state->applyLocked(event, EventSource::hardware);
    }
    nlohmann::json line = json;
    line["event"] = "hardware";
    state->host.trace(std::move(line));
    return {{"ok", true}, {"result", json}};
  });
  host.onRequest("disable_tap", [state](const nlohmann::json& request) -> nlohmann::json {
    const auto& reason = request.at("reason").get_ref<const std::string&>();
    std::uint32_t type;
    if (reason == "timeout") {
      type = kEventTapDisabledByTimeout;
    } else if (reason == "user_input") {
      type = kEventTapDisabledByUserInput;
    } else {
      throw std::invalid_argument("reason");
    }
    std::vector<std::shared_ptr<SimTap>> installed;
    {
      std::lock_guard<std::mutex> guard(state->mutex);
      for (const auto& tap : state->taps) {
        if (!tap->installedLocked()) continue;
        tap->disableLocked();
        installed.push_back(tap);
      }
      state->host.trace({{"event", "tap_disabled"}, {"reason", reason}});
      state->changed.notify_all();
    }
    for (const auto& tap : installed) state->deliver(tap, type, Event{}, true);
    return {{"ok", true}, {"taps", installed.size()}};
  });
}

SimWindowServer::~SimWindowServer() = default;

std::optional<Event> SimWindowServer::createKeyboardEvent(std::uint16_t keycode, bool down) {
  Event e;
  e.type = down ? kEventKeyDown : kEventKeyUp;
  e.keycode = keycode;
  e.timestamp = monotonicNS();
  std::lock_guard<std::mutex> guard(state_->mutex);
  e.location = state_->cursor;
  return e;
}

std::optional<Event> SimWindowServer::createMouseEvent(std::uint32_t type, Point position,
                                                       std::uint32_t button) {
  Event e;
  e.type = type;
  e.location = position;
  e.button = button;
  e.timestamp = monotonicNS();
  return e;
}

std::optional<Event> SimWindowServer::createScrollWheelEvent(std::int32_t lines) {
  Event e;
  e.type = kEventScrollWheel;
  e.wheelUnits = ScrollUnits::lines;
  e.wheelValue = lines;
  e.timestamp = monotonicNS();
  std::lock_guard<std::mutex> guard(state_->mutex);
  e.location = state_->cursor;
  return e;
}

std::optional<Event> SimWindowServer::createSystemDefinedEvent(const SystemDefinedEventArgs& args) {
  Event e;
  e.type = kEventSystemDefined;
  e.location = args.location;
  e.flags = args.modifierFlags;
  e.timestamp = args.timestamp;
  e.subtype = args.subtype;
  e.data1 = args.data1;
  e.data2 = args.data2;
  return e;
}

std::optional<Event> SimWindowServer::createEvent() {
  Event e;
  e.timestamp = monotonicNS();
  std::lock_guard<std::mutex> guard(state_->mutex);
  e.location = state_->cursor;
  return e;
}

std::optional<SystemDefinedData> SimWindowServer::systemDefinedData(const Event& event) {
  if (event.type != kEventSystemDefined) return std::nullopt;
  return SystemDefinedData{event.subtype, event.data1};
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

nlohmann::json SimWindowServer::eventToJson(const Event& event) {
  nlohmann::json j = {{"type", event.type},
                      {"flags", event.flags},
                      {"location", {event.location.x, event.location.y}},
                      {"timestamp", event.timestamp}};
  if (isKeyboardEventType(event.type)) j["keycode"] = event.keycode;
  if (isMouseEventType(event.type)) j["button"] = event.button;
  if (!event.fields.empty()) {
    nlohmann::json fields = nlohmann::json::object();
    for (const auto& [field, value] : event.fields) fields[std::to_string(field)] = value;
    j["fields"] = std::move(fields);
  }
  if (event.type == kEventSystemDefined) {
    j["subtype"] = event.subtype;
    j["data1"] = event.data1;
    j["data2"] = event.data2;
  }
  if (event.type == kEventScrollWheel) {
    j["wheel"] = {{"units", static_cast<int>(event.wheelUnits)}, {"value", event.wheelValue}};
  }
  return j;
}

Event SimWindowServer::eventFromJson(const nlohmann::json& json, Point defaultLocation) {
  Event e;
  e.type = json.at("type").get<std::uint32_t>();
  e.flags = json.value("flags", std::uint64_t{0});
  e.location = json.contains("location") ? parsePoint(json["location"]) : defaultLocation;
  e.timestamp = json.contains("timestamp") ? json["timestamp"].get<std::uint64_t>() : monotonicNS();
  e.keycode = json.value("keycode", std::uint16_t{0});
  e.button = json.value("button", std::uint32_t{0});
  if (json.contains("fields")) {
    for (const auto& [key, value] : json["fields"].items()) {
      e.setField(std::stoi(key), value.get<std::int64_t>());
    }
  }
  e.subtype = json.value("subtype", std::int16_t{0});
  e.data1 = json.value("data1", std::int64_t{0});
  e.data2 = json.value("data2", std::int64_t{0});
  if (json.contains("wheel")) {
    const auto& w = json["wheel"];
    e.wheelUnits = w.value("units", 1) == 0 ? ScrollUnits::pixels : ScrollUnits::lines;
    e.wheelValue = w.at("value").get<std::int32_t>();
  }
  return e;
}

}  // namespace virelo::sim
