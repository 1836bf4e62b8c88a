// The launcher could not start the service or did not see it become ready: a system call failed,
// the binary could not be run, the user to run as does not exist, or no event arrived in time.
#pragma once

#include "virelo/client/error.h"

namespace virelo::client {

class LaunchFailed : public Error {
 public:
  using Error::Error;
};

}  // namespace virelo::client
