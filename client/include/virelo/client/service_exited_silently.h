// The service ended without writing any event. It does this when its command line is malformed
// (wrong options or an unknown backend name), so this usually means the launcher was given a
// backend name the service does not know.
#pragma once

#include <string>

#include "virelo/client/error.h"

namespace virelo::client {

class ServiceExitedSilently : public Error {
 public:
  explicit ServiceExitedSilently(int exitStatus)
      : Error("the service exited with status " + std::to_string(exitStatus) +
              " without a status event (malformed command line?)"),
        exitStatus_(exitStatus) {}

  int exitStatus() const { return exitStatus_; }

 private:
  int exitStatus_;
};

}  // namespace virelo::client
