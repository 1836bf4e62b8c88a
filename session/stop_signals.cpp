#include "session/stop_signals.h"

#include <poll.h>
#include <signal.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include <stdexcept>

namespace virelo::session {

StopSignals::StopSignals() {
  sigset_t stops;
  sigemptyset(&stops);
  for (int sig : {SIGINT, SIGTERM, SIGHUP}) sigaddset(&stops, sig);
  ::sigprocmask(SIG_BLOCK, &stops, nullptr);
  fd_ = ::signalfd(-1, &stops, SFD_CLOEXEC);
  if (fd_ < 0) throw std::runtime_error("signalfd failed");
}

StopSignals::~StopSignals() {
  ::close(fd_);
}

bool StopSignals::wait(std::chrono::milliseconds timeout) const {
  pollfd p{fd_, POLLIN, 0};
  return ::poll(&p, 1, static_cast<int>(timeout.count())) > 0;
}

}  // namespace virelo::session
