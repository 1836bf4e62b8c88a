// The "corehid" sink without its devices: an output that was never started fails every dispatch.
#include "bridge/hid_device_sink.h"

#include <gtest/gtest.h>

#include "bridge_test_util.h"

namespace virelo::testing {
namespace {

TEST(HidDeviceSinkMissingDevice, KeyboardFailsWithDispatchFailedBeforeTouchingTheDelegate) {
  FakeHidDeviceService devices;
  HidDeviceSink sink(&devices);
  KeySet keys;
  keys.set(4);
  EXPECT_EQ(failureOf([&] { sink.keyboard(makeKeyboardReport(0, keys), false, 0); }),
            Failure::dispatchFailed);
  EXPECT_EQ(sink.keyboardDelegate().input(), Bytes(33, 0));
}

TEST(HidDeviceSinkMissingDevice, MouseFailsWithDispatchFailed) {
  FakeHidDeviceService devices;
  HidDeviceSink sink(&devices);
  EXPECT_EQ(failureOf([&] { sink.mouse(makeMouseReport(0, 1, 0, 0), 0, false); }),
            Failure::dispatchFailed);
}

}  // namespace
}  // namespace virelo::testing
