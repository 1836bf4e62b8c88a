#include "fake_uhid_kernel.h"

#include <gtest/gtest.h>
#include <linux/uhid.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstring>

namespace virelo::uhid::testing {
namespace {

constexpr int safetyLimitMs = 20000;

}  // namespace

FakeUhidKernel::FakeUhidKernel() {
  int fds[2];
  if (::socketpair(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0, fds) != 0) {
    ADD_FAILURE() << "socketpair: " << std::strerror(errno);
    return;
  }
  kernelEnd_ = fds[0];
  deviceEnd_ = fds[1];
}

FakeUhidKernel::~FakeUhidKernel() {
  closeKernelEnd();
  if (!handedOut_ && deviceEnd_ >= 0) ::close(deviceEnd_);
}

void FakeUhidKernel::closeKernelEnd() {
  if (kernelEnd_ >= 0) ::close(kernelEnd_);
  kernelEnd_ = -1;
}

UhidHidService::Opener FakeUhidKernel::opener() {
  return [this] {
    if (handedOut_) {
      errno = ENOENT;
      return -1;
    }
    handedOut_ = true;
    return deviceEnd_;
  };
}

std::optional<std::vector<std::uint8_t>> FakeUhidKernel::receive() {
  pollfd p{kernelEnd_, POLLIN, 0};
  if (::poll(&p, 1, safetyLimitMs) != 1) {
    ADD_FAILURE() << "the device wrote nothing";
    return std::nullopt;
  }
  std::vector<std::uint8_t> record(sizeof(uhid_event) + 64);
  ssize_t n = ::recv(kernelEnd_, record.data(), record.size(), 0);
  if (n <= 0) {
    ADD_FAILURE() << "the device closed its end";
    return std::nullopt;
  }
  record.resize(static_cast<std::size_t>(n));
  return record;
}

bool FakeUhidKernel::closedByDevice() {
  pollfd p{kernelEnd_, POLLIN, 0};
  if (::poll(&p, 1, safetyLimitMs) != 1) return false;
  char byte;
  return ::recv(kernelEnd_, &byte, 1, 0) == 0;
}

void FakeUhidKernel::sendRaw(std::span<const std::uint8_t> bytes) {
  ASSERT_EQ(::send(kernelEnd_, bytes.data(), bytes.size(), MSG_NOSIGNAL),
            static_cast<ssize_t>(bytes.size()));
}

void FakeUhidKernel::sendBare(std::uint32_t type) {
  uhid_event event{};
  event.type = type;
  sendRaw({reinterpret_cast<const std::uint8_t*>(&event), sizeof event});
}

void FakeUhidKernel::sendGetReport(std::uint32_t id, std::uint8_t rnum, std::uint8_t rtype) {
  uhid_event event{};
  event.type = UHID_GET_REPORT;
  event.u.get_report.id = id;
  event.u.get_report.rnum = rnum;
  event.u.get_report.rtype = rtype;
  sendRaw({reinterpret_cast<const std::uint8_t*>(&event), sizeof event});
}

void FakeUhidKernel::sendSetReport(std::uint32_t id, std::uint8_t rnum, std::uint8_t rtype,
                                   std::span<const std::uint8_t> data) {
  uhid_event event{};
  event.type = UHID_SET_REPORT;
  event.u.set_report.id = id;
  event.u.set_report.rnum = rnum;
  event.u.set_report.rtype = rtype;
  event.u.set_report.size = static_cast<std::uint16_t>(data.size());
  if (!data.empty()) std::memcpy(event.u.set_report.data, data.data(), data.size());
  sendRaw({reinterpret_cast<const std::uint8_t*>(&event), sizeof event});
}

void FakeUhidKernel::sendOutput(std::span<const std::uint8_t> data, std::uint8_t rtype) {
  uhid_event event{};
  event.type = UHID_OUTPUT;
  event.u.output.size = static_cast<std::uint16_t>(data.size());
  event.u.output.rtype = rtype;
  if (!data.empty()) std::memcpy(event.u.output.data, data.data(), data.size());
  sendRaw({reinterpret_cast<const std::uint8_t*>(&event), sizeof event});
}

std::uint16_t u16At(const std::vector<std::uint8_t>& record, std::size_t offset) {
  return static_cast<std::uint16_t>(record.at(offset) | record.at(offset + 1) << 8);
}

std::uint32_t u32At(const std::vector<std::uint8_t>& record, std::size_t offset) {
  return static_cast<std::uint32_t>(u16At(record, offset)) |
         static_cast<std::uint32_t>(u16At(record, offset + 2)) << 16;
}

}  // namespace virelo::uhid::testing
