// Runs the built command-line tool as a child process, as the service user (from a copy of the
// binary in a private directory, since the build tree may not be readable by that user), with its
// standard output and error captured.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "tests/support/private_dir.h"

namespace virelo::client {

class ToolProcess {
 public:
  ToolProcess(const std::vector<std::string>& args,
              const std::map<std::string, std::string>& environment);
  ~ToolProcess();  // kills the tool if it is still running
  ToolProcess(const ToolProcess&) = delete;
  ToolProcess& operator=(const ToolProcess&) = delete;

  void signal(int sig);
  // The exit status (128 + signal number when killed), or nullopt on timeout.
  std::optional<int> waitExit(std::chrono::milliseconds timeout);
  // Everything written so far.
  std::string output();
  std::string errors();

 private:
  static void drain(int fd, std::string& into);
  // The steps of the constructor: copies of the tool and the service in the private directory
  // (returns the tool's path), and starting the tool as the service's user.
  std::string installBinaries();
  void spawn(std::vector<std::string>& args, std::vector<std::string>& env);

  test::PrivateDir dir_;
  pid_t pid_ = -1;
  int outFd_ = -1;
  int errFd_ = -1;
  std::string out_;
  std::string err_;
  std::optional<int> status_;
};

struct ToolResult {
  int status = -1;
  std::string output;
  std::string errors;
};

// Runs the tool to its end (killing it after the timeout).
ToolResult runTool(const std::vector<std::string>& args,
                   const std::map<std::string, std::string>& environment,
                   std::chrono::milliseconds timeout = std::chrono::seconds(10));

}  // namespace virelo::client
