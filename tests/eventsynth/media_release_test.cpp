#include <gtest/gtest.h>

#include "tests/eventsynth/output_fixture.h"

namespace virelo::test {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

// A short description of each posted event, for order checks.
std::vector<std::string> describe(const std::vector<Event>& events) {
  std::vector<std::string> out;
  for (const auto& e : events) {
    std::string s = std::to_string(e.type);
    if (isKeyboardEventType(e.type)) s += ":" + std::to_string(e.keycode);
    if (e.type == kEventSystemDefined) {
      char buf[32];
      std::snprintf(buf, sizeof buf, ":%llx", static_cast<unsigned long long>(e.data1));
      s += buf;
    }
    out.push_back(s);
  }
  return out;
}

// ---------------------------------------------------------------------------------------------

using MediaKeys = OutputTest;

TEST_F(MediaKeys, PlayPressAndReleasePostSystemDefinedEvents) {
  output.consumer(mediaReport(0x08));
  auto posted = services.takePosted();
  ASSERT_EQ(posted.size(), 1u);
  EXPECT_EQ(posted[0].type, kEventSystemDefined);
  EXPECT_EQ(posted[0].subtype, 8);
  EXPECT_EQ(posted[0].data1, 0x100A00);
  EXPECT_EQ(posted[0].data2, -1);
  EXPECT_EQ(posted[0].flags, 0xA00u);
  EXPECT_EQ(posted[0].location, (Point{0, 0}));
  EXPECT_EQ(posted[0].timestamp, 0u);
  EXPECT_EQ(posted[0].field(kFieldSourceUserData), kTag);
  EXPECT_FALSE(posted[0].fields.count(kFieldKeyboardAutorepeat));

  output.consumer(mediaReport(0x00));
  posted = services.takePosted();
  ASSERT_EQ(posted.size(), 1u);
  EXPECT_EQ(posted[0].data1, 0x100B00);
  EXPECT_EQ(posted[0].flags, 0xB00u);
}

TEST_F(MediaKeys, ModifierFlagsIncludeTheFlagsWord) {
  output.keyboard(keyReport(0x02), true, 1);
  services.takePosted();
  output.consumer(mediaReport(0x01));
  auto posted = services.takePosted();
  ASSERT_EQ(posted.size(), 1u);
  EXPECT_EQ(posted[0].flags, 0x820002u | 0xA00u);
  EXPECT_EQ(posted[0].data1, 0x70A00);
}

TEST_F(MediaKeys, EveryBitHasItsKeyType) {
  const std::int64_t types[] = {7, 0, 1, 16, 17, 18};
  for (int bit = 0; bit < 6; ++bit) {
    output.consumer(mediaReport(static_cast<std::uint8_t>(1 << bit)));
    output.consumer(mediaReport(0));
    auto posted = services.takePosted();
    ASSERT_EQ(posted.size(), 2u);
    EXPECT_EQ(posted[0].data1, (types[bit] << 16) | 0xA00) << bit;
    EXPECT_EQ(posted[1].data1, (types[bit] << 16) | 0xB00) << bit;
  }
}

TEST_F(MediaKeys, BitsSixAndSevenPostNothingAndHoldNothing) {
  output.consumer(mediaReport(0x40));
  output.consumer(mediaReport(0x80));
  output.consumer(mediaReport(0xC0));
  EXPECT_THAT(services.takePosted(), IsEmpty());
  output.releaseAll();
  EXPECT_THAT(services.takePosted(), IsEmpty());
}

TEST_F(MediaKeys, SwitchingKeysReleasesBeforePressing) {
  output.consumer(mediaReport(0x01));
  services.takePosted();
  output.consumer(mediaReport(0x02));
  EXPECT_THAT(describe(services.takePosted()), ElementsAre("14:70b00", "14:a00"));
}

TEST_F(MediaKeys, HeldKeyIsNotPostedAgain) {
  output.consumer(mediaReport(0x08));
  output.consumer(mediaReport(0x08));
  EXPECT_EQ(services.takePosted().size(), 1u);
}

TEST_F(MediaKeys, FailedPressLeavesTheUsageUnheld) {
  services.failAfter(RecordingEventServices::Kind::systemDefined, 0);
  EXPECT_THROW(output.consumer(mediaReport(0x08)), CGOutputFailure);
  services.allowAll();
  output.consumer(mediaReport(0x08));
  EXPECT_EQ(services.takePosted().size(), 1u);
}

TEST_F(MediaKeys, FailedReleaseLeavesTheUsageHeld) {
  output.consumer(mediaReport(0x08));
  services.takePosted();
  services.failAfter(RecordingEventServices::Kind::systemDefined, 0);
  EXPECT_THROW(output.consumer(mediaReport(0)), CGOutputFailure);
  services.allowAll();
  output.consumer(mediaReport(0));
  EXPECT_THAT(describe(services.takePosted()), ElementsAre("14:100b00"));
}

TEST_F(MediaKeys, EmptyReportReleasesEverything) {
  output.consumer(mediaReport(0x08));
  services.takePosted();
  output.consumer({});
  EXPECT_THAT(describe(services.takePosted()), ElementsAre("14:100b00"));
}

// ---------------------------------------------------------------------------------------------

class ReleaseAll : public OutputTest {
 protected:
  void holdShiftAMouseAndMute() {
    output.keyboard(keyReport(0x02, {kUsageA}), false, 1 * kSecond);
    output.pointing(mouseReport(1), 1 * kSecond, false);
    output.consumer(mediaReport(0x01));
    services.takePosted();
  }
};

TEST_F(ReleaseAll, PostsEveryReleaseInOrderAndForgetsTheState) {
  holdShiftAMouseAndMute();
  output.releaseAll();
  auto posted = services.takePosted();
  EXPECT_THAT(describe(posted), ElementsAre("11:0", "12:56", "2", "14:70b00"));
  EXPECT_EQ(posted[0].flags, 0x20002u);
  EXPECT_EQ(posted[1].flags, 0u);
  EXPECT_EQ(posted[2].field(kFieldMouseClickState), 1);

  output.releaseAll();
  EXPECT_THAT(services.takePosted(), IsEmpty());
}

TEST_F(ReleaseAll, ReleasesFnAndButtonsInOrder) {
  output.keyboard(keyReport(0x01, {kUsageB}), true, 1 * kSecond);
  output.pointing(mouseReport(7), 1 * kSecond, false);
  output.consumer(mediaReport(0x18));
  services.takePosted();
  output.releaseAll();
  auto d = describe(services.takePosted());
  ASSERT_EQ(d.size(), 8u);
  EXPECT_THAT(std::vector<std::string>(d.begin(), d.begin() + 6),
              ElementsAre("11:11", "12:59", "12:63", "2", "4", "26"));
  EXPECT_EQ(output.fnSnapshot(), (FnSnapshot{false, false}));
}

TEST_F(ReleaseAll, ClearsTheRepeatAndTheClickCounts) {
  holdShiftAMouseAndMute();
  output.releaseAll();
  services.takePosted();
  output.repeatTick(100 * kSecond);
  EXPECT_THAT(services.takePosted(), IsEmpty());
  output.pointing(mouseReport(1), 1 * kSecond + 10 * kMs, false);
  auto posted = services.takePosted();
  ASSERT_EQ(posted.size(), 1u);
  EXPECT_EQ(posted[0].field(kFieldMouseClickState), 1);
}

TEST_F(ReleaseAll, KeepsTheCapsLockStateUntilTheNextKeyboardResync) {
  output.keyboard(keyReport(0, {kUsageCapsLock}), false, 1);
  services.takePosted();
  output.releaseAll();
  auto posted = services.takePosted();
  ASSERT_EQ(posted.size(), 1u);
  EXPECT_EQ(posted[0].type, kEventFlagsChanged);
  EXPECT_EQ(posted[0].keycode, kKeyCapsLock);
  EXPECT_EQ(posted[0].flags, 0x10000u);
  output.moveCursor({1, 1});
  EXPECT_EQ(services.takePosted().at(0).flags, 0x10000u);
  output.keyboard(keyReport(0), false, 2);  // resync: the system says unlocked
  output.moveCursor({2, 2});
  EXPECT_EQ(services.takePosted().at(0).flags, 0u);
}

TEST_F(ReleaseAll, WithoutPermissionPostsNothingButClearsVirtualFnAndRepeat) {
  output.keyboard(keyReport(0x02, {kUsageA}), true, 1 * kSecond);
  output.pointing(mouseReport(1), 1 * kSecond, false);
  output.consumer(mediaReport(0x01));
  services.takePosted();
  ASSERT_EQ(output.fnSnapshot(), (FnSnapshot{true, false}));

  services.postAccess = false;
  EXPECT_FALSE(output.permitted());
  output.releaseAll();
  EXPECT_THAT(services.takePosted(), IsEmpty());
  EXPECT_EQ(output.fnSnapshot(), (FnSnapshot{false, false}));
  output.repeatTick(100 * kSecond);
  EXPECT_THAT(services.takePosted(), IsEmpty());

  // Keys, modifiers, Fn, buttons and media keys are still held and released once allowed.
  services.postAccess = true;
  EXPECT_TRUE(output.permitted());
  output.releaseAll();
  EXPECT_THAT(describe(services.takePosted()),
              ElementsAre("11:0", "12:56", "12:63", "2", "14:70b00"));
}

TEST_F(ReleaseAll, ReleasesDroppedWithoutPermissionArePostedOnceAllowedUnlessHeldAgain) {
  services.setRepeat(0, 0.03);
  output.keyboard(keyReport(0x02, {kUsageA, kUsageB}), false, 1 * kSecond);
  output.pointing(mouseReport(1), 1 * kSecond, false);
  output.consumer(mediaReport(0x01));
  services.postAccess = false;  // the platform drops what follows
  output.keyboard(keyReport(0), false, 2 * kSecond);
  output.pointing(mouseReport(0), 2 * kSecond, false);
  output.consumer(mediaReport(0));
  output.repeatTick(2 * kSecond);
  services.postAccess = true;
  output.keyboard(keyReport(0, {kUsageB}), false, 3 * kSecond);
  services.takePosted();
  output.repeatTick(3 * kSecond);
  EXPECT_THAT(describe(services.takePosted()), ElementsAre("11:0", "12:56", "2", "14:70b00"));
  output.repeatTick(4 * kSecond);
  EXPECT_THAT(services.takePosted(), IsEmpty());
}

TEST_F(ReleaseAll, FailedStepDoesNotStopTheOthers) {
  holdShiftAMouseAndMute();
  services.failAfter(RecordingEventServices::Kind::keyboard, 0);
  output.releaseAll();
  EXPECT_THAT(describe(services.takePosted()), ElementsAre("2", "14:70b00"));
  services.allowAll();
  // Everything was forgotten, the unreleased keys included.
  output.releaseAll();
  EXPECT_THAT(services.takePosted(), IsEmpty());
}

TEST_F(ReleaseAll, DiscardStatePostsNothingAndForgetsEverything) {
  holdShiftAMouseAndMute();
  output.keyboard(keyReport(0x02, {kUsageA}), true, 2 * kSecond);
  services.takePosted();
  output.discardState();
  EXPECT_THAT(services.takePosted(), IsEmpty());
  EXPECT_EQ(output.fnSnapshot(), (FnSnapshot{false, false}));
  // The same state posts its presses again.
  output.keyboard(keyReport(0x02, {kUsageA}), false, 3 * kSecond);
  output.pointing(mouseReport(1), 3 * kSecond, false);
  output.consumer(mediaReport(0x01));
  EXPECT_THAT(describe(services.takePosted()), ElementsAre("12:56", "10:0", "1", "14:70a00"));
}

}  // namespace
}  // namespace virelo::test
