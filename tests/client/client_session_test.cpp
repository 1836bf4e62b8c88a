// The client library against the real service: what its calls put into the simulated host's
// trace, the complete-state rule, the release guarantees and the typed errors.
#include <gtest/gtest.h>
#include <signal.h>

#include <memory>

#include "tests/support/host_trace.h"
#include "tests/support/service_process.h"
#include "virelo/client/client.h"
#include "virelo/client/errors.h"
#include "virelo/client/layouts.h"
#include "virelo/client/motion.h"

namespace virelo::client {
namespace {

using test::HostTrace;
using test::keyboardHex;
using test::ServiceProcess;
using namespace std::chrono_literals;

class ClientSession : public testing::Test {
 protected:
  void SetUp() override { service_.awaitReady(); }

  std::unique_ptr<Client> connect() {
    auto client = std::make_unique<Client>(service_.socketPath());
    client->hello(service_.token());
    return client;
  }

  // The reports of one device dispatched after the first `from` ones.
  std::vector<std::string> reportsSince(const std::string& device, std::size_t from) {
    auto all = trace_.reports(device);
    return {all.begin() + static_cast<std::ptrdiff_t>(std::min(from, all.size())), all.end()};
  }

  ServiceProcess service_;
  HostTrace trace_{service_.tracePath()};
};

TEST_F(ClientSession, HelloReturnsTheStatusObject) {
  Client client(service_.socketPath());
  Status status = client.hello(service_.token());
  EXPECT_EQ(status, (Status{true, true, "corehid", 1, std::nullopt}));
  // The "status" reply of a ready service carries only "ok" and "ready".
  EXPECT_EQ(client.status(), (Status{true, true, "", std::nullopt, std::nullopt}));
}

TEST_F(ClientSession, TypingHiSendsShiftedAndPlainKeysAndLeavesNothingHeld) {
  auto client = connect();
  auto before = trace_.reports("keyboard").size();
  typeText(*client, "Hi!");
  std::vector<std::string> expected{
      keyboardHex(2),       keyboardHex(2, {11}), keyboardHex(2), keyboardHex(0),
      keyboardHex(0, {12}), keyboardHex(0),       keyboardHex(2), keyboardHex(2, {30}),
      keyboardHex(2),       keyboardHex(0),
  };
  EXPECT_EQ(reportsSince("keyboard", before), expected);
  EXPECT_TRUE(client->state().empty());
}

TEST_F(ClientSession, TypingKeepsWhatTheClientAlreadyHolds) {
  auto client = connect();
  client->pressModifiers(modifier::leftCtrl);
  auto before = trace_.reports("keyboard").size();
  typeText(*client, "a");
  std::vector<std::string> expected{keyboardHex(1, {4}), keyboardHex(1)};
  EXPECT_EQ(reportsSince("keyboard", before), expected);
  EXPECT_EQ(client->state().modifiers, modifier::leftCtrl);
}

TEST_F(ClientSession, UntypableTextSendsNothing) {
  auto client = connect();
  auto before = trace_.reports("keyboard").size();
  EXPECT_THROW(typeText(*client, "ok \xE2\x82\xAC"), UntypableText);
  EXPECT_EQ(trace_.reports("keyboard").size(), before);
  EXPECT_TRUE(client->connected());
}

TEST_F(ClientSession, KeyPressesAndReleasesSendTheCompleteKeyboardState) {
  auto client = connect();
  auto before = trace_.reports("keyboard").size();
  client->pressModifiers(modifier::leftCtrl);
  client->pressKey(4);
  client->pressKey(5);
  client->releaseKey(4);
  client->pressModifiers(modifier::leftShift);
  client->releaseModifiers(modifier::leftCtrl);
  std::vector<std::string> expected{keyboardHex(1),         keyboardHex(1, {4}),
                                    keyboardHex(1, {4, 5}), keyboardHex(1, {5}),
                                    keyboardHex(3, {5}),    keyboardHex(2, {5})};
  EXPECT_EQ(reportsSince("keyboard", before), expected);
  InputState state = client->state();
  EXPECT_EQ(state.modifiers, modifier::leftShift);
  EXPECT_EQ(state.keys, std::set<int>{5});
}

TEST_F(ClientSession, MediaKeysAndButtonsKeepTheirOwnCompleteState) {
  auto client = connect();
  auto media = trace_.reports("media").size();
  auto mouse = trace_.reports("mouse").size();
  client->pressMedia(media::mute);
  client->pressMedia(media::volumeUp);
  client->releaseMedia(media::mute);
  EXPECT_EQ(reportsSince("media", media), (std::vector<std::string>{"01", "03", "02"}));
  client->pressButtons(button::primary);
  client->pressButtons(button::secondary);
  client->releaseButtons(button::primary);
  EXPECT_EQ(reportsSince("mouse", mouse),
            (std::vector<std::string>{"01000000", "03000000", "02000000"}));
  EXPECT_EQ(client->state().media, std::set<int>{media::volumeUp});
  EXPECT_EQ(client->state().buttons, button::secondary);
}

TEST_F(ClientSession, MovesAndWheelStepsCarryTheHeldButtons) {
  auto client = connect();
  client->pressButtons(button::primary);
  auto mouse = trace_.reports("mouse").size();
  client->move(10, -3);
  client->wheel(-2);
  EXPECT_EQ(reportsSince("mouse", mouse), (std::vector<std::string>{"010afd00", "010000fe"}));
}

TEST_F(ClientSession, ResetReleasesEverythingTheClientHolds) {
  auto client = connect();
  client->keyboard(modifier::leftAlt, {4, 7});
  client->consumer({media::playPause});
  client->buttons(button::middle);
  client->reset();
  EXPECT_TRUE(client->state().empty());
  EXPECT_EQ(trace_.reports("keyboard").back(), keyboardHex(0));
  EXPECT_EQ(trace_.reports("media").back(), "00");
  EXPECT_EQ(trace_.reports("mouse").back(), "00000000");
}

TEST_F(ClientSession, DestroyingTheClientReleasesItsInput) {
  {
    auto client = connect();
    client->pressKey(4);
    client->pressMedia(media::mute);
    client->pressButtons(button::primary);
    ASSERT_EQ(trace_.reports("keyboard").back(), keyboardHex(0, {4}));
  }
  // The destructor waited for the reply to its reset, so the release is in the trace already.
  EXPECT_EQ(trace_.reports("keyboard").back(), keyboardHex(0));
  EXPECT_EQ(trace_.reports("media").back(), "00");
  EXPECT_EQ(trace_.reports("mouse").back(), "00000000");
}

TEST_F(ClientSession, ClosingWithoutResetLetsTheServiceRelease) {
  auto client = connect();
  client->pressKey(9);
  client->close();
  EXPECT_FALSE(client->connected());
  EXPECT_TRUE(trace_.waitForReport("keyboard", keyboardHex(0)));
}

TEST_F(ClientSession, AnotherClientsInputStaysHeldWhenOneIsDestroyed) {
  auto stays = connect();
  stays->pressKey(4);
  {
    auto leaves = connect();
    leaves->pressKey(5);
  }
  EXPECT_EQ(trace_.reports("keyboard").back(), keyboardHex(0, {4}));
}

TEST_F(ClientSession, ARejectedCommandIsAProtocolErrorAndEndsTheConnection) {
  auto client = connect();
  client->pressKey(4);
  try {
    client->keyboard(0, {232});
    FAIL() << "no error";
  } catch (const ProtocolError& e) {
    EXPECT_EQ(e.command(), "keyboard");
    EXPECT_NE(e.reply().find("virtual_hid_protocol_error"), std::string::npos);
  }
  EXPECT_FALSE(client->connected());
  EXPECT_TRUE(client->state().empty());
  EXPECT_THROW(client->status(), ConnectionLost);
  // The service dropped the client and released what it held.
  EXPECT_TRUE(trace_.waitForReport("keyboard", keyboardHex(0)));
}

TEST_F(ClientSession, AMediaUsageTheDeviceLacksIsAProtocolError) {
  auto client = connect();
  EXPECT_THROW(client->consumer({0x30}), ProtocolError);
}

TEST_F(ClientSession, AWrongTokenIsAProtocolError) {
  Client client(service_.socketPath());
  std::string wrong = service_.token();
  wrong[0] = wrong[0] == 'a' ? 'b' : 'a';
  EXPECT_THROW(client.hello(wrong), ProtocolError);
  EXPECT_FALSE(client.connected());
}

TEST_F(ClientSession, ACommandBeforeHelloIsAProtocolError) {
  Client client(service_.socketPath());
  EXPECT_THROW(client.pressKey(4), ProtocolError);
}

TEST_F(ClientSession, TheServiceEndingIsALostConnection) {
  auto client = connect();
  service_.closeStdin();
  ASSERT_EQ(service_.waitExit(), 0);
  EXPECT_THROW(client->pressKey(4), ConnectionLost);
  EXPECT_FALSE(client->connected());
}

TEST_F(ClientSession, AKilledServiceIsALostConnection) {
  auto client = connect();
  service_.signal(SIGKILL);
  ASSERT_TRUE(service_.waitExit());
  EXPECT_THROW(client->status(), ConnectionLost);
}

TEST_F(ClientSession, NoSocketIsALostConnection) {
  EXPECT_THROW(Client(service_.dir() / "missing"), ConnectionLost);
}

TEST_F(ClientSession, MotionSamplesAreStampedWithTheServiceClock) {
  auto client = connect();
  EXPECT_EQ(client->motion(3, 0), MotionReply{false});
  // A sample 100 ms old is stale, and stops the motion.
  EXPECT_EQ(client->motion(3, 0, monotonicNow() - 100'000'000), MotionReply{true});
  client->stopMotion();
}

TEST(ClientTyping, TextNeedingAKeyThatCgeventCannotPostIsRefusedBeforeAnythingIsSent) {
  // "cgevent" has no key for the ISO key left of Z (usage 0x64): "<" in German.
  test::ServiceOptions options;
  options.backend = "cgevent";
  ServiceProcess service(options);
  service.awaitReady();
  Client client(service.socketPath());
  client.hello(service.token());
  try {
    typeText(client, "a<b", *KeyboardLayout::named(parseLayoutName("de")));
    FAIL() << "typed, and the service dropped the key";
  } catch (const UntypableText& e) {
    EXPECT_EQ(e.characters(), (std::vector<UntypableCharacter>{{U'<', 1}}));
  }
  EXPECT_TRUE(client.state().empty());
}

TEST(ClientNotReady, CommandsOfANotReadyServiceAreTypedErrorsAndStatusIsAValue) {
  // Without permission to post events the "cgevent" backend runs but cannot deliver input.
  test::ServiceOptions options;
  options.backend = "cgevent";
  options.world = {{"postEventAccess", false}};
  ServiceProcess service(options);
  ASSERT_TRUE(service.readLine(10s));
  Client client(service.socketPath());
  Status hello = client.hello(service.token());
  EXPECT_FALSE(hello.ok);
  EXPECT_EQ(hello.error, "virtual_hid_accessibility_required");
  try {
    client.pressKey(4);
    FAIL() << "no error";
  } catch (const ServiceNotReady& e) {
    EXPECT_EQ(e.code(), "virtual_hid_accessibility_required");
  }
  EXPECT_TRUE(client.state().empty());
  EXPECT_TRUE(client.connected());
  EXPECT_THROW(client.motion(1, 1), ServiceNotReady);
  // Typed text goes out without waiting for each answer; every answer is still read.
  EXPECT_THROW(typeText(client, std::string(40, 'a')), ServiceNotReady);
  EXPECT_TRUE(client.state().empty());
  Status status = client.status();
  EXPECT_FALSE(status.ready);
  EXPECT_EQ(status.backend, "cgevent");
}

}  // namespace
}  // namespace virelo::client
