#pragma once

#include <algorithm>
#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace owl {

// A settings enumeration: a named value or Unrecognised carrying a raw code. Every code maps to
// exactly one value (named when the table has it), so the code alone is the value; equality
// therefore compares the variant and the carried code. Def supplies the named constants
// (`enum Named`), their `names` and their `codes` in table order.
template <class Def>
class CodedEnum : public Def {
 public:
  using Named = typename Def::Named;

  constexpr CodedEnum(Named named) : code_(static_cast<std::uint8_t>(named)) {}  // NOLINT

  // Total: a named value, or Unrecognised carrying the code.
  static constexpr CodedEnum from_code(std::uint8_t code) { return CodedEnum(code, 0); }

  constexpr std::uint8_t code() const { return code_; }

  constexpr bool is_unrecognised() const { return index_of(code_) == Def::names.size(); }

  // The value's name; Unrecognised has none.
  constexpr std::optional<std::string_view> name() const {
    const std::size_t i = index_of(code_);
    if (i == Def::names.size()) return std::nullopt;
    return Def::names[i];
  }

  // Every named value, in table order.
  static constexpr std::size_t count() { return Def::names.size(); }
  static constexpr CodedEnum nth(std::size_t i) { return CodedEnum(Def::codes[i], 0); }

  friend constexpr bool operator==(CodedEnum a, CodedEnum b) { return a.code_ == b.code_; }

 private:
  constexpr CodedEnum(std::uint8_t code, int) : code_(code) {}
  static constexpr std::size_t index_of(std::uint8_t code) {
    for (std::size_t i = 0; i < Def::codes.size(); ++i) {
      if (Def::codes[i] == code) return i;
    }
    return Def::names.size();
  }

  std::uint8_t code_;
};

struct VoicePromptsDef {
  enum Named : std::uint8_t { OFF = 0, RIGHT = 1, LEFT = 2, CENTER = 3 };
  static constexpr std::array<std::string_view, 4> names{"OFF", "RIGHT", "LEFT", "CENTER"};
  static constexpr std::array<std::uint8_t, 4> codes{0, 1, 2, 3};
};
struct HphModeDef {
  enum Named : std::uint8_t { MONO = 0, STEREO = 1, BALANCED = 2 };
  static constexpr std::array<std::string_view, 3> names{"MONO", "STEREO", "BALANCED"};
  static constexpr std::array<std::uint8_t, 3> codes{0, 1, 2};
};
struct LedModeDef {
  enum Named : std::uint8_t { OFF = 0, ON = 1, DIM = 2 };
  static constexpr std::array<std::string_view, 3> names{"OFF", "ON", "DIM"};
  static constexpr std::array<std::uint8_t, 3> codes{0, 1, 2};
};
struct ChargeModeDef {
  enum Named : std::uint8_t { OFF = 0, SLOW = 1, FAST = 2 };
  static constexpr std::array<std::string_view, 3> names{"OFF", "SLOW", "FAST"};
  static constexpr std::array<std::uint8_t, 3> codes{0, 1, 2};
};
struct ButtonActionDef {
  enum Named : std::uint8_t { OFF = 0, CHANNEL = 1, DELAY = 2, ANNOUNCE = 3 };
  static constexpr std::array<std::string_view, 4> names{"OFF", "CHANNEL", "DELAY", "ANNOUNCE"};
  static constexpr std::array<std::uint8_t, 4> codes{0, 1, 2, 3};
};
struct RfModeDef {
  enum Named : std::uint8_t { FM_ANALOG = 0, DIGITAL = 1 };
  static constexpr std::array<std::string_view, 2> names{"FM_ANALOG", "DIGITAL"};
  static constexpr std::array<std::uint8_t, 2> codes{0, 1};
};
struct CompanderModeDef {
  enum Named : std::uint8_t { OFF = 0, COMPANDER1 = 1, COMPANDER2 = 2 };
  static constexpr std::array<std::string_view, 3> names{"OFF", "COMPANDER1", "COMPANDER2"};
  static constexpr std::array<std::uint8_t, 3> codes{0, 1, 2};
};
struct BatteryTypeDef {
  enum Named : std::uint8_t { NIMH = 0, ALKALINE = 1, LITHIUM = 2 };
  static constexpr std::array<std::string_view, 3> names{"NIMH", "ALKALINE", "LITHIUM"};
  static constexpr std::array<std::uint8_t, 3> codes{0, 1, 2};
};
struct AudioEqDef {
  enum Named : std::uint8_t { NORMAL = 0, BOOST_LOW = 1, BOOST_HIGH = 2 };
  static constexpr std::array<std::string_view, 3> names{"NORMAL", "BOOST_LOW", "BOOST_HIGH"};
  static constexpr std::array<std::uint8_t, 3> codes{0, 1, 2};
};
// Squelch codes are levels written to the unit, not indices.
struct SquelchLevelDef {
  enum Named : std::uint8_t { HIGH = 10, MED = 40, LOW = 80 };
  static constexpr std::array<std::string_view, 3> names{"HIGH", "MED", "LOW"};
  static constexpr std::array<std::uint8_t, 3> codes{10, 40, 80};
};

using VoicePrompts = CodedEnum<VoicePromptsDef>;
using HphMode = CodedEnum<HphModeDef>;
using LedMode = CodedEnum<LedModeDef>;
using ChargeMode = CodedEnum<ChargeModeDef>;
using ButtonAction = CodedEnum<ButtonActionDef>;
using RfMode = CodedEnum<RfModeDef>;
using CompanderMode = CodedEnum<CompanderModeDef>;
using BatteryType = CodedEnum<BatteryTypeDef>;
using AudioEq = CodedEnum<AudioEqDef>;
using SquelchLevel = CodedEnum<SquelchLevelDef>;

// How a unit's squelch byte reads: every byte is one of the three named levels.
constexpr SquelchLevel classify_squelch(std::uint8_t level) {
  if (level == 0) return SquelchLevel::MED;
  if (level <= 25) return SquelchLevel::HIGH;
  if (level <= 60) return SquelchLevel::MED;
  return SquelchLevel::LOW;
}

struct ChannelSettings {
  std::uint32_t frequency = 0;
  std::uint8_t channelNumber = 0;
  bool delayEnable = false;
  bool votingEnable = false;
  bool channelEnable = false;

  friend bool operator==(const ChannelSettings&, const ChannelSettings&) = default;
};

inline constexpr std::size_t MAX_CHANNELS = 10;

// A unit's whole configuration, fields in declaration order (the order of the JSON text form).
struct UnitSettings {
  std::string unitName;
  std::uint32_t unitSerialNum = 0;
  std::uint8_t structVer = 0;
  VoicePrompts voicePromptsEnable = VoicePrompts::OFF;
  bool bootAnnounce = false;
  std::uint16_t delayMs = 0;
  HphMode hphMode = HphMode::MONO;
  LedMode led = LedMode::OFF;
  ChargeMode charge = ChargeMode::OFF;
  SquelchLevel squelch = SquelchLevel::MED;
  ButtonAction abButton = ButtonAction::OFF;
  ButtonAction starButton = ButtonAction::OFF;
  RfMode rfMode = RfMode::FM_ANALOG;
  CompanderMode compander = CompanderMode::OFF;
  BatteryType batteryType = BatteryType::NIMH;
  std::uint32_t encryption = 0;
  AudioEq audioEq = AudioEq::NORMAL;
  bool gainBoost = false;
  std::uint32_t minFreq = 0;
  std::uint32_t maxFreq = 0;
  std::uint8_t curPresetIndex = 0;
  std::uint8_t hpCompressor = 0;
  std::uint8_t reserved51 = 0;
  std::uint32_t reserved60 = 0;
  std::vector<ChannelSettings> channels;

  friend bool operator==(const UnitSettings&, const UnitSettings&) = default;
};

// The frequency range is known once the unit reported a non-zero minimum below its maximum.
inline bool range_known(const UnitSettings& s) {
  return s.minFreq != 0 && s.maxFreq > s.minFreq;
}

}  // namespace owl
