#include "service/main_loop.h"

#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>

#include "core/monotonic_clock.h"
#include "virelo/protocol/names.h"

namespace virelo {

MainLoop::MainLoop(MainLoopParts parts)
    : parts_(std::move(parts)),
      bridge_(*parts_.bridge),
      clients_(bridge_, parts_.parentFd),
      connections_(bridge_, clients_, parts_.token, &monotonicNS) {}

void MainLoop::emitStatus() {
  nlohmann::json event = bridge_.status();
  event[protocol::replies::type] =
      bridge_.ready() ? protocol::events::ready : protocol::events::status;
  parts_.emitter->emit(event);
}

void MainLoop::run() {
  if (bridge_.backend() == InputBackend::corehid) {
    parts_.lifetime->markProgress(monotonicNS());
    if (parts_.watchdog) parts_.watchdog->start();
  }
  emitStatus();
  std::uint64_t now = monotonicNS();
  nextTick_ = now;
  permissionCheckAt_ = now + kPermissionPeriodNS;
  try {
    while (!parts_.lifetime->stopping() && pass()) {
    }
    orderlyStop();
  } catch (...) {
    errorStop();
  }
}

bool MainLoop::pass() {
  std::uint64_t now = monotonicNS();
  parts_.lifetime->markProgress(now);
  watchPermission(now);
  clients_.pruneDisconnected();
  bridge_.releasePending();
  if (bridge_.stopped()) return false;

  std::array<pollfd, kFirstClient + ConnectionService::kMaxClients> fds{};
  std::size_t n = 0;
  // A negative descriptor is skipped by poll and keeps the places of the other entries.
  fds[n++] = {connections_.accepting() ? parts_.listenFd : -1, POLLIN, 0};
  fds[n++] = {parts_.parentFd, POLLIN, 0};
  // A stop signal ends the poll at once; the stop follows at the end of this pass.
  fds[n++] = {parts_.signals ? parts_.signals->wakeFd() : -1, POLLIN, 0};
  for (const auto& [fd, client] : clients_.all()) {
    if (n == fds.size()) break;
    fds[n++] = {fd, POLLIN, 0};
  }
  // The wait ends at the tick's time to the nanosecond: a timeout rounded up to whole
  // milliseconds made ticks up to a millisecond late, and the motion step, capped at 8 ms, lost
  // that time (about a tenth of a steered pointer's speed).
  now = monotonicNS();
  const std::uint64_t wait = now < nextTick_ ? std::min(nextTick_ - now, kTickNS) : 0;
  const timespec timeout{static_cast<time_t>(wait / 1'000'000'000),
                         static_cast<long>(wait % 1'000'000'000)};
  if (::ppoll(fds.data(), n, &timeout, nullptr) < 0 && errno != EINTR) return true;

  if (fds[1].revents != 0 && !readParent()) return false;
  if (fds[0].revents & POLLIN) connections_.acceptOne(parts_.listenFd);
  for (std::size_t i = kFirstClient; i < n; ++i) {
    connections_.serve(fds[i].fd, fds[i].revents);
    if (bridge_.stopped()) return false;
  }

  std::uint64_t t = monotonicNS();
  if (t >= nextTick_) {
    bridge_.tick();
    if (bridge_.stopped()) return false;
    nextTick_ = t + kTickNS;
  }
  bridge_.emitFnState();
  return true;
}

void MainLoop::watchPermission(std::uint64_t now) {
  if (now < permissionCheckAt_) return;
  permissionCheckAt_ = now + kPermissionPeriodNS;
  if (bridge_.applyPermission()) emitStatus();
}

bool MainLoop::readParent() {
  char byte;
  ssize_t got;
  do {
    got = ::read(parts_.parentFd, &byte, 1);
  } while (got < 0 && errno == EINTR);
  return got > 0;
}

void MainLoop::orderlyStop() {
  // The empty state goes out before the devices go, as when a client leaves; an error here leads
  // to the error stop instead.
  bridge_.clear();
  cleanup();
}

void MainLoop::errorStop() {
  parts_.emitter->emit(failureEvent(bridge_.backend(), errors::notReady));
  cleanup();
}

void MainLoop::cleanup() {
  bridge_.shutDown();
  if (parts_.watchdog) parts_.watchdog->cancel();
  if (parts_.signals) parts_.signals->cancel();
  clients_.closeAll();
  if (parts_.listenFd >= 0) {
    ::close(parts_.listenFd);
    ::unlink(parts_.socketPath.c_str());
    parts_.listenFd = -1;
  }
}

}  // namespace virelo
