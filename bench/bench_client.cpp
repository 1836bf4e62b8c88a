#include "bench/bench_client.h"

#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <stdexcept>

#include "tests/support/test_client.h"

namespace virelo::bench {

BenchClient::BenchClient(const std::string& socketPath)
    : fd_(test::connectUnix(socketPath)), buffer_(1 << 16) {}

BenchClient::~BenchClient() {
  if (fd_ >= 0) ::close(fd_);
}

void BenchClient::send(std::string_view bytes) {
  while (!bytes.empty()) {
    ssize_t n = ::send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) throw std::runtime_error("send: the server closed the connection");
    bytes.remove_prefix(static_cast<std::size_t>(n));
  }
}

void BenchClient::fill() {
  if (begin_ == end_) {
    begin_ = end_ = 0;
  } else if (end_ == buffer_.size()) {
    std::memmove(buffer_.data(), buffer_.data() + begin_, end_ - begin_);
    end_ -= begin_;
    begin_ = 0;
  }
  for (;;) {
    ssize_t got = ::recv(fd_, buffer_.data() + end_, buffer_.size() - end_, 0);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) throw std::runtime_error("recv: the server closed the connection");
    end_ += static_cast<std::size_t>(got);
    return;
  }
}

std::string_view BenchClient::readLine() {
  for (;;) {
    const char* first = buffer_.data() + begin_;
    const char* last = buffer_.data() + end_;
    const char* newline = std::find(first, last, '\n');
    if (newline != last) {
      std::string_view line(first, static_cast<std::size_t>(newline - first));
      begin_ += line.size() + 1;
      return line;
    }
    fill();
  }
}

std::size_t BenchClient::readLines() {
  fill();
  std::size_t lines = 0;
  const char* first = buffer_.data() + begin_;
  const char* last = buffer_.data() + end_;
  const char* consumed = first;
  for (const char* p = first; p != last; ++p) {
    if (*p == '\n') {
      ++lines;
      consumed = p + 1;
    }
  }
  begin_ += static_cast<std::size_t>(consumed - first);
  return lines;
}

std::string_view BenchClient::roundTrip(std::string_view line) {
  send(line);
  return readLine();
}

}  // namespace virelo::bench
