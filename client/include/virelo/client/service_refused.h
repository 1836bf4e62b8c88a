// The service refused to start and said why with a failure event on its standard output, for
// example "virtual_hid_authorization_required" or "virtual_hid_protocol_error". It then exited.
#pragma once

#include <string>

#include "virelo/client/error.h"

namespace virelo::client {

class ServiceRefused : public Error {
 public:
  ServiceRefused(std::string code, int exitStatus)
      : Error("the service refused to start: " + code),
        code_(std::move(code)),
        exitStatus_(exitStatus) {}

  // The service's error code from the failure event.
  const std::string& code() const { return code_; }
  // The exit status of the service (0 for every start refusal), or -1 when it was not seen.
  int exitStatus() const { return exitStatus_; }

 private:
  std::string code_;
  int exitStatus_;
};

}  // namespace virelo::client
