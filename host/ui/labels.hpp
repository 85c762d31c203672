#pragma once

#include <QString>
#include <QValidator>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "records.hpp"

class QLabel;

namespace owl::desktop {

// The settings fields whose values are enumeration names.
enum class OptionField {
  VoicePrompts,
  HphMode,
  Led,
  Charge,
  Squelch,
  Button,
  RfMode,
  Compander,
  BatteryType,
  AudioEq
};

// What a person reads for an enumeration name ("NIMH" -> "NiMH"). Files and the engine keep the
// names; a name missing from the table (a raw code) is shown as it is. Case does not matter.
QString option_label(OptionField field, const std::string& name);
// True when the table has a label for the name, so a new engine value cannot slip by unlabelled.
bool has_option_label(OptionField field, const std::string& name);

// How the desktop names a settings field (as the settings form labels it) and the option table
// its values take their words from. The preview, the differences and the backups all go by it.
// The unit a field's number is shown in.
enum class FieldUnit { None, MHz, Milliseconds };
struct FieldLabel {
  std::string_view name;  // the record's field name
  const char* label;      // untranslated, with the form's mnemonic ("&Name")
  std::optional<OptionField> option;
  FieldUnit unit = FieldUnit::None;
};
// One row per field of the record's field table, in the order of the settings form.
std::span<const FieldLabel> field_labels();
// The row of a field, or nullptr for a name the record does not have.
const FieldLabel* find_field_label(std::string_view name);
// The translated label of a field; the name itself for one the record does not have.
QString field_label(std::string_view name);
// The translated label with its mnemonic, for the form.
QString form_label(const FieldLabel& field);
// A field's value, given as files and differences write it ("120", "true", "STEREO", "216500"),
// in the form's words: option words, on/off, MHz, milliseconds.
QString value_words(const FieldLabel& field, const std::string& value);
// The same for the field of a record.
QString value_words(const FieldLabel& field, const UiSettings& settings);

// Frequencies are kHz everywhere but on screen, where they are MHz with three decimals.
QString mhz_text(std::uint32_t khz);

struct FrequencyInput {
  std::optional<std::uint32_t> khz;
  QString error;  // why the text was refused; empty when khz is set
};
// How to type a frequency, for tool tips.
QString frequency_hint();

// Reads what a person types into a frequency cell: MHz ("216.5", "216.500") or, as an integer
// above 10000, kHz ("216500"). Refuses values off the 5 kHz step or outside [min_khz, max_khz].
FrequencyInput parse_frequency(const QString& text, std::uint32_t min_khz, std::uint32_t max_khz);

// Lets through only what parse_frequency accepts, and partial input on the way to it, so a
// refused value never leaves its field. Says why in the note label, when there is one.
class FrequencyValidator : public QValidator {
 public:
  FrequencyValidator(std::uint32_t min_khz, std::uint32_t max_khz, QLabel* note, QObject* parent);
  State validate(QString& text, int& pos) const override;

 private:
  std::uint32_t lo_;
  std::uint32_t hi_;
  QLabel* note_;
};

// An engine end reason for the log: the error kind the engine appends for programs
// ("read failed: Broken pipe (BrokenPipe)") says nothing more to a person, so it is left out.
QString reason_text(const QString& reason);

}  // namespace owl::desktop
