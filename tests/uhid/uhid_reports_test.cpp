// Reports through a created device: input reports to the kernel, and the kernel's get-report,
// set-report and output requests answered through the delegate.
#include <errno.h>
#include <gtest/gtest.h>
#include <linux/uhid.h>
#include <sys/socket.h>

#include <csignal>
#include <thread>

#include "fake_uhid_kernel.h"
#include "platform/uhid/uhid_hid_service.h"
#include "recording_delegate.h"
#include "test_descriptors.h"

namespace virelo::uhid::testing {
namespace {

using Bytes = std::vector<std::uint8_t>;

class UhidDeviceTest : public ::testing::Test {
 protected:
  void SetUp() override { createDevice(deviceProperties("keyboard")); }

  void createDevice(const HidDeviceProperties& properties) {
    device_ = service_.create(properties);
    ASSERT_NE(device_, nullptr);
    ASSERT_TRUE(kernel_.receive());  // the UHID_CREATE2 record
  }

  // The reply to a get-report, checked for its type, request id and length.
  struct GetReply {
    std::uint16_t err = 0;
    Bytes data;
  };
  GetReply getReport(std::uint32_t id, std::uint8_t rnum, std::uint8_t rtype) {
    kernel_.sendGetReport(id, rnum, rtype);
    auto record = kernel_.receive();
    if (!record) return {0xFFFF, {}};
    EXPECT_EQ(u32At(*record, 0), static_cast<std::uint32_t>(UHID_GET_REPORT_REPLY));
    EXPECT_EQ(u32At(*record, 4), id);
    GetReply reply{u16At(*record, 8), Bytes(record->begin() + 12, record->end())};
    EXPECT_EQ(u16At(*record, 10), reply.data.size());
    return reply;
  }

  // The error code of the reply to a set-report.
  std::uint16_t setReport(std::uint32_t id, std::uint8_t rnum, std::uint8_t rtype,
                          const Bytes& data) {
    kernel_.sendSetReport(id, rnum, rtype, data);
    auto record = kernel_.receive();
    if (!record) return 0xFFFF;
    EXPECT_EQ(record->size(), 10u);
    EXPECT_EQ(u32At(*record, 0), static_cast<std::uint32_t>(UHID_SET_REPORT_REPLY));
    EXPECT_EQ(u32At(*record, 4), id);
    return u16At(*record, 8);
  }

  FakeUhidKernel kernel_;
  UhidHidService service_{kernel_.opener()};
  RecordingDelegate delegate_;
  std::unique_ptr<HidVirtualDevice> device_;
};

// Input reports.

using UhidInputReport = UhidDeviceTest;

TEST_F(UhidInputReport, DispatchWritesOneInput2RecordOfTheReportsLength) {
  Bytes report(33, 0);
  report[0] = 0x22;
  report[1] = 0x04;
  report[2] = 0x2C;
  device_->dispatchInputReport(report, 123);
  auto record = kernel_.receive();
  ASSERT_TRUE(record);
  ASSERT_EQ(record->size(), 6u + 33u);
  EXPECT_EQ(u32At(*record, 0), static_cast<std::uint32_t>(UHID_INPUT2));
  EXPECT_EQ(u16At(*record, 4), 33);
  EXPECT_EQ(Bytes(record->begin() + 6, record->end()), report);
}

TEST_F(UhidInputReport, ReportsGoOutInDispatchOrderBeforeActivationToo) {
  device_->dispatchInputReport(Bytes{1}, 0);
  device_->activate(delegate_);
  device_->dispatchInputReport(Bytes{2}, 0);
  auto first = kernel_.receive();
  auto second = kernel_.receive();
  ASSERT_TRUE(first && second);
  EXPECT_EQ(first->back(), 1);
  EXPECT_EQ(second->back(), 2);
}

TEST_F(UhidInputReport, ReportOfTheKernelsMaximumSizeIsSent) {
  device_->dispatchInputReport(Bytes(UHID_DATA_MAX, 7), 0);
  auto record = kernel_.receive();
  ASSERT_TRUE(record);
  EXPECT_EQ(record->size(), 6u + UHID_DATA_MAX);
  EXPECT_EQ(u16At(*record, 4), UHID_DATA_MAX);
}

TEST_F(UhidInputReport, ReportLongerThanTheKernelAcceptsIsAServiceErrorAndNotSent) {
  EXPECT_THROW(device_->dispatchInputReport(Bytes(UHID_DATA_MAX + 1, 7), 0), HidServiceError);
  device_->dispatchInputReport(Bytes{9}, 0);
  auto record = kernel_.receive();
  ASSERT_TRUE(record);
  EXPECT_EQ(record->size(), 7u);
}

TEST_F(UhidInputReport, WriteTheKernelRefusesIsAServiceError) {
  std::signal(SIGPIPE, SIG_IGN);  // as the service does at start
  ASSERT_EQ(::shutdown(kernel_.deviceEnd(), SHUT_WR), 0);
  EXPECT_THROW(device_->dispatchInputReport(Bytes(4, 0), 0), HidServiceError);
}

TEST_F(UhidInputReport, DispatchesAndRequestsOnTheReaderInterleaveAsWholeRecords) {
  device_->activate(delegate_);
  delegate_.answer(Bytes(33, 0x11));
  constexpr int count = 100;
  std::thread host([this] {
    for (int i = 0; i < count; ++i)
      kernel_.sendGetReport(static_cast<std::uint32_t>(i), 0, UHID_INPUT_REPORT);
  });
  for (int i = 0; i < count; ++i) device_->dispatchInputReport(Bytes(33, 0x22), 0);
  host.join();
  int inputs = 0, replies = 0;
  for (int i = 0; i < 2 * count; ++i) {
    auto record = kernel_.receive();
    ASSERT_TRUE(record);
    ASSERT_EQ(record->size(), u32At(*record, 0) == UHID_INPUT2 ? 6u + 33u : 12u + 33u);
    if (u32At(*record, 0) == UHID_INPUT2) {
      EXPECT_EQ(record->back(), 0x22);
      ++inputs;
    } else {
      EXPECT_EQ(u32At(*record, 4), static_cast<std::uint32_t>(replies));
      EXPECT_EQ(record->back(), 0x11);
      ++replies;
    }
  }
  EXPECT_EQ(inputs, count);
  EXPECT_EQ(replies, count);
}

// Get-report requests.

using UhidGetReport = UhidDeviceTest;

TEST_F(UhidGetReport, BeforeActivationTheRequestIsRefusedWithEio) {
  auto reply = getReport(7, 0, UHID_INPUT_REPORT);
  EXPECT_EQ(reply.err, EIO);
  EXPECT_TRUE(reply.data.empty());
}

TEST_F(UhidGetReport, InputReportIsAnsweredByTheDelegateOnTheReaderThread) {
  device_->activate(delegate_);
  Bytes report(33, 0);
  report[1] = 0x04;
  delegate_.answer(report);
  auto reply = getReport(42, 0, UHID_INPUT_REPORT);
  EXPECT_EQ(reply.err, 0);
  EXPECT_EQ(reply.data, report);

  auto calls = delegate_.calls();
  ASSERT_EQ(calls.size(), 1u);
  EXPECT_EQ(calls[0].op, DelegateCall::Op::get);
  EXPECT_EQ(calls[0].type, HidReportType::input);
  EXPECT_EQ(calls[0].id, std::nullopt);
  EXPECT_EQ(calls[0].maxSize, static_cast<std::size_t>(UHID_DATA_MAX));
  EXPECT_NE(calls[0].thread, std::this_thread::get_id());
}

TEST_F(UhidGetReport, KernelReportTypesMapToTheDelegatesTypes) {
  device_->activate(delegate_);
  delegate_.answer({0x1F});
  getReport(1, 0, UHID_FEATURE_REPORT);
  getReport(2, 0, UHID_OUTPUT_REPORT);
  getReport(3, 0, UHID_INPUT_REPORT);
  auto calls = delegate_.calls();
  ASSERT_EQ(calls.size(), 3u);
  EXPECT_EQ(calls[0].type, HidReportType::feature);
  EXPECT_EQ(calls[1].type, HidReportType::output);
  EXPECT_EQ(calls[2].type, HidReportType::input);
}

TEST_F(UhidGetReport, UnsupportedRefusalIsRepliedAsEopnotsupp) {
  device_->activate(delegate_);
  delegate_.refuse(HidDeviceError::Kind::unsupported);
  auto reply = getReport(5, 0, UHID_FEATURE_REPORT);
  EXPECT_EQ(reply.err, EOPNOTSUPP);
  EXPECT_TRUE(reply.data.empty());
}

TEST_F(UhidGetReport, TooLargeRefusalIsRepliedAsEmsgsize) {
  device_->activate(delegate_);
  delegate_.refuse(HidDeviceError::Kind::messageTooLarge);
  EXPECT_EQ(getReport(5, 0, UHID_INPUT_REPORT).err, EMSGSIZE);
}

TEST_F(UhidGetReport, AnswerLongerThanTheKernelAcceptsIsRepliedAsEmsgsize) {
  device_->activate(delegate_);
  delegate_.answer(Bytes(UHID_DATA_MAX + 1, 1));
  auto reply = getReport(5, 0, UHID_INPUT_REPORT);
  EXPECT_EQ(reply.err, EMSGSIZE);
  EXPECT_TRUE(reply.data.empty());
}

TEST_F(UhidGetReport, UnknownReportTypeIsRefusedWithoutAskingTheDelegate) {
  device_->activate(delegate_);
  EXPECT_EQ(getReport(5, 0, 9).err, EINVAL);
  EXPECT_TRUE(delegate_.calls().empty());
}

TEST_F(UhidGetReport, NumberedRequestPassesTheIdAndPutsItBeforeTheAnswer) {
  device_->activate(delegate_);
  delegate_.answer({0xAA, 0xBB});
  auto reply = getReport(5, 3, UHID_FEATURE_REPORT);
  EXPECT_EQ(reply.err, 0);
  EXPECT_EQ(reply.data, (Bytes{3, 0xAA, 0xBB}));
  auto calls = delegate_.calls();
  ASSERT_EQ(calls.size(), 1u);
  EXPECT_EQ(calls[0].id, std::optional<std::uint8_t>(3));
  EXPECT_EQ(calls[0].maxSize, static_cast<std::size_t>(UHID_DATA_MAX - 1));
}

TEST_F(UhidGetReport, DelegateFailingOtherwiseIsRepliedAsEioAndTheReaderGoesOn) {
  device_->activate(delegate_);
  delegate_.throwSomethingElse();
  EXPECT_EQ(getReport(5, 0, UHID_INPUT_REPORT).err, EIO);
  delegate_.answer({1});
  EXPECT_EQ(getReport(6, 0, UHID_INPUT_REPORT).data, Bytes{1});
}

// Set-report requests.

using UhidSetReport = UhidDeviceTest;

TEST_F(UhidSetReport, BeforeActivationTheRequestIsRefusedWithEio) {
  EXPECT_EQ(setReport(3, 0, UHID_OUTPUT_REPORT, {0x02}), EIO);
}

TEST_F(UhidSetReport, OutputReportReachesTheDelegateAndSucceeds) {
  device_->activate(delegate_);
  EXPECT_EQ(setReport(3, 0, UHID_OUTPUT_REPORT, {0x02}), 0);
  auto calls = delegate_.calls();
  ASSERT_EQ(calls.size(), 1u);
  EXPECT_EQ(calls[0].op, DelegateCall::Op::set);
  EXPECT_EQ(calls[0].type, HidReportType::output);
  EXPECT_EQ(calls[0].id, std::nullopt);
  EXPECT_EQ(calls[0].data, Bytes{0x02});
  EXPECT_NE(calls[0].thread, std::this_thread::get_id());
}

TEST_F(UhidSetReport, RefusalsAreRepliedWithTheirErrorCodes) {
  device_->activate(delegate_);
  delegate_.refuse(HidDeviceError::Kind::unsupported);
  EXPECT_EQ(setReport(1, 0, UHID_FEATURE_REPORT, {1, 2}), EOPNOTSUPP);
  delegate_.refuse(HidDeviceError::Kind::messageTooLarge);
  EXPECT_EQ(setReport(2, 0, UHID_OUTPUT_REPORT, {1, 2}), EMSGSIZE);
}

TEST_F(UhidSetReport, NumberedRequestReachesTheDelegateWithoutItsIdByte) {
  device_->activate(delegate_);
  EXPECT_EQ(setReport(1, 4, UHID_FEATURE_REPORT, {4, 0x10, 0x20}), 0);
  auto calls = delegate_.calls();
  ASSERT_EQ(calls.size(), 1u);
  EXPECT_EQ(calls[0].id, std::optional<std::uint8_t>(4));
  EXPECT_EQ(calls[0].type, HidReportType::feature);
  EXPECT_EQ(calls[0].data, (Bytes{0x10, 0x20}));
}

TEST_F(UhidSetReport, UnknownReportTypeIsRefusedWithoutAskingTheDelegate) {
  device_->activate(delegate_);
  EXPECT_EQ(setReport(1, 0, 200, {1}), EINVAL);
  EXPECT_TRUE(delegate_.calls().empty());
}

TEST_F(UhidSetReport, EmptyDataReachesTheDelegate) {
  device_->activate(delegate_);
  EXPECT_EQ(setReport(1, 0, UHID_OUTPUT_REPORT, {}), 0);
  auto calls = delegate_.calls();
  ASSERT_EQ(calls.size(), 1u);
  EXPECT_TRUE(calls[0].data.empty());
}

// Output reports (the LED path of the kernel's input layer).

using UhidOutputReport = UhidDeviceTest;

TEST_F(UhidOutputReport, LedReportReachesTheDelegateAsAnOutputSetReport) {
  device_->activate(delegate_);
  kernel_.sendOutput(Bytes{0x02}, UHID_OUTPUT_REPORT);
  getReport(1, 0, UHID_OUTPUT_REPORT);  // handled after the output, on the same reader
  auto calls = delegate_.calls();
  ASSERT_EQ(calls.size(), 2u);
  EXPECT_EQ(calls[0].op, DelegateCall::Op::set);
  EXPECT_EQ(calls[0].type, HidReportType::output);
  EXPECT_EQ(calls[0].id, std::nullopt);
  EXPECT_EQ(calls[0].data, Bytes{0x02});
}

TEST_F(UhidOutputReport, RefusedOutputGetsNoReplyAndTheReaderGoesOn) {
  device_->activate(delegate_);
  delegate_.refuse(HidDeviceError::Kind::unsupported);
  kernel_.sendOutput(Bytes{0x02, 0x03}, UHID_OUTPUT_REPORT);
  delegate_.answer({0x07});
  // The next record is the reply to this request, not anything about the output.
  auto reply = getReport(9, 0, UHID_INPUT_REPORT);
  EXPECT_EQ(reply.err, 0);
  EXPECT_EQ(reply.data, Bytes{0x07});
}

TEST_F(UhidOutputReport, OutputBeforeActivationIsDropped) {
  kernel_.sendOutput(Bytes{0x02}, UHID_OUTPUT_REPORT);
  getReport(1, 0, UHID_INPUT_REPORT);
  device_->activate(delegate_);
  delegate_.answer({0});
  getReport(2, 0, UHID_INPUT_REPORT);
  auto calls = delegate_.calls();
  ASSERT_EQ(calls.size(), 1u);
  EXPECT_EQ(calls[0].op, DelegateCall::Op::get);
}

TEST_F(UhidOutputReport, LifecycleEventsAndMalformedRecordsAreIgnored) {
  device_->activate(delegate_);
  for (auto type : {UHID_START, UHID_OPEN, UHID_CLOSE, UHID_STOP}) kernel_.sendBare(type);
  kernel_.sendRaw(Bytes{static_cast<std::uint8_t>(UHID_GET_REPORT), 0, 0, 0, 1});
  kernel_.sendRaw(Bytes{1, 2});
  delegate_.answer({5});
  auto reply = getReport(3, 0, UHID_INPUT_REPORT);
  EXPECT_EQ(reply.data, Bytes{5});
  EXPECT_EQ(delegate_.calls().size(), 1u);
}

class UhidNumberedOutputReport : public UhidDeviceTest {
 protected:
  void SetUp() override {
    auto properties = deviceProperties("keyboard");
    // A Report ID item (id 1) at the start of the application collection.
    properties.descriptor.insert(properties.descriptor.begin() + 6, {0x85, 0x01});
    createDevice(properties);
  }
};

TEST_F(UhidNumberedOutputReport, FirstByteIsTheReportId) {
  device_->activate(delegate_);
  kernel_.sendOutput(Bytes{0x01, 0x04}, UHID_OUTPUT_REPORT);
  getReport(1, 0, UHID_INPUT_REPORT);
  auto calls = delegate_.calls();
  ASSERT_EQ(calls.size(), 2u);
  EXPECT_EQ(calls[0].id, std::optional<std::uint8_t>(1));
  EXPECT_EQ(calls[0].data, Bytes{0x04});
}

}  // namespace
}  // namespace virelo::uhid::testing
