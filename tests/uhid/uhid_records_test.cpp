// The descriptor scan that tells whether output reports carry a report ID.
#include "platform/uhid/uhid_records.h"

#include <gtest/gtest.h>

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

}  // namespace
}  // namespace virelo::uhid::testing
