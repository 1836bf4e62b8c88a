// The baseline of the benchmarks: the least a poll-loop server over a Unix-domain stream socket
// can do per line. It has the service's loop shape (one poll over the listening socket, standard
// input and every client with at most 8 ms timeout, non-blocking sockets, one receive per readable
// client, one send per line, an 8 ms tick) and nothing else: each line is echoed back as it is.
// With a trace path it appends {"event":"tick","t_ns":N} for every tick, as the service's host
// trace records every motion report. A line handler, when given, sees each line (without its
// newline) just before it is echoed.
//
// With `reportPolls` above 0 it also does, for each line, the work that the service must do for
// every report it delivers: that many polls (timeout 0) over standard input and every client
// before the line is echoed (the service delivers two reports for a keyboard command, and checks
// for its stop and for dead clients before each), so that the service can be measured against
// the same required system calls; a hang-up of standard input seen there ends run(). With
// `handOff` it also hands each line to a second thread and back before echoing it (HandOff), as
// the simulated window server does with each event the service posts.
//
// Threads: run() on one thread.
#pragma once

#include <poll.h>

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "bench/hand_off.h"

namespace virelo::bench {

class EchoServer {
 public:
  static constexpr std::uint64_t kTickNS = 8'000'000;

  using LineHandler = std::function<void(std::string_view line)>;

  // Opens the listening socket at path; throws std::runtime_error when it cannot.
  EchoServer(const std::string& socketPath, const std::string& tracePath, LineHandler onLine = {},
             int reportPolls = 0, bool handOff = false);
  ~EchoServer();
  EchoServer(const EchoServer&) = delete;
  EchoServer& operator=(const EchoServer&) = delete;

  // Serves until standard input ends.
  void run();

 private:
  void acceptOne();
  void serve(int fd, short revents);
  void tick(std::uint64_t now);
  void pollBeforeReports();

  std::string socketPath_;
  LineHandler onLine_;
  int reportPolls_ = 0;
  bool parentGone_ = false;
  std::vector<pollfd> reportFds_;
  std::unique_ptr<HandOff> handOff_;
  int listenFd_ = -1;
  int traceFd_ = -1;
  std::map<int, std::string> clients_;  // descriptor -> bytes not yet cut into lines
};

}  // namespace virelo::bench
