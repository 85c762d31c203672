#include "settings/validation.hpp"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "sim/simulated_port.hpp"

namespace owl {
namespace {

using Kind = SettingsProblem::Kind;
using Texts = std::vector<std::string>;

// A unit as it reports itself: range 215000-217000 kHz, `count` channels on the 5 kHz grid, and
// values in the fields a write keeps that differ from any a request below sets.
UnitSettings unit(std::uint32_t count = 10) {
  UnitSettings s = simulated_unit_settings(1001, 215000, 217000, count);
  s.unitName = "UNIT-1";
  s.curPresetIndex = 2;
  s.hpCompressor = 7;
  s.reserved51 = 9;
  s.reserved60 = 0xDEADBEEF;
  return s;
}

Texts texts(const UnitSettings& candidate, const UnitSettings& current) {
  return problem_texts(validate_settings(candidate, current));
}

const std::string kBadName = "unit name must be 1-15 characters of A-Z, a-z, 0-9, '-' or '_'";
const std::string kNoRange = "the unit has not reported its frequency range yet";

// Every kind's text is pinned by ValidationCheck.Cases; this code is beyond what a check lets
// through: upper-case hex digits after a lower-case prefix.
TEST(ValidationText, EncryptionCodeInUpperCaseHex) {
  const SettingsProblem problem{Kind::EncryptionTooLarge, 0xABCDEF12, 0, 0, 0, 0, ""};
  EXPECT_EQ(problem.text(), "encryption code 0xABCDEF12 is more than 6 hex digits");
}

TEST(ValidationRequest, ChannelListIsFittedToTheUnitAndRenumbered) {
  UnitSettings current = unit(10);
  for (auto& c : current.channels) c.channelNumber = 0;  // whatever the unit holds
  for (std::uint32_t given : {12u, 8u}) {
    SCOPED_TRACE(given);
    UnitSettings req = current;
    req.channels.clear();
    for (std::uint32_t i = 0; i < given; ++i) {
      ChannelSettings c;
      c.frequency = 216000 + i * 5;
      c.channelNumber = 99;
      c.votingEnable = true;
      req.channels.push_back(c);
    }
    const UnitSettings out = build_write_request(req, current, false, false);
    ASSERT_EQ(out.channels.size(), 10u);
    for (std::size_t i = 0; i < 10; ++i) {
      // Missing channels come from the unit; every channel is numbered by position.
      ChannelSettings want = i < given ? req.channels[i] : current.channels[i];
      want.channelNumber = static_cast<std::uint8_t>(i + 1);
      EXPECT_EQ(out.channels[i], want) << i;
    }
    EXPECT_TRUE(validate_settings(out, current).empty());
  }
  EXPECT_TRUE(build_write_request(unit(4), unit(0), false, false).channels.empty());
}

TEST(ValidationRequest, FieldsTheUserMayNotChangeComeFromTheUnit) {
  const UnitSettings current = unit();
  // Fields the user may change survive.
  UnitSettings want = current;
  want.delayMs = 250;
  want.hphMode = HphMode::BALANCED;
  want.squelch = SquelchLevel::LOW;
  want.encryption = 0x123456;
  want.unitName = "NEW_NAME";
  want.charge = ChargeMode::FAST;
  // The others keep the unit's values, each of which differs from the request's.
  UnitSettings req = want;
  req.unitSerialNum = 1;
  req.minFreq = 100;
  req.maxFreq = 900000;
  req.reserved60 = 3;
  req.structVer = 1;
  req.curPresetIndex = 8;
  req.hpCompressor = 0;
  req.reserved51 = 0;
  req.rfMode = RfMode::FM_ANALOG;
  EXPECT_EQ(build_write_request(req, current, false, false), want);

  for (const bool keep_name : {false, true}) {
    for (const bool keep_charge : {false, true}) {
      const UnitSettings out = build_write_request(req, current, keep_name, keep_charge);
      EXPECT_EQ(out.unitName, keep_name ? "UNIT-1" : "NEW_NAME") << keep_name << keep_charge;
      EXPECT_EQ(out.charge, keep_charge ? ChargeMode::SLOW : ChargeMode::FAST)
          << keep_name << keep_charge;
    }
  }
}

TEST(ValidationCheck, Cases) {
  using Edit = std::function<void(UnitSettings&)>;
  const Edit none = [](UnitSettings&) {};
  struct Case {
    const char* what;
    Edit unit;  // applied to the unit before the candidate is copied from it
    Edit cand;
    Texts want;
  };
  const std::string recognise = " has a value this app does not recognise";
  const std::vector<Case> cases = {
      {"own settings", none, none, {}},
      {"unknown range flags only above max",
       [](UnitSettings& u) { u.minFreq = 0; },
       [](UnitSettings& c) {
         c.channels[0].frequency = 100;
         c.channels[1].frequency = 217000;
         c.channels[2].frequency = 217005;
       },
       {kNoRange, "channel 3: 217005 kHz is outside this unit's 0-217000 kHz range"}},
      {"max equal to min is unknown",
       [](UnitSettings& u) { u.minFreq = 217000; },
       [](UnitSettings& c) { c.channels[0].frequency = 216000; },
       {kNoRange}},
      {"bounds inclusive",
       none,
       [](UnitSettings& c) {
         c.channels[0].frequency = 215000;
         c.channels[1].frequency = 217000;
         c.channels[2].frequency = 214995;
         c.channels[3].frequency = 217005;
       },
       {"channel 3: 214995 kHz is outside this unit's 215000-217000 kHz range",
        "channel 4: 217005 kHz is outside this unit's 215000-217000 kHz range"}},
      {"delay 400", none, [](UnitSettings& c) { c.delayMs = 400; }, {}},
      {"delay 401",
       none,
       [](UnitSettings& c) { c.delayMs = 401; },
       {"delay 401 ms is over the 400 ms maximum"}},
      {"encryption 6 digits", none, [](UnitSettings& c) { c.encryption = 0xFFFFFF; }, {}},
      {"encryption 7 digits",
       none,
       [](UnitSettings& c) { c.encryption = 0x1000000; },
       {"encryption code 0x1000000 is more than 6 hex digits"}},
      {"11 channels",
       none,
       [](UnitSettings& c) { c.channels.push_back(c.channels.back()); },
       {"11 channels given but the device has 10"}},
      {"off step",
       none,
       [](UnitSettings& c) { c.channels[2].frequency = 215003; },
       {"channel 3: 215003 kHz is not on the 5 kHz step"}},
      {"out of range and off step",
       none,
       [](UnitSettings& c) {
         c.channels[1].frequency = 192003;
         c.channels[2].frequency = 192000;
       },
       {"channel 2: 192003 kHz is outside this unit's 215000-217000 kHz range",
        "channel 2: 192003 kHz is not on the 5 kHz step",
        "channel 3: 192000 kHz is outside this unit's 215000-217000 kHz range"}},
      {"off step with unknown range",
       [](UnitSettings& u) {
         u.channels.resize(1);
         u.minFreq = u.maxFreq = 0;
       },
       [](UnitSettings& c) { c.channels[0].frequency = 3; },
       {kNoRange, "channel 1: 3 kHz is outside this unit's 0-0 kHz range",
        "channel 1: 3 kHz is not on the 5 kHz step"}},
      {"unrecognised reported by the unit",
       [](UnitSettings& u) { u.hphMode = HphMode::from_code(7); },
       none,
       {}},
      {"new unrecognised",
       none,
       [](UnitSettings& c) { c.hphMode = HphMode::from_code(7); },
       {"hph_mode" + recognise}},
      {"other unrecognised code",
       [](UnitSettings& u) { u.hphMode = HphMode::from_code(8); },
       [](UnitSettings& c) { c.hphMode = HphMode::from_code(7); },
       {"hph_mode" + recognise}},
      {"squelch not checked",
       none,
       [](UnitSettings& c) { c.squelch = SquelchLevel::from_code(33); },
       {}},
      {"unrecognised in label order",
       none,
       [](UnitSettings& c) {
         c.audioEq = AudioEq::from_code(9);
         c.batteryType = BatteryType::from_code(9);
         c.compander = CompanderMode::from_code(9);
         c.rfMode = RfMode::from_code(9);
         c.starButton = ButtonAction::from_code(9);
         c.abButton = ButtonAction::from_code(9);
         c.charge = ChargeMode::from_code(9);
         c.led = LedMode::from_code(9);
         c.hphMode = HphMode::from_code(9);
         c.voicePromptsEnable = VoicePrompts::from_code(9);
       },
       {"voice_prompts" + recognise, "hph_mode" + recognise, "led" + recognise,
        "charge" + recognise, "ab_button" + recognise, "star_button" + recognise,
        "rf_mode" + recognise, "compander" + recognise, "battery_type" + recognise,
        "audio_eq" + recognise}},
      {"several problems in checking order",
       [](UnitSettings& u) { u.minFreq = 0; },
       [](UnitSettings& c) {
         c.led = LedMode::from_code(5);
         c.channels[1].frequency = 300000;
         c.encryption = 0x1000000;
         c.delayMs = 450;
         c.unitName = "";
       },
       {kNoRange, kBadName, "delay 450 ms is over the 400 ms maximum",
        "encryption code 0x1000000 is more than 6 hex digits",
        "channel 2: 300000 kHz is outside this unit's 0-217000 kHz range", "led" + recognise}},
  };
  for (const Case& c : cases) {
    UnitSettings current = unit();
    c.unit(current);
    UnitSettings cand = current;
    c.cand(cand);
    EXPECT_EQ(texts(cand, current), c.want) << c.what;
  }
}

TEST(ValidationCheck, UnitNames) {
  const UnitSettings current = unit();
  for (const std::string name :
       {"A", "unit_1-B", "ABCDEFGHIJKLMNO", "abcdefghij-_789", "0", "-", "_"}) {
    UnitSettings cand = current;
    cand.unitName = name;
    EXPECT_TRUE(validate_settings(cand, current).empty()) << name;
  }
  for (const std::string& name :
       {std::string(""), std::string("ABCDEFGHIJKLMNOP"), std::string("unit 1"),
        std::string("Caf\xC3\xA9"), std::string("a.b"), std::string("a\tb"), std::string("  ")}) {
    UnitSettings cand = current;
    cand.unitName = name;
    EXPECT_EQ(texts(cand, current), Texts{kBadName}) << name;
  }
  // Keeping a 16-byte name the unit reported still fails the check.
  UnitSettings reported = current;
  reported.unitName = "ABCDEFGHIJKLMNOP";
  UnitSettings req = reported;
  req.unitName = "Fine";
  EXPECT_EQ(texts(build_write_request(req, reported, true, false), reported), Texts{kBadName});
}

}  // namespace
}  // namespace owl
