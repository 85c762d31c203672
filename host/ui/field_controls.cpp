#include "ui/field_controls.hpp"

#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QRegularExpressionValidator>
#include <QSpinBox>
#include <limits>
#include <stdexcept>
#include <type_traits>
#include <variant>

namespace owl::desktop {

namespace {

QString tr(const char* text) {
  return QCoreApplication::translate("SettingsForm", text);
}

QString q(const std::string& s) {
  return QString::fromStdString(s);
}

QWidget* editable_control(const UiField& field, const FieldLabel& label) {
  return std::visit(
      [&](auto member) -> QWidget* {
        using T = std::remove_cvref_t<decltype(UiSettings{}.*member)>;
        if constexpr (std::is_same_v<T, std::string>) {
          return new QLineEdit;
        } else if constexpr (std::is_same_v<T, bool>) {
          return new QCheckBox(form_label(label));
        } else {
          auto* spin = new QSpinBox;
          spin->setRange(0, static_cast<int>(std::min<std::uint64_t>(
                                std::numeric_limits<T>::max(), std::numeric_limits<int>::max())));
          return spin;
        }
      },
      field.ref);
}

// What some fields need beyond their type: the input they take and the unit they are in.
void dress(const UiField& field, const FieldLabel& label, QWidget* control) {
  if (field.name == "unit_name") {
    static_cast<QLineEdit*>(control)->setPlaceholderText(tr("1-15 of A-Z a-z 0-9 - _"));
  } else if (field.name == "encryption") {
    auto* edit = static_cast<QLineEdit*>(control);
    edit->setValidator(new QRegularExpressionValidator(
        QRegularExpression(QStringLiteral("[0-9A-Fa-f]{0,6}")), edit));
    edit->setPlaceholderText(tr("six hex digits"));
  }
  if (auto* spin = qobject_cast<QSpinBox*>(control);
      spin != nullptr && label.unit == FieldUnit::Milliseconds) {
    spin->setSingleStep(5);
    spin->setSuffix(tr(" ms"));
  }
}

QWidget* make_control(const UiField& field, const FieldLabel& label) {
  QWidget* control = nullptr;
  if (field.options != nullptr) {
    control = new QComboBox;
    // A write always keeps the unit's own value, so offering a choice would mislead.
    control->setEnabled(field.editable);
    if (!field.editable) {
      control->setToolTip(tr("The unit keeps its %1; it cannot be changed by a write.")
                              .arg(field_label(field.name)));
    }
  } else if (!field.editable) {
    control = new QLabel;
  } else {
    control = editable_control(field, label);
  }
  control->setObjectName(
      QString::fromLatin1(field.name.data(), static_cast<qsizetype>(field.name.size())));
  control->setAccessibleName(field_label(field.name));
  dress(field, label, control);
  return control;
}

void fill_combo(QComboBox* combo, const FieldLabel& label, const std::vector<std::string>& names,
                const std::string& value) {
  combo->clear();
  for (const auto& name : names) combo->addItem(option_label(*label.option, name), q(name));
  int at = -1;
  for (int i = 0; i < combo->count() && at < 0; ++i) {
    if (combo->itemData(i).toString().compare(q(value), Qt::CaseInsensitive) == 0) at = i;
  }
  if (at < 0) {
    // A code the unit reported without a name: shown as its number so it can be written back.
    combo->addItem(q(value), q(value));
    at = combo->count() - 1;
    combo->setItemData(
        at, tr("The unit reported code %1, which has no name in this app.").arg(q(value)),
        Qt::ToolTipRole);
  }
  combo->setCurrentIndex(at);
}

}  // namespace

FieldControls::FieldControls(QWidget* owner, std::function<void()> on_edit) {
  for (const FieldLabel& label : field_labels()) {
    const UiField* field = find_ui_field(label.name);
    if (field == nullptr) throw std::logic_error("a desktop label names no field");
    QWidget* control = make_control(*field, label);
    control->setParent(owner);
    if (auto* combo = qobject_cast<QComboBox*>(control)) {
      QObject::connect(combo, &QComboBox::currentIndexChanged, owner, on_edit);
    } else if (auto* edit = qobject_cast<QLineEdit*>(control)) {
      QObject::connect(edit, &QLineEdit::textEdited, owner, on_edit);
    } else if (auto* spin = qobject_cast<QSpinBox*>(control)) {
      QObject::connect(spin, &QSpinBox::valueChanged, owner, on_edit);
    } else if (auto* box = qobject_cast<QCheckBox*>(control)) {
      QObject::connect(box, &QCheckBox::toggled, owner, on_edit);
    }
    controls_.push_back({field, &label, control});
  }
}

void FieldControls::lay_out(QFormLayout* plain, QFormLayout* options) const {
  for (const Control& c : controls_) {
    QFormLayout* layout = c.field->options != nullptr ? options : plain;
    if (qobject_cast<QCheckBox*>(c.widget) != nullptr) {
      layout->addRow(QString(), c.widget);
    } else {
      layout->addRow(form_label(*c.label), c.widget);
    }
  }
}

void FieldControls::load(const UiSettings& settings) {
  for (const Control& c : controls_) {
    std::visit(
        [&](auto member) {
          const auto& v = settings.*member;
          using T = std::remove_cvref_t<decltype(v)>;
          if (auto* label = qobject_cast<QLabel*>(c.widget)) {
            label->setText(value_words(*c.label, settings));
          } else if constexpr (std::is_same_v<T, std::string>) {
            if (auto* combo = qobject_cast<QComboBox*>(c.widget)) {
              fill_combo(combo, *c.label, options_.*(c.field->options), v);
            } else {
              static_cast<QLineEdit*>(c.widget)->setText(q(v));
            }
          } else if constexpr (std::is_same_v<T, bool>) {
            static_cast<QCheckBox*>(c.widget)->setChecked(v);
          } else {
            static_cast<QSpinBox*>(c.widget)->setValue(static_cast<int>(v));
          }
        },
        c.field->ref);
  }
}

void FieldControls::refill_options(const UiSettings& settings) {
  for (const Control& c : controls_) {
    if (auto* combo = qobject_cast<QComboBox*>(c.widget)) {
      fill_combo(combo, *c.label, options_.*(c.field->options),
                 settings.*std::get<std::string UiSettings::*>(c.field->ref));
    }
  }
}

void FieldControls::clear() {
  for (const Control& c : controls_) {
    if (auto* combo = qobject_cast<QComboBox*>(c.widget)) combo->clear();
    if (auto* label = qobject_cast<QLabel*>(c.widget)) label->clear();
    if (auto* edit = qobject_cast<QLineEdit*>(c.widget)) edit->clear();
    if (auto* spin = qobject_cast<QSpinBox*>(c.widget)) spin->setValue(0);
    if (auto* box = qobject_cast<QCheckBox*>(c.widget)) box->setChecked(false);
  }
}

UiSettings FieldControls::read(UiSettings base) const {
  for (const Control& c : controls_) {
    if (!c.field->editable) continue;
    std::visit(
        [&](auto member) {
          auto& v = base.*member;
          using T = std::remove_cvref_t<decltype(v)>;
          if constexpr (std::is_same_v<T, std::string>) {
            if (auto* combo = qobject_cast<QComboBox*>(c.widget)) {
              v = combo->currentData().toString().toStdString();
            } else {
              v = static_cast<QLineEdit*>(c.widget)->text().toStdString();
            }
          } else if constexpr (std::is_same_v<T, bool>) {
            v = static_cast<QCheckBox*>(c.widget)->isChecked();
          } else {
            v = static_cast<T>(static_cast<QSpinBox*>(c.widget)->value());
          }
        },
        c.field->ref);
  }
  return base;
}

QString FieldControls::commit() const {
  for (const Control& c : controls_) {
    auto* spin = qobject_cast<QSpinBox*>(c.widget);
    if (spin == nullptr || spin->hasAcceptableInput()) continue;
    spin->setFocus();
    const QString text = c.label->unit == FieldUnit::Milliseconds
                             ? tr("%1: type a number of milliseconds from %2 to %3")
                             : tr("%1: type a number from %2 to %3");
    return text.arg(field_label(c.field->name)).arg(spin->minimum()).arg(spin->maximum());
  }
  return {};
}

}  // namespace owl::desktop
