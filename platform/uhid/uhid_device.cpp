#include "platform/uhid/uhid_device.h"

#include <errno.h>
#include <linux/uhid.h>
#include <poll.h>
#include <pthread.h>
#include <unistd.h>

#include <cstring>
#include <string>
#include <vector>

#include "platform/uhid/uhid_records.h"

namespace virelo::uhid {
namespace {

std::optional<std::uint8_t> reportID(std::uint8_t number) {
  if (number == 0) return std::nullopt;
  return number;
}

std::uint16_t refusalCode(const HidDeviceError& e) {
  return e.kind() == HidDeviceError::Kind::messageTooLarge ? EMSGSIZE : EOPNOTSUPP;
}

}  // namespace

UhidDevice::UhidDevice(int fd, int wakeFd, OutputFraming outputFraming)
    : fd_(fd), wakeFd_(wakeFd), outputFraming_(outputFraming) {
  reader_ = std::thread([this] { readLoop(); });
  pthread_setname_np(reader_.native_handle(), "vl-uhid");
}

UhidDevice::~UhidDevice() {
  std::uint64_t one = 1;
  while (::write(wakeFd_, &one, sizeof one) < 0 && errno == EINTR) {
  }
  reader_.join();
  ::close(fd_);
  ::close(wakeFd_);
}

void UhidDevice::activate(HidVirtualDeviceDelegate& delegate) {
  delegate_.store(&delegate, std::memory_order_release);
}

void UhidDevice::dispatchInputReport(std::span<const std::uint8_t> report, std::uint64_t) {
  auto record = encodeInput2(report);
  if (!send(record)) {
    throw HidServiceError(std::string("the kernel refused the input report: ") +
                          std::strerror(errno));
  }
}

bool UhidDevice::send(std::span<const std::uint8_t> record) {
  for (;;) {
    ssize_t n = ::write(fd_, record.data(), record.size());
    if (n == static_cast<ssize_t>(record.size())) return true;
    if (n < 0 && errno == EINTR) continue;
    if (n >= 0) errno = EIO;
    return false;
  }
}

void UhidDevice::readLoop() {
  std::vector<std::uint8_t> buffer(sizeof(uhid_event));
  for (;;) {
    pollfd fds[2] = {{fd_, POLLIN, 0}, {wakeFd_, POLLIN, 0}};
    int ready = ::poll(fds, 2, -1);
    if (ready < 0) {
      if (errno == EINTR) continue;
      return;
    }
    if (fds[1].revents != 0) return;
    if ((fds[0].revents & POLLIN) == 0) {
      // Hang-up or error without data: the other end is gone, nothing more will come.
      if (fds[0].revents & (POLLHUP | POLLERR | POLLNVAL)) return;
      continue;
    }
    ssize_t n = ::read(fd_, buffer.data(), buffer.size());
    if (n < 0) {
      if (errno == EINTR || errno == EAGAIN) continue;
      return;
    }
    if (n == 0) return;
    handle(parseUhidRequest(
        std::span<const std::uint8_t>(buffer.data(), static_cast<std::size_t>(n))));
  }
}

void UhidDevice::handle(const UhidRequest& request) {
  switch (request.kind) {
    case UhidRequest::Kind::getReport:
      answerGetReport(request);
      return;
    case UhidRequest::Kind::setReport:
      answerSetReport(request);
      return;
    case UhidRequest::Kind::output:
      passOutput(request);
      return;
    case UhidRequest::Kind::other:
    case UhidRequest::Kind::malformed:
      return;
  }
}

void UhidDevice::answerGetReport(const UhidRequest& request) {
  auto* delegate = delegate_.load(std::memory_order_acquire);
  std::uint16_t err = 0;
  std::vector<std::uint8_t> reply;
  if (!request.type) {
    err = EINVAL;
  } else if (delegate == nullptr) {
    err = EIO;
  } else {
    std::size_t prefix = request.reportNumber != 0 ? 1 : 0;
    try {
      auto data = delegate->getReport(*request.type, reportID(request.reportNumber),
                                      UHID_DATA_MAX - prefix);
      if (data.size() + prefix > UHID_DATA_MAX) {
        err = EMSGSIZE;
      } else {
        if (prefix) reply.push_back(request.reportNumber);
        reply.insert(reply.end(), data.begin(), data.end());
      }
    } catch (const HidDeviceError& e) {
      err = refusalCode(e);
    } catch (...) {
      err = EIO;
    }
  }
  if (err != 0) reply.clear();
  // A reply the kernel does not take leaves its request to time out; there is nobody to tell.
  send(encodeGetReportReply(request.id, err, reply));
}

void UhidDevice::answerSetReport(const UhidRequest& request) {
  auto* delegate = delegate_.load(std::memory_order_acquire);
  std::uint16_t err = 0;
  if (!request.type) {
    err = EINVAL;
  } else if (delegate == nullptr) {
    err = EIO;
  } else {
    std::span<const std::uint8_t> data(request.data);
    if (request.reportNumber != 0 && !data.empty() && data[0] == request.reportNumber) {
      data = data.subspan(1);
    }
    try {
      delegate->setReport(*request.type, reportID(request.reportNumber), data);
    } catch (const HidDeviceError& e) {
      err = refusalCode(e);
    } catch (...) {
      err = EIO;
    }
  }
  send(encodeSetReportReply(request.id, err));
}

void UhidDevice::passOutput(const UhidRequest& request) {
  auto* delegate = delegate_.load(std::memory_order_acquire);
  if (delegate == nullptr || !request.type) return;
  auto report = splitOutputReport(request.data, outputFraming_);
  try {
    delegate->setReport(*request.type, report.id, report.data);
  } catch (...) {
    // The kernel expects no answer to an output report, so a refusal ends here.
  }
}

}  // namespace virelo::uhid
