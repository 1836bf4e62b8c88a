// An in-process stand-in for the window server's event services: records every posted event and
// every display query, lets a test make any creation fail, and runs event taps on a run loop that
// the test feeds with deliver(). Safe to use from the test thread and a tap thread at once.
#pragma once

#include <pthread.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <limits>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "platform/event_services.h"

namespace virelo::test {

class RecordingEventServices : public EventServices {
 public:
  // Creation kinds, for failing them.
  enum class Kind { keyboard, mouse, scroll, systemDefined, plain, systemData };

  class Tap;
  class Loop;
  class Source : public RunLoopSource {
   public:
    explicit Source(std::shared_ptr<Tap> tap) : tap(std::move(tap)) {}
    std::shared_ptr<Tap> tap;
  };

  class Tap : public EventTap, public std::enable_shared_from_this<Tap> {
   public:
    Tap(RecordingEventServices& owner, std::uint64_t mask, EventTapCallback callback)
        : owner_(owner), mask(mask), callback(std::move(callback)) {}
    void enable(bool on) override {
      std::lock_guard<std::mutex> guard(owner_.mutex_);
      if (!invalidated) enabled = on;
      ++enableCalls;
      if (on) ++enableOnCalls;
      owner_.changed_.notify_all();
    }
    void invalidate() override {
      std::lock_guard<std::mutex> guard(owner_.mutex_);
      invalidated = true;
      enabled = false;
      owner_.changed_.notify_all();
    }
    std::shared_ptr<RunLoopSource> createRunLoopSource() override {
      std::lock_guard<std::mutex> guard(owner_.mutex_);
      if (owner_.failSource) return nullptr;
      return std::make_shared<Source>(shared_from_this());
    }

    RecordingEventServices& owner_;
    const std::uint64_t mask;
    const EventTapCallback callback;
    // Guarded by the owner's mutex.
    bool enabled = false;
    bool invalidated = false;
    int enableCalls = 0;
    int enableOnCalls = 0;
    std::shared_ptr<Loop> loop;
  };

  class Loop : public RunLoop, public std::enable_shared_from_this<Loop> {
   public:
    explicit Loop(RecordingEventServices& owner) : owner_(owner) {}
    void addSource(const std::shared_ptr<RunLoopSource>& source) override {
      std::lock_guard<std::mutex> guard(owner_.mutex_);
      auto s = std::static_pointer_cast<Source>(source);
      sources.insert(s);
      s->tap->loop = shared_from_this();
      owner_.changed_.notify_all();
    }
    void removeSource(const std::shared_ptr<RunLoopSource>& source) override {
      std::lock_guard<std::mutex> guard(owner_.mutex_);
      auto s = std::static_pointer_cast<Source>(source);
      sources.erase(s);
      s->tap->loop.reset();
      owner_.changed_.notify_all();
    }
    // Serves queued deliveries until stopped or for a short real pause; virtual time does not
    // pass here, so the slice costs the test nothing.
    void runFor(double) override {
      std::unique_lock<std::mutex> lock(owner_.mutex_);
      ++runs;
      owner_.changed_.notify_all();
      auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(2);
      while (!stopped) {
        if (!work.empty()) {
          auto job = std::move(work.front());
          work.pop_front();
          lock.unlock();
          job();
          lock.lock();
          continue;
        }
        if (owner_.changed_.wait_until(lock, until) == std::cv_status::timeout) break;
      }
      stopped = false;
    }
    void stop() override {
      std::lock_guard<std::mutex> guard(owner_.mutex_);
      stopped = true;
      ++stops;
      owner_.changed_.notify_all();
    }

    RecordingEventServices& owner_;
    // Guarded by the owner's mutex.
    std::set<std::shared_ptr<Source>> sources;
    std::deque<std::function<void()>> work;
    bool stopped = false;
    int runs = 0;
    int stops = 0;
  };

  // --- EventServices ---

  std::optional<Event> createKeyboardEvent(std::uint16_t keycode, bool down) override {
    std::lock_guard<std::mutex> guard(mutex_);
    if (!allow(Kind::keyboard)) return std::nullopt;
    Event e;
    e.type = down ? kEventKeyDown : kEventKeyUp;
    e.keycode = keycode;
    e.location = cursor_;
    return e;
  }
  std::optional<Event> createMouseEvent(std::uint32_t type, Point position,
                                        std::uint32_t button) override {
    std::lock_guard<std::mutex> guard(mutex_);
    if (!allow(Kind::mouse)) return std::nullopt;
    Event e;
    e.type = type;
    e.location = position;
    e.button = button;
    return e;
  }
  std::optional<Event> createScrollWheelEvent(std::int32_t lines) override {
    std::lock_guard<std::mutex> guard(mutex_);
    if (!allow(Kind::scroll)) return std::nullopt;
    Event e;
    e.type = kEventScrollWheel;
    e.location = cursor_;
    e.wheelUnits = ScrollUnits::lines;
    e.wheelValue = lines;
    return e;
  }
  std::optional<Event> createSystemDefinedEvent(const SystemDefinedEventArgs& args) override {
    std::lock_guard<std::mutex> guard(mutex_);
    if (!allow(Kind::systemDefined)) return std::nullopt;
    return systemDefinedEvent(args);
  }
  std::optional<Event> createEvent() override {
    std::lock_guard<std::mutex> guard(mutex_);
    if (!allow(Kind::plain)) return std::nullopt;
    ++cursorReads_;
    Event e;
    e.location = cursor_;
    return e;
  }
  std::optional<SystemDefinedData> systemDefinedData(const Event& event) override {
    std::lock_guard<std::mutex> guard(mutex_);
    if (!allow(Kind::systemData) || event.type != kEventSystemDefined) return std::nullopt;
    return SystemDefinedData{event.subtype, event.data1};
  }
  void post(const Event& event) override {
    std::lock_guard<std::mutex> guard(mutex_);
    posted_.push_back(event);
    if (isMouseEventType(event.type)) cursor_ = event.location;
    changed_.notify_all();
  }
  std::uint64_t combinedFlagsState() override {
    std::lock_guard<std::mutex> guard(mutex_);
    return flagsState_;
  }
  bool postEventAccess() override { return postAccess.load(); }
  bool listenEventAccess() override { return listenAccess.load(); }
  double keyRepeatDelay() override {
    std::lock_guard<std::mutex> guard(mutex_);
    return repeatDelay_;
  }
  double keyRepeatInterval() override {
    std::lock_guard<std::mutex> guard(mutex_);
    return repeatInterval_;
  }
  double doubleClickInterval() override {
    std::lock_guard<std::mutex> guard(mutex_);
    return doubleClick_;
  }
  double deskScale() override { return 1; }
  std::optional<std::vector<Rect>> activeDisplayBounds(std::size_t maxDisplays) override {
    std::lock_guard<std::mutex> guard(mutex_);
    ++displayQueries_;
    if (!displays_) return std::nullopt;
    auto list = *displays_;
    if (list.size() > maxDisplays) list.resize(maxDisplays);
    return list;
  }
  std::shared_ptr<EventTap> createTap(std::uint64_t mask, EventTapCallback callback) override {
    std::lock_guard<std::mutex> guard(mutex_);
    tapAttempts_.push_back(clockNow_);
    changed_.notify_all();
    if (failTap) return nullptr;
    auto tap = std::make_shared<Tap>(*this, mask, std::move(callback));
    taps_.push_back(tap);
    return tap;
  }
  std::shared_ptr<RunLoop> currentRunLoop() override {
    char name[32] = {};
    pthread_getname_np(pthread_self(), name, sizeof name);
    std::lock_guard<std::mutex> guard(mutex_);
    loopThreadNames_.push_back(name);
    auto loop = std::make_shared<Loop>(*this);
    loops_.push_back(loop);
    return loop;
  }

  // --- Test controls ---

  // Lets the next `count` creations of the kind succeed, then fails every later one (count 0:
  // fail at once). allowAll() lifts every such limit.
  void failAfter(Kind kind, int count) {
    std::lock_guard<std::mutex> guard(mutex_);
    budget_[kind] = count;
  }
  void allowAll() {
    std::lock_guard<std::mutex> guard(mutex_);
    budget_.clear();
  }
  void setCursor(Point p) {
    std::lock_guard<std::mutex> guard(mutex_);
    cursor_ = p;
  }
  void setFlagsState(std::uint64_t flags) {
    std::lock_guard<std::mutex> guard(mutex_);
    flagsState_ = flags;
  }
  void setRepeat(double delay, double interval) {
    std::lock_guard<std::mutex> guard(mutex_);
    repeatDelay_ = delay;
    repeatInterval_ = interval;
  }
  void setDoubleClickInterval(double seconds) {
    std::lock_guard<std::mutex> guard(mutex_);
    doubleClick_ = seconds;
  }
  void setDisplays(std::optional<std::vector<Rect>> displays) {
    std::lock_guard<std::mutex> guard(mutex_);
    displays_ = std::move(displays);
  }
  std::vector<Event> posted() {
    std::lock_guard<std::mutex> guard(mutex_);
    return posted_;
  }
  // Returns and forgets what was posted so far.
  std::vector<Event> takePosted() {
    std::lock_guard<std::mutex> guard(mutex_);
    auto out = std::move(posted_);
    posted_.clear();
    return out;
  }
  int displayQueries() {
    std::lock_guard<std::mutex> guard(mutex_);
    return displayQueries_;
  }
  int cursorReads() {
    std::lock_guard<std::mutex> guard(mutex_);
    return cursorReads_;
  }

  // The virtual clock of the tap thread: sleeping advances it; a tiny real pause lets the test
  // thread in.
  double clockNow() {
    std::lock_guard<std::mutex> guard(mutex_);
    return clockNow_;
  }
  void clockSleep(double seconds) {
    {
      std::lock_guard<std::mutex> guard(mutex_);
      clockNow_ += seconds;
      ++sleeps_;
      changed_.notify_all();
    }
    std::this_thread::sleep_for(std::chrono::microseconds(200));
  }
  int sleeps() {
    std::lock_guard<std::mutex> guard(mutex_);
    return sleeps_;
  }
  std::vector<double> tapAttempts() {
    std::lock_guard<std::mutex> guard(mutex_);
    return tapAttempts_;
  }
  std::vector<std::shared_ptr<Tap>> taps() {
    std::lock_guard<std::mutex> guard(mutex_);
    return taps_;
  }
  std::vector<std::string> loopThreadNames() {
    std::lock_guard<std::mutex> guard(mutex_);
    return loopThreadNames_;
  }
  std::size_t loopCount() {
    std::lock_guard<std::mutex> guard(mutex_);
    return loops_.size();
  }
  // Reads a value under the services' mutex.
  template <typename F>
  auto inspect(F f) {
    std::lock_guard<std::mutex> guard(mutex_);
    return f();
  }

  // Waits (up to 20 s of real time, for slow sanitizer builds) until the predicate, evaluated
  // under the services' mutex, holds. Returns whether it did.
  template <typename F>
  bool waitUntil(F predicate) {
    std::unique_lock<std::mutex> lock(mutex_);
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (!predicate()) {
      if (changed_.wait_until(lock, deadline) == std::cv_status::timeout) return predicate();
    }
    return true;
  }

  // For predicates of waitUntil() and inspect(), which run under the mutex.
  const std::vector<std::shared_ptr<Tap>>& tapsLocked() const { return taps_; }
  std::size_t tapAttemptsLocked() const { return tapAttempts_.size(); }
  std::size_t postedLocked() const { return posted_.size(); }

  // The newest tap, when it is enabled and served by a run loop.
  std::shared_ptr<Tap> activeTapLocked() {
    if (taps_.empty()) return nullptr;
    auto tap = taps_.back();
    if (!tap->enabled || tap->invalidated || !tap->loop) return nullptr;
    return tap;
  }

  // Hands an event to the active tap on its thread, as the window server would, and returns what
  // the tap let through; nullopt when no tap is active.
  // `before` runs on the tap thread right before the callback.
  std::optional<Event> deliver(std::uint32_t type, Event event, std::function<void()> before = {}) {
    std::shared_ptr<Tap> tap;
    auto result = std::make_shared<std::optional<Event>>();
    {
      std::unique_lock<std::mutex> lock(mutex_);
      tap = activeTapLocked();
      if (!tap && type != kEventTapDisabledByTimeout && type != kEventTapDisabledByUserInput) {
        return std::nullopt;
      }
      if (!tap) {
        if (taps_.empty() || !taps_.back()->loop) return std::nullopt;
        tap = taps_.back();
      }
      if (type == kEventTapDisabledByTimeout || type == kEventTapDisabledByUserInput) {
        tap->enabled = false;
      }
      tap->loop->work.push_back([this, tap, type, event, result, before] {
        if (before) before();
        Event out = tap->callback(type, event);
        std::lock_guard<std::mutex> guard(mutex_);
        *result = std::move(out);
        changed_.notify_all();
      });
      changed_.notify_all();
    }
    waitUntil([&] { return result->has_value(); });
    std::lock_guard<std::mutex> guard(mutex_);
    return *result;
  }

  std::atomic<bool> postAccess{true};
  std::atomic<bool> listenAccess{true};
  // Read under the mutex by the tap operations; set them before the tap thread starts or
  // through inspect().
  bool failTap = false;
  bool failSource = false;

 private:
  bool allow(Kind kind) {
    auto it = budget_.find(kind);
    if (it == budget_.end()) return true;
    if (it->second <= 0) return false;
    --it->second;
    return true;
  }

  std::mutex mutex_;
  std::condition_variable changed_;
  std::map<Kind, int> budget_;
  std::vector<Event> posted_;
  Point cursor_{100, 100};
  std::uint64_t flagsState_ = 0;
  double repeatDelay_ = 0.25;
  double repeatInterval_ = 0.03;
  double doubleClick_ = 0.5;
  std::optional<std::vector<Rect>> displays_ = std::vector<Rect>{makeRect(0, 0, 1920, 1080)};
  int displayQueries_ = 0;
  int cursorReads_ = 0;
  double clockNow_ = 1000.0;
  int sleeps_ = 0;
  std::vector<double> tapAttempts_;
  std::vector<std::shared_ptr<Tap>> taps_;
  std::vector<std::shared_ptr<Loop>> loops_;
  std::vector<std::string> loopThreadNames_;
};

}  // namespace virelo::test
