// The command line's figures (tools/bench --only cli), on a private virtual desktop (Xvfb and the
// GTK receiving application of the tests) with the service posting through XTEST: each process
// timed from its start to the last character seen by the GTK entry, against xdotool doing the
// same in the same run, in interleaved rounds, read as ratios of medians:
//   - "virelo type" of 54 characters against "xdotool type --delay 0";
//   - "virelo run" of a 1,000-action script (key lines) against one "xdotool key --delay 0"
//     command line of the same keys;
//   - "virelo run" of 200 absolute "mousemove" lines against one xdotool process making the same
//     moves with "mousemove --sync", each timed to its end, the pointer then read on the last
//     position;
//   - 200 rounds of an absolute move and a reading of the pointer, each a process of its own
//     ("virelo mousemove X Y", "virelo getmouselocation"; the same with xdotool), every reading
//     checked;
//   - "virelo run" of a 1,000-action script (400 keys, 200 absolute and 200 relative moves, 200
//     clicks on the application's button, which takes no focus) against "xdotool FILE" with the
//     same actions and every delay 0, timed until the application has seen every character and
//     every click.
// Both tools run as the service user, with the same environment; no window manager runs, so
// nothing takes the focus from the entry. Prints one Markdown table on standard output; progress
// goes to standard error. Exits 0 with a note when Xvfb, GTK 3 for Python or xdotool are
// missing.
//
//   cli_bench [--quick]
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <functional>
#include <iostream>
#include <map>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "bench/latency_stats.h"
#include "bench/pointing_scripts.h"
#include "bench/report_text.h"
#include "bench/service_user_programs.h"
#include "bench/xtest_poster.h"
#include "tests/support/gtk_receiver.h"
#include "tests/support/private_dir.h"
#include "tests/support/service_process.h"
#include "tests/support/service_user.h"
#include "virelo/client/launcher.h"
#include "virelo/client/x11.h"

namespace virelo::bench {
namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;
using test::ServiceUser;

const std::string kText = "The quick brown fox jumps over the lazy dog 0123456789";
constexpr const char* kXdotool = "/usr/bin/xdotool";
constexpr int kScriptActions = 1000;
constexpr int kMoves = 200;
constexpr int kBlocks = 200;  // of the mixed script, five actions each
// A program that runs longer has hung.
constexpr int kRunTimeoutMs = 60000;

// The tool copied where the service user can run it.
struct Tool {
  test::PrivateDir dir;
  std::string path = dir / "virelo";
  std::string script = dir / "keys.vrl";
  std::string moves = dir / "moves.vrl";
  std::string mixed = dir / "mixed.vrl";
  std::string mixedXdotool = dir / "mixed.xdo";
  Tool() { copyForServiceUser({{VIRELO_TOOL_PATH, path}}); }
};

// Runs a program as the service user to its end; what it wrote. Throws when it fails or hangs.
std::string runAsUser(const std::vector<std::string>& args,
                      const std::map<std::string, std::string>& env) {
  ProgramOutcome outcome = runAsServiceUser(args, env, kRunTimeoutMs);
  if (!outcome.succeeded) throw std::runtime_error(args[0] + " " + args[1] + " failed");
  return outcome.output;
}

// A position in getmouselocation's output ("x:12 y:34 screen:0 ...", both tools).
Spot readLocation(const std::string& output) {
  Spot at{-1, -1};
  if (std::sscanf(output.c_str(), "x:%d y:%d", &at.x, &at.y) != 2) {
    throw std::runtime_error("unreadable location: " + output);
  }
  return at;
}

// The keys of the 1,000 actions: the letters in turn.
std::vector<std::string> scriptKeys() {
  std::vector<std::string> keys;
  for (int i = 0; i < kScriptActions; ++i) keys.emplace_back(1, static_cast<char>('a' + i % 26));
  return keys;
}

class CliBench {
 public:
  explicit CliBench(bool quick) : rounds_(quick ? 3 : 15) {
    progress("starting Xvfb, the GTK receiver and the service");
    desktop_ = std::make_unique<test::VirtualDesktop>(100, 100);
    if (!desktop_->server->available()) throw std::runtime_error("Xvfb did not start");
    const std::string display = desktop_->server->display();
    test::ServiceOptions options;
    options.backend = "cgevent";
    options.trace = false;
    options.control = false;
    options.environment = {{"VL_HOST", "linux"}, {"DISPLAY", display}};
    service_ = std::make_unique<test::ServiceProcess>(options);
    service_->awaitReady();
    poster_ = std::make_unique<XtestPoster>(display);
    env_ = {{"DISPLAY", display},
            {"VIRELO_SOCKET", service_->socketPath()},
            {"VIRELO_TOKEN", service_->token()},
            {"PATH", "/usr/bin:/bin"}};
    std::string script;
    for (const auto& key : scriptKeys()) {
      script += "key " + key + "\n";
      keysText_ += key;
    }
    test::writeFile(tool_.script, script);
    spots_ = spotsAround(fromPoint(desktop_->receiver->centre("button")), kMoves);
    test::writeFile(tool_.moves, moveScript(spots_));
    xdoMoves_ = xdotoolSyncedMoves(spots_);
    xdoMoves_.insert(xdoMoves_.begin(), kXdotool);
    mixed_ = mixedScripts(spotsAround(fromPoint(desktop_->receiver->centre("button")), kBlocks));
    test::writeFile(tool_.mixed, mixed_.virelo);
    test::writeFile(tool_.mixedXdotool, mixed_.xdotool);
  }

  void run() {
    Samples virType, xdoType, virRun, xdoKeys, virMoves, xdoMoves, virRounds, xdoRounds, virMixed,
        xdoMixed;
    std::vector<std::string> xdoKeyArgs{kXdotool, "key", "--delay", "0"};
    for (const auto& key : scriptKeys()) xdoKeyArgs.push_back(key);
    for (int round = 0; round < rounds_; ++round) {
      progress("round " + std::to_string(round + 1) + " of " + std::to_string(rounds_));
      // Interleaved, each tool first in every other round.
      const bool first = round % 2 == 0;
      pair(
          first, virType,
          [&] {
            return timed({tool_.path, "type", kText}, kText);
          },
          xdoType,
          [&] {
            return timed({kXdotool, "type", "--delay", "0", kText}, kText);
          });
      pair(
          first, virRun,
          [&] {
            return timed({tool_.path, "run", tool_.script}, keysText_);
          },
          xdoKeys, [&] { return timed(xdoKeyArgs, keysText_); });
      pair(
          first, virMoves,
          [&] {
            return movesTimed({tool_.path, "run", tool_.moves});
          },
          xdoMoves, [&] { return movesTimed(xdoMoves_); });
      pair(
          first, virMixed,
          [&] {
            return mixedTimed({tool_.path, "run", tool_.mixed});
          },
          xdoMixed,
          [&] {
            return mixedTimed({kXdotool, tool_.mixedXdotool});
          });
      if (round < processRounds_) {
        pair(
            first, virRounds, [&] { return roundsTimed(tool_.path); }, xdoRounds,
            [&] { return roundsTimed(kXdotool); });
      }
    }
    std::cout << "| figure (median, ms) | virelo | xdotool | ratio | median of the pairs' "
                 "ratios | pairs |\n|---|---|---|---|---|---|\n";
    row("type 54 characters, start to last character", virType, xdoType);
    row("1,000-key script (run) vs one key command line", virRun, xdoKeys);
    row("200 absolute moves in one process (run; xdotool mousemove --sync)", virMoves, xdoMoves);
    row("200 rounds of absolute move + location, a process each", virRounds, xdoRounds);
    row("1,000 mixed actions (run; xdotool FILE, delays 0), all seen by the application", virMixed,
        xdoMixed);
  }

 private:
  // One process from its start to the entry showing `text`, then the entry cleared.
  double timed(const std::vector<std::string>& args, const std::string& text) {
    const auto start = Clock::now();
    runAsUser(args, env_);
    awaitText(text);
    const double ms = micros(Clock::now() - start) / 1000;
    clearEntry();
    return ms;
  }
  using Samples = std::vector<double>;
  static void pair(bool oursFirst, Samples& ours, const std::function<double()>& runOurs,
                   Samples& theirs, const std::function<double()>& runTheirs) {
    if (oursFirst) ours.push_back(runOurs());
    theirs.push_back(runTheirs());
    if (!oursFirst) ours.push_back(runOurs());
  }
  static Spot fromPoint(test::ScreenPoint p) { return {p.x, p.y}; }

  // One process of moves to its end, then the pointer checked on the last position.
  double movesTimed(const std::vector<std::string>& args) {
    const auto start = Clock::now();
    runAsUser(args, env_);
    const double ms = micros(Clock::now() - start) / 1000;
    const auto at = client::pointerPosition(desktop_->server->display().c_str());
    if (!at || at->x != spots_.back().x || at->y != spots_.back().y) {
      throw std::runtime_error(args[0] + " left the pointer elsewhere");
    }
    return ms;
  }
  // 200 processes that move and 200 that read where the pointer is, each reading checked.
  double roundsTimed(const std::string& program) {
    const auto start = Clock::now();
    for (const Spot& s : spots_) {
      runAsUser({program, "mousemove", std::to_string(s.x), std::to_string(s.y)}, env_);
      const Spot at = readLocation(runAsUser({program, "getmouselocation"}, env_));
      if (at.x != s.x || at.y != s.y) throw std::runtime_error(program + " read a wrong place");
    }
    return micros(Clock::now() - start) / 1000;
  }
  // The mixed script's process from its start until the application has seen every character
  // and every click; then the entry cleared.
  double mixedTimed(const std::vector<std::string>& args) {
    const auto start = Clock::now();
    runAsUser(args, env_);
    int clicks = 0;
    bool typed = false;
    auto seen = [&](const nlohmann::json& e) {
      if (e.value("event", "") == "clicked") ++clicks;
      if (e.value("event", "") == "text" && e["text"] == mixed_.typed) typed = true;
      return typed && clicks == kBlocks;
    };
    if (!desktop_->receiver->next(seen, 10s)) {
      throw std::runtime_error(args[0] + ": the application saw " + std::to_string(clicks) +
                               " clicks" + (typed ? "" : " and not all the text"));
    }
    const double ms = micros(Clock::now() - start) / 1000;
    clearEntry();
    return ms;
  }

  void awaitText(const std::string& text) {
    if (!desktop_->receiver->next(
            [&](const auto& e) { return e.value("event", "") == "text" && e["text"] == text; },
            10s)) {
      throw std::runtime_error("the entry never showed the text");
    }
  }
  // Select all and delete, through a bare XTEST client: control+a, BackSpace.
  void clearEntry() {
    poster_->key(37, true);
    poster_->key(38, true);
    poster_->key(38, false);
    poster_->key(37, false);
    poster_->key(22, true);
    poster_->key(22, false);
    awaitText("");
  }
  static void row(const std::string& name, const Samples& ours, const Samples& theirs) {
    const double a = median(ours);
    const double b = median(theirs);
    Samples ratios;
    for (std::size_t i = 0; i < ours.size() && i < theirs.size(); ++i) {
      ratios.push_back(ours[i] / theirs[i]);
    }
    std::cout << "| " << name << " | " << format(a, 1) << " | " << format(b, 1) << " | "
              << format(a / b, 2) << "x | " << format(median(ratios), 2) << "x | " << ratios.size()
              << " |\n";
  }

  int rounds_;
  int processRounds_ = rounds_ < 5 ? 1 : 5;  // 400 processes for each tool in a round
  Tool tool_;
  std::unique_ptr<test::VirtualDesktop> desktop_;
  std::unique_ptr<test::ServiceProcess> service_;
  std::unique_ptr<XtestPoster> poster_;
  std::map<std::string, std::string> env_;
  std::string keysText_;
  std::vector<Spot> spots_;
  std::vector<std::string> xdoMoves_;
  MixedScripts mixed_;
};

}  // namespace
}  // namespace virelo::bench

int main(int argc, char** argv) {
  using namespace virelo;
  const bool quick = argc > 1 && std::string(argv[1]) == "--quick";
  test::ServiceUser::adopt();
  if (!test::VirtualDesktop::missing().empty()) {
    std::cout << "cli figures skipped: " << test::VirtualDesktop::missing() << "\n";
    return 0;
  }
  if (::access(bench::kXdotool, X_OK) != 0) {
    std::cout << "cli figures skipped: xdotool is missing (tools/install-deps tests)\n";
    return 0;
  }
  try {
    bench::CliBench(quick).run();
  } catch (const std::exception& e) {
    std::cerr << "cli_bench: " << e.what() << "\n";
    return 1;
  }
  return 0;
}
