// The benchmark suite's driver: measures the baseline echo server and the service with each
// backend in the same run and prints one Markdown table in which every figure stands beside the
// baseline's and their ratio. The in-process micro-benchmarks (hot_path_bench) are run first by
// tools/bench and read from their JSON output (--micro <file>).
//
//   service_bench [--quick] [--micro <google-benchmark json>] [--backends corehid,cgevent]
//                 [--only roundtrip,throughput,cadence,idle,startup,stop]
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <functional>
#include <iostream>
#include <map>
#include <nlohmann/json.hpp>
#include <optional>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <type_traits>
#include <vector>

#include "bench/report_text.h"
#include "bench/scenarios.h"
#include "tests/support/service_user.h"

#ifndef VIRELO_ECHO_BASELINE_PATH
#error "VIRELO_ECHO_BASELINE_PATH must name the baseline server binary"
#endif

namespace virelo::bench {
namespace {

struct Settings {
  int commands = 20000;
  double throughputSeconds = 2.0;
  double cadenceSeconds = 5.0;
  double idleSeconds = 10.0;
  int startupRuns = 11;
  int stopRuns = 500;  // stops of each kind
  int rounds = 3;      // interleaved rounds of the round-trip figures
  std::string microPath;
  std::vector<std::string> backends{"corehid", "cgevent"};
  // Empty: every figure. Otherwise only these: roundtrip, throughput, cadence, idle, startup,
  // stop.
  std::vector<std::string> only;
  bool wants(const std::string& part) const {
    return only.empty() || std::find(only.begin(), only.end(), part) != only.end();
  }
};

struct Row {
  std::string figure;
  std::string server;
  std::string value;
  std::string baseline;
  std::string ratio;
  std::string goal;
  std::string met;
};

std::string ratioText(double value, double baseline) {
  if (baseline <= 0) return "—";
  return format(value / baseline, 2);
}

std::string yesNo(bool met) {
  return met ? "yes" : "**no**";
}

std::vector<std::string> split(const std::string& text) {
  std::vector<std::string> parts;
  std::stringstream in(text);
  for (std::string part; std::getline(in, part, ',');) parts.push_back(part);
  return parts;
}

class Suite {
 public:
  explicit Suite(Settings settings) : settings_(std::move(settings)) {
    baseline_ = {"baseline", VIRELO_ECHO_BASELINE_PATH, "corehid"};
    reportBaseline_ = {"baseline with report polls", VIRELO_ECHO_BASELINE_PATH, "reports"};
    handOffBaseline_ = {"baseline with report polls and a hand-off", VIRELO_ECHO_BASELINE_PATH,
                        "reports-handoff"};
    for (const auto& backend : settings_.backends) services_.push_back({backend, "", backend});
  }

  void readMicro(const std::string& path);
  void run();
  void print(std::ostream& out) const;

 private:
  void roundTrips(bool trace);
  void throughput();
  void cadence(int inFlight);
  void idle(int clients);
  void peakMemory();
  void startup();
  void stops();
  void micro();

  // The results of interleaved rounds: the baseline, then every backend, `rounds` times over.
  template <typename T>
  struct Rounds {
    std::vector<T> baseline;
    std::map<std::string, std::vector<T>> services;  // absent: the backend was not ready
  };
  // Runs the rounds; `measure` returns nullopt for a backend that is not ready, which is then
  // left out of the later rounds. With `withReportBaseline` the baseline with report polls (and,
  // for round trips, the one that also hands each line to a thread) runs too, after the bare
  // one, and its results are among the services' under its name.
  template <typename T, typename Measure>
  Rounds<T> interleave(const std::string& what, Measure measure, bool withReportBaseline = false) {
    Rounds<T> rounds;
    std::set<std::string> notReady;
    std::vector<ServerTarget> targets;
    if (withReportBaseline) targets.push_back(reportBaseline_);
    if (withReportBaseline && std::is_same_v<T, LatencyStats>) targets.push_back(handOffBaseline_);
    targets.insert(targets.end(), services_.begin(), services_.end());
    for (int round = 1; round <= settings_.rounds; ++round) {
      const std::string of =
          " (round " + std::to_string(round) + " of " + std::to_string(settings_.rounds) + ")";
      progress(what + ", baseline" + of);
      rounds.baseline.push_back(*measure(baseline_));
      for (const auto& service : targets) {
        if (notReady.count(service.name) != 0) continue;
        progress(what + ", " + service.name + of);
        if (auto result = measure(service)) {
          rounds.services[service.name].push_back(*result);
        } else {
          notReady.insert(service.name);
          rounds.services.erase(service.name);
        }
      }
    }
    return rounds;
  }

  void unavailable(const std::string& figure, const ServerTarget& service) {
    rows_.push_back({figure, service.name, "n/a (not ready)", "", "", "", ""});
  }

  Settings settings_;
  ServerTarget baseline_;
  ServerTarget reportBaseline_;
  ServerTarget handOffBaseline_;
  std::vector<ServerTarget> services_;
  std::vector<Row> rows_;
  nlohmann::json micro_;
  double baselineRoundTripP50_ = 0;
  std::map<std::string, std::uint64_t> peakKiB_;  // per server, the largest VmHWM seen
};

void Suite::readMicro(const std::string& path) {
  std::ifstream in(path);
  if (!in) throw std::runtime_error("cannot read " + path);
  std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  // Google Benchmark writes NaN (for instance the spread of a constant counter) as a bare word,
  // which is not JSON; such values are read as null.
  static const std::regex notANumber(R"(:\s*-?(nan|NaN|inf|Infinity)\b)");
  micro_ = nlohmann::json::parse(std::regex_replace(text, notANumber, ": null"));
}

void Suite::run() {
  if (settings_.wants("roundtrip")) {
    roundTrips(false);
    roundTrips(true);
  }
  if (settings_.wants("throughput")) throughput();
  if (settings_.wants("cadence")) {
    cadence(32);
    cadence(1);
  }
  if (settings_.wants("idle")) {
    idle(0);
    idle(4);
  }
  peakMemory();
  if (settings_.wants("startup")) startup();
  if (settings_.wants("stop")) stops();
  micro();
}

namespace {

double medianOf(const std::vector<LatencyStats>& runs, double LatencyStats::*field) {
  std::vector<double> values;
  for (const auto& r : runs) values.push_back(r.*field);
  return median(values);
}

// The median of the rounds' own ratios.
double medianRatio(const std::vector<LatencyStats>& runs, const std::vector<LatencyStats>& bases,
                   double LatencyStats::*field) {
  std::vector<double> ratios;
  for (std::size_t i = 0; i < runs.size() && i < bases.size(); ++i) {
    if (bases[i].*field > 0) ratios.push_back(runs[i].*field / bases[i].*field);
  }
  return median(ratios);
}
double medianRatio(const std::vector<double>& runs, const std::vector<double>& bases) {
  std::vector<double> ratios;
  for (std::size_t i = 0; i < runs.size() && i < bases.size(); ++i) {
    if (bases[i] > 0) ratios.push_back(runs[i] / bases[i]);
  }
  return median(ratios);
}

}  // namespace

// Round trips are measured in interleaved rounds (baseline, then each backend, again and again):
// on a shared machine the cost of waking a sleeping thread drifts over seconds, and it is most of
// a round trip. Each figure is the median over the rounds, and its ratio the median of the
// rounds' ratios. The medians are set against the bare baseline and, as the service must poll
// before each of the two reports of a command, against the baseline that polls as often.
void Suite::roundTrips(bool trace) {
  const std::string tag = trace ? "trace on" : "trace off";
  auto rounds = interleave<LatencyStats>(
      "round trips, " + tag,
      [&](const ServerTarget& target) -> std::optional<LatencyStats> {
        auto result = measureRoundTrip(target, trace, settings_.commands);
        if (!result) return std::nullopt;
        peakKiB_[target.name] = std::max(peakKiB_[target.name], result->peakResidentKiB);
        return result->micros;
      },
      true);
  const auto& base = rounds.baseline;
  if (!trace) baselineRoundTripP50_ = medianOf(base, &LatencyStats::p50);
  std::string figure = "Round trip (µs), " + tag + ", " + std::to_string(settings_.commands) +
                       " keyboard commands, median of " + std::to_string(settings_.rounds) +
                       " rounds";
  const auto& polled = rounds.services[reportBaseline_.name];
  const auto& handedOff = rounds.services[handOffBaseline_.name];
  for (const auto* b : {&reportBaseline_, &handOffBaseline_}) {
    const auto& runs = rounds.services[b->name];
    rows_.push_back({figure + ": p50", b->name, format(medianOf(runs, &LatencyStats::p50), 1),
                     format(medianOf(base, &LatencyStats::p50), 1),
                     format(medianRatio(runs, base, &LatencyStats::p50), 2), "", ""});
  }
  for (const auto& service : services_) {
    if (rounds.services.count(service.name) == 0) {
      unavailable(figure, service);
      continue;
    }
    const auto& runs = rounds.services[service.name];
    struct Percentile {
      const char* name;
      double LatencyStats::*field;
      double goal;  // times the baseline; 0: no goal
    };
    for (const Percentile& p :
         {Percentile{"p50", &LatencyStats::p50, 1.5}, Percentile{"p99", &LatencyStats::p99, 2.0},
          Percentile{"p99.9", &LatencyStats::p999, 0.0}}) {
      double ratio = medianRatio(runs, base, p.field);
      rows_.push_back({figure + ": " + p.name, service.name, format(medianOf(runs, p.field), 1),
                       format(medianOf(base, p.field), 1), format(ratio, 2),
                       p.goal > 0 ? "≤ " + format(p.goal, 1) + "× baseline" : "",
                       p.goal > 0 ? yesNo(ratio <= p.goal) : ""});
    }
    // The event backend's honest baseline hands each command to a second thread, as the
    // simulated window server does with each posted event.
    const bool event = service.name == "cgevent";
    const auto& honest = event ? handedOff : polled;
    const double ratio = medianRatio(runs, honest, &LatencyStats::p50);
    rows_.push_back(
        {figure + ": p50 against the " + (event ? handOffBaseline_ : reportBaseline_).name,
         service.name, format(medianOf(runs, &LatencyStats::p50), 1),
         format(medianOf(honest, &LatencyStats::p50), 1), format(ratio, 2), "≤ 1.5× baseline",
         yesNo(ratio <= 1.5)});
  }
}

// Interleaved rounds as for the round trips: the figure is the median over the rounds, its
// ratio the median of the rounds' ratios; against the bare baseline and the one that polls
// before each report as the service must.
void Suite::throughput() {
  auto rounds = interleave<double>(
      "throughput",
      [&](const ServerTarget& target) {
        return measureThroughput(target, 4, 32, settings_.throughputSeconds);
      },
      true);
  const auto& base = rounds.baseline;
  const auto& polled = rounds.services[reportBaseline_.name];
  std::string figure = "Throughput (commands/s), 4 clients × 32 in flight, median of " +
                       std::to_string(settings_.rounds) + " rounds";
  rows_.push_back({figure, reportBaseline_.name, format(median(polled), 0), format(median(base), 0),
                   format(medianRatio(polled, base), 2), "", ""});
  for (const auto& service : services_) {
    if (rounds.services.count(service.name) == 0) {
      unavailable(figure, service);
      continue;
    }
    const auto& runs = rounds.services[service.name];
    double ratio = medianRatio(runs, base);
    rows_.push_back({figure, service.name, format(median(runs), 0), format(median(base), 0),
                     format(ratio, 2), "≥ 0.5× baseline", yesNo(ratio >= 0.5)});
    ratio = medianRatio(runs, polled);
    rows_.push_back({figure + ", against the baseline with report polls", service.name,
                     format(median(runs), 0), format(median(polled), 0), format(ratio, 2),
                     "≥ 0.9× baseline", yesNo(ratio >= 0.9)});
  }
}

void Suite::cadence(int inFlight) {
  const std::string load = "3 clients × " + std::to_string(inFlight) + " in flight";
  progress("tick cadence, " + load + ", baseline");
  auto base = *measureTickCadence(baseline_, inFlight, settings_.cadenceSeconds);
  for (const auto& service : services_) {
    progress("tick cadence, " + load + ", " + service.name);
    auto result = measureTickCadence(service, inFlight, settings_.cadenceSeconds);
    std::string figure = "Tick interval (ms), motion + " + load;
    if (!result) {
      unavailable(figure, service);
      continue;
    }
    rows_.push_back({figure + ": p50", service.name, format(result->p50, 3), format(base.p50, 3),
                     ratioText(result->p50, base.p50), "8 ± 0.2 ms",
                     yesNo(std::fabs(result->p50 - 8.0) <= 0.2)});
    rows_.push_back({figure + ": p99", service.name, format(result->p99, 3), format(base.p99, 3),
                     ratioText(result->p99, base.p99), "≤ 9 ms", yesNo(result->p99 <= 9.0)});
    rows_.push_back({figure + ": max", service.name, format(result->max, 3), format(base.max, 3),
                     ratioText(result->max, base.max), "", ""});
  }
}

void Suite::idle(int clients) {
  const std::string who = clients == 0 ? "no client" : std::to_string(clients) + " idle clients";
  progress("idle CPU, " + who + ", baseline");
  auto base = *measureIdle(baseline_, clients, settings_.idleSeconds);
  for (const auto& service : services_) {
    progress("idle CPU, " + who + ", " + service.name);
    auto result = measureIdle(service, clients, settings_.idleSeconds);
    std::string figure =
        "Idle CPU (% of one core), " + who + ", " + format(settings_.idleSeconds, 0) + " s";
    if (!result) {
      unavailable(figure, service);
      continue;
    }
    auto& peak = peakKiB_[service.name];
    peak = std::max(peak, result->peakResidentKiB);
    rows_.push_back({figure + ": utime+stime", service.name, format(result->cpuPercent, 3),
                     format(base.cpuPercent, 3), ratioText(result->cpuPercent, base.cpuPercent),
                     "≤ 0.2 %", yesNo(result->cpuPercent <= 0.2)});
    rows_.push_back({figure + ": schedstat", service.name, format(result->scheduledPercent, 3),
                     format(base.scheduledPercent, 3),
                     ratioText(result->scheduledPercent, base.scheduledPercent), "≤ 0.2 %",
                     yesNo(result->scheduledPercent <= 0.2)});
  }
  auto& peak = peakKiB_[baseline_.name];
  peak = std::max(peak, base.peakResidentKiB);
}

void Suite::peakMemory() {
  double base = static_cast<double>(peakKiB_[baseline_.name]) / 1024.0;
  for (const auto& service : services_) {
    auto it = peakKiB_.find(service.name);
    std::string figure = "Peak resident memory (MiB, VmHWM)";
    if (it == peakKiB_.end() || it->second == 0) {
      unavailable(figure, service);
      continue;
    }
    double mib = static_cast<double>(it->second) / 1024.0;
    rows_.push_back({figure, service.name, format(mib, 2), format(base, 2), ratioText(mib, base),
                     "≤ 8 MiB", yesNo(mib <= 8.0)});
  }
}

void Suite::startup() {
  progress("start-up, baseline");
  double base = *measureStartup(baseline_, settings_.startupRuns);
  for (const auto& service : services_) {
    progress("start-up, " + service.name);
    auto result = measureStartup(service, settings_.startupRuns);
    std::string figure = "Start-up to the first status line (ms, median of " +
                         std::to_string(settings_.startupRuns) + ")";
    if (!result) {
      unavailable(figure, service);
      continue;
    }
    rows_.push_back({figure, service.name, format(*result, 2), format(base, 2),
                     ratioText(*result, base), "< 5 ms", yesNo(*result < 5.0)});
  }
}

// The stop signal against the end of standard input, the parent's other way to stop the
// service, in the same loop; and how many of all those stops were cut short.
void Suite::stops() {
  for (const auto& service : services_) {
    progress("stops, " + service.name);
    auto result = measureStops(service, settings_.stopRuns);
    const std::string runs = std::to_string(settings_.stopRuns);
    std::string figure =
        "SIGTERM stop vs end-of-file stop (ms to the end, median of " + runs + " each, a key held)";
    if (!result) {
      unavailable(figure, service);
      continue;
    }
    rows_.push_back({figure, service.name, format(result->signalMillis, 2),
                     format(result->endOfFileMillis, 2) + " (end of file)",
                     ratioText(result->signalMillis, result->endOfFileMillis), "≤ 1.5× end of file",
                     yesNo(result->signalMillis <= 1.5 * result->endOfFileMillis)});
    rows_.push_back({"Stops cut short (socket file or a device left) of " +
                         std::to_string(2 * settings_.stopRuns),
                     service.name, std::to_string(result->cut), "", "", "0",
                     yesNo(result->cut == 0)});
  }
}

// Google Benchmark rows: time per iteration and allocations per iteration ("allocs" counter),
// set against the baseline's round-trip median.
void Suite::micro() {
  if (micro_.is_null()) return;
  for (const auto& b : micro_.value("benchmarks", nlohmann::json::array())) {
    // With repetitions only the medians are taken; a single run is taken as it is.
    std::string name = b.value("name", "");
    if (b.value("run_type", "iteration") == "aggregate") {
      if (b.value("aggregate_name", "") != "median") continue;
      name = b.value("run_name", name);
    } else if (b.contains("repetitions") && b.value("repetitions", 1) > 1) {
      continue;
    }
    std::string unit = b.value("time_unit", "ns");
    double scale = unit == "ns" ? 1e-3 : unit == "us" ? 1.0 : unit == "ms" ? 1e3 : 1e6;
    double micros = b.value("cpu_time", 0.0) * scale;
    double allocs = b.value("allocs/iter", 0.0);
    bool hotPath = name == "BM_WholeCommand" || name == "BM_WholeCommandLogic";
    std::string value = format(micros * 1e3, 0) + " ns, " + format(allocs, 2) + " allocs";
    rows_.push_back({"In-process: " + name, "in-process", value,
                     format(baselineRoundTripP50_, 1) + " µs (round trip p50)",
                     ratioText(micros, baselineRoundTripP50_),
                     hotPath ? "< 3 µs, no allocation" : "",
                     hotPath ? yesNo(micros < 3.0 && allocs < 0.5) : ""});
  }
}

void Suite::print(std::ostream& out) const {
  out << "| Figure | Server | Value | Baseline | × baseline | Goal | Met |\n";
  out << "|---|---|---|---|---|---|---|\n";
  for (const auto& r : rows_) {
    out << "| " << r.figure << " | " << r.server << " | " << r.value << " | " << r.baseline << " | "
        << r.ratio << " | " << r.goal << " | " << r.met << " |\n";
  }
}

}  // namespace
}  // namespace virelo::bench

int main(int argc, char** argv) {
  using namespace virelo::bench;
  Settings settings;
  for (int i = 1; i < argc; ++i) {
    std::string arg = argv[i];
    if (arg == "--quick") {
      settings.commands = 2000;
      settings.throughputSeconds = 0.5;
      settings.cadenceSeconds = 1.0;
      settings.idleSeconds = 2.0;
      settings.startupRuns = 3;
      settings.stopRuns = 25;
      settings.rounds = 1;
    } else if (arg == "--micro" && i + 1 < argc) {
      settings.microPath = argv[++i];
    } else if (arg == "--backends" && i + 1 < argc) {
      settings.backends = split(argv[++i]);
    } else if (arg == "--only" && i + 1 < argc) {
      settings.only = split(argv[++i]);
    } else {
      std::cerr << "usage: service_bench [--quick] [--micro <json>] [--backends a,b] "
                   "[--only roundtrip,throughput,cadence,idle,startup,stop]\n";
      return 2;
    }
  }
  try {
    Suite suite(settings);
    // Read before the process takes the service user's identity.
    if (!settings.microPath.empty()) suite.readMicro(settings.microPath);
    virelo::test::ServiceUser::adopt();
    suite.run();
    suite.print(std::cout);
  } catch (const std::exception& e) {
    std::cerr << "service_bench: " << e.what() << "\n";
    return 1;
  }
  return 0;
}
