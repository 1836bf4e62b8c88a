// The acknowledgement of a command that took effect: {"ok": true, "ready": true}.
#pragma once

namespace virelo::client {

struct Ack {
  bool ok = true;
  bool ready = true;

  bool operator==(const Ack&) const = default;
};

}  // namespace virelo::client
