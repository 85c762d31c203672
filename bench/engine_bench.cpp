// Whole-engine figures on simulated units, in real time: idle CPU cost, write confirmation
// latency, and many units written at once. Each runs once; the counters carry the results.

#include <benchmark/benchmark.h>
#include <sys/resource.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <functional>
#include <set>
#include <thread>

#include "manager/engine.hpp"
#include "manager/write.hpp"
#include "sim/simulator.hpp"

using namespace std::chrono_literals;

namespace owl {
namespace {

double cpu_seconds() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  auto seconds = [](timeval t) { return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) / 1e6; };
  return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

constexpr int UNITS = 50;
constexpr auto IDLE = 10s;

// Starts a simulator engine with UNITS units and waits until each has reported its settings.
EngineStart engine_with_units() {
  EngineStart started = create_engine({.simulator = true});
  for (int i = 3; i <= UNITS; ++i) {
    char id[16];
    std::snprintf(id, sizeof id, "SIM%04d", i);
    add_simulated_unit(started.engine->manager, id, static_cast<std::uint32_t>(1000 + i), 215000,
                       217000, 10);
  }
  std::set<std::string> reported;
  while (reported.size() < UNITS) {
    auto e = started.ui_events.recv();
    if (auto* s = std::get_if<event::Settings>(&*e)) reported.insert(s->key);
  }
  return started;
}

// Keeps the UI event channel drained, as a subscribed user interface would.
std::thread drain(Receiver<UnitEvent>& receiver, std::atomic<bool>& stop,
                  const std::function<void(UnitEvent&)>& each = {}) {
  return std::thread([&receiver, &stop, each] {
    while (!stop.load()) {
      auto r = receiver.recv_until(std::chrono::steady_clock::now() + 50ms);
      if (r.status == RecvStatus::Value && each) each(*r.value);
    }
  });
}

void BM_IdleUnitsCpuAgainstFloor(benchmark::State& state) {
  for (auto _ : state) {
    // The floor: bare threads that only wait out the simulated port's read timeout.
    std::atomic<bool> stop{false};
    std::vector<std::thread> bare;
    const double floor_start = cpu_seconds();
    for (int i = 0; i < UNITS; ++i) {
      bare.emplace_back([&stop] {
        while (!stop.load()) std::this_thread::sleep_for(10ms);
      });
    }
    std::this_thread::sleep_for(IDLE);
    stop.store(true);
    for (auto& t : bare) t.join();
    const double floor_cpu = cpu_seconds() - floor_start;

    EngineStart started = engine_with_units();
    std::atomic<bool> stop_drain{false};
    std::thread drainer = drain(started.ui_events, stop_drain);
    const double engine_start = cpu_seconds();
    std::this_thread::sleep_for(IDLE);
    const double engine_cpu = cpu_seconds() - engine_start;
    stop_drain.store(true);
    drainer.join();
    for (int i = 1; i <= UNITS; ++i) {
      char id[16];
      std::snprintf(id, sizeof id, "SIM%04d", i);
      remove_simulated_unit(id);
    }
    state.counters["floor_cpu_s"] = floor_cpu;
    state.counters["engine_cpu_s"] = engine_cpu;
    state.counters["ratio"] = engine_cpu / floor_cpu;
  }
}
BENCHMARK(BM_IdleUnitsCpuAgainstFloor)->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();

UnitSettings changed(const UnitSettings& s, int n) {
  UnitSettings next = s;
  next.delayMs = static_cast<std::uint16_t>(n % 400);
  return next;
}

void BM_WriteToConfirmedLatency(benchmark::State& state) {
  EngineStart started = create_engine({.simulator = true});
  UnitRegistry& registry = *started.engine->manager.registry;
  for (;;) {
    auto e = started.ui_events.recv();
    if (auto* s = std::get_if<event::Settings>(&*e); s != nullptr && s->key == "SIM0001") break;
  }
  std::vector<double> latencies;
  int n = 0;
  for (auto _ : state) {
    const auto queued = std::chrono::steady_clock::now();
    registry.with_lock([&](UnitMap& units) {
      Unit& unit = units.at("SIM0001");
      auto request = prepare_write(units, "SIM0001", changed(*unit.settings, ++n), false, false);
      queue_write(unit, std::move(request.value()));
    });
    for (;;) {
      auto e = started.ui_events.recv();
      auto* r = std::get_if<event::WriteResult>(&*e);
      if (r != nullptr && r->key == "SIM0001") {
        if (!std::holds_alternative<outcome::Confirmed>(r->outcome))
          state.SkipWithError("not confirmed");
        break;
      }
    }
    const double ms =
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - queued)
            .count();
    latencies.push_back(ms);
    // Let the confirming report reach the registry before the next write.
    for (;;) {
      auto e = started.ui_events.recv();
      if (auto* s = std::get_if<event::Settings>(&*e); s != nullptr && s->key == "SIM0001") break;
    }
  }
  std::sort(latencies.begin(), latencies.end());
  state.counters["median_ms"] = latencies[latencies.size() / 2];
  // A 10-channel write is a 150-byte frame: 30 paced chunks of 5 ms after the 1 s hold-off.
  state.counters["budget_ms"] = 1000 + 150 + 100;
  remove_simulated_unit("SIM0001");
  remove_simulated_unit("SIM0002");
}
BENCHMARK(BM_WriteToConfirmedLatency)->Iterations(9)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_FiftyUnitsWrittenAtOnce(benchmark::State& state) {
  for (auto _ : state) {
    EngineStart started = engine_with_units();
    UnitRegistry& registry = *started.engine->manager.registry;
    const auto queued = std::chrono::steady_clock::now();
    registry.with_lock([&](UnitMap& units) {
      for (auto& [key, unit] : units) {
        auto request = prepare_write(units, key, changed(*unit.settings, 123), true, false);
        queue_write(unit, std::move(request.value()));
      }
    });
    int confirmed = 0;
    int failed = 0;
    while (confirmed + failed < UNITS) {
      auto e = started.ui_events.recv();
      if (auto* r = std::get_if<event::WriteResult>(&*e)) {
        (std::holds_alternative<outcome::Confirmed>(r->outcome) ? confirmed : failed)++;
      }
    }
    state.counters["confirmed"] = confirmed;
    state.counters["failed"] = failed;
    state.counters["all_confirmed_ms"] =
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - queued)
            .count();
    for (int i = 1; i <= UNITS; ++i) {
      char id[16];
      std::snprintf(id, sizeof id, "SIM%04d", i);
      remove_simulated_unit(id);
    }
  }
}
BENCHMARK(BM_FiftyUnitsWrittenAtOnce)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
}  // namespace owl
