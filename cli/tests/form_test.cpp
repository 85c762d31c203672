#include "form.hpp"

#include <gtest/gtest.h>

#include "errors.hpp"

namespace owl::cli {
namespace {

UiSettings sample() {
  UiSettings s;
  s.unit_name = "SIM-1001";
  s.serial = 1001;
  s.voice_prompts = "OFF";
  s.boot_announce = true;
  s.delay_ms = 0;
  s.hph_mode = "MONO";
  s.led = "ON";
  s.charge = "SLOW";
  s.squelch = "MED";
  s.ab_button = "CHANNEL";
  s.star_button = "ANNOUNCE";
  s.rf_mode = "DIGITAL";
  s.compander = "OFF";
  s.battery_type = "ALKALINE";
  s.encryption = "000000";
  s.audio_eq = "NORMAL";
  s.gain_boost = false;
  s.min_freq = 215000;
  s.max_freq = 217000;
  for (std::uint32_t i = 0; i < 3; ++i)
    s.channels.push_back({215000 + 100 * i, false, i == 1, i == 0});
  return s;
}

int status_of(const std::function<void()>& action) {
  try {
    action();
  } catch (const CliError& error) {
    return error.status();
  }
  return EXIT_OK;
}

std::string message_of(const std::function<void()>& action) {
  try {
    action();
  } catch (const CliError& error) {
    return error.what();
  }
  return "";
}

TEST(Form, AssignmentSplitsAtFirstEquals) {
  const auto a = parse_assignment("unit_name=A=B");
  EXPECT_EQ(a.field, "unit_name");
  EXPECT_EQ(a.value, "A=B");
  EXPECT_EQ(parse_assignment("encryption=").value, "");
  EXPECT_EQ(status_of([] { parse_assignment("delay_ms"); }), EXIT_USAGE);
  EXPECT_EQ(status_of([] { parse_assignment("=5"); }), EXIT_USAGE);
}

TEST(Form, AppliesTopLevelFields) {
  UiSettings s = sample();
  apply_assignment(s, {"delay_ms", "120"});
  apply_assignment(s, {"hph_mode", "stereo"});
  apply_assignment(s, {"gain_boost", "yes"});
  apply_assignment(s, {"boot_announce", "FALSE"});
  EXPECT_EQ(s.delay_ms, 120);
  EXPECT_EQ(s.hph_mode, "stereo");
  EXPECT_TRUE(s.gain_boost);
  EXPECT_FALSE(s.boot_announce);
}

TEST(Form, AppliesChannelFieldsByNumber) {
  UiSettings s = sample();
  apply_assignment(s, {"channel.3.frequency", "216000"});
  apply_assignment(s, {"channel.2.enable", "true"});
  apply_assignment(s, {"channel.1.delay", "on"});
  apply_assignment(s, {"channel.1.voting", "1"});
  EXPECT_EQ(s.channels[2].frequency, 216000u);
  EXPECT_TRUE(s.channels[1].channel_enable);
  EXPECT_TRUE(s.channels[0].delay_enable);
  EXPECT_TRUE(s.channels[0].voting_enable);
  EXPECT_EQ(s.channels[0].frequency, 215000u);
}

TEST(Form, RefusesBadAssignmentsAsUsageErrors) {
  UiSettings s = sample();
  const UiSettings before = s;
  EXPECT_EQ(status_of([&] { apply_assignment(s, {"delay_ms", "12x"}); }), EXIT_USAGE);
  EXPECT_EQ(status_of([&] { apply_assignment(s, {"delay_ms", "-1"}); }), EXIT_USAGE);
  EXPECT_EQ(status_of([&] { apply_assignment(s, {"delay_ms", "65536"}); }), EXIT_USAGE);
  EXPECT_EQ(status_of([&] { apply_assignment(s, {"gain_boost", "maybe"}); }), EXIT_USAGE);
  EXPECT_EQ(status_of([&] { apply_assignment(s, {"channel.4.frequency", "216000"}); }), EXIT_USAGE);
  EXPECT_EQ(status_of([&] { apply_assignment(s, {"channel.0.enable", "true"}); }), EXIT_USAGE);
  EXPECT_EQ(status_of([&] { apply_assignment(s, {"channel.x.enable", "true"}); }), EXIT_USAGE);
  EXPECT_EQ(status_of([&] { apply_assignment(s, {"channel.1.colour", "red"}); }), EXIT_USAGE);
  EXPECT_EQ(status_of([&] { apply_assignment(s, {"volume", "3"}); }), EXIT_USAGE);
  EXPECT_EQ(s, before);
}

TEST(Form, RefusesReadOnlyFieldsNamingThem) {
  UiSettings s = sample();
  for (const char* field : {"serial", "min_freq", "max_freq"}) {
    const auto message = message_of([&] { apply_assignment(s, {field, "5"}); });
    EXPECT_NE(message.find(field), std::string::npos) << message;
    EXPECT_NE(message.find("read-only"), std::string::npos) << message;
  }
  EXPECT_EQ(s.serial, 1001u);
}

TEST(Form, FieldValueRendersAsAssigned) {
  const UiSettings s = sample();
  EXPECT_EQ(field_value(s, "delay_ms"), "0");
  EXPECT_EQ(field_value(s, "boot_announce"), "true");
  EXPECT_EQ(field_value(s, "hph_mode"), "MONO");
  EXPECT_EQ(field_value(s, "channel.2.voting"), "true");
  EXPECT_EQ(field_value(s, "channel.3.frequency"), "215200");
}

TEST(Form, JsonRoundTripsEveryField) {
  UiSettings s = sample();
  s.delay_ms = 65535;
  s.encryption = "00AB12";
  const auto text = settings_to_json(s).dump(2);
  EXPECT_EQ(settings_from_json_text(text, "f.json"), s);
}

TEST(Form, JsonUsesUiNamesInWireOrder) {
  const auto json = settings_to_json(sample());
  std::vector<std::string> keys;
  for (const auto& item : json.items()) keys.push_back(item.key());
  ASSERT_EQ(keys.size(), 20u);
  EXPECT_EQ(keys.front(), "unit_name");
  EXPECT_EQ(keys[4], "delay_ms");
  EXPECT_EQ(keys.back(), "channels");
  EXPECT_EQ(json["channels"][1]["voting_enable"], true);
}

TEST(Form, JsonMayLeaveOutReadOnlyFields) {
  auto json = nlohmann::json::parse(settings_to_json(sample()).dump());
  json.erase("serial");
  json.erase("min_freq");
  const auto s = settings_from_json(json, "f.json");
  EXPECT_EQ(s.serial, 0u);
  EXPECT_EQ(s.delay_ms, 0);
}

struct BadFile {
  std::function<void(nlohmann::json&)> change;
  std::string named;
};

TEST(Form, MalformedJsonIsRefusedNamingTheProblem) {
  const std::vector<BadFile> cases = {
      {[](nlohmann::json& j) { j.erase("led"); }, "missing field 'led'"},
      {[](nlohmann::json& j) { j["volume"] = 3; }, "unknown field 'volume'"},
      {[](nlohmann::json& j) { j["delay_ms"] = "120"; }, "'delay_ms' must be a whole number"},
      {[](nlohmann::json& j) { j["delay_ms"] = -1; }, "'delay_ms' must be a whole number"},
      {[](nlohmann::json& j) { j["delay_ms"] = 70000; }, "'delay_ms' must be a whole number"},
      {[](nlohmann::json& j) { j["delay_ms"] = 1.5; }, "'delay_ms' must be a whole number"},
      {[](nlohmann::json& j) { j["gain_boost"] = 1; }, "'gain_boost' must be true or false"},
      {[](nlohmann::json& j) { j["hph_mode"] = nullptr; }, "'hph_mode' must be a string"},
      {[](nlohmann::json& j) { j["channels"] = 5; }, "'channels' must be an array"},
      {[](nlohmann::json& j) { j.erase("channels"); }, "missing field 'channels'"},
      {[](nlohmann::json& j) { j["channels"][1].erase("frequency"); },
       "missing field 'channels[1].frequency'"},
      {[](nlohmann::json& j) { j["channels"][0]["colour"] = 1; },
       "unknown field 'channels[0].colour'"},
      {[](nlohmann::json& j) { j["channels"][2] = 7; }, "'channels[2]' must be an object"},
      {[](nlohmann::json& j) { j = nlohmann::json::array(); }, "expected a JSON object"},
  };
  for (const auto& bad : cases) {
    auto json = nlohmann::json::parse(settings_to_json(sample()).dump());
    bad.change(json);
    try {
      settings_from_json(json, "bad.json");
      ADD_FAILURE() << "accepted: " << bad.named;
    } catch (const CliError& error) {
      EXPECT_EQ(error.status(), EXIT_FAILED);
      EXPECT_NE(std::string(error.what()).find(bad.named), std::string::npos) << error.what();
      EXPECT_EQ(std::string(error.what()).rfind("bad.json: ", 0), 0u) << error.what();
    }
  }
}

TEST(Form, InvalidJsonTextIsRefused) {
  const auto message = message_of([] { settings_from_json_text("{\"unit_name\": ", "x.json"); });
  EXPECT_NE(message.find("x.json: not valid JSON"), std::string::npos) << message;
  EXPECT_EQ(status_of([] { settings_from_json_text("", "x.json"); }), EXIT_FAILED);
}

TEST(Form, DiffListsChangedFieldsInOrder) {
  const UiSettings a = sample();
  UiSettings b = a;
  EXPECT_TRUE(diff_settings(a, b).empty());
  b.delay_ms = 120;
  b.unit_name = "OTHER";
  b.channels[2].frequency = 216000;
  const auto d = diff_settings(a, b);
  ASSERT_EQ(d.size(), 3u);
  EXPECT_EQ(d[0].field, "unit_name");
  EXPECT_EQ(d[0].left, "SIM-1001");
  EXPECT_EQ(d[0].right, "OTHER");
  EXPECT_EQ(d[1].field, "delay_ms");
  EXPECT_EQ(d[1].right, "120");
  EXPECT_EQ(d[2].field, "channel.3.frequency");
  EXPECT_EQ(d[2].left, "215200");
  EXPECT_EQ(d[2].right, "216000");
}

TEST(Form, DiffShowsChannelsOnlyOneSideHas) {
  const UiSettings a = sample();
  UiSettings b = a;
  b.channels.pop_back();
  const auto d = diff_settings(a, b);
  ASSERT_EQ(d.size(), 5u);
  EXPECT_EQ(d[0].field, "channel_count");
  EXPECT_EQ(d[0].left, "3");
  EXPECT_EQ(d[0].right, "2");
  EXPECT_EQ(d[1].field, "channel.3.frequency");
  EXPECT_EQ(d[1].right, "-");
}

}  // namespace
}  // namespace owl::cli
