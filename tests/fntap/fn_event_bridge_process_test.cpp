// The filtering of single events, called directly as the tap callback would.
#include "tests/fntap/fn_bridge_fixture.h"

namespace virelo::test {
namespace {

using ::testing::IsEmpty;

constexpr std::int64_t kTag = FnEventBridge::kEventTag;

// ---------------------------------------------------------------------------------------------

TEST(FnTables, MediaKeysMapToTheirFunctionKeys) {
  const auto& t = FnEventBridge::mediaKeys();
  EXPECT_EQ(t.size(), 8u);
  EXPECT_EQ(t.at(3), 122);
  EXPECT_EQ(t.at(2), 120);
  EXPECT_EQ(t.at(18), 98);
  EXPECT_EQ(t.at(16), 100);
  EXPECT_EQ(t.at(17), 101);
  EXPECT_EQ(t.at(7), 109);
  EXPECT_EQ(t.at(1), 103);
  EXPECT_EQ(t.at(0), 111);
  EXPECT_EQ(FnEventBridge::kTapEventMask, 0x5C00u);
  EXPECT_EQ(FnEventBridge::kEventTag, 0x564C464E);
}

// ---------------------------------------------------------------------------------------------

using FnKeys = FnBridgeTest;

TEST_F(FnKeys, TaggedEventPassesUnchangedEvenWhileHeld) {
  bridge.setHeld(true);
  Event e = keyEvent(kEventFlagsChanged, 63, kFlagSecondaryFn);
  e.setField(kFieldSourceUserData, kTag);
  EXPECT_EQ(bridge.process(kEventFlagsChanged, e), e);
  EXPECT_FALSE(bridge.physicalFnHeld());

  Event key = keyEvent(kEventKeyDown, 0);
  key.setField(kFieldSourceUserData, kTag);
  EXPECT_EQ(bridge.process(kEventKeyDown, key), key);
}

TEST_F(FnKeys, HeldAddsTheFnFlagToKeysFromOtherSources) {
  bridge.setHeld(true);
  for (auto type : {kEventKeyDown, kEventKeyUp, kEventFlagsChanged}) {
    Event out = bridge.process(type, keyEvent(type, 0, 0x20002));
    EXPECT_EQ(out.flags, 0x820002u) << type;
    EXPECT_EQ(out.keycode, 0) << type;
  }
}

TEST_F(FnKeys, NotHeldLeavesFlagsUntouched) {
  Event e = keyEvent(kEventKeyDown, 0, 0x20002);
  EXPECT_EQ(bridge.process(kEventKeyDown, e), e);
}

TEST_F(FnKeys, OtherEventTypesPassUnchanged) {
  bridge.setHeld(true);
  Event e;
  e.type = kEventLeftMouseDown;
  EXPECT_EQ(bridge.process(kEventLeftMouseDown, e), e);
}

TEST_F(FnKeys, HardwareFnKeyUpdatesPhysicalState) {
  bridge.process(kEventFlagsChanged, keyEvent(kEventFlagsChanged, 63, kFlagSecondaryFn));
  EXPECT_TRUE(bridge.physicalFnHeld());
  // Without an installed tap the snapshot is not ready.
  EXPECT_EQ(bridge.snapshot(), (FnSnapshot{false, false}));
  bridge.process(kEventFlagsChanged, keyEvent(kEventFlagsChanged, 63, 0));
  EXPECT_FALSE(bridge.physicalFnHeld());
}

TEST_F(FnKeys, FnFlagOnOtherKeysDoesNotChangePhysicalState) {
  bridge.process(kEventFlagsChanged, keyEvent(kEventFlagsChanged, 56, kFlagSecondaryFn));
  bridge.process(kEventKeyDown, keyEvent(kEventKeyDown, 63, kFlagSecondaryFn));
  EXPECT_FALSE(bridge.physicalFnHeld());
}

TEST_F(FnKeys, SnapshotWithoutTapReportsVirtualFnNotReady) {
  bridge.setHeld(true);
  EXPECT_EQ(bridge.snapshot(), (FnSnapshot{true, false}));
}

TEST_F(FnKeys, AfterStopEventsPassUnchanged) {
  bridge.stop();
  bridge.setHeld(true);
  Event e = keyEvent(kEventFlagsChanged, 63, kFlagSecondaryFn);
  EXPECT_EQ(bridge.process(kEventFlagsChanged, e), e);
  EXPECT_FALSE(bridge.physicalFnHeld());
}

// ---------------------------------------------------------------------------------------------

using FnMediaConversion = FnBridgeTest;

TEST_F(FnMediaConversion, HeldPlayPressBecomesF8WithFlagsTimestampAndTag) {
  bridge.setHeld(true);
  Event out = bridge.process(kEventSystemDefined, mediaEvent(kPlay, kMediaDown, false, 0, 777));
  EXPECT_EQ(out.type, kEventKeyDown);
  EXPECT_EQ(out.keycode, kF8);
  EXPECT_EQ(out.flags, kFlagSecondaryFn);
  EXPECT_EQ(out.timestamp, 777u);
  EXPECT_EQ(out.field(kFieldSourceUserData), kTag);
  EXPECT_EQ(out.field(kFieldKeyboardAutorepeat), 0);
  EXPECT_TRUE(out.fields.count(kFieldKeyboardAutorepeat));
}

TEST_F(FnMediaConversion, IncomingFlagsAreKept) {
  bridge.setHeld(true);
  Event out = bridge.process(kEventSystemDefined, mediaEvent(kPlay, kMediaDown, false, 0xA00));
  EXPECT_EQ(out.flags, 0xA00u | kFlagSecondaryFn);
}

TEST_F(FnMediaConversion, RepeatsAndReleaseStayConvertedAfterFnIsLetGo) {
  bridge.setHeld(true);
  bridge.process(kEventSystemDefined, mediaEvent(kPlay, kMediaDown));
  Event repeat = bridge.process(kEventSystemDefined, mediaEvent(kPlay, kMediaDown, true, 0, 5));
  EXPECT_EQ(repeat.type, kEventKeyDown);
  EXPECT_EQ(repeat.keycode, kF8);
  EXPECT_EQ(repeat.field(kFieldKeyboardAutorepeat), 1);
  EXPECT_EQ(repeat.flags, kFlagSecondaryFn);

  bridge.setHeld(false);
  Event repeat2 = bridge.process(kEventSystemDefined, mediaEvent(kPlay, kMediaDown, true, 0, 6));
  EXPECT_EQ(repeat2.type, kEventKeyDown);
  EXPECT_EQ(repeat2.field(kFieldKeyboardAutorepeat), 1);
  EXPECT_EQ(repeat2.flags, 0u);
  EXPECT_EQ(repeat2.timestamp, 6u);

  Event up = bridge.process(kEventSystemDefined, mediaEvent(kPlay, kMediaUp, false, 0, 9));
  EXPECT_EQ(up.type, kEventKeyUp);
  EXPECT_EQ(up.keycode, kF8);
  EXPECT_EQ(up.field(kFieldKeyboardAutorepeat), 0);
  EXPECT_EQ(up.field(kFieldSourceUserData), kTag);

  // Nothing is owed any more.
  bridge.releaseConverted();
  EXPECT_THAT(services.posted(), IsEmpty());
}

TEST_F(FnMediaConversion, PassedOnKeyStaysPassedOnWhenFnIsPressedInBetween) {
  Event down = mediaEvent(kVolumeUp, kMediaDown);
  EXPECT_EQ(bridge.process(kEventSystemDefined, down), down);
  bridge.setHeld(true);
  Event repeat = mediaEvent(kVolumeUp, kMediaDown, true);
  EXPECT_EQ(bridge.process(kEventSystemDefined, repeat), repeat);
  Event up = mediaEvent(kVolumeUp, kMediaUp);
  EXPECT_EQ(bridge.process(kEventSystemDefined, up), up);
  // The release ended the pass-through: the next press while held is converted.
  Event next = bridge.process(kEventSystemDefined, mediaEvent(kVolumeUp, kMediaDown));
  EXPECT_EQ(next.type, kEventKeyDown);
  EXPECT_EQ(next.keycode, 111);
}

TEST_F(FnMediaConversion, RepeatWhoseFirstPressWentUnseenIsPassedOn) {
  bridge.setHeld(true);
  Event repeat = mediaEvent(kPlay, kMediaDown, true);
  EXPECT_EQ(bridge.process(kEventSystemDefined, repeat), repeat);
  Event up = mediaEvent(kPlay, kMediaUp);
  EXPECT_EQ(bridge.process(kEventSystemDefined, up), up);
}

TEST_F(FnMediaConversion, ReleaseNeverPressedPassesUnchanged) {
  bridge.setHeld(true);
  Event up = mediaEvent(kPlay, kMediaUp);
  EXPECT_EQ(bridge.process(kEventSystemDefined, up), up);
}

TEST_F(FnMediaConversion, OtherSubtypesUnknownKeysAndOtherStatesPassUnchanged) {
  bridge.setHeld(true);
  Event other = mediaEvent(kPlay, kMediaDown);
  other.subtype = 7;
  EXPECT_EQ(bridge.process(kEventSystemDefined, other), other);
  Event unknown = mediaEvent(10, kMediaDown);  // not a converted key type
  EXPECT_EQ(bridge.process(kEventSystemDefined, unknown), unknown);
  Event odd = mediaEvent(kPlay, 0x0C);
  EXPECT_EQ(bridge.process(kEventSystemDefined, odd), odd);
}

TEST_F(FnMediaConversion, UnreadableSystemEventPassesUnchanged) {
  bridge.setHeld(true);
  services.failAfter(RecordingEventServices::Kind::systemData, 0);
  Event down = mediaEvent(kPlay, kMediaDown);
  EXPECT_EQ(bridge.process(kEventSystemDefined, down), down);
}

TEST_F(FnMediaConversion, FailedReplacementPassesTheIncomingEvent) {
  bridge.setHeld(true);
  services.failAfter(RecordingEventServices::Kind::keyboard, 0);
  Event down = mediaEvent(kPlay, kMediaDown);
  EXPECT_EQ(bridge.process(kEventSystemDefined, down), down);
  services.allowAll();
  // Nothing was recorded as converted: its release passes too.
  Event up = mediaEvent(kPlay, kMediaUp);
  EXPECT_EQ(bridge.process(kEventSystemDefined, up), up);
}

TEST_F(FnMediaConversion, TaggedMediaEventPassesUnchanged) {
  bridge.setHeld(true);
  Event down = mediaEvent(kPlay, kMediaDown);
  down.setField(kFieldSourceUserData, kTag);
  EXPECT_EQ(bridge.process(kEventSystemDefined, down), down);
}

// ---------------------------------------------------------------------------------------------

using FnStop = FnBridgeTest;

TEST_F(FnStop, StopReleasesConvertedKeysAndResetsState) {
  bridge.setHeld(true);
  bridge.process(kEventSystemDefined, mediaEvent(kPlay, kMediaDown));
  bridge.process(kEventFlagsChanged, keyEvent(kEventFlagsChanged, 63, kFlagSecondaryFn));
  bridge.stop();
  auto posted = services.posted();
  ASSERT_EQ(posted.size(), 1u);
  EXPECT_EQ(posted[0].type, kEventKeyUp);
  EXPECT_EQ(posted[0].keycode, kF8);
  EXPECT_EQ(posted[0].flags, 0u);
  EXPECT_EQ(posted[0].field(kFieldSourceUserData), kTag);
  EXPECT_FALSE(posted[0].fields.count(kFieldKeyboardAutorepeat));
  EXPECT_FALSE(bridge.physicalFnHeld());
  EXPECT_EQ(bridge.snapshot(), (FnSnapshot{false, false}));
}

TEST_F(FnStop, WithoutPostingPermissionNothingIsReleasedAndTheDebtIsKept) {
  bridge.setHeld(true);
  bridge.process(kEventSystemDefined, mediaEvent(kPlay, kMediaDown));
  services.postAccess = false;
  bridge.releaseConverted();
  EXPECT_THAT(services.posted(), IsEmpty());
  services.postAccess = true;
  bridge.releaseConverted();
  EXPECT_EQ(services.posted().size(), 1u);
}

TEST_F(FnStop, KeyUpThatCannotBeCreatedIsSkipped) {
  bridge.setHeld(true);
  bridge.process(kEventSystemDefined, mediaEvent(kPlay, kMediaDown));
  bridge.process(kEventSystemDefined, mediaEvent(kVolumeUp, kMediaDown));
  services.failAfter(RecordingEventServices::Kind::keyboard, 0);
  bridge.releaseConverted();
  services.allowAll();
  EXPECT_THAT(services.posted(), IsEmpty());
  bridge.releaseConverted();
  EXPECT_THAT(services.posted(), IsEmpty());
}

TEST_F(FnStop, StartAfterStopDoesNothing) {
  bridge.stop();
  bridge.start();
  EXPECT_EQ(services.loopCount(), 0u);
  EXPECT_THAT(services.tapAttempts(), IsEmpty());
}

}  // namespace
}  // namespace virelo::test
