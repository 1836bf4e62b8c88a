// A connected stream socket carrying lines, non-blocking, for the session's control searches: the
// client's connection and each of the server's.
#pragma once

#include <chrono>
#include <optional>
#include <string>
#include <string_view>

#include "trust.h"

namespace virelo::client {

class LineSocket {
 public:
  using Clock = std::chrono::steady_clock;
  // A longer line ends the connection: no query or control comes near it.
  static constexpr std::size_t kLongestLine = 1 << 20;

  explicit LineSocket(trust::Descriptor fd) : fd_(std::move(fd)) {}
  int fd() const { return fd_.get(); }

  // Reads what has arrived; false at the end of the stream, on an error or past kLongestLine.
  bool fill();
  // The next whole line that has arrived, without its newline.
  std::optional<std::string> nextLine();
  // The next line, waiting for it until the deadline; nullopt at the deadline or when fill() fails.
  std::optional<std::string> readLine(Clock::time_point deadline);
  // Writes all of it by the deadline; false when it cannot.
  bool write(std::string_view text, Clock::time_point deadline);

 private:
  trust::Descriptor fd_;
  std::string buffer_;
};

}  // namespace virelo::client
