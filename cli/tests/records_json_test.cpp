#include "records_json.hpp"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <ctime>

namespace owl::cli {
namespace {

TEST(RecordsJson, UnitLineAndJsonWithAndWithoutSettings) {
  const UnitInfo unit{"0001", "/dev/ttyACM0", std::nullopt, std::nullopt, ""};
  const auto json = unit_to_json(unit);
  EXPECT_EQ(json["key"], "0001");
  EXPECT_EQ(json["label"], "/dev/ttyACM0");
  EXPECT_TRUE(json["identity"].is_null());
  EXPECT_TRUE(json["settings"].is_null());
  EXPECT_EQ(unit_line(unit), "0001  -  /dev/ttyACM0  -  no settings yet");

  UiSettings settings;
  settings.unit_name = "SIM-1001";
  settings.channels.resize(10);
  const UnitInfo full{"SIM0001", "simulator", "OWL 9.99 sn1001", settings, "{}"};
  EXPECT_EQ(unit_line(full), "SIM0001  SIM-1001  simulator  OWL 9.99 sn1001  10 channels");
  EXPECT_EQ(unit_to_json(full)["settings"]["unit_name"], "SIM-1001");
  EXPECT_EQ(unit_to_json(full)["settings_json"], "{}");
}

TEST(RecordsJson, EveryEventKindHasAJsonAndATextForm) {
  const std::vector<std::pair<UiEvent, std::string>> cases = {
      {ui_event::Announced{"K", "simulator"}, "announced K at simulator"},
      {ui_event::Stopped{"K", "device closed"}, "stopped K: device closed"},
      {ui_event::Identity{"K", "OWL 9.99"}, "identity K: OWL 9.99"},
      {ui_event::WriteResult{"K", true, ""}, "write K: confirmed"},
      {ui_event::WriteResult{"K", false, "the unit did not answer after the write"},
       "write K: failed: the unit did not answer after the write"},
      {ui_event::PortProblems{{"/dev/ttyACM0: Permission denied"}},
       "port problems: /dev/ttyACM0: Permission denied"},
      {ui_event::PortProblems{{}}, "port problems: none"},
  };
  for (const auto& [event, line] : cases) EXPECT_EQ(event_line(event), line);
  const auto write = event_to_json(ui_event::WriteResult{"K", false, "m"});
  EXPECT_EQ(write["event"], "write_result");
  EXPECT_EQ(write["ok"], false);
  EXPECT_EQ(write["message"], "m");
  const auto settings = event_to_json(ui_event::Settings{"K", UiSettings{}});
  EXPECT_EQ(settings["event"], "settings");
  EXPECT_TRUE(settings["settings"]["channels"].is_array());
  EXPECT_EQ(event_to_json(ui_event::PortProblems{{"a"}})["lines"][0], "a");
}

TEST(RecordsJson, InvalidUtf8IsReplacedNotFatal) {
  const auto json = event_to_json(ui_event::Identity{"K", std::string("OWL \xff")});
  EXPECT_NE(dump_json(json).find("\xEF\xBF\xBD"), std::string::npos);
}

TEST(RecordsJson, WatchLinesStartWithTheLocalTime) {
  const auto time = std::chrono::system_clock::time_point(std::chrono::milliseconds(1796591700042));
  ::setenv("TZ", "UTC", 1);
  ::tzset();
  EXPECT_EQ(time_stamp(time), "2026-12-06T21:15:00.042+00:00");
  ::setenv("TZ", "EST5", 1);  // five hours behind UTC
  ::tzset();
  EXPECT_EQ(time_stamp(time), "2026-12-06T16:15:00.042-05:00");
  const UiEvent event = ui_event::Announced{"K", "simulator"};
  EXPECT_EQ(watch_line(event, time, false),
            "2026-12-06T16:15:00.042-05:00 announced K at simulator");
  EXPECT_EQ(watch_line(event, time, true),
            R"({"time":"2026-12-06T16:15:00.042-05:00","event":"announced","key":"K",)"
            R"("label":"simulator"})");
}

TEST(RecordsJson, WatchShowsReportsOnlyWhenTheyChanged) {
  UiSettings a;
  a.delay_ms = 1;
  UiSettings b = a;
  b.delay_ms = 2;
  WatchFilter filter;
  const std::pair<UiEvent, bool> steps[] = {
      {ui_event::Announced{"K", "simulator"}, true},
      {ui_event::Settings{"K", a}, true},   // the first report
      {ui_event::Settings{"K", a}, false},  // the same again
      {ui_event::Settings{"L", a}, true},   // another unit's own first report
      {ui_event::Identity{"K", "OWL 9.99"}, true},
      {ui_event::Identity{"K", "OWL 9.99"}, false},
      {ui_event::Identity{"L", "OWL 9.99"}, true},
      {ui_event::Identity{"K", "OWL 10.0"}, true},
      {ui_event::Settings{"K", b}, true},  // changed
      {ui_event::Settings{"K", b}, false},
      {ui_event::Settings{"K", a}, true},  // changed back
      {ui_event::Stopped{"K", "device closed"}, true},
      {ui_event::Settings{"K", a}, true},  // back after it stopped
      {ui_event::Identity{"K", "OWL 10.0"}, true},
      {ui_event::Settings{"L", a}, false},
  };
  int step = 0;
  for (const auto& [event, shown] : steps)
    EXPECT_EQ(filter.shows(event), shown) << "step " << step++;
}

}  // namespace
}  // namespace owl::cli
