#include <gtest/gtest.h>

#include "tests/eventsynth/output_fixture.h"

namespace virelo::test {
namespace {

struct Key {
  std::uint32_t type;
  std::uint16_t code;
  std::uint64_t flags;
};

std::vector<Key> keys(const std::vector<Event>& events) {
  std::vector<Key> out;
  for (const auto& e : events) out.push_back({e.type, e.keycode, e.flags});
  return out;
}

MATCHER_P3(IsKey, type, code, flags, "") {
  return arg.type == static_cast<std::uint32_t>(type) && arg.code == code && arg.flags == flags;
}

using ::testing::ElementsAre;
using ::testing::IsEmpty;

// ---------------------------------------------------------------------------------------------

using KeyboardTable = OutputTest;

TEST_F(KeyboardTable, MapsTheDocumentedUsages) {
  const auto& t = CGEventOutput::keycodes();
  EXPECT_EQ(t.size(), 103u);
  EXPECT_EQ(t.at(0x04), 0);    // A
  EXPECT_EQ(t.at(0x1D), 6);    // Z
  EXPECT_EQ(t.at(0x27), 29);   // 0
  EXPECT_EQ(t.at(0x31), 42);   // backslash
  EXPECT_EQ(t.at(0x38), 44);   // slash
  EXPECT_EQ(t.at(0x45), 111);  // F12
  EXPECT_EQ(t.at(0x46), 105);  // Print Screen as F13
  EXPECT_EQ(t.at(0x49), 114);  // Insert as Help
  EXPECT_EQ(t.at(0x53), 71);   // Num Lock as keypad Clear
  EXPECT_EQ(t.at(0x63), 65);   // keypad period
  EXPECT_EQ(t.at(0x6F), 90);   // F20
  for (int u : {0x00, 0x03, 0x32, 0x64, 0x67, 0x70, 0xE0, 0xE7}) EXPECT_FALSE(t.count(u)) << u;
}

// ---------------------------------------------------------------------------------------------

using KeyboardModifiers = OutputTest;

TEST_F(KeyboardModifiers, OnlyByteZeroChangedPostsFlagsChangedInBitOrderReleasesFirst) {
  output.keyboard(keyReport(0x03), false, 1);  // left control, left shift
  EXPECT_THAT(keys(services.takePosted()),
              ElementsAre(IsKey(12, 59, 0x40001u), IsKey(12, 56, 0x40001u | 0x20002u)));

  output.keyboard(keyReport(0x14), false, 2);  // left option, right control
  EXPECT_THAT(keys(services.takePosted()),
              ElementsAre(IsKey(12, 59, 0x20002u), IsKey(12, 56, 0u), IsKey(12, 58, 0x80020u),
                          IsKey(12, 62, 0x80020u | 0x42000u)));
}

TEST_F(KeyboardModifiers, EveryModifierBitHasItsKeyAndMask) {
  const std::uint16_t codes[] = {59, 56, 58, 55, 62, 60, 61, 54};
  const std::uint64_t masks[] = {0x40001, 0x20002, 0x80020, 0x100008,
                                 0x42000, 0x20004, 0x80040, 0x100010};
  for (int bit = 0; bit < 8; ++bit) {
    output.keyboard(keyReport(static_cast<std::uint8_t>(1 << bit)), false, 1);
    output.keyboard(keyReport(0), false, 2);
    EXPECT_THAT(keys(services.takePosted()),
                ElementsAre(IsKey(12, codes[bit], masks[bit]), IsKey(12, codes[bit], 0u)))
        << "bit " << bit;
  }
}

TEST_F(KeyboardModifiers, ModifierKeysAreTaggedAndNotRepeats) {
  output.keyboard(keyReport(0x02), false, 1);
  auto posted = services.takePosted();
  ASSERT_EQ(posted.size(), 1u);
  EXPECT_EQ(posted[0].field(kFieldSourceUserData), kTag);
  EXPECT_EQ(posted[0].field(kFieldKeyboardAutorepeat), 0);
  EXPECT_TRUE(posted[0].fields.count(kFieldKeyboardAutorepeat));
}

// ---------------------------------------------------------------------------------------------

using KeyboardKeys = OutputTest;

TEST_F(KeyboardKeys, DuplicateUsageYieldsOneKeyDown) {
  output.keyboard(keyReport(0, {kUsageA, kUsageA}), false, 1);
  EXPECT_THAT(keys(services.takePosted()), ElementsAre(IsKey(10, kKeyA, 0u)));
}

TEST_F(KeyboardKeys, UnmappedUsagesYieldNothing) {
  output.keyboard(keyReport(0, {0x32, 0x64, 0x01, 0xE1, 0x70}), false, 1);
  EXPECT_THAT(services.takePosted(), IsEmpty());
}

TEST_F(KeyboardKeys, ReleaseAndPressInOneReportReleasesFirst) {
  output.keyboard(keyReport(0, {kUsageA}), false, 1);
  services.takePosted();
  output.keyboard(keyReport(0, {kUsageB}), false, 2);
  EXPECT_THAT(keys(services.takePosted()), ElementsAre(IsKey(11, kKeyA, 0u), IsKey(10, kKeyB, 0u)));
}

TEST_F(KeyboardKeys, ShiftAndKeyTogetherPostShiftThenKeyWithShiftFlag) {
  output.keyboard(keyReport(0x02, {kUsageA}), false, 1);
  EXPECT_THAT(keys(services.takePosted()),
              ElementsAre(IsKey(12, kKeyLeftShift, 0x20002u), IsKey(10, kKeyA, 0x20002u)));
}

TEST_F(KeyboardKeys, KeyReleasedWithModifierReleaseKeepsTheOldModifierFlags) {
  output.keyboard(keyReport(0x02, {kUsageA}), false, 1);
  services.takePosted();
  output.keyboard(keyReport(0), false, 2);
  EXPECT_THAT(keys(services.takePosted()),
              ElementsAre(IsKey(11, kKeyA, 0x20002u), IsKey(12, kKeyLeftShift, 0u)));
}

TEST_F(KeyboardKeys, KeyEventsCarryTagAndZeroAutorepeatAndNoTimestamp) {
  output.keyboard(keyReport(0, {kUsageA}), false, 1);
  auto posted = services.takePosted();
  ASSERT_EQ(posted.size(), 1u);
  EXPECT_EQ(posted[0].field(kFieldSourceUserData), kTag);
  EXPECT_EQ(posted[0].field(kFieldKeyboardAutorepeat), 0);
  EXPECT_TRUE(posted[0].fields.count(kFieldKeyboardAutorepeat));
  EXPECT_EQ(posted[0].timestamp, 0u);
}

TEST_F(KeyboardKeys, TwoKeysPressTogetherInAscendingCodeOrder) {
  output.keyboard(keyReport(0, {kUsageZ, kUsageB, kUsageA}), false, 1);
  EXPECT_THAT(keys(services.takePosted()),
              ElementsAre(IsKey(10, kKeyA, 0u), IsKey(10, kKeyZ, 0u), IsKey(10, kKeyB, 0u)));
}

TEST_F(KeyboardKeys, AllZeroReportReleasesKeysModifiersAndFnAndPressesNothing) {
  output.keyboard(keyReport(0x22, {kUsageA, kUsageB}), true, 1);
  services.takePosted();
  output.keyboard(keyReport(0), false, 2);
  EXPECT_THAT(keys(services.takePosted()),
              ElementsAre(IsKey(11, kKeyA, 0x820006u), IsKey(11, kKeyB, 0x820006u),
                          IsKey(12, kKeyLeftShift, 0x820004u), IsKey(12, 60, 0x800000u),
                          IsKey(12, kKeyFn, 0u)));
}

TEST_F(KeyboardKeys, EmptyReportReleasesEverything) {
  output.keyboard(keyReport(0x02, {kUsageA}), true, 1);
  services.takePosted();
  output.keyboard({}, false, 2);
  EXPECT_THAT(keys(services.takePosted()),
              ElementsAre(IsKey(11, kKeyA, 0x820002u), IsKey(12, kKeyLeftShift, 0x800000u),
                          IsKey(12, kKeyFn, 0u)));
}

TEST_F(KeyboardKeys, SameReportTwicePostsNothingTheSecondTime) {
  output.keyboard(keyReport(0x01, {kUsageA}), true, 1);
  services.takePosted();
  output.keyboard(keyReport(0x01, {kUsageA}), true, 2);
  EXPECT_THAT(services.takePosted(), IsEmpty());
}

TEST_F(KeyboardKeys, FailedKeyDownLeavesKeyUnpressedSoTheNextReportPostsIt) {
  services.failAfter(RecordingEventServices::Kind::keyboard, 1);
  EXPECT_THROW(output.keyboard(keyReport(0, {kUsageA, kUsageB}), false, 1), CGOutputFailure);
  EXPECT_THAT(keys(services.takePosted()), ElementsAre(IsKey(10, kKeyA, 0u)));
  services.allowAll();
  output.keyboard(keyReport(0, {kUsageA, kUsageB}), false, 2);
  EXPECT_THAT(keys(services.takePosted()), ElementsAre(IsKey(10, kKeyB, 0u)));
}

TEST_F(KeyboardKeys, FailedKeyUpKeepsKeyHeldSoTheNextReportReleasesIt) {
  output.keyboard(keyReport(0, {kUsageA}), false, 1);
  services.takePosted();
  services.failAfter(RecordingEventServices::Kind::keyboard, 0);
  EXPECT_THROW(output.keyboard(keyReport(0), false, 2), CGOutputFailure);
  services.allowAll();
  output.keyboard(keyReport(0), false, 3);
  EXPECT_THAT(keys(services.takePosted()), ElementsAre(IsKey(11, kKeyA, 0u)));
}

TEST_F(KeyboardKeys, FailedModifierPressStillCountsTheModifierAsHeld) {
  services.failAfter(RecordingEventServices::Kind::keyboard, 0);
  EXPECT_THROW(output.keyboard(keyReport(0x02), false, 1), CGOutputFailure);
  services.allowAll();
  output.keyboard(keyReport(0x02), false, 2);
  EXPECT_THAT(services.takePosted(), IsEmpty());
  output.keyboard(keyReport(0), false, 3);
  EXPECT_THAT(keys(services.takePosted()), ElementsAre(IsKey(12, kKeyLeftShift, 0u)));
}

// ---------------------------------------------------------------------------------------------

using KeyboardCapsLock = OutputTest;

TEST_F(KeyboardCapsLock, PressTurningItOnPostsFlagsChangedWithAlphaShift) {
  output.keyboard(keyReport(0, {kUsageCapsLock}), false, 1);
  EXPECT_THAT(keys(services.takePosted()), ElementsAre(IsKey(12, kKeyCapsLock, 0x10000u)));
}

TEST_F(KeyboardCapsLock, PressTurningItOffPostsWithoutAlphaShift) {
  services.setFlagsState(0x10000);
  output.keyboard(keyReport(0, {kUsageCapsLock}), false, 1);
  EXPECT_THAT(keys(services.takePosted()), ElementsAre(IsKey(12, kKeyCapsLock, 0u)));
}

TEST_F(KeyboardCapsLock, ReleaseIsFlagsChangedAndDoesNotToggle) {
  output.keyboard(keyReport(0, {kUsageCapsLock}), false, 1);
  output.keyboard(keyReport(0, {kUsageCapsLock, kUsageA}), false, 2);
  services.takePosted();
  output.keyboard(keyReport(0, {kUsageA}), false, 3);
  // Still locked as far as this output knows: the system state is not consulted while held.
  EXPECT_THAT(keys(services.takePosted()), ElementsAre(IsKey(12, kKeyCapsLock, 0x10000u)));
}

TEST_F(KeyboardCapsLock, SystemStateIsNotReadWhileCapsLockIsHeld) {
  output.keyboard(keyReport(0, {kUsageCapsLock}), false, 1);
  services.setFlagsState(0);
  output.keyboard(keyReport(0, {kUsageCapsLock, kUsageA}), false, 2);
  auto posted = services.takePosted();
  ASSERT_EQ(posted.size(), 2u);
  EXPECT_EQ(posted[1].flags, 0x10000u);
}

TEST_F(KeyboardCapsLock, ResyncsFromSystemStateWhenNotHeld) {
  services.setFlagsState(0x10000 | 0x20000);
  output.keyboard(keyReport(0, {kUsageA}), false, 1);
  EXPECT_THAT(keys(services.takePosted()), ElementsAre(IsKey(10, kKeyA, 0x10000u)));
  services.setFlagsState(0);
  output.keyboard(keyReport(0), false, 2);
  EXPECT_THAT(keys(services.takePosted()), ElementsAre(IsKey(11, kKeyA, 0u)));
}

TEST_F(KeyboardCapsLock, NeverBecomesTheRepeatKey) {
  output.keyboard(keyReport(0, {kUsageCapsLock}), false, 0);
  services.takePosted();
  output.repeatTick(10 * kSecond);
  EXPECT_THAT(services.takePosted(), IsEmpty());
}

TEST_F(KeyboardCapsLock, PressedWithAnotherKeyLeavesThatKeyRepeating) {
  output.keyboard(keyReport(0, {kUsageA}), false, 0);
  output.keyboard(keyReport(0, {kUsageA, kUsageCapsLock}), false, 10 * kMs);
  services.takePosted();
  output.repeatTick(250 * kMs);
  EXPECT_THAT(keys(services.takePosted()), ElementsAre(IsKey(10, kKeyA, 0x10000u)));
}

// ---------------------------------------------------------------------------------------------

using KeyboardFn = OutputTest;

TEST_F(KeyboardFn, FnAloneYieldsOneFlagsChangedForKey63AndSetsTheTapState) {
  output.keyboard(keyReport(0), true, 1);
  auto posted = services.takePosted();
  EXPECT_THAT(keys(posted), ElementsAre(IsKey(12, kKeyFn, 0x800000u)));
  EXPECT_EQ(posted[0].field(kFieldSourceUserData), kTag);
  EXPECT_EQ(output.fnSnapshot(), (FnSnapshot{true, false}));

  output.keyboard(keyReport(0), true, 2);
  EXPECT_THAT(services.takePosted(), IsEmpty());
}

TEST_F(KeyboardFn, FnReleaseClearsTheTapStateAndCarriesNoFnFlag) {
  output.keyboard(keyReport(0), true, 1);
  services.takePosted();
  output.keyboard(keyReport(0), false, 2);
  EXPECT_THAT(keys(services.takePosted()), ElementsAre(IsKey(12, kKeyFn, 0u)));
  EXPECT_EQ(output.fnSnapshot(), (FnSnapshot{false, false}));
}

TEST_F(KeyboardFn, HardwareFnAddsTheFnFlagToEveryEvent) {
  Event fnDown;
  fnDown.type = kEventFlagsChanged;
  fnDown.keycode = kKeyFn;
  fnDown.flags = kFlagSecondaryFn;
  output.fnBridge().process(kEventFlagsChanged, fnDown);
  ASSERT_TRUE(output.fnBridge().physicalFnHeld());

  output.keyboard(keyReport(0), true, 1);
  output.keyboard(keyReport(0, {kUsageA}), false, 2);
  EXPECT_THAT(keys(services.takePosted()),
              ElementsAre(IsKey(12, kKeyFn, 0x800000u), IsKey(12, kKeyFn, 0x800000u),
                          IsKey(10, kKeyA, 0x800000u)));
}

TEST_F(KeyboardFn, FnPressComesAfterModifierReleasesAndBeforeModifierPresses) {
  output.keyboard(keyReport(0x01), false, 1);
  services.takePosted();
  output.keyboard(keyReport(0x02), true, 2);
  EXPECT_THAT(keys(services.takePosted()),
              ElementsAre(IsKey(12, 59, 0u), IsKey(12, kKeyFn, 0x800000u),
                          IsKey(12, kKeyLeftShift, 0x820002u)));
}

TEST_F(KeyboardFn, FailedFnPressKeepsFnHeldWithoutTellingTheTap) {
  services.failAfter(RecordingEventServices::Kind::keyboard, 0);
  EXPECT_THROW(output.keyboard(keyReport(0), true, 1), CGOutputFailure);
  services.allowAll();
  EXPECT_EQ(output.fnSnapshot(), (FnSnapshot{false, false}));
  output.keyboard(keyReport(0), true, 2);
  EXPECT_THAT(services.takePosted(), IsEmpty());
}

// ---------------------------------------------------------------------------------------------

using KeyboardRepeat = OutputTest;

TEST_F(KeyboardRepeat, HigherCodeOfTwoPressedKeysRepeats) {
  output.keyboard(keyReport(0, {kUsageA, kUsageB}), false, 1000);
  services.takePosted();
  output.repeatTick(1000 + 250 * kMs);
  auto posted = services.takePosted();
  EXPECT_THAT(keys(posted), ElementsAre(IsKey(10, kKeyB, 0u)));
  EXPECT_EQ(posted[0].field(kFieldKeyboardAutorepeat), 1);
  EXPECT_EQ(posted[0].field(kFieldSourceUserData), kTag);
}

TEST_F(KeyboardRepeat, TickBeforeDueTimePostsNothing) {
  output.keyboard(keyReport(0, {kUsageA}), false, 1000);
  services.takePosted();
  output.repeatTick(1000 + 250 * kMs - 1);
  EXPECT_THAT(services.takePosted(), IsEmpty());
}

TEST_F(KeyboardRepeat, DueTickPostsOneRepeatAndCountsTheNextFromThatTick) {
  output.keyboard(keyReport(0, {kUsageA}), false, 0);
  services.takePosted();
  const std::uint64_t late = 250 * kMs + 7 * kMs;
  output.repeatTick(late);
  EXPECT_EQ(services.takePosted().size(), 1u);
  output.repeatTick(late + 30 * kMs - 1);
  EXPECT_THAT(services.takePosted(), IsEmpty());
  output.repeatTick(late + 30 * kMs);
  EXPECT_THAT(keys(services.takePosted()), ElementsAre(IsKey(10, kKeyA, 0u)));
}

TEST_F(KeyboardRepeat, RepeatCarriesTheCurrentFlags) {
  output.keyboard(keyReport(0, {kUsageA}), false, 0);
  output.keyboard(keyReport(0x02, {kUsageA}), false, 1);
  services.takePosted();
  output.repeatTick(250 * kMs);
  EXPECT_THAT(keys(services.takePosted()), ElementsAre(IsKey(10, kKeyA, 0x20002u)));
}

TEST_F(KeyboardRepeat, ZeroDelayArmsNoRepeat) {
  services.setRepeat(0, 0.03);
  output.keyboard(keyReport(0, {kUsageA}), false, 0);
  services.takePosted();
  output.repeatTick(100 * kSecond);
  EXPECT_THAT(services.takePosted(), IsEmpty());
}

TEST_F(KeyboardRepeat, NanDelayKeepsThePreviousRepeatArmed) {
  output.keyboard(keyReport(0, {kUsageA}), false, 0);
  services.setRepeat(std::numeric_limits<double>::quiet_NaN(), 0.03);
  output.keyboard(keyReport(0, {kUsageA, kUsageB}), false, 10 * kMs);
  services.takePosted();
  output.repeatTick(250 * kMs);
  EXPECT_THAT(keys(services.takePosted()), ElementsAre(IsKey(10, kKeyA, 0u)));
}

TEST_F(KeyboardRepeat, InvalidIntervalDropsTheRepeatOnTheDueTick) {
  output.keyboard(keyReport(0, {kUsageA}), false, 0);
  services.takePosted();
  services.setRepeat(0.25, std::numeric_limits<double>::infinity());
  output.repeatTick(250 * kMs);
  EXPECT_THAT(services.takePosted(), IsEmpty());
  services.setRepeat(0.25, 0.03);
  output.repeatTick(300 * kMs);
  EXPECT_THAT(services.takePosted(), IsEmpty());
}

TEST_F(KeyboardRepeat, HugeDelayOrIntervalPutsTheNextRepeatOutOfReachInsteadOfWrapping) {
  const double huge = 18446744000.0;
  const std::uint64_t pressAt = 1000 * kSecond;
  for (auto [delay, interval] : {std::pair{huge, 0.03}, std::pair{0.25, huge}}) {
    SCOPED_TRACE(delay);
    output.keyboard(keyReport(0), false, 0);
    services.setRepeat(delay, interval);
    output.keyboard(keyReport(0, {kUsageA}), false, pressAt);
    output.repeatTick(pressAt + 250 * kMs);
    services.takePosted();
    output.repeatTick(pressAt + 300 * kMs);
    output.repeatTick(pressAt + 10 * kSecond);
    EXPECT_THAT(services.takePosted(), IsEmpty());
  }
}

TEST_F(KeyboardRepeat, ReleasingAnotherKeyLeavesTheRepeatRunning) {
  output.keyboard(keyReport(0, {kUsageA, kUsageB}), false, 0);
  output.keyboard(keyReport(0, {kUsageB}), false, 10 * kMs);
  services.takePosted();
  output.repeatTick(250 * kMs);
  EXPECT_THAT(keys(services.takePosted()), ElementsAre(IsKey(10, kKeyB, 0u)));
}

TEST_F(KeyboardRepeat, ReleasingTheRepeatKeyStopsIt) {
  output.keyboard(keyReport(0, {kUsageA, kUsageB}), false, 0);
  output.keyboard(keyReport(0, {kUsageA}), false, 10 * kMs);
  services.takePosted();
  output.repeatTick(10 * kSecond);
  EXPECT_THAT(services.takePosted(), IsEmpty());
}

TEST_F(KeyboardRepeat, LaterPressTakesOverTheRepeat) {
  output.keyboard(keyReport(0, {kUsageB}), false, 0);
  output.keyboard(keyReport(0, {kUsageB, kUsageA}), false, 100 * kMs);
  services.takePosted();
  output.repeatTick(250 * kMs);
  EXPECT_THAT(services.takePosted(), IsEmpty());
  output.repeatTick(350 * kMs);
  EXPECT_THAT(keys(services.takePosted()), ElementsAre(IsKey(10, kKeyA, 0u)));
}

TEST_F(KeyboardRepeat, FailedRepeatLeavesTheDueTimeSoTheNextTickRetries) {
  output.keyboard(keyReport(0, {kUsageA}), false, 0);
  services.takePosted();
  services.failAfter(RecordingEventServices::Kind::keyboard, 0);
  EXPECT_THROW(output.repeatTick(250 * kMs), CGOutputFailure);
  services.allowAll();
  output.repeatTick(251 * kMs);
  EXPECT_EQ(services.takePosted().size(), 1u);
}

}  // namespace
}  // namespace virelo::test
