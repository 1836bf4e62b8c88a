#include "platform/uhid/uhid_host.h"

#include <fcntl.h>
#include <unistd.h>

#include "platform/uhid/uhid_code_signature.h"
#include "platform/uhid/uhid_hid_service.h"

namespace virelo::uhid {

bool uhidAvailable(const std::string& path) {
  int fd = ::open(path.c_str(), O_RDWR | O_CLOEXEC);
  if (fd < 0) return false;
  ::close(fd);
  return true;
}

std::unique_ptr<HidDeviceService> makeUhidHidService(const std::string& path) {
  return std::make_unique<UhidHidService>(path);
}

std::unique_ptr<CodeSignature> makeUhidCodeSignature(const std::string& path) {
  return std::make_unique<UhidCodeSignature>(path);
}

}  // namespace virelo::uhid
