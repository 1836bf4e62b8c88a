// The time source and the pause of the tap thread. The system clock keeps real time; tests pass
// one that advances a virtual time instead, so that the 2 s retry and the 0.1 s pauses cost
// nothing.
//
// Threads: both functions are called on the tap thread only.
#pragma once

#include <functional>

namespace virelo {

struct FnTapClock {
  // Seconds on a clock that never goes backwards.
  std::function<double()> now;
  // Pauses the calling thread for the given number of seconds.
  std::function<void(double seconds)> sleep;

  static FnTapClock system();
};

}  // namespace virelo
