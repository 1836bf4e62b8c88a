// Reads newline-terminated lines from a descriptor with a timeout, keeping what arrived past the
// last line for the next call. Shared by the service's standard output and the socket clients.
#pragma once

#include <chrono>
#include <optional>
#include <string>

namespace virelo::test {

class LineReader {
 public:
  // The next line without its newline, or nullopt on timeout or once the descriptor has ended.
  std::optional<std::string> readLine(int fd, std::chrono::milliseconds timeout);
  bool ended() const { return ended_; }
  // The bytes received after the last complete line, which are then forgotten.
  std::string takeRest();

 private:
  std::string buffer_;
  bool ended_ = false;
};

// Milliseconds left until the deadline, never negative.
int remainingMs(std::chrono::steady_clock::time_point deadline);

}  // namespace virelo::test
