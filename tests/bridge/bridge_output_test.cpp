// start() for both backends, output while not ready, dispatch errors, the client check before
// each report and the stopping flag.
#include <gtest/gtest.h>

#include "bridge_test_util.h"

namespace virelo::testing {
namespace {

using json = nlohmann::json;

// ---------------------------------------------------------------------------------------------
// start()

TEST(BridgeStartCorehid, CreatesActivatesAndPublishesTheEmptyState) {
  BridgeRig rig(InputBackend::corehid);
  rig.bridge->start();
  EXPECT_TRUE(rig.bridge->ready());
  EXPECT_EQ(rig.devices.requested(), std::vector<std::string>({"keyboard", "mouse", "media"}));
  EXPECT_EQ(rig.devices.delegate("keyboard"), &rig.hid->keyboardDelegate());
  EXPECT_EQ(rig.devices.delegate("mouse"), &rig.hid->mouseDelegate());
  EXPECT_EQ(rig.devices.delegate("media"), &rig.hid->consumerDelegate());
  EXPECT_EQ(rig.devices.reports("keyboard"), std::vector<Bytes>{Bytes(33, 0)});
  EXPECT_EQ(rig.devices.reports("media"), std::vector<Bytes>{Bytes(1, 0)});
  EXPECT_EQ(rig.devices.reports("mouse"), std::vector<Bytes>{Bytes(4, 0)});
  EXPECT_EQ(rig.devices.delegate("keyboard")->getReport(HidReportType::input, std::nullopt, 64),
            Bytes(33, 0));
  EXPECT_EQ(rig.devices.delegate("mouse")->getReport(HidReportType::input, std::nullopt, 64),
            Bytes(4, 0));
  EXPECT_EQ(rig.devices.delegate("media")->getReport(HidReportType::input, std::nullopt, 64),
            Bytes(1, 0));
}

TEST(BridgeStartCorehid, DevicePropertiesNameEachDevice) {
  BridgeRig rig(InputBackend::corehid);
  rig.bridge->start();
  auto keyboard = rig.devices.record("keyboard").properties;
  auto mouse = rig.devices.record("mouse").properties;
  auto media = rig.devices.record("media").properties;
  EXPECT_EQ(keyboard.product, "Virelo Keyboard");
  EXPECT_EQ(mouse.product, "Virelo Mouse");
  EXPECT_EQ(media.product, "Virelo Media");
  EXPECT_EQ(keyboard.productID, 1u);
  EXPECT_EQ(mouse.productID, 2u);
  EXPECT_EQ(media.productID, 3u);
  for (const auto* p : {&keyboard, &mouse, &media}) {
    EXPECT_EQ(p->vendorID, 0u);
    EXPECT_EQ(p->manufacturer, "Virelo");
    EXPECT_EQ(p->transport, HidTransport::virtualDevice);
    EXPECT_FALSE(p->modelNumber || p->versionNumber || p->serialNumber || p->locationID);
  }
  EXPECT_TRUE(keyboard.uniqueID.ends_with("corehid.keyboard"));
  EXPECT_TRUE(mouse.uniqueID.ends_with("corehid.mouse"));
  EXPECT_TRUE(media.uniqueID.ends_with("corehid.media"));
  EXPECT_EQ(keyboard.localizationCode, HidLocalization::unitedStates);
  EXPECT_FALSE(mouse.localizationCode);
  EXPECT_FALSE(media.localizationCode);
  EXPECT_EQ(keyboard.descriptor, Bytes(keyboardDescriptor.begin(), keyboardDescriptor.end()));
  EXPECT_EQ(mouse.descriptor, Bytes(mouseDescriptor.begin(), mouseDescriptor.end()));
  EXPECT_EQ(media.descriptor, Bytes(consumerDescriptor.begin(), consumerDescriptor.end()));
}

TEST(BridgeStartCorehid, RefusedSecondDeviceFailsWithNoneActivated) {
  BridgeRig rig(InputBackend::corehid);
  rig.devices.refuse("mouse");
  EXPECT_EQ(failureOf([&] { rig.bridge->start(); }), Failure::authorizationRequired);
  EXPECT_FALSE(rig.bridge->ready());
  EXPECT_TRUE(rig.devices.created("keyboard"));
  EXPECT_EQ(rig.devices.delegate("keyboard"), nullptr);
  EXPECT_EQ(rig.devices.delegate("media"), nullptr);
  EXPECT_EQ(rig.devices.reportCount("keyboard"), 0u);
}

TEST(BridgeStartCorehid, StopRequestedDuringStartStopsTheBridgeAfterActivation) {
  BridgeRig rig(InputBackend::corehid);
  rig.lifetime.requestStop();
  EXPECT_EQ(failureOf([&] { rig.bridge->start(); }), std::nullopt);
  EXPECT_TRUE(rig.bridge->stopped());
  EXPECT_NE(rig.devices.delegate("keyboard"), nullptr);
  EXPECT_EQ(rig.devices.reportCount("keyboard"), 0u);
}

TEST(BridgeStartCorehid, StartMarksProgress) {
  BridgeRig rig(InputBackend::corehid);
  rig.clock.advance(123);
  rig.bridge->start();
  EXPECT_EQ(rig.lifetime.lastProgress(), rig.clock.now());
}

TEST(BridgeStartCgevent, WithoutPermissionSucceedsNotReadyWithTheTapStarted) {
  RecordingEventOutput::Script script;
  script.permitted = false;
  BridgeRig rig(InputBackend::cgevent, std::make_unique<RecordingEventOutput>(script));
  EXPECT_TRUE(script.snapStepSet);
  rig.bridge->start();
  EXPECT_FALSE(rig.bridge->ready());
  EXPECT_TRUE(script.tapStarted);
  EXPECT_TRUE(script.calls.empty());
  EXPECT_TRUE(rig.devices.requested().empty());
}

TEST(BridgeStartCgevent, WithPermissionIsReadyAndSendsNothing) {
  RecordingEventOutput::Script script;
  BridgeRig rig(InputBackend::cgevent, std::make_unique<RecordingEventOutput>(script));
  rig.bridge->start();
  EXPECT_TRUE(rig.bridge->ready());
  EXPECT_TRUE(script.tapStarted);
  EXPECT_TRUE(script.calls.empty());
}

// ---------------------------------------------------------------------------------------------
// Output while not ready, and with a device missing

TEST(OutputNotReady, ResendLeavesDelegatesUntouchedButStoresTheRestReport) {
  BridgeRig rig(InputBackend::corehid);
  int fd = rig.connectAuthenticated();
  rig.command(fd, {{"cmd", "buttons"}, {"buttons", 3}});  // not stored: not ready
  rig.bridge->resend();
  EXPECT_EQ(rig.hid->keyboardDelegate().input(), Bytes(33, 0));
  EXPECT_EQ(rig.hid->consumerDelegate().input(), Bytes(1, 0));
  EXPECT_EQ(rig.hid->mouseDelegate().input(), Bytes({0, 0, 0, 0}));
  EXPECT_EQ(rig.devices.reportCount("mouse"), 0u);
}

TEST(OutputNotReady, NothingReachesTheEventOutputAndNoStopCheck) {
  RecordingEventOutput::Script script;
  script.permitted = false;
  BridgeRig rig(InputBackend::cgevent, std::make_unique<RecordingEventOutput>(script));
  rig.bridge->start();
  rig.lifetime.requestStop();
  rig.bridge->resend();
  rig.bridge->tick();
  EXPECT_TRUE(script.calls.empty());
}

TEST(OutputDispatchError, DeviceErrorPassesThroughAfterTheDelegateWasUpdated) {
  BridgeRig rig(InputBackend::corehid);
  rig.bridge->start();
  int fd = rig.connectAuthenticated();
  rig.devices.failDispatch("keyboard");
  std::uint64_t progress = rig.lifetime.lastProgress();
  rig.clock.advance(1000);
  EXPECT_THROW(rig.command(fd, {{"cmd", "keyboard"}, {"modifiers", 0}, {"keys", {9}}}),
               HidServiceError);
  EXPECT_TRUE(rig.owner(fd).keys.test(9));
  EXPECT_EQ(rig.hid->keyboardDelegate().input(), keyboardBytes(0, {9}));
  EXPECT_EQ(rig.lifetime.lastProgress(), progress);
}

// ---------------------------------------------------------------------------------------------
// Dead clients, found by the client check before each report

class DeadClients : public CorehidBridgeTest {};

TEST_F(DeadClients, ResendPrunesBeforeMerging) {
  int a = rig.connectAuthenticated();
  cmd(a, {{"cmd", "keyboard"}, {"modifiers", 1}, {"keys", {4}}});
  rig.client(a).closePeer();
  rig.bridge->resend();
  EXPECT_EQ(rig.devices.lastReport("keyboard"), keyboardBytes(0, {}));
  EXPECT_TRUE(rig.bridge->pendingRelease());
}

TEST_F(DeadClients, MoveOfAClientDroppedInsidePointingSendsNothing) {
  int a = rig.connectAuthenticated();
  int b = rig.connectAuthenticated();
  cmd(b, {{"cmd", "buttons"}, {"buttons", 1}});
  rig.devices.forgetReports();
  rig.client(a).closePeer();
  EXPECT_EQ(cmd(a, {{"cmd", "move"}, {"dx", 10}, {"dy", 10}}),
            json({{"ok", true}, {"ready", true}}));
  EXPECT_EQ(rig.devices.reportCount("mouse"), 0u);
  EXPECT_EQ(rig.hid->mouseDelegate().input(), Bytes({1, 0, 0, 0}));
}

TEST_F(DeadClients, TickConsumesPendingReleaseAndResendsEverything) {
  int a = rig.connectAuthenticated();
  cmd(a, {{"cmd", "keyboard"}, {"modifiers", 0}, {"keys", {4}}});
  cmd(a, {{"cmd", "consumer"}, {"usages", {0xE2}}});
  cmd(a, {{"cmd", "buttons"}, {"buttons", 1}});
  rig.devices.forgetReports();
  rig.client(a).closePeer();
  rig.bridge->tick();
  EXPECT_FALSE(rig.bridge->pendingRelease());
  EXPECT_EQ(rig.devices.reports("keyboard"), std::vector<Bytes>{keyboardBytes(0, {})});
  EXPECT_EQ(rig.devices.reports("media"), std::vector<Bytes>{Bytes{0}});
  EXPECT_EQ(rig.devices.reports("mouse"), std::vector<Bytes>{Bytes({0, 0, 0, 0})});
}

TEST_F(DeadClients, ClearResetsEveryRecordAndSendsTheEmptyState) {
  int a = rig.connectAuthenticated();
  int b = rig.connectAuthenticated();
  cmd(a, {{"cmd", "keyboard"}, {"modifiers", 4}, {"keys", {4}}});
  cmd(b, {{"cmd", "buttons"}, {"buttons", 2}});
  rig.devices.forgetReports();
  rig.bridge->clear();
  EXPECT_EQ(rig.registry->size(), 2u);
  EXPECT_TRUE(rig.authenticated(a));
  EXPECT_EQ(rig.devices.lastReport("keyboard"), keyboardBytes(0, {}));
  EXPECT_EQ(rig.devices.lastReport("media"), Bytes{0});
  EXPECT_EQ(rig.devices.lastReport("mouse"), Bytes({0, 0, 0, 0}));
}

// ---------------------------------------------------------------------------------------------
// The stop check

class StopCheck : public CorehidBridgeTest {};

TEST_F(StopCheck, StoppingFlagStopsEveryOutputWithoutAFailure) {
  int fd = rig.connectAuthenticated();
  EXPECT_FALSE(rig.bridge->stopped());
  rig.lifetime.requestStop();
  EXPECT_EQ(failureOf([&] { rig.bridge->resend(); }), std::nullopt);
  EXPECT_TRUE(rig.bridge->stopped());
  EXPECT_EQ(failureOf([&] { rig.bridge->tick(); }), std::nullopt);
  EXPECT_EQ(failureOfCommand(fd, {{"cmd", "keyboard"}, {"modifiers", 0}, {"keys", {4}}}),
            std::nullopt);
  EXPECT_TRUE(rig.owner(fd).keys.test(4));  // the record was updated; the output sent nothing
  EXPECT_EQ(rig.devices.reportCount("keyboard"), 0u);
  EXPECT_EQ(rig.devices.reportCount("media"), 0u);
  EXPECT_EQ(rig.devices.reportCount("mouse"), 0u);
}

TEST_F(StopCheck, TheOrderlyStopStillSendsTheEmptyState) {
  int fd = rig.connectAuthenticated();
  cmd(fd, {{"cmd", "keyboard"}, {"modifiers", 2}, {"keys", {4}}});
  cmd(fd, {{"cmd", "buttons"}, {"buttons", 1}});
  rig.devices.forgetReports();
  rig.lifetime.requestStop();
  rig.bridge->resend();  // the stop check finds the service stopping
  ASSERT_TRUE(rig.bridge->stopped());
  rig.bridge->clear();
  EXPECT_EQ(rig.devices.reports("keyboard"), std::vector<Bytes>{keyboardBytes(0, {})});
  EXPECT_EQ(rig.devices.reports("media"), std::vector<Bytes>{Bytes{0}});
  EXPECT_EQ(rig.devices.reports("mouse"), std::vector<Bytes>{Bytes({0, 0, 0, 0})});
}

TEST_F(StopCheck, ProtocolErrorsWinOverAStopRequest) {
  int fd = rig.connectAuthenticated();
  rig.lifetime.requestStop();
  EXPECT_EQ(failureOfCommand(fd, {{"cmd", "keyboard"}, {"modifiers", 256}, {"keys", {4}}}),
            Failure::protocolError);
  EXPECT_EQ(cmd(fd, {{"cmd", "status"}}), json({{"ok", true}, {"ready", true}}));
}

TEST(StatusObject, ReadyCorehidAndNotReadyCgevent) {
  BridgeRig corehid(InputBackend::corehid);
  corehid.bridge->start();
  EXPECT_EQ(corehid.bridge->status(),
            json({{"ok", true}, {"ready", true}, {"backend", "corehid"}, {"protocol", 1}}));
  RecordingEventOutput::Script script;
  script.permitted = false;
  BridgeRig cgevent(InputBackend::cgevent, std::make_unique<RecordingEventOutput>(script));
  cgevent.bridge->start();
  EXPECT_EQ(cgevent.bridge->status(), json({{"ok", false},
                                            {"ready", false},
                                            {"backend", "cgevent"},
                                            {"protocol", 1},
                                            {"error", "virtual_hid_accessibility_required"}}));
}

}  // namespace
}  // namespace virelo::testing
