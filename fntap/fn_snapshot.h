// The Fn state the tap reports: held is the virtual Fn, or the hardware Fn while the tap is
// available; ready is the tap's availability. A plain value, copied between threads.
#pragma once

namespace virelo {

struct FnSnapshot {
  bool held = false;
  bool ready = false;
  friend bool operator==(const FnSnapshot&, const FnSnapshot&) = default;
};

}  // namespace virelo
