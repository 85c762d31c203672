#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <type_traits>
#include <variant>

#include "settings/model.hpp"

// The one table of the unit's record: what the JSON forms and the check for unrecognised
// values go by. Adding a member to UnitSettings means adding its row here.
namespace owl {

using UnitFieldRef = std::variant<
    std::string UnitSettings::*, bool UnitSettings::*, std::uint8_t UnitSettings::*,
    std::uint16_t UnitSettings::*, std::uint32_t UnitSettings::*, VoicePrompts UnitSettings::*,
    HphMode UnitSettings::*, LedMode UnitSettings::*, ChargeMode UnitSettings::*,
    SquelchLevel UnitSettings::*, ButtonAction UnitSettings::*, RfMode UnitSettings::*,
    CompanderMode UnitSettings::*, BatteryType UnitSettings::*, AudioEq UnitSettings::*>;

struct UnitField {
  std::string_view key;  // in both JSON forms
  UnitFieldRef ref;
  std::string_view ui_name;  // the field of the front ends' record; empty for bytes no form shows
};

// In declaration order, which is the order of the JSON text form; the channels follow.
inline constexpr std::array<UnitField, 24> UNIT_FIELDS{{
    {"unitName", &UnitSettings::unitName, "unit_name"},
    {"unitSerialNum", &UnitSettings::unitSerialNum, "serial"},
    {"structVer", &UnitSettings::structVer, ""},
    {"voicePromptsEnable", &UnitSettings::voicePromptsEnable, "voice_prompts"},
    {"bootAnnounce", &UnitSettings::bootAnnounce, "boot_announce"},
    {"delayMs", &UnitSettings::delayMs, "delay_ms"},
    {"hphMode", &UnitSettings::hphMode, "hph_mode"},
    {"led", &UnitSettings::led, "led"},
    {"charge", &UnitSettings::charge, "charge"},
    {"squelch", &UnitSettings::squelch, "squelch"},
    {"abButton", &UnitSettings::abButton, "ab_button"},
    {"starButton", &UnitSettings::starButton, "star_button"},
    {"rfMode", &UnitSettings::rfMode, "rf_mode"},
    {"compander", &UnitSettings::compander, "compander"},
    {"batteryType", &UnitSettings::batteryType, "battery_type"},
    {"encryption", &UnitSettings::encryption, "encryption"},
    {"audioEq", &UnitSettings::audioEq, "audio_eq"},
    {"gainBoost", &UnitSettings::gainBoost, "gain_boost"},
    {"minFreq", &UnitSettings::minFreq, "min_freq"},
    {"maxFreq", &UnitSettings::maxFreq, "max_freq"},
    {"curPresetIndex", &UnitSettings::curPresetIndex, ""},
    {"hpCompressor", &UnitSettings::hpCompressor, ""},
    {"reserved51", &UnitSettings::reserved51, ""},
    {"reserved60", &UnitSettings::reserved60, ""},
}};

// True for the settings enumerations, whose values carry a code.
template <class T>
concept CodedValue = requires(const T& v) {
  { v.code() } -> std::same_as<std::uint8_t>;
  { v.is_unrecognised() } -> std::same_as<bool>;
};

}  // namespace owl
