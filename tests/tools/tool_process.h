// Runs the built command-line tool as a child process, as the service user (from a copy of the
// binary in a private directory, since the build tree may not be readable by that user), with its
// standard output and error captured.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <map>
#include <nlohmann/json.hpp>
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

// The session file that a `virelo session` of the environment publishes in its runtime directory,
// once it is there; a JSON null after the timeout.
nlohmann::json publishedSession(const std::map<std::string, std::string>& environment,
                                std::chrono::milliseconds timeout = std::chrono::seconds(10));

// `virelo status --json` in the environment, again until it says the service is ready (exit
// status 0) or the timeout ends; the last run's result.
ToolResult readyStatus(const std::map<std::string, std::string>& environment,
                       std::chrono::milliseconds timeout = std::chrono::seconds(5));

}  // namespace virelo::client
