// The baseline of the benchmarks: the least a poll-loop server over a Unix-domain stream socket
// can do per line. It has the service's loop shape (one poll over the listening socket, standard
// input and every client with at most 8 ms timeout, non-blocking sockets, one receive per readable
// client, one send per line, an 8 ms tick) and nothing else: each line is echoed back as it is.
// With a trace path it appends {"event":"tick","t_ns":N} for every tick, as the service's host
// trace records every motion report. A line handler, when given, sees each line (without its
// newline) just before it is echoed.
//
// Threads: run() on one thread.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <string_view>

namespace virelo::bench {

class EchoServer {
 public:
  static constexpr std::uint64_t kTickNS = 8'000'000;

  using LineHandler = std::function<void(std::string_view line)>;

  // Opens the listening socket at path; throws std::runtime_error when it cannot.
  EchoServer(const std::string& socketPath, const std::string& tracePath, LineHandler onLine = {});
  ~EchoServer();
  EchoServer(const EchoServer&) = delete;
  EchoServer& operator=(const EchoServer&) = delete;

  // Serves until standard input ends.
  void run();

 private:
  void acceptOne();
  void serve(int fd, short revents);
  void tick(std::uint64_t now);

  std::string socketPath_;
  LineHandler onLine_;
  int listenFd_ = -1;
  int traceFd_ = -1;
  std::map<int, std::string> clients_;  // descriptor -> bytes not yet cut into lines
};

}  // namespace virelo::bench
