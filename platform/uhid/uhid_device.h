// One virtual HID device backed by its own /dev/uhid descriptor, on which UHID_CREATE2 has
// already been written. Closing that descriptor makes the kernel destroy the device, so the
// device disappears with this object and also with the process, however it ends.
//
// Input reports go to the kernel as UHID_INPUT2. A reader thread ("vl-uhid") answers the
// kernel's UHID_GET_REPORT and UHID_SET_REPORT requests through the delegate (a delegate
// refusal becomes the reply's error code: EOPNOTSUPP for unsupported, EMSGSIZE for too large)
// and hands UHID_OUTPUT reports (the keyboard LEDs) to the delegate as output set-reports, whose
// refusals are dropped since the kernel expects no answer. Requests that arrive before
// activation are refused with EIO; report number 0 reaches the delegate as "no report ID".
//
// Report numbers: with a non-zero report number the kernel puts that number in front of the
// data of a set-report, and expects it in front of a get-report's answer; this class strips and
// adds it, so the delegate sees reports without their ID byte. For output reports the kernel
// gives no number: they are split by splitOutputReport() with the device's output framing, so
// the LED report reaches the delegate alike from the kernel's input layer (the bare report) and
// from a writer on the hidraw node (report number 0 in front of it).
//
// Threads: the constructor, activate(), dispatchInputReport() and the destructor run on the
// owner's thread (the service's main thread). The reader thread calls the delegate and writes
// the replies. The delegate pointer is the only state they share (atomic); records written by
// both threads go out as single writes, which the kernel takes whole. The destructor stops and
// joins the reader before it closes the descriptor.
#pragma once

#include <atomic>
#include <cstdint>
#include <span>
#include <thread>

#include "platform/uhid/uhid_request.h"
#include "platform/virtual_hid.h"

namespace virelo::uhid {

class UhidDevice final : public HidVirtualDevice {
 public:
  // Takes ownership of `fd` (the /dev/uhid descriptor after UHID_CREATE2) and of `wakeFd` (an
  // eventfd that stops the reader when written to). Starts the reader thread; throws
  // std::system_error when it cannot, closing neither descriptor in that case. `outputFraming`
  // comes from the device's report descriptor.
  UhidDevice(int fd, int wakeFd, OutputFraming outputFraming);
  ~UhidDevice() override;
  UhidDevice(const UhidDevice&) = delete;
  UhidDevice& operator=(const UhidDevice&) = delete;

  void activate(HidVirtualDeviceDelegate& delegate) override;
  // Writes one UHID_INPUT2 record. Throws HidServiceError when the report is too long for the
  // kernel or the kernel refuses the write. The time stamp is not used: the kernel stamps the
  // events itself when it receives the report.
  void dispatchInputReport(std::span<const std::uint8_t> report,
                           std::uint64_t timestampNS) override;

 private:
  void readLoop();
  void handle(const UhidRequest& request);
  void answerGetReport(const UhidRequest& request);
  void answerSetReport(const UhidRequest& request);
  void passOutput(const UhidRequest& request);
  bool send(std::span<const std::uint8_t> record);

  int fd_;
  int wakeFd_;
  OutputFraming outputFraming_;
  std::atomic<HidVirtualDeviceDelegate*> delegate_{nullptr};
  std::thread reader_;
};

}  // namespace virelo::uhid
