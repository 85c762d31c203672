#include "ui_settings.hpp"

#include "text.hpp"
#include "ui_fields.hpp"

#include <cstdio>

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
  ui.unit_name = s.unitName;
  ui.serial = s.unitSerialNum;
  ui.voice_prompts = enum_text(s.voicePromptsEnable);
  ui.boot_announce = s.bootAnnounce;
  ui.delay_ms = s.delayMs;
  ui.hph_mode = enum_text(s.hphMode);
  ui.led = enum_text(s.led);
  ui.charge = enum_text(s.charge);
  ui.squelch = enum_text(s.squelch);
  ui.ab_button = enum_text(s.abButton);
  ui.star_button = enum_text(s.starButton);
  ui.rf_mode = enum_text(s.rfMode);
  ui.compander = enum_text(s.compander);
  ui.battery_type = enum_text(s.batteryType);
  char hex[16];
  std::snprintf(hex, sizeof hex, "%06X", s.encryption);
  ui.encryption = hex;
  ui.audio_eq = enum_text(s.audioEq);
  ui.gain_boost = s.gainBoost;
  ui.min_freq = s.minFreq;
  ui.max_freq = s.maxFreq;
  for (const ChannelSettings& c : s.channels) {
    ui.channels.push_back({c.frequency, c.delayEnable, c.votingEnable, c.channelEnable});
  }
  return ui;
}

Expected<UnitSettings, std::string> settings_from_ui(const UiSettings& form,
                                                     const UnitSettings& base) {
  UnitSettings s;
  std::optional<std::string> error;
  convert(form.voice_prompts, s.voicePromptsEnable, ui_label("voice_prompts"), error);
  convert(form.hph_mode, s.hphMode, ui_label("hph_mode"), error);
  convert(form.led, s.led, ui_label("led"), error);
  convert(form.charge, s.charge, ui_label("charge"), error);
  convert(form.squelch, s.squelch, ui_label("squelch"), error);
  convert(form.ab_button, s.abButton, ui_label("ab_button"), error);
  convert(form.star_button, s.starButton, ui_label("star_button"), error);
  convert(form.rf_mode, s.rfMode, ui_label("rf_mode"), error);
  convert(form.compander, s.compander, ui_label("compander"), error);
  convert(form.battery_type, s.batteryType, ui_label("battery_type"), error);
  if (!error) {
    if (auto code = parse_encryption(form.encryption)) {
      s.encryption = *code;
    } else {
      error = "encryption must be exactly 6 hex digits";
    }
  }
  convert(form.audio_eq, s.audioEq, ui_label("audio_eq"), error);
  if (error) return Unexpected{std::move(*error)};

  s.unitName = form.unit_name;
  s.bootAnnounce = form.boot_announce;
  s.delayMs = form.delay_ms;
  s.gainBoost = form.gain_boost;
  s.unitSerialNum = base.unitSerialNum;
  s.minFreq = base.minFreq;
  s.maxFreq = base.maxFreq;
  s.reserved60 = base.reserved60;
  s.structVer = base.structVer;
  s.curPresetIndex = base.curPresetIndex;
  s.hpCompressor = base.hpCompressor;
  s.reserved51 = base.reserved51;
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
