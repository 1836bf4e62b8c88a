#include "tools/steer/pose_source.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <bit>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <stdexcept>

namespace virelo::steer {
namespace {

constexpr std::size_t kPoseSize = 48;
constexpr auto kSilence = std::chrono::seconds(1);

double littleEndianDouble(const unsigned char* bytes) {
  std::uint64_t bits = 0;
  for (int i = 7; i >= 0; --i) bits = (bits << 8) | bytes[i];
  return std::bit_cast<double>(bits);
}

}  // namespace

Vec2 poseOf(const unsigned char (&datagram)[48]) {
  return {littleEndianDouble(datagram + 24), littleEndianDouble(datagram + 32)};
}

PoseSource::PoseSource(const std::string& address, int port) {
  sockaddr_in where{};
  where.sin_family = AF_INET;
  where.sin_port = htons(static_cast<std::uint16_t>(port));
  if (::inet_pton(AF_INET, address.c_str(), &where.sin_addr) != 1) {
    throw std::runtime_error("not an IPv4 address: " + address);
  }
  fd_ = ::socket(AF_INET, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
  if (fd_ < 0 || ::bind(fd_, reinterpret_cast<sockaddr*>(&where), sizeof where) != 0) {
    const std::string why = std::strerror(errno);
    if (fd_ >= 0) ::close(fd_);
    throw std::runtime_error("cannot listen on UDP " + address + ":" + std::to_string(port) + ": " +
                             why);
  }
  socklen_t size = sizeof where;
  ::getsockname(fd_, reinterpret_cast<sockaddr*>(&where), &size);
  port_ = ntohs(where.sin_port);
}

PoseSource::~PoseSource() {
  ::close(fd_);
}

Frame PoseSource::read() {
  unsigned char datagram[kPoseSize + 1];
  ssize_t got = 0;
  while ((got = ::recv(fd_, datagram, sizeof datagram, MSG_TRUNC)) >= 0) {
    if (static_cast<std::size_t>(got) != kPoseSize) {
      ++ignored_;
      continue;
    }
    unsigned char pose[kPoseSize];
    std::memcpy(pose, datagram, kPoseSize);
    pose_ = poseOf(pose);
    lastAt_ = std::chrono::steady_clock::now();
    heard_ = true;
  }
  Frame frame;
  frame.present = heard_ && std::chrono::steady_clock::now() - lastAt_ < kSilence;
  frame.device = "head tracker";
  frame.dwell = true;
  if (frame.present) frame.pose = pose_;
  return frame;
}

}  // namespace virelo::steer
