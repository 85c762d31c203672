#pragma once

#include <string>
#include <utility>
#include <vector>

#include "settings/model.hpp"

namespace owl::testing_support {

// A record with every field away from its default and from what a simulated unit reports: the
// largest serial, delay and format version, a name with characters that must be escaped.
inline UnitSettings unusual_settings(std::vector<ChannelSettings> channels = {}) {
  UnitSettings s;
  s.unitName = std::string("a\"b\\c\nd") + '\x01' + "e";
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
  s.channels = std::move(channels);
  return s;
}

}  // namespace owl::testing_support
