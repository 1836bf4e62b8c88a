// Connection framing and life cycle over real local sockets: a ConnectionService over a Bridge
// with fake devices, a listening socket from openServer in a private directory, and the test
// playing the main loop by calling acceptOne and serve itself.
#include "service/connection_service.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstring>
#include <set>
#include <string>
#include <vector>

#include "private_dir.h"
#include "service/socket_server.h"
#include "support/doubles/bridge_rig.h"

namespace virelo::testing {
namespace {

using json = nlohmann::json;

const std::string kHello = R"({"cmd":"hello","token":")" + kToken + R"("})" + "\n";
const std::string kStatus = "{\"cmd\":\"status\"}\n";
const json kAck = {{"ok", true}, {"ready", true}};

json protocolErrorReply(bool ready) {
  return {{"ok", false},
          {"ready", ready},
          {"backend", "corehid"},
          {"error", "virtual_hid_protocol_error"}};
}

// What a client has been sent so far, and whether the service has closed the connection.
struct Received {
  std::vector<json> lines;
  std::string partial;
  bool closed = false;
};

class Connections : public ::testing::Test {
 protected:
  explicit Connections(bool start = true) : start_(start) {}

  void SetUp() override {
    savedMask_ = ::umask(022);
    if (start_) rig.bridge->start();
    rig.devices.forgetReports();
    socketPath_ = dir / "s.sock";
    listenFd_ = openServer(socketPath_);
    service =
        std::make_unique<ConnectionService>(*rig.bridge, *rig.registry, kToken, rig.clock.fn());
  }
  void TearDown() override {
    for (int fd : clientFds_) ::close(fd);
    ::close(listenFd_);
    ::umask(savedMask_);
  }

  // Connects a client; returns its descriptor. Not yet accepted.
  int dial() {
    int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    std::strcpy(addr.sun_path, socketPath_.c_str());
    if (::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof(addr)) != 0) {
      ADD_FAILURE() << "connect: " << std::strerror(errno);
    }
    clientFds_.push_back(fd);
    return fd;
  }

  // Connects and accepts a client; returns (client descriptor, service descriptor).
  std::pair<int, int> admit() {
    std::set<int> before;
    for (const auto& [fd, owner] : rig.registry->all()) before.insert(fd);
    int client = dial();
    service->acceptOne(listenFd_);
    for (const auto& [fd, owner] : rig.registry->all()) {
      if (before.count(fd) == 0) return {client, fd};
    }
    ADD_FAILURE() << "client was not admitted";
    return {client, -1};
  }

  std::pair<int, int> admitAuthenticated() {
    auto [client, fd] = admit();
    send(client, kHello);
    pass(fd);
    Received hello = receive(client);
    EXPECT_EQ(hello.lines.size(), 1u);
    return {client, fd};
  }

  // One pass of client service for one descriptor, with the poll result the main loop would see.
  short pass(int fd) {
    pollfd entry{fd, POLLIN, 0};
    ::poll(&entry, 1, 0);
    service->serve(fd, entry.revents);
    return entry.revents;
  }

  static void send(int client, const std::string& bytes) {
    ASSERT_EQ(::send(client, bytes.data(), bytes.size(), MSG_NOSIGNAL),
              static_cast<ssize_t>(bytes.size()));
  }

  // Everything the client can read now, without waiting (the service replies synchronously).
  static Received receive(int client) {
    Received out;
    std::string data;
    char buffer[65536];
    for (;;) {
      ssize_t got = ::recv(client, buffer, sizeof(buffer), MSG_DONTWAIT);
      if (got > 0) {
        data.append(buffer, static_cast<std::size_t>(got));
        continue;
      }
      out.closed = got == 0 || (errno != EAGAIN && errno != EWOULDBLOCK);
      break;
    }
    std::size_t start = 0;
    for (std::size_t nl; (nl = data.find('\n', start)) != std::string::npos; start = nl + 1) {
      out.lines.push_back(json::parse(data.substr(start, nl - start)));
    }
    out.partial = data.substr(start);
    return out;
  }

  bool admitted(int fd) const { return rig.admitted(fd); }
  void acceptOne() { service->acceptOne(listenFd_); }

  PrivateDir dir;
  BridgeRig rig{InputBackend::corehid};
  std::unique_ptr<ConnectionService> service;

 private:
  bool start_;
  mode_t savedMask_ = 0;
  std::string socketPath_;
  int listenFd_ = -1;
  std::vector<int> clientFds_;
};

class NotReadyConnections : public Connections {
 protected:
  NotReadyConnections() : Connections(false) {}
};

TEST_F(Connections, NothingIsSentOnAdmissionAndTheRecordStartsUnauthenticated) {
  auto [client, fd] = admit();
  ASSERT_TRUE(admitted(fd));
  EXPECT_FALSE(rig.registry->all().at(fd).authenticated);
  EXPECT_EQ(rig.registry->all().at(fd).connectedAt, rig.clock.now());
  EXPECT_EQ(::fcntl(fd, F_GETFL) & O_NONBLOCK, O_NONBLOCK);
  Received r = receive(client);
  EXPECT_TRUE(r.lines.empty());
  EXPECT_FALSE(r.closed);
}

TEST_F(Connections, RequestSplitOverSeveralSendsIsHandledOnceItsNewlineArrives) {
  auto [client, fd] = admit();
  send(client, kHello.substr(0, 10));
  pass(fd);
  send(client, kHello.substr(10, 30));
  pass(fd);
  EXPECT_TRUE(receive(client).lines.empty());
  send(client, kHello.substr(40));
  pass(fd);
  Received r = receive(client);
  ASSERT_EQ(r.lines.size(), 1u);
  EXPECT_EQ(r.lines[0],
            json({{"ok", true}, {"ready", true}, {"backend", "corehid"}, {"protocol", 1}}));
  EXPECT_TRUE(r.partial.empty());
}

TEST_F(Connections, TwoRequestsInOneSendAreBothAnsweredInOrder) {
  auto [client, fd] = admit();
  send(client, kHello + kStatus);
  pass(fd);
  Received r = receive(client);
  ASSERT_EQ(r.lines.size(), 2u);
  EXPECT_EQ(r.lines[0]["protocol"], 1);
  EXPECT_EQ(r.lines[1], kAck);
  EXPECT_FALSE(r.closed);
}

TEST_F(Connections, RepliesAreCompactLinesEndingInOneNewline) {
  auto [client, fd] = admitAuthenticated();
  send(client, kStatus);
  pass(fd);
  char buffer[256];
  ssize_t got = ::recv(client, buffer, sizeof(buffer), MSG_DONTWAIT);
  ASSERT_GT(got, 0);
  std::string line(buffer, static_cast<std::size_t>(got));
  EXPECT_EQ(line.find(' '), std::string::npos);
  EXPECT_EQ(line.back(), '\n');
  EXPECT_EQ(line.find('\n'), line.size() - 1);
}

TEST_F(Connections, ThirtyTwoLinesInOneSendAreAllAnswered) {
  auto [client, fd] = admit();
  std::string lines = kHello;
  for (int i = 0; i < 31; ++i) lines += kStatus;
  send(client, lines);
  pass(fd);
  Received r = receive(client);
  EXPECT_EQ(r.lines.size(), 32u);
  EXPECT_FALSE(r.closed);
  EXPECT_TRUE(admitted(fd));
}

TEST_F(Connections, ThirtyThreeLinesInOneSendAnswerThirtyTwoThenClose) {
  auto [client, fd] = admit();
  std::string lines = kHello;
  for (int i = 0; i < 32; ++i) lines += kStatus;
  send(client, lines);
  pass(fd);
  Received r = receive(client);
  EXPECT_EQ(r.lines.size(), 32u);
  EXPECT_TRUE(r.closed);
  EXPECT_FALSE(admitted(fd));
}

TEST_F(Connections, LineOf2048BytesIsAnswered) {
  auto [client, fd] = admit();
  std::string line = kHello.substr(0, kHello.size() - 2);  // without "}\n"
  line += std::string(2047 - line.size(), ' ') + "}";
  ASSERT_EQ(line.size(), 2048u);
  send(client, line + "\n");
  pass(fd);
  Received r = receive(client);
  EXPECT_EQ(r.lines.size(), 1u);
  EXPECT_FALSE(r.closed);
}

TEST_F(Connections, LineOf2049BytesClosesWithoutReply) {
  auto [client, fd] = admit();
  std::string line = kHello.substr(0, kHello.size() - 2);
  line += std::string(2048 - line.size(), ' ') + "}";
  ASSERT_EQ(line.size(), 2049u);
  send(client, line + "\n");
  pass(fd);
  Received r = receive(client);
  EXPECT_TRUE(r.lines.empty());
  EXPECT_TRUE(r.partial.empty());
  EXPECT_TRUE(r.closed);
  EXPECT_FALSE(admitted(fd));
}

TEST_F(Connections, PartialLineGrowingPast4096BytesCloses) {
  auto [client, fd] = admit();
  send(client, std::string(2000, ' '));
  pass(fd);
  send(client, std::string(2096, ' '));
  pass(fd);
  EXPECT_TRUE(admitted(fd)) << "4096 buffered bytes are still allowed";
  EXPECT_EQ(rig.registry->all().at(fd).input.size(), 4096u);
  send(client, " ");
  pass(fd);
  Received r = receive(client);
  EXPECT_TRUE(r.lines.empty());
  EXPECT_TRUE(r.closed);
  EXPECT_FALSE(admitted(fd));
}

TEST_F(Connections, OneReceiveReadsAtMost4096Bytes) {
  auto [client, fd] = admit();
  send(client, std::string(5000, ' '));
  pass(fd);
  EXPECT_TRUE(admitted(fd));
  EXPECT_EQ(rig.registry->all().at(fd).input.size(), 4096u);
  pass(fd);
  EXPECT_FALSE(admitted(fd));
}

class NotAnObjectLine : public Connections, public ::testing::WithParamInterface<std::string> {};

TEST_P(NotAnObjectLine, GetsOneProtocolErrorReplyThenTheConnectionCloses) {
  auto [client, fd] = admitAuthenticated();
  send(client, GetParam() + "\n" + kStatus);
  pass(fd);
  Received r = receive(client);
  ASSERT_EQ(r.lines.size(), 1u);
  EXPECT_EQ(r.lines[0], protocolErrorReply(true));
  EXPECT_TRUE(r.closed);
  EXPECT_FALSE(admitted(fd));
}

INSTANTIATE_TEST_SUITE_P(Lines, NotAnObjectLine,
                         ::testing::Values("[1,2]", "42", "", "\r", "hello",
                                           "{\"cmd\":", "\"status\"", "null",
                                           "{\"cmd\":\"status\"} {\"cmd\":\"status\"}",
                                           "{\"cmd\":\"st\xFF\"}"));

TEST_F(Connections, CommandBeforeHelloGetsTheProtocolErrorReplyThenCloses) {
  auto [client, fd] = admit();
  send(client, kStatus);
  pass(fd);
  Received r = receive(client);
  ASSERT_EQ(r.lines.size(), 1u);
  EXPECT_EQ(r.lines[0], protocolErrorReply(true));
  EXPECT_TRUE(r.closed);
}

TEST_F(Connections, HelloWithAWrongTokenGetsOneProtocolErrorReplyThenCloses) {
  auto [client, fd] = admit();
  std::string wrong = kHello;
  wrong[wrong.find(kToken) + 5] = 'X';
  send(client, wrong);
  pass(fd);
  Received r = receive(client);
  ASSERT_EQ(r.lines.size(), 1u);
  EXPECT_EQ(r.lines[0], protocolErrorReply(true));
  EXPECT_TRUE(r.closed);
  EXPECT_FALSE(admitted(fd));
}

TEST_F(NotReadyConnections, WrongTokenReplyCarriesTheBridgesReadiness) {
  auto [client, fd] = admit();
  send(client, R"({"cmd":"hello","token":"nope"})"
               "\n");
  pass(fd);
  Received r = receive(client);
  ASSERT_EQ(r.lines.size(), 1u);
  EXPECT_EQ(r.lines[0], protocolErrorReply(false));
  EXPECT_TRUE(r.closed);
}

TEST_F(Connections, HangUpWithPendingDataDropsTheClientWithoutReadingIt) {
  auto [client, fd] = admitAuthenticated();
  send(client, R"({"cmd":"keyboard","modifiers":0,"keys":[4]})"
               "\n");
  ::shutdown(client, SHUT_RDWR);
  short revents = pass(fd);
  EXPECT_TRUE(revents & POLLHUP);
  EXPECT_TRUE(revents & POLLIN);
  EXPECT_FALSE(admitted(fd));
  for (const auto& report : rig.devices.reports("keyboard")) {
    EXPECT_EQ(report, Bytes(33, 0)) << "the pending command was never handled";
  }
}

TEST_F(Connections, ErrorConditionsDropWithoutReading) {
  for (int condition : {POLLERR, POLLNVAL, POLLHUP}) {
    auto [client, fd] = admitAuthenticated();
    send(client, kStatus);
    service->serve(fd, static_cast<short>(condition | POLLIN));
    EXPECT_FALSE(admitted(fd)) << condition;
    Received r = receive(client);
    EXPECT_TRUE(r.lines.empty()) << condition;
    EXPECT_TRUE(r.closed) << condition;
  }
}

TEST_F(Connections, EndOfStreamDropsTheClient) {
  auto [client, fd] = admitAuthenticated();
  ::shutdown(client, SHUT_WR);
  service->serve(fd, POLLIN);
  EXPECT_FALSE(admitted(fd));
}

TEST_F(Connections, ReadableWithoutDataKeepsTheClient) {
  auto [client, fd] = admitAuthenticated();
  service->serve(fd, POLLIN);  // the receive would block
  EXPECT_TRUE(admitted(fd));
  EXPECT_FALSE(receive(client).closed);
}

TEST_F(Connections, ClientFoundDeadInsideItsOwnCommandGetsNoReplyAndNoMovement) {
  auto [client, fd] = admitAuthenticated();
  send(client, R"({"cmd":"move","dx":9,"dy":9})"
               "\n");
  ::shutdown(client, SHUT_WR);  // half-closed: the line is read, then the peek sees the end
  pass(fd);
  EXPECT_FALSE(admitted(fd));
  EXPECT_EQ(rig.devices.reportCount("mouse"), 0u);
  Received r = receive(client);
  EXPECT_TRUE(r.lines.empty());
  EXPECT_TRUE(r.closed);
  EXPECT_TRUE(rig.bridge->pendingRelease());
}

// The dead-client test remembers bytes it found waiting until the next receive; a half-closed
// client whose lines are still unread must stay, and must go as soon as they have been read.
TEST_F(Connections, HalfClosedClientStaysWhileItsLinesAreUnreadAndGoesOnceTheyAreRead) {
  auto [client, fd] = admitAuthenticated();
  send(client, kStatus);
  ::shutdown(client, SHUT_WR);
  rig.registry->pruneDisconnected();
  rig.registry->pruneDisconnected();
  EXPECT_TRUE(admitted(fd));
  pass(fd);  // the status line is read and answered
  EXPECT_TRUE(admitted(fd));
  rig.registry->pruneDisconnected();
  EXPECT_FALSE(admitted(fd));
  Received r = receive(client);
  EXPECT_EQ(r.lines.size(), 1u);
  EXPECT_TRUE(r.closed);
}

TEST_F(Connections, ClientWithWaitingBytesThatClosesIsDroppedAtTheNextTest) {
  auto [client, fd] = admitAuthenticated();
  send(client, "{\"cmd\":");
  rig.registry->pruneDisconnected();
  EXPECT_TRUE(admitted(fd));
  ::shutdown(client, SHUT_RDWR);
  rig.registry->pruneDisconnected();
  EXPECT_FALSE(admitted(fd));
}

TEST_F(Connections, ClientThatNeverReadsIsDroppedOnceAReplyCannotBeSentWhole) {
  auto [client, fd] = admitAuthenticated();
  int small = 1;  // the kernel rounds this up to its minimum
  ASSERT_EQ(::setsockopt(fd, SOL_SOCKET, SO_SNDBUF, &small, sizeof(small)), 0);
  std::string batch;
  for (int i = 0; i < 32; ++i) batch += kStatus;
  int passes = 0;
  while (admitted(fd) && passes < 1000) {
    send(client, batch);
    pass(fd);
    ++passes;
  }
  EXPECT_FALSE(admitted(fd));
  EXPECT_GT(passes, 0);
  Received r = receive(client);
  EXPECT_TRUE(r.closed);
  EXPECT_TRUE(r.partial.empty()) << "only whole replies were sent";
  for (const auto& line : r.lines) EXPECT_EQ(line, kAck);
}

TEST_F(Connections, UnauthenticatedClientIsDroppedJustAfterTwoSeconds) {
  auto [client, fd] = admit();
  rig.clock.advance(2'000'000'000);
  pass(fd);
  EXPECT_TRUE(admitted(fd));
  rig.clock.advance(1);
  service->serve(fd, 0);  // checked whatever the poll result
  EXPECT_FALSE(admitted(fd));
  Received r = receive(client);
  EXPECT_TRUE(r.lines.empty());
  EXPECT_TRUE(r.closed);
}

TEST_F(Connections, UnauthenticatedClientIsDroppedEvenWithAHelloWaiting) {
  auto [client, fd] = admit();
  send(client, kHello);
  rig.clock.advance(2'000'000'001);
  pass(fd);
  EXPECT_FALSE(admitted(fd));
  EXPECT_TRUE(receive(client).lines.empty());
}

TEST_F(Connections, AuthenticatedClientThatSendsNothingStays) {
  auto [client, fd] = admitAuthenticated();
  rig.clock.advance(60'000'000'000);
  pass(fd);
  EXPECT_TRUE(admitted(fd));
  EXPECT_FALSE(receive(client).closed);
}

TEST_F(Connections, FifthClientIsClosedAtOnceWithoutData) {
  std::vector<std::pair<int, int>> four;
  for (int i = 0; i < 4; ++i) four.push_back(admit());
  ASSERT_EQ(rig.registry->size(), 4u);
  int fifth = dial();
  acceptOne();
  EXPECT_EQ(rig.registry->size(), 4u);
  Received r = receive(fifth);
  EXPECT_TRUE(r.lines.empty());
  EXPECT_TRUE(r.partial.empty());
  EXPECT_TRUE(r.closed);
  for (auto [client, fd] : four) {
    send(client, kHello);
    pass(fd);
    EXPECT_EQ(receive(client).lines.size(), 1u);
  }
}

TEST_F(Connections, ClientThatClosedSinceThePruneMakesRoomForTheNext) {
  std::vector<std::pair<int, int>> four;
  for (int i = 0; i < 4; ++i) four.push_back(admit());
  ::shutdown(four[1].first, SHUT_RDWR);
  auto [fifth, fd] = admit();
  EXPECT_TRUE(admitted(fd));
  EXPECT_FALSE(admitted(four[1].second));
  EXPECT_EQ(rig.registry->size(), 4u);
}

// Runs accept with no descriptor left to the process (the soft limit at the lowest free number).
template <typename Accept>
void withoutDescriptors(Accept accept) {
  rlimit saved{};
  ASSERT_EQ(::getrlimit(RLIMIT_NOFILE, &saved), 0);
  int lowestFree = ::dup(0);
  ASSERT_GE(lowestFree, 0);
  ::close(lowestFree);
  rlimit none = saved;
  none.rlim_cur = static_cast<rlim_t>(lowestFree);
  ASSERT_EQ(::setrlimit(RLIMIT_NOFILE, &none), 0);
  accept();
  ASSERT_EQ(::setrlimit(RLIMIT_NOFILE, &saved), 0);
}

TEST_F(Connections, ListenerRestsAfterRunningOutOfDescriptorsUntilAClientGoesOrTheDelayPasses) {
  auto [client, fd] = admit();
  int waiting = dial();
  withoutDescriptors([this] { acceptOne(); });
  EXPECT_FALSE(service->accepting());
  rig.clock.advance(ConnectionService::kAcceptPauseNS - 1);
  EXPECT_FALSE(service->accepting());
  rig.clock.advance(1);
  EXPECT_TRUE(service->accepting());

  withoutDescriptors([this] { acceptOne(); });
  EXPECT_FALSE(service->accepting());
  ::shutdown(client, SHUT_RDWR);
  pass(fd);
  EXPECT_TRUE(service->accepting());
  acceptOne();
  EXPECT_EQ(rig.registry->size(), 1u);
  EXPECT_FALSE(receive(waiting).closed);
}

TEST_F(Connections, AcceptWithNothingWaitingDoesNothing) {
  acceptOne();
  EXPECT_TRUE((rig.registry->size() == 0));
}

TEST_F(Connections, DroppedClientsInputIsReleasedAtOnce) {
  auto [client, fd] = admitAuthenticated();
  auto [otherClient, other] = admitAuthenticated();
  send(otherClient, R"({"cmd":"keyboard","modifiers":1,"keys":[7]})"
                    "\n");
  pass(other);
  send(client, R"({"cmd":"keyboard","modifiers":2,"keys":[4]})"
               "\n"
               R"({"cmd":"consumer","usages":[226]})"
               "\n"
               R"({"cmd":"buttons","buttons":1})"
               "\n");
  pass(fd);
  ASSERT_EQ(receive(client).lines.size(), 3u);
  EXPECT_EQ(rig.devices.lastReport("mouse"), Bytes({1, 0, 0, 0}));
  send(client, "[1]\n");
  pass(fd);
  EXPECT_FALSE(admitted(fd));
  Bytes keyboard(33, 0);
  keyboard[0] = 1;
  keyboard[1] = 7;
  EXPECT_EQ(rig.devices.lastReport("keyboard"), keyboard);
  EXPECT_EQ(rig.devices.lastReport("media"), Bytes{0});
  EXPECT_EQ(rig.devices.lastReport("mouse"), Bytes({0, 0, 0, 0}));
  EXPECT_EQ(rig.hid->mouseDelegate().input(), Bytes({0, 0, 0, 0}));
}

TEST_F(Connections, ServingADroppedDescriptorIsSkipped) {
  auto [client, fd] = admit();
  service->drop(fd);
  EXPECT_FALSE(admitted(fd));
  service->serve(fd, POLLIN);
  EXPECT_TRUE(receive(client).closed);
}

TEST_F(Connections, ACommandThatRunsIntoTheStopIsNotAnswered) {
  auto [client, fd] = admitAuthenticated();
  rig.lifetime.requestStop();
  send(client, R"({"cmd":"keyboard","modifiers":0,"keys":[4]})"
               "\n"
               R"({"cmd":"status"})"
               "\n");
  EXPECT_NO_THROW(pass(fd));
  EXPECT_TRUE(rig.bridge->stopped());
  EXPECT_TRUE(admitted(fd));
  EXPECT_TRUE(receive(client).lines.empty());
}

}  // namespace
}  // namespace virelo::testing
