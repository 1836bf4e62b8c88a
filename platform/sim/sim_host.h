// The simulated host: the platform services of the service, implemented in-process so that the
// service runs and does its whole job on machines without the real platform. It is scriptable
// from outside the process:
//   VL_SIM_WORLD    path of a JSON file describing the host at start (every key optional),
//   VL_SIM_TRACE    path of a file that receives one JSON object per line for everything that
//                   reaches the host, each with "t_ns" (the monotonic clock),
//   VL_SIM_CONTROL  path of a Unix socket that answers JSON request lines, one reply line each.
// This class is the common core: the world, the trace and the control server. The simulated
// services (devices, window server, accessibility) are separate classes built on it.
//
// Threads: world() and tracing() may be called from any thread (they never change after
// construction); trace() from any thread (serialised internally); onRequest() and onSet() only
// before startControl(); request handlers run on the control thread.
#pragma once

#include <atomic>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <nlohmann/json.hpp>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace virelo::sim {

class SimHost {
 public:
  using Handler = std::function<nlohmann::json(const nlohmann::json& request)>;
  using SetHandler = std::function<void(const nlohmann::json& request)>;

  // Reads the three variables. Never fails: a world file that cannot be read or parsed leaves
  // every default in place and is recorded in the trace as {"event":"world_error"}.
  static std::unique_ptr<SimHost> fromEnvironment();

  SimHost(nlohmann::json world, const std::string& tracePath, std::string controlPath);
  ~SimHost();
  SimHost(const SimHost&) = delete;
  SimHost& operator=(const SimHost&) = delete;

  // The world as described at start; an object, possibly empty.
  const nlohmann::json& world() const { return world_; }

  bool tracing() const { return traceFd_ >= 0; }
  // Appends the event with "t_ns" added as one line, in call order.
  void trace(nlohmann::json event);
  // The same for an event already written as compact JSON with sorted keys that all sort before
  // "t_ns": `object` is its text up to, not including, the closing brace. For events written
  // often; it allocates nothing once its buffer has grown.
  void traceText(std::string_view object);

  // Registers the handler of one request name. A handler answers with the reply object; when it
  // throws, the reply is {"ok":false,"error":"malformed"}.
  void onRequest(const std::string& name, Handler handler);
  // Registers a part of the {"request":"set", ...} request; every part sees every "set" and
  // reads the keys it owns. The reply is {"ok":true} unless a part throws.
  void onSet(SetHandler handler);

  // Starts the control server on its own thread when VL_SIM_CONTROL was given. Call after the
  // process has fixed its signal mask, so that the thread inherits it.
  void startControl();
  void stopControl();

 private:
  nlohmann::json handleLine(const std::string& line);
  // Writes the whole line to the trace file (caller holds traceMutex_).
  void writeLine(const std::string& line);
  void serve();

  nlohmann::json world_;
  int traceFd_ = -1;
  std::mutex traceMutex_;
  std::string traceLine_;  // guarded by traceMutex_
  std::string controlPath_;
  std::map<std::string, Handler> handlers_;
  std::vector<SetHandler> setHandlers_;
  int listenFd_ = -1;
  int wakeFd_ = -1;
  std::thread controlThread_;
};

// Reads a world value that may be a number or one of the texts "nan", "inf", "-inf" (for the
// values JSON cannot write). Returns the fallback when the value is of another kind.
double worldSeconds(const nlohmann::json& value, double fallback);

}  // namespace virelo::sim
