// The command protocol: handshake, vocabulary and the rules for every field.
#include <gtest/gtest.h>

#include <string>

#include "bridge_test_util.h"

namespace virelo::testing {
namespace {

using json = nlohmann::json;

const json kReadyStatus = {{"ok", true}, {"ready", true}, {"backend", "corehid"}, {"protocol", 1}};

// ---------------------------------------------------------------------------------------------
// Handshake

class Handshake : public CorehidBridgeTest {};

TEST_F(Handshake, CommandFromUnknownDescriptorIsProtocolError) {
  EXPECT_EQ(failureOfCommand(999, {{"cmd", "hello"}, {"token", kToken}}), Failure::protocolError);
}

TEST_F(Handshake, UnauthenticatedStatusIsProtocolError) {
  int fd = rig.connect();
  EXPECT_EQ(failureOfCommand(fd, {{"cmd", "status"}}), Failure::protocolError);
  EXPECT_FALSE(rig.authenticated(fd));
}

TEST_F(Handshake, TokenDifferingOnlyInLetterCaseIsRefused) {
  int fd = rig.connect();
  std::string upper = kToken;
  for (auto& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  EXPECT_EQ(failureOfCommand(fd, {{"cmd", "hello"}, {"token", upper}}), Failure::protocolError);
  EXPECT_FALSE(rig.authenticated(fd));
}

TEST_F(Handshake, UpperCaseServiceTokenIsComparedAsUpperCase) {
  std::string upper = kToken;
  for (auto& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  int fd = rig.connect();
  EXPECT_EQ(rig.command(fd, {{"cmd", "hello"}, {"token", upper}}, upper), kReadyStatus);
  int other = rig.connect();
  EXPECT_EQ(failureOf([&] {
              rig.command(other, {{"cmd", "hello"}, {"token", kToken}}, upper);
            }),
            Failure::protocolError);
}

TEST_F(Handshake, MissingNonStringShorterAndLongerTokensAreRefused) {
  for (const json& request :
       {json{{"cmd", "hello"}}, json{{"cmd", "hello"}, {"token", nullptr}},
        json{{"cmd", "hello"}, {"token", 12345}}, json{{"cmd", "hello"}, {"token", json::array()}},
        json{{"cmd", "hello"}, {"token", kToken.substr(0, 63)}},
        json{{"cmd", "hello"}, {"token", kToken + "0"}}, json{{"cmd", "hello"}, {"token", ""}}}) {
    int fd = rig.connect();
    EXPECT_EQ(failureOfCommand(fd, request), Failure::protocolError) << request;
    EXPECT_FALSE(rig.authenticated(fd)) << request;
  }
}

TEST_F(Handshake, MissingOrNonStringCmdIsProtocolError) {
  int fd = rig.connectAuthenticated();
  EXPECT_EQ(failureOfCommand(fd, {{"token", kToken}}), Failure::protocolError);
  EXPECT_EQ(failureOfCommand(fd, {{"cmd", 1}}), Failure::protocolError);
  EXPECT_EQ(failureOfCommand(fd, {{"cmd", nullptr}}), Failure::protocolError);
}

TEST_F(Handshake, CorrectHelloIsAnsweredWithStatusAndAuthenticates) {
  int fd = rig.connect();
  EXPECT_EQ(cmd(fd, {{"cmd", "hello"}, {"token", kToken}}), kReadyStatus);
  EXPECT_TRUE(rig.authenticated(fd));
}

TEST_F(Handshake, SecondHelloWhileReadyIsProtocolError) {
  int fd = rig.connectAuthenticated();
  EXPECT_EQ(failureOfCommand(fd, {{"cmd", "hello"}, {"token", kToken}}), Failure::protocolError);
}

TEST_F(Handshake, CommandNamesAreCaseSensitive) {
  int fd = rig.connect();
  EXPECT_EQ(failureOfCommand(fd, {{"cmd", "Hello"}, {"token", kToken}}), Failure::protocolError);
  fd = rig.connectAuthenticated();
  EXPECT_EQ(failureOfCommand(fd, {{"cmd", "STATUS"}}), Failure::protocolError);
}

TEST_F(Handshake, UnknownCommandWhileReadyIsProtocolError) {
  int fd = rig.connectAuthenticated();
  EXPECT_EQ(failureOfCommand(fd, {{"cmd", "jump"}}), Failure::protocolError);
}

// A bridge that is not ready: "corehid" before start(), "cgevent" without posting permission.
class NotReadyHandshake : public ::testing::Test {
 protected:
  BridgeRig rig{InputBackend::corehid};
};

TEST_F(NotReadyHandshake, HelloIsAnsweredWithNotReadyStatusAndAuthenticates) {
  int fd = rig.connect();
  json expected = {{"ok", false},
                   {"ready", false},
                   {"backend", "corehid"},
                   {"protocol", 1},
                   {"error", "virtual_hid_not_ready"}};
  EXPECT_EQ(rig.command(fd, {{"cmd", "hello"}, {"token", kToken}}), expected);
  EXPECT_TRUE(rig.authenticated(fd));
}

TEST_F(NotReadyHandshake, WrongTokenIsStillProtocolError) {
  int fd = rig.connect();
  EXPECT_EQ(failureOf([&] {
              rig.command(fd, {{"cmd", "hello"}, {"token", "x"}});
            }),
            Failure::protocolError);
}

TEST_F(NotReadyHandshake, SecondHelloResetsTheClientAndAnswersStatus) {
  // Input cannot be held while not ready (every command clears it), so the record is empty.
  int fd = rig.connectAuthenticated();
  json reply = rig.command(fd, {{"cmd", "hello"}, {"token", kToken}});
  EXPECT_EQ(reply["ok"], false);
  EXPECT_EQ(reply["error"], "virtual_hid_not_ready");
  const Owner& owner = rig.owner(fd);
  EXPECT_EQ(owner.modifiers, 0);
  EXPECT_EQ(owner.buttons, 0);
  EXPECT_FALSE(owner.fn);
  EXPECT_TRUE(owner.keys.none());
  EXPECT_TRUE(owner.consumers.none());
  EXPECT_EQ(owner.vx, 0);
  EXPECT_EQ(owner.motionAt, 0u);
  EXPECT_EQ(owner.steppedAt, 0u);
  EXPECT_TRUE(rig.authenticated(fd));
}

TEST_F(NotReadyHandshake, EveryCommandEvenUnknownOrInvalidIsAnsweredWithStatus) {
  int fd = rig.connectAuthenticated();
  for (const json& request :
       {json{{"cmd", "jump"}}, json{{"cmd", "keyboard"}, {"keys", 7}}, json{{"cmd", "status"}}}) {
    json reply = rig.command(fd, request);
    EXPECT_EQ(reply["ok"], false) << request;
    EXPECT_EQ(reply["protocol"], 1) << request;
  }
  EXPECT_EQ(rig.devices.requested().size(), 0u);
}

TEST(NotReadyHandshakeCgevent, StatusReplyCarriesAccessibilityError) {
  RecordingEventOutput::Script script;
  script.permitted = false;
  BridgeRig rig(InputBackend::cgevent, std::make_unique<RecordingEventOutput>(script));
  rig.bridge->start();
  int fd = rig.connect();
  json expected = {{"ok", false},
                   {"ready", false},
                   {"backend", "cgevent"},
                   {"protocol", 1},
                   {"error", "virtual_hid_accessibility_required"}};
  EXPECT_EQ(rig.command(fd, {{"cmd", "hello"}, {"token", kToken}}), expected);
}

// ---------------------------------------------------------------------------------------------
// Simple commands

class SimpleCommands : public CorehidBridgeTest {};

TEST_F(SimpleCommands, StatusWhileReadyIsThePlainAcknowledgement) {
  int fd = rig.connectAuthenticated();
  json reply = cmd(fd, {{"cmd", "status"}});
  EXPECT_EQ(reply, kAck);
  EXPECT_FALSE(reply.contains("backend"));
  EXPECT_FALSE(reply.contains("protocol"));
  EXPECT_EQ(rig.devices.reportCount("keyboard"), 0u);
}

TEST_F(SimpleCommands, KeysOtherCommandsDoNotReadAreIgnored) {
  int fd = rig.connectAuthenticated();
  EXPECT_EQ(cmd(fd, {{"cmd", "status"}, {"extra", json::array({1, 2})}}), kAck);
}

TEST_F(SimpleCommands, ResetClearsTheClientAndSendsTheMergedState) {
  int fd = rig.connectAuthenticated();
  int other = rig.connectAuthenticated();
  cmd(fd, {{"cmd", "keyboard"}, {"modifiers", 1}, {"keys", {4}}});
  cmd(fd, {{"cmd", "consumer"}, {"usages", {0xE2}}});
  cmd(fd, {{"cmd", "buttons"}, {"buttons", 1}});
  cmd(other, {{"cmd", "keyboard"}, {"modifiers", 0}, {"keys", {5}}});
  rig.devices.forgetReports();
  EXPECT_EQ(cmd(fd, {{"cmd", "reset"}}), kAck);
  EXPECT_EQ(rig.devices.reports("keyboard"), std::vector<Bytes>{keyboardBytes(0, {5})});
  EXPECT_EQ(rig.devices.reports("media"), std::vector<Bytes>{Bytes{0}});
  EXPECT_EQ(rig.devices.reports("mouse"), std::vector<Bytes>{Bytes({0, 0, 0, 0})});
  EXPECT_TRUE(rig.owner(fd).keys.none());
  EXPECT_EQ(rig.owner(fd).buttons, 0);
}

TEST_F(SimpleCommands, StopMotionClearsMotionAndSendsNothing) {
  int fd = rig.connectAuthenticated();
  cmd(fd, {{"cmd", "motion"}, {"dx", 3}, {"dy", -2}, {"t_ns", rig.clock.now()}});
  ASSERT_NE(rig.owner(fd).motionAt, 0u);
  EXPECT_EQ(cmd(fd, {{"cmd", "stop_motion"}}), kAck);
  const Owner& owner = rig.owner(fd);
  EXPECT_EQ(owner.vx, 0);
  EXPECT_EQ(owner.vy, 0);
  EXPECT_EQ(owner.fractionX, 0);
  EXPECT_EQ(owner.fractionY, 0);
  EXPECT_EQ(owner.motionAt, 0u);
  EXPECT_EQ(owner.steppedAt, 0u);
  EXPECT_EQ(rig.devices.reportCount("mouse"), 0u);
}

// ---------------------------------------------------------------------------------------------
// Integer fields, through "modifiers" (range [0, 255])

class IntegerField : public CorehidBridgeTest {
 protected:
  std::optional<Failure> modifiers(const json& value) {
    int fd = rig.connectAuthenticated();
    return failureOfCommand(fd,
                            {{"cmd", "keyboard"}, {"modifiers", value}, {"keys", json::array()}});
  }
  std::uint8_t sentModifiers(const json& value) {
    int fd = rig.connectAuthenticated();
    cmd(fd, {{"cmd", "keyboard"}, {"modifiers", value}, {"keys", json::array()}});
    std::uint8_t sent = rig.devices.lastReport("keyboard").at(0);
    cmd(fd, {{"cmd", "reset"}});
    return sent;
  }
};

TEST_F(IntegerField, WholeValuesInFloatingFormCountAsIntegers) {
  EXPECT_EQ(sentModifiers(json::parse("255.0")), 255);
  EXPECT_EQ(sentModifiers(json::parse("1e2")), 100);
  EXPECT_EQ(sentModifiers(json::parse("0.0")), 0);
  EXPECT_EQ(sentModifiers(json::parse("-0.0")), 0);
  EXPECT_EQ(sentModifiers(json::parse("2.55e2")), 255);
}

TEST_F(IntegerField, RangeEndsAreAccepted) {
  EXPECT_EQ(sentModifiers(0), 0);
  EXPECT_EQ(sentModifiers(255), 255);
}

TEST_F(IntegerField, FractionsBooleansStringsNullAndMissingAreRefused) {
  EXPECT_EQ(modifiers(json::parse("5.5")), Failure::protocolError);
  EXPECT_EQ(modifiers(json::parse("0.1")), Failure::protocolError);
  EXPECT_EQ(modifiers(true), Failure::protocolError);
  EXPECT_EQ(modifiers(false), Failure::protocolError);
  EXPECT_EQ(modifiers("3"), Failure::protocolError);
  EXPECT_EQ(modifiers(nullptr), Failure::protocolError);
  EXPECT_EQ(modifiers(json::array({3})), Failure::protocolError);
  EXPECT_EQ(modifiers(json::object()), Failure::protocolError);
  int fd = rig.connectAuthenticated();
  EXPECT_EQ(failureOfCommand(fd, {{"cmd", "keyboard"}, {"keys", json::array()}}),
            Failure::protocolError);
}

TEST_F(IntegerField, ValuesOutsideTheRangeAreRefused) {
  EXPECT_EQ(modifiers(256), Failure::protocolError);
  EXPECT_EQ(modifiers(-1), Failure::protocolError);
  EXPECT_EQ(modifiers(json::parse("256.0")), Failure::protocolError);
}

TEST_F(IntegerField, HugeValuesAreRefusedNotWrapped) {
  // 2^64 + 3 and 2^63 + 3 would wrap to 3 in a careless conversion.
  EXPECT_EQ(modifiers(json::parse("18446744073709551619")), Failure::protocolError);
  EXPECT_EQ(modifiers(json::parse("18446744073709551615")), Failure::protocolError);
  EXPECT_EQ(modifiers(json::parse("9223372036854775811")), Failure::protocolError);
  EXPECT_EQ(modifiers(json::parse("-9223372036854775809")), Failure::protocolError);
  EXPECT_EQ(modifiers(json::parse("1e300")), Failure::protocolError);
  EXPECT_EQ(modifiers(json::parse("-1e300")), Failure::protocolError);
  EXPECT_EQ(modifiers(json::parse("1.8446744073709552e19")), Failure::protocolError);
  EXPECT_EQ(modifiers(json::parse("9.223372036854775807e18")), Failure::protocolError);
}

TEST_F(IntegerField, RefusedCommandChangesNothing) {
  int fd = rig.connectAuthenticated();
  cmd(fd, {{"cmd", "keyboard"}, {"modifiers", 2}, {"keys", {4}}});
  rig.devices.forgetReports();
  EXPECT_EQ(failureOfCommand(fd, {{"cmd", "keyboard"}, {"modifiers", 256}, {"keys", {5}}}),
            Failure::protocolError);
  EXPECT_EQ(rig.owner(fd).modifiers, 2);
  EXPECT_TRUE(rig.owner(fd).keys.test(4));
  EXPECT_FALSE(rig.owner(fd).keys.test(5));
  EXPECT_EQ(rig.devices.reportCount("keyboard"), 0u);
}

// ---------------------------------------------------------------------------------------------
// Usage lists, through "keys" (max 231)

class UsageList : public CorehidBridgeTest {
 protected:
  std::optional<Failure> keys(int fd, const json& value) {
    return failureOfCommand(fd, {{"cmd", "keyboard"}, {"modifiers", 0}, {"keys", value}});
  }
};

TEST_F(UsageList, DuplicatesCollapseIntoOneUsage) {
  int fd = rig.connectAuthenticated();
  EXPECT_EQ(cmd(fd, {{"cmd", "keyboard"}, {"modifiers", 0}, {"keys", {4, 4, 5}}}), kAck);
  EXPECT_EQ(rig.owner(fd).keys.count(), 2u);
  EXPECT_EQ(rig.devices.lastReport("keyboard"), keyboardBytes(0, {4, 5}));
}

TEST_F(UsageList, EmptyListReleasesAllOfThisClientsKeys) {
  int fd = rig.connectAuthenticated();
  cmd(fd, {{"cmd", "keyboard"}, {"modifiers", 0}, {"keys", {4, 9}}});
  EXPECT_EQ(cmd(fd, {{"cmd", "keyboard"}, {"modifiers", 0}, {"keys", json::array()}}), kAck);
  EXPECT_TRUE(rig.owner(fd).keys.none());
  EXPECT_EQ(rig.devices.lastReport("keyboard"), keyboardBytes(0, {}));
}

TEST_F(UsageList, ThirtyTwoElementsAreAcceptedThirtyThreeRefusedEvenWhenRepeating) {
  int fd = rig.connectAuthenticated();
  json repeated32 = json::array();
  json repeated33 = json::array();
  for (int i = 0; i < 32; ++i) repeated32.push_back(4);
  for (int i = 0; i < 33; ++i) repeated33.push_back(4);
  EXPECT_EQ(keys(fd, repeated32), std::nullopt);
  EXPECT_EQ(keys(fd, repeated33), Failure::protocolError);
  json distinct32 = json::array();
  for (int i = 1; i <= 32; ++i) distinct32.push_back(i);
  EXPECT_EQ(keys(fd, distinct32), std::nullopt);
  EXPECT_EQ(rig.owner(fd).keys.count(), 32u);
}

TEST_F(UsageList, ElementsOutsideOneToMaxAreRefused) {
  int fd = rig.connectAuthenticated();
  EXPECT_EQ(keys(fd, {0}), Failure::protocolError);
  EXPECT_EQ(keys(fd, {232}), Failure::protocolError);
  EXPECT_EQ(keys(fd, {-4}), Failure::protocolError);
  EXPECT_EQ(keys(fd, {231}), std::nullopt);
  EXPECT_EQ(keys(fd, {1}), std::nullopt);
}

TEST_F(UsageList, OneBadElementFailsTheWholeList) {
  int fd = rig.connectAuthenticated();
  EXPECT_EQ(keys(fd, {4, 5, 0}), Failure::protocolError);
  EXPECT_EQ(keys(fd, json::array({4, "5"})), Failure::protocolError);
  EXPECT_EQ(keys(fd, json::array({4, true})), Failure::protocolError);
  EXPECT_EQ(keys(fd, json::array({4, nullptr})), Failure::protocolError);
  EXPECT_EQ(keys(fd, json::array({4, json::parse("5.5")})), Failure::protocolError);
  EXPECT_TRUE(rig.owner(fd).keys.none());
}

TEST_F(UsageList, FloatingFormElementsCountAsIntegers) {
  int fd = rig.connectAuthenticated();
  EXPECT_EQ(keys(fd, json::array({json::parse("4.0"), json::parse("3e1")})), std::nullopt);
  EXPECT_EQ(rig.devices.lastReport("keyboard"), keyboardBytes(0, {4, 30}));
}

TEST_F(UsageList, NonArraysAndMissingListAreRefused) {
  int fd = rig.connectAuthenticated();
  EXPECT_EQ(keys(fd, 4), Failure::protocolError);
  EXPECT_EQ(keys(fd, "4"), Failure::protocolError);
  EXPECT_EQ(keys(fd, nullptr), Failure::protocolError);
  EXPECT_EQ(keys(fd, json::object({{"4", 4}})), Failure::protocolError);
  EXPECT_EQ(failureOfCommand(fd, {{"cmd", "keyboard"}, {"modifiers", 0}}), Failure::protocolError);
}

// ---------------------------------------------------------------------------------------------
// The 32-key limit across clients

class KeyLimitAcrossClients : public CorehidBridgeTest {
 protected:
  json keysFrom(int first, int count) {
    json list = json::array();
    for (int i = 0; i < count; ++i) list.push_back(first + i);
    return list;
  }
  json keyboard(const json& keys) {
    return {{"cmd", "keyboard"}, {"modifiers", 0}, {"keys", keys}};
  }
};

TEST_F(KeyLimitAcrossClients, ThirdClientAddingANewUsageToThirtyTwoHeldFails) {
  int a = rig.connectAuthenticated();
  int b = rig.connectAuthenticated();
  int c = rig.connectAuthenticated();
  cmd(a, keyboard(keysFrom(1, 16)));
  cmd(b, keyboard(keysFrom(17, 16)));
  rig.devices.forgetReports();
  EXPECT_EQ(failureOfCommand(c, keyboard({100})), Failure::protocolError);
  EXPECT_TRUE(rig.owner(c).keys.none());
  EXPECT_EQ(rig.devices.reportCount("keyboard"), 0u);
}

TEST_F(KeyLimitAcrossClients, ThirdClientAddingAnAlreadyHeldUsageSucceeds) {
  int a = rig.connectAuthenticated();
  int b = rig.connectAuthenticated();
  int c = rig.connectAuthenticated();
  cmd(a, keyboard(keysFrom(1, 16)));
  cmd(b, keyboard(keysFrom(17, 16)));
  EXPECT_EQ(cmd(c, keyboard({3, 20})), kAck);
  Bytes expected(33, 0);
  for (int i = 1; i <= 32; ++i)
    expected[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(i);
  EXPECT_EQ(rig.devices.lastReport("keyboard"), expected);
}

TEST_F(KeyLimitAcrossClients, ClientsOwnPreviousKeysDoNotCount) {
  int a = rig.connectAuthenticated();
  int b = rig.connectAuthenticated();
  cmd(a, keyboard(keysFrom(1, 16)));
  cmd(b, keyboard(keysFrom(17, 16)));
  EXPECT_EQ(cmd(a, keyboard(keysFrom(100, 16))), kAck);
  EXPECT_EQ(failureOfCommand(a, keyboard(keysFrom(100, 17))), Failure::protocolError);
}

TEST_F(KeyLimitAcrossClients, UnauthenticatedRecordsHoldNothing) {
  int a = rig.connectAuthenticated();
  int idle = rig.connect();
  EXPECT_TRUE(rig.owner(idle).keys.none());
  EXPECT_EQ(cmd(a, keyboard(keysFrom(1, 32))), kAck);
  EXPECT_EQ(failureOfCommand(a, keyboard(keysFrom(1, 33))), Failure::protocolError);
}

// ---------------------------------------------------------------------------------------------
// "fn"

class FnFlagCorehid : public CorehidBridgeTest {};

TEST_F(FnFlagCorehid, TrueIsRefusedFalseAndAbsentAccepted) {
  int fd = rig.connectAuthenticated();
  EXPECT_EQ(
      failureOfCommand(fd, {{"cmd", "keyboard"}, {"modifiers", 0}, {"keys", {4}}, {"fn", true}}),
      Failure::protocolError);
  EXPECT_TRUE(rig.owner(fd).keys.none());
  EXPECT_EQ(cmd(fd, {{"cmd", "keyboard"}, {"modifiers", 0}, {"keys", {4}}, {"fn", false}}), kAck);
  EXPECT_EQ(cmd(fd, {{"cmd", "keyboard"}, {"modifiers", 0}, {"keys", {4}}}), kAck);
}

TEST_F(FnFlagCorehid, NonBooleanIsRefused) {
  int fd = rig.connectAuthenticated();
  for (const json& value : {json(1), json(0), json("true"), json(nullptr)}) {
    EXPECT_EQ(
        failureOfCommand(fd, {{"cmd", "keyboard"}, {"modifiers", 0}, {"keys", {4}}, {"fn", value}}),
        Failure::protocolError)
        << value;
  }
}

class FnFlagCgevent : public CgeventBridgeTest {};

TEST_F(FnFlagCgevent, TrueIsStoredAndHandedToTheOutput) {
  int fd = rig.connectAuthenticated();
  EXPECT_EQ(cmd(fd, {{"cmd", "keyboard"}, {"modifiers", 0}, {"keys", {4}}, {"fn", true}}), kAck);
  EXPECT_TRUE(rig.owner(fd).fn);
  auto keyboards = callsNamed(script, "keyboard");
  ASSERT_EQ(keyboards.size(), 1u);
  EXPECT_TRUE(keyboards[0].flag);
  EXPECT_EQ(keyboards[0].report, keyboardBytes(0, {4}));
}

TEST_F(FnFlagCgevent, AnyClientsFnMakesTheMergedFnTrue) {
  int a = rig.connectAuthenticated();
  int b = rig.connectAuthenticated();
  cmd(a, {{"cmd", "keyboard"}, {"modifiers", 0}, {"keys", json::array()}, {"fn", true}});
  cmd(b, {{"cmd", "keyboard"}, {"modifiers", 0}, {"keys", {4}}});
  EXPECT_TRUE(callsNamed(script, "keyboard").back().flag);
  cmd(a, {{"cmd", "keyboard"}, {"modifiers", 0}, {"keys", json::array()}});
  EXPECT_FALSE(callsNamed(script, "keyboard").back().flag);
}

TEST_F(FnFlagCgevent, NumberOneIsRefused) {
  int fd = rig.connectAuthenticated();
  EXPECT_EQ(failureOfCommand(fd, {{"cmd", "keyboard"}, {"modifiers", 0}, {"keys", {4}}, {"fn", 1}}),
            Failure::protocolError);
  EXPECT_FALSE(rig.owner(fd).fn);
  EXPECT_TRUE(script.calls.empty());
}

// ---------------------------------------------------------------------------------------------
// "consumer"

class ConsumerCommand : public CorehidBridgeTest {};

TEST_F(ConsumerCommand, MuteAloneSetsBitZero) {
  int fd = rig.connectAuthenticated();
  EXPECT_EQ(cmd(fd, {{"cmd", "consumer"}, {"usages", {226}}}), kAck);
  EXPECT_EQ(rig.devices.lastReport("media"), Bytes{0x01});
}

TEST_F(ConsumerCommand, EachOfTheSixUsagesHasItsBit) {
  int fd = rig.connectAuthenticated();
  const int usages[] = {0xE2, 0xE9, 0xEA, 0xCD, 0xB5, 0xB6};
  for (int i = 0; i < 6; ++i) {
    cmd(fd, {{"cmd", "consumer"}, {"usages", {usages[i]}}});
    EXPECT_EQ(rig.devices.lastReport("media"), Bytes{static_cast<std::uint8_t>(1 << i)}) << i;
  }
  cmd(fd, {{"cmd", "consumer"}, {"usages", {0xE2, 0xE9, 0xEA, 0xCD, 0xB5, 0xB6}}});
  EXPECT_EQ(rig.devices.lastReport("media"), Bytes{0x3F});
}

TEST_F(ConsumerCommand, UsageInRangeButNotOnTheMediaDeviceFailsWithNothingChanged) {
  int fd = rig.connectAuthenticated();
  cmd(fd, {{"cmd", "consumer"}, {"usages", {0xE9}}});
  rig.devices.forgetReports();
  EXPECT_EQ(failureOfCommand(fd, {{"cmd", "consumer"}, {"usages", {226, 48}}}),
            Failure::protocolError);
  EXPECT_EQ(rig.owner(fd).consumers.count(), 1u);
  EXPECT_EQ(rig.devices.reportCount("media"), 0u);
}

TEST_F(ConsumerCommand, UsagesOutsideOneTo1023AreRefused) {
  int fd = rig.connectAuthenticated();
  EXPECT_EQ(failureOfCommand(fd, {{"cmd", "consumer"}, {"usages", {1024}}}),
            Failure::protocolError);
  EXPECT_EQ(failureOfCommand(fd, {{"cmd", "consumer"}, {"usages", {0}}}), Failure::protocolError);
  EXPECT_EQ(failureOfCommand(fd, {{"cmd", "consumer"}}), Failure::protocolError);
}

TEST_F(ConsumerCommand, SendsTheKeyboardReportBeforeTheConsumerReport) {
  int fd = rig.connectAuthenticated();
  cmd(fd, {{"cmd", "consumer"}, {"usages", json::array()}});
  EXPECT_EQ(rig.devices.reportCount("keyboard"), 1u);
  EXPECT_EQ(rig.devices.reportCount("media"), 1u);
}

// ---------------------------------------------------------------------------------------------
// "buttons"

class ButtonsCorehid : public CorehidBridgeTest {};

TEST_F(ButtonsCorehid, AllFiveButtonsUpToThirtyOneAreAccepted) {
  int fd = rig.connectAuthenticated();
  EXPECT_EQ(cmd(fd, {{"cmd", "buttons"}, {"buttons", 8}}), kAck);
  EXPECT_EQ(rig.devices.lastReport("mouse"), Bytes({8, 0, 0, 0}));
  EXPECT_EQ(cmd(fd, {{"cmd", "buttons"}, {"buttons", 31}}), kAck);
  EXPECT_EQ(rig.devices.lastReport("mouse"), Bytes({31, 0, 0, 0}));
  EXPECT_EQ(failureOfCommand(fd, {{"cmd", "buttons"}, {"buttons", 32}}), Failure::protocolError);
  EXPECT_EQ(failureOfCommand(fd, {{"cmd", "buttons"}, {"buttons", -1}}), Failure::protocolError);
  EXPECT_EQ(failureOfCommand(fd, {{"cmd", "buttons"}}), Failure::protocolError);
  EXPECT_EQ(rig.owner(fd).buttons, 31);
}

TEST_F(ButtonsCorehid, MergedButtonsAreTheOrOfAllClients) {
  int a = rig.connectAuthenticated();
  int b = rig.connectAuthenticated();
  cmd(a, {{"cmd", "buttons"}, {"buttons", 1}});
  cmd(b, {{"cmd", "buttons"}, {"buttons", 4}});
  EXPECT_EQ(rig.devices.lastReport("mouse"), Bytes({5, 0, 0, 0}));
  EXPECT_EQ(rig.hid->mouseDelegate().input(), Bytes({5, 0, 0, 0}));
}

class ButtonsCgevent : public CgeventBridgeTest {};

TEST_F(ButtonsCgevent, OnlyThreeButtonsAreAccepted) {
  int fd = rig.connectAuthenticated();
  EXPECT_EQ(cmd(fd, {{"cmd", "buttons"}, {"buttons", 7}}), kAck);
  EXPECT_EQ(callsNamed(script, "pointing").back().report, Bytes({7, 0, 0, 0}));
  EXPECT_EQ(failureOfCommand(fd, {{"cmd", "buttons"}, {"buttons", 8}}), Failure::protocolError);
  EXPECT_EQ(rig.owner(fd).buttons, 7);
}

// ---------------------------------------------------------------------------------------------
// "move" and "wheel"

class MoveCommand : public CorehidBridgeTest {};

TEST_F(MoveCommand, ExtremesAreSentAsSignedBytes) {
  int fd = rig.connectAuthenticated();
  cmd(fd, {{"cmd", "move"}, {"dx", -127}, {"dy", 127}});
  EXPECT_EQ(rig.devices.lastReport("mouse"), Bytes({0, 0x81, 0x7F, 0}));
}

TEST_F(MoveCommand, OutOfRangeOrMissingDeltasAreRefused) {
  int fd = rig.connectAuthenticated();
  EXPECT_EQ(failureOfCommand(fd, {{"cmd", "move"}, {"dx", 128}, {"dy", 0}}),
            Failure::protocolError);
  EXPECT_EQ(failureOfCommand(fd, {{"cmd", "move"}, {"dx", 0}, {"dy", -128}}),
            Failure::protocolError);
  EXPECT_EQ(failureOfCommand(fd, {{"cmd", "move"}, {"dx", 0}}), Failure::protocolError);
  EXPECT_EQ(failureOfCommand(fd, {{"cmd", "move"}, {"dy", 0}}), Failure::protocolError);
  EXPECT_EQ(failureOfCommand(fd, {{"cmd", "move"}, {"snap", true}, {"dx", 200}, {"dy", 0}}),
            Failure::protocolError);
  EXPECT_EQ(rig.devices.reportCount("mouse"), 0u);
}

TEST_F(MoveCommand, NonBooleanSnapIsRefused) {
  int fd = rig.connectAuthenticated();
  EXPECT_EQ(failureOfCommand(fd, {{"cmd", "move"}, {"snap", 1}, {"dx", 1}, {"dy", 1}}),
            Failure::protocolError);
  EXPECT_EQ(failureOfCommand(fd, {{"cmd", "move"}, {"snap", "true"}, {"dx", 1}, {"dy", 1}}),
            Failure::protocolError);
  EXPECT_EQ(failureOfCommand(fd, {{"cmd", "move"}, {"snap", nullptr}, {"dx", 1}, {"dy", 1}}),
            Failure::protocolError);
  EXPECT_EQ(rig.devices.reportCount("mouse"), 0u);
}

TEST_F(MoveCommand, MoveIsNotStoredAndLeavesTheRestReport) {
  int fd = rig.connectAuthenticated();
  cmd(fd, {{"cmd", "buttons"}, {"buttons", 2}});
  cmd(fd, {{"cmd", "move"}, {"dx", 5}, {"dy", -3}});
  EXPECT_EQ(rig.devices.lastReport("mouse"), Bytes({2, 5, 0xFD, 0}));
  EXPECT_EQ(rig.hid->mouseDelegate().input(), Bytes({2, 0, 0, 0}));
  auto* delegate = rig.devices.delegate("mouse");
  ASSERT_NE(delegate, nullptr);
  EXPECT_EQ(delegate->getReport(HidReportType::input, std::nullopt, 4), Bytes({2, 0, 0, 0}));
}

class MoveCommandCgevent : public CgeventBridgeTest {};

TEST_F(MoveCommandCgevent, SnapFlagReachesTheOutput) {
  int fd = rig.connectAuthenticated();
  cmd(fd, {{"cmd", "move"}, {"snap", true}, {"dx", 1}, {"dy", 2}});
  cmd(fd, {{"cmd", "move"}, {"snap", false}, {"dx", 1}, {"dy", 2}});
  cmd(fd, {{"cmd", "move"}, {"dx", 1}, {"dy", 2}});
  auto calls = callsNamed(script, "pointing");
  ASSERT_EQ(calls.size(), 3u);
  EXPECT_TRUE(calls[0].flag);
  EXPECT_FALSE(calls[1].flag);
  EXPECT_FALSE(calls[2].flag);
  EXPECT_EQ(calls[0].report, Bytes({0, 1, 2, 0}));
}

TEST_F(MoveCommandCgevent, ButtonsAndWheelNeverSnap) {
  int fd = rig.connectAuthenticated();
  cmd(fd, {{"cmd", "buttons"}, {"buttons", 1}});
  cmd(fd, {{"cmd", "wheel"}, {"amount", 3}});
  for (const auto& call : callsNamed(script, "pointing")) EXPECT_FALSE(call.flag);
}

class WheelCommand : public CorehidBridgeTest {};

TEST_F(WheelCommand, AmountGoesToTheFourthByte) {
  int fd = rig.connectAuthenticated();
  cmd(fd, {{"cmd", "wheel"}, {"amount", -127}});
  EXPECT_EQ(rig.devices.lastReport("mouse"), Bytes({0, 0, 0, 0x81}));
  cmd(fd, {{"cmd", "wheel"}, {"amount", 127}});
  EXPECT_EQ(rig.devices.lastReport("mouse"), Bytes({0, 0, 0, 0x7F}));
  EXPECT_EQ(rig.hid->mouseDelegate().input(), Bytes({0, 0, 0, 0}));
}

TEST_F(WheelCommand, OutOfRangeOrMissingAmountIsRefused) {
  int fd = rig.connectAuthenticated();
  EXPECT_EQ(failureOfCommand(fd, {{"cmd", "wheel"}, {"amount", 128}}), Failure::protocolError);
  EXPECT_EQ(failureOfCommand(fd, {{"cmd", "wheel"}, {"amount", -128}}), Failure::protocolError);
  EXPECT_EQ(failureOfCommand(fd, {{"cmd", "wheel"}}), Failure::protocolError);
  EXPECT_EQ(rig.devices.reportCount("mouse"), 0u);
}

}  // namespace
}  // namespace virelo::testing
