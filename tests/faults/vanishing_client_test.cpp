// Clients that disappear in the middle of a command: closed, shut down, reset, or killed with the
// connection in their hands. Each time everything they held is released and nothing stays open.
#include <signal.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>

#include "tests/faults/service_under_fault.h"

namespace virelo::test {
namespace {

constexpr int kRounds = 10;
const std::string kPartialCommand = R"({"cmd":"keyboard","modifiers":1,"ke)";

using VanishingClient = ServiceUnderFault;

TEST_P(VanishingClient, ClosedInTheMiddleOfACommandLine) {
  for (int i = 0; i < kRounds; ++i) {
    auto client = holder();
    client->sendRaw(kPartialCommand);
    client->close();
    tally("vanish: close mid-command");
    expectReleased();
    expectDescriptors();
  }
  expectRecovered();
}

TEST_P(VanishingClient, ShutDownWithoutClosing) {
  for (int i = 0; i < kRounds; ++i) {
    auto client = holder();
    client->sendRaw(kPartialCommand);
    ::shutdown(client->fd(), SHUT_RDWR);
    tally("vanish: shutdown");
    expectReleased();
    // The service sees the end of the stream and lets go of its end, though ours is still open.
    expectDescriptors();
  }
  expectRecovered();
}

TEST_P(VanishingClient, ResetWithZeroLinger) {
  for (int i = 0; i < kRounds; ++i) {
    auto client = holder();
    client->sendRaw(kPartialCommand);
    linger zero{1, 0};
    ::setsockopt(client->fd(), SOL_SOCKET, SO_LINGER, &zero, sizeof(zero));
    client->close();
    tally("vanish: reset with zero linger");
    expectReleased();
    expectDescriptors();
  }
  expectRecovered();
}

TEST_P(VanishingClient, KilledProcessHoldingTheConnection) {
  const std::string path = service_->socketPath();
  std::string commands =
      nlohmann::json{{"cmd", "hello"}, {"token", service_->token()}}.dump() + "\n";
  for (const auto& command : holdEverythingCommands()) commands += command.dump() + "\n";
  commands += kPartialCommand;
  for (int i = 0; i < kRounds; ++i) {
    pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      // Only async-signal-safe calls from here on: connect, send everything, wait to be killed.
      int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
      sockaddr_un addr{};
      addr.sun_family = AF_UNIX;
      std::memcpy(addr.sun_path, path.c_str(), path.size() + 1);
      if (::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof(addr)) != 0) ::_exit(1);
      if (::send(fd, commands.data(), commands.size(), MSG_NOSIGNAL) !=
          static_cast<ssize_t>(commands.size())) {
        ::_exit(1);
      }
      for (;;) ::pause();
    }
    EXPECT_TRUE(held().waitHeld());
    ::kill(child, SIGKILL);
    int status = 0;
    ::waitpid(child, &status, 0);
    EXPECT_TRUE(WIFSIGNALED(status));
    tally("vanish: killed process");
    expectReleased();
    expectDescriptors();
  }
  expectRecovered();
}

TEST_P(VanishingClient, ClosedRightAfterABurstOfCommandsWithoutReadingReplies) {
  // The replies meet a closed peer (EPIPE); SIGPIPE is ignored, so the service goes on.
  for (int i = 0; i < kRounds; ++i) {
    auto client = holder();
    std::string burst;
    for (int n = 0; n < 20; ++n)
      burst += R"({"cmd":"keyboard","modifiers":2,"keys":[4,5]})"
               "\n";
    client->sendRaw(burst);
    client->close();
    tally("vanish: close with replies in flight (EPIPE)");
    expectReleased();
    expectDescriptors();
  }
  expectRecovered();
}

INSTANTIATE_TEST_SUITE_P(Backends, VanishingClient, testing::Values("corehid", "cgevent"));

}  // namespace
}  // namespace virelo::test
