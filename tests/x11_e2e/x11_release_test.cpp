// The X server holds nothing once the service lets go, however it lets go; and the service is not
// ready without an X server and becomes ready when one appears.
#include <signal.h>

#include "tests/support/test_client.h"
#include "tests/x11_e2e/x11_desktop_fixture.h"

namespace virelo::test {
namespace {

enum class Ending { clientDisconnects, protocolError, sigterm, stdinClosed };

class X11Release : public X11Desktop, public testing::WithParamInterface<Ending> {};

TEST_P(X11Release, TheServerHoldsNoKeyAndNoButtonAfterwards) {
  startDesktop();
  if (HasFatalFailure()) return;
  moveTo(*connect(), app().centre("drag"));
  TestClient client(service_->socketPath());
  client.hello(service_->token());
  client.command({{"cmd", "keyboard"}, {"modifiers", 2}, {"keys", {4}}});
  client.command({{"cmd", "buttons"}, {"buttons", 1}});
  client.command({{"cmd", "consumer"}, {"usages", {0xE2}}});
  ASSERT_TRUE(serverHoldsSomething());
  switch (GetParam()) {
    case Ending::clientDisconnects:
      client.close();
      break;
    case Ending::protocolError:
      client.sendLine("{\"cmd\":");
      EXPECT_TRUE(client.closedByService());
      break;
    case Ending::sigterm:
      service_->signal(SIGTERM);
      EXPECT_EQ(service_->waitExit(), 0);
      break;
    case Ending::stdinClosed:
      service_->closeStdin();
      EXPECT_EQ(service_->waitExit(), 0);
      break;
  }
  EXPECT_TRUE(serverHoldsNothing()) << "keys " << testing::PrintToString(probe_->heldKeys())
                                    << ", buttons " << probe_->pointer().buttons;
}

std::string endingName(const testing::TestParamInfo<Ending>& info) {
  static const char* const names[] = {"ClientDisconnects", "ProtocolError", "Sigterm",
                                      "StdinClosed"};
  return names[static_cast<int>(info.param)];
}

INSTANTIATE_TEST_SUITE_P(Endings, X11Release,
                         testing::Values(Ending::clientDisconnects, Ending::protocolError,
                                         Ending::sigterm, Ending::stdinClosed),
                         endingName);

class X11Availability : public X11Desktop {};

TEST_F(X11Availability, NotReadyWithoutAnXServerAndReadyOnceOneAppears) {
  const int number = VirtualDesktop::freeDisplayNumber();
  startService(":" + std::to_string(number));
  EXPECT_EQ(
      service_->readLine(10s),
      R"({"backend":"cgevent","error":"virtual_hid_accessibility_required","ok":false,"protocol":1,"ready":false,"type":"status"})");
  auto server = VirtualDesktop::startServer(number);
  ASSERT_TRUE(server->available());
  // The 500 ms watch finds it; state events of the tap may come first.
  auto event = service_->readEvent(3s);
  while (event && (*event)["type"] == "fn_state") event = service_->readEvent(3s);
  ASSERT_TRUE(event);
  EXPECT_EQ((*event)["type"], "ready");
}

}  // namespace
}  // namespace virelo::test
