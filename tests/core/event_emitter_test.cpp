// Status lines on standard output: compact, keys sorted, one newline, one write; and the clock.
#include "core/event_emitter.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <string>

#include "core/monotonic_clock.h"

namespace virelo {
namespace {

using json = nlohmann::json;

TEST(EventLines, FailureEventHasExactlyFourSortedKeys) {
  EXPECT_EQ(eventLine(failureEvent(InputBackend::corehid, errors::authorizationRequired)),
            "{\"backend\":\"corehid\",\"error\":\"virtual_hid_authorization_required\","
            "\"ready\":false,\"type\":\"status\"}\n");
  EXPECT_EQ(eventLine(failureEvent(InputBackend::cgevent, errors::protocolError)),
            "{\"backend\":\"cgevent\",\"error\":\"virtual_hid_protocol_error\",\"ready\":false,"
            "\"type\":\"status\"}\n");
}

TEST(EventLines, StatusAndFnStateEventsAreSorted) {
  json ready = {
      {"type", "ready"}, {"ok", true}, {"ready", true}, {"protocol", 1}, {"backend", "corehid"}};
  EXPECT_EQ(
      eventLine(ready),
      "{\"backend\":\"corehid\",\"ok\":true,\"protocol\":1,\"ready\":true,\"type\":\"ready\"}\n");
  json fn = {{"type", "fn_state"}, {"held", false}, {"bridgeReady", true}, {"backend", "cgevent"}};
  EXPECT_EQ(
      eventLine(fn),
      "{\"backend\":\"cgevent\",\"bridgeReady\":true,\"held\":false,\"type\":\"fn_state\"}\n");
}

TEST(EventLines, EmitterWritesOneWholeLineAndLosesAnUnserialisableEvent) {
  int fds[2];
  ASSERT_EQ(::pipe(fds), 0);
  FdEventEmitter emitter(fds[1]);
  emitter.emit(json{{"type", "x"}, {"bad", std::string("\xFF")}});  // invalid UTF-8: lost
  emitter.emit(failureEvent(InputBackend::corehid, errors::notReady));
  ::close(fds[1]);
  std::string out;
  char buffer[512];
  for (ssize_t n; (n = ::read(fds[0], buffer, sizeof(buffer))) > 0;) {
    out.append(buffer, static_cast<std::size_t>(n));
  }
  ::close(fds[0]);
  EXPECT_EQ(out,
            "{\"backend\":\"corehid\",\"error\":\"virtual_hid_not_ready\",\"ready\":false,"
            "\"type\":\"status\"}\n");
}

TEST(MonotonicClock, TwoReadingsNeverDecrease) {
  std::uint64_t previous = monotonicNS();
  for (int i = 0; i < 1000; ++i) {
    std::uint64_t now = monotonicNS();
    EXPECT_GE(now, previous);
    previous = now;
  }
  EXPECT_GT(previous, 0u);
}

}  // namespace
}  // namespace virelo
