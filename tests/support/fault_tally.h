// Counts the faults a suite injected, per kind, for the figures printed at the end of a run.
//
// Threads: add() and snapshot() may be called from any thread (an internal mutex).
#pragma once

#include <cstdint>
#include <map>
#include <string>

namespace virelo::test {

class FaultTally {
 public:
  static FaultTally& instance();
  void add(const std::string& kind, std::uint64_t count = 1);
  std::map<std::string, std::uint64_t> snapshot() const;
  // "kind: count" lines in name order, and the total.
  std::string report() const;
};

}  // namespace virelo::test
