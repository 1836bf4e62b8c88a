// The Wayland figures of the benchmark suite, on each compositor whose host is built (KWin, sway,
// mutter; wayland_desks.h): typing 54 characters into the entry of the GTK receiver running as a
// native Wayland application, and the round trip from one key command to the key event that the
// application reports. Each figure stands beside the bare poster of the same compositor interface
// (wayland_poster.h) doing the same key presses in the same run, in interleaved rounds, and is
// read as a ratio to it. The poster is a process of its own, driven over a pipe, so the pipe's own
// round trip is given too. Beside the typing, where its time goes: when the client's last answer
// came, the poster fed as the client library feeds the service (a keyboard state at a time, each
// answered), the service fed with a wider window of unanswered commands, and the CPU time that
// the server, the compositor, the application and this process spent on each typing. Prints one
// Markdown table on standard output; progress goes to standard error. A host whose compositor is
// not installed gets a note instead of its rows.
//
//   wayland_bench [--quick] [--hosts kde,wlroots,gnome]
#include <unistd.h>

#include <array>
#include <chrono>
#include <cstring>
#include <iostream>
#include <memory>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "bench/latency_stats.h"
#include "bench/process_meter.h"
#include "bench/report_text.h"
#include "bench/wayland_desks.h"
#include "tests/support/service_user.h"
#include "tests/support/test_client.h"
#include "virelo/client/client.h"
#include "virelo/client/keys.h"
#include "virelo/client/layouts.h"

namespace virelo::bench {
namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;
using Event = nlohmann::json;

// F16: a key that no application here acts on. HID usage 0x6B, evdev 186.
const std::string kF16Down = R"({"cmd":"keyboard","modifiers":0,"keys":[107]})";
const std::string kF16Up = R"({"cmd":"keyboard","modifiers":0,"keys":[]})";
const std::string kPosterF16Down = "k 186 1\n";
const std::string kPosterF16Up = "k 186 0\n";
// Control+A, then BackSpace: the entry emptied, by the poster (evdev) or the service (HID).
const std::string kPosterClear = "k 29 1\nk 30 1\nk 30 0\nk 29 0\nk 14 1\nk 14 0\n";
const std::vector<client::Client::KeyboardState> kServiceClear = {
    {0x01, {}}, {0x01, {0x04}}, {0x01, {}}, {0, {}}, {0, {0x2A}}, {0, {}}};
const std::string kText = "The quick brown fox jumps over the lazy dog 0123456789";
constexpr int kWarmUpEvents = 20;

struct Settings {
  int keyEvents = 600;  // per round and poster, presses and releases
  int typingRuns = 10;  // per round and poster
  int rounds = 3;
  std::vector<std::string> hosts = builtDesks();
};

struct Figures {
  std::string host;
  std::string skipped;  // why there are no figures
  std::vector<double> serviceKeys, posterKeys, keyRatios, pipeMicros;
  std::vector<double> serviceTyping, posterTyping;
  std::vector<double> serviceAnswered, posterPaced, serviceWide;
  std::vector<double> typingRatios;  // of each run's service typing to the poster's before it
  // CPU time of each typing (ms): the server (the service or the poster), the compositor, the
  // application and this process, which runs the client library.
  std::array<std::vector<double>, 4> serviceCpu, posterCpu, pacedCpu;
};

constexpr std::array<const char*, 4> kCpuParts = {
    "the service / the bare poster", "the compositor", "the GTK application",
    "the benchmark process (the client library / one write)"};

using CpuTimes = std::array<double, 4>;

class HostBench {
 public:
  HostBench(Desk& desk, const Settings& settings);
  void run(Figures& figures);

 private:
  std::vector<double> serviceKeys(int count);
  std::vector<double> posterKeys(int count);
  std::vector<double> pipeRoundTrips(int count);
  Clock::time_point awaitKey(bool press);
  void awaitText(const std::string& text);
  double serviceTyping(double& answeredMs);
  double posterTyping();
  double posterPacedTyping();
  double serviceWideTyping();
  void clearThroughPoster();

  CpuTimes cpu(const test::ServiceProcess& server) const;
  void noteCpu(std::array<std::vector<double>, 4>& into, const CpuTimes& before,
               const test::ServiceProcess& server) const;

  Desk& desk_;
  const Settings& settings_;
  pid_t compositor_;
  pid_t receiver_;
  test::TestClient raw_;
  client::Client typist_;
};

HostBench::HostBench(Desk& desk, const Settings& settings)
    : desk_(desk),
      settings_(settings),
      compositor_(desk.compositorPid()),
      receiver_(desk.receiverPid()),
      raw_(desk.service().socketPath()),
      typist_(desk.service().socketPath()) {
  raw_.hello(desk.service().token());
  typist_.hello(desk.service().token());
  desk_.receiver().drain(100ms);
}

CpuTimes HostBench::cpu(const test::ServiceProcess& server) const {
  auto of = [](pid_t pid) { return pid > 0 ? ProcessMeter(pid).scheduledSeconds() * 1000 : 0; };
  return {of(server.pid()), of(compositor_), of(receiver_), of(::getpid())};
}

void HostBench::noteCpu(std::array<std::vector<double>, 4>& into, const CpuTimes& before,
                        const test::ServiceProcess& server) const {
  const CpuTimes after = cpu(server);
  for (std::size_t i = 0; i < into.size(); ++i) into[i].push_back(after[i] - before[i]);
}

// When the application reported the key event of that direction.
Clock::time_point HostBench::awaitKey(bool press) {
  const std::string want = press ? "key" : "key-release";
  if (!desk_.receiver().next([&](const Event& e) { return e.value("event", "") == want; }, 2s)) {
    throw std::runtime_error("the application reported no " + want);
  }
  return Clock::now();
}

void HostBench::awaitText(const std::string& text) {
  if (!desk_.receiver().next(
          [&](const Event& e) { return e.value("event", "") == "text" && e["text"] == text; },
          5s)) {
    throw std::runtime_error("the entry never showed \"" + text + "\"");
  }
}

std::vector<double> HostBench::serviceKeys(int count) {
  std::vector<double> samples;
  for (int i = 0; i < count; ++i) {
    const bool press = i % 2 == 0;
    const auto sent = Clock::now();
    raw_.sendLine(press ? kF16Down : kF16Up);
    samples.push_back(micros(awaitKey(press) - sent));
    if (!raw_.readLine()) throw std::runtime_error("the service did not answer");
  }
  return samples;
}

std::vector<double> HostBench::posterKeys(int count) {
  std::vector<double> samples;
  for (int i = 0; i < count; ++i) {
    const bool press = i % 2 == 0;
    const auto sent = Clock::now();
    desk_.poster().writeStdin(press ? kPosterF16Down : kPosterF16Up);
    samples.push_back(micros(awaitKey(press) - sent));
  }
  return samples;
}

std::vector<double> HostBench::pipeRoundTrips(int count) {
  std::vector<double> samples;
  for (int i = 0; i < count; ++i) {
    const auto sent = Clock::now();
    desk_.poster().writeStdin("p\n");
    if (!desk_.poster().readLine(2s)) throw std::runtime_error("the poster did not answer");
    samples.push_back(micros(Clock::now() - sent));
  }
  return samples;
}

// Each typing is emptied again through the same client, so that every typing begins with the
// compositor switching from the other client's keyboard to its own.
double HostBench::serviceTyping(double& answeredMs) {
  const auto start = Clock::now();
  client::typeText(typist_, kText, client::KeyboardLayout::us());
  answeredMs = micros(Clock::now() - start) / 1000;
  awaitText(kText);
  const double ms = micros(Clock::now() - start) / 1000;
  typist_.keyboardSequence(kServiceClear);
  awaitText("");
  desk_.receiver().drain(50ms);
  return ms;
}

double HostBench::posterTyping() {
  const auto start = Clock::now();
  desk_.poster().writeStdin("t " + kText + "\n");
  awaitText(kText);
  const double ms = micros(Clock::now() - start) / 1000;
  clearThroughPoster();
  return ms;
}

void HostBench::clearThroughPoster() {
  desk_.poster().writeStdin(kPosterClear);
  awaitText("");
  desk_.receiver().drain(50ms);
}

// The keyboard states of the text, one per line group, each followed by an echo request that
// stands for the service's answer.
std::vector<std::string> pacedStates() {
  std::vector<std::string> states;
  bool shift = false;
  for (const auto& stroke : client::KeyboardLayout::us().keystrokes(kText)) {
    const std::string code = std::to_string(*client::evdevCodeOfUsage(stroke.usage));
    const bool shifted = (stroke.modifiers & 0x02) != 0;
    std::string press = shifted == shift ? "" : (shifted ? "k 42 1\n" : "k 42 0\n");
    shift = shifted;
    states.push_back(press + "k " + code + " 1\np\n");
    states.push_back("k " + code + " 0\np\n");
  }
  if (shift) states.push_back("k 42 0\np\n");
  return states;
}

// The keyboard commands of the text as typeText() sends them: each character's key pressed with
// the modifiers it needs, then released; at the end nothing is held.
std::vector<std::string> textCommands() {
  std::vector<std::string> lines;
  auto state = [&](int modifiers, const std::string& keys) {
    lines.push_back(R"({"cmd":"keyboard","modifiers":)" + std::to_string(modifiers) +
                    R"(,"keys":[)" + keys + "]}\n");
  };
  for (const auto& stroke : client::KeyboardLayout::us().keystrokes(kText)) {
    state(stroke.modifiers, std::to_string(stroke.usage));
    state(stroke.modifiers, "");
  }
  state(0, "");
  return lines;
}

// The service fed the same commands with 32 unanswered, the most lines it serves from one read of
// a client: the client library's window since it was widened from 16.
double HostBench::serviceWideTyping() {
  static const std::vector<std::string> commands = textCommands();
  constexpr std::size_t kWindow = 32;
  const auto start = Clock::now();
  std::size_t unanswered = 0;
  for (const auto& command : commands) {
    if (unanswered == kWindow) {
      if (!raw_.readLine()) throw std::runtime_error("the service did not answer");
      --unanswered;
    }
    raw_.sendRaw(command);
    ++unanswered;
  }
  for (; unanswered > 0; --unanswered) {
    if (!raw_.readLine()) throw std::runtime_error("the service did not answer");
  }
  awaitText(kText);
  const double ms = micros(Clock::now() - start) / 1000;
  typist_.keyboardSequence(kServiceClear);
  awaitText("");
  desk_.receiver().drain(50ms);
  return ms;
}

// The bare poster fed as the client library feeds the service: a keyboard state at a time, at
// most kMaxUnanswered of them unanswered; the poster's echo stands for the answer.
double HostBench::posterPacedTyping() {
  static const std::vector<std::string> states = pacedStates();
  auto& poster = desk_.poster();
  const auto start = Clock::now();
  std::size_t unanswered = 0;
  for (const auto& state : states) {
    if (unanswered == client::Client::kMaxUnanswered) {
      if (!poster.readLine(2s)) throw std::runtime_error("the poster did not answer");
      --unanswered;
    }
    poster.writeStdin(state);
    ++unanswered;
  }
  for (; unanswered > 0; --unanswered) {
    if (!poster.readLine(2s)) throw std::runtime_error("the poster did not answer");
  }
  awaitText(kText);
  const double ms = micros(Clock::now() - start) / 1000;
  clearThroughPoster();
  return ms;
}

void HostBench::run(Figures& figures) {
  for (int round = 1; round <= settings_.rounds; ++round) {
    const std::string of = " (" + figures.host + ", round " + std::to_string(round) + ")";
    progress("key round trips, bare poster" + of);
    posterKeys(kWarmUpEvents);
    auto poster = posterKeys(settings_.keyEvents);
    progress("key round trips, service" + of);
    serviceKeys(kWarmUpEvents);
    auto service = serviceKeys(settings_.keyEvents);
    auto pipe = pipeRoundTrips(settings_.keyEvents / 2);
    figures.keyRatios.push_back(latencyStats(service).p50 / latencyStats(poster).p50);
    figures.posterKeys.insert(figures.posterKeys.end(), poster.begin(), poster.end());
    figures.serviceKeys.insert(figures.serviceKeys.end(), service.begin(), service.end());
    figures.pipeMicros.insert(figures.pipeMicros.end(), pipe.begin(), pipe.end());
    progress("typing 54 characters" + of);
    for (int run = 0; run < settings_.typingRuns; ++run) {
      auto before = cpu(desk_.poster());
      figures.posterTyping.push_back(posterTyping());
      noteCpu(figures.posterCpu, before, desk_.poster());
      double answered = 0;
      before = cpu(desk_.service());
      figures.serviceTyping.push_back(serviceTyping(answered));
      noteCpu(figures.serviceCpu, before, desk_.service());
      figures.typingRatios.push_back(figures.serviceTyping.back() / figures.posterTyping.back());
      figures.serviceAnswered.push_back(answered);
      before = cpu(desk_.poster());
      figures.posterPaced.push_back(posterPacedTyping());
      noteCpu(figures.pacedCpu, before, desk_.poster());
      figures.serviceWide.push_back(serviceWideTyping());
    }
  }
}

std::string verdict(double ratio, double goal) {
  return ratio <= goal ? "yes" : "**no**";
}

void printRows(std::ostream& out, const Figures& f) {
  if (!f.skipped.empty()) {
    out << "| " << f.host << ": skipped, " << f.skipped << " | " << f.host << " |  |  |  |  |  |\n";
    return;
  }
  const double typed = median(f.serviceTyping);
  const double typedBase = median(f.posterTyping);
  out << "| Typing 54 characters into the GTK entry (ms), median of " << f.serviceTyping.size()
      << " | " << f.host << " | " << format(typed, 2) << " | " << format(typedBase, 2) << " | "
      << format(typed / typedBase, 2) << " | ≤ 1.2× baseline | " << verdict(typed / typedBase, 1.2)
      << " |\n";
  out << "| Typing as above: the median of the runs' own ratios (each against the poster's run "
         "before it) | "
      << f.host << " |  |  | " << format(median(f.typingRatios), 2) << " |  |  |\n";
  out << "| Typing as above: the client's last answer (ms), median | " << f.host << " | "
      << format(median(f.serviceAnswered), 2) << " | " << format(typedBase, 2) << " | "
      << format(median(f.serviceAnswered) / typedBase, 2) << " |  |  |\n";
  const double paced = median(f.posterPaced);
  out << "| Typing as above, the bare poster fed a keyboard state at a time, at most 32 unanswered "
         "(ms), median | "
      << f.host << " | " << format(typed, 2) << " | " << format(paced, 2) << " (paced) | "
      << format(typed / paced, 2) << " |  |  |\n";
  out << "| Typing as above, the service fed with at most 32 commands unanswered (ms), median | "
      << f.host << " | " << format(median(f.serviceWide), 2) << " | " << format(typedBase, 2)
      << " | " << format(median(f.serviceWide) / typedBase, 2) << " |  |  |\n";
  for (std::size_t i = 0; i < kCpuParts.size(); ++i) {
    const double service = median(f.serviceCpu[i]);
    const double poster = median(f.posterCpu[i]);
    out << "| Typing as above: CPU time (ms, median, with clearing the entry), " << kCpuParts[i]
        << " | " << f.host << " | " << format(service, 2) << " | " << format(poster, 2) << "; "
        << format(median(f.pacedCpu[i]), 2) << " paced | "
        << format(poster > 0 ? service / poster : 0, 2) << " |  |  |\n";
  }
  auto s = latencyStats(f.serviceKeys);
  auto b = latencyStats(f.posterKeys);
  const std::string what =
      "Key event round trip (µs), command → key event at the GTK application, " +
      std::to_string(f.serviceKeys.size()) + " events";
  const double ratio = median(f.keyRatios);
  out << "| " << what << ": p50 (ratio: median of rounds) | " << f.host << " | " << format(s.p50, 1)
      << " | " << format(b.p50, 1) << " | " << format(ratio, 2) << " | ≤ 1.3× baseline | "
      << verdict(ratio, 1.3) << " |\n";
  out << "| " << what << ": p99 | " << f.host << " | " << format(s.p99, 1) << " | "
      << format(b.p99, 1) << " | " << format(s.p99 / b.p99, 2) << " | ≤ 1.3× baseline | "
      << verdict(s.p99 / b.p99, 1.3) << " |\n";
  auto pipe = latencyStats(f.pipeMicros);
  out << "| The bare poster's command pipe alone (µs), write → echo, " << f.pipeMicros.size()
      << " round trips: p50 | " << f.host << " |  | " << format(pipe.p50, 1) << " |  |  |  |\n";
}

Figures measure(const std::string& host, const Settings& settings) {
  Figures figures;
  figures.host = host;
  figures.skipped = missingForDesk(host);
  if (!figures.skipped.empty()) return figures;
  progress("starting the " + host + " desk");
  auto desk = openDesk(host);
  HostBench bench(*desk, settings);
  bench.run(figures);
  return figures;
}

std::vector<std::string> split(const std::string& list) {
  std::vector<std::string> items;
  std::stringstream in(list);
  for (std::string item; std::getline(in, item, ',');) items.push_back(item);
  return items;
}

}  // namespace
}  // namespace virelo::bench

int main(int argc, char** argv) {
  virelo::bench::Settings settings;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--quick") == 0) {
      settings.keyEvents = 200;
      settings.typingRuns = 5;
      settings.rounds = 1;
    } else if (std::strcmp(argv[i], "--hosts") == 0 && i + 1 < argc) {
      settings.hosts = virelo::bench::split(argv[++i]);
    } else {
      std::cerr << "usage: wayland_bench [--quick] [--hosts kde,wlroots,gnome]\n";
      return 2;
    }
  }
  try {
    virelo::test::ServiceUser::adopt();
    std::vector<virelo::bench::Figures> all;
    for (const auto& host : settings.hosts) all.push_back(virelo::bench::measure(host, settings));
    std::cout << "| Figure | Host | Value | Baseline (bare client) | × baseline | Goal | Met |\n"
              << "|---|---|---|---|---|---|---|\n";
    for (const auto& figures : all) virelo::bench::printRows(std::cout, figures);
  } catch (const std::exception& e) {
    std::cerr << "wayland_bench: " << e.what() << "\n";
    return 1;
  }
  return 0;
}
