// The connection to the service could not be made, broke, or ended before a reply arrived. The
// service releases everything a client held when its connection ends.
#pragma once

#include "virelo/client/error.h"

namespace virelo::client {

class ConnectionLost : public Error {
 public:
  using Error::Error;
};

}  // namespace virelo::client
