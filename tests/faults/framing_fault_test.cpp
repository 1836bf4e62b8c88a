// Clients that break the framing rules: slow readers, lines that never end, lines and buffers
// past their limits, too many lines at once, and lines that are not commands.
#include <sys/socket.h>

#include <thread>

#include "tests/faults/service_under_fault.h"

namespace virelo::test {
namespace {

using FramingFault = ServiceUnderFault;

const std::string kStatusLine = R"({"cmd":"status"})"
                                "\n";

TEST_P(FramingFault, SlowReaderIsDroppedOnceItsSocketBufferIsFull) {
  auto client = holder();
  int small = 4096;
  ::setsockopt(client->fd(), SOL_SOCKET, SO_RCVBUF, &small, sizeof(small));
  std::string batch;
  for (int i = 0; i < 16; ++i) batch += kStatusLine;
  // Never read: the replies pile up until one cannot be sent whole.
  bool dropped = false;
  for (int round = 0; round < 4000 && !dropped; ++round) {
    if (::send(client->fd(), batch.data(), batch.size(), MSG_NOSIGNAL | MSG_DONTWAIT) < 0 &&
        errno != EAGAIN) {
      dropped = true;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
    if (round % 50 == 49) dropped = dropped || held().released();
  }
  tally("framing: slow reader");
  EXPECT_TRUE(dropped);
  client->close();
  expectRecovered();
}

TEST_P(FramingFault, PartialLineThatNeverEndsKeepsOthersServed) {
  auto client = holder();
  client->sendRaw(R"({"cmd":"keyboard","modifiers":0,"keys":[)");
  for (int i = 0; i < 10; ++i) {
    auto other = authenticated();
    EXPECT_EQ(other->command({{"cmd", "status"}}), (nlohmann::json{{"ok", true}, {"ready", true}}));
  }
  // The client is still connected: what it holds stays held.
  EXPECT_TRUE(held().waitHeld(std::chrono::milliseconds(0)));
  // Growing the partial line past the receive buffer drops it.
  client->sendRaw(std::string(4096, '1'));
  tally("framing: partial line past the buffer");
  EXPECT_TRUE(client->closedByService());
  expectRecovered();
}

TEST_P(FramingFault, UnauthenticatedPartialLineIsDroppedAfterTwoSeconds) {
  TestClient client(service_->socketPath());
  client.sendRaw(R"({"cmd":"hello","tok)");
  tally("framing: partial line never ends (unauthenticated)");
  EXPECT_FALSE(client.readLine(std::chrono::milliseconds(1500)));
  EXPECT_TRUE(client.closedByService(std::chrono::seconds(3)));
  expectRecovered();
}

TEST_P(FramingFault, LineOverTheLimitDropsWithoutReply) {
  for (std::size_t length : {2049u, 4000u}) {
    auto client = holder();
    std::string line = R"({"cmd":"status","pad":")";
    line += std::string(length - line.size() - 2, 'x') + "\"}";
    client->sendLine(line);
    tally("framing: line over 2048 bytes");
    EXPECT_FALSE(client->readLine());
    EXPECT_TRUE(client->closedByService());
    expectReleased();
  }
  expectRecovered();
}

TEST_P(FramingFault, FloodPastTheReceiveBufferDrops) {
  for (std::size_t bytes : {4097u, 8192u, 65536u}) {
    auto client = holder();
    client->sendRaw(std::string(bytes, 'z'));
    tally("framing: flood past the 4096-byte buffer");
    EXPECT_TRUE(client->closedByService());
    expectReleased();
  }
  expectRecovered();
}

TEST_P(FramingFault, ThirtyThreeLinesInOneSendAnswerThirtyTwoThenDrop) {
  for (int round = 0; round < 5; ++round) {
    auto client = holder();
    std::string lines;
    for (int i = 0; i < 33; ++i) lines += kStatusLine;
    client->sendRaw(lines);
    tally("framing: 33 lines in one send");
    int answered = 0;
    while (client->readLine(std::chrono::milliseconds(2000))) ++answered;
    EXPECT_EQ(answered, 32);
    EXPECT_TRUE(client->closedByService());
    expectReleased();
  }
  expectRecovered();
}

TEST_P(FramingFault, LinesThatAreNotCommandsDropAfterOneProtocolError) {
  const std::vector<std::string> lines = {"",
                                          "[]",
                                          "42",
                                          "not json",
                                          "{\"cmd\":",
                                          "\xff\xfe",
                                          R"({"cmd":"dance"})",
                                          R"({"cmd":"keyboard","modifiers":256,"keys":[]})",
                                          R"({"cmd":"keyboard","modifiers":0,"keys":[0]})",
                                          R"({"cmd":"buttons","buttons":32})",
                                          R"({"cmd":"consumer","usages":[48]})",
                                          R"({"cmd":"move","snap":1,"dx":0,"dy":0})",
                                          R"({"cmd":"motion","dx":0,"dy":0,"t_ns":0})",
                                          R"({"cmd":"hello","token":"x"})"};
  for (const auto& line : lines) {
    auto client = holder();
    client->sendLine(line);
    tally("framing: invalid line");
    auto reply = client->readLine();
    ASSERT_TRUE(reply) << line;
    EXPECT_EQ(nlohmann::json::parse(*reply)["error"], "virtual_hid_protocol_error") << line;
    EXPECT_TRUE(client->closedByService()) << line;
    expectReleased();
  }
  expectRecovered();
}

INSTANTIATE_TEST_SUITE_P(Backends, FramingFault, testing::Values("corehid", "cgevent"));

}  // namespace
}  // namespace virelo::test
