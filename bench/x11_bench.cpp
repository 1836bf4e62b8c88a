// The X11 figures of the benchmark suite, on a private virtual desktop (Xvfb and the GTK receiving
// application of the tests): the round trip from a keyboard command to the raw key event seen by
// an independent X client, and typing 54 characters into the GTK entry. Each figure stands beside
// a bare XTEST client doing the same in the same run (posting straight to the server, seen by the
// same listener or the same entry), in interleaved rounds, and is read as a ratio to it. The round
// trip also stands beside its floor for any service: the same bare poster behind the echo
// baseline's poll loop (virelo-xtest-relay), reached over a local socket as the service is. Prints
// one Markdown table on standard output; progress goes to standard error. Exits 0 with a note
// when Xvfb or GTK 3 for Python are missing.
//
//   x11_bench [--quick]
#include <chrono>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "bench/latency_stats.h"
#include "bench/report_text.h"
#include "bench/xtest_poster.h"
#include "tests/support/gtk_receiver.h"
#include "tests/support/raw_key_listener.h"
#include "tests/support/service_process.h"
#include "tests/support/service_user.h"
#include "tests/support/test_client.h"
#include "virelo/client/client.h"
#include "virelo/client/layouts.h"

namespace virelo::bench {
namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;
using test::GtkReceiver;
using test::RawKeyListener;

// F16: a key that no application here acts on. HID usage 0x6B; X key code 194 (evdev 186 + 8).
const std::string kF16Down = R"({"cmd":"keyboard","modifiers":0,"keys":[107]})";
const std::string kF16Up = R"({"cmd":"keyboard","modifiers":0,"keys":[]})";
constexpr int kF16Keycode = 194;
const std::string kText = "The quick brown fox jumps over the lazy dog 0123456789";

struct Settings {
  int keyEvents = 1000;  // per round and poster, presses and releases
  int typingRuns = 10;   // per round and poster
  int rounds = 3;
};

// Waits for the raw key event of that direction; returns when it was seen.
Clock::time_point awaitKey(RawKeyListener& listener, bool press) {
  while (auto key = listener.next(std::chrono::seconds(2))) {
    if (key->press == press) return key->seenAt;
  }
  throw std::runtime_error("the listener saw no key event");
}

class X11Bench {
 public:
  explicit X11Bench(Settings settings) : settings_(settings) {}
  bool start();
  void run();
  void print(std::ostream& out) const;

 private:
  std::vector<double> serviceKeys();
  std::vector<double> relayKeys();
  std::vector<double> baselineKeys();
  double serviceTyping();
  double baselineTyping();
  void awaitText(const std::string& text);
  void clearEntry();

  Settings settings_;
  std::unique_ptr<test::VirtualDesktop> desktop_;
  std::unique_ptr<test::ServiceProcess> service_;
  std::unique_ptr<RawKeyListener> listener_;
  std::unique_ptr<test::TestClient> raw_;
  std::unique_ptr<test::ServiceProcess> relay_;
  std::unique_ptr<test::TestClient> relayClient_;
  std::unique_ptr<client::Client> typist_;
  std::unique_ptr<XtestPoster> poster_;
  std::vector<double> serviceKeyMicros_, baselineKeyMicros_, keyRatios_;
  std::vector<double> relayKeyMicros_, relayRatios_;
  std::vector<double> serviceTypingMs_, baselineTypingMs_;
};

bool X11Bench::start() {
  desktop_ = std::make_unique<test::VirtualDesktop>(100, 100);
  if (!desktop_->server->available()) return false;
  const std::string display = desktop_->server->display();
  test::ServiceOptions options;
  options.backend = "cgevent";
  options.trace = false;
  options.control = false;
  options.environment = {{"VL_HOST", "linux"}, {"DISPLAY", display}};
  service_ = std::make_unique<test::ServiceProcess>(options);
  service_->awaitReady();
  listener_ = std::make_unique<RawKeyListener>(display);
  raw_ = std::make_unique<test::TestClient>(service_->socketPath());
  raw_->hello(service_->token());
  typist_ = std::make_unique<client::Client>(service_->socketPath());
  typist_->hello(service_->token());
  poster_ = std::make_unique<XtestPoster>(display);
  test::ServiceOptions relay = options;
  relay.program = VIRELO_XTEST_RELAY_PATH;
  relay_ = std::make_unique<test::ServiceProcess>(relay);
  relay_->awaitReady();
  relayClient_ = std::make_unique<test::TestClient>(relay_->socketPath());
  return true;
}

// Key commands through a local socket: to the service, or to the relay.
std::vector<double> commandKeys(test::TestClient& client, RawKeyListener& listener, int count) {
  std::vector<double> samples;
  for (int i = 0; i < count; ++i) {
    const bool press = i % 2 == 0;
    const auto sent = Clock::now();
    client.sendLine(press ? kF16Down : kF16Up);
    samples.push_back(micros(awaitKey(listener, press) - sent));
    if (!client.readLine()) throw std::runtime_error("no reply over the socket");
  }
  return samples;
}

std::vector<double> X11Bench::serviceKeys() {
  return commandKeys(*raw_, *listener_, settings_.keyEvents);
}

std::vector<double> X11Bench::relayKeys() {
  return commandKeys(*relayClient_, *listener_, settings_.keyEvents);
}

std::vector<double> X11Bench::baselineKeys() {
  std::vector<double> samples;
  for (int i = 0; i < settings_.keyEvents; ++i) {
    const bool press = i % 2 == 0;
    const auto sent = Clock::now();
    poster_->key(kF16Keycode, press);
    samples.push_back(micros(awaitKey(*listener_, press) - sent));
  }
  return samples;
}

void X11Bench::awaitText(const std::string& text) {
  auto& app = *desktop_->receiver;
  if (!app.next([&](const auto& e) { return e.value("event", "") == "text" && e["text"] == text; },
                5s)) {
    throw std::runtime_error("the entry never showed \"" + text + "\"");
  }
}

// Select all and delete, through the bare poster: control+a, BackSpace.
void X11Bench::clearEntry() {
  poster_->key(37, true);
  poster_->key(38, true);
  poster_->key(38, false);
  poster_->key(37, false);
  poster_->key(22, true);
  poster_->key(22, false);
  awaitText("");
  while (listener_->next(50ms)) {
  }
}

double X11Bench::serviceTyping() {
  const auto start = Clock::now();
  client::typeText(*typist_, kText);
  awaitText(kText);
  const double ms = micros(Clock::now() - start) / 1000;
  clearEntry();
  return ms;
}

double X11Bench::baselineTyping() {
  const auto start = Clock::now();
  poster_->type(kText);
  awaitText(kText);
  const double ms = micros(Clock::now() - start) / 1000;
  clearEntry();
  return ms;
}

void X11Bench::run() {
  for (int round = 1; round <= settings_.rounds; ++round) {
    const std::string of = " (round " + std::to_string(round) + ")";
    progress("key round trips, bare XTEST" + of);
    auto base = baselineKeys();
    progress("key round trips, service" + of);
    auto service = serviceKeys();
    progress("key round trips, bare XTEST behind a socket" + of);
    auto relay = relayKeys();
    keyRatios_.push_back(latencyStats(service).p50 / latencyStats(base).p50);
    relayRatios_.push_back(latencyStats(service).p50 / latencyStats(relay).p50);
    relayKeyMicros_.insert(relayKeyMicros_.end(), relay.begin(), relay.end());
    baselineKeyMicros_.insert(baselineKeyMicros_.end(), base.begin(), base.end());
    serviceKeyMicros_.insert(serviceKeyMicros_.end(), service.begin(), service.end());
    progress("typing 54 characters" + of);
    for (int run = 0; run < settings_.typingRuns; ++run) {
      baselineTypingMs_.push_back(baselineTyping());
      serviceTypingMs_.push_back(serviceTyping());
    }
  }
}

void X11Bench::print(std::ostream& out) const {
  auto s = latencyStats(serviceKeyMicros_);
  auto b = latencyStats(baselineKeyMicros_);
  const std::string what = "Key event round trip (µs), command → raw event at an X client, " +
                           std::to_string(serviceKeyMicros_.size()) + " events";
  out << "| Figure | Server | Value | Baseline (bare XTEST) | × baseline | Goal | Met |\n"
      << "|---|---|---|---|---|---|---|\n";
  const double ratio = median(keyRatios_);
  out << "| " << what << ": p50 (ratio: median of rounds) | x11 | " << format(s.p50, 1) << " | "
      << format(b.p50, 1) << " | " << format(ratio, 2) << " | ≤ 1.2× baseline | "
      << (ratio <= 1.2 ? "yes" : "**no**") << " |\n";
  out << "| " << what << ": p99 | x11 | " << format(s.p99, 1) << " | " << format(b.p99, 1) << " | "
      << format(s.p99 / b.p99, 2) << " |  |  |\n";
  auto r = latencyStats(relayKeyMicros_);
  out << "| " << what
      << ", against bare XTEST behind a local socket: p50 (ratio: median of rounds) | x11 | "
      << format(s.p50, 1) << " | " << format(r.p50, 1) << " (relay) | "
      << format(median(relayRatios_), 2) << " |  |  |\n";
  const double typed = median(serviceTypingMs_);
  const double typedBase = median(baselineTypingMs_);
  out << "| Typing 54 characters into the GTK entry (ms), median of " << serviceTypingMs_.size()
      << " | x11 | " << format(typed, 2) << " | " << format(typedBase, 2) << " | "
      << format(typed / typedBase, 2) << " | < 25 ms | " << (typed < 25 ? "yes" : "**no**")
      << " |\n";
}

}  // namespace
}  // namespace virelo::bench

int main(int argc, char** argv) {
  virelo::bench::Settings settings;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--quick") == 0) {
      settings = {200, 5, 1};
    } else {
      std::cerr << "usage: x11_bench [--quick]\n";
      return 2;
    }
  }
  try {
    virelo::test::ServiceUser::adopt();
    if (const auto& missing = virelo::test::VirtualDesktop::missing(); !missing.empty()) {
      std::cout << "X11 figures skipped: " << missing << "\n";
      return 0;
    }
    virelo::bench::X11Bench bench(settings);
    if (!bench.start()) {
      std::cout << "X11 figures skipped: Xvfb did not start\n";
      return 0;
    }
    bench.run();
    bench.print(std::cout);
  } catch (const std::exception& e) {
    std::cerr << "x11_bench: " << e.what() << "\n";
    return 1;
  }
  return 0;
}
