#include "ui/labels.hpp"

#include <QCoreApplication>
#include <QLabel>
#include <QRegularExpression>
#include <array>
#include <type_traits>
#include <variant>

#include "ui_fields.hpp"

namespace owl::desktop {

namespace {

constexpr std::uint32_t STEP_KHZ = 5;
// Integers above this are kHz; below it nobody means kHz for a radio channel.
constexpr std::uint64_t KHZ_THRESHOLD = 10000;

struct Label {
  OptionField field;
  const char* name;
  const char* text;
};

// The one table of option labels.
constexpr std::array LABELS = {
    Label{OptionField::VoicePrompts, "OFF", QT_TRANSLATE_NOOP("Options", "Off")},
    Label{OptionField::VoicePrompts, "RIGHT", QT_TRANSLATE_NOOP("Options", "Right")},
    Label{OptionField::VoicePrompts, "LEFT", QT_TRANSLATE_NOOP("Options", "Left")},
    Label{OptionField::VoicePrompts, "CENTER", QT_TRANSLATE_NOOP("Options", "Centre")},
    Label{OptionField::HphMode, "MONO", QT_TRANSLATE_NOOP("Options", "Mono")},
    Label{OptionField::HphMode, "STEREO", QT_TRANSLATE_NOOP("Options", "Stereo")},
    Label{OptionField::HphMode, "BALANCED", QT_TRANSLATE_NOOP("Options", "Balanced")},
    Label{OptionField::Led, "OFF", QT_TRANSLATE_NOOP("Options", "Off")},
    Label{OptionField::Led, "ON", QT_TRANSLATE_NOOP("Options", "On")},
    Label{OptionField::Led, "DIM", QT_TRANSLATE_NOOP("Options", "Dim")},
    Label{OptionField::Charge, "OFF", QT_TRANSLATE_NOOP("Options", "Off")},
    Label{OptionField::Charge, "SLOW", QT_TRANSLATE_NOOP("Options", "Slow")},
    Label{OptionField::Charge, "FAST", QT_TRANSLATE_NOOP("Options", "Fast")},
    Label{OptionField::Squelch, "HIGH", QT_TRANSLATE_NOOP("Options", "High")},
    Label{OptionField::Squelch, "MED", QT_TRANSLATE_NOOP("Options", "Medium")},
    Label{OptionField::Squelch, "LOW", QT_TRANSLATE_NOOP("Options", "Low")},
    Label{OptionField::Button, "OFF", QT_TRANSLATE_NOOP("Options", "Off")},
    Label{OptionField::Button, "CHANNEL", QT_TRANSLATE_NOOP("Options", "Channel")},
    Label{OptionField::Button, "DELAY", QT_TRANSLATE_NOOP("Options", "Delay")},
    Label{OptionField::Button, "ANNOUNCE", QT_TRANSLATE_NOOP("Options", "Announce")},
    Label{OptionField::RfMode, "FM_ANALOG", QT_TRANSLATE_NOOP("Options", "FM analogue")},
    Label{OptionField::RfMode, "DIGITAL", QT_TRANSLATE_NOOP("Options", "Digital")},
    Label{OptionField::Compander, "OFF", QT_TRANSLATE_NOOP("Options", "Off")},
    Label{OptionField::Compander, "COMPANDER1", QT_TRANSLATE_NOOP("Options", "Compander 1")},
    Label{OptionField::Compander, "COMPANDER2", QT_TRANSLATE_NOOP("Options", "Compander 2")},
    Label{OptionField::BatteryType, "NIMH", QT_TRANSLATE_NOOP("Options", "NiMH")},
    Label{OptionField::BatteryType, "ALKALINE", QT_TRANSLATE_NOOP("Options", "Alkaline")},
    Label{OptionField::BatteryType, "LITHIUM", QT_TRANSLATE_NOOP("Options", "Lithium")},
    Label{OptionField::AudioEq, "NORMAL", QT_TRANSLATE_NOOP("Options", "Off")},
    Label{OptionField::AudioEq, "BOOST_LOW", QT_TRANSLATE_NOOP("Options", "Bass boost low")},
    Label{OptionField::AudioEq, "BOOST_HIGH", QT_TRANSLATE_NOOP("Options", "Bass boost high")},
};

const Label* find_label(OptionField field, const std::string& name) {
  const QString wanted = QString::fromStdString(name);
  for (const auto& l : LABELS) {
    if (l.field == field && wanted.compare(QLatin1String(l.name), Qt::CaseInsensitive) == 0) {
      return &l;
    }
  }
  return nullptr;
}

QString mhz_range(std::uint32_t lo, std::uint32_t hi) {
  return QStringLiteral("%1–%2 MHz").arg(mhz_text(lo), mhz_text(hi));
}

}  // namespace

// The settings form's own order and words.
constexpr std::array<FieldLabel, 19> FIELD_LABELS{{
    {"unit_name", QT_TRANSLATE_NOOP("Field", "&Name"), std::nullopt},
    {"serial", QT_TRANSLATE_NOOP("Field", "Serial number"), std::nullopt},
    {"min_freq", QT_TRANSLATE_NOOP("Field", "Lowest frequency"), std::nullopt, FieldUnit::MHz},
    {"max_freq", QT_TRANSLATE_NOOP("Field", "Highest frequency"), std::nullopt, FieldUnit::MHz},
    {"delay_ms", QT_TRANSLATE_NOOP("Field", "&Delay"), std::nullopt, FieldUnit::Milliseconds},
    {"encryption", QT_TRANSLATE_NOOP("Field", "Encryption"), std::nullopt},
    {"boot_announce", QT_TRANSLATE_NOOP("Field", "Announce at boot"), std::nullopt},
    {"gain_boost", QT_TRANSLATE_NOOP("Field", "Gain boost"), std::nullopt},
    {"voice_prompts", QT_TRANSLATE_NOOP("Field", "Voice prompts"), OptionField::VoicePrompts},
    {"hph_mode", QT_TRANSLATE_NOOP("Field", "Headphone mode"), OptionField::HphMode},
    {"led", QT_TRANSLATE_NOOP("Field", "LED"), OptionField::Led},
    {"charge", QT_TRANSLATE_NOOP("Field", "Charge"), OptionField::Charge},
    {"squelch", QT_TRANSLATE_NOOP("Field", "Squelch"), OptionField::Squelch},
    {"ab_button", QT_TRANSLATE_NOOP("Field", "A/B button"), OptionField::Button},
    {"star_button", QT_TRANSLATE_NOOP("Field", "* button"), OptionField::Button},
    {"rf_mode", QT_TRANSLATE_NOOP("Field", "RF mode"), OptionField::RfMode},
    {"compander", QT_TRANSLATE_NOOP("Field", "Compander"), OptionField::Compander},
    {"battery_type", QT_TRANSLATE_NOOP("Field", "Battery type"), OptionField::BatteryType},
    {"audio_eq", QT_TRANSLATE_NOOP("Field", "Bass boost"), OptionField::AudioEq},
}};

std::span<const FieldLabel> field_labels() {
  return FIELD_LABELS;
}

const FieldLabel* find_field_label(std::string_view name) {
  for (const FieldLabel& f : FIELD_LABELS) {
    if (f.name == name) return &f;
  }
  return nullptr;
}

QString form_label(const FieldLabel& field) {
  return QCoreApplication::translate("Field", field.label);
}

QString field_label(std::string_view name) {
  const FieldLabel* f = find_field_label(name);
  return f != nullptr ? form_label(*f).remove(QLatin1Char('&'))
                      : QString::fromUtf8(name.data(), static_cast<qsizetype>(name.size()));
}

QString value_words(const FieldLabel& field, const std::string& value) {
  const UiField* row = find_ui_field(field.name);
  if (row != nullptr && std::holds_alternative<bool UiSettings::*>(row->ref)) {
    if (value == "true") return QCoreApplication::translate("Field", "on");
    if (value == "false") return QCoreApplication::translate("Field", "off");
  }
  if (field.option) return option_label(*field.option, value);
  const QString text = QString::fromStdString(value);
  bool number = false;
  const unsigned long n = text.toULong(&number);
  if (number && field.unit == FieldUnit::MHz && n <= UINT32_MAX) {
    return QCoreApplication::translate("Field", "%1 MHz")
        .arg(mhz_text(static_cast<std::uint32_t>(n)));
  }
  if (number && field.unit == FieldUnit::Milliseconds) {
    return QCoreApplication::translate("Field", "%1 ms").arg(n);
  }
  return text;
}

QString value_words(const FieldLabel& field, const UiSettings& settings) {
  return std::visit(
      [&](auto member) {
        const auto& v = settings.*member;
        using T = std::remove_cvref_t<decltype(v)>;
        if constexpr (std::is_same_v<T, std::string>) {
          return value_words(field, v);
        } else if constexpr (std::is_same_v<T, bool>) {
          return value_words(field, std::string(v ? "true" : "false"));
        } else {
          return value_words(field, std::to_string(v));
        }
      },
      find_ui_field(field.name)->ref);
}

QString option_label(OptionField field, const std::string& name) {
  const Label* l = find_label(field, name);
  return l != nullptr ? QCoreApplication::translate("Options", l->text)
                      : QString::fromStdString(name);
}

bool has_option_label(OptionField field, const std::string& name) {
  return find_label(field, name) != nullptr;
}

QString mhz_text(std::uint32_t khz) {
  return QStringLiteral("%1.%2").arg(khz / 1000).arg(khz % 1000, 3, 10, QLatin1Char('0'));
}

QString frequency_hint() {
  return QCoreApplication::translate("Frequency",
                                     "MHz with up to three decimals (216.500), or kHz (216500)");
}

FrequencyInput parse_frequency(const QString& text, std::uint32_t min_khz, std::uint32_t max_khz) {
  static const QRegularExpression number(QStringLiteral("^(\\d{1,9})(?:[.,](\\d*))?$"));
  const QString t = text.trimmed();
  const auto m = number.match(t);
  if (!m.hasMatch()) {
    return {std::nullopt, QCoreApplication::translate(
                              "Frequency", "type MHz (216.500) or kHz as a whole number (216500)")};
  }
  const std::uint64_t whole = m.captured(1).toULongLong();
  const QString decimals = m.captured(2);
  std::uint64_t khz = 0;
  if (!m.hasCaptured(2) && whole > KHZ_THRESHOLD) {
    khz = whole;
  } else {
    // MHz: the first three decimals are kHz; anything finer must be zeros to be on the grid.
    khz = whole * 1000 + decimals.left(3).leftJustified(3, QLatin1Char('0')).toULongLong();
    if (decimals.mid(3).contains(QRegularExpression(QStringLiteral("[1-9]")))) {
      return {std::nullopt,
              QCoreApplication::translate("Frequency", "%1 MHz is not on the %2 kHz step")
                  .arg(t)
                  .arg(STEP_KHZ)};
    }
  }
  if (khz > UINT32_MAX || khz < min_khz || khz > max_khz) {
    return {std::nullopt,
            QCoreApplication::translate("Frequency", "%1 MHz is outside this unit's %2 range")
                .arg(khz > UINT32_MAX ? t : mhz_text(static_cast<std::uint32_t>(khz)),
                     mhz_range(min_khz, max_khz))};
  }
  if (khz % STEP_KHZ != 0) {
    return {std::nullopt,
            QCoreApplication::translate("Frequency", "%1 MHz is not on the %2 kHz step")
                .arg(mhz_text(static_cast<std::uint32_t>(khz)))
                .arg(STEP_KHZ)};
  }
  return {static_cast<std::uint32_t>(khz), QString()};
}

FrequencyValidator::FrequencyValidator(std::uint32_t min_khz, std::uint32_t max_khz, QLabel* note,
                                       QObject* parent)
    : QValidator(parent), lo_(min_khz), hi_(max_khz), note_(note) {}

QValidator::State FrequencyValidator::validate(QString& text, int&) const {
  const FrequencyInput in = parse_frequency(text, lo_, hi_);
  if (note_ != nullptr) note_->setText(in.error);
  if (in.khz) return Acceptable;
  for (QChar c : text) {
    if (!c.isDigit() && c != QLatin1Char('.') && c != QLatin1Char(',') && !c.isSpace()) {
      return Invalid;
    }
  }
  return Intermediate;
}

QString reason_text(const QString& reason) {
  static const QRegularExpression kind(QStringLiteral("^(read failed: .*) \\([A-Z][A-Za-z]*\\)$"));
  const auto m = kind.match(reason);
  return m.hasMatch() ? m.captured(1) : reason;
}

}  // namespace owl::desktop
