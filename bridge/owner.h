// One connected client: its receive buffer, whether it has authenticated, and its complete
// current input state. Main thread only.
#pragma once

#include <cstdint>
#include <string>

#include "bridge/reports.h"

namespace virelo {

struct Owner {
  explicit Owner(std::uint64_t connectedAt) : connectedAt(connectedAt) {}

  std::string input;  // bytes received and not yet cut into lines
  // The dead-client test found bytes waiting in the socket. They stay there until the connection
  // layer receives again (and clears this), so until then a peek would find them again.
  bool bytesWaiting = false;
  bool authenticated = false;
  std::int64_t modifiers = 0;  // 0..255
  std::int64_t buttons = 0;    // 0..31
  bool fn = false;
  KeySet keys;
  ConsumerSet consumers;
  // Continuous motion: velocity in counts per second, the carried sub-count remainder, the time
  // stamp of the last accepted sample (0 = no motion) and the time integrated up to.
  double vx = 0, vy = 0;
  double fractionX = 0, fractionY = 0;
  std::uint64_t motionAt = 0;
  std::uint64_t steppedAt = 0;
  std::uint64_t connectedAt;

  // Clears the input state; the buffer, authentication and connection time stay.
  void reset();
  void stopMotion();
};

}  // namespace virelo
