// Calls across the exported C functions, from the caller's side: encode, dispatch, decode.

#include <benchmark/benchmark.h>

#include <chrono>
#include <thread>

#include "owl_client.hpp"

using namespace std::chrono_literals;

namespace owl {
namespace {

void BM_SyncCoreVersion(benchmark::State& state) {
  client::Client& c = client::Client::instance();
  for (auto _ : state) benchmark::DoNotOptimize(c.core_version());
}
BENCHMARK(BM_SyncCoreVersion);

// Units with settings, as a running UI asks for them.
void BM_AsyncUnitsWithFiftySimulatedUnits(benchmark::State& state) {
  client::Client& c = client::Client::instance();
  c.start_wait(true);
  for (int i = 3; i <= 50; ++i) {
    char id[16];
    std::snprintf(id, sizeof id, "SIM%04d", i);
    c.sim_add_unit_wait(id, static_cast<std::uint32_t>(1000 + i), 215000, 217000, 10);
  }
  while (c.units_wait().size() < 50) std::this_thread::sleep_for(10ms);
  for (auto _ : state) {
    const std::vector<UnitInfo> units = c.units_wait();
    benchmark::DoNotOptimize(units.data());
  }
}
BENCHMARK(BM_AsyncUnitsWithFiftySimulatedUnits)->Unit(benchmark::kMicrosecond);

}  // namespace
}  // namespace owl
