// Starts the real service binary the way its parent application does: a private socket
// directory, a token in the environment, a pipe on standard input kept open for the service's
// life, standard output read line by line. The service runs as the service user (or as root when
// asked, to test the refusal) from a copy of the binary inside the private directory.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <map>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <vector>

#include "tests/support/line_reader.h"
#include "tests/support/private_dir.h"

namespace virelo::test {

using namespace std::chrono_literals;

struct ServiceOptions {
  std::string backend = "corehid";
  // Another program to copy and start the same way instead of the service (benchmarks use it for
  // their baseline server). Empty: the service.
  std::string program;
  nlohmann::json world = nlohmann::json::object();
  // Replaces the whole argument vector after the program name when set.
  std::optional<std::vector<std::string>> arguments;
  // Replaces the socket path when set (relative names are inside the private directory).
  std::optional<std::string> socketPath;
  // nullopt: a fresh valid token. An empty optional<optional>: unset.
  std::optional<std::optional<std::string>> token;
  bool asRoot = false;
  enum class Stdin { pipe, devNull } stdinMode = Stdin::pipe;
  bool trace = true;
  bool control = true;
  // The service's descriptor limit (RLIMIT_NOFILE) when set.
  std::optional<unsigned> descriptorLimit;
  // Further variables for the service's environment.
  std::map<std::string, std::string> environment;
  // Starts `program` where it is instead of a copy of it (a compositor that admits programs by
  // their executable's path has been told that one).
  bool inPlace = false;
};

class ServiceProcess {
 public:
  explicit ServiceProcess(ServiceOptions options = {});
  ~ServiceProcess();  // kills the service if it is still running
  ServiceProcess(const ServiceProcess&) = delete;
  ServiceProcess& operator=(const ServiceProcess&) = delete;

  // The next line of standard output without its newline, or nullopt on timeout or end.
  std::optional<std::string> readLine(std::chrono::milliseconds timeout = 5s);
  std::optional<nlohmann::json> readEvent(std::chrono::milliseconds timeout = 5s);
  // Everything still written to standard output up to its end (waits for the end).
  std::string readRest(std::chrono::milliseconds timeout = 5s);
  // Reads the first line and checks that it is the ready event.
  void awaitReady();
  // Reads lines until the ready event, for a host whose compositor may not take events yet when
  // the service starts: the service then says it is not ready and follows with the ready event
  // once it can post. Throws when none comes within the timeout.
  void awaitEventualReady(std::chrono::milliseconds timeout = 15s);

  // The exit status, or nullopt when the process has not ended within the timeout.
  std::optional<int> waitExit(std::chrono::milliseconds timeout = 5s);
  bool running();
  void signal(int sig);
  void closeStdin();
  void writeStdin(const std::string& bytes);
  // Whatever the service wrote to standard error (it never should).
  std::string standardError();

  pid_t pid() const { return pid_; }
  // The moment just before the process was forked.
  std::chrono::steady_clock::time_point startedAt() const { return startedAt_; }
  const std::string& token() const { return token_; }
  const std::string& socketPath() const { return socketPath_; }
  std::string tracePath() const { return dir_ / "trace"; }
  std::string controlPath() const { return dir_ / "control"; }
  const PrivateDir& dir() const { return dir_; }
  // Open descriptors of the running service, counted in /proc.
  int openDescriptors() const;

 private:
  // The steps of the constructor: a copy of the service binary the service's user may run, the
  // simulated host's variables (world, trace, control) added to the options' environment, and
  // starting the service with its pipes.
  std::string installBinary(const std::string& program);
  std::map<std::string, std::string> hostVariables(const ServiceOptions& options);
  void spawn(const ServiceOptions& options, std::vector<std::string> args,
             std::vector<std::string> env);

  PrivateDir dir_;
  std::string token_;
  std::string socketPath_;
  pid_t pid_ = -1;
  std::chrono::steady_clock::time_point startedAt_;
  int stdinFd_ = -1;
  int stdoutFd_ = -1;
  int stderrFd_ = -1;
  LineReader out_;
  std::optional<int> status_;
};

// A fresh token of 64 lower-case hexadecimal digits from the kernel's random source.
std::string randomToken();

}  // namespace virelo::test
