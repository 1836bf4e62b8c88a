// The Linux evdev key codes of keyboard usages, as the kernel's HID input driver assigns them.
// XKB key codes are evdev codes plus 8.
#pragma once

#include <optional>

namespace virelo::client {

// The evdev code of a keyboard usage (0x04..0xE7), or nullopt for usages without one.
std::optional<int> evdevCodeOfUsage(int usage);
// The keyboard usage of an evdev code; where two usages share a code (the ISO key beside Return
// and the backslash key), the lower usage.
std::optional<int> usageOfEvdevCode(int code);

}  // namespace virelo::client
