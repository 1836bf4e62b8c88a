// The tap thread: installation under both permissions, retries, take-down, re-enabling and
// stopping. The thread runs against the recording services with a virtual clock, so waiting for
// the 2 s retry costs no real time.
#include <cmath>

#include "eventsynth/cg_event_output.h"
#include "tests/fntap/fn_bridge_fixture.h"

namespace virelo::test {
namespace {

using ::testing::IsEmpty;

class FnTapThread : public FnBridgeTest {
 protected:
  // Waits until the newest tap is installed, enabled and reported available.
  void waitInstalled() {
    ASSERT_TRUE(services.waitUntil([&] { return services.activeTapLocked() != nullptr; }));
    ASSERT_TRUE(eventually([&] { return bridge.snapshot().ready; }));
  }
  // Waits until tap `index` is invalidated and its source removed.
  bool waitTakenDown(std::size_t index) {
    return services.waitUntil([&] {
      const auto& taps = services.tapsLocked();
      return taps.size() > index && taps[index]->invalidated && !taps[index]->loop;
    });
  }
};

TEST_F(FnTapThread, InstallsAnEnabledTapForKeyAndSystemEventsOnANamedThread) {
  bridge.start();
  waitInstalled();
  auto taps = services.taps();
  ASSERT_EQ(taps.size(), 1u);
  EXPECT_EQ(taps[0]->mask, 0x5C00u);
  EXPECT_EQ(bridge.snapshot(), (FnSnapshot{false, true}));
  EXPECT_EQ(services.loopThreadNames(), std::vector<std::string>{"vl-fn-events"});
}

TEST_F(FnTapThread, StartTwiceCreatesOneThread) {
  bridge.start();
  bridge.start();
  waitInstalled();
  EXPECT_EQ(services.loopCount(), 1u);
  EXPECT_EQ(services.tapAttempts().size(), 1u);
}

TEST_F(FnTapThread, NoTapWithoutListeningPermission) {
  services.listenAccess = false;
  bridge.start();
  ASSERT_TRUE(eventually([&] { return services.sleeps() >= 50; }));
  EXPECT_THAT(services.tapAttempts(), IsEmpty());
  EXPECT_EQ(bridge.snapshot(), (FnSnapshot{false, false}));
  services.listenAccess = true;
  waitInstalled();
}

TEST_F(FnTapThread, NoTapWithoutPostingPermission) {
  services.postAccess = false;
  bridge.start();
  ASSERT_TRUE(eventually([&] { return services.sleeps() >= 50; }));
  EXPECT_THAT(services.tapAttempts(), IsEmpty());
  services.postAccess = true;
  waitInstalled();
}

TEST_F(FnTapThread, FailedTapCreationIsRetriedEveryTwoSeconds) {
  services.inspect([&] { return services.failTap = true; });
  bridge.start();
  ASSERT_TRUE(services.waitUntil([&] { return services.tapAttemptsLocked() >= 3; }));
  auto attempts = services.tapAttempts();
  for (std::size_t i = 1; i < 3; ++i) {
    const double gap = attempts[i] - attempts[i - 1];
    EXPECT_GE(gap, 2.0 - 1e-9);
    EXPECT_LE(gap, 2.1 + 1e-9);
  }
  EXPECT_EQ(bridge.snapshot(), (FnSnapshot{false, false}));
  services.inspect([&] { return services.failTap = false; });
  waitInstalled();
}

TEST_F(FnTapThread, FailedRunLoopSourceInvalidatesTheTapAndRetries) {
  services.inspect([&] { return services.failSource = true; });
  bridge.start();
  ASSERT_TRUE(services.waitUntil([&] { return services.tapAttemptsLocked() >= 2; }));
  auto taps = services.taps();
  EXPECT_TRUE(services.inspect([&] { return taps[0]->invalidated; }));
  auto attempts = services.tapAttempts();
  EXPECT_GE(attempts[1] - attempts[0], 2.0 - 1e-9);
  EXPECT_EQ(bridge.snapshot(), (FnSnapshot{false, false}));
  services.inspect([&] { return services.failSource = false; });
  waitInstalled();
}

TEST_F(FnTapThread, HardwareFnThroughTheTapMakesSnapshotHeldAndReady) {
  bridge.start();
  waitInstalled();
  auto out =
      services.deliver(kEventFlagsChanged, keyEvent(kEventFlagsChanged, 63, kFlagSecondaryFn));
  ASSERT_TRUE(out);
  EXPECT_TRUE(bridge.physicalFnHeld());
  EXPECT_EQ(bridge.snapshot(), (FnSnapshot{true, true}));
}

TEST_F(FnTapThread, KeysThroughTheTapGetTheVirtualFn) {
  bridge.start();
  waitInstalled();
  bridge.setHeld(true);
  auto out = services.deliver(kEventKeyDown, keyEvent(kEventKeyDown, 0));
  ASSERT_TRUE(out);
  EXPECT_EQ(out->flags, kFlagSecondaryFn);
  EXPECT_EQ(bridge.snapshot(), (FnSnapshot{true, true}));
}

TEST_F(FnTapThread, TapDisabledBySystemIsEnabledAgain) {
  bridge.start();
  waitInstalled();
  for (auto type : {kEventTapDisabledByTimeout, kEventTapDisabledByUserInput}) {
    auto out = services.deliver(type, Event{});
    ASSERT_TRUE(out);
    EXPECT_EQ(*out, Event{});
    EXPECT_TRUE(services.inspect([&] { return services.tapsLocked().back()->enabled; }));
  }
  EXPECT_EQ(services.inspect([&] { return services.tapsLocked().back()->enableCalls; }), 3);
}

TEST_F(FnTapThread, TapDisabledBySystemStaysDisabledWithoutPostingPermission) {
  bridge.start();
  waitInstalled();
  services.deliver(kEventTapDisabledByTimeout, Event{}, [&] { services.postAccess = false; });
  EXPECT_EQ(services.inspect([&] { return services.tapsLocked().back()->enableOnCalls; }), 1);
}

TEST_F(FnTapThread, TapDisabledBySystemStaysDisabledWhenStopping) {
  bridge.start();
  waitInstalled();
  services.deliver(kEventTapDisabledByUserInput, Event{}, [&] { bridge.stop(); });
  EXPECT_EQ(services.inspect([&] { return services.tapsLocked().back()->enableOnCalls; }), 1);
}

TEST_F(FnTapThread, LosingAPermissionTakesTheTapDownAndResetsFnState) {
  bridge.start();
  waitInstalled();
  services.deliver(kEventFlagsChanged, keyEvent(kEventFlagsChanged, 63, kFlagSecondaryFn));
  bridge.setHeld(true);
  services.postAccess = false;
  ASSERT_TRUE(waitTakenDown(0));
  ASSERT_TRUE(eventually([&] { return bridge.snapshot() == FnSnapshot{false, false}; }));
  EXPECT_FALSE(bridge.physicalFnHeld());

  services.postAccess = true;
  ASSERT_TRUE(services.waitUntil([&] { return services.tapsLocked().size() == 2; }));
  waitInstalled();
  auto attempts = services.tapAttempts();
  EXPECT_GE(attempts[1] - attempts[0], 2.0 - 1e-9);
}

TEST_F(FnTapThread, VirtualFnHeldAcrossAPermissionFlapIsLentAgainWhenTheTapReturns) {
  bridge.start();
  waitInstalled();
  bridge.setHeld(true);
  services.listenAccess = false;
  ASSERT_TRUE(waitTakenDown(0));
  ASSERT_TRUE(eventually([&] { return bridge.snapshot() == FnSnapshot{false, false}; }));
  services.listenAccess = true;
  waitInstalled();
  EXPECT_EQ(bridge.snapshot(), (FnSnapshot{true, true}));
  auto out = services.deliver(kEventKeyDown, keyEvent(kEventKeyDown, 0));
  ASSERT_TRUE(out);
  EXPECT_EQ(out->flags, kFlagSecondaryFn);
}

TEST_F(FnTapThread, MediaKeyPassedOnIsForgottenWhenTheTapGoesDown) {
  bridge.start();
  waitInstalled();
  services.deliver(kEventSystemDefined, mediaEvent(kPlay, kMediaDown));  // passed on
  services.listenAccess = false;
  ASSERT_TRUE(waitTakenDown(0));
  services.listenAccess = true;
  waitInstalled();
  bridge.setHeld(true);
  auto out = services.deliver(kEventSystemDefined, mediaEvent(kPlay, kMediaDown));
  ASSERT_TRUE(out);
  EXPECT_EQ(out->type, kEventKeyDown);
}

TEST_F(FnTapThread, ConvertedKeysAreReleasedBeforeTheTapIsInstalledAgain) {
  bridge.start();
  waitInstalled();
  bridge.setHeld(true);
  auto out = services.deliver(kEventSystemDefined, mediaEvent(kPlay, kMediaDown));
  ASSERT_TRUE(out);
  ASSERT_EQ(out->keycode, kF8);
  services.listenAccess = false;
  ASSERT_TRUE(waitTakenDown(0));
  EXPECT_THAT(services.posted(), IsEmpty());
  services.listenAccess = true;
  ASSERT_TRUE(services.waitUntil([&] { return services.tapsLocked().size() == 2; }));
  auto posted = services.posted();
  ASSERT_EQ(posted.size(), 1u);
  EXPECT_EQ(posted[0].type, kEventKeyUp);
  EXPECT_EQ(posted[0].keycode, kF8);
  EXPECT_EQ(posted[0].field(kFieldSourceUserData), FnEventBridge::kEventTag);
}

TEST_F(FnTapThread, StopEndsTheThreadAndRemovesTheTap) {
  bridge.start();
  waitInstalled();
  bridge.setHeld(true);
  services.deliver(kEventSystemDefined, mediaEvent(kPlay, kMediaDown));
  bridge.stop();
  EXPECT_EQ(bridge.snapshot(), (FnSnapshot{false, false}));
  auto posted = services.posted();
  ASSERT_EQ(posted.size(), 1u);
  EXPECT_EQ(posted[0].type, kEventKeyUp);
  EXPECT_EQ(posted[0].keycode, kF8);
  ASSERT_TRUE(waitTakenDown(0));
  EXPECT_FALSE(services.inspect([&] { return services.tapsLocked()[0]->enabled; }));
  bridge.start();
  EXPECT_EQ(services.loopCount(), 1u);
  EXPECT_EQ(services.tapAttempts().size(), 1u);
}

TEST_F(FnTapThread, StopBeforeTheTapIsInstalledEndsTheThread) {
  services.inspect([&] { return services.failTap = true; });
  bridge.start();
  ASSERT_TRUE(services.waitUntil([&] { return services.tapAttemptsLocked() >= 1; }));
  bridge.stop();
  // The destructor joins; a thread that never ends would hang the test here.
}

TEST_F(FnTapThread, DestructorStopsAndJoinsAStartedTap) {
  {
    FnEventBridge local(services, virtualClock(services));
    local.start();
    ASSERT_TRUE(services.waitUntil([&] { return services.activeTapLocked() != nullptr; }));
  }
  EXPECT_TRUE(services.inspect([&] { return services.tapsLocked()[0]->invalidated; }));
}

// ---------------------------------------------------------------------------------------------

TEST(CGEventOutputTap, ForwardsStartStopAndSnapshotToItsBridge) {
  RecordingEventServices services;
  CGEventOutput output(services, virtualClock(services));
  EXPECT_EQ(output.fnSnapshot(), (FnSnapshot{false, false}));
  output.startTap();
  ASSERT_TRUE(eventually([&] { return output.fnSnapshot().ready; }));
  services.deliver(kEventFlagsChanged, keyEvent(kEventFlagsChanged, 63, kFlagSecondaryFn));
  EXPECT_EQ(output.fnSnapshot(), (FnSnapshot{true, true}));
  // The hardware Fn seen by the tap flags what the output posts.
  output.moveCursor({1, 1});
  EXPECT_EQ(services.posted().back().flags, kFlagSecondaryFn);
  output.stopTap();
  EXPECT_EQ(output.fnSnapshot(), (FnSnapshot{false, false}));
}

}  // namespace
}  // namespace virelo::test
