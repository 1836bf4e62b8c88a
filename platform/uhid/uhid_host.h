// Entry points of the Linux host for the virtual HID devices, for the code that chooses the
// host at start-up. Nothing here is global: each call builds a fresh object.
#pragma once

#include <memory>
#include <string>

#include "platform/code_signature.h"
#include "platform/virtual_hid.h"

namespace virelo::uhid {

// The kernel's UHID device node.
inline constexpr const char* defaultUhidPath = "/dev/uhid";

// Whether this process can open `path` for reading and writing, that is, create devices.
bool uhidAvailable(const std::string& path = defaultUhidPath);

// The device service that creates every device through `path`.
std::unique_ptr<HidDeviceService> makeUhidHidService(const std::string& path = defaultUhidPath);

// The capability probe that answers for `path`.
std::unique_ptr<CodeSignature> makeUhidCodeSignature(const std::string& path = defaultUhidPath);

}  // namespace virelo::uhid
