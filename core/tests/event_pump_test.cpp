#include "manager/event_pump.hpp"

#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <new>
#include <utility>
#include <vector>

#include "error.hpp"
#include "seams.hpp"
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
  const Generation a = registry.insert("A", "/dev/ttyACM0", {}).generation;
  // Too short, or not exactly "OWL" at the start.
  for (const char* text : {"bootloader 2", "OW", "owl 1", " OWL"}) {
    EXPECT_EQ(apply(event::Identity{"A", text, a}), Events{}) << text;
  }
  EXPECT_EQ(find("A")->identity, " OWL");
  EXPECT_FALSE(find("A")->announced);

  const UnitSettings s = some_settings();
  EXPECT_EQ(apply(event::Settings{"A", s, a}),
            (Events{event::Announced{"A", "/dev/ttyACM0"}, event::Settings{"A", s, a}}));
  EXPECT_TRUE(find("A")->announced);

  UnitSettings changed = s;
  changed.delayMs = 30;
  EXPECT_EQ(apply(event::Settings{"A", changed, a}), (Events{event::Settings{"A", changed, a}}));
  EXPECT_EQ(find("A")->settings, changed);
  EXPECT_EQ(apply(event::Identity{"A", "x", a}), (Events{event::Identity{"A", "x", a}}));
  EXPECT_EQ(find("A")->identity, "x");
}

TEST_F(EventPumpTest, StoppedRemovesTheUnitAndPassesOnlyWhatTheUserSaw) {
  const Generation quiet = registry.insert("quiet", "q", {}).generation;
  EXPECT_EQ(apply(event::Stopped{"quiet", "device closed", quiet}), Events{});
  EXPECT_EQ(find("quiet"), nullptr);

  const Generation first = registry.insert("A", "a", {}).generation;
  apply(event::Settings{"A", some_settings(), first});
  EXPECT_EQ(apply(event::Stopped{"A", "device closed", first}),
            (Events{event::Stopped{"A", "device closed", first}}));
  EXPECT_EQ(find("A"), nullptr);

  // The port comes back: a new registration is announced again.
  const Generation second = registry.insert("A", "a2", {}).generation;
  EXPECT_EQ(apply(event::Settings{"A", some_settings(), second}),
            (Events{event::Announced{"A", "a2"}, event::Settings{"A", some_settings(), second}}));

  // A user interface may still show a key whose last worker was replaced: its end passes.
  EXPECT_EQ(apply(event::Stopped{"nobody", "stopped", 5}),
            (Events{event::Stopped{"nobody", "stopped", 5}}));
  EXPECT_EQ(find("nobody"), nullptr);
}

TEST_F(EventPumpTest, EventsOfAReplacedWorkerChangeNothingAndAreNotPassedOn) {
  const Generation old_generation = registry.insert("SIM0001", "simulator", {}).generation;
  apply(event::Settings{"SIM0001", some_settings(), old_generation});
  const Generation new_generation = registry.insert("SIM0001", "simulator", {}).generation;
  EXPECT_EQ(apply(event::Stopped{"SIM0001", "stopped", old_generation}), Events{});
  ASSERT_NE(find("SIM0001"), nullptr);
  EXPECT_EQ(find("SIM0001")->generation, new_generation);

  const UnitSettings current = some_settings();
  apply(event::Settings{"SIM0001", current, new_generation});
  find("SIM0001")->confirming = true;
  UnitSettings late = current;
  late.delayMs = 99;
  const Events none;
  EXPECT_EQ(apply(event::Settings{"SIM0001", late, old_generation}), none);
  EXPECT_EQ(apply(event::Identity{"SIM0001", "OWL old", old_generation}), none);
  EXPECT_EQ(apply(event::WriteResult{outcome::Confirmed{}, "SIM0001", old_generation}), none);
  EXPECT_EQ(apply(event::Stopped{"SIM0001", "stopped", old_generation}), none);
  EXPECT_EQ(find("SIM0001")->settings, current);
  EXPECT_FALSE(find("SIM0001")->identity.has_value());
  EXPECT_TRUE(find("SIM0001")->confirming);
  // Nor do the late events of a worker whose key is no longer registered at all.
  EXPECT_EQ(apply(event::Settings{"gone", current, 3}), none);
  EXPECT_EQ(apply(event::WriteResult{outcome::Confirmed{}, "gone", 3}), none);

  // The end of a write that the replacement cut short always reaches the user.
  const event::WriteResult cut{outcome::Replaced{}, "SIM0001", old_generation};
  EXPECT_EQ(apply(cut), Events{cut});
  EXPECT_TRUE(find("SIM0001")->confirming);
}

TEST_F(EventPumpTest, AnyWriteResultEndsConfirmingAndPasses) {
  const Generation a = registry.insert("A", "a", {}).generation;
  apply(event::Settings{"A", some_settings(), a});
  const std::vector<WriteOutcome> outcomes = {
      outcome::NoAnswer{}, outcome::KeptDifferent{{"delayMs"}}, outcome::Busy{},
      outcome::SendFailed{"Broken pipe"}, outcome::Confirmed{}};
  for (const WriteOutcome& o : outcomes) {
    find("A")->confirming = true;
    EXPECT_EQ(apply(event::WriteResult{o, "A", a}), (Events{event::WriteResult{o, "A", a}}));
    EXPECT_FALSE(find("A")->confirming) << o.index();
  }
}

TEST_F(EventPumpTest, PortProblemsPassEvenWithAnUnannouncedEmptyKey) {
  const Generation g = registry.insert("", "/dev/ttyACM3", {}).generation;
  const event::PortProblems problems{{"/dev/ttyACM1: Permission denied"}};
  EXPECT_EQ(apply(problems), (Events{problems}));
  EXPECT_FALSE(find("")->announced);
  // Events of that unit itself stay hidden until it is announced.
  EXPECT_EQ(apply(event::Identity{"", "boot", g}), Events{});
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

TEST(RunEventPump, ForwardsInOrderAndKeepsTheRegistryTrueWithOrWithoutAUserInterface) {
  for (const bool ui_gone : {false, true}) {
    SCOPED_TRACE(ui_gone);
    PumpSetup p;
    if (ui_gone) {
      auto gone = std::move(p.ui.second);  // the user interface has gone away
    }
    const UnitSettings s = some_settings();
    p.events.first.send(event::Identity{"B", "boot", 2});
    p.events.first.send(event::Settings{"A", s, 1});
    p.events.first.send(event::Settings{"B", s, 2});
    p.events.first.send(event::Stopped{"A", "device closed", 1});
    p.events.first.reset();

    // Returns once the event channel has closed.
    run_event_pump(std::move(p.events.second), std::move(p.ui.first), p.registry);

    const std::vector<UnitSnapshot> units = p.registry->snapshot_units();
    ASSERT_EQ(units.size(), 1u);
    EXPECT_EQ(units[0].key, "B");
    if (ui_gone) continue;
    Events forwarded;
    while (std::optional<UnitEvent> e = p.ui.second.recv()) forwarded.push_back(std::move(*e));
    EXPECT_EQ(forwarded, (Events{event::Announced{"A", "a"}, event::Settings{"A", s, 1},
                                 event::Announced{"B", "b"}, event::Settings{"B", s, 2},
                                 event::Stopped{"A", "device closed", 1}}));
  }
}

TEST(RunEventPump, APoisonedRegistryDoesNotTakeThePumpDown) {
  testing_support::SeamGuard seams;
  set_fault_sink(&testing_support::FaultLog::sink);
  PumpSetup p;
  // A change that failed half way poisons the registry (the registry's own tests pin that down).
  EXPECT_THROW(p.registry->with_lock([](UnitMap&) -> int { throw std::bad_alloc(); }),
               std::bad_alloc);

  spawn_event_pump(std::move(p.events.second), std::move(p.ui.first), p.registry);
  p.events.first.send(event::Settings{"A", some_settings(), 1});
  p.events.first.send(event::Settings{"B", some_settings(), 2});
  const event::PortProblems problems{{"/dev/ttyACM1: Permission denied"}};
  p.events.first.send(problems);
  // The unit events cannot be applied and are dropped; what needs no registry still passes.
  auto r = p.ui.second.recv_until(std::chrono::steady_clock::now() + 10s);
  ASSERT_EQ(r.status, RecvStatus::Value);
  EXPECT_EQ(*r.value, UnitEvent{problems});
  // Reported once, not once per event.
  EXPECT_EQ(testing_support::FaultLog::seen(),
            std::vector<std::string>{"owl-events: unit registry lock poisoned"});
}

}  // namespace
}  // namespace owl
