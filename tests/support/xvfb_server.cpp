#include "tests/support/xvfb_server.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <string>

namespace virelo::test {
namespace {

constexpr int kStartTimeoutMs = 10000;

bool onPath(const char* program) {
  std::istringstream path(std::getenv("PATH") ? std::getenv("PATH") : "/usr/bin:/bin");
  std::string dir;
  while (std::getline(path, dir, ':')) {
    if (::access((std::filesystem::path(dir) / program).c_str(), X_OK) == 0) return true;
  }
  return false;
}

// Forks and runs the program (with $DISPLAY set to `display` when given); the child writes
// nothing to the test's output.
pid_t spawn(const std::vector<std::string>& args,
            const std::optional<std::string>& display = std::nullopt) {
  std::vector<const char*> argv;
  for (const auto& arg : args) argv.push_back(arg.c_str());
  argv.push_back(nullptr);
  pid_t pid = ::fork();
  if (pid != 0) return pid;
  int null = ::open("/dev/null", O_WRONLY);
  ::dup2(null, STDOUT_FILENO);
  ::dup2(null, STDERR_FILENO);
  if (display) ::setenv("DISPLAY", display->c_str(), 1);
  ::execvp(argv[0], const_cast<char* const*>(argv.data()));
  ::_exit(127);
}

// Reads the display number that Xvfb writes, with a newline, once it accepts connections.
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

XvfbServer::XvfbServer(const Options& options) {
  int fds[2];
  if (::pipe(fds) != 0) return;
  std::vector<std::string> args = {options.nestedIn ? "Xephyr" : "Xvfb"};
  if (options.display) args.push_back(":" + std::to_string(*options.display));
  // -noreset: an X server with no client left resets itself, and refuses connections for that
  // moment; a desk always has clients (the window manager), so a test's next connection must not
  // meet that.
  args.insert(args.end(), {"-displayfd", std::to_string(fds[1]), "-nolisten", "tcp", "-noreset"});
  args.insert(args.end(), options.arguments.begin(), options.arguments.end());
  // Xephyr: no grab of the outer keyboard and pointer, so that the outer server's XTEST input
  // reaches it through its window like any other client's.
  if (options.nestedIn) args.insert(args.end(), {"-no-host-grab"});
  pid_ = spawn(args, options.nestedIn);
  ::close(fds[1]);
  std::string number = pid_ > 0 ? readDisplayNumber(fds[0]) : std::string();
  ::close(fds[0]);
  if (!number.empty()) display_ = ":" + number;
}

XvfbServer::~XvfbServer() {
  stop();
}

bool XvfbServer::installed() {
  return onPath("Xvfb");
}

bool XvfbServer::xephyrInstalled() {
  return onPath("Xephyr");
}

int XvfbServer::number() const {
  return display_.empty() ? -1 : std::stoi(display_.substr(1));
}

void XvfbServer::stop() {
  if (pid_ <= 0) return;
  ::kill(pid_, SIGTERM);
  ::waitpid(pid_, nullptr, 0);
  pid_ = -1;
}

bool XvfbServer::setxkbmap(const std::string& layout) const {
  return setxkbmap(std::vector<std::string>{layout});
}

bool XvfbServer::setxkbmap(const std::vector<std::string>& arguments) const {
  std::vector<std::string> args = {"setxkbmap", "-display", display_};
  args.insert(args.end(), arguments.begin(), arguments.end());
  pid_t pid = spawn(args);
  int status = 0;
  return pid > 0 && ::waitpid(pid, &status, 0) == pid && WIFEXITED(status) &&
         WEXITSTATUS(status) == 0;
}

}  // namespace virelo::test
