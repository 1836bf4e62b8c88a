// A keyboard layout that cannot be used: malformed, or not known to the XKB data.
#pragma once

#include <string>

#include "virelo/client/error.h"

namespace virelo::client {

class UnknownLayout : public Error {
 public:
  explicit UnknownLayout(std::string layout)
      : Error("unknown keyboard layout \"" + layout + "\""), layout_(std::move(layout)) {}

  const std::string& layout() const { return layout_; }

 private:
  std::string layout_;
};

}  // namespace virelo::client
