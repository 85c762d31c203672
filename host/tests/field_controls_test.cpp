// The settings form's field controls, built from the record's field table, without an engine.
#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QSignalSpy>
#include <QSpinBox>
#include <QTableWidget>
#include <QtTest>

#include "option_names.hpp"
#include "ui/field_controls.hpp"
#include "ui/settings_form.hpp"
#include "ui_fields.hpp"
#include "widget_test_helpers.hpp"

using namespace owl;
using namespace owl::desktop;

namespace {

// Every field differs from a default record and from its neighbours, so a swapped control shows
// in a round trip; the LED and squelch carry codes that have no name.
UiSettings front() {
  UiSettings s{"Front",      77,          "CENTER",     true,      35,
               "STEREO",     "7",         "FAST",       "39",      "DELAY",
               "OFF",        "FM_ANALOG", "COMPANDER2", "LITHIUM", "00AB12",
               "BOOST_HIGH", true,        192000,       229975,    {}};
  s.channels = {{200000, true, false, true}, {201000, false, true, false}};
  return s;
}

}  // namespace

class FieldControlsTest : public QObject {
  Q_OBJECT

 private slots:
  void everyFieldHasANamedControlThatReadsBackItsValue();
  void aNumberBeingTypedIsRefusedWithTheFieldsWords();
  void unknownOptionValueStaysSelectable();
};

void FieldControlsTest::everyFieldHasANamedControlThatReadsBackItsValue() {
  QWidget owner;
  FieldControls controls(&owner, [] {});
  auto* plain = new QFormLayout;
  auto* enumerations = new QFormLayout;
  auto* top = new QHBoxLayout(&owner);
  top->addLayout(plain);
  top->addLayout(enumerations);
  controls.lay_out(plain, enumerations);
  QCOMPARE(plain->rowCount() + enumerations->rowCount(), static_cast<int>(UI_FIELDS.size()));
  controls.set_options(testing_support::engine_option_names());

  // One control per row of the table, by the field's name, with a name a screen reader reads;
  // what the unit keeps cannot be edited.
  for (const UiField& f : UI_FIELDS) {
    const QString name = QString::fromLatin1(f.name.data(), static_cast<qsizetype>(f.name.size()));
    auto* control = owner.findChild<QWidget*>(name);
    QVERIFY2(control != nullptr, f.name.data());
    QVERIFY2(!control->accessibleName().isEmpty(), f.name.data());
    const bool can_edit = control->isEnabled() && qobject_cast<QLabel*>(control) == nullptr;
    QVERIFY2(can_edit == f.editable, f.name.data());
    QCOMPARE(qobject_cast<QComboBox*>(control) != nullptr, f.options != nullptr);
  }

  // Alt+N and Alt+D reach the name and the delay.
  for (const auto& [name, text] :
       {std::pair{"unit_name", "&Name"}, std::pair{"delay_ms", "&Delay"}}) {
    const auto* control = owner.findChild<QWidget*>(name);
    const auto labels = owner.findChildren<QLabel*>();
    QVERIFY(std::any_of(labels.begin(), labels.end(), [&](const QLabel* l) {
      return l->buddy() == control && l->text() == QLatin1String(text);
    }));
  }

  // A record loaded and read back over another: the editable fields come from the controls,
  // the unit's own from the base. The channels are the table's, not these controls'.
  const UiSettings loaded = front();
  controls.load(loaded);
  UiSettings base;
  base.channels = loaded.channels;
  QCOMPARE(controls.read(base), as_written(loaded, base, false, false));
  QCOMPARE(owner.findChild<QLabel*>("max_freq")->text(), QStringLiteral("229.975 MHz"));
  QCOMPARE(owner.findChild<QLabel*>("serial")->text(), QStringLiteral("77"));
  QCOMPARE(owner.findChild<QSpinBox*>("delay_ms")->text(), QStringLiteral("35 ms"));

  controls.clear();
  UiSettings cleared;
  cleared.channels = loaded.channels;
  QCOMPARE(controls.read(loaded), as_written(cleared, loaded, false, false));
}

void FieldControlsTest::aNumberBeingTypedIsRefusedWithTheFieldsWords() {
  QWidget owner;
  FieldControls controls(&owner, [] {});
  controls.load(front());
  QVERIFY(controls.commit().isEmpty());
  auto* delay = owner.findChild<QSpinBox*>("delay_ms");
  delay->findChild<QLineEdit*>()->setText(QString());
  QCOMPARE(controls.commit(),
           QStringLiteral("Delay: type a number of milliseconds from 0 to 65535"));
}

void FieldControlsTest::unknownOptionValueStaysSelectable() {
  SettingsForm form;
  const EnumOptions options = testing_support::engine_option_names();
  form.set_options(options);
  UiSettings s = front();
  QSignalSpy edited(&form, &SettingsForm::edited);
  form.load(s);
  QCOMPARE(edited.count(), 0);
  QCOMPARE(form.form(), s);  // every field survives a round trip through the widgets

  // A form loaded before the options came (a show opened at start) offers them in words once
  // they do, with its values unchanged and no edit reported.
  SettingsForm early;
  early.load(s);
  QCOMPARE(child<QComboBox>(early, "rf_mode")->currentText(), QStringLiteral("FM_ANALOG"));
  QSignalSpy early_edits(&early, &SettingsForm::edited);
  early.set_options(options);
  QCOMPARE(child<QComboBox>(early, "rf_mode")->currentText(), QStringLiteral("FM analogue"));
  QCOMPARE(early.form(), s);
  QCOMPARE(early_edits.count(), 0);

  auto* led = child<QComboBox>(form, "led");
  QCOMPARE(led->count(), 4);
  QCOMPARE(led->currentText(), QStringLiteral("7"));
  // People read labels; the settings keep the names.
  for (const auto& [name, label] :
       {std::pair{"rf_mode", "FM analogue"}, std::pair{"compander", "Compander 2"},
        std::pair{"battery_type", "Lithium"}, std::pair{"audio_eq", "Bass boost high"},
        std::pair{"hph_mode", "Stereo"}, std::pair{"squelch", "39"}}) {
    QCOMPARE(child<QComboBox>(form, name)->currentText(), QString::fromLatin1(label));
  }
  QCOMPARE(child<QComboBox>(form, "battery_type")->itemText(0), QStringLiteral("NiMH"));
  QCOMPARE(child<QComboBox>(form, "audio_eq")->itemText(1), QStringLiteral("Bass boost low"));
  auto* channels = child<QTableWidget>(form, "channels");
  QVERIFY(!channels->horizontalHeaderItem(2)->toolTip().isEmpty());  // Delay
  QVERIFY(!channels->horizontalHeaderItem(3)->toolTip().isEmpty());  // Voting
  led->setCurrentText("Dim");
  QCOMPARE(edited.count(), 1);
  QCOMPARE(form.form().led, std::string("DIM"));
  led->setCurrentText("7");
  QCOMPARE(form.form().led, std::string("7"));
  QCOMPARE(child<QComboBox>(form, "led")->findText("3"), -1);

  // A name that differs only in case still selects the named entry, not an extra one.
  s.hph_mode = "stereo";
  form.load(s);
  QCOMPARE(child<QComboBox>(form, "hph_mode")->count(), 3);
  QCOMPARE(form.form().hph_mode, std::string("STEREO"));

  channels->item(1, 1)->setCheckState(Qt::Checked);
  QVERIFY(form.form().channels[1].channel_enable);
  QVERIFY(edited.count() >= 2);
}

QTEST_MAIN(FieldControlsTest)
#include "field_controls_test.moc"
