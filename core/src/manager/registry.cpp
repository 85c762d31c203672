#include "manager/registry.hpp"

#include <algorithm>

namespace owl {

Registration UnitRegistry::insert(const std::string& key, const std::string& label,
                                  Sender<UnitCommand> commands) {
  Unit unit;
  unit.commands = std::move(commands);
  unit.key = key;
  unit.label = label;
  return with_lock([&](UnitMap& units) {
    Registration registration;
    registration.generation = next_generation_++;
    unit.generation = registration.generation;
    auto [it, inserted] = units.try_emplace(key);
    if (!inserted && it->second.confirming) registration.replaced_write = it->second.generation;
    it->second = std::move(unit);
    return registration;
  });
}

bool UnitRegistry::erase(const std::string& key, Generation generation) {
  return with_lock([&](UnitMap& units) {
    auto it = units.find(key);
    if (it == units.end() || it->second.generation != generation) return false;
    units.erase(it);
    return true;
  });
}

bool UnitRegistry::contains(const std::string& key) {
  return read_locked([&](const UnitMap& units) { return units.count(key) != 0; });
}

std::vector<UnitSnapshot> UnitRegistry::snapshot_units() {
  std::vector<UnitSnapshot> list = read_locked([](const UnitMap& units) {
    std::vector<UnitSnapshot> out;
    for (const auto& [key, unit] : units) {
      if (unit.announced) out.push_back({unit.key, unit.label, unit.identity, unit.settings});
    }
    return out;
  });
  std::stable_sort(list.begin(), list.end(),
                   [](const UnitSnapshot& a, const UnitSnapshot& b) { return a.key < b.key; });
  return list;
}

}  // namespace owl
