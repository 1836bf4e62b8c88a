// A helper program that a test starts and stops: the X server, the GTK application. It runs as
// root when the test may act as root (the test process itself acts as the service user) unless
// asked to run as the service user, reads
// /dev/null, and writes its standard output to a pipe the test reads (or to /dev/null) and its
// standard error to /dev/null.
//
// Threads: one test thread uses an object.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "tests/support/line_reader.h"

namespace virelo::test {

using namespace std::chrono_literals;

struct ChildOptions {
  std::vector<std::string> argv;                   // argv[0] is looked up in PATH
  std::map<std::string, std::string> environment;  // added to the test's environment
  bool readOutput = false;                         // whether readLine() is used
  int keepDescriptor = -1;     // a descriptor the child inherits under the same number
  bool asServiceUser = false;  // run as the service user, not as root (a Wayland compositor)
};

class ChildProcess {
 public:
  // Throws std::runtime_error when fork or pipe fails; an exec failure shows as an early exit.
  explicit ChildProcess(const ChildOptions& options);
  ~ChildProcess();  // SIGTERM, then SIGKILL after 2 s, and waits
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  // The next line of standard output, or nullopt on timeout or at its end.
  std::optional<std::string> readLine(std::chrono::milliseconds timeout);
  bool running();
  // Waits for the end and returns the exit status (128 + signal number when killed).
  int wait();
  pid_t pid() const { return pid_; }

 private:
  pid_t pid_ = -1;
  int outFd_ = -1;
  LineReader reader_;
  std::optional<int> status_;
};

// Whether the program is an executable file in PATH (or at the given absolute path).
bool programExists(const std::string& name);

}  // namespace virelo::test
