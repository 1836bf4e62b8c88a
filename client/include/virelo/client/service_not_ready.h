// The service is running but cannot deliver input right now; it answered a command with its status
// object carrying "ok": false and an error code (for example "virtual_hid_not_ready"). The service
// has cleared this client's input state.
#pragma once

#include <string>

#include "virelo/client/error.h"

namespace virelo::client {

class ServiceNotReady : public Error {
 public:
  explicit ServiceNotReady(std::string code)
      : Error("the service is not ready: " + code), code_(std::move(code)) {}

  const std::string& code() const { return code_; }

 private:
  std::string code_;
};

}  // namespace virelo::client
