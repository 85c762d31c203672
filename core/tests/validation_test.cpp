#include "settings/validation.hpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace owl {
namespace {

using Kind = SettingsProblem::Kind;

// A unit as it reports itself: range 215000-217000 kHz, `count` channels on the 5 kHz grid.
UnitSettings unit(std::size_t count = 10) {
  UnitSettings s;
  s.unitName = "UNIT-1";
  s.unitSerialNum = 1001;
  s.structVer = 5;
  s.delayMs = 100;
  s.minFreq = 215000;
  s.maxFreq = 217000;
  s.curPresetIndex = 2;
  s.hpCompressor = 7;
  s.reserved51 = 9;
  s.reserved60 = 0xDEADBEEF;
  for (std::size_t i = 0; i < count; ++i) {
    ChannelSettings c;
    c.frequency = 215000 + static_cast<std::uint32_t>(i) * 100;
    c.channelNumber = static_cast<std::uint8_t>(i + 1);
    c.channelEnable = i == 0;
    s.channels.push_back(c);
  }
  return s;
}

std::vector<std::string> texts(const UnitSettings& candidate, const UnitSettings& current) {
  return problem_texts(validate_settings(candidate, current));
}

SettingsProblem of(Kind kind) {
  SettingsProblem p;
  p.kind = kind;
  return p;
}

const std::string kBadName = "unit name must be 1-15 characters of A-Z, a-z, 0-9, '-' or '_'";

// ---- texts ----

TEST(ValidationText, SpecExampleLines) {
  SettingsProblem delay{Kind::DelayTooLong, 450, 0, 0, 0, 0, ""};
  EXPECT_EQ(delay.text(), "delay 450 ms is over the 400 ms maximum");

  SettingsProblem enc{Kind::EncryptionTooLarge, 0x1000000, 0, 0, 0, 0, ""};
  EXPECT_EQ(enc.text(), "encryption code 0x1000000 is more than 6 hex digits");

  SettingsProblem count{Kind::ChannelCountMismatch, 0, 11, 10, 0, 0, ""};
  EXPECT_EQ(count.text(), "11 channels given but the device has 10");

  SettingsProblem range{Kind::ChannelOutOfRange, 192000, 3, 0, 215000, 217000, ""};
  EXPECT_EQ(range.text(), "channel 3: 192000 kHz is outside this unit's 215000-217000 kHz range");

  SettingsProblem led{Kind::UnrecognisedValue, 0, 0, 0, 0, 0, "led"};
  EXPECT_EQ(led.text(), "led has a value this app does not recognise");
}

TEST(ValidationText, FixedTexts) {
  EXPECT_EQ(of(Kind::RangeUnknown).text(), "the unit has not reported its frequency range yet");
  EXPECT_EQ(of(Kind::BadUnitName).text(), kBadName);
  SettingsProblem step{Kind::ChannelOffStep, 192003, 3, 0, 0, 0, ""};
  EXPECT_EQ(step.text(), "channel 3: 192003 kHz is not on the 5 kHz step");
}

TEST(ValidationText, EncryptionHexIsUpperCaseAfterLowerCasePrefix) {
  SettingsProblem enc{Kind::EncryptionTooLarge, 0xABCDEF12, 0, 0, 0, 0, ""};
  EXPECT_EQ(enc.text(), "encryption code 0xABCDEF12 is more than 6 hex digits");
}

TEST(ValidationText, ProblemTextsKeepsOrder) {
  std::vector<SettingsProblem> ps{of(Kind::BadUnitName), of(Kind::RangeUnknown)};
  EXPECT_EQ(problem_texts(ps), (std::vector<std::string>{
                                   kBadName, "the unit has not reported its frequency range yet"}));
  EXPECT_TRUE(problem_texts({}).empty());
}

// ---- build_write_request ----

TEST(ValidationRequest, TwelveChannelsAreCutToTheUnitsTen) {
  const UnitSettings current = unit(10);
  UnitSettings req = current;
  req.channels.clear();
  for (std::uint32_t i = 0; i < 12; ++i) {
    ChannelSettings c;
    c.frequency = 216000 + i * 5;
    c.channelNumber = 99;
    c.votingEnable = true;
    req.channels.push_back(c);
  }
  const UnitSettings out = build_write_request(req, current, false, false);
  ASSERT_EQ(out.channels.size(), 10u);
  for (std::size_t i = 0; i < 10; ++i) {
    EXPECT_EQ(out.channels[i].frequency, 216000 + i * 5);
    EXPECT_EQ(out.channels[i].channelNumber, i + 1);
    EXPECT_TRUE(out.channels[i].votingEnable);
  }
  EXPECT_TRUE(validate_settings(out, current).empty());
}

TEST(ValidationRequest, EightChannelsGetTheUnitsNineAndTen) {
  const UnitSettings current = unit(10);
  UnitSettings req = current;
  req.channels.clear();
  for (std::uint32_t i = 0; i < 8; ++i) {
    ChannelSettings c;
    c.frequency = 216500 + i * 10;
    c.channelNumber = static_cast<std::uint8_t>(20 - i);  // scrambled numbers get renumbered
    req.channels.push_back(c);
  }
  const UnitSettings out = build_write_request(req, current, false, false);
  ASSERT_EQ(out.channels.size(), 10u);
  for (std::size_t i = 0; i < 8; ++i) {
    EXPECT_EQ(out.channels[i].frequency, 216500 + i * 10);
    EXPECT_EQ(out.channels[i].channelNumber, i + 1);
  }
  EXPECT_EQ(out.channels[8], current.channels[8]);
  EXPECT_EQ(out.channels[9], current.channels[9]);
  EXPECT_EQ(out.channels[8].channelNumber, 9);
  EXPECT_EQ(out.channels[9].channelNumber, 10);
  const auto problems = validate_settings(out, current);
  for (const auto& p : problems) EXPECT_NE(p.kind, Kind::ChannelCountMismatch);
  EXPECT_TRUE(problems.empty());
}

TEST(ValidationRequest, AppendedUnitChannelsAreRenumberedByPosition) {
  UnitSettings current = unit(3);
  for (auto& c : current.channels) c.channelNumber = 0;  // whatever the unit holds
  UnitSettings req = current;
  req.channels.resize(1);
  const UnitSettings out = build_write_request(req, current, false, false);
  ASSERT_EQ(out.channels.size(), 3u);
  EXPECT_EQ(out.channels[0].channelNumber, 1);
  EXPECT_EQ(out.channels[1].channelNumber, 2);
  EXPECT_EQ(out.channels[2].channelNumber, 3);
  EXPECT_EQ(out.channels[2].frequency, current.channels[2].frequency);
}

TEST(ValidationRequest, UnitWithNoChannelsGetsNone) {
  const UnitSettings current = unit(0);
  UnitSettings req = unit(4);
  const UnitSettings out = build_write_request(req, current, false, false);
  EXPECT_TRUE(out.channels.empty());
}

TEST(ValidationRequest, RfModeComesFromTheUnit) {
  const UnitSettings current = unit();
  UnitSettings req = current;
  req.rfMode = RfMode::DIGITAL;
  EXPECT_EQ(build_write_request(req, current, false, false).rfMode, RfMode::FM_ANALOG);
}

TEST(ValidationRequest, IdentityRangeAndHiddenBytesComeFromTheUnit) {
  const UnitSettings current = unit();
  UnitSettings req = current;
  req.unitSerialNum = 1;
  req.minFreq = 100;
  req.maxFreq = 900000;
  req.reserved60 = 3;
  req.structVer = 1;
  req.curPresetIndex = 8;
  req.hpCompressor = 0;
  req.reserved51 = 0;
  // Fields the user may change survive.
  req.delayMs = 250;
  req.hphMode = HphMode::BALANCED;
  req.squelch = SquelchLevel::LOW;
  req.encryption = 0x123456;
  req.unitName = "NEW_NAME";
  req.charge = ChargeMode::FAST;
  const UnitSettings out = build_write_request(req, current, false, false);
  EXPECT_EQ(out.unitSerialNum, 1001u);
  EXPECT_EQ(out.minFreq, 215000u);
  EXPECT_EQ(out.maxFreq, 217000u);
  EXPECT_EQ(out.reserved60, 0xDEADBEEFu);
  EXPECT_EQ(out.structVer, 5);
  EXPECT_EQ(out.curPresetIndex, 2);
  EXPECT_EQ(out.hpCompressor, 7);
  EXPECT_EQ(out.reserved51, 9);
  EXPECT_EQ(out.delayMs, 250);
  EXPECT_EQ(out.hphMode, HphMode::BALANCED);
  EXPECT_EQ(out.squelch, SquelchLevel::LOW);
  EXPECT_EQ(out.encryption, 0x123456u);
  EXPECT_EQ(out.unitName, "NEW_NAME");
  EXPECT_EQ(out.charge, ChargeMode::FAST);
}

TEST(ValidationRequest, KeepNameAndKeepCharge) {
  const UnitSettings current = unit();
  UnitSettings req = current;
  req.unitName = "OTHER";
  req.charge = ChargeMode::SLOW;

  UnitSettings out = build_write_request(req, current, true, false);
  EXPECT_EQ(out.unitName, "UNIT-1");
  EXPECT_EQ(out.charge, ChargeMode::SLOW);

  out = build_write_request(req, current, false, true);
  EXPECT_EQ(out.unitName, "OTHER");
  EXPECT_EQ(out.charge, ChargeMode::OFF);

  out = build_write_request(req, current, true, true);
  EXPECT_EQ(out.unitName, "UNIT-1");
  EXPECT_EQ(out.charge, ChargeMode::OFF);
}

// ---- validate_settings ----

TEST(ValidationCheck, UnitsOwnSettingsAreValid) {
  const UnitSettings current = unit();
  EXPECT_TRUE(validate_settings(current, current).empty());
}

TEST(ValidationCheck, UnknownRangeFlagsOnlyChannelsAboveMax) {
  UnitSettings current = unit(3);
  current.minFreq = 0;
  UnitSettings cand = current;
  cand.channels[0].frequency = 100;     // below max: fine when the range is unknown
  cand.channels[1].frequency = 217000;  // equal to max: fine
  cand.channels[2].frequency = 217005;  // above max
  const auto problems = validate_settings(cand, current);
  ASSERT_EQ(problems.size(), 2u);
  EXPECT_EQ(problems[0].kind, Kind::RangeUnknown);
  EXPECT_EQ(problems[1].kind, Kind::ChannelOutOfRange);
  EXPECT_EQ(problems[1].text(), "channel 3: 217005 kHz is outside this unit's 0-217000 kHz range");
}

TEST(ValidationCheck, MaxNotAboveMinIsUnknownRange) {
  UnitSettings current = unit(1);
  current.minFreq = 217000;  // max == min
  UnitSettings cand = current;
  cand.channels[0].frequency = 216000;
  const auto problems = validate_settings(cand, current);
  ASSERT_EQ(problems.size(), 1u);
  EXPECT_EQ(problems[0].kind, Kind::RangeUnknown);
}

TEST(ValidationCheck, RangeBoundsAreInclusive) {
  const UnitSettings current = unit(4);
  UnitSettings cand = current;
  cand.channels[0].frequency = 215000;
  cand.channels[1].frequency = 217000;
  cand.channels[2].frequency = 214995;
  cand.channels[3].frequency = 217005;
  EXPECT_EQ(texts(cand, current),
            (std::vector<std::string>{
                "channel 3: 214995 kHz is outside this unit's 215000-217000 kHz range",
                "channel 4: 217005 kHz is outside this unit's 215000-217000 kHz range"}));
}

TEST(ValidationCheck, DelayLimit) {
  const UnitSettings current = unit();
  UnitSettings cand = current;
  cand.delayMs = 400;
  EXPECT_TRUE(validate_settings(cand, current).empty());
  cand.delayMs = 401;
  EXPECT_EQ(texts(cand, current),
            (std::vector<std::string>{"delay 401 ms is over the 400 ms maximum"}));
}

TEST(ValidationCheck, EncryptionLimit) {
  const UnitSettings current = unit();
  UnitSettings cand = current;
  cand.encryption = 0xFFFFFF;
  EXPECT_TRUE(validate_settings(cand, current).empty());
  cand.encryption = 0x1000000;
  EXPECT_EQ(texts(cand, current),
            (std::vector<std::string>{"encryption code 0x1000000 is more than 6 hex digits"}));
}

TEST(ValidationCheck, GoodNamesPass) {
  const UnitSettings current = unit();
  for (const std::string name :
       {"A", "unit_1-B", "ABCDEFGHIJKLMNO", "abcdefghij-_789", "0", "-", "_"}) {
    UnitSettings cand = current;
    cand.unitName = name;
    EXPECT_TRUE(validate_settings(cand, current).empty()) << name;
  }
}

TEST(ValidationCheck, BadNamesFailOnce) {
  const UnitSettings current = unit();
  for (const std::string& name :
       {std::string(""), std::string("ABCDEFGHIJKLMNOP"), std::string("unit 1"),
        std::string("Caf\xC3\xA9"), std::string("a.b"), std::string("a\tb"), std::string("  ")}) {
    UnitSettings cand = current;
    cand.unitName = name;
    EXPECT_EQ(texts(cand, current), (std::vector<std::string>{kBadName})) << name;
  }
}

TEST(ValidationCheck, KeepNameWithInvalidReportedNameFails) {
  UnitSettings current = unit();
  current.unitName = "ABCDEFGHIJKLMNOP";  // 16 bytes, as a unit may report
  UnitSettings req = current;
  req.unitName = "Fine";
  const UnitSettings out = build_write_request(req, current, true, false);
  EXPECT_EQ(texts(out, current), (std::vector<std::string>{kBadName}));
}

TEST(ValidationCheck, ChannelCountMismatchWithoutMerging) {
  const UnitSettings current = unit(10);
  UnitSettings cand = current;
  cand.channels.push_back(cand.channels.back());
  EXPECT_EQ(texts(cand, current),
            (std::vector<std::string>{"11 channels given but the device has 10"}));
}

TEST(ValidationCheck, OffStep) {
  const UnitSettings current = unit(3);
  UnitSettings cand = current;
  cand.channels[2].frequency = 215003;
  EXPECT_EQ(texts(cand, current),
            (std::vector<std::string>{"channel 3: 215003 kHz is not on the 5 kHz step"}));
}

TEST(ValidationCheck, ChannelOutOfRangeAndOffStepTogether) {
  const UnitSettings current = unit(3);
  UnitSettings cand = current;
  cand.channels[1].frequency = 192003;
  cand.channels[2].frequency = 192000;
  EXPECT_EQ(texts(cand, current),
            (std::vector<std::string>{
                "channel 2: 192003 kHz is outside this unit's 215000-217000 kHz range",
                "channel 2: 192003 kHz is not on the 5 kHz step",
                "channel 3: 192000 kHz is outside this unit's 215000-217000 kHz range"}));
}

TEST(ValidationCheck, OffStepReportedWhenRangeUnknown) {
  UnitSettings current = unit(1);
  current.minFreq = 0;
  current.maxFreq = 0;
  UnitSettings cand = current;
  cand.channels[0].frequency = 3;
  EXPECT_EQ(texts(cand, current),
            (std::vector<std::string>{"the unit has not reported its frequency range yet",
                                      "channel 1: 3 kHz is outside this unit's 0-0 kHz range",
                                      "channel 1: 3 kHz is not on the 5 kHz step"}));
}

TEST(ValidationCheck, UnrecognisedReportedByUnitPasses) {
  UnitSettings current = unit();
  current.hphMode = HphMode::from_code(7);
  UnitSettings cand = current;
  EXPECT_TRUE(validate_settings(cand, current).empty());
}

TEST(ValidationCheck, NewUnrecognisedFails) {
  UnitSettings current = unit();
  current.hphMode = HphMode::STEREO;
  UnitSettings cand = current;
  cand.hphMode = HphMode::from_code(7);
  EXPECT_EQ(texts(cand, current),
            (std::vector<std::string>{"hph_mode has a value this app does not recognise"}));
  current.hphMode = HphMode::from_code(8);  // another Unrecognised code
  EXPECT_EQ(texts(cand, current),
            (std::vector<std::string>{"hph_mode has a value this app does not recognise"}));
}

TEST(ValidationCheck, UnrecognisedSquelchIsNotChecked) {
  const UnitSettings current = unit();
  UnitSettings cand = current;
  cand.squelch = SquelchLevel::from_code(33);
  EXPECT_TRUE(validate_settings(cand, current).empty());
}

TEST(ValidationCheck, UnrecognisedValuesInLabelOrder) {
  const UnitSettings current = unit();
  UnitSettings cand = current;
  cand.audioEq = AudioEq::from_code(9);
  cand.batteryType = BatteryType::from_code(9);
  cand.compander = CompanderMode::from_code(9);
  cand.rfMode = RfMode::from_code(9);
  cand.starButton = ButtonAction::from_code(9);
  cand.abButton = ButtonAction::from_code(9);
  cand.charge = ChargeMode::from_code(9);
  cand.led = LedMode::from_code(9);
  cand.hphMode = HphMode::from_code(9);
  cand.voicePromptsEnable = VoicePrompts::from_code(9);
  std::vector<std::string> want;
  for (const char* label : {"voice_prompts", "hph_mode", "led", "charge", "ab_button",
                            "star_button", "rf_mode", "compander", "battery_type", "audio_eq"}) {
    want.push_back(std::string(label) + " has a value this app does not recognise");
  }
  EXPECT_EQ(texts(cand, current), want);
}

TEST(ValidationCheck, SeveralProblemsInCheckingOrder) {
  UnitSettings current = unit(2);
  current.minFreq = 0;
  UnitSettings cand = current;
  cand.led = LedMode::from_code(5);
  cand.channels[1].frequency = 300000;
  cand.encryption = 0x1000000;
  cand.delayMs = 450;
  cand.unitName = "";
  const auto problems = validate_settings(cand, current);
  ASSERT_EQ(problems.size(), 6u);
  EXPECT_EQ(problems[0].kind, Kind::RangeUnknown);
  EXPECT_EQ(problems[1].kind, Kind::BadUnitName);
  EXPECT_EQ(problems[2].kind, Kind::DelayTooLong);
  EXPECT_EQ(problems[3].kind, Kind::EncryptionTooLarge);
  EXPECT_EQ(problems[4].kind, Kind::ChannelOutOfRange);
  EXPECT_EQ(problems[5].kind, Kind::UnrecognisedValue);
  EXPECT_EQ(
      problem_texts(problems),
      (std::vector<std::string>{"the unit has not reported its frequency range yet", kBadName,
                                "delay 450 ms is over the 400 ms maximum",
                                "encryption code 0x1000000 is more than 6 hex digits",
                                "channel 2: 300000 kHz is outside this unit's 0-217000 kHz range",
                                "led has a value this app does not recognise"}));
}

TEST(ValidationCheck, ProblemDataIsCarried) {
  const UnitSettings current = unit(3);
  UnitSettings cand = current;
  cand.channels[2].frequency = 192000;
  const auto problems = validate_settings(cand, current);
  ASSERT_EQ(problems.size(), 1u);
  SettingsProblem want;
  want.kind = Kind::ChannelOutOfRange;
  want.channel = 3;
  want.value = 192000;
  want.min = 215000;
  want.max = 217000;
  EXPECT_EQ(problems[0], want);
}

}  // namespace
}  // namespace owl
