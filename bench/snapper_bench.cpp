// Cost of the cursor snapper's per-movement `step` and per-stop `settle` over 33 targets, the
// largest list a wide search publishes, next to a trivial baseline loop over the same targets.
// Every benchmark reports "allocs/iter", the calls of global operator new per iteration; it must
// be 0 for step and settle.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdint>
#include <vector>

#include "bench/allocation_count.h"
#include "platform/geometry.h"
#include "snapping/cursor_snapper.h"

namespace virelo {
namespace {

constexpr std::size_t kTargetCount = 33;
constexpr std::uint64_t kStart = 1'000'000'000;
constexpr std::uint64_t kTick = 8'000'000;  // 8 ms between movements: a slow pointer

// 33 buttons of 30 x 20 points in 3 rows of 11, 80 points apart, so that the 24-point bands of
// neighbours do not overlap.
std::vector<Rect> makeTargets() {
  std::vector<Rect> targets;
  for (std::size_t i = 0; i < kTargetCount; ++i) {
    const double col = static_cast<double>(i % 11);
    const double row = static_cast<double>(i / 11);
    targets.push_back(makeRect(40 + 80 * col, 40 + 80 * row, 30, 20));
  }
  return targets;
}

// Reports the allocations made since `before`, averaged over the iterations.
void reportAllocations(benchmark::State& state, std::uint64_t before) {
  const auto allocs = static_cast<double>(bench::allocationCount() - before);
  state.counters["allocs/iter"] = benchmark::Counter(allocs, benchmark::Counter::kAvgIterations);
}

// Distance from a point to the centre of every target: a floor for any pass over the list.
void BM_BaselineHypot33(benchmark::State& state) {
  const std::vector<Rect> targets = makeTargets();
  Point p{300, 150};
  const std::uint64_t before = bench::allocationCount();
  for (auto _ : state) {
    benchmark::DoNotOptimize(p);
    double sum = 0;
    for (const Rect& r : targets) sum += std::hypot(p.x - r.center().x, p.y - r.center().y);
    benchmark::DoNotOptimize(sum);
  }
  reportAllocations(state, before);
}
BENCHMARK(BM_BaselineHypot33);

// Every step snaps: the pointer alternately enters the bands of the last two targets from below,
// so the trigger pass walks 32 targets and the selection pass all 33.
void BM_StepSnap(benchmark::State& state) {
  const std::vector<Rect> targets = makeTargets();
  const Rect& a = targets[kTargetCount - 2];
  const Rect& b = targets[kTargetCount - 1];
  const Point starts[2] = {{a.center().x, a.maxY() + 25}, {b.center().x, b.maxY() + 25}};
  CursorSnapper snapper;
  std::uint64_t now = kStart;
  std::size_t i = 0;
  const std::uint64_t before = bench::allocationCount();
  for (auto _ : state) {
    now += kTick;
    Point to = snapper.step(starts[i++ & 1], {0, -2}, false, targets, now);
    benchmark::DoNotOptimize(to);
  }
  reportAllocations(state, before);
  if (!snapper.captured()) state.SkipWithError("the steps did not snap");
}
BENCHMARK(BM_StepSnap);

// A slow step that triggers nothing: one full pass over the targets.
void BM_StepMiss(benchmark::State& state) {
  const std::vector<Rect> targets = makeTargets();
  CursorSnapper snapper;
  std::uint64_t now = kStart;
  const std::uint64_t before = bench::allocationCount();
  for (auto _ : state) {
    now += kTick;
    Point to = snapper.step({1000, 1000}, {2, 0}, false, targets, now);
    benchmark::DoNotOptimize(to);
  }
  reportAllocations(state, before);
  if (snapper.captured()) state.SkipWithError("a step snapped");
}
BENCHMARK(BM_StepMiss);

// Every call pulls: the resting cursor alternates beside the last two targets, so both passes
// walk all 33 targets.
void BM_SettlePull(benchmark::State& state) {
  const std::vector<Rect> targets = makeTargets();
  const Rect& a = targets[kTargetCount - 2];
  const Rect& b = targets[kTargetCount - 1];
  const Point rests[2] = {{a.minX() - 10, a.center().y}, {b.minX() - 10, b.center().y}};
  CursorSnapper snapper;
  std::size_t i = 0;
  std::size_t pulls = 0;
  const std::uint64_t before = bench::allocationCount();
  for (auto _ : state) {
    auto to = snapper.settle(rests[i++ & 1], targets);
    pulls += to.has_value();
    benchmark::DoNotOptimize(to);
  }
  reportAllocations(state, before);
  if (pulls != i) state.SkipWithError("a settle did not pull");
}
BENCHMARK(BM_SettlePull);

// A resting cursor near no target: both passes walk all 33 targets and nothing is pulled.
void BM_SettleMiss(benchmark::State& state) {
  const std::vector<Rect> targets = makeTargets();
  CursorSnapper snapper;
  const std::uint64_t before = bench::allocationCount();
  for (auto _ : state) {
    auto to = snapper.settle({1000, 1000}, targets);
    benchmark::DoNotOptimize(to);
  }
  reportAllocations(state, before);
  if (snapper.captured()) state.SkipWithError("a settle pulled");
}
BENCHMARK(BM_SettleMiss);

}  // namespace
}  // namespace virelo

BENCHMARK_MAIN();
