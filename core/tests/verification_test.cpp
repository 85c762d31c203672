#include "settings/verification.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace owl {
namespace {

using List = std::vector<std::string>;

UnitSettings written_record(std::size_t count = 10) {
  UnitSettings s;
  s.unitName = "SIM-1001";
  s.unitSerialNum = 1001;
  s.structVer = 5;
  s.delayMs = 120;
  s.hphMode = HphMode::STEREO;
  s.minFreq = 192000;
  s.maxFreq = 216975;
  for (std::size_t i = 0; i < count; ++i) {
    ChannelSettings c;
    c.frequency = 194775 + static_cast<std::uint32_t>(i) * 2775;
    c.channelNumber = static_cast<std::uint8_t>(i + 1);
    c.channelEnable = i == 0;
    s.channels.push_back(c);
  }
  return s;
}

TEST(VerificationDifferences, IdenticalRecordsGiveNothing) {
  const UnitSettings w = written_record();
  EXPECT_TRUE(settings_differences(w, w).empty());
  EXPECT_TRUE(settings_differences(UnitSettings{}, UnitSettings{}).empty());
}

TEST(VerificationDifferences, SpecExampleChannel3AndDelay) {
  const UnitSettings w = written_record();
  UnitSettings r = w;
  r.delayMs = 100;
  r.channels[2].frequency += 5;
  const List diffs = settings_differences(w, r);
  EXPECT_EQ(diffs, (List{"channel 3", "delayMs"}));
  EXPECT_EQ(kept_different_message(diffs),
            "the unit kept different values for: channel 3, delayMs");
}

TEST(VerificationDifferences, CurPresetIndexIsNotVerified) {
  const UnitSettings w = written_record();
  UnitSettings r = w;
  r.curPresetIndex = 4;
  EXPECT_TRUE(settings_differences(w, r).empty());
}

TEST(VerificationDifferences, DifferentChannelCountGivesChannelsOnly) {
  const UnitSettings w = written_record(10);
  const UnitSettings r = written_record(8);
  const List diffs = settings_differences(w, r);
  EXPECT_EQ(diffs, (List{"channels"}));
  EXPECT_TRUE(std::none_of(diffs.begin(), diffs.end(),
                           [](const std::string& d) { return d.rfind("channel ", 0) == 0; }));
}

TEST(VerificationDifferences, ChannelFlagsDifferPerPosition) {
  const UnitSettings w = written_record();
  UnitSettings r = w;
  r.channels[0].channelEnable = false;
  r.channels[9].votingEnable = true;
  r.channels[4].delayEnable = true;
  EXPECT_EQ(settings_differences(w, r), (List{"channel 1", "channel 5", "channel 10"}));
}

TEST(VerificationDifferences, HphModeStereoVersusUnrecognised) {
  const UnitSettings w = written_record();
  UnitSettings r = w;
  r.hphMode = HphMode::from_code(7);
  EXPECT_EQ(settings_differences(w, r), (List{"hphMode"}));
}

TEST(VerificationDifferences, UnrecognisedCodesCompareByCode) {
  UnitSettings w = written_record();
  w.led = LedMode::from_code(3);
  UnitSettings r = w;
  EXPECT_TRUE(settings_differences(w, r).empty());
  r.led = LedMode::from_code(4);
  EXPECT_EQ(settings_differences(w, r), (List{"led"}));
}

TEST(VerificationDifferences, ClippedNameIsUnitName) {
  UnitSettings w = written_record();
  w.unitName = "ABCDEFGHIJKLMNO";
  UnitSettings r = w;
  r.unitName = "ABCDEFGH";
  EXPECT_EQ(settings_differences(w, r), (List{"unitName"}));
}

TEST(VerificationDifferences, ListFollowsKeyByteOrder) {
  const UnitSettings w = written_record();
  UnitSettings r = w;
  // Changed in declaration order, expected in byte order of the keys.
  r.unitName = "OTHER";
  r.unitSerialNum = 7;
  r.structVer = 6;
  r.voicePromptsEnable = VoicePrompts::LEFT;
  r.bootAnnounce = true;
  r.delayMs = 0;
  r.hphMode = HphMode::MONO;
  r.led = LedMode::DIM;
  r.charge = ChargeMode::FAST;
  r.squelch = SquelchLevel::LOW;
  r.abButton = ButtonAction::DELAY;
  r.starButton = ButtonAction::ANNOUNCE;
  r.rfMode = RfMode::DIGITAL;
  r.compander = CompanderMode::COMPANDER2;
  r.batteryType = BatteryType::LITHIUM;
  r.encryption = 1;
  r.audioEq = AudioEq::BOOST_HIGH;
  r.gainBoost = true;
  r.minFreq = 1;
  r.maxFreq = 2;
  r.curPresetIndex = 9;
  r.hpCompressor = 1;
  r.reserved51 = 1;
  r.reserved60 = 1;
  r.channels[7].frequency = 1;
  r.channels[1].frequency = 1;
  EXPECT_EQ(
      settings_differences(w, r),
      (List{"abButton",   "audioEq",      "batteryType", "bootAnnounce",  "channel 2",
            "channel 8",  "charge",       "compander",   "delayMs",       "encryption",
            "gainBoost",  "hpCompressor", "hphMode",     "led",           "maxFreq",
            "minFreq",    "reserved51",   "reserved60",  "rfMode",        "squelch",
            "starButton", "structVer",    "unitName",    "unitSerialNum", "voicePromptsEnable"}));
}

TEST(VerificationDifferences, ChannelsEntryAtItsKeyPlace) {
  const UnitSettings w = written_record(3);
  UnitSettings r = written_record(2);
  r.bootAnnounce = true;
  r.charge = ChargeMode::SLOW;
  EXPECT_EQ(settings_differences(w, r), (List{"bootAnnounce", "channels", "charge"}));
}

TEST(VerificationMessage, JoinsWithCommaAndSpace) {
  EXPECT_EQ(kept_different_message({"unitName"}), "the unit kept different values for: unitName");
  EXPECT_EQ(kept_different_message({"channel 3", "delayMs"}),
            "the unit kept different values for: channel 3, delayMs");
  EXPECT_EQ(kept_different_message({"a", "b", "c"}), "the unit kept different values for: a, b, c");
}

}  // namespace
}  // namespace owl
