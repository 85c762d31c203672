#include "ui/preview_model.hpp"

#include <QCoreApplication>
#include <variant>

#include "ui/labels.hpp"
#include "ui_fields.hpp"

namespace owl::desktop {

namespace {

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
  for (const FieldLabel& f : field_labels()) {
    const QString a = value_words(f, old_settings);
    const QString b = value_words(f, new_settings);
    const QString name = QString::fromUtf8(f.name.data(), static_cast<qsizetype>(f.name.size()));
    if (a != b) out.push_back({name, field_label(f.name), a, b});
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
    if (const UiField* f = find_ui_field(name.toStdString()); f != nullptr) {
      std::visit([&](auto member) { out.*member = new_settings.*member; }, f->ref);
    }
  }
  return out;
}

}  // namespace owl::desktop
