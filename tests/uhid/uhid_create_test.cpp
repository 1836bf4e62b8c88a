// Device creation: the UHID_CREATE2 record the kernel receives, and the refusals.
#include <errno.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <linux/uhid.h>
#include <unistd.h>

#include <string>

#include "fake_uhid_kernel.h"
#include "platform/uhid/uhid_hid_service.h"
#include "test_descriptors.h"

namespace virelo::uhid::testing {
namespace {

// Offsets of struct uhid_event as the kernel lays it out.
constexpr std::size_t nameAt = 4, physAt = 132, uniqAt = 196, rdSizeAt = 260, busAt = 262,
                      vendorAt = 264, productAt = 268, versionAt = 272, countryAt = 276,
                      rdDataAt = 280;

std::string fieldString(const std::vector<std::uint8_t>& record, std::size_t offset,
                        std::size_t capacity) {
  std::string text;
  for (std::size_t i = offset; i < offset + capacity && record.at(i) != 0; ++i) {
    text.push_back(static_cast<char>(record[i]));
  }
  return text;
}

TEST(UhidCreate, KeyboardRecordCarriesAllPropertiesTheKernelKnows) {
  FakeUhidKernel kernel;
  UhidHidService service(kernel.opener());
  auto device = service.create(deviceProperties("keyboard"));
  ASSERT_NE(device, nullptr);

  auto record = kernel.receive();
  ASSERT_TRUE(record);
  ASSERT_EQ(record->size(), rdDataAt + 60);
  EXPECT_EQ(u32At(*record, 0), static_cast<std::uint32_t>(UHID_CREATE2));
  EXPECT_EQ(fieldString(*record, nameAt, 128), "Virelo Keyboard");
  EXPECT_EQ(fieldString(*record, physAt, 64), "app.virelo.corehid.keyboard");
  EXPECT_EQ(fieldString(*record, uniqAt, 64), "app.virelo.corehid.keyboard");
  EXPECT_EQ(u16At(*record, rdSizeAt), 60);
  EXPECT_EQ(u16At(*record, busAt), BUS_VIRTUAL);
  EXPECT_EQ(u32At(*record, vendorAt), 0u);
  EXPECT_EQ(u32At(*record, productAt), 1u);
  EXPECT_EQ(u32At(*record, versionAt), 0u);
  EXPECT_EQ(u32At(*record, countryAt), 33u);
  std::vector<std::uint8_t> descriptor(record->begin() + rdDataAt, record->end());
  EXPECT_EQ(descriptor,
            std::vector<std::uint8_t>(keyboardDescriptor.begin(), keyboardDescriptor.end()));
  // Every byte of the fixed text fields after the text is zero.
  for (std::size_t i = nameAt + 15; i < physAt; ++i) ASSERT_EQ(record->at(i), 0) << i;
}

TEST(UhidCreate, DevicesWithoutLocalizationHaveNoCountryCode) {
  for (auto [which, product, size] : {std::tuple{"mouse", 2u, 52u}, {"media", 3u, 35u}}) {
    FakeUhidKernel kernel;
    UhidHidService service(kernel.opener());
    auto device = service.create(deviceProperties(which));
    ASSERT_NE(device, nullptr);
    auto record = kernel.receive();
    ASSERT_TRUE(record);
    EXPECT_EQ(record->size(), rdDataAt + size) << which;
    EXPECT_EQ(u32At(*record, productAt), product) << which;
    EXPECT_EQ(u16At(*record, rdSizeAt), size) << which;
    EXPECT_EQ(u32At(*record, countryAt), 0u) << which;
  }
}

TEST(UhidCreate, OverlongNamesAreCutAndStayTerminated) {
  FakeUhidKernel kernel;
  UhidHidService service(kernel.opener());
  auto properties = deviceProperties("mouse");
  properties.product = std::string(200, 'p');
  properties.uniqueID = std::string(100, 'u');
  auto device = service.create(properties);
  ASSERT_NE(device, nullptr);
  auto record = kernel.receive();
  ASSERT_TRUE(record);
  EXPECT_EQ(fieldString(*record, nameAt, 128), std::string(127, 'p'));
  EXPECT_EQ(record->at(nameAt + 127), 0);
  EXPECT_EQ(fieldString(*record, physAt, 64), std::string(63, 'u'));
  EXPECT_EQ(record->at(physAt + 63), 0);
  EXPECT_EQ(fieldString(*record, uniqAt, 64), std::string(63, 'u'));
  EXPECT_EQ(record->at(uniqAt + 63), 0);
}

TEST(UhidCreate, VersionNumberAndVendorArePassedOn) {
  FakeUhidKernel kernel;
  UhidHidService service(kernel.opener());
  auto properties = deviceProperties("media");
  properties.vendorID = 0x1234;
  properties.versionNumber = 0x0102;
  auto device = service.create(properties);
  ASSERT_NE(device, nullptr);
  auto record = kernel.receive();
  ASSERT_TRUE(record);
  EXPECT_EQ(u32At(*record, vendorAt), 0x1234u);
  EXPECT_EQ(u32At(*record, versionAt), 0x0102u);
}

TEST(UhidCreate, DescriptorOfTheKernelsMaximumSizeIsAccepted) {
  FakeUhidKernel kernel;
  UhidHidService service(kernel.opener());
  auto properties = deviceProperties("media");
  properties.descriptor.assign(HID_MAX_DESCRIPTOR_SIZE, 0xC0);
  auto device = service.create(properties);
  ASSERT_NE(device, nullptr);
  auto record = kernel.receive();
  ASSERT_TRUE(record);
  EXPECT_EQ(record->size(), rdDataAt + HID_MAX_DESCRIPTOR_SIZE);
  EXPECT_EQ(u16At(*record, rdSizeAt), HID_MAX_DESCRIPTOR_SIZE);
}

TEST(UhidCreateRefusal, NodeThatCannotBeOpenedRefusesTheDevice) {
  UhidHidService service([] {
    errno = EACCES;
    return -1;
  });
  EXPECT_EQ(service.create(deviceProperties("keyboard")), nullptr);
}

TEST(UhidCreateRefusal, MissingNodePathRefusesTheDevice) {
  UhidHidService service(std::string("/nonexistent/virelo-uhid"));
  EXPECT_EQ(service.create(deviceProperties("keyboard")), nullptr);
}

TEST(UhidCreateRefusal, DescriptorLongerThanTheKernelAcceptsIsRefusedWithoutOpening) {
  int opened = 0;
  UhidHidService service([&opened] {
    ++opened;
    return -1;
  });
  auto properties = deviceProperties("keyboard");
  properties.descriptor.assign(HID_MAX_DESCRIPTOR_SIZE + 1, 0);
  EXPECT_EQ(service.create(properties), nullptr);
  EXPECT_EQ(opened, 0);
}

TEST(UhidCreateRefusal, RefusedCreateRecordClosesTheDescriptor) {
  int fds[2];
  ASSERT_EQ(::pipe2(fds, O_CLOEXEC), 0);
  // The read end of a pipe takes no writes, as the kernel takes no invalid device.
  UhidHidService service([fds] { return fds[0]; });
  EXPECT_EQ(service.create(deviceProperties("keyboard")), nullptr);
  EXPECT_EQ(::fcntl(fds[0], F_GETFD), -1);
  EXPECT_EQ(errno, EBADF);
  ::close(fds[1]);
}

TEST(UhidLifecycle, DestroyingTheDeviceClosesItsDescriptor) {
  FakeUhidKernel kernel;
  UhidHidService service(kernel.opener());
  auto device = service.create(deviceProperties("keyboard"));
  ASSERT_NE(device, nullptr);
  ASSERT_TRUE(kernel.receive());
  device.reset();
  EXPECT_TRUE(kernel.closedByDevice());
}

TEST(UhidLifecycle, DeviceOutlivingTheKernelEndIsDestroyedCleanly) {
  FakeUhidKernel kernel;
  UhidHidService service(kernel.opener());
  auto device = service.create(deviceProperties("keyboard"));
  ASSERT_NE(device, nullptr);
  ASSERT_TRUE(kernel.receive());
  kernel.closeKernelEnd();
  device.reset();
}

TEST(UhidLifecycle, EachDeviceGetsItsOwnDescriptor) {
  FakeUhidKernel keyboardKernel, mouseKernel;
  int calls = 0;
  UhidHidService service(
      [&] { return calls++ == 0 ? keyboardKernel.opener()() : mouseKernel.opener()(); });
  auto keyboard = service.create(deviceProperties("keyboard"));
  auto mouse = service.create(deviceProperties("mouse"));
  ASSERT_NE(keyboard, nullptr);
  ASSERT_NE(mouse, nullptr);
  auto first = keyboardKernel.receive();
  auto second = mouseKernel.receive();
  ASSERT_TRUE(first && second);
  EXPECT_EQ(u32At(*first, productAt), 1u);
  EXPECT_EQ(u32At(*second, productAt), 2u);
}

}  // namespace
}  // namespace virelo::uhid::testing
