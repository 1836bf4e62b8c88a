// A head tracker's pose datagrams on UDP, as trackers such as opentrack send them: six
// little-endian doubles x, y, z, yaw, pitch, roll (48 bytes), angles in degrees. Yaw and pitch
// steer; a datagram of any other size is ignored and counted. The tracker is present while
// datagrams arrive (one within the last second); it clicks by dwelling.
//
// Threads: one thread (the steering loop's) uses the object.
#pragma once

#include <chrono>
#include <string>

#include "tools/steer/input_source.h"

namespace virelo::steer {

// The port head trackers send to by default.
inline constexpr int kDefaultPosePort = 4242;

class PoseSource : public InputSource {
 public:
  // Listens on the IPv4 address (the loopback address unless told otherwise) and port. Throws
  // std::runtime_error when it cannot.
  PoseSource(const std::string& address, int port);
  ~PoseSource() override;
  PoseSource(const PoseSource&) = delete;
  PoseSource& operator=(const PoseSource&) = delete;

  // The frame's `pose`: yaw and pitch in degrees of the latest datagram.
  Frame read() override;
  std::size_t ignored() const override { return ignored_; }
  // The port it listens on (the one the system chose for port 0).
  int port() const { return port_; }

 private:
  int fd_ = -1;
  int port_ = 0;
  Vec2 pose_;
  std::chrono::steady_clock::time_point lastAt_;
  bool heard_ = false;
  std::size_t ignored_ = 0;
};

// The yaw and pitch of a 48-byte datagram (its fourth and fifth little-endian doubles).
Vec2 poseOf(const unsigned char (&datagram)[48]);

}  // namespace virelo::steer
