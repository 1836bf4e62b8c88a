// The base of every error the client library throws, so that a caller can catch them all at once.
#pragma once

#include <stdexcept>
#include <string>

namespace virelo::client {

class Error : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

}  // namespace virelo::client
