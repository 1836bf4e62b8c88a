// The client side of the out-of-process benchmarks: one blocking Unix-domain stream connection
// that sends whole lines and reads reply lines. The same code talks to the service and to the
// baseline echo server, so that their figures differ only by the server.
//
// Threads: one thread per client object.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace virelo::bench {

class BenchClient {
 public:
  // Connects; throws std::runtime_error when the connection is refused.
  explicit BenchClient(const std::string& socketPath);
  ~BenchClient();
  BenchClient(const BenchClient&) = delete;
  BenchClient& operator=(const BenchClient&) = delete;

  // Sends all bytes (one send call unless the socket buffer is full); throws when the peer is gone.
  void send(std::string_view bytes);
  // The next line without its newline, valid until the next read; throws at the end of stream.
  std::string_view readLine();
  // Reads at least one more line and returns how many complete lines have arrived (they are
  // consumed). For pipelined clients that only count replies.
  std::size_t readLines();
  // Sends one line (which must end with a newline) and returns its reply line.
  std::string_view roundTrip(std::string_view line);

  int fd() const { return fd_; }

 private:
  void fill();

  int fd_ = -1;
  std::vector<char> buffer_;
  std::size_t begin_ = 0;
  std::size_t end_ = 0;
};

}  // namespace virelo::bench
