// Merging all clients into one report, and the report bytes.
#include <gtest/gtest.h>

#include "bridge/reports.h"
#include "bridge_test_util.h"

namespace virelo::testing {
namespace {

using json = nlohmann::json;

class Merging : public CorehidBridgeTest {
 protected:
  void keyboard(int fd, int modifiers, const json& keys) {
    cmd(fd, {{"cmd", "keyboard"}, {"modifiers", modifiers}, {"keys", keys}});
  }
};

TEST_F(Merging, ModifiersAreOredAndKeysUnited) {
  int a = rig.connectAuthenticated();
  int b = rig.connectAuthenticated();
  keyboard(a, 0x02, {4});
  keyboard(b, 0x01, {4, 7});
  EXPECT_EQ(rig.devices.lastReport("keyboard"), keyboardBytes(0x03, {4, 7}));
  EXPECT_EQ(rig.hid->keyboardDelegate().input(), keyboardBytes(0x03, {4, 7}));
}

TEST_F(Merging, KeysAreOrderedByValueNotArrival) {
  int fd = rig.connectAuthenticated();
  keyboard(fd, 0, {30, 4});
  EXPECT_EQ(rig.devices.lastReport("keyboard"), keyboardBytes(0, {4, 30}));
}

TEST_F(Merging, ModifierUsagesMayStandInKeySlots) {
  int fd = rig.connectAuthenticated();
  keyboard(fd, 0x22, {0x2C, 0x04, 0xE0});
  EXPECT_EQ(rig.devices.lastReport("keyboard"), keyboardBytes(0x22, {0x04, 0x2C, 0xE0}));
}

TEST_F(Merging, ConsumerUsagesAreUnitedIntoBits) {
  int a = rig.connectAuthenticated();
  int b = rig.connectAuthenticated();
  cmd(a, {{"cmd", "consumer"}, {"usages", {0xE9}}});
  cmd(b, {{"cmd", "consumer"}, {"usages", {0xB6}}});
  EXPECT_EQ(rig.devices.lastReport("media"), Bytes{0x22});
  EXPECT_EQ(rig.bridge->consumerReport()[0], 0x22);
}

TEST_F(Merging, ReleasingOneClientKeepsWhatTheOtherHolds) {
  int a = rig.connectAuthenticated();
  int b = rig.connectAuthenticated();
  keyboard(a, 0x02, {4});
  keyboard(b, 0x02, {4, 5});
  keyboard(b, 0, json::array());
  EXPECT_EQ(rig.devices.lastReport("keyboard"), keyboardBytes(0x02, {4}));
}

TEST_F(Merging, EveryKeyboardCommandSendsBothKeyboardAndConsumerReports) {
  int fd = rig.connectAuthenticated();
  cmd(fd, {{"cmd", "consumer"}, {"usages", {0xCD}}});
  keyboard(fd, 0, {4});
  EXPECT_EQ(rig.devices.reports("media"), std::vector<Bytes>({Bytes{0x08}, Bytes{0x08}}));
  EXPECT_EQ(rig.devices.reportCount("keyboard"), 2u);
}

TEST(ReportBytes, KeyboardReportForModifiers0x22AndTwoKeys) {
  KeySet keys;
  keys.set(0x2C);
  keys.set(0x04);
  auto report = makeKeyboardReport(0x22, keys);
  EXPECT_EQ(Bytes(report.begin(), report.end()), keyboardBytes(0x22, {0x04, 0x2C}));
}

TEST(ReportBytes, MouseMovesAreClampedToPlusMinus127) {
  auto report = makeMouseReport(3, -200, 200, -128);
  EXPECT_EQ(Bytes(report.begin(), report.end()), Bytes({3, 0x81, 0x7F, 0x81}));
}

TEST(ReportBytes, DescriptorsHaveTheirDocumentedLengthsAndEnds) {
  EXPECT_EQ(keyboardDescriptor.size(), 60u);
  EXPECT_EQ(mouseDescriptor.size(), 52u);
  EXPECT_EQ(consumerDescriptor.size(), 35u);
  EXPECT_EQ(keyboardDescriptor.back(), 0xC0);
  EXPECT_EQ(mouseDescriptor[mouseDescriptor.size() - 2], 0xC0);
  EXPECT_EQ(consumerDescriptor.back(), 0xC0);
  // The 32 key slots and the logical maximum 231 in two data bytes.
  const std::uint8_t keySlots[] = {0x26, 0xE7, 0x00, 0x75, 0x08, 0x95, 0x20, 0x81, 0x00};
  EXPECT_TRUE(std::search(keyboardDescriptor.begin(), keyboardDescriptor.end(),
                          std::begin(keySlots), std::end(keySlots)) != keyboardDescriptor.end());
}

}  // namespace
}  // namespace virelo::testing
