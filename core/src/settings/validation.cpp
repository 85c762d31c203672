#include "settings/validation.hpp"

#include <algorithm>
#include <cstdio>
#include "settings/unit_fields.hpp"
#include "ui_fields.hpp"

namespace owl {

std::string SettingsProblem::text() const {
  using K = Kind;
  switch (kind) {
    case K::RangeUnknown:
      return "the unit has not reported its frequency range yet";
    case K::BadUnitName:
      return "unit name must be 1-15 characters of A-Z, a-z, 0-9, '-' or '_'";
    case K::DelayTooLong:
      return "delay " + std::to_string(value) + " ms is over the " + std::to_string(MAX_DELAY_MS) +
             " ms maximum";
    case K::EncryptionTooLarge: {
      char hex[16];
      std::snprintf(hex, sizeof hex, "%X", static_cast<unsigned>(value));
      return std::string("encryption code 0x") + hex + " is more than 6 hex digits";
    }
    case K::ChannelCountMismatch:
      return std::to_string(channel) + " channels given but the device has " +
             std::to_string(device);
    case K::ChannelOutOfRange:
      return "channel " + std::to_string(channel) + ": " + std::to_string(value) +
             " kHz is outside this unit's " + std::to_string(min) + "-" + std::to_string(max) +
             " kHz range";
    case K::ChannelOffStep:
      return "channel " + std::to_string(channel) + ": " + std::to_string(value) +
             " kHz is not on the " + std::to_string(FREQUENCY_STEP_KHZ) + " kHz step";
    case K::UnrecognisedValue:
      return label + " has a value this app does not recognise";
  }
  return {};
}

UnitSettings build_write_request(const UnitSettings& requested, const UnitSettings& current,
                                 bool keep_name, bool keep_charge) {
  UnitSettings out = requested;
  // Which visible fields the unit keeps is the rule front ends check by too; here it is mapped onto
  // this record. The bytes no form shows are always the unit's.
  const auto unit_value = [&](std::string_view field, auto member) {
    if (unit_keeps(*find_ui_field(field), keep_name, keep_charge)) out.*member = current.*member;
  };
  static_assert(std::count_if(UI_FIELDS.begin(), UI_FIELDS.end(),
                              [](const UiField& f) { return !f.editable; }) == 4,
                "map every field the unit owns onto UnitSettings below");
  unit_value("unit_name", &UnitSettings::unitName);
  unit_value("serial", &UnitSettings::unitSerialNum);
  unit_value("charge", &UnitSettings::charge);
  unit_value("rf_mode", &UnitSettings::rfMode);
  unit_value("min_freq", &UnitSettings::minFreq);
  unit_value("max_freq", &UnitSettings::maxFreq);
  out.reserved60 = current.reserved60;
  out.structVer = current.structVer;
  out.curPresetIndex = current.curPresetIndex;
  out.hpCompressor = current.hpCompressor;
  out.reserved51 = current.reserved51;

  const std::size_t m = current.channels.size();
  const std::size_t keep = std::min(m, requested.channels.size());
  out.channels.assign(requested.channels.begin(),
                      requested.channels.begin() + static_cast<std::ptrdiff_t>(keep));
  for (std::size_t i = keep; i < m; ++i) out.channels.push_back(current.channels[i]);
  for (std::size_t i = 0; i < out.channels.size(); ++i) {
    out.channels[i].channelNumber = static_cast<std::uint8_t>(i + 1);
  }
  return out;
}

namespace {

// Every field of the front ends' record is a field of the unit's, under the name given there.
constexpr bool tables_agree() {
  std::size_t named = 0;
  for (const UnitField& f : UNIT_FIELDS) {
    if (f.ui_name.empty()) continue;
    ++named;
    const bool found = std::any_of(UI_FIELDS.begin(), UI_FIELDS.end(),
                                   [&](const UiField& u) { return u.name == f.ui_name; });
    if (!found) return false;
  }
  return named == UI_FIELDS.size();
}
static_assert(tables_agree(), "UNIT_FIELDS and UI_FIELDS name different fields");

bool valid_name_byte(char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' ||
         c == '_';
}

bool valid_unit_name(const std::string& name) {
  if (name.empty() || name.size() > MAX_UNIT_NAME) return false;
  return std::all_of(name.begin(), name.end(), valid_name_byte);
}

template <class E>
void check_unrecognised(std::vector<SettingsProblem>& out, E candidate, E current,
                        std::string_view label) {
  // Equality compares the code, which for an Unrecognised value means "same Unrecognised code".
  if (candidate.is_unrecognised() && !(candidate == current)) {
    SettingsProblem p;
    p.kind = SettingsProblem::Kind::UnrecognisedValue;
    p.label = label;
    out.push_back(std::move(p));
  }
}

}  // namespace

std::vector<SettingsProblem> validate_settings(const UnitSettings& candidate,
                                               const UnitSettings& current) {
  using K = SettingsProblem::Kind;
  std::vector<SettingsProblem> out;
  auto add = [&out](K kind) -> SettingsProblem& {
    out.emplace_back();
    out.back().kind = kind;
    return out.back();
  };

  const bool known = range_known(current);
  if (!known) add(K::RangeUnknown);

  if (!valid_unit_name(candidate.unitName)) add(K::BadUnitName);

  if (candidate.delayMs > MAX_DELAY_MS) add(K::DelayTooLong).value = candidate.delayMs;

  if (candidate.encryption > MAX_ENCRYPTION)
    add(K::EncryptionTooLarge).value = candidate.encryption;

  if (candidate.channels.size() != current.channels.size()) {
    SettingsProblem& p = add(K::ChannelCountMismatch);
    p.channel = candidate.channels.size();
    p.device = current.channels.size();
  }

  const std::uint32_t min = current.minFreq;
  const std::uint32_t max = current.maxFreq;
  for (std::size_t i = 0; i < candidate.channels.size(); ++i) {
    const std::uint32_t f = candidate.channels[i].frequency;
    const bool outside = known ? (f < min || f > max) : (f > max);
    if (outside) {
      SettingsProblem& p = add(K::ChannelOutOfRange);
      p.channel = i + 1;
      p.value = f;
      p.min = min;
      p.max = max;
    }
    if (f % FREQUENCY_STEP_KHZ != 0) {
      SettingsProblem& p = add(K::ChannelOffStep);
      p.channel = i + 1;
      p.value = f;
    }
  }

  for (const UnitField& field : UNIT_FIELDS) {
    std::visit(
        [&](auto member) {
          using T = std::remove_cvref_t<decltype(candidate.*member)>;
          // Squelch is a level, so any byte is one the unit understands.
          if constexpr (CodedValue<T> && !std::is_same_v<T, SquelchLevel>) {
            check_unrecognised(out, candidate.*member, current.*member, field.ui_name);
          }
        },
        field.ref);
  }
  return out;
}

std::vector<std::string> problem_texts(const std::vector<SettingsProblem>& problems) {
  std::vector<std::string> texts;
  texts.reserve(problems.size());
  for (const SettingsProblem& p : problems) texts.push_back(p.text());
  return texts;
}

}  // namespace owl
