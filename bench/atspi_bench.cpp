// The AT-SPI figures of the benchmark suite, on the accessible desktop of the tests (Xvfb, a
// private session bus, the accessibility bus and the GTK application tests/atspi/gtk_app.py):
// - one near search and one wide search (the finder's trust check and scan) beside the GTK
//   button, against the same accessibility requests replayed bare on the same interface, in the
//   same run (the scan's own work is the difference);
// - the longest command round trip of the real service (VL_HOST=linux, "cgevent") while slow
//   snapped moves beside the button keep its searches running, against the same moves unsnapped;
// - how late the main loop of a GTK application with 3,000 buttons runs (the median lateness of
//   its 10 ms timer) while the service's slow snapped moves over its buttons keep searches running
//   over it, against the same application idle for as long and under the same moves unsnapped;
// - how much the service's resident memory grows over a long session (10 minutes; 1 with
//   --quick) of slow snapped moves over an application that replaces its widgets while a screen
//   reader listens, against the service's resident memory at rest in the same run.
// Prints one Markdown table on standard output; progress goes to standard error. Exits 0 with a
// note when the desktop cannot run.
//
//   atspi_bench [--quick]
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <memory>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "bench/latency_stats.h"
#include "bench/process_meter.h"
#include "bench/recording_accessibility.h"
#include "bench/report_text.h"
#include "platform/hosts/linux_accessibility.h"
#include "targets/accessibility_scan.h"
#include "targets/sample_rings.h"
#include "targets/snap_target_finder.h"
#include "targets/web_app_detector.h"
#include "tests/atspi/accessible_desktop.h"
#include "tests/support/service_process.h"
#include "tests/support/service_user.h"
#include "tests/support/test_client.h"

namespace virelo::bench {
namespace {

using Clock = std::chrono::steady_clock;

struct Settings {
  int searches = 40;                // of each kind, and as many replays
  int moves = 400;                  // commands per poster (snapped and not)
  std::chrono::seconds churn{600};  // of widget churn, for the service's memory
};

struct Figure {
  std::string what;
  double value = 0;
  double baseline = 0;
};

// One search's time and its bare requests' time, medians of `count` alternating runs.
Figure searchFigure(const std::string& what, Accessibility& inner, WindowList& windows,
                    ActiveDisplays& displays, RunningApplications& apps, Point at,
                    const std::vector<Vector>& ring, double margin, int count) {
  RecordingAccessibility recording(inner);
  WebAppDetector web(apps);
  AccessibilityScan scan(recording, windows, displays, web, recording.systemWide(), ::getpid());
  std::vector<double> searched, bare;
  std::size_t requests = 0;
  for (int i = 0; i < count; ++i) {
    recording.record(true);
    auto start = Clock::now();
    if (recording.isProcessTrusted()) scan.scan(at, ring, margin);
    searched.push_back(micros(Clock::now() - start));
    recording.record(false);
    requests = recording.recorded();
    start = Clock::now();
    recording.replay();
    bare.push_back(micros(Clock::now() - start));
  }
  return {what + " (µs), median of " + std::to_string(count) + ", " + std::to_string(requests) +
              " requests",
          median(searched), median(bare)};
}

std::vector<Figure> searchFigures(test::AccessibleDesktop& desktop, Rect button, int count) {
  auto host = hosts::makeAtspiLinuxAccessibility(desktop.display());
  auto services = host->services();
  services.accessibility.setMessagingTimeout(services.accessibility.systemWide(),
                                             SnapTargetFinder::kMessagingTimeout);
  const Point at{button.minX() + button.width() + 20, button.minY() + button.height() / 2};
  std::cerr << "… near and wide searches over the GTK application\n";
  return {searchFigure("Near search beside the GTK button", services.accessibility,
                       services.windowList, services.displays, services.applications, at,
                       nearRing(), SnapTargetFinder::kNearMargin, count),
          searchFigure("Wide search beside the GTK button", services.accessibility,
                       services.windowList, services.displays, services.applications, at,
                       wideRing(), SnapTargetFinder::kWideMargin, count)};
}

// The longest round trip (µs) of `count` moves of 5 points to and fro beside the button.
double longestRoundTrip(test::TestClient& client, bool snap, int count) {
  double longest = 0;
  for (int i = 0; i < count; ++i) {
    const int dx = (i / 4) % 2 == 0 ? -5 : 5;
    const auto sent = Clock::now();
    client.command({{"cmd", "move"}, {"dx", dx}, {"dy", 0}, {"snap", snap}});
    longest = std::max(longest, micros(Clock::now() - sent));
    ::usleep(10'000);
  }
  return longest;
}

Figure roundTripFigure(test::AccessibleDesktop& desktop, int count) {
  test::ServiceProcess service(desktop.serviceOptions());
  service.awaitReady();
  test::TestClient client(service.socketPath());
  client.hello(service.token());
  std::cerr << "… command round trips with and without searches\n";
  double snapped = 0, plain = 0;
  for (int round = 0; round < 2; ++round) {
    plain = std::max(plain, longestRoundTrip(client, false, count / 2));
    snapped = std::max(snapped, longestRoundTrip(client, true, count / 2));
  }
  return {"Longest command round trip (µs) of " + std::to_string(count) +
              " slow snapped moves beside the button (searches running) vs unsnapped",
          snapped, plain};
}

// The median lateness (ms) of the application's main loop since it was last asked.
double lateness(const test::AccessibleDesktop::App& app) {
  std::istringstream answer(test::AccessibleDesktop::ask(app, "latency"));
  std::string word;
  double median = 0;
  if (!(answer >> word >> median) || word != "latency") {
    throw std::runtime_error("the GTK application does not tell its lateness");
  }
  return median;
}

// The application with 3,000 buttons covers the screen's centre, where the pointer starts: the
// moves to and fro stay over its buttons. Moving the pointer over the application costs it work of
// its own (crossing and redrawing its buttons), so the moves unsnapped are measured too.
std::vector<Figure> largeApplicationFigures(test::AccessibleDesktop& desktop, int count) {
  const auto& large = desktop.startApp(100, 100, 1, 3000);
  if (large.pid <= 0) throw std::runtime_error("the GTK application with 3,000 buttons");
  test::ServiceProcess service(desktop.serviceOptions());
  service.awaitReady();
  test::TestClient client(service.socketPath());
  client.hello(service.token());
  std::cerr << "… the main loop of an application with 3,000 buttons, searched and idle\n";
  std::vector<double> searched, moved, idle;
  for (int round = 0; round < 2; ++round) {
    lateness(large);
    longestRoundTrip(client, true, count / 2);
    searched.push_back(lateness(large));
    longestRoundTrip(client, false, count / 2);
    moved.push_back(lateness(large));
    ::usleep(static_cast<useconds_t>(count / 2) * 10'000);
    idle.push_back(lateness(large));
  }
  const std::string what =
      "Main-loop lateness (µs, median) of a GTK application with 3,000 buttons";
  return {{what + " under " + std::to_string(count) + " slow snapped moves vs idle",
           1000 * median(searched), 1000 * median(idle)},
          {what + " under the same moves snapped vs unsnapped", 1000 * median(searched),
           1000 * median(moved)}};
}

// Slow snapped moves of 5 points to and fro, as longestRoundTrip makes them, for the duration.
void moveFor(test::TestClient& client, Clock::duration duration) {
  const auto until = Clock::now() + duration;
  for (int i = 0; Clock::now() < until; ++i) {
    const int dx = (i / 4) % 2 == 0 ? -5 : 5;
    client.command({{"cmd", "move"}, {"dx", dx}, {"dy", 0}, {"snap", true}});
    ::usleep(10'000);
  }
}

// The service's resident memory over a long session. Its slow snapped moves keep searches running
// over an application whose buttons lie under the pointer (it starts at the screen's centre),
// while a screen reader listens, so that the application tells the accessibility bus of every
// widget it adds and removes. First for a while with the application at rest: the service's
// resident memory then is the baseline. Then for `duration` with the application replacing 10
// buttons every 10 ms: how much the resident memory grew from the baseline.
Figure churnFigure(std::chrono::seconds duration) {
  constexpr std::chrono::seconds kRest{20};
  test::AccessibleDesktop desktop(true);
  if (!desktop.unavailable().empty()) throw std::runtime_error(desktop.unavailable());
  // Its buttons replaced, 140 points right of "Press", cover the screen's centre.
  const auto& app = desktop.startApp(320, 250);
  if (app.pid <= 0) throw std::runtime_error("the GTK application to churn did not come up");
  if (!desktop.startScreenReader()) throw std::runtime_error("the screen reader's stand-in");
  test::ServiceProcess service(desktop.serviceOptions());
  service.awaitReady();
  test::TestClient client(service.socketPath());
  client.hello(service.token());
  const ProcessMeter meter(service.pid());
  const auto minutes = std::to_string(duration.count() / 60) + " min";
  std::cerr << "… the service's memory over " << minutes << " of widget churn\n";
  moveFor(client, kRest);
  const auto rest = meter.residentKiB();
  if (test::AccessibleDesktop::ask(app, "churn 10") != "churning") {
    throw std::runtime_error("the GTK application does not churn its widgets");
  }
  moveFor(client, duration);
  const auto churned = meter.residentKiB();
  return {"Service resident memory growth (KiB) over " + minutes +
              " of widget churn under slow snapped moves vs its resident memory at rest",
          static_cast<double>(churned) - static_cast<double>(rest), static_cast<double>(rest)};
}

void print(const std::vector<Figure>& figures) {
  std::cout << "| Figure | Value | Baseline | × baseline |\n|---|---|---|---|\n";
  for (const auto& f : figures) {
    std::cout << "| " << f.what << " | " << format(f.value, 0) << " | " << format(f.baseline, 0)
              << " | " << format(f.value / f.baseline, 2) << " |\n";
  }
}

// The searches run in this process, whose user must be the buses' (libdbus authenticates with
// the real user id): they get a desktop of their own before the process takes the service
// user's identity for the service's desktop.
int run(const Settings& settings) {
  std::vector<Figure> figures;
  {
    test::AccessibleDesktop desktop;
    if (!desktop.unavailable().empty()) {
      std::cout << "AT-SPI figures skipped: " << desktop.unavailable() << "\n";
      return 0;
    }
    const auto& app = desktop.startApp(100, 100);
    if (app.pid <= 0) {
      std::cout << "AT-SPI figures skipped: the GTK application did not come up\n";
      return 0;
    }
    figures = searchFigures(desktop, app.press, settings.searches);
  }
  test::ServiceUser::adopt();
  if (test::ServiceUser::privileged()) {
    {
      test::AccessibleDesktop desktop(true);
      if (desktop.unavailable().empty() && desktop.startApp(100, 100).pid > 0) {
        figures.push_back(roundTripFigure(desktop, settings.moves));
        for (auto& figure : largeApplicationFigures(desktop, settings.moves)) {
          figures.push_back(std::move(figure));
        }
      }
    }
    figures.push_back(churnFigure(settings.churn));
  } else {
    std::cerr << "the round trips need root (the service runs as its own user): left out\n";
  }
  print(figures);
  return 0;
}

}  // namespace
}  // namespace virelo::bench

int main(int argc, char** argv) {
  virelo::bench::Settings settings;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--quick") == 0) {
      settings = {10, 100, std::chrono::seconds(60)};
    } else {
      std::cerr << "usage: atspi_bench [--quick]\n";
      return 2;
    }
  }
  try {
    return virelo::bench::run(settings);
  } catch (const std::exception& e) {
    std::cerr << "atspi_bench: " << e.what() << "\n";
    return 1;
  }
  return 0;
}
