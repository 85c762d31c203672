#pragma once

#include <mutex>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "channel.hpp"
#include "error.hpp"
#include "manager/events.hpp"
#include "settings/model.hpp"
#include "system_calls.hpp"

namespace owl {

struct Unit {
  Sender<UnitCommand> commands;
  std::string key;
  std::string label;
  std::optional<UnitSettings> settings;
  std::optional<std::string> identity;
  bool confirming = false;
  bool announced = false;
  Generation generation = 0;
};

struct UnitSnapshot {
  std::string key;
  std::string label;
  std::optional<std::string> identity;
  std::optional<UnitSettings> settings;
};

using UnitMap = std::unordered_map<std::string, Unit>;

// The engine's one shared picture of the connected units, under the engine's one shared lock.
// Nothing may sleep, read a port or wait on a channel while holding it.
class UnitRegistry {
 public:
  // Inserts a fresh unit, replacing any entry under the key (whose worker then sees its command
  // channel disconnect). Returns the registration's generation.
  Generation insert(const std::string& key, const std::string& label, Sender<UnitCommand> commands);

  bool contains(const std::string& key);

  // Copies of the announced units, sorted by key in byte order.
  std::vector<UnitSnapshot> snapshot_units();

  // Runs f on the map under the lock. An exception escaping f poisons the registry: later callers
  // get a Panic instead of state that may be half-updated.
  template <class F>
  auto with_lock(F&& f) -> decltype(f(std::declval<UnitMap&>())) {
    const std::lock_guard<std::mutex> lock(mutex_);
    if (poisoned_) throw Panic("unit registry lock poisoned");
    try {
      if (auto hook = sys::registry_critical_section.load()) hook();
      return f(units_);
    } catch (...) {
      poisoned_ = true;
      throw;
    }
  }

 private:
  std::mutex mutex_;
  UnitMap units_;
  Generation next_generation_ = 1;
  bool poisoned_ = false;
};

}  // namespace owl
