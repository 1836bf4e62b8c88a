// The X11 window server's tap against a real X server (Xvfb): the keys that reach the session
// come to its callback as window-server events, and the ones the window server posted carry
// their tag.
#include <chrono>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

#include "tests/x11/x11_fixture.h"

namespace virelo::test {
namespace {

using namespace std::chrono_literals;

constexpr std::uint64_t kKeyEventsMask = 0x5C00;

// A tap on its own thread, serving its run loop until the end of the test.
class RunningTap {
 public:
  using Answer = std::function<Event(std::uint32_t type, Event event)>;

  // The callback records each event and answers with `answer` (the event itself by default).
  explicit RunningTap(EventServices& services, Answer answer = nullptr) {
    tap_ = services.createTap(kKeyEventsMask, [this, answer](std::uint32_t type, Event event) {
      {
        std::lock_guard<std::mutex> guard(mutex_);
        seen_.push_back({type, event});
      }
      return answer ? answer(type, event) : event;
    });
    if (!tap_) return;
    tap_->enable(true);
    thread_ = std::thread([this, &services] {
      auto loop = services.currentRunLoop();
      loop->addSource(tap_->createRunLoopSource());
      while (!stopping_) loop->runFor(0.1);
    });
  }
  ~RunningTap() {
    stopping_ = true;
    if (thread_.joinable()) thread_.join();
  }
  bool created() const { return tap_ != nullptr; }

  // The events seen once `count` have arrived (or after 2 s).
  std::vector<std::pair<std::uint32_t, Event>> await(std::size_t count) {
    for (int i = 0; i < 40; ++i) {
      {
        std::lock_guard<std::mutex> guard(mutex_);
        if (seen_.size() >= count) return seen_;
      }
      std::this_thread::sleep_for(50ms);
    }
    std::lock_guard<std::mutex> guard(mutex_);
    return seen_;
  }

 private:
  std::shared_ptr<EventTap> tap_;
  std::mutex mutex_;
  std::vector<std::pair<std::uint32_t, Event>> seen_;
  std::atomic<bool> stopping_{false};
  std::thread thread_;
};

TEST_F(X11Test, TheTapTagsTheKeysThisServerPostedAndNoOthers) {
  RunningTap tap(*windowServer);
  ASSERT_TRUE(tap.created());
  post(keyEvent(0, true));
  post(keyEvent(0, false));
  observer->fakeKey(38, true);  // A from another XTEST client
  observer->fakeKey(38, false);
  auto seen = tap.await(4);
  ASSERT_EQ(seen.size(), 4u);
  std::vector<std::uint32_t> types;
  std::vector<std::int64_t> tags;
  for (const auto& [type, event] : seen) {
    EXPECT_EQ(event.keycode, 0);
    types.push_back(type);
    tags.push_back(event.field(kFieldSourceUserData));
  }
  EXPECT_EQ(types, (std::vector<std::uint32_t>{10, 11, 10, 11}));
  EXPECT_EQ(tags, (std::vector<std::int64_t>{kTag, kTag, 0, 0}));
}

TEST_F(X11Test, ModifiersAndMediaKeysReachTheTapAsFlagsChangesAndSystemEvents) {
  RunningTap tap(*windowServer);
  ASSERT_TRUE(tap.created());
  observer->fakeKey(50, true);   // left shift
  observer->fakeKey(172, true);  // play/pause
  observer->fakeKey(172, false);
  observer->fakeKey(50, false);
  auto seen = tap.await(4);
  ASSERT_EQ(seen.size(), 4u);
  EXPECT_EQ(seen[0].first, kEventFlagsChanged);
  EXPECT_EQ(seen[0].second.keycode, 56);
  EXPECT_EQ(seen[0].second.flags, 0x20002u);
  EXPECT_EQ(seen[1].first, kEventSystemDefined);
  EXPECT_EQ(windowServer->systemDefinedData(seen[1].second)->data1, 0x100A00);
  EXPECT_EQ(seen[2].second.data1, 0x100B00);
  EXPECT_EQ(seen[3].first, kEventFlagsChanged);
  EXPECT_EQ(seen[3].second.flags, 0u);
}

TEST_F(X11Test, WhileFnIsLentTheTapCanReplaceAMediaKeyWithAFunctionKey) {
  constexpr std::uint8_t kXKeyPlay = 172;
  constexpr std::uint8_t kXKeyF8 = 74;
  observer->openFocusedWindow();
  RunningTap tap(*windowServer, [this](std::uint32_t type, Event event) {
    if (type != kEventSystemDefined) return event;
    return keyEvent(100, ((event.data1 >> 8) & 0xFF) == 0x0A);  // F8, tagged
  });
  ASSERT_TRUE(tap.created());

  post(flagsChanged(63, kFlagSecondaryFn));  // a client lends Fn
  observer->fakeKey(kXKeyPlay, true);
  observer->fakeKey(kXKeyPlay, false);
  EXPECT_EQ(observer->countKeyPresses(kXKeyF8, 300ms), 1);
  EXPECT_FALSE(observer->keyDown(kXKeyF8));
  observer->fakeKey(kXKeyPlay, true);
  observer->fakeKey(kXKeyPlay, false);
  EXPECT_EQ(observer->countKeyPresses(kXKeyPlay, 300ms), 0);

  post(flagsChanged(63, 0));  // and lets go: the media key passes again
  observer->fakeKey(kXKeyPlay, true);
  observer->fakeKey(kXKeyPlay, false);
  EXPECT_EQ(observer->countKeyPresses(kXKeyPlay, 300ms), 1);
}

TEST_F(X11Test, ATapCreatedWhileFnIsLentHoldsTheMediaKeys) {
  observer->openFocusedWindow();
  post(flagsChanged(63, kFlagSecondaryFn));  // a client lends Fn before any tap exists
  RunningTap tap(*windowServer, [this](std::uint32_t type, Event event) {
    if (type != kEventSystemDefined) return event;
    return keyEvent(100, ((event.data1 >> 8) & 0xFF) == 0x0A);  // F8, tagged
  });
  ASSERT_TRUE(tap.created());
  observer->fakeKey(172, true);  // play
  observer->fakeKey(172, false);
  EXPECT_EQ(observer->countKeyPresses(74, 300ms), 1);  // F8
}

TEST_F(X11Test, AReplacedMediaKeyHeldPastTheRepeatDelayLeavesNothingDown) {
  observer->setKeyRepeat(100, 50);
  observer->openFocusedWindow();
  RunningTap tap(*windowServer, [this](std::uint32_t type, Event event) {
    if (type != kEventSystemDefined) return event;
    return keyEvent(100, ((event.data1 >> 8) & 0xFF) == 0x0A);
  });
  ASSERT_TRUE(tap.created());
  post(flagsChanged(63, kFlagSecondaryFn));
  observer->fakeKey(172, true);
  std::this_thread::sleep_for(400ms);  // the server repeats the held media key meanwhile
  observer->fakeKey(172, false);
  EXPECT_EQ(observer->countKeyPresses(74, 300ms), 1);
  EXPECT_FALSE(observer->keyDown(74));
}

TEST_F(X11Test, StoppingTheRunLoopFromAnotherThreadEndsItsRunAtOnce) {
  auto loop = windowServer->currentRunLoop();
  auto started = std::chrono::steady_clock::now();
  std::thread stopper([&] {
    std::this_thread::sleep_for(50ms);
    loop->stop();
  });
  loop->runFor(30);
  stopper.join();
  EXPECT_LT(std::chrono::steady_clock::now() - started, 10s);
}

TEST_F(X11Test, ListeningEndsWhenTheTapsServerGoesAway) {
  RunningTap tap(*windowServer);
  ASSERT_TRUE(tap.created());
  EXPECT_TRUE(windowServer->listenEventAccess());
  observer.reset();
  xvfb->stop();
  EXPECT_FALSE(windowServer->listenEventAccess());
  EXPECT_FALSE(windowServer->postEventAccess());
}

}  // namespace
}  // namespace virelo::test
