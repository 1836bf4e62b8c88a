#include "bench/echo_server.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <stdexcept>
#include <utility>
#include <vector>

#include "core/monotonic_clock.h"

namespace virelo::bench {

EchoServer::EchoServer(const std::string& socketPath, const std::string& tracePath,
                       LineHandler onLine, int reportPolls, bool handOff)
    : socketPath_(socketPath),
      onLine_(std::move(onLine)),
      reportPolls_(reportPolls),
      handOff_(handOff ? std::make_unique<HandOff>() : nullptr) {
  listenFd_ = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
  sockaddr_un addr{};
  addr.sun_family = AF_UNIX;
  if (listenFd_ < 0 || socketPath.size() >= sizeof(addr.sun_path)) {
    throw std::runtime_error("socket");
  }
  std::memcpy(addr.sun_path, socketPath.c_str(), socketPath.size() + 1);
  if (::bind(listenFd_, reinterpret_cast<sockaddr*>(&addr), sizeof(addr)) != 0 ||
      ::listen(listenFd_, 4) != 0) {
    throw std::runtime_error("bind");
  }
  if (!tracePath.empty()) {
    traceFd_ = ::open(tracePath.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0600);
  }
}

EchoServer::~EchoServer() {
  for (const auto& [fd, input] : clients_) ::close(fd);
  if (traceFd_ >= 0) ::close(traceFd_);
  ::close(listenFd_);
  ::unlink(socketPath_.c_str());
}

void EchoServer::run() {
  std::uint64_t nextTick = monotonicNS();
  std::vector<pollfd> fds;
  while (!parentGone_) {
    fds.clear();
    fds.push_back({listenFd_, POLLIN, 0});
    fds.push_back({0, POLLIN, 0});
    for (const auto& [fd, input] : clients_) fds.push_back({fd, POLLIN, 0});
    std::uint64_t now = monotonicNS();
    int timeout = 0;
    if (now < nextTick) {
      timeout =
          static_cast<int>(std::min<std::uint64_t>((nextTick - now + 999'999) / 1'000'000, 8));
    }
    if (::poll(fds.data(), fds.size(), timeout) < 0 && errno != EINTR) return;
    if (fds[1].revents != 0) {
      char byte;
      if (::read(0, &byte, 1) <= 0) return;
    }
    if (fds[0].revents & POLLIN) acceptOne();
    for (std::size_t i = 2; i < fds.size(); ++i) serve(fds[i].fd, fds[i].revents);
    now = monotonicNS();
    if (now >= nextTick) {
      tick(now);
      nextTick = now + kTickNS;
    }
  }
}

void EchoServer::acceptOne() {
  int fd = ::accept4(listenFd_, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
  if (fd >= 0) clients_.emplace(fd, std::string());
}

void EchoServer::serve(int fd, short revents) {
  auto it = clients_.find(fd);
  if (it == clients_.end()) return;
  bool gone = (revents & (POLLERR | POLLHUP | POLLNVAL)) != 0;
  if (!gone && (revents & POLLIN)) {
    std::array<char, 4096> chunk;
    ssize_t got = ::recv(fd, chunk.data(), chunk.size(), 0);
    if (got == 0 || (got < 0 && errno != EAGAIN && errno != EWOULDBLOCK)) {
      gone = true;
    } else if (got > 0) {
      std::string& input = it->second;
      input.append(chunk.data(), static_cast<std::size_t>(got));
      std::size_t start = 0;
      for (auto newline = input.find('\n'); newline != std::string::npos;
           newline = input.find('\n', start)) {
        std::size_t length = newline + 1 - start;
        if (onLine_) onLine_(std::string_view(input).substr(start, length - 1));
        pollBeforeReports();
        if (handOff_) handOff_->exchange();
        if (::send(fd, input.data() + start, length, MSG_NOSIGNAL) !=
            static_cast<ssize_t>(length)) {
          gone = true;
          break;
        }
        start = newline + 1;
      }
      input.erase(0, start);
    }
  }
  if (gone) {
    ::close(fd);
    clients_.erase(it);
  }
}

void EchoServer::pollBeforeReports() {
  for (int i = 0; i < reportPolls_; ++i) {
    reportFds_.clear();
    reportFds_.push_back({0, POLLIN, 0});
    for (const auto& [fd, input] : clients_) reportFds_.push_back({fd, POLLIN, 0});
    if (::poll(reportFds_.data(), reportFds_.size(), 0) > 0 &&
        (reportFds_[0].revents & (POLLHUP | POLLERR | POLLNVAL)) != 0) {
      parentGone_ = true;
    }
  }
}

void EchoServer::tick(std::uint64_t now) {
  if (traceFd_ < 0) return;
  char line[64];
  int n = std::snprintf(line, sizeof(line), "{\"event\":\"tick\",\"t_ns\":%llu}\n",
                        static_cast<unsigned long long>(now));
  [[maybe_unused]] ssize_t written = ::write(traceFd_, line, static_cast<std::size_t>(n));
}

}  // namespace virelo::bench
