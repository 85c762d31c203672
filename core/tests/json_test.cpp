#include "settings/json.hpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "settings/model.hpp"
#include "sim/simulated_port.hpp"
#include "unit_records.hpp"

namespace owl {
namespace {

// The second built-in simulated unit's initial settings: the record of the worked example.
UnitSettings sim_1002() {
  return simulated_unit_settings(1002, 192000, 216975, 8);
}

// Settings fields of the worked example, then its eight channels, each on the 2775 kHz spacing
// with only the first enabled.
std::string sim_1002_text() {
  std::string t = R"({
  "unitName": "SIM-1002",
  "unitSerialNum": 1002,
  "structVer": 5,
  "voicePromptsEnable": "OFF",
  "bootAnnounce": false,
  "delayMs": 0,
  "hphMode": "MONO",
  "led": "ON",
  "charge": "SLOW",
  "squelch": "MED",
  "abButton": "CHANNEL",
  "starButton": "ANNOUNCE",
  "rfMode": "DIGITAL",
  "compander": "OFF",
  "batteryType": "ALKALINE",
  "encryption": 0,
  "audioEq": "NORMAL",
  "gainBoost": false,
  "minFreq": 192000,
  "maxFreq": 216975,
  "curPresetIndex": 0,
  "hpCompressor": 0,
  "reserved51": 1,
  "reserved60": 0,
  "channels": [)";
  const char* freqs[] = {"194775", "197550", "200325", "203100",
                         "205875", "208650", "211425", "214200"};
  for (int i = 0; i < 8; ++i) {
    t += std::string(i ? "," : "") + "\n    {\n      \"frequency\": " + freqs[i] +
         ",\n      \"channelNumber\": " + std::to_string(i + 1) +
         ",\n      \"delayEnable\": false,\n      \"votingEnable\": false,\n"
         "      \"channelEnable\": " +
         (i ? "false" : "true") + "\n    }";
  }
  return t + "\n  ]\n}";
}

TEST(JsonText, WorkedExampleRecord) {
  EXPECT_EQ(settings_to_json_text(sim_1002()), sim_1002_text());
}

TEST(JsonText, NoChannelsEscapedNameAndOtherValues) {
  EXPECT_EQ(settings_to_json_text(testing_support::unusual_settings()), R"({
  "unitName": "a\"b\\c\nd\u0001e",
  "unitSerialNum": 4294967295,
  "structVer": 255,
  "voicePromptsEnable": "CENTER",
  "bootAnnounce": true,
  "delayMs": 65535,
  "hphMode": "BALANCED",
  "led": "DIM",
  "charge": "FAST",
  "squelch": "HIGH",
  "abButton": "DELAY",
  "starButton": "OFF",
  "rfMode": "FM_ANALOG",
  "compander": "COMPANDER2",
  "batteryType": "LITHIUM",
  "encryption": 11259375,
  "audioEq": "BOOST_LOW",
  "gainBoost": true,
  "minFreq": 0,
  "maxFreq": 0,
  "curPresetIndex": 3,
  "hpCompressor": 9,
  "reserved51": 0,
  "reserved60": 3735928559,
  "channels": []
})");
}

TEST(JsonText, UnrecognisedEnumerationsAsNumbersInBothForms) {
  UnitSettings s = sim_1002();
  s.hphMode = HphMode::from_code(7);
  s.voicePromptsEnable = VoicePrompts::from_code(200);
  s.squelch = SquelchLevel::from_code(33);
  const std::string t = settings_to_json_text(s);
  EXPECT_NE(t.find("\n  \"hphMode\": 7,\n"), std::string::npos);
  EXPECT_NE(t.find("\n  \"voicePromptsEnable\": 200,\n"), std::string::npos);
  EXPECT_NE(t.find("\n  \"squelch\": 33,\n"), std::string::npos);
  const JsonValue::Object o = settings_to_json(s).as_object();
  EXPECT_EQ(o.at("hphMode"), JsonValue(std::uint64_t{7}));
  EXPECT_EQ(o.at("squelch"), JsonValue(std::uint64_t{33}));
}

TEST(JsonQuote, Escapes) {
  EXPECT_EQ(json_quote(""), "\"\"");
  EXPECT_EQ(json_quote("\"\\/"), "\"\\\"\\\\/\"");
  EXPECT_EQ(json_quote("\b\t\n\f\r"), "\"\\b\\t\\n\\f\\r\"");
  EXPECT_EQ(json_quote(std::string("\x00\x01\x1f\x7f", 4)), "\"\\u0000\\u0001\\u001f\x7f\"");
  EXPECT_EQ(json_quote("caf\xC3\xA9 \xEF\xBF\xBD"), "\"caf\xC3\xA9 \xEF\xBF\xBD\"");  // UTF-8 as is
}

TEST(JsonObject, KeysInByteOrderAndValues) {
  const JsonValue v = settings_to_json(sim_1002());
  std::vector<std::string> keys;
  for (const auto& [k, _] : v.as_object()) keys.push_back(k);
  EXPECT_EQ(
      keys,
      (std::vector<std::string>{
          "abButton",   "audioEq",      "batteryType",    "bootAnnounce",  "channels",
          "charge",     "compander",    "curPresetIndex", "delayMs",       "encryption",
          "gainBoost",  "hpCompressor", "hphMode",        "led",           "maxFreq",
          "minFreq",    "reserved51",   "reserved60",     "rfMode",        "squelch",
          "starButton", "structVer",    "unitName",       "unitSerialNum", "voicePromptsEnable"}));
  const JsonValue::Object& o = v.as_object();
  EXPECT_EQ(o.at("unitName"), JsonValue(std::string("SIM-1002")));
  EXPECT_EQ(o.at("unitSerialNum"), JsonValue(std::uint64_t{1002}));
  EXPECT_EQ(o.at("squelch"), JsonValue(std::string("MED")));
  EXPECT_EQ(o.at("bootAnnounce"), JsonValue(false));

  const JsonValue::Array& chans = o.at("channels").as_array();
  ASSERT_EQ(chans.size(), 8u);
  std::vector<std::string> ckeys;
  for (const auto& [k, _] : chans[0].as_object()) ckeys.push_back(k);
  EXPECT_EQ(ckeys, (std::vector<std::string>{"channelEnable", "channelNumber", "delayEnable",
                                             "frequency", "votingEnable"}));
  EXPECT_EQ(chans[0].as_object().at("frequency").as_number(), 194775u);
  EXPECT_TRUE(chans[0].as_object().at("channelEnable").as_bool());
}

TEST(JsonObject, StructuralEquality) {
  const JsonValue base = settings_to_json(sim_1002());
  UnitSettings other = sim_1002();
  other.channels[5].votingEnable = true;
  EXPECT_NE(base, settings_to_json(other));
  other = sim_1002();
  other.channels.pop_back();
  EXPECT_NE(base, settings_to_json(other));
  // Number vs string of the same enumeration differ in kind.
  other = sim_1002();
  other.led = LedMode::from_code(9);
  EXPECT_NE(base, settings_to_json(other));
  EXPECT_EQ(settings_to_json(sim_1002()), base);

  EXPECT_NE(JsonValue(std::uint64_t{0}), JsonValue(false));
  EXPECT_NE(JsonValue(std::string("1")), JsonValue(std::uint64_t{1}));
  EXPECT_NE(JsonValue(JsonValue::Array{}), JsonValue(JsonValue::Object{}));
}

}  // namespace
}  // namespace owl
