// One event line the service writes on its standard output, parsed.
//   status event:  "type" "ready" or "status", "ok", "ready", "backend", "protocol", "error"
//   failure event: "type" "status", "ready" false, "backend", "error" (no "ok")
//   fn_state:      "type" "fn_state", "held", "bridgeReady", "backend"
#pragma once

#include <optional>
#include <string>

namespace virelo::client {

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

}  // namespace virelo::client
