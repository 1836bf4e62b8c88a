// The service's own error values. A protocolError ends one client; parentStopped ends the service
// without an event; every other failure ends it with the failure event "virtual_hid_not_ready".
#pragma once

#include <exception>

namespace virelo {

enum class Failure {
  protocolError,
  authorizationRequired,
  dispatchFailed,
  socketError,
  parentStopped
};

class FailureError : public std::exception {
 public:
  explicit FailureError(Failure failure) : failure_(failure) {}
  Failure failure() const { return failure_; }
  const char* what() const noexcept override;

 private:
  Failure failure_;
};

inline const char* FailureError::what() const noexcept {
  switch (failure_) {
    case Failure::protocolError:
      return "protocolError";
    case Failure::authorizationRequired:
      return "authorizationRequired";
    case Failure::dispatchFailed:
      return "dispatchFailed";
    case Failure::socketError:
      return "socketError";
    case Failure::parentStopped:
      return "parentStopped";
  }
  return "failure";
}

}  // namespace virelo
