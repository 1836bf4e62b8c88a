// The kernel's end of a /dev/uhid descriptor, for tests: a SOCK_SEQPACKET socket pair keeps
// record boundaries as /dev/uhid does, so each write of the device under test arrives as one
// record here, and each record sent from here is one read for the device.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "platform/uhid/uhid_hid_service.h"

namespace virelo::uhid::testing {

class FakeUhidKernel {
 public:
  FakeUhidKernel();
  ~FakeUhidKernel();
  FakeUhidKernel(const FakeUhidKernel&) = delete;
  FakeUhidKernel& operator=(const FakeUhidKernel&) = delete;

  // Hands the device's end to the service, once; later calls fail as a missing node would.
  UhidHidService::Opener opener();
  // The device's end, for tests that break it on purpose.
  int deviceEnd() const { return deviceEnd_; }

  // The next record the device wrote. Fails the test (and returns nullopt) on end of file or
  // when nothing comes within a generous safety limit, so that a broken device cannot hang
  // the suite.
  std::optional<std::vector<std::uint8_t>> receive();
  // True when the device closed its end (end of file), after all its records were read.
  bool closedByDevice();
  void closeKernelEnd();

  // Records as the kernel writes them: a whole struct uhid_event.
  void sendGetReport(std::uint32_t id, std::uint8_t rnum, std::uint8_t rtype);
  void sendSetReport(std::uint32_t id, std::uint8_t rnum, std::uint8_t rtype,
                     std::span<const std::uint8_t> data);
  void sendOutput(std::span<const std::uint8_t> data, std::uint8_t rtype);
  void sendBare(std::uint32_t type);
  void sendRaw(std::span<const std::uint8_t> bytes);

 private:
  int kernelEnd_ = -1;
  int deviceEnd_ = -1;
  bool handedOut_ = false;
};

// Little-endian field readers for checking records.
std::uint16_t u16At(const std::vector<std::uint8_t>& record, std::size_t offset);
std::uint32_t u32At(const std::vector<std::uint8_t>& record, std::size_t offset);

}  // namespace virelo::uhid::testing
