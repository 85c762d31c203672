#include "ui_settings.hpp"

#include <cstdio>
#include <stdexcept>
#include <type_traits>
#include <variant>

#include "settings/unit_fields.hpp"
#include "text.hpp"
#include "ui_fields.hpp"

namespace owl {

namespace {

template <class E>
std::string enum_text(E value) {
  if (auto name = value.name()) return std::string(*name);
  return std::to_string(value.code());
}

template <class E>
std::vector<std::string> names_of() {
  std::vector<std::string> out;
  for (std::size_t i = 0; i < E::count(); ++i) out.emplace_back(*E::nth(i).name());
  return out;
}

std::optional<std::uint8_t> parse_code(std::string_view text) {
  if (!text.empty() && text.front() == '+') text.remove_prefix(1);
  if (text.empty()) return std::nullopt;
  unsigned value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return std::nullopt;
    value = value * 10 + static_cast<unsigned>(c - '0');
    if (value > 255) return std::nullopt;
  }
  return static_cast<std::uint8_t>(value);
}

std::optional<std::uint32_t> parse_encryption(std::string_view text) {
  if (text.size() != 6) return std::nullopt;
  std::uint32_t value = 0;
  for (char c : text) {
    std::uint32_t digit = 0;
    if (c >= '0' && c <= '9') {
      digit = static_cast<std::uint32_t>(c - '0');
    } else if (c >= 'A' && c <= 'F') {
      digit = static_cast<std::uint32_t>(c - 'A' + 10);
    } else if (c >= 'a' && c <= 'f') {
      digit = static_cast<std::uint32_t>(c - 'a' + 10);
    } else {
      return std::nullopt;
    }
    value = value * 16 + digit;
  }
  return value;
}

// Parses field into out; on failure records the field's message unless an earlier field failed.
template <class E>
void convert(const std::string& text, E& out, std::string_view label,
             std::optional<std::string>& error) {
  if (error) return;
  if (auto value = parse_enum_text<E>(text)) {
    out = *value;
  } else {
    error = std::string(label) + " has an invalid value: " + text;
  }
}

}  // namespace

template <class E>
std::optional<E> parse_enum_text(std::string_view text) {
  const std::string upper = ascii_upper(text);
  for (std::size_t i = 0; i < E::count(); ++i) {
    if (*E::nth(i).name() == upper) return E::nth(i);
  }
  if (auto code = parse_code(text)) return E::from_code(*code);
  return std::nullopt;
}

template std::optional<VoicePrompts> parse_enum_text<VoicePrompts>(std::string_view);
template std::optional<HphMode> parse_enum_text<HphMode>(std::string_view);
template std::optional<LedMode> parse_enum_text<LedMode>(std::string_view);
template std::optional<ChargeMode> parse_enum_text<ChargeMode>(std::string_view);
template std::optional<SquelchLevel> parse_enum_text<SquelchLevel>(std::string_view);
template std::optional<ButtonAction> parse_enum_text<ButtonAction>(std::string_view);
template std::optional<RfMode> parse_enum_text<RfMode>(std::string_view);
template std::optional<CompanderMode> parse_enum_text<CompanderMode>(std::string_view);
template std::optional<BatteryType> parse_enum_text<BatteryType>(std::string_view);
template std::optional<AudioEq> parse_enum_text<AudioEq>(std::string_view);

UiSettings settings_to_ui(const UnitSettings& s) {
  UiSettings ui;
  for (const UnitField& field : UNIT_FIELDS) {
    if (field.ui_name.empty()) continue;
    const UiFieldRef& to = find_ui_field(field.ui_name)->ref;
    std::visit(
        [&](auto from) {
          const auto& v = s.*from;
          using V = std::remove_cvref_t<decltype(v)>;
          // std::get throws for a pair of fields the tables do not allow.
          if constexpr (CodedValue<V>) {
            ui.*std::get<std::string UiSettings::*>(to) = enum_text(v);
          } else if constexpr (std::is_same_v<V, std::uint8_t>) {
            throw std::logic_error("no form field takes a byte");
          } else if constexpr (std::is_same_v<V, std::uint32_t>) {
            if (const auto* text = std::get_if<std::string UiSettings::*>(&to)) {
              char hex[16];  // the encryption key, as six hex digits
              std::snprintf(hex, sizeof hex, "%06X", v);
              ui.** text = hex;
            } else {
              ui.*std::get<std::uint32_t UiSettings::*>(to) = v;
            }
          } else {
            ui.*std::get<V UiSettings::*>(to) = v;
          }
        },
        field.ref);
  }
  for (const ChannelSettings& c : s.channels) {
    ui.channels.push_back({c.frequency, c.delayEnable, c.votingEnable, c.channelEnable});
  }
  return ui;
}

namespace {

bool is_enumeration(const UnitField& field) {
  return std::visit(
      [](auto member) { return CodedValue<std::remove_cvref_t<decltype(UnitSettings{}.*member)>>; },
      field.ref);
}

// Sets one field of s from the form; on failure records the message unless one was recorded.
void take_from_form(const UnitField& field, const UiField& row, const UiSettings& form,
                    UnitSettings& s, std::optional<std::string>& error) {
  std::visit(
      [&](auto to) {
        auto& out = s.*to;
        using O = std::remove_cvref_t<decltype(out)>;
        if constexpr (CodedValue<O>) {
          convert(form.*std::get<std::string UiSettings::*>(row.ref), out, row.label, error);
        } else if constexpr (std::is_same_v<O, std::uint8_t>) {
          throw std::logic_error("no form field takes a byte");
        } else if constexpr (std::is_same_v<O, std::uint32_t>) {
          // Only the encryption key is a number the form edits, and it is text there.
          if (error) return;
          if (auto code = parse_encryption(form.*std::get<std::string UiSettings::*>(row.ref))) {
            out = *code;
          } else {
            error = "encryption must be exactly 6 hex digits";
          }
        } else {
          out = form.*std::get<O UiSettings::*>(row.ref);
        }
      },
      field.ref);
}

}  // namespace

Expected<UnitSettings, std::string> settings_from_ui(const UiSettings& form,
                                                     const UnitSettings& base) {
  UnitSettings s;
  std::optional<std::string> error;
  for (const UnitField& field : UNIT_FIELDS) {
    const UiField* row = field.ui_name.empty() ? nullptr : find_ui_field(field.ui_name);
    // Bytes no form shows and the numbers the unit owns (serial, range) come from base. An
    // enumeration is read even when the unit owns it, so that a bad value is reported; the write
    // keeps the unit's own.
    if (row == nullptr || (!row->editable && !is_enumeration(field))) {
      std::visit([&](auto member) { s.*member = base.*member; }, field.ref);
    } else {
      take_from_form(field, *row, form, s, error);
    }
  }
  if (error) return Unexpected{std::move(*error)};
  for (std::size_t i = 0; i < form.channels.size(); ++i) {
    const UiChannel& c = form.channels[i];
    s.channels.push_back({c.frequency, static_cast<std::uint8_t>(i + 1), c.delay_enable,
                          c.voting_enable, c.channel_enable});
  }
  return s;
}

EnumOptions make_enum_options() {
  return {names_of<VoicePrompts>(), names_of<HphMode>(),       names_of<LedMode>(),
          names_of<ChargeMode>(),   names_of<SquelchLevel>(),  names_of<ButtonAction>(),
          names_of<RfMode>(),       names_of<CompanderMode>(), names_of<BatteryType>(),
          names_of<AudioEq>()};
}

UnitSettings example_unit_settings() {
  UnitSettings s;
  s.minFreq = 192000;
  s.maxFreq = 229975;
  s.voicePromptsEnable = VoicePrompts::CENTER;
  s.bootAnnounce = true;
  s.gainBoost = true;
  s.hphMode = HphMode::MONO;
  s.led = LedMode::ON;
  s.charge = ChargeMode::SLOW;
  s.squelch = SquelchLevel::LOW;
  s.abButton = ButtonAction::CHANNEL;
  s.starButton = ButtonAction::ANNOUNCE;
  s.rfMode = RfMode::DIGITAL;
  s.compander = CompanderMode::OFF;
  s.batteryType = BatteryType::NIMH;
  s.audioEq = AudioEq::BOOST_LOW;
  const std::uint32_t frequencies[] = {216025, 216425, 216975, 195000, 198000,
                                       201000, 204000, 207000, 210000, 216900};
  for (std::size_t i = 0; i < 10; ++i) {
    const bool enabled = i == 0 || i == 7 || i == 9;
    s.channels.push_back({frequencies[i], static_cast<std::uint8_t>(i + 1), false, false, enabled});
  }
  return s;
}

}  // namespace owl
