#pragma once

#include <mutex>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "channel.hpp"
#include "error.hpp"
#include "manager/events.hpp"
#include "platform/system_calls.hpp"
#include "settings/model.hpp"

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

struct Registration {
  Generation generation = 0;
  // The generation of the unit this one replaced, if that unit was still confirming a write.
  std::optional<Generation> replaced_write;
};

// The engine's one shared picture of the connected units, under the engine's one shared lock.
// Nothing may sleep, read a port or wait on a channel while holding it.
class UnitRegistry {
 public:
  // Inserts a fresh unit, replacing any entry under the key (whose worker then sees its command
  // channel disconnect).
  Registration insert(const std::string& key, const std::string& label,
                      Sender<UnitCommand> commands);

  // Removes the entry under the key if it is still that registration. Returns whether it was.
  bool erase(const std::string& key, Generation generation);

  bool contains(const std::string& key);

  // Copies of the announced units, sorted by key in byte order.
  std::vector<UnitSnapshot> snapshot_units();

  bool poisoned() {
    const std::lock_guard<std::mutex> lock(mutex_);
    return poisoned_;
  }

  // Runs f on the map under the lock. An exception escaping f poisons the registry for good: the
  // map may be half changed, so every later caller gets the Panic "unit registry lock poisoned"
  // instead of state that nobody can trust.
  template <class F>
  auto with_lock(F&& f) -> decltype(f(std::declval<UnitMap&>())) {
    auto* const hook = sys::registry_hook.load();
    if (hook != nullptr) hook(false);
    const std::lock_guard<std::mutex> lock(mutex_);
    if (poisoned_) throw Panic("unit registry lock poisoned");
    try {
      if (hook != nullptr) hook(true);
      return f(units_);
    } catch (...) {
      poisoned_ = true;
      throw;
    }
  }

  // Runs f on the map under the lock without changing it: an exception fails only this call.
  template <class F>
  auto read_locked(F&& f) -> decltype(f(std::declval<const UnitMap&>())) {
    auto* const hook = sys::registry_hook.load();
    if (hook != nullptr) hook(false);
    const std::lock_guard<std::mutex> lock(mutex_);
    if (poisoned_) throw Panic("unit registry lock poisoned");
    if (hook != nullptr) hook(true);
    return f(static_cast<const UnitMap&>(units_));
  }

 private:
  std::mutex mutex_;
  UnitMap units_;
  Generation next_generation_ = 1;
  bool poisoned_ = false;
};

}  // namespace owl
