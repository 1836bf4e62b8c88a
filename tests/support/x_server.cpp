#include "tests/support/x_server.h"

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <filesystem>
#include <vector>

namespace virelo::test {
namespace {

constexpr int kStartTimeoutMs = 10000;

// Xvfb writes the display number and a newline to the -displayfd descriptor once it accepts
// connections.
std::string readDisplayNumber(int fd) {
  std::string number;
  pollfd readable{fd, POLLIN, 0};
  char c = 0;
  while (::poll(&readable, 1, kStartTimeoutMs) == 1 && ::read(fd, &c, 1) == 1 && c != '\n') {
    number += c;
  }
  return c == '\n' ? number : std::string();
}

}  // namespace

XServer::XServer(std::optional<int> number) {
  int fds[2];
  if (::pipe2(fds, O_CLOEXEC) != 0) return;
  ChildOptions options;
  options.argv = {"Xvfb"};
  if (number) options.argv.push_back(":" + std::to_string(*number));
  options.argv.insert(options.argv.end(), {"-displayfd", std::to_string(fds[1]), "-ac", "-nolisten",
                                           "tcp", "-noreset", "-screen", "0", "1024x768x24"});
  options.keepDescriptor = fds[1];
  if (programExists("Xvfb")) process_ = std::make_unique<ChildProcess>(options);
  ::close(fds[1]);
  const std::string shown = process_ ? readDisplayNumber(fds[0]) : std::string();
  ::close(fds[0]);
  if (!shown.empty()) display_ = ":" + shown;
}

XServer::~XServer() = default;

int XServer::freeDisplayNumber() {
  namespace fs = std::filesystem;
  for (int n = 90;; ++n) {
    const std::string s = std::to_string(n);
    if (!fs::exists("/tmp/.X" + s + "-lock") && !fs::exists("/tmp/.X11-unix/X" + s)) return n;
  }
}

}  // namespace virelo::test
