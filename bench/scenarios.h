// The out-of-process measurements of the suite. Each starts a fresh server through the end-to-end
// harness (as the unprivileged service user, in a private directory, with its standard input
// pipe), drives it with BenchClient objects and stops it by closing standard input. The same
// functions measure the service and the baseline echo server.
//
// Threads: call from the main thread; the functions start and join their own client threads.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "bench/latency_stats.h"

namespace virelo::bench {

struct ServerTarget {
  std::string name;     // "baseline", "corehid", "cgevent"
  std::string program;  // empty: the service; otherwise the baseline binary
  std::string backend;  // the --backend argument
  bool isBaseline() const { return !program.empty(); }
};

struct RoundTripResult {
  LatencyStats micros;  // round trip per command, µs
  std::uint64_t peakResidentKiB = 0;
};

struct IdleResult {
  double cpuPercent = 0;        // utime + stime over the window, % of one core
  double scheduledPercent = 0;  // the same from schedstat (ns resolution)
  std::uint64_t peakResidentKiB = 0;
};

// Each returns nullopt when the server did not report itself ready (a backend that is not built).
std::optional<RoundTripResult> measureRoundTrip(const ServerTarget& target, bool trace,
                                                int commands);
// Commands per second with `clients` clients each keeping `inFlight` commands outstanding.
std::optional<double> measureThroughput(const ServerTarget& target, int clients, int inFlight,
                                        double seconds);
// Intervals in ms between motion reports (ticks of the baseline) in the host trace while one
// client holds continuous motion and three others keep `inFlight` keyboard commands outstanding.
std::optional<LatencyStats> measureTickCadence(const ServerTarget& target, int inFlight,
                                               double seconds);
std::optional<IdleResult> measureIdle(const ServerTarget& target, int clients, double seconds);
// Median ms from the fork of the process to its first line on standard output.
std::optional<double> measureStartup(const ServerTarget& target, int runs);

struct StopResult {
  double signalMillis = 0;     // median ms from SIGTERM to the end of the process
  double endOfFileMillis = 0;  // median ms from closing standard input to the end
  int stops = 0;               // of each kind
  int cut = 0;                 // stops (of either kind) that left the socket file or a device
};
// `runs` SIGTERM stops and `runs` end-of-file stops, alternately, each of a fresh service on the
// simulated host with one client holding a key: how long each kind takes, and how many stops
// ended before the orderly stop was done (the socket file still there, or with "corehid" a device
// the host never saw removed). The service only.
std::optional<StopResult> measureStops(const ServerTarget& target, int runs);

}  // namespace virelo::bench
