#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "settings/model.hpp"

namespace owl {

inline constexpr std::uint16_t MAX_DELAY_MS = 400;
inline constexpr std::uint32_t MAX_ENCRYPTION = 0xFFFFFF;
inline constexpr std::size_t MAX_UNIT_NAME = 15;
inline constexpr std::uint32_t FREQUENCY_STEP_KHZ = 5;

struct SettingsProblem {
  enum class Kind {
    RangeUnknown,
    BadUnitName,
    DelayTooLong,
    EncryptionTooLarge,
    ChannelCountMismatch,
    ChannelOutOfRange,
    ChannelOffStep,
    UnrecognisedValue,
  };
  Kind kind = Kind::RangeUnknown;
  // Data of the variant; unused members stay zero or empty.
  std::uint32_t value = 0;  // DelayTooLong: ms; EncryptionTooLarge: code; channel kHz
  std::size_t channel = 0;  // 1-based channel; ChannelCountMismatch: given count
  std::size_t device = 0;   // ChannelCountMismatch: the unit's count
  std::uint32_t min = 0;    // ChannelOutOfRange
  std::uint32_t max = 0;    // ChannelOutOfRange
  std::string label;        // UnrecognisedValue: field label

  // The text the user sees.
  std::string text() const;

  friend bool operator==(const SettingsProblem&, const SettingsProblem&) = default;
};

// Merges a requested record with the unit's current one: identity, range, RF mode and hidden bytes
// come from the unit; the channel list gets exactly the unit's count, renumbered by position.
UnitSettings build_write_request(const UnitSettings& requested, const UnitSettings& current,
                                 bool keep_name, bool keep_charge);

// Every problem of the candidate, in checking order; empty means valid.
[[nodiscard]] std::vector<SettingsProblem> validate_settings(const UnitSettings& candidate,
                                               const UnitSettings& current);

[[nodiscard]] std::vector<std::string> problem_texts(const std::vector<SettingsProblem>& problems);

}  // namespace owl
