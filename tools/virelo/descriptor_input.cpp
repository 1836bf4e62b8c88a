#include "tools/virelo/descriptor_input.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <system_error>

namespace virelo::tools {

DescriptorInput::DescriptorInput(int fd) : fd_(fd), owned_(false) {}

DescriptorInput::DescriptorInput(const std::string& path)
    : fd_(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY)), owned_(true) {
  if (fd_ < 0) throw std::system_error(errno, std::generic_category(), path);
}

DescriptorInput::~DescriptorInput() {
  if (owned_) ::close(fd_);
}

DescriptorInput::int_type DescriptorInput::underflow() {
  if (gptr() < egptr()) return traits_type::to_int_type(*gptr());
  for (;;) {
    const ssize_t got = ::read(fd_, buffer_.data(), buffer_.size());
    if (got == 0) return traits_type::eof();
    if (got > 0) {
      setg(buffer_.data(), buffer_.data(), buffer_.data() + got);
      return traits_type::to_int_type(*gptr());
    }
    if (errno != EINTR) throw std::system_error(errno, std::generic_category());
  }
}

}  // namespace virelo::tools
