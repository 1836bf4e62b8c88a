// The service's own error values. A protocolError ends one client; every other failure ends the
// service with the failure event "virtual_hid_not_ready". The parent's stop is not a failure: the
// bridge reports it as its stopped state and the service ends in order, without an event.
#pragma once

#include <exception>

namespace virelo {

enum class Failure { protocolError, authorizationRequired, dispatchFailed, socketError };

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
  }
  return "failure";
}

}  // namespace virelo
