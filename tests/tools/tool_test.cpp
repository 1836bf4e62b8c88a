// The command-line tool run as a child process against the real service: what its verbs put into
// the host's trace, its exit codes, its help, and the release of held input on Ctrl-C.
#include <gtest/gtest.h>
#include <signal.h>

#include <algorithm>

#include "tests/support/host_trace.h"
#include "tests/support/private_dir.h"
#include "tests/support/service_process.h"
#include "tests/tools/tool_process.h"

namespace virelo::client {
namespace {

using test::HostTrace;
using test::keyboardHex;
using test::ServiceProcess;
using namespace std::chrono_literals;

class Tool : public testing::Test {
 protected:
  void SetUp() override { service_.awaitReady(); }

  std::map<std::string, std::string> environment() const {
    return {{"VIRELO_SOCKET", service_.socketPath()}, {"VIRELO_TOKEN", service_.token()}};
  }

  std::vector<std::string> reportsSince(const std::string& device, std::size_t from) {
    auto all = trace_.reports(device);
    return {all.begin() + static_cast<std::ptrdiff_t>(std::min(from, all.size())), all.end()};
  }

  // The reports of a tool run: `sent` of its own, then the one the service sends again for each
  // device once it has dropped the tool's connection (the merged state without the tool).
  std::vector<std::string> reportsOfRun(const std::string& device, std::size_t from,
                                        std::size_t sent) {
    trace_.waitFor([&](const auto&) { return trace_.reports(device).size() >= from + sent + 1; },
                   2s);
    return reportsSince(device, from);
  }

  ServiceProcess service_;
  HostTrace trace_{service_.tracePath()};
};

TEST_F(Tool, KeyPressesEachChordInTurn) {
  auto before = trace_.reports("keyboard").size();
  auto result = runTool({"key", "ctrl+a", "b"}, environment());
  EXPECT_EQ(result.status, 0) << result.errors;
  EXPECT_EQ(
      reportsOfRun("keyboard", before, 6),
      (std::vector<std::string>{keyboardHex(1), keyboardHex(1, {4}), keyboardHex(1), keyboardHex(0),
                                keyboardHex(0, {5}), keyboardHex(0), keyboardHex(0)}));
}

TEST_F(Tool, TypeFileStreamsTextAcrossBlocksThatSplitCharacters) {
  // 1 + 2 x 3000 bytes: the 4096-byte blocks end inside an "ä".
  std::string text = "x";
  for (int i = 0; i < 3000; ++i) text += "\xC3\xA4";
  test::PrivateDir dir;
  test::writeFile(dir / "text", text);
  auto before = trace_.reports("keyboard").size();
  auto result = runTool({"type", "--layout", "de", "--file", dir / "text"}, environment(), 30s);
  EXPECT_EQ(result.status, 0) << result.errors;
  EXPECT_EQ(reportsOfRun("keyboard", before, 2 * 3001).size(), 2u * 3001 + 1);
}

TEST_F(Tool, ChordPressesAndReleasesTogether) {
  auto before = trace_.reports("keyboard").size();
  auto result = runTool({"chord", "ctrl+shift+a"}, environment());
  EXPECT_EQ(result.status, 0) << result.errors;
  EXPECT_EQ(reportsOfRun("keyboard", before, 4),
            (std::vector<std::string>{keyboardHex(3), keyboardHex(3, {4}), keyboardHex(3),
                                      keyboardHex(0), keyboardHex(0)}));
}

TEST_F(Tool, TypeSendsTheTextAndLeavesNothingHeld) {
  auto before = trace_.reports("keyboard").size();
  auto result = runTool({"type", "Hi!"}, environment());
  EXPECT_EQ(result.status, 0) << result.errors;
  auto reports = reportsOfRun("keyboard", before, 10);
  ASSERT_EQ(reports.size(), 11u);
  EXPECT_EQ(reports[1], keyboardHex(2, {11}));
  EXPECT_EQ(reports.back(), keyboardHex(0));
}

TEST_F(Tool, TypePacingHoldsEachKeyAndPausesBetween) {
  auto before = trace_.events().size();
  auto result = runTool({"type", "--hold", "30", "--delay", "60", "ab"}, environment());
  EXPECT_EQ(result.status, 0) << result.errors;
  std::vector<std::uint64_t> times;  // a down, a up, b down, b up
  trace_.waitFor([&](const auto& events) { return events.size() >= before + 4; }, 2s);
  auto events = trace_.events();
  for (std::size_t i = before; i < events.size() && times.size() < 4; ++i) {
    if (events[i].value("device", "") == "keyboard") times.push_back(events[i]["t_ns"]);
  }
  ASSERT_EQ(times.size(), 4u);
  EXPECT_GE(times[1] - times[0], 30'000'000u);
  EXPECT_GE(times[2] - times[1], 60'000'000u);
  EXPECT_GE(times[3] - times[2], 30'000'000u);
}

TEST_F(Tool, LayoutOptionTypesAndNamesKeysOfThatLayout) {
  auto before = trace_.reports("keyboard").size();
  // Without an X server, "active" is the layout that the XKB_DEFAULT_* variables name.
  auto withGerman = environment();
  withGerman["XKB_DEFAULT_LAYOUT"] = "de";
  auto result = runTool({"type", "--layout", "active", "z"}, withGerman);
  EXPECT_EQ(result.status, 0) << result.errors;
  EXPECT_EQ(reportsOfRun("keyboard", before, 2),
            (std::vector<std::string>{keyboardHex(0, {0x1C}), keyboardHex(0), keyboardHex(0)}));
  before = trace_.reports("keyboard").size();
  result = runTool({"chord", "--layout", "de", "ctrl+ü"}, environment());
  EXPECT_EQ(result.status, 0) << result.errors;
  EXPECT_EQ(reportsOfRun("keyboard", before, 4)[1], keyboardHex(1, {0x2F}));
  result = runTool({"type", "--layout", "nosuchlayout", "z"}, environment());
  EXPECT_EQ(result.status, 2);
  EXPECT_NE(result.errors.find("unknown keyboard layout \"nosuchlayout\""), std::string::npos)
      << result.errors;
}

TEST_F(Tool, OptionsOverrideTheEnvironment) {
  test::PrivateDir dir;
  test::writeFile(dir / "token", service_.token() + "\n");
  auto result =
      runTool({"--socket", service_.socketPath(), "--token-file", dir / "token", "status"},
              {{"VIRELO_SOCKET", "/nonexistent"}, {"VIRELO_TOKEN", "00"}});
  EXPECT_EQ(result.status, 0) << result.errors;
  EXPECT_NE(result.output.find("ready"), std::string::npos) << result.output;
}

TEST_F(Tool, ClicksDoubleClicksAndDrags) {
  auto before = trace_.reports("mouse").size();
  EXPECT_EQ(runTool({"click", "right"}, environment()).status, 0);
  EXPECT_EQ(reportsOfRun("mouse", before, 2),
            (std::vector<std::string>{"02000000", "00000000", "00000000"}));
  before = trace_.reports("mouse").size();
  EXPECT_EQ(runTool({"click", "--repeat", "2", "3"}, environment()).status, 0);
  EXPECT_EQ(reportsOfRun("mouse", before, 4),
            (std::vector<std::string>{"02000000", "00000000", "02000000", "00000000", "00000000"}));
  before = trace_.reports("mouse").size();
  EXPECT_EQ(runTool({"double-click"}, environment()).status, 0);
  EXPECT_EQ(reportsOfRun("mouse", before, 4),
            (std::vector<std::string>{"01000000", "00000000", "01000000", "00000000", "00000000"}));
  before = trace_.reports("mouse").size();
  EXPECT_EQ(runTool({"drag", "30", "-10"}, environment()).status, 0);
  // Pressed, three steps of at most 10 counts with the button held, released.
  EXPECT_EQ(reportsOfRun("mouse", before, 5),
            (std::vector<std::string>{"01000000", "010af600", "010a0000", "010a0000", "00000000",
                                      "00000000"}));
}

TEST_F(Tool, MoveScrollAndMedia) {
  auto mouse = trace_.reports("mouse").size();
  EXPECT_EQ(runTool({"move", "200", "-5"}, environment()).status, 0);
  // Larger than one report can carry: split into steps of at most 127.
  EXPECT_EQ(reportsOfRun("mouse", mouse, 2),
            (std::vector<std::string>{"007ffb00", "00490000", "00000000"}));
  mouse = trace_.reports("mouse").size();
  EXPECT_EQ(runTool({"scroll", "-3"}, environment()).status, 0);
  EXPECT_EQ(reportsOfRun("mouse", mouse, 1), (std::vector<std::string>{"000000fd", "00000000"}));
  auto media = trace_.reports("media").size();
  EXPECT_EQ(runTool({"media", "volume-up"}, environment()).status, 0);
  EXPECT_EQ(reportsOfRun("media", media, 2), (std::vector<std::string>{"02", "00", "00"}));
}

TEST_F(Tool, InterruptingAHoldReleasesIt) {
  ToolProcess hold({"hold", "ctrl", "a", "mute", "left-button"}, environment());
  ASSERT_TRUE(trace_.waitForReport("keyboard", keyboardHex(1, {4}))) << hold.errors();
  ASSERT_TRUE(trace_.waitForReport("mouse", "01000000")) << hold.errors();
  EXPECT_EQ(trace_.reports("media").back(), "01");
  EXPECT_FALSE(hold.waitExit(50ms));  // still holding
  hold.signal(SIGINT);
  EXPECT_EQ(hold.waitExit(5s), 0) << hold.errors();
  EXPECT_EQ(trace_.reports("keyboard").back(), keyboardHex(0));
  EXPECT_EQ(trace_.reports("media").back(), "00");
  EXPECT_EQ(trace_.reports("mouse").back(), "00000000");
}

TEST_F(Tool, TerminatingAHoldReleasesItToo) {
  ToolProcess hold({"hold", "shift"}, environment());
  ASSERT_TRUE(trace_.waitForReport("keyboard", keyboardHex(2))) << hold.errors();
  hold.signal(SIGTERM);
  EXPECT_EQ(hold.waitExit(5s), 0) << hold.errors();
  EXPECT_EQ(trace_.reports("keyboard").back(), keyboardHex(0));
}

TEST_F(Tool, KillingAHoldStillReleasesThroughTheService) {
  ToolProcess hold({"hold", "b"}, environment());
  ASSERT_TRUE(trace_.waitForReport("keyboard", keyboardHex(0, {5}))) << hold.errors();
  hold.signal(SIGKILL);
  hold.waitExit(5s);
  EXPECT_TRUE(trace_.waitForReport("keyboard", keyboardHex(0)));
}

TEST_F(Tool, FailuresExitNonZeroWithAMessage) {
  auto unknownKey = runTool({"chord", "ctrl+banana"}, environment());
  EXPECT_NE(unknownKey.status, 0);
  EXPECT_NE(unknownKey.errors.find("banana"), std::string::npos) << unknownKey.errors;

  auto wrongToken = runTool({"status"}, {{"VIRELO_SOCKET", service_.socketPath()},
                                         {"VIRELO_TOKEN", std::string(64, '0')}});
  EXPECT_NE(wrongToken.status, 0);
  EXPECT_FALSE(wrongToken.errors.empty());

  auto noToken = runTool({"status"}, {{"VIRELO_SOCKET", service_.socketPath()}});
  EXPECT_NE(noToken.status, 0);
  EXPECT_NE(noToken.errors.find("VIRELO_TOKEN"), std::string::npos) << noToken.errors;

  auto untypable = runTool({"type", "caf\xC3\xA9"}, environment());
  EXPECT_NE(untypable.status, 0);
  EXPECT_NE(untypable.errors.find("U+00E9"), std::string::npos) << untypable.errors;

  auto unknownCommand = runTool({"jump"}, environment());
  EXPECT_EQ(unknownCommand.status, 2);
}

TEST(ToolStart, PrintsHowToReachTheServiceAndStopsItOnCtrlC) {
  ToolProcess start({"start", "--trace"}, {});
  auto deadline = std::chrono::steady_clock::now() + 10s;
  std::string out;
  while (out.find("\"type\":\"ready\"") == std::string::npos &&
         std::chrono::steady_clock::now() < deadline) {
    ASSERT_FALSE(start.waitExit(5ms)) << start.errors();
    out = start.output();
  }
  auto exported = [&](const std::string& name) {
    auto at = out.find("export " + name + "='");
    if (at == std::string::npos) return std::string();
    at += name.size() + 9;
    return out.substr(at, out.find('\'', at) - at);
  };
  std::string socket = exported("VIRELO_SOCKET");
  std::string token = exported("VIRELO_TOKEN");
  std::string tracePath = exported("VIRELO_TRACE");
  ASSERT_FALSE(socket.empty()) << out;
  EXPECT_EQ(token.size(), 64u) << out;

  auto chord = runTool({"chord", "ctrl+z"}, {{"VIRELO_SOCKET", socket}, {"VIRELO_TOKEN", token}});
  EXPECT_EQ(chord.status, 0) << chord.errors;
  auto reports = HostTrace(tracePath).reports("keyboard");
  EXPECT_NE(std::find(reports.begin(), reports.end(), keyboardHex(1, {29})), reports.end());

  start.signal(SIGINT);
  EXPECT_EQ(start.waitExit(5s), 0) << start.errors();
  EXPECT_NE(start.errors().find("exit status 0"), std::string::npos) << start.errors();
}

TEST(ToolStart, ARefusalIsReportedWithTheServiceErrorCode) {
  test::PrivateDir dir;
  test::writeFile(dir / "world.json", R"({"signature":{"valid":false}})");
  auto result = runTool({"start", "--env", "VL_SIM_WORLD=" + (dir / "world.json")}, {});
  EXPECT_EQ(result.status, 1);
  EXPECT_NE(result.errors.find("virtual_hid_authorization_required"), std::string::npos)
      << result.errors;
}

TEST(ToolStart, AnUnknownBackendIsReportedAsASilentExit) {
  auto result = runTool({"start", "--backend", "CoreHID"}, {});
  EXPECT_EQ(result.status, 1);
  EXPECT_NE(result.errors.find("without a status event"), std::string::npos) << result.errors;
}

TEST_F(Tool, RunPlaysAScriptOverOneConnectionAndReleasesWhatItHeld) {
  test::PrivateDir dir;
  test::writeFile(dir / "script",
                  "keydown shift  # held to the end\n"
                  "key ctrl+a\n"
                  "buttondown left\n"
                  "mousemove_relative 3 -2\n");
  auto keyboard = trace_.reports("keyboard").size();
  auto mouse = trace_.reports("mouse").size();
  auto result = runTool({"run", dir / "script"}, environment());
  EXPECT_EQ(result.status, 0) << result.errors;
  // The chord keeps the shift that the script holds; the end releases it and the button.
  EXPECT_EQ(
      reportsOfRun("keyboard", keyboard, 6),
      (std::vector<std::string>{keyboardHex(2), keyboardHex(3), keyboardHex(3, {4}), keyboardHex(3),
                                keyboardHex(2), keyboardHex(0), keyboardHex(0)}));
  EXPECT_EQ(reportsOfRun("mouse", mouse, 3),
            (std::vector<std::string>{"01000000", "0103fe00", "00000000", "00000000"}));
}

TEST_F(Tool, RunStopsAtTheLineThatIsWrongOrFails) {
  test::PrivateDir dir;
  test::writeFile(dir / "bad", "key a\nkey ctrl+banana\n");
  auto before = trace_.reports("keyboard").size();
  auto bad = runTool({"run", dir / "bad"}, environment());
  EXPECT_EQ(bad.status, 2);
  EXPECT_NE(bad.errors.find("line 2:"), std::string::npos) << bad.errors;
  EXPECT_EQ(runTool({"run", "--check", dir / "bad"}, {}).status, 2);
  auto directory = runTool({"run", "--check", dir.path()}, {});  // every read of it fails
  EXPECT_EQ(directory.status, 2);
  EXPECT_NE(directory.errors.find("line 1: cannot be read"), std::string::npos) << directory.errors;
  EXPECT_EQ(trace_.reports("keyboard").size(), before);  // nothing was sent

  // Typed through "cgevent", German "<" needs a key that backend cannot post: found only when
  // the line runs.
  test::ServiceOptions options;
  options.backend = "cgevent";
  ServiceProcess cgevent(options);
  cgevent.awaitReady();
  test::writeFile(dir / "fails", "layout de\nkeydown shift\ntype \"a<b\"\n");
  EXPECT_EQ(runTool({"run", "--check", dir / "fails"}, {}).status, 0);
  auto fails = runTool({"run", dir / "fails"}, {{"VIRELO_SOCKET", cgevent.socketPath()},
                                                {"VIRELO_TOKEN", cgevent.token()}});
  EXPECT_EQ(fails.status, 1);
  EXPECT_NE(fails.errors.find("line 3:"), std::string::npos) << fails.errors;
}

std::size_t occurrences(const std::string& text, const std::string& part) {
  std::size_t count = 0;
  for (auto at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++count;
  return count;
}

TEST_F(Tool, MessagesSayWhatIsWrongInWordsAndOnce) {
  auto operands = runTool({"chord"}, environment());
  EXPECT_EQ(operands.status, 2);
  EXPECT_EQ(occurrences(operands.errors, "virelo --help"), 1u) << operands.errors;

  auto record = runTool({"record", "--duration", "1"}, {});  // no $DISPLAY
  EXPECT_NE(record.errors.find("$DISPLAY is not set"), std::string::npos) << record.errors;

  // A service that cannot post: its error code comes in words, and the code after them.
  test::ServiceOptions options;
  options.backend = "cgevent";
  options.world = {{"postEventAccess", false}};
  ServiceProcess refused(options);
  ASSERT_TRUE(refused.readLine(10s));
  const std::map<std::string, std::string> env = {{"VIRELO_SOCKET", refused.socketPath()},
                                                  {"VIRELO_TOKEN", refused.token()}};
  const std::string words =
      "posting window-server events is not permitted (virtual_hid_accessibility_required)";
  auto status = runTool({"status"}, env);
  EXPECT_NE(status.output.find("error: " + words), std::string::npos) << status.output;
  auto type = runTool({"type", "a"}, env);
  EXPECT_NE(type.errors.find("not ready: " + words), std::string::npos) << type.errors;
}

TEST(ToolListings, NameTheLayoutsAndTheKeysOfOne) {
  auto layouts = runTool({"list-layouts"}, {});
  EXPECT_EQ(layouts.status, 0) << layouts.errors;
  EXPECT_NE(layouts.output.find("\nde(nodeadkeys)\t"), std::string::npos);
  auto keys = runTool({"list-keys", "--layout", "de"}, {});
  EXPECT_EQ(keys.status, 0) << keys.errors;
  EXPECT_NE(keys.output.find("\ny z shift+Z"), std::string::npos);  // z where US has y
  EXPECT_NE(keys.output.find("\npageup Prior\n"), std::string::npos);
}

TEST(ToolHelp, TheToolsHelpAndAVerbsAreAsked) {
  auto help = runTool({"--help"}, {});
  EXPECT_EQ(help.status, 0);
  EXPECT_NE(help.output.find("\n  list-layouts "), std::string::npos) << help.output;
  for (const auto& line : {std::vector<std::string>{"help", "type"}, {"type", "--help"}}) {
    auto verb = runTool(line, {});
    EXPECT_EQ(verb.status, 0) << verb.errors;
    EXPECT_TRUE(verb.output.starts_with("Usage: virelo type ")) << verb.output;
  }
  // Options of other verbs are refused, not ignored.
  auto foreign = runTool({"list-layouts", "--repeat", "3", "--trace", "--shell"}, {});
  EXPECT_EQ(foreign.status, 2);
  EXPECT_NE(foreign.errors.find("--repeat is not an option of \"list-layouts\""), std::string::npos)
      << foreign.errors;
  EXPECT_TRUE(foreign.output.empty());
}

}  // namespace
}  // namespace virelo::client
