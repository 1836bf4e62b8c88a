// Starts and supervises the service the way its parent application is meant to:
//   - a fresh private directory for the socket (mkdtemp, mode 0700, owned by the service's user),
//   - a 64-hex-digit token from the kernel's random source, passed in VL_COREHID_TOKEN,
//   - a pipe on the service's standard input, kept open for its whole life,
//   - its standard output read and parsed as events, readiness awaited with a timeout,
//   - an orderly stop by closing the pipe, and the exit status reported (3 when the service's
//     watchdog found its loop stalled).
// Refusals come back as ServiceRefused with the service's error code, a silent exit (malformed
// command line) as ServiceExitedSilently, anything else as LaunchFailed.
//
// Threads: one thread at a time; no call is safe concurrently with another on the same launcher.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <deque>
#include <map>
#include <optional>
#include <string>

#include "virelo/client/errors.h"

namespace virelo::client {

// How a Launcher starts the service.
struct LaunchOptions {
  // Path of the service binary (virelo-service).
  std::string servicePath;
  // "corehid" or "cgevent"; any other name makes the service exit silently.
  std::string backend = "corehid";
  // Added to (or replacing in) the launcher's own environment for the service, e.g. the
  // simulated host's VL_SIM_WORLD, VL_SIM_TRACE and VL_SIM_CONTROL.
  std::map<std::string, std::string> environment;
  // When the launcher runs as root: the user to run the service as (the service refuses the
  // superuser). The private directory is then owned by that user and the binary is copied into
  // it, since that user may not be able to read the original. Ignored when not root.
  std::optional<std::string> user;
  // How long start() waits for the first event.
  std::chrono::milliseconds readyTimeout = std::chrono::seconds(10);
  // Parent of the private directory; empty for $TMPDIR or /tmp.
  std::string directoryParent;
};

// One event line the service writes on its standard output, parsed.
//   status event:  "type" "ready" or "status", "ok", "ready", "backend", "protocol", "error"
//   failure event: "type" "status", "ready" false, "backend", "error" (no "ok")
//   fn_state:      "type" "fn_state", "held", "bridgeReady", "backend"
struct ServiceEvent {
  std::string type;  // "ready", "status", "fn_state", or whatever else the service writes
  bool ready = false;
  std::optional<bool> ok;
  std::string backend;
  std::optional<std::string> error;
  std::optional<bool> held;         // fn_state only
  std::optional<bool> bridgeReady;  // fn_state only
  std::string line;                 // the line as written, without its newline

  // A failure event: the service is ending (or refused to start) with this error code.
  bool failure() const { return type == "status" && !ready && !ok.has_value() && error; }
};

// Parses one line; throws LaunchFailed when it is not a JSON object with a string "type".
ServiceEvent parseServiceEvent(const std::string& line);

class Launcher {
 public:
  // Creates the private directory (so that directory() can be used at once). In the values of
  // options.environment the text "{dir}" stands for that directory, e.g. "{dir}/trace".
  explicit Launcher(LaunchOptions options);
  // Stops a running service (closing its pipe, then SIGKILL after 5 s) and removes the directory.
  ~Launcher();
  Launcher(const Launcher&) = delete;
  Launcher& operator=(const Launcher&) = delete;

  // Starts the service and waits for its first event. Returns the ready event (type "ready"), or
  // the status event when the service runs but cannot deliver input yet (type "status" with
  // "ok" false). Throws ServiceRefused, ServiceExitedSilently or LaunchFailed. Call once.
  ServiceEvent start();

  // The next event, or nullopt on timeout or when standard output ended.
  std::optional<ServiceEvent> nextEvent(std::chrono::milliseconds timeout);
  // Orderly stop: closes the pipe on standard input and waits for the exit. Returns the exit
  // status (128 + signal number when killed). After the timeout the service is killed.
  int stop(std::chrono::milliseconds timeout = std::chrono::seconds(5));
  // The exit status once the service has ended within the timeout, or nullopt.
  std::optional<int> waitExit(std::chrono::milliseconds timeout);
  bool running();
  // Whether the service's standard output has ended (it closes when the service exits).
  bool outputEnded() const { return outEnded_; }
  // The last failure event seen (e.g. the watchdog's before its exit with status 3).
  const std::optional<ServiceEvent>& lastFailure() const { return lastFailure_; }

  const std::string& directory() const { return directory_; }
  const std::string& socketPath() const { return socketPath_; }
  const std::string& token() const { return token_; }
  pid_t pid() const { return pid_; }
  // The read end of the service's standard output, for polling alongside other descriptors.
  int eventFd() const { return stdoutFd_; }

 private:
  // Reads what standard output holds now (waiting up to the timeout for something) and queues
  // the complete lines as events; false once standard output has ended.
  bool pump(std::chrono::milliseconds timeout);
  void closePipe();
  // The steps of start(): the binary to run (a copy the service's user owns when switching
  // users), waiting until the child has run exec or reported the step that failed, and the first
  // event of the service.
  std::string prepareBinary();
  void awaitExec(int failureFd, const std::string& binary);
  ServiceEvent firstEvent();

  LaunchOptions options_;
  std::string directory_;
  std::string socketPath_;
  std::string token_;
  pid_t pid_ = -1;
  int stdinFd_ = -1;
  int stdoutFd_ = -1;
  std::string outBuffer_;
  bool outEnded_ = false;
  std::deque<ServiceEvent> events_;
  bool dropUser_ = false;
  uid_t uid_ = 0;
  gid_t gid_ = 0;
  std::optional<int> status_;
  std::optional<ServiceEvent> lastFailure_;
};

// A fresh token: 64 lower-case hexadecimal digits from getrandom.
std::string randomToken();

// Copies the service at `servicePath` into `directory` as "virelo-service", to run it from
// elsewhere (as another user, say, who may not be able to read the original), with the
// accessibility module that it opens from beside itself when the Linux desktop host is chosen.
// The module is taken from beside the original, or from its installed place relative to it; a
// service without one (a build without the module) is copied alone. Returns the path of the copy.
// Throws std::filesystem::filesystem_error.
std::string copyService(const std::string& servicePath, const std::string& directory);

}  // namespace virelo::client
