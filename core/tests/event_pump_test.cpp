#include "manager/event_pump.hpp"

#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <memory>
#include <utility>
#include <vector>

#include "sim/simulated_port.hpp"

using namespace std::chrono_literals;

namespace owl {
namespace {

using Events = std::vector<UnitEvent>;

UnitSettings some_settings() {
  return simulated_unit_settings(1001, 215000, 217000, 10);
}

class EventPumpTest : public ::testing::Test {
 protected:
  Events apply(UnitEvent event) {
    return registry.with_lock(
        [&](UnitMap& units) { return apply_unit_event(units, std::move(event)); });
  }
  Unit* find(const std::string& key) {
    return registry.with_lock([&](UnitMap& units) -> Unit* {
      auto it = units.find(key);
      return it == units.end() ? nullptr : &it->second;
    });
  }

  UnitRegistry registry;
};

TEST_F(EventPumpTest, ForeignIdentityIsStoredButHiddenUntilTheFirstSettings) {
  registry.insert("A", "/dev/ttyACM0", {});
  // Too short, or not exactly "OWL" at the start.
  for (const char* text : {"bootloader 2", "OW", "owl 1", " OWL"}) {
    EXPECT_EQ(apply(event::Identity{"A", text}), Events{}) << text;
  }
  EXPECT_EQ(find("A")->identity, " OWL");
  EXPECT_FALSE(find("A")->announced);

  const UnitSettings s = some_settings();
  EXPECT_EQ(apply(event::Settings{"A", s}),
            (Events{event::Announced{"A", "/dev/ttyACM0"}, event::Settings{"A", s}}));
  EXPECT_TRUE(find("A")->announced);

  UnitSettings changed = s;
  changed.delayMs = 30;
  EXPECT_EQ(apply(event::Settings{"A", changed}), (Events{event::Settings{"A", changed}}));
  EXPECT_EQ(find("A")->settings, changed);
  EXPECT_EQ(apply(event::Identity{"A", "x"}), (Events{event::Identity{"A", "x"}}));
  EXPECT_EQ(find("A")->identity, "x");
}

TEST_F(EventPumpTest, StoppedRemovesTheUnitAndPassesOnlyWhatTheUserSaw) {
  registry.insert("quiet", "q", {});
  EXPECT_EQ(apply(event::Stopped{"quiet", "device closed", 1}), Events{});
  EXPECT_EQ(find("quiet"), nullptr);

  const Generation first = registry.insert("A", "a", {});
  apply(event::Settings{"A", some_settings()});
  EXPECT_EQ(apply(event::Stopped{"A", "device closed", first}),
            (Events{event::Stopped{"A", "device closed", first}}));
  EXPECT_EQ(find("A"), nullptr);

  // The port comes back: a new registration is announced again.
  registry.insert("A", "a2", {});
  EXPECT_EQ(apply(event::Settings{"A", some_settings()}),
            (Events{event::Announced{"A", "a2"}, event::Settings{"A", some_settings()}}));

  EXPECT_EQ(apply(event::Stopped{"nobody", "stopped", 5}),
            (Events{event::Stopped{"nobody", "stopped", 5}}));
  EXPECT_EQ(apply(event::Settings{"nobody", some_settings()}),
            (Events{event::Settings{"nobody", some_settings()}}));
  EXPECT_EQ(find("nobody"), nullptr);
}

TEST_F(EventPumpTest, StoppedOfAReplacedWorkerChangesNothing) {
  const Generation old_generation = registry.insert("SIM0001", "simulator", {});
  apply(event::Settings{"SIM0001", some_settings()});
  const Generation new_generation = registry.insert("SIM0001", "simulator", {});
  EXPECT_EQ(apply(event::Stopped{"SIM0001", "stopped", old_generation}), Events{});
  ASSERT_NE(find("SIM0001"), nullptr);
  EXPECT_EQ(find("SIM0001")->generation, new_generation);

  apply(event::Settings{"SIM0001", some_settings()});
  EXPECT_EQ(apply(event::Stopped{"SIM0001", "stopped", old_generation}), Events{});
  EXPECT_TRUE(find("SIM0001")->announced);
}

TEST_F(EventPumpTest, AnyWriteResultEndsConfirmingAndPasses) {
  registry.insert("A", "a", {});
  apply(event::Settings{"A", some_settings()});
  const std::vector<WriteOutcome> outcomes = {
      outcome::NoAnswer{}, outcome::KeptDifferent{{"delayMs"}}, outcome::Busy{},
      outcome::SendFailed{"Broken pipe"}, outcome::Confirmed{}};
  for (const WriteOutcome& o : outcomes) {
    find("A")->confirming = true;
    EXPECT_EQ(apply(event::WriteResult{o, "A"}), (Events{event::WriteResult{o, "A"}}));
    EXPECT_FALSE(find("A")->confirming) << o.index();
  }
}

TEST_F(EventPumpTest, PortProblemsPassEvenWithAnUnannouncedEmptyKey) {
  registry.insert("", "/dev/ttyACM3", {});
  const event::PortProblems problems{{"/dev/ttyACM1: Permission denied"}};
  EXPECT_EQ(apply(problems), (Events{problems}));
  EXPECT_FALSE(find("")->announced);
  // Events of that unit itself stay hidden until it is announced.
  EXPECT_EQ(apply(event::Identity{"", "boot"}), Events{});
}

// Two registered units and the channels around the pump.
struct PumpSetup {
  PumpSetup() {
    registry->insert("A", "a", {});
    registry->insert("B", "b", {});
  }
  std::shared_ptr<UnitRegistry> registry = std::make_shared<UnitRegistry>();
  std::pair<Sender<UnitEvent>, Receiver<UnitEvent>> events = make_channel<UnitEvent>();
  std::pair<Sender<UnitEvent>, Receiver<UnitEvent>> ui = make_channel<UnitEvent>();
};

TEST(RunEventPump, ForwardsInOrderUntilTheEventChannelCloses) {
  PumpSetup p;
  const UnitSettings s = some_settings();
  p.events.first.send(event::Identity{"B", "boot"});
  p.events.first.send(event::Settings{"A", s});
  p.events.first.send(event::Settings{"B", s});
  p.events.first.send(event::Stopped{"A", "device closed", 1});
  p.events.first.reset();

  run_event_pump(std::move(p.events.second), std::move(p.ui.first), p.registry);

  Events forwarded;
  while (std::optional<UnitEvent> e = p.ui.second.recv()) forwarded.push_back(std::move(*e));
  EXPECT_EQ(forwarded,
            (Events{event::Announced{"A", "a"}, event::Settings{"A", s}, event::Announced{"B", "b"},
                    event::Settings{"B", s}, event::Stopped{"A", "device closed", 1}}));
  EXPECT_FALSE(p.registry->contains("A"));
  EXPECT_EQ(p.registry->snapshot_units().size(), 1u);
}

TEST(RunEventPump, StopsWhenTheUserInterfaceIsGone) {
  PumpSetup p;
  { auto gone = std::move(p.ui.second); }
  p.events.first.send(event::Settings{"A", some_settings()});
  p.events.first.send(event::Settings{"B", some_settings()});

  auto pump = std::async(std::launch::async, [&] {
    run_event_pump(std::move(p.events.second), std::move(p.ui.first), p.registry);
  });
  const bool stopped = pump.wait_for(10s) == std::future_status::ready;
  p.events.first
      .reset();  // lets a pump that missed the failed send finish, so the test cannot hang
  pump.wait();
  EXPECT_TRUE(stopped);
  // The first event was applied before its send failed; the second was never taken.
  const std::vector<UnitSnapshot> units = p.registry->snapshot_units();
  ASSERT_EQ(units.size(), 1u);
  EXPECT_EQ(units[0].key, "A");
}

}  // namespace
}  // namespace owl
