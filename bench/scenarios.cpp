#include "bench/scenarios.h"

#include <poll.h>
#include <signal.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <memory>
#include <stdexcept>
#include <thread>
#include <vector>

#include "bench/bench_client.h"
#include "bench/process_meter.h"
#include "core/monotonic_clock.h"
#include "tests/support/host_trace.h"
#include "tests/support/service_process.h"

namespace virelo::bench {
namespace {

using test::ServiceOptions;
using test::ServiceProcess;
using namespace std::chrono_literals;

constexpr std::string_view kAck = R"({"ok":true,"ready":true})";

std::string pressLine(int key) {
  return R"({"cmd":"keyboard","modifiers":0,"keys":[)" + std::to_string(key) + "]}\n";
}
std::string releaseLine() {
  return R"({"cmd":"keyboard","modifiers":0,"keys":[]})"
         "\n";
}

// A started server that answered its first line with "ready"; nullptr otherwise.
std::unique_ptr<ServiceProcess> start(const ServerTarget& target, bool trace) {
  ServiceOptions options;
  options.backend = target.backend;
  options.program = target.program;
  options.trace = trace;
  options.control = false;
  auto process = std::make_unique<ServiceProcess>(options);
  auto line = process->readLine(10s);
  if (!line || line->find(R"("type":"ready")") == std::string::npos) return nullptr;
  return process;
}

void stop(ServiceProcess& process) {
  process.closeStdin();
  if (!process.waitExit(5s)) throw std::runtime_error("the server did not stop");
}

// Connects and authenticates; the baseline echoes the hello.
std::unique_ptr<BenchClient> connect(const ServerTarget& target, ServiceProcess& process) {
  auto client = std::make_unique<BenchClient>(process.socketPath());
  std::string hello = R"({"cmd":"hello","token":")" + process.token() + "\"}\n";
  auto reply = client->roundTrip(hello);
  if (!target.isBaseline() && reply.find(R"("ready":true)") == std::string_view::npos) {
    throw std::runtime_error("hello refused: " + std::string(reply));
  }
  return client;
}

// Keeps `inFlight` alternating press and release commands outstanding until `stop`, then waits
// for the outstanding replies. `replies` counts every reply.
void pipelinedOrThrow(BenchClient& client, int key, int inFlight, const std::atomic<bool>& stop,
                      std::atomic<std::uint64_t>& replies) {
  const std::string press = pressLine(key);
  const std::string release = releaseLine();
  bool pressNext = true;
  std::string batch;
  auto append = [&](std::size_t n) {
    batch.clear();
    for (std::size_t i = 0; i < n; ++i) {
      batch += pressNext ? press : release;
      pressNext = !pressNext;
    }
  };
  append(static_cast<std::size_t>(inFlight));
  client.send(batch);
  std::size_t outstanding = static_cast<std::size_t>(inFlight);
  while (outstanding > 0) {
    std::size_t n = client.readLines();
    outstanding -= n;
    replies.fetch_add(n, std::memory_order_relaxed);
    if (stop.load(std::memory_order_relaxed)) continue;
    append(n);
    client.send(batch);
    outstanding += n;
  }
}

// The same on a client thread: a failure (the server dropped the client) is kept for the main
// thread, which reports it after joining.
std::atomic<bool> clientFailed{false};

void pipelined(BenchClient& client, int key, int inFlight, const std::atomic<bool>& stop,
               std::atomic<std::uint64_t>& replies) {
  try {
    pipelinedOrThrow(client, key, inFlight, stop, replies);
  } catch (const std::exception&) {
    clientFailed = true;
  }
}

void checkClients() {
  if (clientFailed.exchange(false)) throw std::runtime_error("the server dropped a client");
}

std::uint64_t sum(const std::vector<std::atomic<std::uint64_t>>& counters) {
  std::uint64_t total = 0;
  for (const auto& c : counters) total += c.load(std::memory_order_relaxed);
  return total;
}

// The t_ns of every motion report in the trace within [from, to]: the mouse's input reports
// ("corehid"), the posted mouse-moved events ("cgevent", event type 5), or the baseline's ticks.
std::vector<std::uint64_t> tickTimes(const std::string& tracePath, std::uint64_t from,
                                     std::uint64_t to) {
  std::vector<std::uint64_t> times;
  std::ifstream in(tracePath);
  for (std::string line; std::getline(in, line);) {
    auto has = [&line](std::string_view text) { return line.find(text) != std::string::npos; };
    bool tick = has(R"("event":"tick")") ||
                (has(R"("event":"hid_input")") && has(R"("device":"mouse")")) ||
                (has(R"("event":"post")") && (has(R"("type":5})") || has(R"("type":5,)")));
    if (!tick) continue;
    auto at = line.find(R"("t_ns":)");
    if (at == std::string::npos) continue;
    std::uint64_t t = std::stoull(line.substr(at + 7));
    if (t >= from && t <= to) times.push_back(t);
  }
  return times;
}

}  // namespace

std::optional<RoundTripResult> measureRoundTrip(const ServerTarget& target, bool trace,
                                                int commands) {
  auto process = start(target, trace);
  if (!process) return std::nullopt;
  RoundTripResult result;
  {
    auto client = connect(target, *process);
    const std::string press = pressLine(4);
    const std::string release = releaseLine();
    std::vector<double> micros;
    micros.reserve(static_cast<std::size_t>(commands));
    const int warmup = commands / 20;
    for (int i = -warmup; i < commands; ++i) {
      const std::string& line = (i & 1) ? release : press;
      std::uint64_t t0 = monotonicNS();
      std::string_view reply = client->roundTrip(line);
      std::uint64_t t1 = monotonicNS();
      bool expected = target.isBaseline()
                          ? reply == std::string_view(line).substr(0, line.size() - 1)
                          : reply == kAck;
      if (!expected) throw std::runtime_error("unexpected reply: " + std::string(reply));
      if (i >= 0) micros.push_back(static_cast<double>(t1 - t0) / 1e3);
    }
    result.micros = latencyStats(std::move(micros));
  }
  result.peakResidentKiB = ProcessMeter(process->pid()).peakResidentKiB();
  stop(*process);
  return result;
}

std::optional<double> measureThroughput(const ServerTarget& target, int clients, int inFlight,
                                        double seconds) {
  auto process = start(target, false);
  if (!process) return std::nullopt;
  std::vector<std::unique_ptr<BenchClient>> connections;
  for (int i = 0; i < clients; ++i) connections.push_back(connect(target, *process));
  std::atomic<bool> stopping{false};
  std::vector<std::atomic<std::uint64_t>> replies(static_cast<std::size_t>(clients));
  std::vector<std::thread> threads;
  for (int i = 0; i < clients; ++i) {
    threads.emplace_back([&, i] {
      pipelined(*connections[static_cast<std::size_t>(i)], 4 + i, inFlight, stopping,
                replies[static_cast<std::size_t>(i)]);
    });
  }
  std::this_thread::sleep_for(300ms);
  std::uint64_t n0 = sum(replies);
  std::uint64_t t0 = monotonicNS();
  std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
  std::uint64_t n1 = sum(replies);
  std::uint64_t t1 = monotonicNS();
  stopping = true;
  for (auto& t : threads) t.join();
  checkClients();
  connections.clear();
  stop(*process);
  return static_cast<double>(n1 - n0) / (static_cast<double>(t1 - t0) / 1e9);
}

std::optional<LatencyStats> measureTickCadence(const ServerTarget& target, int inFlight,
                                               double seconds) {
  auto process = start(target, true);
  if (!process) return std::nullopt;
  auto mover = connect(target, *process);
  std::vector<std::unique_ptr<BenchClient>> loaders;
  for (int i = 0; i < 3; ++i) loaders.push_back(connect(target, *process));
  std::atomic<bool> stopping{false};
  std::vector<std::atomic<std::uint64_t>> replies(3);
  std::vector<std::thread> threads;
  // Continuous motion: a sample every 4 ms, well inside the 40 ms lapse. 3 counts per 10 ms move
  // the pointer by at least one count every tick (so that the event backend posts a move every
  // tick too); the direction alternates so that the pointer stays on the display.
  threads.emplace_back([&] {
    try {
      for (int dx = 3; !stopping.load(std::memory_order_relaxed); dx = -dx) {
        std::string line = R"({"cmd":"motion","dx":)" + std::to_string(dx) + R"(,"dy":0,"t_ns":)" +
                           std::to_string(monotonicNS()) + "}\n";
        mover->roundTrip(line);
        std::this_thread::sleep_for(4ms);
      }
    } catch (const std::exception&) {
      clientFailed = true;
    }
  });
  for (int i = 0; i < 3; ++i) {
    threads.emplace_back([&, i] {
      pipelined(*loaders[static_cast<std::size_t>(i)], 5 + i, inFlight, stopping,
                replies[static_cast<std::size_t>(i)]);
    });
  }
  std::this_thread::sleep_for(300ms);
  std::uint64_t from = monotonicNS();
  std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
  std::uint64_t to = monotonicNS();
  stopping = true;
  for (auto& t : threads) t.join();
  checkClients();
  loaders.clear();
  mover.reset();
  stop(*process);
  auto times = tickTimes(process->tracePath(), from, to);
  std::vector<double> intervals;
  for (std::size_t i = 1; i < times.size(); ++i) {
    intervals.push_back(static_cast<double>(times[i] - times[i - 1]) / 1e6);
  }
  return latencyStats(std::move(intervals));
}

std::optional<IdleResult> measureIdle(const ServerTarget& target, int clients, double seconds) {
  auto process = start(target, false);
  if (!process) return std::nullopt;
  std::vector<std::unique_ptr<BenchClient>> connections;
  for (int i = 0; i < clients; ++i) connections.push_back(connect(target, *process));
  ProcessMeter meter(process->pid());
  std::this_thread::sleep_for(1s);
  double cpu0 = meter.cpuSeconds();
  double sched0 = meter.scheduledSeconds();
  auto t0 = std::chrono::steady_clock::now();
  std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
  double cpu1 = meter.cpuSeconds();
  double sched1 = meter.scheduledSeconds();
  double elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
  IdleResult result;
  result.cpuPercent = 100.0 * (cpu1 - cpu0) / elapsed;
  result.scheduledPercent = 100.0 * (sched1 - sched0) / elapsed;
  result.peakResidentKiB = meter.peakResidentKiB();
  connections.clear();
  stop(*process);
  return result;
}

std::optional<double> measureStartup(const ServerTarget& target, int runs) {
  std::vector<double> millis;
  for (int i = 0; i < runs; ++i) {
    ServiceOptions options;
    options.backend = target.backend;
    options.program = target.program;
    options.trace = false;
    options.control = false;
    ServiceProcess process(options);
    auto line = process.readLine(10s);
    auto at = std::chrono::steady_clock::now();
    if (!line || line->find(R"("type":"ready")") == std::string::npos) return std::nullopt;
    millis.push_back(std::chrono::duration<double, std::milli>(at - process.startedAt()).count());
    stop(process);
  }
  return median(std::move(millis));
}

namespace {

// Ms from `stop` (which asks the process to end) to the end of the process, seen through a
// process descriptor (no polling interval); nullopt when it did not end within 5 s.
template <typename Stop>
std::optional<double> timeStop(ServiceProcess& process, const Stop& stop) {
  const int pidFd = static_cast<int>(::syscall(SYS_pidfd_open, process.pid(), 0));
  if (pidFd < 0) throw std::runtime_error("pidfd_open failed");
  const auto t0 = std::chrono::steady_clock::now();
  stop();
  pollfd ended{pidFd, POLLIN, 0};
  const int n = ::poll(&ended, 1, 5000);
  const auto t1 = std::chrono::steady_clock::now();
  ::close(pidFd);
  if (n != 1) return std::nullopt;
  return std::chrono::duration<double, std::milli>(t1 - t0).count();
}

// Whether the stop was done in order: status 0, the socket file gone, and ("corehid") every
// device removed after the last report.
bool stoppedInOrder(const ServerTarget& target, ServiceProcess& process) {
  if (process.waitExit(5s) != 0 || std::filesystem::exists(process.socketPath())) return false;
  if (target.backend != "corehid") return true;
  int removed = 0;
  for (const auto& event : test::HostTrace(process.tracePath()).events()) {
    if (event.value("event", "") == "hid_input") removed = 0;
    if (event.value("event", "") == "hid_destroy") ++removed;
  }
  return removed == 3;
}

}  // namespace

std::optional<StopResult> measureStops(const ServerTarget& target, int runs) {
  std::vector<double> signal, endOfFile;
  StopResult result;
  for (int i = 0; i < 2 * runs; ++i) {
    auto process = start(target, true);
    if (!process) return std::nullopt;
    auto client = connect(target, *process);
    if (client->roundTrip(pressLine(4)) != kAck) throw std::runtime_error("key not held");
    if (target.backend == "corehid") {
      // Past the watchdog's first firing (100 ms after its start), at phases spread over its
      // 50 ms period, so that the stops meet the watchdog as those of a service that has run a
      // while do.
      std::this_thread::sleep_for(100ms + std::chrono::milliseconds(i * 7 % 50));
    }
    const bool bySignal = i % 2 == 0;
    auto millis = bySignal ? timeStop(*process, [&] { process->signal(SIGTERM); })
                           : timeStop(*process, [&] { process->closeStdin(); });
    if (!millis) throw std::runtime_error("the service did not stop");
    (bySignal ? signal : endOfFile).push_back(*millis);
    if (!stoppedInOrder(target, *process)) ++result.cut;
  }
  result.stops = runs;
  result.signalMillis = median(std::move(signal));
  result.endOfFileMillis = median(std::move(endOfFile));
  return result;
}

}  // namespace virelo::bench
