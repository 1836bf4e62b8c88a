#include "service/signal_observer.h"

#include <poll.h>
#include <signal.h>
#include <sys/eventfd.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include <cerrno>
#include <system_error>

#include "core/failure.h"

namespace virelo {
namespace {

sigset_t stopSignals() {
  sigset_t set;
  sigemptyset(&set);
  sigaddset(&set, SIGTERM);
  sigaddset(&set, SIGINT);
  return set;
}

}  // namespace

void SignalObserver::blockStopSignals() {
  ::signal(SIGPIPE, SIG_IGN);
  ::signal(SIGTERM, SIG_DFL);
  ::signal(SIGINT, SIG_DFL);
  sigset_t set = stopSignals();
  ::pthread_sigmask(SIG_BLOCK, &set, nullptr);
}

SignalObserver::SignalObserver(Lifetime& lifetime) : lifetime_(lifetime) {
  sigset_t set = stopSignals();
  signalFd_ = ::signalfd(-1, &set, SFD_CLOEXEC | SFD_NONBLOCK);
  cancelFd_ = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  wakeFd_ = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  // Without its descriptors the thread could neither see a signal, nor be woken to end, nor wake
  // the main loop.
  if (signalFd_ >= 0 && cancelFd_ >= 0 && wakeFd_ >= 0) {
    try {
      thread_ = std::thread([this] { run(); });
      return;
    } catch (const std::system_error&) {
    }
  }
  closeDescriptors();
  throw FailureError(Failure::dispatchFailed);
}

SignalObserver::~SignalObserver() {
  cancel();
  closeDescriptors();
}

void SignalObserver::closeDescriptors() {
  if (signalFd_ >= 0) ::close(signalFd_);
  if (cancelFd_ >= 0) ::close(cancelFd_);
  if (wakeFd_ >= 0) ::close(wakeFd_);
  signalFd_ = cancelFd_ = wakeFd_ = -1;
}

void SignalObserver::cancel() {
  if (!thread_.joinable()) return;
  std::uint64_t one = 1;
  [[maybe_unused]] ssize_t n = ::write(cancelFd_, &one, sizeof(one));
  thread_.join();
}

void SignalObserver::run() {
  for (;;) {
    pollfd fds[2] = {{cancelFd_, POLLIN, 0}, {signalFd_, POLLIN, 0}};
    int n = ::poll(fds, 2, -1);
    if (n < 0) {
      if (errno == EINTR) continue;
      return;
    }
    if (fds[0].revents) return;
    if (fds[1].revents & POLLIN) {
      signalfd_siginfo info;
      bool stop = false;
      while (::read(signalFd_, &info, sizeof(info)) == sizeof(info)) stop = true;
      if (stop) {
        lifetime_.requestStop();
        std::uint64_t one = 1;
        [[maybe_unused]] ssize_t n = ::write(wakeFd_, &one, sizeof(one));
      }
    }
  }
}

}  // namespace virelo
