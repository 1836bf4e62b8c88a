// The soak run: the real service with four clients sending random valid and invalid commands
// and disconnecting in random ways for a bounded time. At every checkpoint the clients let go,
// and the run checks that the service still serves, holds nothing, has no more descriptors open
// than at start and has not grown in memory. Prints the figures at the end; exits 1 on a failure.
// Usage: soak_tests [seconds] [backend]   (default 180 corehid)
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "tests/soak/soak_client.h"
#include "tests/support/fault_tally.h"
#include "tests/support/held_input.h"
#include "tests/support/process_memory.h"
#include "tests/support/service_process.h"
#include "tests/support/service_user.h"

namespace virelo::test {
namespace {

using SteadyClock = std::chrono::steady_clock;

constexpr int kClients = 4;
constexpr auto kCheckpointEvery = std::chrono::seconds(15);

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr long kRssToleranceKiB = 64 * 1024;
#else
constexpr long kRssToleranceKiB = 2048;
#endif

struct Checker {
  ServiceProcess& service;
  std::string backend;
  int baselineDescriptors;
  std::vector<std::string> failures;

  void check(bool ok, const std::string& what) {
    if (!ok) failures.push_back(what);
  }

  // With every client gone: serving, nothing held, no descriptor left open.
  void checkpoint(const std::string& when) {
    check(service.running(), when + ": the service has ended");
    if (!service.running()) return;
    HeldInput held(backend, service.tracePath());
    check(held.waitReleased(), when + ": input is still held with no client connected");
    int open = 0;
    for (int i = 0; i < 500; ++i) {
      open = service.openDescriptors();
      if (open == baselineDescriptors) break;
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    check(open == baselineDescriptors, when + ": " + std::to_string(open) + " descriptors open, " +
                                           std::to_string(baselineDescriptors) + " at start");
    try {
      TestClient client(service.socketPath());
      auto hello = client.hello(service.token());
      check(hello.value("ready", false), when + ": hello not answered as ready");
      check(client.command({{"cmd", "status"}}) == nlohmann::json{{"ok", true}, {"ready", true}},
            when + ": status not acknowledged");
    } catch (const std::exception& e) {
      check(false, when + ": " + e.what());
    }
  }
};

using Clients = std::vector<std::unique_ptr<SoakClient>>;

// What the run measured, for the figures at the end.
struct Figures {
  std::chrono::seconds elapsed{0};
  int checkpoints = 0;
  long startRss = 0;
  long warmRss = -1;  // after the first checkpoint
  long endRss = 0;
};

// Lets the clients run until the deadline, pausing them at every checkpoint.
void runCheckpoints(ServiceProcess& service, Checker& checker, Clients& clients,
                    const SoakCounters& counters, SteadyClock::time_point began,
                    SteadyClock::time_point deadline, Figures& figures) {
  while (SteadyClock::now() < deadline && service.running()) {
    auto next = std::min(deadline, SteadyClock::now() + kCheckpointEvery);
    // Standard output is read all along, as a parent does: with "cgevent" every change of the
    // Fn state is an event line, and a pipe nobody reads would stall the service.
    while (SteadyClock::now() < next) service.readLine(std::chrono::milliseconds(50));
    for (auto& c : clients) c->pause();
    int checkpoint = ++figures.checkpoints;
    checker.checkpoint("checkpoint " + std::to_string(checkpoint));
    if (figures.warmRss < 0) figures.warmRss = residentKiB(service.pid());
    std::printf(
        "  checkpoint %d at %lld s: %llu commands, %llu drops, %d descriptors, VmRSS %ld KiB\n",
        checkpoint,
        static_cast<long long>(
            std::chrono::duration_cast<std::chrono::seconds>(SteadyClock::now() - began).count()),
        static_cast<unsigned long long>(counters.commands.load()),
        static_cast<unsigned long long>(counters.drops.load()), service.openDescriptors(),
        residentKiB(service.pid()));
    std::fflush(stdout);
    for (auto& c : clients) c->resume();
  }
}

void printFigures(const Figures& figures, const SoakCounters& counters, ServiceProcess& service,
                  int baselineDescriptors) {
  std::printf("soak figures:\n");
  std::printf("  duration: %lld s\n", static_cast<long long>(figures.elapsed.count()));
  std::printf("  clients: %d, connections: %llu\n", kClients,
              static_cast<unsigned long long>(counters.connects.load()));
  std::printf("  commands handled: %llu\n",
              static_cast<unsigned long long>(counters.commands.load()));
  std::printf("  drops by the service: %llu\n",
              static_cast<unsigned long long>(counters.drops.load()));
  std::printf("  checkpoints: %d\n", figures.checkpoints + 1);
  std::printf("  faults injected:\n%s", FaultTally::instance().report().c_str());
  std::printf("  descriptors at end: %d (at start %d)\n", service.openDescriptors(),
              baselineDescriptors);
  std::printf("  VmRSS: start %ld KiB, after warm-up %ld KiB, end %ld KiB\n", figures.startRss,
              figures.warmRss, figures.endRss);
}

int runSoak(int seconds, const std::string& backend) {
  ServiceOptions options;
  options.backend = backend;
  ServiceProcess service(options);
  service.awaitReady();
  Checker checker{service, backend, service.openDescriptors(), {}};
  Figures figures;
  figures.startRss = residentKiB(service.pid());

  std::uint32_t seed = std::random_device{}();
  std::printf("soak: %d s, backend %s, seed %u\n", seconds, backend.c_str(), seed);
  std::fflush(stdout);
  SoakCounters counters;
  Clients clients;
  for (int i = 0; i < kClients; ++i) {
    clients.push_back(std::make_unique<SoakClient>(service.socketPath(), service.token(), backend,
                                                   seed + static_cast<std::uint32_t>(i), counters));
  }
  auto began = SteadyClock::now();
  for (auto& c : clients) c->start();
  runCheckpoints(service, checker, clients, counters, began, began + std::chrono::seconds(seconds),
                 figures);
  for (auto& c : clients) c->stop();
  while (service.readLine(std::chrono::milliseconds(50))) {
  }
  figures.elapsed = std::chrono::duration_cast<std::chrono::seconds>(SteadyClock::now() - began);
  checker.checkpoint("end");
  figures.endRss = residentKiB(service.pid());
  checker.check(figures.warmRss < 0 || figures.endRss - figures.warmRss <= kRssToleranceKiB,
                "VmRSS grew from " + std::to_string(figures.warmRss) + " to " +
                    std::to_string(figures.endRss) + " KiB");
  for (auto& c : clients) {
    for (const auto& f : c->failures()) checker.failures.push_back(f);
  }
  checker.check(service.standardError().empty(), "the service wrote to standard error");

  printFigures(figures, counters, service, checker.baselineDescriptors);
  if (!checker.failures.empty()) {
    std::printf("soak FAILED:\n");
    for (const auto& f : checker.failures) std::printf("  %s\n", f.c_str());
    return 1;
  }
  std::printf("soak passed: nothing lost, nothing left held\n");
  return 0;
}

}  // namespace
}  // namespace virelo::test

int main(int argc, char** argv) {
  int seconds = argc > 1 ? std::atoi(argv[1]) : 180;
  std::string backend = argc > 2 ? argv[2] : "corehid";
  if (seconds <= 0) seconds = 180;
  virelo::test::ServiceUser::adopt();
  return virelo::test::runSoak(seconds, backend);
}
