// What a command is answered with, and the reply lines that never change.
#pragma once

#include <string_view>

namespace virelo {

enum class CommandReply {
  acknowledgement,  // {"ok":true,"ready":true}
  staleMotion,      // {"dropped":"stale_motion","ok":true,"ready":true}
  status,           // the status object of the bridge
};

// The serialised lines of the two constant replies, newline included (compact JSON, keys in the
// order the status objects are written in).
inline constexpr std::string_view kAcknowledgementLine = "{\"ok\":true,\"ready\":true}\n";
inline constexpr std::string_view kStaleMotionLine =
    "{\"dropped\":\"stale_motion\",\"ok\":true,\"ready\":true}\n";

}  // namespace virelo
