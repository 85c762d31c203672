#include "ui/preview_model.hpp"

#include <QCoreApplication>
#include <variant>

#include "ui/labels.hpp"

namespace owl::desktop {

namespace {

using Member = std::variant<std::string UiSettings::*, std::uint32_t UiSettings::*,
                            std::uint16_t UiSettings::*, bool UiSettings::*>;

struct Field {
  const char* name;
  const char* label;
  Member member;
  bool frequency = false;
};

// The order of the settings form, so the preview reads like the form.
const Field FIELDS[] = {
    {"unit_name", QT_TRANSLATE_NOOP("Preview", "Name"), &UiSettings::unit_name},
    {"serial", QT_TRANSLATE_NOOP("Preview", "Serial"), &UiSettings::serial},
    {"min_freq", QT_TRANSLATE_NOOP("Preview", "Band low"), &UiSettings::min_freq, true},
    {"max_freq", QT_TRANSLATE_NOOP("Preview", "Band high"), &UiSettings::max_freq, true},
    {"voice_prompts", QT_TRANSLATE_NOOP("Preview", "Voice prompts"), &UiSettings::voice_prompts},
    {"boot_announce", QT_TRANSLATE_NOOP("Preview", "Boot announce"), &UiSettings::boot_announce},
    {"delay_ms", QT_TRANSLATE_NOOP("Preview", "Delay (ms)"), &UiSettings::delay_ms},
    {"hph_mode", QT_TRANSLATE_NOOP("Preview", "Headphone mode"), &UiSettings::hph_mode},
    {"led", QT_TRANSLATE_NOOP("Preview", "LED"), &UiSettings::led},
    {"charge", QT_TRANSLATE_NOOP("Preview", "Charge"), &UiSettings::charge},
    {"squelch", QT_TRANSLATE_NOOP("Preview", "Squelch"), &UiSettings::squelch},
    {"ab_button", QT_TRANSLATE_NOOP("Preview", "A/B button"), &UiSettings::ab_button},
    {"star_button", QT_TRANSLATE_NOOP("Preview", "Star button"), &UiSettings::star_button},
    {"rf_mode", QT_TRANSLATE_NOOP("Preview", "RF mode"), &UiSettings::rf_mode},
    {"compander", QT_TRANSLATE_NOOP("Preview", "Compander"), &UiSettings::compander},
    {"battery_type", QT_TRANSLATE_NOOP("Preview", "Battery"), &UiSettings::battery_type},
    {"encryption", QT_TRANSLATE_NOOP("Preview", "Encryption"), &UiSettings::encryption},
    {"audio_eq", QT_TRANSLATE_NOOP("Preview", "Audio EQ"), &UiSettings::audio_eq},
    {"gain_boost", QT_TRANSLATE_NOOP("Preview", "Gain boost"), &UiSettings::gain_boost},
};

QString value_text(const Field& field, const UiSettings& s) {
  return std::visit(
      [&](auto member) -> QString {
        const auto& v = s.*member;
        using T = std::remove_cvref_t<decltype(v)>;
        if constexpr (std::is_same_v<T, std::string>) {
          return QString::fromStdString(v);
        } else if constexpr (std::is_same_v<T, bool>) {
          return v ? QStringLiteral("on") : QStringLiteral("off");
        } else {
          return field.frequency ? mhz_text(v) + QStringLiteral(" MHz") : QString::number(v);
        }
      },
      field.member);
}

QString tr(const char* text) {
  return QCoreApplication::translate("Preview", text);
}

QString channels_text(const std::vector<UiChannel>& channels) {
  QStringList parts;
  for (const auto& c : channels) parts << mhz_text(c.frequency);
  return QStringLiteral("%1: %2").arg(channels.size()).arg(parts.join(QStringLiteral(", ")));
}

}  // namespace

QString channel_text(const UiChannel& c) {
  QStringList parts{mhz_text(c.frequency) + QStringLiteral(" MHz"),
                    c.channel_enable ? QStringLiteral("on") : QStringLiteral("off")};
  if (c.delay_enable) parts << QStringLiteral("delay");
  if (c.voting_enable) parts << QStringLiteral("voting");
  return parts.join(QStringLiteral(", "));
}

std::vector<FieldChange> changed_fields(const UiSettings& old_settings,
                                        const UiSettings& new_settings) {
  std::vector<FieldChange> out;
  for (const auto& f : FIELDS) {
    const QString a = value_text(f, old_settings);
    const QString b = value_text(f, new_settings);
    if (a != b) out.push_back({QString::fromLatin1(f.name), tr(f.label), a, b});
  }
  const auto& a = old_settings.channels;
  const auto& b = new_settings.channels;
  if (a.size() != b.size()) {
    // Channels cannot be picked one by one when their numbers do not line up.
    out.push_back({QStringLiteral("channels"), tr("Channels"), channels_text(a), channels_text(b)});
    return out;
  }
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (a[i] == b[i]) continue;
    out.push_back({QStringLiteral("channel.%1").arg(i + 1), tr("Channel %1").arg(i + 1),
                   channel_text(a[i]), channel_text(b[i])});
  }
  return out;
}

UiSettings apply_fields(const UiSettings& old_settings, const UiSettings& new_settings,
                        const QStringList& fields) {
  UiSettings out = old_settings;
  for (const auto& name : fields) {
    if (name == QLatin1String("channels")) {
      out.channels = new_settings.channels;
      continue;
    }
    if (name.startsWith(QLatin1String("channel."))) {
      bool ok = false;
      const auto n = static_cast<std::size_t>(name.mid(8).toUInt(&ok));
      if (ok && n >= 1 && n <= out.channels.size() && n <= new_settings.channels.size()) {
        out.channels[n - 1] = new_settings.channels[n - 1];
      }
      continue;
    }
    for (const auto& f : FIELDS) {
      if (name != QLatin1String(f.name)) continue;
      std::visit([&](auto member) { out.*member = new_settings.*member; }, f.member);
    }
  }
  return out;
}

}  // namespace owl::desktop
