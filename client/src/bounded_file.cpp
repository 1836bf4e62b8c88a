#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "virelo/client/session.h"

namespace virelo::client {
namespace {

[[noreturn]] void unreadable() {
  throw UnreadableFile(std::string("cannot be read: ") + std::strerror(errno));
}

}  // namespace

std::string readBoundedFile(int fd, std::size_t limit) {
  struct stat st {};
  if (::fstat(fd, &st) != 0) unreadable();
  if (!S_ISREG(st.st_mode)) throw UnreadableFile("not a regular file");
  std::string text;
  char chunk[4096];
  // One byte past the limit tells a file that is too large from one that fits exactly.
  while (text.size() <= limit) {
    const ssize_t n = ::read(fd, chunk, sizeof chunk);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) unreadable();
    if (n == 0) return text;
    text.append(chunk, static_cast<std::size_t>(n));
  }
  throw UnreadableFile("larger than " + std::to_string(limit) + " bytes");
}

std::string readBoundedFile(const std::string& path, std::size_t limit) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
  if (fd < 0) unreadable();
  try {
    std::string text = readBoundedFile(fd, limit);
    ::close(fd);
    return text;
  } catch (...) {
    ::close(fd);
    throw;
  }
}

}  // namespace virelo::client
