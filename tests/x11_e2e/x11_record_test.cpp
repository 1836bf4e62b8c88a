// "virelo record" and "virelo run" on a real X server: what the tool typed into the GTK entry,
// recorded with the service's own input kept, comes back the same when the recording is replayed.
#include <signal.h>

#include <thread>

#include "tests/support/private_dir.h"
#include "tests/tools/tool_process.h"
#include "tests/x11_e2e/x11_desktop_fixture.h"
#include "virelo/client/keys.h"

namespace virelo::test {
namespace {

using client::runTool;
using client::ToolProcess;
using Event = nlohmann::json;

class X11Record : public X11Desktop {
 protected:
  void SetUp() override {
    X11Desktop::SetUp();
    if (!IsSkipped()) startDesktop();
  }
  std::map<std::string, std::string> environment() {
    return {{"VIRELO_SOCKET", service_->socketPath()},
            {"VIRELO_TOKEN", service_->token()},
            {"DISPLAY", desktop_->server->display()}};
  }
  bool entryShows(const std::string& text) {
    return app()
        .next([&](const Event& e) { return e.contains("text") && e["text"] == text; })
        .has_value();
  }
};

TEST_F(X11Record, ARecordedSessionReplaysTheSameText) {
  const std::string text = "Hello, World! (x_y) 42";
  ToolProcess recorder({"record", "--include-own"}, environment());
  const auto deadline = std::chrono::steady_clock::now() + 5s;
  while (recorder.errors().find("recording") == std::string::npos &&
         std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(10ms);
  }
  ASSERT_EQ(runTool({"type", "--layout", "us", text}, environment()).status, 0);
  ASSERT_TRUE(entryShows(text));
  recorder.signal(SIGINT);
  ASSERT_EQ(recorder.waitExit(5s), 0) << recorder.errors();
  const std::string script = recorder.output();

  auto client = connect();
  client->pressModifiers(client::modifier::leftCtrl);
  client->pressKey(*client::keyUsage("a"));
  client->reset();
  client->pressKey(*client::keyUsage("backspace"));
  client->reset();
  ASSERT_TRUE(entryShows(""));

  PrivateDir dir;
  writeFile(dir / "recorded", script);
  auto replay = runTool({"run", dir / "recorded"}, environment(), 30s);
  EXPECT_EQ(replay.status, 0) << replay.errors << script;
  EXPECT_TRUE(entryShows(text)) << script;
}

}  // namespace
}  // namespace virelo::test
