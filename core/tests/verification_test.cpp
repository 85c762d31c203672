#include "settings/verification.hpp"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "sim/simulated_port.hpp"
#include "unit_records.hpp"

namespace owl {
namespace {

using List = std::vector<std::string>;

// A simulated unit's record with a delay and headphone mode of its own.
UnitSettings written_record() {
  UnitSettings s = simulated_unit_settings(1001, 192000, 216975, 10);
  s.delayMs = 120;
  s.hphMode = HphMode::STEREO;
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
         r.charge = ChargeMode::FAST;
       },
       {"bootAnnounce", "channels", "charge"}},
      {"key byte order",
       [](UnitSettings& r) {
         auto channels = r.channels;
         channels[7].frequency = 1;
         channels[1].frequency = 1;
         r = testing_support::unusual_settings(channels);
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
