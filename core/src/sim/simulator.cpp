#include "sim/simulator.hpp"

#include <atomic>
#include <map>
#include <memory>
#include <mutex>

#include "device/worker.hpp"
#include "sim/simulated_port.hpp"

namespace owl {

namespace {

struct SimulatorTable {
  std::mutex mutex;
  std::map<std::string, std::shared_ptr<std::atomic<bool>>> stop_flags;
};

SimulatorTable& table() {
  // Never destroyed: detached workers may outlive static destruction at exit.
  static SimulatorTable* const instance = new SimulatorTable;
  return *instance;
}

}  // namespace

void add_simulated_unit(Manager& manager, const std::string& id, std::uint32_t serial,
                        std::uint32_t lo, std::uint32_t hi, std::uint32_t channel_count) {
  auto stop = std::make_shared<std::atomic<bool>>(false);
  auto port = std::make_unique<SimulatedPort>(
      simulated_unit_settings(serial, lo, hi, channel_count), stop, *manager.clock);
  // The table's lock is held across the registration, so that adds and removes of one id take
  // turns and the stop flag kept is always that of the registered worker. (The registry lock is
  // taken under it, never the other way round.)
  const std::lock_guard<std::mutex> lock(table().mutex);
  auto& flags = table().stop_flags;
  std::shared_ptr<std::atomic<bool>> previous;
  if (auto it = flags.find(id); it != flags.end()) previous = it->second;
  flags.insert_or_assign(id, std::move(stop));
  try {
    spawn_device_worker(manager, id, "simulator", std::move(port));
  } catch (...) {
    // The previous unit may still be registered (the registration failed) or be ending (its
    // replacement could not start); either way its own flag is the one to keep.
    if (previous) {
      flags.insert_or_assign(id, std::move(previous));
    } else {
      flags.erase(id);
    }
    throw;
  }
}

bool remove_simulated_unit(const std::string& id) {
  const std::lock_guard<std::mutex> lock(table().mutex);
  auto it = table().stop_flags.find(id);
  if (it == table().stop_flags.end()) return false;
  it->second->store(true);
  table().stop_flags.erase(it);
  return true;
}

}  // namespace owl
