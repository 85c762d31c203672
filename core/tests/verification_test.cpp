#include "settings/verification.hpp"

#include <gtest/gtest.h>

#include <functional>
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

TEST(VerificationDifferences, Cases) {
  using Edit = std::function<void(UnitSettings&)>;
  const std::vector<std::tuple<const char*, Edit, List>> cases = {
      {"identical", [](UnitSettings&) {}, {}},
      // The message made of this list is OwlEvents.WriteOutcomesBecomeUserTexts'.
      {"example",
       [](UnitSettings& r) {
         r.delayMs = 100;
         r.channels[2].frequency += 5;
       },
       {"channel 3", "delayMs"}},
      {"preset index is not verified", [](UnitSettings& r) { r.curPresetIndex = 4; }, {}},
      {"fewer channels: one entry only",
       [](UnitSettings& r) { r.channels.resize(8); },
       {"channels"}},
      {"channel flags per position",
       [](UnitSettings& r) {
         r.channels[0].channelEnable = false;
         r.channels[9].votingEnable = true;
         r.channels[4].delayEnable = true;
       },
       {"channel 1", "channel 5", "channel 10"}},
      {"stereo versus unrecognised",
       [](UnitSettings& r) { r.hphMode = HphMode::from_code(7); },
       {"hphMode"}},
      {"clipped name", [](UnitSettings& r) { r.unitName = "SIM-100"; }, {"unitName"}},
      {"channels entry at its key place",
       [](UnitSettings& r) {
         r.channels.resize(2);
         r.bootAnnounce = true;
         r.charge = ChargeMode::SLOW;
       },
       {"bootAnnounce", "channels", "charge"}},
      {"key byte order",
       [](UnitSettings& r) {
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
       },
       {"abButton",   "audioEq",      "batteryType", "bootAnnounce",  "channel 2",
        "channel 8",  "charge",       "compander",   "delayMs",       "encryption",
        "gainBoost",  "hpCompressor", "hphMode",     "led",           "maxFreq",
        "minFreq",    "reserved51",   "reserved60",  "rfMode",        "squelch",
        "starButton", "structVer",    "unitName",    "unitSerialNum", "voicePromptsEnable"}},
  };
  const UnitSettings w = written_record();
  for (const auto& [what, edit, want] : cases) {
    UnitSettings r = w;
    edit(r);
    EXPECT_EQ(settings_differences(w, r), want) << what;
  }
}

TEST(VerificationDifferences, UnrecognisedCodesCompareByCode) {
  UnitSettings w = written_record();
  w.led = LedMode::from_code(3);
  UnitSettings r = w;
  EXPECT_TRUE(settings_differences(w, r).empty());
  r.led = LedMode::from_code(4);
  EXPECT_EQ(settings_differences(w, r), (List{"led"}));
}

}  // namespace
}  // namespace owl
