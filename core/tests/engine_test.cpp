#include "manager/engine.hpp"

#include <gtest/gtest.h>

#include "event_log.hpp"

#include <algorithm>
#include <chrono>
#include <functional>

#include "error.hpp"
#include "seams.hpp"
#include "sim/simulated_port.hpp"
#include "sim/simulator.hpp"

using namespace std::chrono_literals;

namespace owl {
namespace {

using testing_support::EventLog;
using testing_support::is;

std::size_t index_of(const std::vector<UnitEvent>& events,
                     const std::function<bool(const UnitEvent&)>& pred) {
  for (std::size_t i = 0; i < events.size(); ++i) {
    if (pred(events[i])) return i;
  }
  return events.size();
}

TEST(EngineSimulator, AnnouncesBothUnitsWithSettingsAndIdentity) {
  EngineStart started = create_engine({.simulator = true});
  EventLog log{started.ui_events, {}};
  ASSERT_TRUE(log.wait_for(is<event::Identity>("SIM0001")));
  if (index_of(log.seen, is<event::Identity>("SIM0002")) == log.seen.size()) {
    ASSERT_TRUE(log.wait_for(is<event::Identity>("SIM0002")));
  }

  for (const std::string key : {"SIM0001", "SIM0002"}) {
    const std::size_t announced = index_of(log.seen, [&](const UnitEvent& e) {
      auto* a = std::get_if<event::Announced>(&e);
      return a != nullptr && a->key == key && a->label == "simulator";
    });
    const std::size_t settings = index_of(log.seen, is<event::Settings>(key));
    const std::size_t identity = index_of(log.seen, is<event::Identity>(key));
    ASSERT_LT(announced, log.seen.size()) << key;
    EXPECT_EQ(settings, announced + 1) << key;
    EXPECT_LT(settings, identity) << key;
  }
  const auto& s1 =
      std::get<event::Settings>(log.seen[index_of(log.seen, is<event::Settings>("SIM0001"))]);
  // The channel plan and its numbering are the simulated port's and the payload's to check.
  EXPECT_EQ(s1.settings, simulated_unit_settings(1001, 215000, 217000, 10));
  const auto& id1 =
      std::get<event::Identity>(log.seen[index_of(log.seen, is<event::Identity>("SIM0001"))]);
  EXPECT_EQ(id1.text, "OWL 9.99 sn1001");
  // What the registry then lists is OwlSimulator.UnitsEventsChecksAndWrites'.
}

TEST(EngineSimulator, RemovedUnitStopsWithBrokenPipeAndReAddingServesOneUnit) {
  EngineStart started = create_engine({.simulator = true});
  EventLog log{started.ui_events, {}};
  ASSERT_TRUE(log.wait_for(is<event::Settings>("SIM0001")));
  ASSERT_TRUE(remove_simulated_unit("SIM0001"));
  EXPECT_FALSE(remove_simulated_unit("SIM0001"));
  auto stopped = log.wait_for(is<event::Stopped>("SIM0001"));
  ASSERT_TRUE(stopped);
  EXPECT_EQ(std::get<event::Stopped>(*stopped).reason, "read failed: Broken pipe (BrokenPipe)");
  EXPECT_FALSE(started.engine->manager.registry->contains("SIM0001"));

  add_simulated_unit(started.engine->manager, "SIM0001", 1001, 215000, 217000, 10);
  ASSERT_TRUE(log.wait_for(is<event::Settings>("SIM0001")));
  // Re-adding over a running unit replaces it; the old worker's end must not take the new one.
  add_simulated_unit(started.engine->manager, "SIM0001", 4242, 215000, 217000, 3);
  auto replaced = log.wait_for([](const UnitEvent& e) {
    auto* s = std::get_if<event::Settings>(&e);
    return s != nullptr && s->key == "SIM0001" && s->settings.unitSerialNum == 4242;
  });
  ASSERT_TRUE(replaced);
  // Only the removal was reported as a stop; the replaced worker's end was not.
  EXPECT_EQ(std::count_if(log.seen.begin(), log.seen.end(), is<event::Stopped>("SIM0001")), 1);
  const auto units = started.engine->manager.registry->snapshot_units();
  ASSERT_EQ(units.size(), 2u);
  EXPECT_EQ(units[0].settings->unitSerialNum, 4242u);
  // The replaced unit answers a refresh, so its worker is the live one.
  started.engine->manager.registry->with_lock(
      [](UnitMap& u) { u.at("SIM0001").commands.send(command::Refresh{}); });
  EXPECT_TRUE(log.wait_for(is<event::Settings>("SIM0001"), 2000ms));
}

TEST(EngineStart, AThreadThatCannotStartFailsTheStartByName) {
  testing_support::SeamGuard seams;
  sys::calls().pthread_create = &testing_support::refuse_named_thread;
  const auto failure = [](const std::string& thread, const EngineOptions& options) {
    testing_support::refused_thread_name() = thread;
    try {
      create_engine(options);
    } catch (const Panic& p) {
      return std::string(p.what());
    }
    return std::string("started");
  };
  EngineOptions hardware;
  hardware.sysfs_root = "/owl-no-sysfs-here";
  EXPECT_EQ(failure("owl-events", {.simulator = true}), "spawn event thread");
  EXPECT_EQ(failure("owl-scan", hardware), "spawn scan thread");
  EXPECT_EQ(failure("owl-SIM0001", {.simulator = true}),
            "spawn device thread: Resource temporarily unavailable");
}

}  // namespace
}  // namespace owl
