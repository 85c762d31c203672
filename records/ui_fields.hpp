#pragma once

#include <array>
#include <cstdint>
#include <string_view>
#include <variant>
#include <vector>

#include "records.hpp"

// The one table of the UI settings record's fields: what the wire codec, the engine's conversion,
// the settings files and the front ends' forms all go by. Adding a field to UiSettings means
// adding its row here.
namespace owl {

using UiFieldRef = std::variant<std::string UiSettings::*, bool UiSettings::*,
                                std::uint16_t UiSettings::*, std::uint32_t UiSettings::*>;

// One of EnumOptions' lists of names.
using OptionList = std::vector<std::string> EnumOptions::*;

// EnumOptions' lists in wire order.
inline constexpr std::array<OptionList, 10> OPTION_LISTS{
    &EnumOptions::voice_prompts, &EnumOptions::hph_mode,  &EnumOptions::led,
    &EnumOptions::charge,        &EnumOptions::squelch,   &EnumOptions::button_action,
    &EnumOptions::rf_mode,       &EnumOptions::compander, &EnumOptions::battery_type,
    &EnumOptions::audio_eq};

struct UiField {
  std::string_view name;   // in files, assignments and diff output
  std::string_view label;  // in messages about the field's value
  UiFieldRef ref;
  bool editable;  // false: the unit owns the value and a write keeps the unit's
  // For an enumeration, the names its value takes; nullptr for other fields.
  OptionList options = nullptr;
};

// In wire order, which is also the order of the file form and of diff output.
inline constexpr std::array<UiField, 19> UI_FIELDS{{
    {"unit_name", "name", &UiSettings::unit_name, true},
    {"serial", "serial number", &UiSettings::serial, false},
    {"voice_prompts", "voice prompts", &UiSettings::voice_prompts, true,
     &EnumOptions::voice_prompts},
    {"boot_announce", "boot announcement", &UiSettings::boot_announce, true},
    {"delay_ms", "delay", &UiSettings::delay_ms, true},
    {"hph_mode", "headphone mode", &UiSettings::hph_mode, true, &EnumOptions::hph_mode},
    {"led", "LED", &UiSettings::led, true, &EnumOptions::led},
    {"charge", "charge", &UiSettings::charge, true, &EnumOptions::charge},
    {"squelch", "squelch", &UiSettings::squelch, true, &EnumOptions::squelch},
    {"ab_button", "A/B button", &UiSettings::ab_button, true, &EnumOptions::button_action},
    {"star_button", "* button", &UiSettings::star_button, true, &EnumOptions::button_action},
    {"rf_mode", "RF mode", &UiSettings::rf_mode, false, &EnumOptions::rf_mode},
    {"compander", "compander", &UiSettings::compander, true, &EnumOptions::compander},
    {"battery_type", "battery type", &UiSettings::battery_type, true, &EnumOptions::battery_type},
    {"encryption", "encryption", &UiSettings::encryption, true},
    {"audio_eq", "bass boost", &UiSettings::audio_eq, true, &EnumOptions::audio_eq},
    {"gain_boost", "gain boost", &UiSettings::gain_boost, true},
    {"min_freq", "lowest frequency", &UiSettings::min_freq, false},
    {"max_freq", "highest frequency", &UiSettings::max_freq, false},
}};

// The row of a field by name; nullptr for a name the record does not have.
constexpr const UiField* find_ui_field(std::string_view name) {
  for (const UiField& field : UI_FIELDS) {
    if (field.name == name) return &field;
  }
  return nullptr;
}

// The label of a field; a name the record does not have fails to compile.
consteval std::string_view ui_label(std::string_view name) {
  return find_ui_field(name)->label;
}

// Whether a write leaves this field as the unit has it: the unit's own fields always, the name
// and the charge mode when the user asked to keep them. The engine's write and the front ends'
// checks both go by this.
constexpr bool unit_keeps(const UiField& field, bool keep_name, bool keep_charge) {
  return !field.editable || (keep_name && field.name == "unit_name") ||
         (keep_charge && field.name == "charge");
}

// The form as the write will take it: every field the unit keeps comes from current.
inline UiSettings as_written(UiSettings form, const UiSettings& current, bool keep_name,
                             bool keep_charge) {
  for (const UiField& field : UI_FIELDS) {
    if (!unit_keeps(field, keep_name, keep_charge)) continue;
    std::visit([&](auto member) { form.*member = current.*member; }, field.ref);
  }
  return form;
}

}  // namespace owl
