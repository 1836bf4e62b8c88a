#include "fntap/fn_tap_clock.h"

#include <chrono>
#include <thread>

namespace virelo {

FnTapClock FnTapClock::system() {
  return {
      [] {
        return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch())
            .count();
      },
      [](double seconds) { std::this_thread::sleep_for(std::chrono::duration<double>(seconds)); }};
}

}  // namespace virelo
