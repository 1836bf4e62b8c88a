// Clients of the real service where a transcript cannot say it: a peer of another user, a client
// that never reads, and the keyboard's LED reports. The protocol's rules themselves are the
// transcripts of tests/protocol.
#include <gtest/gtest.h>
#include <sys/socket.h>

#include <thread>

#include "tests/support/host_control.h"
#include "tests/support/host_trace.h"
#include "tests/support/service_process.h"
#include "tests/support/service_user.h"
#include "tests/support/test_client.h"

namespace virelo::test {
namespace {

class Clients : public testing::Test {
 protected:
  void SetUp() override { service_.awaitReady(); }

  std::unique_ptr<TestClient> authenticated() {
    auto client = std::make_unique<TestClient>(service_.socketPath());
    EXPECT_EQ(client->hello(service_.token())["ready"], true);
    return client;
  }

  ServiceProcess service_;
};

TEST_F(Clients, ForeignUserIsClosedAtOnceWithoutData) {
  if (!ServiceUser::privileged()) GTEST_SKIP() << "needs root to connect as another user";
  std::unique_ptr<TestClient> foreign;
  ServiceUser::asRoot([&] { foreign = std::make_unique<TestClient>(service_.socketPath()); });
  // Root can reach the socket through the private directory; other users cannot even connect.
  EXPECT_TRUE(foreign->closedByService());
  auto client = authenticated();
  EXPECT_EQ(client->command({{"cmd", "status"}}), kAck);
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
