// Report delegates: the host's get-report and set-report requests, and their thread safety.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "bridge_test_util.h"

namespace virelo::testing {
namespace {

using json = nlohmann::json;

std::optional<HidDeviceError::Kind> refusalOf(const std::function<void()>& call) {
  try {
    call();
  } catch (const HidDeviceError& e) {
    return e.kind();
  }
  return std::nullopt;
}

constexpr auto kUnsupported = HidDeviceError::Kind::unsupported;
constexpr auto kTooLarge = HidDeviceError::Kind::messageTooLarge;

class ReportDelegates : public CorehidBridgeTest {
 protected:
  HidVirtualDeviceDelegate& keyboard() { return *rig.devices.delegate("keyboard"); }
  HidVirtualDeviceDelegate& mouse() { return *rig.devices.delegate("mouse"); }
  HidVirtualDeviceDelegate& media() { return *rig.devices.delegate("media"); }
};

TEST(ReportDelegateFresh, InputReportsStartAllZero) {
  BridgeRig rig(InputBackend::corehid);
  EXPECT_EQ(rig.hid->keyboardDelegate().getReport(HidReportType::input, std::nullopt, 64),
            Bytes(33, 0));
  EXPECT_EQ(rig.hid->mouseDelegate().getReport(HidReportType::input, std::nullopt, 64),
            Bytes(4, 0));
  EXPECT_EQ(rig.hid->consumerDelegate().getReport(HidReportType::input, std::nullopt, 64),
            Bytes(1, 0));
  EXPECT_EQ(rig.hid->keyboardDelegate().getReport(HidReportType::output, std::nullopt, 1),
            Bytes(1, 0));
}

TEST_F(ReportDelegates, LedByteIsMaskedToFiveBits) {
  const std::uint8_t all = 0xFF;
  keyboard().setReport(HidReportType::output, std::nullopt, {&all, 1});
  EXPECT_EQ(keyboard().getReport(HidReportType::output, std::nullopt, 1), Bytes{0x1F});
  EXPECT_EQ(rig.hid->keyboardDelegate().leds(), 0x1F);
  const std::uint8_t caps = 0x02;
  keyboard().setReport(HidReportType::output, std::uint8_t{0}, {&caps, 1});
  EXPECT_EQ(keyboard().getReport(HidReportType::output, std::uint8_t{0}, 8), Bytes{0x02});
}

TEST_F(ReportDelegates, LedReportOfTwoBytesOrOnAnotherDeviceIsUnsupported) {
  const std::uint8_t two[] = {0x01, 0x02};
  const std::uint8_t one = 0x01;
  EXPECT_EQ(refusalOf([&] { keyboard().setReport(HidReportType::output, std::nullopt, two); }),
            kUnsupported);
  EXPECT_EQ(refusalOf([&] {
              keyboard().setReport(HidReportType::output, std::nullopt,
                                   std::span<const std::uint8_t>());
            }),
            kUnsupported);
  EXPECT_EQ(refusalOf([&] {
              mouse().setReport(HidReportType::output, std::nullopt, {&one, 1});
            }),
            kUnsupported);
  EXPECT_EQ(refusalOf([&] {
              media().setReport(HidReportType::output, std::nullopt, {&one, 1});
            }),
            kUnsupported);
  EXPECT_EQ(rig.hid->keyboardDelegate().leds(), 0);
}

TEST_F(ReportDelegates, SetReportWithReportIdOneOrOfInputOrFeatureTypeIsUnsupported) {
  const std::uint8_t one = 0x01;
  EXPECT_EQ(refusalOf([&] {
              keyboard().setReport(HidReportType::output, std::uint8_t{1}, {&one, 1});
            }),
            kUnsupported);
  EXPECT_EQ(refusalOf([&] {
              keyboard().setReport(HidReportType::input, std::nullopt, {&one, 1});
            }),
            kUnsupported);
  EXPECT_EQ(refusalOf([&] {
              keyboard().setReport(HidReportType::feature, std::nullopt, {&one, 1});
            }),
            kUnsupported);
  EXPECT_EQ(rig.hid->keyboardDelegate().leds(), 0);
}

TEST_F(ReportDelegates, GetReportRefusals) {
  EXPECT_EQ(refusalOf([&] { media().getReport(HidReportType::output, std::nullopt, 8); }),
            kUnsupported);
  EXPECT_EQ(refusalOf([&] { mouse().getReport(HidReportType::output, std::nullopt, 8); }),
            kUnsupported);
  for (auto* delegate : {&keyboard(), &mouse(), &media()}) {
    EXPECT_EQ(refusalOf([&] { delegate->getReport(HidReportType::feature, std::nullopt, 64); }),
              kUnsupported);
    EXPECT_EQ(refusalOf([&] { delegate->getReport(HidReportType::input, std::uint8_t{1}, 64); }),
              kUnsupported);
  }
  EXPECT_EQ(keyboard().getReport(HidReportType::input, std::uint8_t{0}, 64), Bytes(33, 0));
}

TEST_F(ReportDelegates, InputReportLargerThanTheHostAcceptsIsTooLarge) {
  EXPECT_EQ(refusalOf([&] { keyboard().getReport(HidReportType::input, std::nullopt, 32); }),
            kTooLarge);
  EXPECT_EQ(keyboard().getReport(HidReportType::input, std::nullopt, 33).size(), 33u);
  EXPECT_EQ(refusalOf([&] { mouse().getReport(HidReportType::input, std::nullopt, 3); }),
            kTooLarge);
  EXPECT_EQ(refusalOf([&] { keyboard().getReport(HidReportType::output, std::nullopt, 0); }),
            kTooLarge);
}

TEST_F(ReportDelegates, InputReportFollowsTheLastOutput) {
  int fd = rig.connectAuthenticated();
  cmd(fd, {{"cmd", "keyboard"}, {"modifiers", 0x22}, {"keys", {0x2C, 0x04}}});
  cmd(fd, {{"cmd", "consumer"}, {"usages", {0xE9, 0xB6}}});
  EXPECT_EQ(keyboard().getReport(HidReportType::input, std::nullopt, 33),
            keyboardBytes(0x22, {0x04, 0x2C}));
  EXPECT_EQ(media().getReport(HidReportType::input, std::nullopt, 1), Bytes{0x22});
}

TEST_F(ReportDelegates, RestReportAfterAMove) {
  int fd = rig.connectAuthenticated();
  cmd(fd, {{"cmd", "move"}, {"dx", 5}, {"dy", -3}});
  EXPECT_EQ(mouse().getReport(HidReportType::input, std::nullopt, 4), Bytes({0, 0, 0, 0}));
  EXPECT_EQ(rig.devices.lastReport("mouse"), Bytes({0, 5, 0xFD, 0}));
}

// The host's threads ask for and write reports while the main thread keeps storing new ones.
TEST_F(ReportDelegates, HostThreadRequestsRaceWithStoredReports) {
  int fd = rig.connectAuthenticated();
  const Bytes withKey = keyboardBytes(0x02, {4});
  const Bytes empty = keyboardBytes(0, {});
  std::atomic<bool> done{false};
  std::atomic<int> torn{0};
  std::atomic<int> requests{0};
  std::thread host([&] {
    HidVirtualDeviceDelegate& kb = keyboard();
    HidVirtualDeviceDelegate& ms = mouse();
    std::uint8_t led = 0;
    while (!done.load() || requests.load() < 200) {
      Bytes report = kb.getReport(HidReportType::input, std::nullopt, 64);
      if (report != withKey && report != empty) torn.fetch_add(1);
      kb.setReport(HidReportType::output, std::nullopt, {&led, 1});
      Bytes leds = kb.getReport(HidReportType::output, std::nullopt, 1);
      if (leds.size() != 1 || (leds[0] & 0xE0) != 0) torn.fetch_add(1);
      Bytes rest = ms.getReport(HidReportType::input, std::nullopt, 4);
      if (rest.size() != 4 || rest[1] != rest[2] || (rest[1] != 0 && rest[1] != 3))
        torn.fetch_add(1);
      ++led;
      requests.fetch_add(1);
    }
  });
  for (int i = 0; i < 500; ++i) {
    cmd(fd, {{"cmd", "keyboard"}, {"modifiers", 0x02}, {"keys", {4}}});
    cmd(fd, {{"cmd", "move"}, {"dx", 3}, {"dy", 3}});
    cmd(fd, {{"cmd", "keyboard"}, {"modifiers", 0}, {"keys", json::array()}});
  }
  done.store(true);
  host.join();
  EXPECT_EQ(torn.load(), 0);
  EXPECT_GE(requests.load(), 200);
}

}  // namespace
}  // namespace virelo::testing
