#include "manager/registry.hpp"

#include <algorithm>

namespace owl {

Generation UnitRegistry::insert(const std::string& key, const std::string& label,
                                Sender<UnitCommand> commands) {
  Unit unit;
  unit.commands = std::move(commands);
  unit.key = key;
  unit.label = label;
  return with_lock([&](UnitMap& units) {
    unit.generation = next_generation_++;
    const Generation generation = unit.generation;
    units.insert_or_assign(key, std::move(unit));
    return generation;
  });
}

bool UnitRegistry::contains(const std::string& key) {
  return with_lock([&](UnitMap& units) { return units.count(key) != 0; });
}

std::vector<UnitSnapshot> UnitRegistry::snapshot_units() {
  std::vector<UnitSnapshot> list = with_lock([](UnitMap& units) {
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
