// The client registry's checks: the dead-client test over socket pairs and the stop check on the
// parent's pipe, on a started "corehid" bridge with fake devices.
#include "service/client_registry.h"

#include <gtest/gtest.h>

#include "bridge/bridge_test_util.h"

namespace virelo::testing {
namespace {

class ClientRegistryPrune : public CorehidBridgeTest {};
class ClientRegistryCheck : public CorehidBridgeTest {};

TEST_F(ClientRegistryPrune, LiveClientsSurviveThePrune) {
  int a = rig.connectAuthenticated();
  int b = rig.connect();
  rig.client(b).send("{\"cmd\":");  // unread data means alive
  rig.registry->pruneDisconnected();
  EXPECT_TRUE(rig.admitted(a));
  EXPECT_TRUE(rig.admitted(b));
  EXPECT_FALSE(rig.bridge->pendingRelease());
}

TEST_F(ClientRegistryPrune, ClosedPeerIsRemovedAndThenReleased) {
  int a = rig.connectAuthenticated();
  int b = rig.connectAuthenticated();
  cmd(a, {{"cmd", "keyboard"}, {"modifiers", 0}, {"keys", {4}}});
  cmd(b, {{"cmd", "keyboard"}, {"modifiers", 0}, {"keys", {5}}});
  rig.client(a).closePeer();
  rig.registry->pruneDisconnected();
  EXPECT_FALSE(rig.admitted(a));
  EXPECT_TRUE(rig.bridge->pendingRelease());
  rig.bridge->releasePending();
  EXPECT_FALSE(rig.bridge->pendingRelease());
  EXPECT_EQ(rig.devices.lastReport("keyboard"), keyboardBytes(0, {5}));
}

TEST_F(ClientRegistryPrune, ClosedPeerWithUnreadDataIsStillDead) {
  int a = rig.connectAuthenticated();
  rig.client(a).send("{\"cmd\":\"status\"}\n");
  rig.client(a).closePeer();
  rig.registry->pruneDisconnected();
  EXPECT_FALSE(rig.admitted(a));
}

TEST_F(ClientRegistryCheck, ClosedParentPipeStopsTheBridge) {
  rig.parent.closeWriter();
  EXPECT_FALSE(rig.registry->check());
  EXPECT_FALSE(rig.bridge->stopped());
  EXPECT_NO_THROW(rig.bridge->resend());
  EXPECT_TRUE(rig.bridge->stopped());
  EXPECT_EQ(rig.devices.reportCount("keyboard"), 0u);
  EXPECT_EQ(rig.devices.reportCount("media"), 0u);
  EXPECT_EQ(rig.devices.reportCount("mouse"), 0u);
}

TEST_F(ClientRegistryCheck, ReadableDataFromTheParentIsNotAStop) {
  rig.parent.writeByte();
  EXPECT_TRUE(rig.registry->check());
  rig.bridge->resend();
  EXPECT_EQ(rig.devices.reportCount("keyboard"), 1u);
}

}  // namespace
}  // namespace virelo::testing
