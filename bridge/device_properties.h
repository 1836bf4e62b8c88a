// The properties under which the three virtual devices are published.
#pragma once

#include "platform/virtual_hid.h"

namespace virelo {

HidDeviceProperties keyboardProperties();
HidDeviceProperties mouseProperties();
HidDeviceProperties mediaProperties();

}  // namespace virelo
