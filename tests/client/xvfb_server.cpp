#include "tests/client/xvfb_server.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>

namespace virelo::client {
namespace {

constexpr int kStartTimeoutMs = 10000;

// Forks and runs the program; the child writes nothing to the test's output.
pid_t spawn(const char* const argv[]) {
  pid_t pid = ::fork();
  if (pid != 0) return pid;
  int null = ::open("/dev/null", O_WRONLY);
  ::dup2(null, STDOUT_FILENO);
  ::dup2(null, STDERR_FILENO);
  ::execvp(argv[0], const_cast<char* const*>(argv));
  ::_exit(127);
}

}  // namespace

XvfbServer::XvfbServer() {
  int fds[2];
  if (::pipe(fds) != 0) return;
  const std::string fd = std::to_string(fds[1]);
  const char* const argv[] = {"Xvfb", "-displayfd", fd.c_str(), "-nolisten", "tcp", nullptr};
  pid_ = spawn(argv);
  ::close(fds[1]);
  // Xvfb writes the display number and a newline once it accepts connections.
  std::string number;
  pollfd readable{fds[0], POLLIN, 0};
  char c = 0;
  while (pid_ > 0 && ::poll(&readable, 1, kStartTimeoutMs) == 1 && ::read(fds[0], &c, 1) == 1 &&
         c != '\n') {
    number += c;
  }
  ::close(fds[0]);
  if (c == '\n' && !number.empty()) display_ = ":" + number;
}

XvfbServer::~XvfbServer() {
  if (pid_ <= 0) return;
  ::kill(pid_, SIGTERM);
  ::waitpid(pid_, nullptr, 0);
}

bool XvfbServer::setxkbmap(const std::string& layout) const {
  const char* const argv[] = {"setxkbmap", "-display", display_.c_str(), layout.c_str(), nullptr};
  pid_t pid = spawn(argv);
  int status = 0;
  return pid > 0 && ::waitpid(pid, &status, 0) == pid && WIFEXITED(status) &&
         WEXITSTATUS(status) == 0;
}

}  // namespace virelo::client
