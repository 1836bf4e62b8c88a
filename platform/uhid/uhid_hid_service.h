// The virtual HID device service on Linux: every device is a kernel HID device created through
// its own /dev/uhid descriptor (see UhidDevice). The kernel's HID core parses the descriptor
// and exposes the device to every program on the machine (evdev, hidraw), exactly as it would
// a USB device. The product name becomes the kernel's device name, the unique identifier its
// phys and uniq strings; the bus is BUS_VIRTUAL. The kernel has no place for the manufacturer,
// model or serial number, nor for a location, so those properties are not passed on.
//
// The device exists from create() on (the kernel may already send requests, which are refused
// until activation) until the device object is destroyed or the process ends.
//
// Threads: create() runs on the service's main thread; each device then has its reader thread
// (see UhidDevice). The opener is called on the main thread only.
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "platform/virtual_hid.h"

namespace virelo::uhid {

class UhidHidService final : public HidDeviceService {
 public:
  // Opens a fresh descriptor for one device: read and write, close-on-exec. Returns -1 (with
  // errno set) when it cannot.
  using Opener = std::function<int()>;

  // Opens `path` (normally /dev/uhid) once per device.
  explicit UhidHidService(std::string path);
  // Uses `opener` for every device, for instance a stand-in descriptor in tests.
  explicit UhidHidService(Opener opener);

  // Writes UHID_CREATE2 on a new descriptor. Returns nullptr when the descriptor cannot be
  // opened, the descriptor is too long for the kernel, or the kernel refuses the creation.
  std::unique_ptr<HidVirtualDevice> create(const HidDeviceProperties& properties) override;

  // The opener that opens `path`.
  static Opener pathOpener(std::string path);

 private:
  Opener opener_;
};

}  // namespace virelo::uhid
