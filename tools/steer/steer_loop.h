// The steering loop: every tick (8 ms, the service's own) it reads the input source and sends
// the client's commands: the held buttons and arrow keys, the pointer's motion or snapped moves,
// wheel steps, dwell clicks and the steps to the previous or next control. Between ticks it reads
// the source every 2 ms, and news (a button, a device, steering from rest) is acted on at once.
//
// Everything held is released (a "reset") when the device goes (a controller unplugged, a tracker
// silent), on pause, and when the loop ends for any reason; the service itself releases it when
// the process dies without a word.
//
// Threads: run() on one thread; `stop` may be set from anywhere (a signal handler).
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <iosfwd>
#include <optional>
#include <string>

#include "tools/steer/input_source.h"
#include "tools/steer/pad_actions.h"
#include "tools/steer/pointer_planner.h"
#include "tools/steer/steer_profile.h"

namespace virelo::client {
class Client;
}

namespace virelo::steer {

struct LoopOptions {
  // The profile for every device; otherwise chosen per device.
  std::optional<std::string> profile;
  bool snapping = true;
  // Where the live state goes (--show), every 100 ms; null: nowhere.
  std::ostream* show = nullptr;
  std::chrono::microseconds tick{8000};
  // The focused application, for the profiles chosen per application; empty: none.
  std::function<std::string()> application;
  // Steps the pointer to the previous (false) or next (true) control; empty: not available.
  std::function<void(bool forward)> stepControl;
};

class SteerLoop {
 public:
  SteerLoop(client::Client& client, InputSource& source, const Profiles& profiles,
            LoopOptions options);

  // Steers until `stop` is set or the source ends, then releases everything.
  void run(const std::atomic<bool>& stop);

 private:
  // Whether the frame brings news that the next tick should not wait for: a device come or
  // gone, a button, a position, or steering that starts from rest.
  bool urgent(const Frame& frame) const;
  void tick(const Frame& frame, double seconds, std::uint64_t nowNs);
  // The parts of a tick.
  void actOnPresses(const Frame& frame);
  void sendHeld(Held held);
  Vec2 steer(const Frame& frame, const Profile& profile, double seconds);
  void scroll(const Frame& frame, const Profile& profile, double seconds);
  void dwell(const Frame& frame, const Profile& profile, Vec2 moved, std::uint64_t nowNs);
  void showState(const Frame& frame, const Profile& profile, std::uint64_t nowNs);
  // A reset of the client, and of everything remembered about what it holds.
  void release();
  // After the connection broke or the service was not ready: it holds nothing of ours.
  void forget();

  client::Client& client_;
  InputSource& source_;
  const Profiles& profiles_;
  LoopOptions options_;
  PointerPlanner planner_;
  Scroller scroller_;
  std::optional<Dwell> dwell_;
  std::string dwellProfile_;  // the profile whose numbers dwell_ has
  PadState previous_;
  Held held_;
  bool holding_ = false;  // anything may be held or moving
  bool paused_ = false;
  bool ended_ = false;
  bool present_ = false;
  const Profile* lastProfile_;  // the profile of the latest tick
  Vec2 velocity_;
  std::uint64_t shownAt_ = 0;
};

}  // namespace virelo::steer
