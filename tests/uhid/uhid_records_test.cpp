// The descriptor scans that tell how output reports are framed, and the split of the output
// reports the kernel hands over.
#include "platform/uhid/uhid_records.h"

#include <gtest/gtest.h>
#include <linux/uhid.h>

#include <cstring>

#include "test_descriptors.h"

namespace virelo::uhid::testing {
namespace {

using Bytes = std::vector<std::uint8_t>;

TEST(ReportIdScan, TheServicesDescriptorsHaveNoReportIds) {
  EXPECT_FALSE(descriptorUsesReportIDs(keyboardDescriptor));
  EXPECT_FALSE(descriptorUsesReportIDs(mouseDescriptor));
  EXPECT_FALSE(descriptorUsesReportIDs(consumerDescriptor));
  EXPECT_FALSE(descriptorUsesReportIDs({}));
}

TEST(ReportIdScan, ReportIdItemIsFound) {
  EXPECT_TRUE(descriptorUsesReportIDs(Bytes{0x05, 0x01, 0x85, 0x02, 0xC0}));
}

TEST(ReportIdScan, ReportIdPrefixInsideAnotherItemsDataIsNotAnItem) {
  // Logical Maximum with the two data bytes 0x85 0x00.
  EXPECT_FALSE(descriptorUsesReportIDs(Bytes{0x26, 0x85, 0x00, 0xC0}));
  // Four data bytes.
  EXPECT_FALSE(descriptorUsesReportIDs(Bytes{0x27, 0x85, 0x01, 0x85, 0x01, 0xC0}));
}

TEST(ReportIdScan, LongItemsAreSkippedWhole) {
  EXPECT_FALSE(descriptorUsesReportIDs(Bytes{0xFE, 0x02, 0x10, 0x85, 0x01, 0xC0}));
  EXPECT_TRUE(descriptorUsesReportIDs(Bytes{0xFE, 0x01, 0x10, 0x00, 0x85, 0x01}));
}

TEST(ReportIdScan, TruncatedDescriptorEndsTheScan) {
  EXPECT_FALSE(descriptorUsesReportIDs(Bytes{0x26, 0x85}));
  EXPECT_FALSE(descriptorUsesReportIDs(Bytes{0xFE}));
}

TEST(OutputFramingScan, OutputBitsOfTheDescriptorGiveTheReportLength) {
  struct Case {
    Bytes descriptor;
    std::size_t length;
  };
  const Case cases[] = {
      {Bytes(keyboardDescriptor.begin(), keyboardDescriptor.end()), 1},  // 5 LEDs and 3 filler
      {Bytes(mouseDescriptor.begin(), mouseDescriptor.end()), 0},
      {Bytes(consumerDescriptor.begin(), consumerDescriptor.end()), 0},
      // Report Size 8, Report Count 2 pushed; Count 1 is popped again before the Output item.
      {Bytes{0x75, 0x08, 0x95, 0x02, 0xA4, 0x95, 0x01, 0xB4, 0x91, 0x02}, 2},
  };
  for (const auto& c : cases) {
    auto framing = outputFraming(c.descriptor);
    EXPECT_FALSE(framing.numbered);
    EXPECT_EQ(framing.reportLength, c.length);
  }
}

// A UHID_OUTPUT record exactly as the kernel's read hands it over: a whole struct uhid_event.
Bytes outputRecord(const Bytes& data) {
  uhid_event event{};
  event.type = UHID_OUTPUT;
  event.u.output.size = static_cast<std::uint16_t>(data.size());
  event.u.output.rtype = UHID_OUTPUT_REPORT;
  std::memcpy(event.u.output.data, data.data(), data.size());
  const auto* bytes = reinterpret_cast<const std::uint8_t*>(&event);
  return Bytes(bytes, bytes + sizeof event);
}

TEST(OutputReportSplit, KeyboardLedsFromEvdevAndFromHidrawReachTheDelegateAlike) {
  struct Case {
    Bytes sent;
    Bytes report;
  };
  const Case cases[] = {
      {{0x02}, {0x02}},              // the input layer's LED report: Caps Lock
      {{0x00}, {0x00}},              // all LEDs off
      {{0x00, 0x02}, {0x02}},        // a hidraw write: report number 0, then the report
      {{0x00, 0x00}, {0x00}},        // all LEDs off through hidraw
      {{0x05, 0x02}, {0x05, 0x02}},  // not a report number: left for the delegate to refuse
  };
  auto framing = outputFraming(keyboardDescriptor);
  for (const auto& c : cases) {
    auto request = parseUhidRequest(outputRecord(c.sent));
    ASSERT_EQ(request.kind, UhidRequest::Kind::output);
    auto report = splitOutputReport(request.data, framing);
    EXPECT_EQ(report.id, std::nullopt);
    EXPECT_EQ(Bytes(report.data.begin(), report.data.end()), c.report);
  }
}

}  // namespace
}  // namespace virelo::uhid::testing
