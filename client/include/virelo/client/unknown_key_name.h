// A key, modifier, media key or button name that the library does not know.
#pragma once

#include <string>

#include "virelo/client/error.h"

namespace virelo::client {

class UnknownKeyName : public Error {
 public:
  explicit UnknownKeyName(std::string name)
      : Error("unknown key name \"" + name + "\""), name_(std::move(name)) {}

  const std::string& name() const { return name_; }

 private:
  std::string name_;
};

}  // namespace virelo::client
