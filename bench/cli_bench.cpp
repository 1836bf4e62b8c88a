// The command line's figures (tools/bench --only cli), on a private virtual desktop (Xvfb and the
// GTK receiving application of the tests) with the service posting through XTEST: each process
// timed from its start to the last character seen by the GTK entry, against xdotool doing the
// same in the same run, in interleaved rounds, read as ratios of medians:
//   - "virelo type" of 54 characters against "xdotool type --delay 0";
//   - "virelo run" of a 1,000-action script (key lines) against one "xdotool key --delay 0"
//     command line of the same keys.
// Both tools run as the service user, with the same environment. Prints one Markdown table on
// standard output; progress goes to standard error. Exits 0 with a note when Xvfb, GTK 3 for
// Python or xdotool are missing.
//
//   cli_bench [--quick]
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <functional>
#include <iostream>
#include <map>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "bench/latency_stats.h"
#include "bench/report_text.h"
#include "bench/service_user_programs.h"
#include "bench/xtest_poster.h"
#include "tests/support/gtk_receiver.h"
#include "tests/support/private_dir.h"
#include "tests/support/service_process.h"
#include "tests/support/service_user.h"
#include "virelo/client/launcher.h"

namespace virelo::bench {
namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;
using test::ServiceUser;

const std::string kText = "The quick brown fox jumps over the lazy dog 0123456789";
constexpr const char* kXdotool = "/usr/bin/xdotool";
constexpr int kScriptActions = 1000;
// A program that runs longer has hung.
constexpr int kRunTimeoutMs = 60000;

// The tool copied where the service user can run it.
struct Tool {
  test::PrivateDir dir;
  std::string path = dir / "virelo";
  std::string script = dir / "keys.vrl";
  Tool() { copyForServiceUser({{VIRELO_TOOL_PATH, path}}); }
};

// Runs a program as the service user to its end; throws when it fails or hangs.
void runAsUser(const std::vector<std::string>& args,
               const std::map<std::string, std::string>& env) {
  if (!runAsServiceUser(args, env, kRunTimeoutMs).succeeded) {
    throw std::runtime_error(args[0] + " " + args[1] + " failed");
  }
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
  }

  void run() {
    std::vector<double> virType, xdoType, virRun, xdoKeys;
    std::vector<std::string> xdoKeyArgs{kXdotool, "key", "--delay", "0"};
    for (const auto& key : scriptKeys()) xdoKeyArgs.push_back(key);
    for (int round = 0; round < rounds_; ++round) {
      progress("round " + std::to_string(round + 1) + " of " + std::to_string(rounds_));
      // Interleaved, each tool first in every other round.
      auto typing = [&] {
        virType.push_back(timed({tool_.path, "type", kText}, kText));
        xdoType.push_back(timed({kXdotool, "type", "--delay", "0", kText}, kText));
      };
      auto scripts = [&] {
        virRun.push_back(timed({tool_.path, "run", tool_.script}, keysText_));
        xdoKeys.push_back(timed(xdoKeyArgs, keysText_));
      };
      if (round % 2 == 0) {
        typing();
        scripts();
      } else {
        scripts();
        typing();
      }
    }
    std::cout << "| figure (median, ms) | virelo | xdotool | ratio |\n|---|---|---|---|\n";
    row("type 54 characters, start to last character", virType, xdoType);
    row("1,000-action script (run) vs one key command line", virRun, xdoKeys);
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
  static void row(const std::string& name, const std::vector<double>& ours,
                  const std::vector<double>& theirs) {
    const double a = median(ours);
    const double b = median(theirs);
    std::cout << "| " << name << " | " << format(a, 1) << " | " << format(b, 1) << " | "
              << format(a / b, 2) << "x |\n";
  }

  int rounds_;
  Tool tool_;
  std::unique_ptr<test::VirtualDesktop> desktop_;
  std::unique_ptr<test::ServiceProcess> service_;
  std::unique_ptr<XtestPoster> poster_;
  std::map<std::string, std::string> env_;
  std::string keysText_;
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
