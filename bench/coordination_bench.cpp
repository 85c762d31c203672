// Frequency coordination: analysis of a dense rig, and the planner's largest compatible sets
// and coordinations next to a plain randomised greedy search over the same grid. The `count`
// and `placed` counters are what each search achieved.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdint>
#include <random>
#include <vector>

#include "analysis.hpp"
#include "planner.hpp"

namespace {

using owl::coord::Scenario;

// 64 carriers at random 25 kHz points of 470-608 MHz, as 32 units with two channels each.
Scenario dense_rig() {
  Scenario sc;
  sc.profile.im5_2tone_khz = 50;  // all three product kinds on
  std::mt19937 rng(7);
  std::uniform_int_distribution<std::uint32_t> point(0, 5520);
  for (int u = 0; u < 32; ++u) {
    owl::coord::UnitPlan unit{"SIM" + std::to_string(1000 + u), 470000, 608000, {}, false};
    for (int c = 0; c < 2; ++c) unit.channels.push_back({470000 + point(rng) * 25, true});
    sc.units.push_back(unit);
  }
  return sc;
}

void BM_Analyse64(benchmark::State& state) {
  const Scenario sc = dense_rig();
  std::size_t conflicts = 0;
  for (auto _ : state) {
    const auto a = owl::coord::analyse(sc);
    conflicts = a.conflicts.size();
    benchmark::DoNotOptimize(a.conflicts.data());
  }
  state.counters["carriers"] = static_cast<double>(owl::coord::analyse(sc).carriers.size());
  state.counters["conflicts"] = static_cast<double>(conflicts);
}
BENCHMARK(BM_Analyse64)->Unit(benchmark::kMillisecond);

// Plain greedy: visit the grid in a random order and take every point that still fits.
std::vector<std::uint32_t> greedy(const owl::coord::Profile& profile, std::uint32_t from,
                                  std::uint32_t to, std::uint32_t step,
                                  std::vector<std::uint32_t> fixed, std::size_t limit,
                                  std::uint64_t seed) {
  std::vector<std::uint32_t> grid;
  for (std::uint32_t f = from; f <= to; f += step) grid.push_back(f);
  std::mt19937_64 rng(seed);
  std::shuffle(grid.begin(), grid.end(), rng);
  std::vector<std::uint32_t> chosen;
  for (const std::uint32_t f : grid) {
    if (chosen.size() >= limit) break;
    if (owl::coord::compatible(profile, fixed, f)) {
      fixed.push_back(f);
      chosen.push_back(f);
    }
  }
  return chosen;
}

void max_set(benchmark::State& state, std::uint32_t to) {
  std::size_t count = 0;
  for (auto _ : state) {
    count = owl::coord::max_compatible_set(Scenario{}, 470000, to).frequencies_khz.size();
  }
  state.counters["count"] = static_cast<double>(count);
}
// Each iteration is one greedy run with its own seed: `count` is their mean, `best` the largest.
void report_greedy(benchmark::State& state, const char* name, std::size_t total, std::size_t best) {
  state.counters[name] = static_cast<double>(total) / static_cast<double>(state.iterations());
  state.counters["best"] = static_cast<double>(best);
}
void greedy_set(benchmark::State& state, std::uint32_t to) {
  std::size_t total = 0;
  std::size_t best = 0;
  std::uint64_t seed = 0;
  for (auto _ : state) {
    const std::size_t n = greedy({}, 470000, to, 25, {}, SIZE_MAX, ++seed).size();
    total += n;
    best = std::max(best, n);
  }
  report_greedy(state, "count", total, best);
}

void BM_MaxSet24MHz(benchmark::State& s) {
  max_set(s, 494000);
}
void BM_GreedySet24MHz(benchmark::State& s) {
  greedy_set(s, 494000);
}
void BM_MaxSet6MHz(benchmark::State& s) {
  max_set(s, 476000);
}
void BM_GreedySet6MHz(benchmark::State& s) {
  greedy_set(s, 476000);
}
BENCHMARK(BM_MaxSet24MHz)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_GreedySet24MHz)->Unit(benchmark::kMillisecond)->Iterations(10);
BENCHMARK(BM_MaxSet6MHz)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_GreedySet6MHz)->Unit(benchmark::kMillisecond)->Iterations(10);

// Single-channel units in 470-494 MHz, all starting on 470.000, four of them locked on
// mutually compatible frequencies.
Scenario rig(int units) {
  Scenario sc;
  const std::uint32_t locked[] = {471000, 476500, 483250, 490900};
  for (int u = 0; u < units; ++u) {
    owl::coord::UnitPlan unit{"SIM" + std::to_string(1000 + u), 470000, 494000, {}, u < 4};
    unit.channels.push_back({u < 4 ? locked[u] : 470000, true});
    sc.units.push_back(unit);
  }
  return sc;
}

void BM_Coordinate(benchmark::State& state) {
  const Scenario sc = rig(static_cast<int>(state.range(0)));
  std::size_t placed = 0;
  for (auto _ : state) placed = owl::coord::coordinate(sc).assignments.size();
  state.counters["placed"] = static_cast<double>(placed);
  state.counters["of"] = static_cast<double>(state.range(0) - 4);
}
void BM_GreedyCoordinate(benchmark::State& state) {
  const auto movable = static_cast<std::size_t>(state.range(0) - 4);
  std::size_t total = 0;
  std::size_t best = 0;
  std::uint64_t seed = 0;
  for (auto _ : state) {
    const std::size_t n =
        greedy({}, 470000, 494000, 25, {471000, 476500, 483250, 490900}, movable, ++seed).size();
    total += n;
    best = std::max(best, n);
  }
  report_greedy(state, "placed", total, best);
  state.counters["of"] = static_cast<double>(movable);
}
BENCHMARK(BM_Coordinate)->Arg(32)->Arg(20)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_GreedyCoordinate)->Arg(32)->Arg(20)->Unit(benchmark::kMillisecond)->Iterations(10);

}  // namespace
