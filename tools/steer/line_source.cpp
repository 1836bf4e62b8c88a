#include "tools/steer/line_source.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cmath>
#include <sstream>

namespace virelo::steer {

LineSource::LineSource(int fd) : fd_(fd) {
  ::fcntl(fd_, F_SETFL, ::fcntl(fd_, F_GETFL) | O_NONBLOCK);
}

void LineSource::apply(const std::string& line) {
  std::istringstream words(line);
  std::string verb, rest;
  double x = 0, y = 0;
  if (!(words >> verb >> x >> y) || (words >> rest) || !std::isfinite(x) || !std::isfinite(y)) {
    ++ignored_;
  } else if (verb == "velocity") {
    velocity_ = {x, y};
  } else if (verb == "position") {
    if (havePosition_) jump_ = {jump_.x + x - position_.x, jump_.y + y - position_.y};
    position_ = {x, y};
    havePosition_ = true;
  } else {
    ++ignored_;
  }
}

Frame LineSource::read() {
  char chunk[4096];
  ssize_t got = 0;
  while (!ended_ && (got = ::read(fd_, chunk, sizeof chunk)) != 0) {
    if (got < 0) {
      if (errno == EINTR) continue;
      ended_ = errno != EAGAIN && errno != EWOULDBLOCK;
      break;
    }
    buffer_.append(chunk, static_cast<std::size_t>(got));
  }
  if (got == 0) ended_ = true;
  for (auto end = buffer_.find('\n'); end != std::string::npos; end = buffer_.find('\n')) {
    apply(buffer_.substr(0, end));
    buffer_.erase(0, end + 1);
  }
  Frame frame;
  frame.present = true;
  frame.device = "standard input";
  frame.velocity = velocity_;
  frame.jump = jump_;
  frame.ended = ended_;
  jump_ = {};
  return frame;
}

}  // namespace virelo::steer
