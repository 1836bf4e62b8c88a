// The service's status object: the reply to "hello", and to "status" or any command while the
// service is not ready. A "status" reply from a ready service carries only "ok" and "ready".
#pragma once

#include <optional>
#include <string>

namespace virelo::client {

struct Status {
  bool ok = false;
  bool ready = false;
  // "corehid" or "cgevent"; empty when the reply did not carry it.
  std::string backend;
  // The protocol version (1); nullopt when the reply did not carry it.
  std::optional<int> protocol;
  // Present only when not ready, e.g. "virtual_hid_not_ready".
  std::optional<std::string> error;

  bool operator==(const Status&) const = default;
};

}  // namespace virelo::client
