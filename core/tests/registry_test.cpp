#include "manager/registry.hpp"

#include <gtest/gtest.h>

#include <functional>
#include <new>
#include <string>
#include <vector>

#include "error.hpp"
#include "seams.hpp"
#include "sim/simulated_port.hpp"

namespace owl {
namespace {

void announce(UnitRegistry& registry, const std::string& key) {
  registry.with_lock([&](UnitMap& units) { units.at(key).announced = true; });
}

TEST(UnitRegistry, SnapshotHoldsAnnouncedUnitsSortedByKeyBytes) {
  UnitRegistry registry;
  for (const std::string key : {"SIM0002", "\xC3\x84", "b", "SIM0001", "Z", "silent"})
    registry.insert(key, "label-" + key, {});
  EXPECT_TRUE(registry.snapshot_units().empty());
  // A byte above 0x7F sorts after ASCII, as unsigned bytes do.
  for (const std::string key : {"b", "SIM0002", "\xC3\x84", "Z", "SIM0001"})
    announce(registry, key);
  const UnitSettings s = simulated_unit_settings(1002, 192000, 216975, 8);
  registry.with_lock([&](UnitMap& units) {
    units.at("SIM0002").settings = s;
    units.at("SIM0002").identity = "OWL 9.99 sn1002";
  });

  const std::vector<UnitSnapshot> units = registry.snapshot_units();
  std::vector<std::string> keys;
  for (const UnitSnapshot& u : units) keys.push_back(u.key);
  EXPECT_EQ(keys, (std::vector<std::string>{"SIM0001", "SIM0002", "Z", "b", "\xC3\x84"}));
  EXPECT_EQ(units[1].label, "label-SIM0002");
  EXPECT_EQ(units[1].settings, s);
  EXPECT_EQ(units[1].identity, "OWL 9.99 sn1002");
  EXPECT_FALSE(units[0].settings.has_value());
  EXPECT_TRUE(registry.contains("silent"));
  EXPECT_FALSE(registry.contains("SIM0003"));
}

TEST(UnitRegistry, InsertingUnderAnExistingKeyReplacesTheUnit) {
  UnitRegistry registry;
  auto [old_tx, old_rx] = make_channel<UnitCommand>();
  auto [new_tx, new_rx] = make_channel<UnitCommand>();
  const Registration first = registry.insert("A", "/dev/ttyACM0", std::move(old_tx));
  EXPECT_FALSE(first.replaced_write.has_value());
  registry.with_lock([](UnitMap& units) {
    Unit& u = units.at("A");
    u.settings = simulated_unit_settings(1, 215000, 217000, 2);
    u.identity = "OWL";
    u.confirming = true;
    u.announced = true;
  });

  const Registration second = registry.insert("A", "/dev/ttyACM1", std::move(new_tx));
  EXPECT_NE(first.generation, second.generation);
  // The write the old unit was confirming is named, so that it can be ended.
  EXPECT_EQ(second.replaced_write, first.generation);
  // The old worker sees its command channel close; the new one is reached through the entry.
  EXPECT_EQ(old_rx.try_recv().status, RecvStatus::Disconnected);
  registry.with_lock([&](UnitMap& units) {
    ASSERT_EQ(units.size(), 1u);
    const Unit& u = units.at("A");
    EXPECT_EQ(u.key, "A");
    EXPECT_EQ(u.label, "/dev/ttyACM1");
    EXPECT_EQ(u.generation, second.generation);
    EXPECT_FALSE(u.settings.has_value());
    EXPECT_FALSE(u.identity.has_value());
    EXPECT_FALSE(u.confirming);
    EXPECT_FALSE(u.announced);
    EXPECT_TRUE(u.commands.send(command::Refresh{}));
  });
  EXPECT_EQ(new_rx.try_recv().status, RecvStatus::Value);
  EXPECT_TRUE(registry.snapshot_units().empty());
}

TEST(UnitRegistry, AFailedLookUpLeavesTheRegistryUsableAFailedChangeDoesNot) {
  testing_support::SeamGuard seams;
  UnitRegistry registry;
  const Generation a = registry.insert("A", "a", {}).generation;
  announce(registry, "A");
  sys::registry_hook = [](bool locked) {
    if (locked) throw std::bad_alloc();
  };
  EXPECT_THROW(registry.snapshot_units(), std::bad_alloc);
  EXPECT_THROW(registry.contains("A"), std::bad_alloc);
  sys::registry_hook = nullptr;
  EXPECT_EQ(registry.snapshot_units().size(), 1u);

  sys::registry_hook = [](bool locked) {
    if (locked) throw std::bad_alloc();
  };
  EXPECT_THROW(registry.erase("A", a), std::bad_alloc);
  sys::registry_hook = nullptr;
  // The change may be half done, so nobody may see the map any more.
  for (const std::function<void()>& call :
       {std::function<void()>([&] { registry.snapshot_units(); }),
        std::function<void()>([&] { registry.contains("A"); }),
        std::function<void()>([&] { registry.insert("B", "b", {}); }),
        std::function<void()>([&] { registry.erase("A", a); }),
        std::function<void()>([&] { registry.with_lock([](UnitMap&) {}); })}) {
    try {
      call();
      ADD_FAILURE() << "a poisoned registry answered";
    } catch (const Panic& e) {
      EXPECT_EQ(std::string(e.what()), "unit registry lock poisoned");
    }
  }
  EXPECT_TRUE(registry.poisoned());
}

TEST(UnitRegistry, EraseRemovesOnlyTheGivenRegistration) {
  UnitRegistry registry;
  const Generation old_generation = registry.insert("A", "a", {}).generation;
  const Generation current = registry.insert("A", "a", {}).generation;
  EXPECT_FALSE(registry.erase("A", old_generation));
  EXPECT_FALSE(registry.erase("B", current));
  EXPECT_TRUE(registry.contains("A"));
  EXPECT_TRUE(registry.erase("A", current));
  EXPECT_FALSE(registry.contains("A"));
}

}  // namespace
}  // namespace owl
