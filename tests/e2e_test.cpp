#include <gtest/gtest.h>

#include <chrono>
#include <future>

#include "event_recorder.hpp"
#include "owl_client.hpp"

using namespace std::chrono_literals;

// The engine on the simulator, reached only through its exported functions. Each case runs in its
// own process (ctest), since the engine starts once per process.
namespace owl {
namespace {

using client::Client;
using client::EnginePanic;

using test_events::EventRecorder;
using test_events::is;

// Subscribes a new recorder; the engine sends to it from then on.
EventRecorder subscribe(Client& c) {
  EventRecorder events;
  std::promise<void> answered;
  c.event_stream(events.on_event(), events.on_close(), [&](client::Result<client::Nothing> r) {
    EXPECT_TRUE(r.has_value());
    answered.set_value();
  });
  answered.get_future().wait();
  return events;
}

TEST(EndToEnd, BeforeStartTheEngineAnswersWithPanicsAndStatus) {
  Client& c = Client::instance();
  EXPECT_EQ(c.core_version(), "0.1.0");
  EXPECT_FALSE(c.build_features());
  EXPECT_EQ(c.example_settings().encryption, "000000");
  EXPECT_EQ(c.enum_options().hph_mode, (std::vector<std::string>{"MONO", "STEREO", "BALANCED"}));
  try {
    c.units_wait();
    ADD_FAILURE() << "units answered before start";
  } catch (const EnginePanic& p) {
    EXPECT_STREQ(p.what(), "start() must be called first");
  }
  // The call throws before it has a problem list to return.
  EXPECT_THROW(
      static_cast<void>(c.write_settings_wait("SIM0001", c.example_settings(), false, false)),
      EnginePanic);
  EXPECT_TRUE(subscribe(c).wait_closed(5s));
}

TEST(EndToEnd, FromAnnouncedToAConfirmedWrite) {
  Client& c = Client::instance();
  c.initialize_wait();
  c.start_wait(true);
  const EventRecorder events = subscribe(c);

  auto announced = events.wait(is<ui_event::Announced>());
  ASSERT_TRUE(announced);
  EXPECT_EQ(std::get<ui_event::Announced>(announced->event).label, "simulator");
  ASSERT_TRUE(events.wait(is<ui_event::Settings>("SIM0001")));
  ASSERT_TRUE(events.wait(is<ui_event::Settings>("SIM0002")));
  auto identity = events.wait(is<ui_event::Identity>("SIM0002"));
  ASSERT_TRUE(identity);
  EXPECT_EQ(std::get<ui_event::Identity>(identity->event).text, "OWL 9.99 sn1002");

  std::vector<UnitInfo> units = c.units_wait();
  ASSERT_EQ(units.size(), 2u);
  EXPECT_EQ(units[0].key, "SIM0001");
  ASSERT_TRUE(units[1].settings.has_value());
  EXPECT_EQ(units[1].settings->min_freq, 192000u);
  EXPECT_NE(units[1].settings_json.find("\"unitSerialNum\": 1002"), std::string::npos);

  UiSettings form = *units[1].settings;
  form.delay_ms = 450;
  EXPECT_EQ(c.check_settings_wait("SIM0002", form),
            std::vector<std::string>{"delay 450 ms is over the 400 ms maximum"});
  EXPECT_EQ(c.write_settings_wait("SIM0002", form, false, false),
            std::vector<std::string>{"delay 450 ms is over the 400 ms maximum"});
  form.delay_ms = 250;
  form.hph_mode = "stereo";
  form.encryption = "00beef";
  const std::size_t mark = events.mark();
  EXPECT_TRUE(c.write_settings_wait("SIM0002", form, false, false).empty());
  auto result = events.wait(is<ui_event::WriteResult>("SIM0002"), mark);
  ASSERT_TRUE(result);
  EXPECT_EQ(std::get<ui_event::WriteResult>(result->event),
            (ui_event::WriteResult{"SIM0002", true, ""}));
  auto report = events.wait(is<ui_event::Settings>("SIM0002"), result->next);
  ASSERT_TRUE(report);
  const UiSettings& after = std::get<ui_event::Settings>(report->event).settings;
  EXPECT_EQ(after.delay_ms, 250);
  EXPECT_EQ(after.hph_mode, "STEREO");
  EXPECT_EQ(after.encryption, "00BEEF");
  EXPECT_EQ(after.serial, 1002u);
}

TEST(EndToEnd, SimulatorUnitsWriteToAllRefreshAndRemoval) {
  Client& c = Client::instance();
  c.initialize_wait();
  c.start_wait(true);
  const EventRecorder events = subscribe(c);
  ASSERT_TRUE(events.wait(is<ui_event::Settings>("SIM0001")));
  ASSERT_TRUE(events.wait(is<ui_event::Settings>("SIM0002")));

  c.sim_add_unit_wait("SIM0003", 3003, 215000, 217000, 4);
  auto added = events.wait(is<ui_event::Settings>("SIM0003"));
  ASSERT_TRUE(added);
  c.refresh_unit_wait("SIM0003");
  ASSERT_TRUE(events.wait(is<ui_event::Settings>("SIM0003"), added->next, 2000ms));

  UiSettings form = *c.units_wait()[0].settings;
  form.charge = "FAST";
  form.delay_ms = 40;
  const std::size_t mark = events.mark();
  EXPECT_TRUE(c.write_all_settings_wait(form, true).empty());
  for (const std::string key : {"SIM0001", "SIM0002", "SIM0003"}) {
    auto result = events.wait(is<ui_event::WriteResult>(key), mark);
    ASSERT_TRUE(result) << key;
    EXPECT_TRUE(std::get<ui_event::WriteResult>(result->event).ok) << key;
  }
  // A second write to all while the units confirm, or with a bad form, is refused whole.
  form.led = "blinking";
  const std::vector<UnitWriteReport> refused = c.write_all_settings_wait(form, false);
  ASSERT_EQ(refused.size(), 1u);
  EXPECT_EQ(refused[0].problems, std::vector<std::string>{"LED has an invalid value: blinking"});

  c.sim_remove_unit_wait("SIM0003");
  auto stopped = events.wait(is<ui_event::Stopped>("SIM0003"));
  ASSERT_TRUE(stopped);
  EXPECT_EQ(std::get<ui_event::Stopped>(stopped->event).reason,
            "read failed: Broken pipe (BrokenPipe)");
  // The engine takes a unit out of its list before it passes the unit's end on.
  EXPECT_EQ(c.units_wait().size(), 2u);
}

}  // namespace
}  // namespace owl
