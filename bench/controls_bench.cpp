// The figures of acting on controls by name (tools/bench --only controls), on the accessible
// desktop of the AT-SPI tests (Xvfb, a private session bus, the accessibility bus and the GTK
// application tests/atspi/gtk_app.py), with the service (VL_HOST=linux, "cgevent") posting
// through XTEST. Each program runs as one process, as the service user, with the same
// environment; in interleaved rounds, read as ratios of medians:
//   - "virelo find --all --name 2999" in the application with 3,000 buttons (its last button,
//     scrolled out of view, so not showing: only --all lists it), from start to exit, against a
//     bare libatspi walk of the same trees looking for the same name (virelo-atspi-walk); and
//     "virelo find --name 25" (a button in view) against the walk looking for "25";
//   - "virelo click-on --name 25" there, from start to the button's "clicked" signal (as the
//     application reports it with its CLOCK_MONOTONIC reading), against "xdotool mousemove X Y
//     click 1" given the button's centre; the pointer is moved away before every run; and, from
//     the same rounds, the bare walk looking for "25" against the same xdotool runs: what a search
//     through libatspi costs before any click, the floor of the previous figure;
//   - the same two in the application with its few controls (the button "Press");
//   - reading one control's text in the application with 1,000 buttons (the title of its header
//     bar, a label): "virelo get-text" and "virelo find --json" (which carries the text) against a
//     pyatspi script that finds the control the same way and reads its text
//     (bench/pyatspi_peer.py), from start to exit;
//   - "virelo click-on --action" against the pyatspi script's doAction, both from start to the
//     button's "clicked" signal, in the application with its few controls (four buttons and a
//     check box) and in the one with 1,000 buttons;
//   - under the window manager openbox, "virelo windows" and "virelo search --name" against
//     "xdotool search --name" for the application's window, from start to exit;
//   - with --session: "virelo click-on --name" (the pointer) in the application with 1,000
//     buttons and in the one with its few controls, from start to the button's "clicked", against
//     the pyatspi script's doAction on the same button: first with each process searching
//     itself, then with "virelo session" running (as the service user, in a runtime directory of
//     its own), which answers the searches from the accessibility trees it keeps at hand; and
//     with the session, the reading of the header bar's title above and "click-on --action" in the
//     application with its few controls, which the session then presses.
// Prints one Markdown table on standard output; progress goes to standard error. Exits 0 with a
// note when the desktop or xdotool is missing.
//
//   controls_bench [--quick] [--front-ends | --session]   (--front-ends: only the figures of
//                       get-text, find --json, click-on --action and the windows; --session: only
//                       the figures of the searches through the session)
#include <poll.h>
#include <time.h>
#include <unistd.h>
#include <xcb/xcb.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <iostream>
#include <map>
#include <memory>
#include <nlohmann/json.hpp>
#include <sstream>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "bench/latency_stats.h"
#include "bench/report_text.h"
#include "bench/service_user_programs.h"
#include "tests/atspi/accessible_desktop.h"
#include "tests/support/child_process.h"
#include "tests/support/private_dir.h"
#include "tests/support/service_process.h"
#include "tests/support/service_user.h"
#include "tests/support/x_connect.h"

namespace virelo::bench {
namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;
using test::ServiceUser;

constexpr const char* kXdotool = "/usr/bin/xdotool";
constexpr int kManyButtons = 3000;
// The application of the figures of the front ends: 1,000 buttons.
constexpr int kThousandButtons = 1000;
constexpr const char* kTitle = "Virelo fixture";
// Where the pointer waits between runs: off the application's window, so that every click travels
// (about 700 pixels to the button of the large application, 850 to "Press").
constexpr int kAwayX = 1000;
constexpr int kAwayY = 740;
// A program that runs longer has hung.
constexpr int kRunTimeoutMs = 30000;
// Times the baseline: the search in the application with 3,000 buttons.
constexpr double kFindGoal = 1.2;
// Clicks further apart than GTK's double-click time, so that none makes a double click.
constexpr auto kBetweenClicks = 500ms;

// The tool, its accessibility module and the baseline copied where the service user can run them.
struct Programs {
  test::PrivateDir dir;
  std::string tool = dir / "virelo";
  std::string module = dir / "virelo-linux-accessibility.so";
  std::string walk = dir / "virelo-atspi-walk";
  std::string peer = dir / "pyatspi_peer.py";
  // Beside the tool, where "virelo session" looks for it.
  std::string service = dir / "virelo-service";
  Programs() {
    copyForServiceUser({{VIRELO_TOOL_PATH, tool},
                        {VIRELO_SERVICE_PATH, service},
                        {VIRELO_MODULE_PATH, module},
                        {VIRELO_WALK_PATH, walk},
                        {VIRELO_PYATSPI_PEER_PATH, peer}});
  }
};

// Seconds of CLOCK_MONOTONIC, as the application's time.monotonic() reads them.
double monotonicSeconds(Clock::time_point t) {
  return std::chrono::duration<double>(t.time_since_epoch()).count();
}

// One line of the application's standard output without its newline; empty after the timeout.
std::string readLine(int fd, int timeoutMs) {
  std::string line;
  pollfd readable{fd, POLLIN, 0};
  char c = 0;
  while (::poll(&readable, 1, timeoutMs) == 1 && ::read(fd, &c, 1) == 1 && c != '\n') line += c;
  return c == '\n' ? line : std::string();
}

// The desktop cannot run here (what is missing), which skips the figures.
struct Unavailable : std::runtime_error {
  using std::runtime_error::runtime_error;
};

struct Figure {
  std::string what;
  double value = 0;
  double baseline = 0;
  double goal = 0;  // times the baseline; 0: none
};

// One accessible desktop with one application and the service; its runs.
class Bench {
 public:
  Bench(const Programs& programs, int buttons, int rounds)
      : programs_(programs), rounds_(rounds), desktop_(ServiceUser::privileged()) {
    if (!desktop_.unavailable().empty()) throw Unavailable(desktop_.unavailable());
    app_ = &desktop_.startApp(100, 100, 1, buttons);
    if (app_->pid <= 0) throw std::runtime_error("the GTK application did not come up");
    if (test::AccessibleDesktop::ask(*app_, "clicks") != "clicks") {
      throw std::runtime_error("the GTK application does not report its clicks");
    }
    const test::ServiceOptions options = desktop_.serviceOptions();
    service_ = std::make_unique<test::ServiceProcess>(options);
    service_->awaitReady();
    env_ = options.environment;
    env_.erase("VL_HOST");
    env_["PATH"] = "/usr/bin:/bin";
    env_["VIRELO_ACCESSIBILITY_MODULE"] = programs_.module;
    env_["VIRELO_SOCKET"] = service_->socketPath();
    env_["VIRELO_TOKEN"] = service_->token();
    x_ = test::connectX(desktop_.display());
  }
  ~Bench() { xcb_disconnect(x_); }
  Bench(const Bench&) = delete;
  Bench& operator=(const Bench&) = delete;

  // The frame of the button that the application reported when it came up.
  Rect button() const { return app_->press; }

  // Runs `first` and `second` for each round, in turn first and second, so that neither profits
  // from coming after the other; `after`, when given, ends each round.
  void interleaved(const std::function<void()>& first, const std::function<void()>& second,
                   const std::function<void()>& after = {}) {
    for (int round = 0; round < rounds_; ++round) {
      if (round % 2 == 0) {
        first();
        second();
      } else {
        second();
        first();
      }
      if (after) after();
    }
  }

  // "virelo find --name NAME" (with --all when `all`: the controls that are not showing too)
  // against the bare walk, both from start to exit. Both must find it.
  Figure find(const std::string& name, bool all, const std::string& where, double goal) {
    std::vector<std::string> command{programs_.tool, "find", "--name", name};
    if (all) command.insert(command.begin() + 2, "--all");
    std::vector<double> ours, bare;
    auto virelo = [&] { ours.push_back(timedToExit(command, name)); };
    auto walk = [&] { bare.push_back(timedToExit({programs_.walk, name}, name)); };
    interleaved(virelo, walk);
    return {"virelo find " + std::string(all ? "--all " : "") + "--name " + name + " in " + where +
                ", start to exit, vs a bare libatspi walk (ms, median of " +
                std::to_string(rounds_) + ")",
            median(ours), median(bare), goal};
  }

  // Reading the header bar's title: "virelo get-text" and "virelo find --json" against the
  // pyatspi script, from start to exit, in interleaved rounds.
  std::vector<Figure> readText(const std::string& where) {
    const std::vector<std::string> selection{"--role", "label", "--name", kTitle};
    std::vector<std::string> getText{programs_.tool, "get-text"},
        findJson{programs_.tool, "find", "--json"};
    getText.insert(getText.end(), selection.begin(), selection.end());
    findJson.insert(findJson.end(), selection.begin(), selection.end());
    std::vector<double> got, found, peer;
    auto ours = [&] {
      got.push_back(timedToExit(getText, kTitle));
      found.push_back(timedToExit(findJson, "\"text\": \"" + std::string(kTitle)));
    };
    auto theirs = [&] {
      peer.push_back(timedToExit({programs_.peer, "text", "label", kTitle}, kTitle));
    };
    interleaved(ours, theirs);
    const std::string vs = " in " + where +
                           ", start to exit, vs a pyatspi script reading it (ms, "
                           "median of " +
                           std::to_string(rounds_) + ")";
    return {{"virelo get-text --role label --name \"" + std::string(kTitle) + "\"" + vs,
             median(got), median(peer), 0.5},
            {"virelo find --json --role label --name \"" + std::string(kTitle) +
                 "\" (with its "
                 "text)" +
                 vs,
             median(found), median(peer), 0.5}};
  }

  // "virelo click-on --action --name NAME" against the pyatspi script's doAction, both from start
  // to the button's "clicked" signal.
  Figure clickByAction(const std::string& name, const std::string& where, double goal) {
    return clickAgainstPyatspi({programs_.tool, "click-on", "--action", "--name", name},
                               "virelo click-on --action --name " + name + " in " + where +
                                   (session_ ? ", pressed by the session" : ""),
                               name, goal);
  }

  // "virelo click-on --name NAME" with the pointer against the pyatspi script's doAction on the
  // same button, both from start to the button's "clicked" signal.
  Figure clickVsPyatspi(const std::string& name, const std::string& where, double goal) {
    return clickAgainstPyatspi(
        {programs_.tool, "click-on", "--name", name},
        "virelo click-on --name " + name + " in " + where +
            (session_ ? ", searched by the session" : ", searched in-process"),
        name, goal);
  }

  // The command against the pyatspi script's doAction on the button NAME, both from start to
  // the button's "clicked" signal, in interleaved rounds.
  Figure clickAgainstPyatspi(const std::vector<std::string>& command, const std::string& label,
                             const std::string& name, double goal) {
    std::vector<double> ours, peer;
    auto virelo = [&] { ours.push_back(timedToClick(command, name)); };
    auto pyatspi = [&] {
      peer.push_back(timedToClick({programs_.peer, "action", "push button", name}, name));
    };
    interleaved(virelo, pyatspi);
    return {label + ", start to \"clicked\", vs a pyatspi script's doAction (ms, median of " +
                std::to_string(rounds_) + ")",
            median(ours), median(peer), goal};
  }

  // Starts "virelo session" as the service user in a runtime directory of its own, and waits
  // until it publishes its socket for control searches; the runs after it find the session.
  void startSession() {
    runtime_ = std::make_unique<test::PrivateDir>();
    auto env = env_;
    env["XDG_RUNTIME_DIR"] = runtime_->path();
    env["XDG_CONFIG_HOME"] = *runtime_ / "config";
    test::ChildOptions options;
    options.argv = {programs_.tool, "session", "--host", "linux"};
    options.environment = env;
    options.asServiceUser = true;
    session_ = std::make_unique<test::ChildProcess>(options);
    for (const auto deadline = Clock::now() + 20s; Clock::now() < deadline;) {
      std::ifstream in(*runtime_ / "virelo/session.json");
      const auto file = nlohmann::json::parse(in, nullptr, false);
      if (file.is_object() && file.contains("controls")) {
        env_ = env;
        // Time for its thread to reach the trees before the first search.
        std::this_thread::sleep_for(1s);
        return;
      }
      std::this_thread::sleep_for(20ms);
    }
    throw std::runtime_error("the session published no socket for control searches");
  }

  // Under openbox: "virelo windows" and "virelo search --name TITLE" against "xdotool search
  // --name TITLE", start to exit; each must print the application's window.
  std::vector<Figure> windows() {
    if (!desktop_.startWindowManager())
      throw Unavailable("the window manager openbox does not run");
    const ProgramOutcome first =
        runAsServiceUser({kXdotool, "search", "--name", kTitle}, env_, kRunTimeoutMs);
    const std::string id = first.output.substr(0, first.output.find('\n'));
    if (!first.succeeded || id.empty()) throw std::runtime_error("xdotool found no window");
    std::vector<double> listed, searched, peer;
    auto ours = [&] {
      listed.push_back(timedToExit({programs_.tool, "windows"}, id));
      searched.push_back(timedToExit({programs_.tool, "search", "--name", kTitle}, id));
    };
    auto xdotool = [&] { peer.push_back(timedToExit({kXdotool, "search", "--name", kTitle}, id)); };
    interleaved(ours, xdotool);
    const std::string vs = ", start to exit, vs xdotool search --name \"" + std::string(kTitle) +
                           "\" (ms, median of " + std::to_string(rounds_) + ")";
    return {{"virelo windows" + vs, median(listed), median(peer), 1.0},
            {"virelo search --name \"" + std::string(kTitle) + "\"" + vs, median(searched),
             median(peer), 1.0}};
  }

  // "virelo click-on --name NAME" against xdotool given the button's centre, both from start to
  // the button's "clicked" signal. Then, from the same rounds, the bare walk looking for the name
  // (start to exit) against the same xdotool runs: what any search through libatspi costs before
  // it clicks at all, the floor of the first figure.
  std::vector<Figure> clickOn(const std::string& name, const std::string& where) {
    const Rect frame = button();
    const std::string x = std::to_string(static_cast<int>(frame.minX() + frame.width() / 2));
    const std::string y = std::to_string(static_cast<int>(frame.minY() + frame.height() / 2));
    std::vector<double> ours, bare, walked;
    auto virelo = [&] {
      ours.push_back(timedToClick({programs_.tool, "click-on", "--name", name}, name));
    };
    auto xdotool = [&] {
      bare.push_back(timedToClick({kXdotool, "mousemove", x, y, "click", "1"}, name));
    };
    interleaved(virelo, xdotool, [&] {
      walked.push_back(timedToExit({programs_.walk, name}, name));
    });
    const std::string of = " (ms, median of " + std::to_string(rounds_) + ")";
    return {{"virelo click-on --name " + name + " in " + where +
                 ", start to \"clicked\", vs xdotool mousemove X Y click 1" + of,
             median(ours), median(bare), 2.0},
            {"the bare libatspi walk for " + name +
                 " alone, start to exit (the floor of a search "
                 "through libatspi), vs the same xdotool runs" +
                 of,
             median(walked), median(bare), 0}};
  }

 private:
  // Milliseconds from the start of the program to its exit; it must exit 0 having printed `name`.
  double timedToExit(const std::vector<std::string>& args, const std::string& name) {
    const auto start = Clock::now();
    const ProgramOutcome outcome = runAsServiceUser(args, env_, kRunTimeoutMs);
    const double ms = micros(Clock::now() - start) / 1000;
    if (!outcome.succeeded || outcome.output.find(name) == std::string::npos) {
      throw std::runtime_error(args[0] + " did not find \"" + name + "\"");
    }
    return ms;
  }

  // Milliseconds from the start of the program to the application's report of the button's
  // click, the pointer moved away first.
  double timedToClick(const std::vector<std::string>& args, const std::string& name) {
    moveAway();
    const auto start = Clock::now();
    const ProgramOutcome outcome = runAsServiceUser(args, env_, kRunTimeoutMs);
    if (!outcome.succeeded) throw std::runtime_error(args[0] + " " + args[1] + " failed");
    std::istringstream report(readLine(app_->output, 10000));
    std::string word, label;
    double at = 0;
    if (!(report >> word >> label >> at) || word != "clicked" || label != name) {
      throw std::runtime_error(args[0] + " " + args[1] + " did not click \"" + name + "\"");
    }
    ::usleep(static_cast<useconds_t>(std::chrono::microseconds(kBetweenClicks).count()));
    return (at - monotonicSeconds(start)) * 1000;
  }

  // The pointer off the window, and time for the application to see it leave.
  void moveAway() {
    const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(x_)).data->root;
    xcb_warp_pointer(x_, XCB_NONE, root, 0, 0, 0, 0, kAwayX, kAwayY);
    std::free(xcb_get_input_focus_reply(x_, xcb_get_input_focus(x_), nullptr));
    ::usleep(100'000);
  }

  const Programs& programs_;
  int rounds_;
  test::AccessibleDesktop desktop_;
  const test::AccessibleDesktop::App* app_ = nullptr;
  std::unique_ptr<test::ServiceProcess> service_;
  std::map<std::string, std::string> env_;
  xcb_connection_t* x_ = nullptr;
  std::unique_ptr<test::PrivateDir> runtime_;
  std::unique_ptr<test::ChildProcess> session_;
};

void print(const std::vector<Figure>& figures) {
  std::cout
      << "| Figure | Value | Baseline | × baseline | Goal | Met |\n|---|---|---|---|---|---|\n";
  for (const auto& f : figures) {
    const double ratio = f.value / f.baseline;
    std::cout << "| " << f.what << " | " << format(f.value, 1) << " | " << format(f.baseline, 1)
              << " | " << format(ratio, 2) << " | "
              << (f.goal > 0 ? "≤ " + format(f.goal, 1) + "× baseline" : "") << " | "
              << (f.goal > 0 ? (ratio <= f.goal ? "yes" : "no") : "") << " |\n";
  }
}

// The figures of get-text, find --json, click-on --action and the windows.
void frontEnds(const Programs& programs, int rounds, std::vector<Figure>& figures) {
  {
    progress("the GTK application with " + std::to_string(kThousandButtons) + " buttons");
    Bench large(programs, kThousandButtons, rounds);
    const std::string where = "a GTK application with 1,000 buttons";
    progress("get-text and find --json");
    for (auto& figure : large.readText(where)) figures.push_back(std::move(figure));
    progress("click-on --action");
    figures.push_back(large.clickByAction("25", where, 0.7));
  }
  progress("the GTK application with its few controls");
  Bench small(programs, 0, rounds);
  progress("click-on --action");
  figures.push_back(
      small.clickByAction("Press", "a GTK application with four buttons and a check box", 0.3));
  progress("windows and search");
  for (auto& figure : small.windows()) figures.push_back(std::move(figure));
}

// click-on with the pointer against pyatspi's doAction, each process searching itself and then
// through the session; and the press by the action through the session.
void throughSession(const Programs& programs, int rounds, std::vector<Figure>& figures) {
  {
    progress("the GTK application with " + std::to_string(kThousandButtons) + " buttons");
    Bench large(programs, kThousandButtons, rounds);
    const std::string where = "a GTK application with 1,000 buttons";
    progress("click-on, searched in-process");
    figures.push_back(large.clickVsPyatspi("25", where, 0.3));
    progress("click-on, searched by the session");
    large.startSession();
    figures.push_back(large.clickVsPyatspi("25", where, 0.3));
    progress("get-text and find --json, searched by the session");
    for (auto& figure : large.readText(where + ", searched by the session")) {
      figures.push_back(std::move(figure));
    }
  }
  progress("the GTK application with its few controls");
  Bench small(programs, 0, rounds);
  const std::string where = "a GTK application with four buttons and a check box";
  progress("click-on, searched in-process");
  figures.push_back(small.clickVsPyatspi("Press", where, 0));
  progress("click-on, searched by the session");
  small.startSession();
  figures.push_back(small.clickVsPyatspi("Press", where, 0));
  progress("click-on --action, pressed by the session");
  figures.push_back(small.clickByAction("Press", where, 0.3));
}

int run(int rounds, bool onlyFrontEnds, bool onlySession) {
  Programs programs;
  std::vector<Figure> figures;
  if (onlySession) {
    throughSession(programs, rounds, figures);
    print(figures);
    return 0;
  }
  frontEnds(programs, rounds, figures);
  if (onlyFrontEnds) {
    print(figures);
    return 0;
  }
  {
    progress("the GTK application with " + std::to_string(kManyButtons) + " buttons");
    Bench large(programs, kManyButtons, rounds);
    const std::string where = "a GTK application with 3,000 buttons";
    progress("find");
    // The last button lies beyond the scrolled window's view, so it is not showing: only
    // "--all" finds it, after all the tree, as the walk does. The button "25" is in view.
    figures.push_back(large.find(std::to_string(kManyButtons - 1), true, where, kFindGoal));
    figures.push_back(large.find("25", false, where, kFindGoal));
    progress("click-on");
    // The button whose frame the application reports: "25".
    for (auto& figure : large.clickOn("25", where)) figures.push_back(std::move(figure));
  }
  {
    progress("the GTK application with its few controls");
    Bench small(programs, 0, rounds);
    const std::string where = "a GTK application with a few controls";
    progress("find");
    figures.push_back(small.find("Press", false, where, 0));
    progress("click-on");
    for (auto& figure : small.clickOn("Press", where)) figures.push_back(std::move(figure));
  }
  print(figures);
  return 0;
}

}  // namespace
}  // namespace virelo::bench

int main(int argc, char** argv) {
  using namespace virelo;
  int rounds = 11;
  bool onlyFrontEnds = false;
  bool onlySession = false;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--quick") == 0) {
      rounds = 3;
    } else if (std::strcmp(argv[i], "--front-ends") == 0) {
      onlyFrontEnds = true;
    } else if (std::strcmp(argv[i], "--session") == 0) {
      onlySession = true;
    } else {
      std::cerr << "usage: controls_bench [--quick] [--front-ends | --session]\n";
      return 2;
    }
  }
  test::ServiceUser::adopt();
  if (::access(bench::kXdotool, X_OK) != 0) {
    std::cout << "controls figures skipped: xdotool is missing (tools/install-deps tests)\n";
    return 0;
  }
  try {
    return bench::run(rounds, onlyFrontEnds, onlySession);
  } catch (const bench::Unavailable& e) {
    std::cout << "controls figures skipped: " << e.what() << "\n";
    return 0;
  } catch (const std::exception& e) {
    std::cerr << "controls_bench: " << e.what() << "\n";
    return 1;
  }
}
