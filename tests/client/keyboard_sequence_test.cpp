// A keyboard sequence keeps what it has in flight within what the service holds for one client,
// however long its lines are: against a stand-in service that answers only once the client has
// stopped sending, which shows the most the client sent unanswered.
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <string>
#include <thread>

#include "tests/support/private_dir.h"
#include "virelo/client/client.h"

namespace virelo::client {
namespace {

struct Unanswered {
  std::size_t lines = 0;
  std::size_t bytes = 0;
  std::size_t answered = 0;
};

// Serves one connection: reads until the client has sent nothing for 50 ms, notes what it holds
// unanswered, answers all of it, and so on until the client closes.
Unanswered serveLazily(int listener) {
  Unanswered most;
  const int fd = ::accept(listener, nullptr, nullptr);
  std::string held;
  for (char chunk[4096];;) {
    pollfd readable{fd, POLLIN, 0};
    if (::poll(&readable, 1, 50) == 0) {
      const auto lines = static_cast<std::size_t>(std::count(held.begin(), held.end(), '\n'));
      most.lines = std::max(most.lines, lines);
      most.bytes = std::max(most.bytes, held.size());
      std::string answers;
      for (std::size_t i = 0; i < lines; ++i) answers += "{\"ok\":true}\n";
      EXPECT_EQ(::send(fd, answers.data(), answers.size(), MSG_NOSIGNAL),
                static_cast<ssize_t>(answers.size()));
      most.answered += lines;
      held.erase(0, held.rfind('\n') + 1);
      continue;
    }
    const ssize_t got = ::read(fd, chunk, sizeof chunk);
    if (got <= 0) break;
    held.append(chunk, static_cast<std::size_t>(got));
  }
  ::close(fd);
  return most;
}

TEST(KeyboardSequence, KeepsItsLinesInFlightWithinWhatTheServiceHolds) {
  test::PrivateDir dir;
  const std::string path = dir / "service.sock";
  const int listener = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  path.copy(address.sun_path, sizeof address.sun_path - 1);
  ASSERT_EQ(::bind(listener, reinterpret_cast<const sockaddr*>(&address), sizeof address), 0);
  ASSERT_EQ(::listen(listener, 1), 0);
  Unanswered most;
  std::thread service([&] { most = serveLazily(listener); });
  {
    Client client(path);
    // Lines of about 170 bytes (32 keys of three digits each), and short ones between them.
    std::vector<Client::KeyboardState> states;
    for (int i = 0; i < 100; ++i) {
      std::set<int> keys;
      for (int usage = 200; usage < 232; ++usage) keys.insert(usage);
      states.push_back({0xff, std::move(keys)});
      states.push_back({0, {}});
    }
    client.keyboardSequence(states);
  }
  service.join();
  ::close(listener);
  EXPECT_GE(most.answered, 200u);
  EXPECT_LE(most.lines, Client::kMaxUnanswered);
  EXPECT_LE(most.bytes, Client::kMaxUnansweredBytes);
  // The window is used: more than one line is in flight.
  EXPECT_GT(most.lines, 8u);
}

}  // namespace
}  // namespace virelo::client
