// fn_state events: de-duplication, Fn reported held only while ready, none with "corehid".
#include <gtest/gtest.h>

#include "bridge_test_util.h"

namespace virelo::testing {
namespace {

using json = nlohmann::json;

json fnEvent(bool held, bool bridgeReady) {
  return {
      {"type", "fn_state"}, {"held", held}, {"bridgeReady", bridgeReady}, {"backend", "cgevent"}};
}

class FnState : public CgeventBridgeTest {};

TEST_F(FnState, FirstCallAlwaysWritesAndRepeatsAreSuppressed) {
  rig.bridge->emitFnState();
  rig.bridge->emitFnState();
  EXPECT_EQ(rig.emitter.events(), std::vector<json>{fnEvent(false, false)});
}

TEST_F(FnState, PressAndReleaseWhileReadyWriteTwoEvents) {
  script.fn = {false, true};
  rig.bridge->emitFnState();
  script.fn = {true, true};
  rig.bridge->emitFnState();
  rig.bridge->emitFnState();
  script.fn = {false, true};
  rig.bridge->emitFnState();
  EXPECT_EQ(rig.emitter.events(),
            std::vector<json>({fnEvent(false, true), fnEvent(true, true), fnEvent(false, true)}));
}

TEST_F(FnState, ReadinessChangeAloneWritesOneEvent) {
  script.fn = {false, true};
  rig.bridge->emitFnState();
  script.fn = {false, false};
  rig.bridge->emitFnState();
  EXPECT_EQ(rig.emitter.events(), std::vector<json>({fnEvent(false, true), fnEvent(false, false)}));
}

TEST_F(FnState, HeldIsReportedOnlyWhileTheBridgeIsReady) {
  script.permitted = false;
  ASSERT_TRUE(rig.bridge->applyPermission());
  script.fn = {true, true};
  rig.bridge->emitFnState();
  script.fn = {false, true};
  rig.bridge->emitFnState();
  script.fn = {true, true};
  rig.bridge->emitFnState();
  EXPECT_EQ(rig.emitter.events(), std::vector<json>{fnEvent(false, true)});
  script.permitted = true;
  ASSERT_TRUE(rig.bridge->applyPermission());
  rig.bridge->emitFnState();
  EXPECT_EQ(rig.emitter.events().back(), fnEvent(true, true));
}

TEST_F(FnState, KeyboardOutputReportsAChangedFnState) {
  int fd = rig.connectAuthenticated();
  rig.bridge->emitFnState();
  script.fn = {true, true};
  cmd(fd, {{"cmd", "keyboard"}, {"modifiers", 0}, {"keys", json::array()}, {"fn", true}});
  EXPECT_EQ(rig.emitter.events().back(), fnEvent(true, true));
  EXPECT_EQ(rig.emitter.events().size(), 2u);
}

TEST_F(FnState, StatusEventsAreNotWrittenByTheBridge) {
  int fd = rig.connectAuthenticated();
  cmd(fd, {{"cmd", "status"}});
  EXPECT_TRUE(rig.emitter.events().empty());
}

TEST(FnStateCorehid, NeverWritesAnEvent) {
  BridgeRig rig(InputBackend::corehid);
  rig.bridge->start();
  int fd = rig.connectAuthenticated();
  rig.bridge->emitFnState();
  rig.command(fd, {{"cmd", "keyboard"}, {"modifiers", 0}, {"keys", {4}}});
  rig.bridge->emitFnState();
  EXPECT_TRUE(rig.emitter.events().empty());
}

}  // namespace
}  // namespace virelo::testing
