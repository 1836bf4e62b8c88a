#include "tests/support/fault_tally.h"

#include <mutex>

namespace virelo::test {
namespace {

std::mutex gMutex;
std::map<std::string, std::uint64_t> gCounts;

}  // namespace

FaultTally& FaultTally::instance() {
  static FaultTally tally;
  return tally;
}

void FaultTally::add(const std::string& kind, std::uint64_t count) {
  std::lock_guard<std::mutex> guard(gMutex);
  gCounts[kind] += count;
}

std::map<std::string, std::uint64_t> FaultTally::snapshot() const {
  std::lock_guard<std::mutex> guard(gMutex);
  return gCounts;
}

std::string FaultTally::report() const {
  std::string text;
  std::uint64_t total = 0;
  for (const auto& [kind, count] : snapshot()) {
    text += "  " + kind + ": " + std::to_string(count) + "\n";
    total += count;
  }
  text += "  total: " + std::to_string(total) + "\n";
  return text;
}

}  // namespace virelo::test
