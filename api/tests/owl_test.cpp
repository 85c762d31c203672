#include "owl_seams.hpp"

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <future>
#include <new>
#include <thread>

#include "device/worker.hpp"
#include "error.hpp"
#include "event_recorder.hpp"
#include "frame.hpp"
#include "platform/system_calls.hpp"
#include "seams.hpp"
#include "settings/json.hpp"
#include "sim/simulator.hpp"

using namespace std::chrono_literals;

// Every case runs in its own process (ctest), since the engine exists once per process.
namespace owl {
namespace {

using test_events::EventRecorder;
using test_events::is;

// Hands the stream's items to a recorder the test thread waits on; a sink that does not take
// them plays a UI that stopped listening.
class RecordingSink final : public EventSink {
 public:
  explicit RecordingSink(EventRecorder events, bool takes = true)
      : events_(std::move(events)), takes_(takes) {}
  bool post(const UiEvent& event) override {
    events_.record(event);
    return takes_;
  }
  void close() override { events_.close(); }

 private:
  EventRecorder events_;
  bool takes_;
};

// A recorder that the engine's event stream feeds from now on.
EventRecorder subscribed() {
  EventRecorder events;
  event_stream(std::make_unique<RecordingSink>(events));
  return events;
}

// Both simulated units have reported their settings.
bool both_reported(const EventRecorder& events) {
  return events.wait(is<ui_event::Settings>("SIM0001")) &&
         events.wait(is<ui_event::Settings>("SIM0002"));
}

void expect_panic(const std::function<void()>& f, const std::string& message) {
  try {
    f();
    ADD_FAILURE() << "no panic, expected " << message;
  } catch (const Panic& p) {
    EXPECT_EQ(std::string(p.what()), message);
  }
}

EngineOptions hardware_without_ports() {
  EngineOptions options;
  options.simulator = false;
  options.sysfs_root = (std::filesystem::temp_directory_path() / "owl-no-sysfs-here").string();
  return options;
}

TEST(OwlBeforeStart, OperationsThatNeedTheEngineRefuse) {
  const std::string message = "start() must be called first";
  expect_panic([] { units(); }, message);
  expect_panic([] { refresh_unit("SIM0001"); }, message);
  expect_panic([] { return check_settings("SIM0001", example_settings()); }, message);
  expect_panic([] { return write_settings("SIM0001", example_settings(), false, false); }, message);
  expect_panic([] { return write_all_settings(example_settings(), false); }, message);
  EXPECT_EQ(core_version(), "0.1.0");
  EXPECT_FALSE(build_features());
  EXPECT_EQ(example_settings().encryption, "000000");
  EXPECT_EQ(enum_options().led, (std::vector<std::string>{"OFF", "ON", "DIM"}));
  sim_remove_unit("SIM0001");
  sim_add_unit("X", 1, 2, 3, 4);  // the simulator flag is not set: nothing happens
  // Before start there is nothing to stream.
  EXPECT_EQ(subscribed().closes(), 1);
}

TEST(OwlSimulator, UnitsEventsChecksAndWrites) {
  start(true);
  start(false);  // no effect: the engine stays in simulator mode
  const EventRecorder events = subscribed();
  ASSERT_TRUE(both_reported(events));

  const std::vector<UnitInfo> list = units();
  ASSERT_EQ(list.size(), 2u);
  EXPECT_EQ(list[0].key, "SIM0001");
  EXPECT_EQ(list[1].key, "SIM0002");
  EXPECT_EQ(list[1].label, "simulator");
  ASSERT_TRUE(list[1].settings.has_value());
  EXPECT_EQ(list[1].settings->unit_name, "SIM-1002");
  EXPECT_EQ(list[1].settings->channels.size(), 8u);
  EXPECT_EQ(list[1].settings_json.rfind("{\n  \"unitName\": \"SIM-1002\",\n", 0), 0u);

  EXPECT_TRUE(check_settings("NOPE", example_settings()).empty());
  UiSettings form = *list[0].settings;
  EXPECT_TRUE(check_settings("SIM0001", form).empty());
  // The rules are validation's; here, that the name is checked too and the unit's own band.
  form.unit_name = "bad name";
  form.channels[2].frequency = 192003;
  EXPECT_EQ(check_settings("SIM0001", form),
            (std::vector<std::string>{
                "unit name must be 1-15 characters of A-Z, a-z, 0-9, '-' or '_'",
                "channel 3: 192003 kHz is outside this unit's 215000-217000 kHz range",
                "channel 3: 192003 kHz is not on the 5 kHz step"}));
  form.led = "sparkly";
  EXPECT_EQ(check_settings("SIM0001", form),
            std::vector<std::string>{"LED has an invalid value: sparkly"});
  // A form that cannot be read is refused whole, and queues nothing (the write below is taken).
  const std::vector<std::string> unreadable{"LED has an invalid value: sparkly"};
  EXPECT_EQ(write_settings("SIM0001", form, false, false), unreadable);
  EXPECT_EQ(write_all_settings(form, false), (std::vector<UnitWriteReport>{{"", "", unreadable}}));

  EXPECT_EQ(write_settings("NOPE", *list[0].settings, false, false),
            std::vector<std::string>{"unit NOPE has not reported its settings yet"});
  UiSettings change = *list[0].settings;
  change.delay_ms = 120;
  EXPECT_TRUE(write_settings("SIM0001", change, false, false).empty());
  EXPECT_EQ(write_settings("SIM0001", change, false, false),
            std::vector<std::string>{"unit SIM0001 is still confirming the previous write"});
  // All or nothing: SIM0001 is still confirming, so SIM0002 gets nothing either.
  const std::vector<UnitWriteReport> reports = write_all_settings(change, false);
  ASSERT_EQ(reports.size(), 1u);
  EXPECT_EQ(reports[0],
            (UnitWriteReport{
                "SIM0001", "SIM-1001", {"unit SIM0001 is still confirming the previous write"}}));

  auto result = events.wait(is<ui_event::WriteResult>("SIM0001"));
  ASSERT_TRUE(result);
  EXPECT_EQ(std::get<ui_event::WriteResult>(result->event),
            (ui_event::WriteResult{"SIM0001", true, ""}));
  auto report = events.wait(is<ui_event::Settings>("SIM0001"), result->next);
  ASSERT_TRUE(report);
  EXPECT_EQ(std::get<ui_event::Settings>(report->event).settings.delay_ms, 120);
  for (const UiEvent& e : events.all()) {
    EXPECT_FALSE(is<ui_event::WriteResult>("SIM0002")(e)) << "SIM0002 was written";
  }
  EXPECT_EQ(units()[0].settings->delay_ms, 120);

  // To all units: SIM0001's first channel lies in both bands; names and further channels stay.
  form = *units()[0].settings;
  form.delay_ms = 200;
  form.unit_name = "Ignored";
  form.channels.resize(1);
  const std::size_t mark = events.mark();
  EXPECT_TRUE(write_all_settings(form, true).empty());
  for (const std::string key : {"SIM0001", "SIM0002"}) {
    result = events.wait(is<ui_event::WriteResult>(key), mark);
    ASSERT_TRUE(result) << key;
    EXPECT_TRUE(std::get<ui_event::WriteResult>(result->event).ok) << key;
    // The registry holds the new values once the report that confirmed the write is applied.
    ASSERT_TRUE(events.wait(is<ui_event::Settings>(key), result->next)) << key;
  }
  const auto after = units();
  EXPECT_EQ(after[0].settings->unit_name, "SIM-1001");
  EXPECT_EQ(after[0].settings->delay_ms, 200);
  EXPECT_EQ(after[0].settings->channels.size(), 10u);
  EXPECT_EQ(after[1].settings->unit_name, "SIM-1002");
  EXPECT_EQ(after[1].settings->delay_ms, 200);
}

TEST(OwlSimulator, ConcurrentStartsSecondStreamAndUnitsThatComeAndGo) {
  std::thread a([] { start(true); });
  std::thread b([] { start(true); });
  a.join();
  b.join();
  const EventRecorder first = subscribed();
  const EventRecorder second = subscribed();
  EXPECT_EQ(second.closes(), 1);
  EXPECT_TRUE(second.all().empty());
  ASSERT_TRUE(both_reported(first));
  // Time for a second engine to show: nothing matches, so this waits the whole 300 ms.
  first.wait([](const UiEvent&) { return false; }, 0, 300ms);
  std::size_t announced = 0;
  for (const UiEvent& e : first.all()) announced += std::holds_alternative<ui_event::Announced>(e);
  EXPECT_EQ(announced, 2u);  // a second engine would have announced its units again

  const std::size_t before_add = first.mark();
  sim_add_unit("SIM0003", 3003, 200000, 201000, 2);
  auto added = first.wait(is<ui_event::Announced>("SIM0003"), before_add);
  ASSERT_TRUE(added);
  auto reported = first.wait(is<ui_event::Settings>("SIM0003"), added->next);
  ASSERT_TRUE(reported);
  refresh_unit("SIM0003");
  refresh_unit("NOPE");
  // Well before the 5 s poll.
  ASSERT_TRUE(first.wait(is<ui_event::Settings>("SIM0003"), reported->next, 2000ms));
  // Why a removed unit stops is the engine's test; here, that the removal reaches the engine.
  sim_remove_unit("SIM0003");
  ASSERT_TRUE(first.wait(is<ui_event::Stopped>("SIM0003")));
  EXPECT_EQ(units().size(), 2u);
}

// A unit that only says who it is: announced by its identity, with no settings yet.
class IdentityOnlyLink final : public ByteLink {
 public:
  Expected<std::size_t, LinkError> read(std::span<std::uint8_t> buffer) override {
    if (!sent_) {
      sent_ = true;
      const std::string text = "OWL 1.0";
      const std::vector<std::uint8_t> frame =
          encode_frame(CMD_TEXT, std::vector<std::uint8_t>(text.begin(), text.end()));
      std::copy(frame.begin(), frame.end(), buffer.begin());
      return frame.size();
    }
    std::this_thread::sleep_for(10ms);
    return Unexpected{LinkError::timed_out()};
  }
  std::optional<LinkError> write_all(std::span<const std::uint8_t>) override { return {}; }
  std::optional<LinkError> flush() override { return {}; }

 private:
  bool sent_ = false;
};

TEST(OwlHardware, NoSimulatorAndAUnitWithoutSettings) {
  start(hardware_without_ports());
  const EventRecorder events = subscribed();
  EXPECT_TRUE(units().empty());
  const std::vector<UnitWriteReport> none{{"", "", {"no unit has reported settings yet"}}};
  EXPECT_EQ(write_all_settings(example_settings(), false), none);
  sim_add_unit("SIM0009", 9, 200000, 201000, 2);  // hardware mode: creates nothing
  EXPECT_FALSE(events.wait([](const UiEvent&) { return true; }, 0, 300ms));
  EXPECT_TRUE(units().empty());

  spawn_device_worker(started_engine().manager, "U1", "/dev/ttyACM7",
                      std::make_unique<IdentityOnlyLink>());
  ASSERT_TRUE(events.wait(is<ui_event::Identity>("U1")));
  const auto list = units();
  ASSERT_EQ(list.size(), 1u);
  EXPECT_EQ(list[0].identity, "OWL 1.0");
  EXPECT_FALSE(list[0].settings.has_value());
  EXPECT_EQ(list[0].settings_json, "");
  EXPECT_TRUE(check_settings("U1", example_settings()).empty());
  EXPECT_EQ(write_settings("U1", example_settings(), false, false),
            std::vector<std::string>{"unit U1 has not reported its settings yet"});
  EXPECT_EQ(write_all_settings(example_settings(), false), none);

  // Beside a unit that has reported settings, the one that has not stops a write to all, and is
  // named with no unit name, since it has none yet.
  add_simulated_unit(started_engine().manager, "SIM0008", 8, 200000, 201000, 2);
  ASSERT_TRUE(events.wait(is<ui_event::Settings>("SIM0008")));
  const UiSettings reported = units()[0].settings.value();  // SIM0008 sorts before U1
  EXPECT_EQ(
      write_all_settings(reported, false),
      (std::vector<UnitWriteReport>{{"U1", "", {"unit U1 has not reported its settings yet"}}}));
  // Nothing was queued for SIM0008, so it takes a write of its own.
  EXPECT_TRUE(write_settings("SIM0008", reported, false, false).empty());
  remove_simulated_unit("SIM0008");
}

TEST(OwlEvents, WriteOutcomesBecomeUserTexts) {
  const std::pair<WriteOutcome, std::string> cases[] = {
      {outcome::Confirmed{}, ""},
      {outcome::NoAnswer{}, "the unit did not answer after the write"},
      {outcome::KeptDifferent{{"channel 3", "delayMs"}},
       "the unit kept different values for: channel 3, delayMs"},
      {outcome::Busy{}, "a previous write to this unit is still being confirmed"},
      {outcome::SendFailed{"Broken pipe"}, "serial write failed: Broken pipe"},
      {outcome::Replaced{}, "the unit was replaced before the write was confirmed"},
  };
  for (const auto& [o, message] : cases) {
    EXPECT_EQ(std::get<ui_event::WriteResult>(to_ui_event(event::WriteResult{o, "K"})),
              (ui_event::WriteResult{"K", message.empty(), message}));
  }
  const UiEvent stopped = to_ui_event(event::Stopped{"K", "device closed", 4});
  EXPECT_EQ(std::get<ui_event::Stopped>(stopped), (ui_event::Stopped{"K", "device closed"}));
  EXPECT_EQ(to_ui_event(event::PortProblems{{"a: b"}}).index(), 5u);
}

TEST(OwlEvents, AStreamWhoseThreadCannotStartIsClosedOnce) {
  testing_support::SeamGuard seams;
  start(hardware_without_ports());
  sys::calls().pthread_create = &testing_support::refuse_thread;
  const EventRecorder events;
  expect_panic([&] { event_stream(std::make_unique<RecordingSink>(events)); },
               "failed to spawn thread");
  EXPECT_EQ(events.closes(), 1);
}

TEST(OwlEvents, AStreamTheUiNoLongerTakesEndsAfterOneItemWithOneClose) {
  start(true);
  const EventRecorder events;
  event_stream(std::make_unique<RecordingSink>(events, false));
  EXPECT_TRUE(events.wait_closed());
  // The engine goes on without a stream, and offers the refused stream nothing more.
  sim_add_unit("SIM0003", 3003, 200000, 201000, 2);
  EXPECT_TRUE(testing_support::eventually([] { return units().size() == 3; }));
  EXPECT_EQ(events.all().size(), 1u);
  EXPECT_EQ(events.closes(), 1);
}

// Fails every post and its close, as a sink whose receiving side broke in an unforeseen way would.
class ThrowingSink final : public EventSink {
 public:
  explicit ThrowingSink(EventRecorder events) : events_(std::move(events)) {}
  bool post(const UiEvent&) override { throw std::runtime_error("post failed"); }
  void close() override {
    events_.close();
    throw std::runtime_error("close failed");
  }

 private:
  EventRecorder events_;
};

TEST(OwlEvents, AFailingStreamIsReportedAndClosedNotFatal) {
  testing_support::SeamGuard seams;
  set_fault_sink(&testing_support::FaultLog::sink);
  start(true);
  const EventRecorder events;
  event_stream(std::make_unique<ThrowingSink>(events));
  EXPECT_TRUE(events.wait_closed());
  EXPECT_EQ(events.closes(), 1);
  EXPECT_TRUE(
      testing_support::eventually([] { return testing_support::FaultLog::seen().size() == 2; }));
  EXPECT_EQ(testing_support::FaultLog::seen(),
            (std::vector<std::string>{"event stream: post failed", "event stream: close failed"}));
  // The engine goes on without a stream.
  EXPECT_TRUE(testing_support::eventually([] { return units().size() == 2; }));
}

// Fails the second critical section the test thread enters: the first is a write's look-up, the
// second the one that queues the write.
std::thread::id failing_thread;
std::atomic<int> sections_entered{0};

void fail_second_section(bool locked) {
  if (locked && std::this_thread::get_id() == failing_thread && ++sections_entered == 2) {
    throw std::bad_alloc();
  }
}

TEST(OwlSimulator, AFailedCallPoisonsTheRegistryWithoutEndingTheProcess) {
  testing_support::SeamGuard seams;
  start(true);
  ASSERT_TRUE(both_reported(subscribed()));
  failing_thread = std::this_thread::get_id();
  sys::registry_hook = &fail_second_section;
  // The call throws before it has a problem list to return.
  EXPECT_THROW(static_cast<void>(write_settings("SIM0001", example_settings(), false, false)),
               std::bad_alloc);
  sys::registry_hook = nullptr;
  // The snapshot behind units() is refused in the registry's own test; a refresh goes the other
  // way.
  expect_panic([] { refresh_unit("SIM0001"); }, "unit registry lock poisoned");
  // That the event pump outlives the poisoned registry is RunEventPump's to show.
}

TEST(OwlSimulator, AnAddWhoseThreadCannotStartLeavesNoUnit) {
  testing_support::SeamGuard seams;
  start(true);
  UnitRegistry& registry = *started_engine().manager.registry;
  sys::calls().pthread_create = &testing_support::refuse_thread;
  const std::string refused = "spawn device thread: Resource temporarily unavailable";
  expect_panic([] { sim_add_unit("SIM0007", 7, 200000, 201000, 2); }, refused);
  EXPECT_FALSE(registry.contains("SIM0007"));
  // Replacing a unit that way ends the old unit too.
  expect_panic([] { sim_add_unit("SIM0001", 1, 200000, 201000, 2); }, refused);
  sys::restore_system_calls();
  EXPECT_TRUE(testing_support::eventually([&] { return !registry.contains("SIM0001"); }));
  sim_add_unit("SIM0007", 7, 200000, 201000, 2);
  EXPECT_TRUE(registry.contains("SIM0007"));
}

// The first add of SIM0005 pauses just before it registers its unit, and a second add of the same
// id gets the chance to run in between.
std::atomic<bool> interleave_armed{false};
std::thread::id first_adder;
std::future<void> second_add;

void let_second_add_in(bool locked) {
  if (locked || std::this_thread::get_id() != first_adder || !interleave_armed.exchange(false)) {
    return;
  }
  second_add =
      std::async(std::launch::async, [] { sim_add_unit("SIM0005", 5, 200000, 201000, 2); });
  // Whether it finishes or is kept out, the first add goes on.
  second_add.wait_for(200ms);
}

TEST(OwlSimulator, OverlappingAddsAndRemovesOfOneIdLeaveNoUnitBehind) {
  testing_support::SeamGuard seams;
  start(true);
  UnitRegistry& registry = *started_engine().manager.registry;
  const auto removed = [&](const char* id) {
    return testing_support::eventually([&] { return !registry.contains(id); });
  };
  first_adder = std::this_thread::get_id();
  interleave_armed = true;
  sys::registry_hook = &let_second_add_in;
  sim_add_unit("SIM0005", 5, 200000, 201000, 2);
  second_add.get();
  sys::registry_hook = nullptr;
  sim_remove_unit("SIM0005");
  EXPECT_TRUE(removed("SIM0005")) << "a simulated unit is left that cannot be removed";

  for (int round = 0; round < 40; ++round) {
    std::thread first([] { sim_add_unit("SIM0006", 6, 200000, 201000, 2); });
    std::thread second([round] {
      if (round % 2 == 0) {
        sim_add_unit("SIM0006", 6, 200000, 201000, 2);
      } else {
        sim_remove_unit("SIM0006");
      }
    });
    first.join();
    second.join();
    sim_remove_unit("SIM0006");
    ASSERT_TRUE(removed("SIM0006")) << "round " << round;
  }
}

}  // namespace
}  // namespace owl
