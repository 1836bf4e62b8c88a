// Where steering comes from: a game controller, a head tracker's pose datagrams, or lines on
// standard input. The steering loop reads a source once per tick.
#pragma once

#include <cstddef>
#include <optional>
#include <string>

#include "tools/steer/pad_state.h"

namespace virelo::steer {

struct Frame {
  // A device is there and steering: a controller is plugged in, a tracker is sending. When it
  // goes, the loop releases everything it held.
  bool present = false;
  // The controller's name (profiles are chosen by it).
  std::string device;
  PadState pad;
  // Standard input's velocity in points per second, which replaces the stick when given.
  std::optional<Vec2> velocity;
  // A head tracker's yaw and pitch in degrees (yaw to the right, pitch up), which steer as the
  // left stick does.
  std::optional<Vec2> pose;
  // Standard input's absolute positions: the points the pointer is to move in this tick.
  Vec2 jump;
  // The source clicks by dwelling (a head tracker has no buttons).
  bool dwell = false;
  // The source has ended for good (standard input closed): steering ends.
  bool ended = false;
};

class InputSource {
 public:
  virtual ~InputSource() = default;
  // What the source shows now; never waits.
  virtual Frame read() = 0;
  // Input that was ignored (datagrams of another size, lines that mean nothing), for --show.
  virtual std::size_t ignored() const { return 0; }
};

}  // namespace virelo::steer
