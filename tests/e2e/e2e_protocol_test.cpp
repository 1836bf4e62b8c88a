// Clients of the real service: admission, framing, the handshake, the commands and what reaches
// the virtual devices.
#include <gtest/gtest.h>
#include <sys/socket.h>

#include <thread>

#include "core/monotonic_clock.h"
#include "tests/support/host_control.h"
#include "tests/support/host_trace.h"
#include "tests/support/service_process.h"
#include "tests/support/service_user.h"
#include "tests/support/test_client.h"

namespace virelo::test {
namespace {

const nlohmann::json kAck = {{"ok", true}, {"ready", true}};

class Clients : public testing::Test {
 protected:
  void SetUp() override { service_.awaitReady(); }

  std::unique_ptr<TestClient> authenticated() {
    auto client = std::make_unique<TestClient>(service_.socketPath());
    EXPECT_EQ(client->hello(service_.token())["ready"], true);
    return client;
  }
  HostTrace trace() const { return HostTrace(service_.tracePath()); }
  nlohmann::json protocolError() const {
    return {{"ok", false},
            {"ready", true},
            {"backend", "corehid"},
            {"error", "virtual_hid_protocol_error"}};
  }

  ServiceProcess service_;
};

TEST_F(Clients, HelloIsAnsweredWithTheStatus) {
  TestClient client(service_.socketPath());
  EXPECT_EQ(
      client.hello(service_.token()),
      (nlohmann::json{{"ok", true}, {"ready", true}, {"backend", "corehid"}, {"protocol", 1}}));
  EXPECT_EQ(client.command({{"cmd", "status"}}), kAck);
}

TEST_F(Clients, CommandBeforeHelloIsAProtocolError) {
  TestClient client(service_.socketPath());
  EXPECT_EQ(client.command({{"cmd", "status"}}), protocolError());
  EXPECT_TRUE(client.closedByService());
}

TEST_F(Clients, WrongTokenIsAProtocolError) {
  std::string wrong = service_.token();
  wrong[0] = wrong[0] == 'a' ? 'b' : 'a';
  for (const nlohmann::json& hello :
       {nlohmann::json{{"cmd", "hello"}, {"token", wrong}}, nlohmann::json{{"cmd", "hello"}},
        nlohmann::json{{"cmd", "hello"}, {"token", 5}}}) {
    TestClient client(service_.socketPath());
    EXPECT_EQ(client.command(hello), protocolError());
    EXPECT_TRUE(client.closedByService());
  }
}

TEST_F(Clients, SecondHelloIsAProtocolErrorWhileReady) {
  auto client = authenticated();
  EXPECT_EQ(client->hello(service_.token()), protocolError());
  EXPECT_TRUE(client->closedByService());
}

TEST_F(Clients, LinesThatAreNotObjectsGetOneProtocolErrorThenClose) {
  for (std::string line : {"[1,2]", "42", "", "not json", "{\"cmd\":", "\"text\""}) {
    TestClient client(service_.socketPath());
    client.sendLine(line);
    EXPECT_EQ(nlohmann::json::parse(client.readLine().value_or("null")), protocolError()) << line;
    EXPECT_TRUE(client.closedByService()) << line;
  }
}

TEST_F(Clients, RequestSplitOverSendsIsHandledAtItsNewline) {
  TestClient client(service_.socketPath());
  std::string hello = nlohmann::json{{"cmd", "hello"}, {"token", service_.token()}}.dump();
  client.sendRaw(hello.substr(0, 10));
  EXPECT_FALSE(client.readLine(100ms));
  client.sendRaw(hello.substr(10) + "\n");
  EXPECT_EQ(nlohmann::json::parse(*client.readLine())["ready"], true);
}

TEST_F(Clients, TwoRequestsInOneSendAreAnsweredInOrder) {
  TestClient client(service_.socketPath());
  client.sendRaw(nlohmann::json{{"cmd", "hello"}, {"token", service_.token()}}.dump() + "\n" +
                 R"({"cmd":"stop_motion"})" + "\n");
  EXPECT_EQ(nlohmann::json::parse(*client.readLine())["protocol"], 1);
  EXPECT_EQ(nlohmann::json::parse(*client.readLine()), kAck);
}

TEST_F(Clients, ThirtyThreeLinesInOneSendAnswerThirtyTwoThenClose) {
  auto client = authenticated();
  std::string lines;
  for (int i = 0; i < 33; ++i)
    lines += R"({"cmd":"status"})"
             "\n";
  client->sendRaw(lines);
  for (int i = 0; i < 32; ++i)
    EXPECT_EQ(nlohmann::json::parse(client->readLine().value_or("null")), kAck);
  EXPECT_FALSE(client->readLine());
  EXPECT_TRUE(client->closedByService());
}

TEST_F(Clients, LineOf2049BytesClosesWithoutReply) {
  auto client = authenticated();
  std::string line = R"({"cmd":"status","pad":")";
  line += std::string(2049 - line.size() - 2, 'x') + "\"}";
  ASSERT_EQ(line.size(), 2049u);
  client->sendLine(line);
  EXPECT_FALSE(client->readLine());
  EXPECT_TRUE(client->closedByService());
}

TEST_F(Clients, LineOf2048BytesIsServed) {
  auto client = authenticated();
  std::string line = R"({"cmd":"status","pad":")";
  line += std::string(2048 - line.size() - 2, 'x') + "\"}";
  ASSERT_EQ(line.size(), 2048u);
  client->sendLine(line);
  EXPECT_EQ(nlohmann::json::parse(client->readLine().value_or("null")), kAck);
}

TEST_F(Clients, PartialLinePast4096BytesCloses) {
  auto client = authenticated();
  client->sendRaw(std::string(3000, 'x'));
  std::this_thread::sleep_for(50ms);
  client->sendRaw(std::string(1200, 'x'));
  EXPECT_TRUE(client->closedByService());
}

TEST_F(Clients, FifthClientIsClosedAtOnceWithoutData) {
  std::vector<std::unique_ptr<TestClient>> four;
  for (int i = 0; i < 4; ++i) four.push_back(authenticated());
  TestClient fifth(service_.socketPath());
  EXPECT_TRUE(fifth.closedByService());
  for (auto& client : four) EXPECT_EQ(client->command({{"cmd", "status"}}), kAck);
  four.pop_back();
  // A place is free again once the service noticed the departure.
  std::this_thread::sleep_for(50ms);
  auto again = authenticated();
  EXPECT_EQ(again->command({{"cmd", "status"}}), kAck);
}

TEST_F(Clients, ForeignUserIsClosedAtOnceWithoutData) {
  if (!ServiceUser::privileged()) GTEST_SKIP() << "needs root to connect as another user";
  std::unique_ptr<TestClient> foreign;
  ServiceUser::asRoot([&] { foreign = std::make_unique<TestClient>(service_.socketPath()); });
  // Root can reach the socket through the private directory; other users cannot even connect.
  EXPECT_TRUE(foreign->closedByService());
  auto client = authenticated();
  EXPECT_EQ(client->command({{"cmd", "status"}}), kAck);
}

TEST_F(Clients, UnauthenticatedClientIsDroppedAfterTwoSeconds) {
  TestClient silent(service_.socketPath());
  auto quiet = authenticated();
  auto start = std::chrono::steady_clock::now();
  EXPECT_TRUE(silent.closedByService(5s));
  auto waited = std::chrono::steady_clock::now() - start;
  EXPECT_GE(waited, 1900ms);
  EXPECT_EQ(quiet->command({{"cmd", "status"}}), kAck);
}

TEST_F(Clients, KeyboardReachesTheVirtualKeyboardMerged) {
  auto a = authenticated();
  auto b = authenticated();
  EXPECT_EQ(a->command({{"cmd", "keyboard"}, {"modifiers", 2}, {"keys", {4}}}), kAck);
  EXPECT_EQ(b->command({{"cmd", "keyboard"}, {"modifiers", 1}, {"keys", {7, 4}}}), kAck);
  EXPECT_TRUE(trace().waitForReport("keyboard", keyboardHex(3, {4, 7})));
  EXPECT_EQ(b->command({{"cmd", "keyboard"}, {"modifiers", 0}, {"keys", nlohmann::json::array()}}),
            kAck);
  EXPECT_TRUE(trace().waitForReport("keyboard", keyboardHex(2, {4})));
}

TEST_F(Clients, HeldInputIsReleasedWhenAClientGoes) {
  auto client = authenticated();
  client->command({{"cmd", "keyboard"}, {"modifiers", 0x22}, {"keys", {0x2C, 4}}});
  client->command({{"cmd", "consumer"}, {"usages", {0xE9, 0xB6}}});
  client->command({{"cmd", "buttons"}, {"buttons", 5}});
  EXPECT_TRUE(trace().waitForReport("keyboard", keyboardHex(0x22, {4, 0x2C})));
  EXPECT_TRUE(trace().waitForReport("media", "22"));
  EXPECT_TRUE(trace().waitForReport("mouse", "05000000"));
  client->close();
  EXPECT_TRUE(trace().waitForReport("keyboard", emptyKeyboardHex()));
  EXPECT_TRUE(trace().waitForReport("media", "00"));
  EXPECT_TRUE(trace().waitForReport("mouse", "00000000"));
}

TEST_F(Clients, ProtocolErrorReleasesWhatTheClientHeld) {
  auto client = authenticated();
  client->command({{"cmd", "keyboard"}, {"modifiers", 0}, {"keys", {4}}});
  EXPECT_EQ(client->command({{"cmd", "keyboard"}, {"modifiers", 256}, {"keys", {4}}}),
            protocolError());
  EXPECT_TRUE(client->closedByService());
  EXPECT_TRUE(trace().waitForReport("keyboard", emptyKeyboardHex()));
}

TEST_F(Clients, PointerCommandsReachTheVirtualMouse) {
  auto client = authenticated();
  EXPECT_EQ(client->command({{"cmd", "move"}, {"dx", 5}, {"dy", -3}}), kAck);
  EXPECT_TRUE(trace().waitForReport("mouse", "0005fd00"));
  EXPECT_EQ(client->command({{"cmd", "wheel"}, {"amount", -127}}), kAck);
  EXPECT_TRUE(trace().waitForReport("mouse", "00000081"));
  EXPECT_EQ(client->command({{"cmd", "buttons"}, {"buttons", 31}}), kAck);
  EXPECT_TRUE(trace().waitForReport("mouse", "1f000000"));
  // The host reads the rest report: buttons without the movement.
  EXPECT_EQ(client->command({{"cmd", "move"}, {"dx", 127}, {"dy", 0}, {"snap", true}}), kAck);
  EXPECT_TRUE(trace().waitForReport("mouse", "1f7f0000"));
  auto reply = hostRequest(service_.controlPath(), {{"request", "get_report"},
                                                    {"device", "mouse"},
                                                    {"type", "input"},
                                                    {"id", nullptr},
                                                    {"maxSize", 4}});
  EXPECT_EQ(reply, (nlohmann::json{{"ok", true}, {"data", "1f000000"}}));
}

TEST_F(Clients, ValidationFailuresAreProtocolErrors) {
  std::vector<nlohmann::json> bad = {
      {{"cmd", "keyboard"}, {"modifiers", true}, {"keys", nlohmann::json::array()}},
      {{"cmd", "keyboard"}, {"modifiers", "3"}, {"keys", nlohmann::json::array()}},
      {{"cmd", "keyboard"}, {"keys", nlohmann::json::array()}},
      {{"cmd", "keyboard"}, {"modifiers", 0}, {"keys", {232}}},
      {{"cmd", "keyboard"}, {"modifiers", 0}, {"keys", {0}}},
      {{"cmd", "keyboard"}, {"modifiers", 0}, {"keys", nlohmann::json::array()}, {"fn", true}},
      {{"cmd", "keyboard"}, {"modifiers", 0}, {"keys", nlohmann::json::array()}, {"fn", 1}},
      {{"cmd", "consumer"}, {"usages", {226, 48}}},
      {{"cmd", "buttons"}, {"buttons", 32}},
      {{"cmd", "move"}, {"dx", 200}, {"dy", 0}},
      {{"cmd", "move"}, {"dx", 1}, {"dy", 0}, {"snap", 1}},
      {{"cmd", "wheel"}, {"amount", 1.5}},
      {{"cmd", "motion"}, {"dx", 1}, {"dy", 0}, {"t_ns", 0}},
      {{"cmd", "unknown"}},
      {{"cmd", 7}},
      {{"nocmd", "status"}},
  };
  for (const auto& command : bad) {
    auto client = authenticated();
    EXPECT_EQ(client->command(command), protocolError()) << command.dump();
    EXPECT_TRUE(client->closedByService()) << command.dump();
  }
}

TEST_F(Clients, WholeNumbersInFloatingFormAreIntegers) {
  auto client = authenticated();
  client->sendLine(R"({"cmd":"keyboard","modifiers":255.0,"keys":[4,4,5],"fn":false})");
  EXPECT_EQ(nlohmann::json::parse(*client->readLine()), kAck);
  EXPECT_TRUE(trace().waitForReport("keyboard", keyboardHex(255, {4, 5})));
  client->sendLine(R"({"cmd":"wheel","amount":1e2})");
  EXPECT_EQ(nlohmann::json::parse(*client->readLine()), kAck);
  EXPECT_TRUE(trace().waitForReport("mouse", "00000064"));
}

TEST_F(Clients, ThirtyTwoKeysAcrossClientsIsTheLimit) {
  auto a = authenticated();
  auto b = authenticated();
  auto c = authenticated();
  nlohmann::json first = nlohmann::json::array(), second = nlohmann::json::array();
  for (int k = 4; k < 20; ++k) first.push_back(k);
  for (int k = 20; k < 36; ++k) second.push_back(k);
  EXPECT_EQ(a->command({{"cmd", "keyboard"}, {"modifiers", 0}, {"keys", first}}), kAck);
  EXPECT_EQ(b->command({{"cmd", "keyboard"}, {"modifiers", 0}, {"keys", second}}), kAck);
  EXPECT_EQ(c->command({{"cmd", "keyboard"}, {"modifiers", 0}, {"keys", {4}}}), kAck);
  EXPECT_EQ(c->command({{"cmd", "keyboard"}, {"modifiers", 0}, {"keys", {40}}}), protocolError());
}

TEST_F(Clients, MotionMovesThePointerEveryTickUntilItLapses) {
  auto client = authenticated();
  EXPECT_EQ(client->command({{"cmd", "motion"}, {"dx", 10}, {"dy", -5}, {"t_ns", monotonicNS()}}),
            kAck);
  // 1000 counts per second: 8 counts per 8 ms tick, until the sample lapses after 40 ms.
  EXPECT_TRUE(trace().waitFor([](const auto& events) {
    int moving = 0;
    for (const auto& e : events) {
      if (e["event"] == "hid_input" && e["device"] == "mouse" && e["report"] == "0008fc00")
        ++moving;
    }
    return moving >= 2;
  }));
  EXPECT_TRUE(trace().waitForReport("mouse", "00000000", 1s));
  auto stale = client->command(
      {{"cmd", "motion"}, {"dx", 1}, {"dy", 0}, {"t_ns", monotonicNS() - 50'000'000}});
  EXPECT_EQ(stale, (nlohmann::json{{"ok", true}, {"ready", true}, {"dropped", "stale_motion"}}));
  EXPECT_EQ(client->command({{"cmd", "stop_motion"}}), kAck);
}

TEST_F(Clients, ClientThatNeverReadsIsDroppedWhenItsBufferIsFull) {
  auto client = authenticated();
  int size = 4096;
  ::setsockopt(client->fd(), SOL_SOCKET, SO_RCVBUF, &size, sizeof(size));
  std::string burst;
  for (int i = 0; i < 32; ++i)
    burst += R"({"cmd":"status"})"
             "\n";
  // Keep sending without reading until the service gives up on this client.
  bool closed = false;
  for (int round = 0; round < 2000 && !closed; ++round) {
    if (::send(client->fd(), burst.data(), burst.size(), MSG_NOSIGNAL | MSG_DONTWAIT) < 0 &&
        errno != EAGAIN) {
      closed = true;
    }
    std::this_thread::sleep_for(1ms);
  }
  EXPECT_TRUE(closed || client->closedByService(5s));
}

TEST_F(Clients, LedReportsRoundTripThroughTheKeyboardDelegate) {
  auto control = service_.controlPath();
  auto set = [&](const nlohmann::json& r) { return hostRequest(control, r); };
  EXPECT_EQ(set({{"request", "set_report"},
                 {"device", "keyboard"},
                 {"type", "output"},
                 {"id", nullptr},
                 {"data", "ff"}}),
            (nlohmann::json{{"ok", true}}));
  EXPECT_EQ(set({{"request", "get_report"},
                 {"device", "keyboard"},
                 {"type", "output"},
                 {"id", nullptr},
                 {"maxSize", 1}}),
            (nlohmann::json{{"ok", true}, {"data", "1f"}}));
  EXPECT_EQ(set({{"request", "set_report"},
                 {"device", "mouse"},
                 {"type", "output"},
                 {"id", nullptr},
                 {"data", "01"}})["error"],
            "unsupported");
  EXPECT_EQ(set({{"request", "set_report"},
                 {"device", "keyboard"},
                 {"type", "output"},
                 {"id", 1},
                 {"data", "01"}})["error"],
            "unsupported");
  EXPECT_EQ(set({{"request", "get_report"},
                 {"device", "keyboard"},
                 {"type", "input"},
                 {"id", nullptr},
                 {"maxSize", 32}})["error"],
            "messageTooLarge");
  EXPECT_EQ(set({{"request", "get_report"},
                 {"device", "keyboard"},
                 {"type", "input"},
                 {"id", nullptr},
                 {"maxSize", 33}})["data"],
            emptyKeyboardHex());
  EXPECT_EQ(set({{"request", "get_report"},
                 {"device", "media"},
                 {"type", "output"},
                 {"id", nullptr},
                 {"maxSize", 8}})["error"],
            "unsupported");
  EXPECT_EQ(set({{"request", "get_report"},
                 {"device", "mouse"},
                 {"type", "feature"},
                 {"id", nullptr},
                 {"maxSize", 8}})["error"],
            "unsupported");
}

}  // namespace
}  // namespace virelo::test
