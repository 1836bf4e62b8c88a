#include "platform/uhid/uhid_hid_service.h"

#include <errno.h>
#include <fcntl.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <system_error>
#include <vector>

#include "platform/uhid/uhid_device.h"
#include "platform/uhid/uhid_records.h"

namespace virelo::uhid {
namespace {

bool writeWhole(int fd, const std::vector<std::uint8_t>& record) {
  for (;;) {
    ssize_t n = ::write(fd, record.data(), record.size());
    if (n == static_cast<ssize_t>(record.size())) return true;
    if (n < 0 && errno == EINTR) continue;
    return false;
  }
}

}  // namespace

UhidHidService::UhidHidService(std::string path) : opener_(pathOpener(std::move(path))) {}

UhidHidService::UhidHidService(Opener opener) : opener_(std::move(opener)) {}

UhidHidService::Opener UhidHidService::pathOpener(std::string path) {
  return [path = std::move(path)] { return ::open(path.c_str(), O_RDWR | O_CLOEXEC); };
}

std::unique_ptr<HidVirtualDevice> UhidHidService::create(const HidDeviceProperties& properties) {
  std::vector<std::uint8_t> record;
  try {
    record = encodeCreate2(properties);
  } catch (const HidServiceError&) {
    return nullptr;
  }
  int fd = opener_();
  if (fd < 0) return nullptr;
  if (!writeWhole(fd, record)) {
    ::close(fd);
    return nullptr;
  }
  int wakeFd = ::eventfd(0, EFD_CLOEXEC);
  if (wakeFd < 0) {
    ::close(fd);
    return nullptr;
  }
  try {
    return std::make_unique<UhidDevice>(fd, wakeFd, outputFraming(properties.descriptor));
  } catch (const std::system_error&) {
    ::close(fd);
    ::close(wakeFd);
    return nullptr;
  }
}

}  // namespace virelo::uhid
