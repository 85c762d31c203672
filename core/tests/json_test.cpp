#include "settings/json.hpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "settings/model.hpp"
#include "settings/payload.hpp"
#include "sim/simulated_port.hpp"

namespace owl {
namespace {

// The second built-in simulated unit's initial settings: the record of the worked example.
UnitSettings sim_1002() {
  return simulated_unit_settings(1002, 192000, 216975, 8);
}

constexpr const char* kSim1002Text = R"({
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
  "channels": [
    {
      "frequency": 194775,
      "channelNumber": 1,
      "delayEnable": false,
      "votingEnable": false,
      "channelEnable": true
    },
    {
      "frequency": 197550,
      "channelNumber": 2,
      "delayEnable": false,
      "votingEnable": false,
      "channelEnable": false
    },
    {
      "frequency": 200325,
      "channelNumber": 3,
      "delayEnable": false,
      "votingEnable": false,
      "channelEnable": false
    },
    {
      "frequency": 203100,
      "channelNumber": 4,
      "delayEnable": false,
      "votingEnable": false,
      "channelEnable": false
    },
    {
      "frequency": 205875,
      "channelNumber": 5,
      "delayEnable": false,
      "votingEnable": false,
      "channelEnable": false
    },
    {
      "frequency": 208650,
      "channelNumber": 6,
      "delayEnable": false,
      "votingEnable": false,
      "channelEnable": false
    },
    {
      "frequency": 211425,
      "channelNumber": 7,
      "delayEnable": false,
      "votingEnable": false,
      "channelEnable": false
    },
    {
      "frequency": 214200,
      "channelNumber": 8,
      "delayEnable": false,
      "votingEnable": false,
      "channelEnable": false
    }
  ]
})";

// ---- Text form --------------------------------------------------------------------------------

TEST(JsonText, WorkedExampleRecord) {
  EXPECT_EQ(settings_to_json_text(sim_1002()), kSim1002Text);
}

TEST(JsonText, NoTrailingNewline) {
  const std::string t = settings_to_json_text(sim_1002());
  ASSERT_FALSE(t.empty());
  EXPECT_EQ(t.back(), '}');
}

TEST(JsonText, EmptyChannelListAndOtherValues) {
  UnitSettings s;
  s.unitName = "";
  s.unitSerialNum = 4294967295u;
  s.structVer = 255;
  s.voicePromptsEnable = VoicePrompts::CENTER;
  s.bootAnnounce = true;
  s.delayMs = 65535;
  s.hphMode = HphMode::BALANCED;
  s.led = LedMode::DIM;
  s.charge = ChargeMode::FAST;
  s.squelch = SquelchLevel::HIGH;
  s.abButton = ButtonAction::DELAY;
  s.starButton = ButtonAction::OFF;
  s.rfMode = RfMode::FM_ANALOG;
  s.compander = CompanderMode::COMPANDER2;
  s.batteryType = BatteryType::LITHIUM;
  s.encryption = 0xABCDEF;
  s.audioEq = AudioEq::BOOST_LOW;
  s.gainBoost = true;
  s.curPresetIndex = 3;
  s.hpCompressor = 9;
  s.reserved60 = 0xDEADBEEF;
  EXPECT_EQ(settings_to_json_text(s), R"({
  "unitName": "",
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

TEST(JsonText, NameEscapes) {
  UnitSettings s = sim_1002();
  s.channels.clear();
  s.unitName = std::string("a\"b\\c\nd") + '\x01' + "e";
  EXPECT_EQ(settings_to_json_text(s), R"({
  "unitName": "a\"b\\c\nd\u0001e",
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
  "channels": []
})");
}

TEST(JsonText, UnrecognisedEnumerationsAsNumbers) {
  UnitSettings s = sim_1002();
  s.hphMode = HphMode::from_code(7);
  s.voicePromptsEnable = VoicePrompts::from_code(200);
  s.squelch = SquelchLevel::from_code(33);
  const std::string t = settings_to_json_text(s);
  EXPECT_NE(t.find("\n  \"hphMode\": 7,\n"), std::string::npos);
  EXPECT_NE(t.find("\n  \"voicePromptsEnable\": 200,\n"), std::string::npos);
  EXPECT_NE(t.find("\n  \"squelch\": 33,\n"), std::string::npos);
}

TEST(JsonQuote, Escapes) {
  EXPECT_EQ(json_quote(""), "\"\"");
  EXPECT_EQ(json_quote("plain"), "\"plain\"");
  EXPECT_EQ(json_quote("\"\\"), "\"\\\"\\\\\"");
  EXPECT_EQ(json_quote("\b\t\n\f\r"), "\"\\b\\t\\n\\f\\r\"");
  EXPECT_EQ(json_quote(std::string("\x00\x01\x1f\x7f", 4)), "\"\\u0000\\u0001\\u001f\x7f\"");
  EXPECT_EQ(json_quote("caf\xC3\xA9 \xEF\xBF\xBD"), "\"caf\xC3\xA9 \xEF\xBF\xBD\"");  // UTF-8 as is
  EXPECT_EQ(json_quote("/"), "\"/\"");
}

// ---- Sorted object form -----------------------------------------------------------------------

TEST(JsonObject, KeysInByteOrder) {
  const JsonValue v = settings_to_json(sim_1002());
  ASSERT_TRUE(v.is_object());
  std::vector<std::string> keys;
  for (const auto& [k, _] : v.as_object()) keys.push_back(k);
  const std::vector<std::string> want{
      "abButton",   "audioEq",      "batteryType",    "bootAnnounce",  "channels",
      "charge",     "compander",    "curPresetIndex", "delayMs",       "encryption",
      "gainBoost",  "hpCompressor", "hphMode",        "led",           "maxFreq",
      "minFreq",    "reserved51",   "reserved60",     "rfMode",        "squelch",
      "starButton", "structVer",    "unitName",       "unitSerialNum", "voicePromptsEnable"};
  EXPECT_EQ(keys, want);

  const JsonValue::Array& chans = v.as_object().at("channels").as_array();
  ASSERT_EQ(chans.size(), 8u);
  std::vector<std::string> ckeys;
  for (const auto& [k, _] : chans[0].as_object()) ckeys.push_back(k);
  EXPECT_EQ(ckeys, (std::vector<std::string>{"channelEnable", "channelNumber", "delayEnable",
                                             "frequency", "votingEnable"}));
}

TEST(JsonObject, Values) {
  const JsonValue v = settings_to_json(sim_1002());
  const JsonValue::Object& o = v.as_object();
  EXPECT_EQ(o.at("unitName"), JsonValue(std::string("SIM-1002")));
  EXPECT_EQ(o.at("unitSerialNum"), JsonValue(std::uint64_t{1002}));
  EXPECT_EQ(o.at("squelch"), JsonValue(std::string("MED")));
  EXPECT_EQ(o.at("starButton"), JsonValue(std::string("ANNOUNCE")));
  EXPECT_EQ(o.at("bootAnnounce"), JsonValue(false));
  EXPECT_EQ(o.at("maxFreq").as_number(), 216975u);
  const JsonValue& ch0 = o.at("channels").as_array()[0];
  EXPECT_EQ(ch0.as_object().at("frequency").as_number(), 194775u);
  EXPECT_EQ(ch0.as_object().at("channelNumber").as_number(), 1u);
  EXPECT_TRUE(ch0.as_object().at("channelEnable").as_bool());
}

TEST(JsonObject, UnrecognisedAsNumber) {
  UnitSettings s = sim_1002();
  s.hphMode = HphMode::from_code(7);
  EXPECT_EQ(settings_to_json(s).as_object().at("hphMode"), JsonValue(std::uint64_t{7}));
}

TEST(JsonObject, StructuralEquality) {
  EXPECT_EQ(settings_to_json(sim_1002()), settings_to_json(sim_1002()));

  UnitSettings other = sim_1002();
  other.channels[5].votingEnable = true;
  EXPECT_NE(settings_to_json(sim_1002()), settings_to_json(other));

  UnitSettings fewer = sim_1002();
  fewer.channels.pop_back();
  EXPECT_NE(settings_to_json(sim_1002()), settings_to_json(fewer));

  UnitSettings renamed = sim_1002();
  renamed.unitName = "SIM-1003";
  EXPECT_NE(settings_to_json(sim_1002()), settings_to_json(renamed));

  // Number vs string of the same enumeration differ in kind.
  UnitSettings unknown = sim_1002();
  unknown.led = LedMode::from_code(9);
  EXPECT_NE(settings_to_json(sim_1002()), settings_to_json(unknown));

  // A decoded payload compares equal to the record it came from.
  auto decoded = decode_settings(encode_settings(sim_1002()));
  ASSERT_TRUE(decoded.has_value());
  EXPECT_EQ(settings_to_json(*decoded), settings_to_json(sim_1002()));
}

TEST(JsonObject, KindsDiffer) {
  EXPECT_NE(JsonValue(std::uint64_t{0}), JsonValue(false));
  EXPECT_NE(JsonValue(std::string("1")), JsonValue(std::uint64_t{1}));
  EXPECT_NE(JsonValue(JsonValue::Array{}), JsonValue(JsonValue::Object{}));
  EXPECT_EQ(JsonValue(), JsonValue());
}

}  // namespace
}  // namespace owl
