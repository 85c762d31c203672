#include "settings_file.hpp"

#include <gtest/gtest.h>

#include <set>
#include <tuple>

#include "option_names.hpp"
#include "user_error.hpp"

namespace owl::frontend {
namespace {

UiSettings sample() {
  UiSettings s{"SIM-1001", 1001,     "OFF",     true,       0,         "MONO", "ON",
               "SLOW",     "MED",    "CHANNEL", "ANNOUNCE", "DIGITAL", "OFF",  "ALKALINE",
               "000000",   "NORMAL", false,     215000,     217000,    {}};
  s.channels = {
      {215000, false, false, true}, {215100, false, true, false}, {215200, false, false, false}};
  return s;
}

// The status and message of the user error an action raises: {0, ""} when it raises none.
std::pair<int, std::string> refusal_of(const std::function<void()>& action) {
  try {
    action();
  } catch (const UserError& error) {
    return {error.status(), error.what()};
  }
  return {0, ""};
}

EnumOptions options() {
  return testing_support::engine_option_names();
}

TEST(Form, AssignmentSplitsAtFirstEquals) {
  const auto a = parse_assignment("unit_name=A=B");
  EXPECT_EQ(a.field, "unit_name");
  EXPECT_EQ(a.value, "A=B");
  EXPECT_EQ(parse_assignment("encryption=").value, "");
  EXPECT_EQ(refusal_of([] { parse_assignment("delay_ms"); }).first, STATUS_USAGE);
  EXPECT_EQ(refusal_of([] { parse_assignment("=5"); }).first, STATUS_USAGE);
}

TEST(Form, AppliesAndRendersFieldsByName) {
  UiSettings s = sample();
  for (const char* a : {"delay_ms=120", "hph_mode=stereo", "gain_boost=yes", "boot_announce=FALSE",
                        "channel.3.frequency=216000", "channel.2.enable=true", "channel.1.delay=on",
                        "channel.1.voting=1"}) {
    apply_assignment(s, parse_assignment(a));
  }
  EXPECT_EQ(s.delay_ms, 120);
  EXPECT_EQ(s.hph_mode, "stereo");
  EXPECT_TRUE(s.gain_boost);
  EXPECT_FALSE(s.boot_announce);
  EXPECT_EQ(s.channels[2].frequency, 216000u);
  EXPECT_TRUE(s.channels[1].channel_enable);
  EXPECT_TRUE(s.channels[0].delay_enable);
  EXPECT_TRUE(s.channels[0].voting_enable);
  EXPECT_EQ(s.channels[0].frequency, 215000u);
  EXPECT_EQ(field_value(s, "delay_ms"), "120");
  EXPECT_EQ(field_value(s, "boot_announce"), "false");
  EXPECT_EQ(field_value(s, "hph_mode"), "stereo");
  EXPECT_EQ(field_value(s, "channel.2.voting"), "true");
  EXPECT_EQ(field_value(s, "channel.3.frequency"), "216000");
}

TEST(Form, RefusesBadAssignmentsAsUsageErrors) {
  UiSettings s = sample();
  const UiSettings before = s;
  for (const char* a : {"delay_ms=12x", "delay_ms=-1", "delay_ms=65536", "gain_boost=maybe",
                        "channel.4.frequency=216000", "channel.0.enable=true",
                        "channel.x.enable=true", "channel.1.colour=red", "volume=3"}) {
    EXPECT_EQ(refusal_of([&] { apply_assignment(s, parse_assignment(a)); }).first, STATUS_USAGE)
        << a;
  }
  EXPECT_EQ(s, before);
  for (const char* field : {"serial", "rf_mode", "min_freq", "max_freq"}) {
    const auto message = refusal_of([&] { apply_assignment(s, {field, "5"}); }).second;
    EXPECT_NE(message.find(field), std::string::npos) << message;
    EXPECT_NE(message.find("read-only"), std::string::npos) << message;
  }
  EXPECT_EQ(s, before);
}

TEST(Form, JsonRoundTripsInWireOrderAndMayLeaveOutReadOnlyFields) {
  UiSettings s = sample();
  s.delay_ms = 65535;
  s.encryption = "00AB12";
  const auto file = settings_from_json_text(settings_to_json(s).dump(2), "f.json");
  EXPECT_EQ(file.settings, s);
  EXPECT_EQ(file.read_only_given,
            (std::set<std::string>{"serial", "rf_mode", "min_freq", "max_freq"}));
  auto json = settings_to_json(sample());
  std::vector<std::string> keys;
  for (const auto& item : json.items()) keys.push_back(item.key());
  ASSERT_EQ(keys.size(), 20u);
  EXPECT_EQ(keys.front(), "unit_name");
  EXPECT_EQ(keys[4], "delay_ms");
  EXPECT_EQ(keys.back(), "channels");
  EXPECT_EQ(json["channels"][1]["voting_enable"], true);
  json.erase("serial");
  json.erase("min_freq");
  json.erase("rf_mode");
  json["max_freq"] = 1u;
  const auto partial = settings_from_json(json, "f.json");
  EXPECT_TRUE(partial.gives("max_freq"));
  EXPECT_FALSE(partial.gives("rf_mode"));
  UiSettings unit = sample();
  unit.serial = 77;
  unit.rf_mode = "FM_ANALOG";
  // A write sends the unit's own read-only values; a comparison keeps those the file gives.
  const UiSettings written = partial.for_unit(unit);
  EXPECT_EQ(std::tie(written.serial, written.rf_mode, written.min_freq, written.max_freq),
            std::tie(unit.serial, unit.rf_mode, unit.min_freq, unit.max_freq));
  const UiSettings compared = partial.filled_from(unit);
  EXPECT_EQ(compared.serial, 77u);
  EXPECT_EQ(compared.rf_mode, "FM_ANALOG");
  EXPECT_EQ(compared.max_freq, 1u);
}

struct BadFile {
  std::function<void(nlohmann::json&)> change;
  std::string named;
};

TEST(Form, MalformedJsonIsRefusedNamingTheProblem) {
  const std::vector<BadFile> cases = {
      {[](nlohmann::json& j) { j.erase("led"); }, "led: missing field"},
      {[](nlohmann::json& j) { j["volume"] = 3; }, "volume: unknown field"},
      {[](nlohmann::json& j) { j["delay_ms"] = "120"; }, "delay_ms: must be a whole number"},
      {[](nlohmann::json& j) { j["delay_ms"] = -1; }, "delay_ms: must be a whole number"},
      {[](nlohmann::json& j) { j["delay_ms"] = 70000; }, "delay_ms: must be a whole number"},
      {[](nlohmann::json& j) { j["delay_ms"] = 1.5; }, "delay_ms: must be a whole number"},
      {[](nlohmann::json& j) { j["gain_boost"] = 1; }, "gain_boost: must be true or false"},
      {[](nlohmann::json& j) { j["hph_mode"] = nullptr; }, "hph_mode: must be a string"},
      {[](nlohmann::json& j) { j["channels"] = 5; }, "channels: must be an array"},
      {[](nlohmann::json& j) { j.erase("channels"); }, "channels: missing field"},
      {[](nlohmann::json& j) { j["channels"][1].erase("frequency"); },
       "channels[1].frequency: missing field"},
      {[](nlohmann::json& j) { j["channels"][0]["colour"] = 1; },
       "channels[0].colour: unknown field"},
      {[](nlohmann::json& j) { j["channels"][2] = 7; }, "channels[2]: must be an object"},
      {[](nlohmann::json& j) { j = nlohmann::json::array(); }, "expected a JSON object"},
      {[](nlohmann::json& j) {
         j = {{"unitName", "A"}, {"abButton", "OFF"}};
       },
       "this is `owlctl show` output; save a settings file with `owlctl save`"},
  };
  for (const auto& bad : cases) {
    auto json = nlohmann::json::parse(settings_to_json(sample()).dump());
    bad.change(json);
    const auto [status, message] = refusal_of([&] { settings_from_json(json, "bad.json"); });
    EXPECT_EQ(status, STATUS_FAILED) << bad.named;
    EXPECT_NE(message.find(bad.named), std::string::npos) << message;
    EXPECT_EQ(message.rfind("bad.json: ", 0), 0u) << message;
  }
}

TEST(Form, EveryProblemIsListedWithItsPath) {
  auto json = nlohmann::ordered_json::parse(settings_to_json(sample()).dump());
  json["dely_ms"] = 120;
  json["channels"][1]["frequency"] = "216.5";
  json.erase("led");
  std::vector<std::string> texts;
  for (const auto& problem : settings_problems(json)) texts.push_back(problem.text());
  EXPECT_EQ(texts, (std::vector<std::string>{
                       "dely_ms: unknown field", "led: missing field",
                       "channels[1].frequency: must be a whole number from 0 to 4294967295, "
                       "not \"216.5\""}));
  EXPECT_TRUE(
      settings_problems(nlohmann::ordered_json::parse(settings_to_json(sample()).dump())).empty());
  const auto show = nlohmann::ordered_json::parse(R"({"format": "owl-show", "version": 1})");
  EXPECT_EQ(settings_problems(show).at(0).message, SHOW_NOT_SETTINGS);
  // The file form says all of them, one line each.
  const auto message = refusal_of([&] { settings_from_json(json, "x.json"); }).second;
  EXPECT_EQ(std::count(message.begin(), message.end(), '\n'), 2) << message;
}

TEST(Form, InvalidJsonTextIsRefused) {
  const auto message =
      refusal_of([] { settings_from_json_text("{\"unit_name\": ", "x.json"); }).second;
  EXPECT_NE(message.find("x.json: not valid JSON"), std::string::npos) << message;
  EXPECT_EQ(refusal_of([] { settings_from_json_text("", "x.json"); }).first, STATUS_FAILED);
}

using Diff = std::vector<std::tuple<std::string, std::string, std::string>>;

Diff as_tuples(const std::vector<Difference>& differences) {
  Diff out;
  for (const auto& x : differences) out.emplace_back(x.field, x.left, x.right);
  return out;
}

TEST(Form, DiffListsChangedFieldsInOrder) {
  const UiSettings a = sample();
  UiSettings b = a;
  EXPECT_TRUE(diff_settings(a, b, options()).empty());
  b.delay_ms = 120;
  b.unit_name = "OTHER";
  b.channels[2].frequency = 216000;
  EXPECT_EQ(as_tuples(diff_settings(a, b, options())),
            (Diff{{"unit_name", "SIM-1001", "OTHER"},
                  {"delay_ms", "0", "120"},
                  {"channel.3.frequency", "215200", "216000"}}));
  b = a;
  b.channels.pop_back();  // a channel only one side has
  const auto d = as_tuples(diff_settings(a, b, options()));
  ASSERT_EQ(d.size(), 5u);
  EXPECT_EQ(d[0],
            std::make_tuple(std::string("channel_count"), std::string("3"), std::string("2")));
  EXPECT_EQ(std::get<0>(d[1]), "channel.3.frequency");
  EXPECT_EQ(std::get<2>(d[1]), "-");
}

TEST(Form, DiffComparesValuesAsTheEngineReadsThem) {
  const UiSettings a = sample();  // MONO, ON, MED, CHANNEL, 000000
  UiSettings b = a;
  b.hph_mode = "mono";
  b.led = "1";        // the code of ON
  b.squelch = "+40";  // squelch codes are levels, 40 is MED
  b.ab_button = "Channel";
  b.encryption = "000000";
  EXPECT_TRUE(diff_settings(a, b, options()).empty());
  b.hph_mode = "stereo";
  b.squelch = "39";
  b.unit_name = "sim-1001";  // names are not options: case matters
  b.compander = "loud";      // not an option name: shown as given
  EXPECT_EQ(as_tuples(diff_settings(a, b, options())), (Diff{{"unit_name", "SIM-1001", "sim-1001"},
                                                             {"hph_mode", "MONO", "STEREO"},
                                                             {"squelch", "MED", "39"},
                                                             {"compander", "OFF", "loud"}}));
  EXPECT_EQ(canonical_value("encryption", "00ab12", options()), "00AB12");
  EXPECT_EQ(canonical_value("led", "7", options()), "7");
  EXPECT_EQ(canonical_value("led", "256", options()), "256");
  EXPECT_EQ(canonical_value("star_button", "3", options()), "ANNOUNCE");
}

TEST(Form, LoadNotesSayWhatTheWriteDoesNotDoAsTheFileSays) {
  UiSettings unit = sample();
  unit.channels.resize(10);
  struct Case {
    std::size_t file_channels;
    std::string warning;  // empty: none
  };
  const Case cases[] = {
      {12, "file has 12 channels, K has 10: channels 11-12 are not written"},
      {11, "file has 11 channels, K has 10: channel 11 is not written"},
      {3, "file has 3 channels, K has 10: channels 4-10 keep the unit's values"},
      {9, "file has 9 channels, K has 10: channel 10 keeps the unit's value"},
      {1, "file has 1 channel, K has 10: channels 2-10 keep the unit's values"},
      {10, ""},
  };
  for (const auto& c : cases) {
    SettingsFile file{unit, {}};
    file.settings.channels.resize(c.file_channels);
    const auto notes = load_notes(file, "K", unit, false, false, options());
    EXPECT_FALSE(notes.refusal);
    EXPECT_EQ(notes.warnings,
              c.warning.empty() ? std::vector<std::string>{} : std::vector<std::string>{c.warning});
  }

  SettingsFile file{unit, {"rf_mode"}};
  // The unit's own mode (DIGITAL, code 1) in the other ways the engine reads it.
  for (const char* same : {"digital", "1", "+1"}) {
    file.settings.rf_mode = same;
    EXPECT_TRUE(load_notes(file, "K", unit, false, false, options()).warnings.empty()) << same;
  }
  for (const char* other : {"FM_ANALOG", "0"}) {
    file.settings.rf_mode = other;
    EXPECT_EQ(load_notes(file, "K", unit, false, false, options()).warnings,
              std::vector<std::string>{"the file asks for rf_mode FM_ANALOG, but the RF mode "
                                       "cannot be changed: K keeps DIGITAL"})
        << other;
  }
  file.read_only_given.clear();  // a file without rf_mode asks for nothing
  EXPECT_TRUE(load_notes(file, "K", unit, false, false, options()).warnings.empty());
}

TEST(Form, AFileFromAnotherUnitNeedsConsent) {
  const UiSettings unit = sample();  // serial 1001
  SettingsFile file{unit, {"serial"}};
  file.settings.serial = 1002;
  file.settings.unit_name = "SIM-1002";
  const auto refused = load_notes(file, "K", unit, false, false, options());
  ASSERT_TRUE(refused.refusal);
  for (const char* part :
       {"serial 1002", "K has serial 1001", "SIM-1002", "--keep-name", "--any-unit"}) {
    EXPECT_NE(refused.refusal->find(part), std::string::npos) << *refused.refusal;
  }
  EXPECT_FALSE(load_notes(file, "K", unit, true, false, options()).refusal);
  EXPECT_FALSE(load_notes(file, "K", unit, false, true, options()).refusal);
  file.read_only_given.clear();  // no serial in the file: nothing to compare
  EXPECT_FALSE(load_notes(file, "K", unit, false, false, options()).refusal);
  file = SettingsFile{unit, {"serial"}};  // its own backup
  EXPECT_FALSE(load_notes(file, "K", unit, false, false, options()).refusal);
}

}  // namespace
}  // namespace owl::frontend
