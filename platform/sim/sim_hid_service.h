// Virtual HID devices of the simulated host.
//
// World keys: "refuseDevices" (a list of "keyboard", "mouse", "media" whose creation is refused),
// "dispatchDelayMs" (how long each dispatch blocks, default 0), "failDispatch" (a list of devices
// whose dispatches the host rejects, default none). The last two can be changed while running
// with {"request":"set", ...}.
// Trace: hid_create (with the device properties), hid_refused, hid_activate, hid_input (with the
// report in lower-case hex), hid_dispatch_failed, hid_destroy (the device was removed; whatever it
// held is released with it).
// Control: get_report and set_report reach the device's delegate on the control thread, as the
// real platform's requests arrive on threads of its own.
//
// Threads: create() and the devices' activate()/dispatchInputReport() on the main thread; the
// device registry is shared with the control thread under an internal mutex, which is held while
// a request is handed to a delegate.
#pragma once

#include <atomic>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>

#include "platform/sim/sim_host.h"
#include "platform/virtual_hid.h"

namespace virelo::sim {

class SimHidService final : public HidDeviceService {
 public:
  explicit SimHidService(SimHost& host);
  ~SimHidService() override;
  std::unique_ptr<HidVirtualDevice> create(const HidDeviceProperties& properties) override;

  // The short name the host knows a device by: "keyboard", "mouse", "media", from the end of
  // its unique identifier (the product name when the identifier has no known ending).
  static std::string deviceName(const HidDeviceProperties& properties);

 private:
  class Device;
  struct State;
  SimHost& host_;
  std::shared_ptr<State> state_;
};

}  // namespace virelo::sim
