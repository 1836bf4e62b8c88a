// The inside of the simulated window server, shared by its parts: the session state under one
// mutex, the session taps and the run loops that deliver events to them. The header comment of
// sim_window_server.h gives the behaviour and the thread rules; sim_window_taps.cpp holds the
// taps and run loops, sim_window_control.cpp the world keys and control requests,
// sim_window_event_json.cpp the trace form of events.
#pragma once

#include <array>
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

#include "platform/sim/sim_window_server.h"

namespace virelo::sim {

class SimTap;
class SimRunLoop;

// The world and trace forms of the display list and of a point (throw std::invalid_argument or
// nlohmann's errors when malformed).
std::optional<std::vector<Rect>> parseDisplays(const nlohmann::json& value);
Point parsePoint(const nlohmann::json& value);

inline bool typeInMask(std::uint64_t mask, std::uint32_t type) {
  return type < 64 && ((mask >> type) & 1) != 0;
}

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
  double deskScale = 1;
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
  // Takes the world's keys; a malformed "displays" or "cursor" is traced and keeps the default.
  void loadWorld(const nlohmann::json& world);
};

// Registers the window server's control requests ("set", "cursor", "state", "hardware",
// "disable_tap") with the host.
void serveWindowControl(const std::shared_ptr<SimWindowServer::State>& state);

class SimRunLoop final : public RunLoop, public std::enable_shared_from_this<SimRunLoop> {
 public:
  SimRunLoop(std::shared_ptr<SimWindowServer::State> state, std::thread::id thread)
      : state_(std::move(state)), thread_(thread) {}

  void addSource(const std::shared_ptr<RunLoopSource>& source) override;
  void removeSource(const std::shared_ptr<RunLoopSource>& source) override;

  void runFor(double seconds) override;
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

}  // namespace virelo::sim
