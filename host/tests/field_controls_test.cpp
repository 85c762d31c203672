// The settings form's field controls, built from the record's field table, without an engine.
#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QSpinBox>
#include <QtTest>

#include "option_names.hpp"
#include "ui/field_controls.hpp"
#include "ui_fields.hpp"

using namespace owl;
using namespace owl::desktop;

namespace {

// Every field differs from a default record.
UiSettings unit() {
  UiSettings s;
  s.unit_name = "Stage-Left";
  s.serial = 4242;
  s.voice_prompts = "LEFT";
  s.boot_announce = true;
  s.delay_ms = 120;
  s.hph_mode = "STEREO";
  s.led = "DIM";
  s.charge = "FAST";
  s.squelch = "LOW";
  s.ab_button = "DELAY";
  s.star_button = "ANNOUNCE";
  s.rf_mode = "DIGITAL";
  s.compander = "COMPANDER2";
  s.battery_type = "LITHIUM";
  s.encryption = "00BEEF";
  s.audio_eq = "BOOST_HIGH";
  s.gain_boost = true;
  s.min_freq = 470000;
  s.max_freq = 542000;
  return s;
}

}  // namespace

class FieldControlsTest : public QObject {
  Q_OBJECT

 private slots:
  void everyFieldHasANamedControlThatReadsBackItsValue();
  void aNumberBeingTypedIsRefusedWithTheFieldsWords();
};

void FieldControlsTest::everyFieldHasANamedControlThatReadsBackItsValue() {
  QWidget owner;
  int edits = 0;
  FieldControls controls(&owner, [&] { ++edits; });
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
  // the unit's own from the base.
  const UiSettings loaded = unit();
  controls.load(loaded);
  UiSettings base;
  base.rf_mode = "FM_ANALOG";
  QCOMPARE(controls.read(base), as_written(loaded, base, false, false));
  QCOMPARE(owner.findChild<QLabel*>("max_freq")->text(), QStringLiteral("542.000 MHz"));
  QCOMPARE(owner.findChild<QLabel*>("serial")->text(), QStringLiteral("4242"));
  QCOMPARE(owner.findChild<QComboBox*>("battery_type")->currentText(), QStringLiteral("Lithium"));
  QCOMPARE(owner.findChild<QSpinBox*>("delay_ms")->text(), QStringLiteral("120 ms"));

  // A change a person makes is reported; the options offered again keep the values chosen.
  edits = 0;
  owner.findChild<QCheckBox*>("gain_boost")->click();
  QCOMPARE(edits, 1);
  controls.refill_options(controls.read(loaded));
  QCOMPARE(controls.read(loaded).gain_boost, false);
  QCOMPARE(controls.read(loaded).audio_eq, std::string("BOOST_HIGH"));

  controls.clear();
  QCOMPARE(controls.read(loaded), as_written(UiSettings{}, loaded, false, false));
}

void FieldControlsTest::aNumberBeingTypedIsRefusedWithTheFieldsWords() {
  QWidget owner;
  FieldControls controls(&owner, [] {});
  controls.load(unit());
  QVERIFY(controls.commit().isEmpty());
  auto* delay = owner.findChild<QSpinBox*>("delay_ms");
  delay->findChild<QLineEdit*>()->setText(QString());
  QCOMPARE(controls.commit(),
           QStringLiteral("Delay: type a number of milliseconds from 0 to 65535"));
}

QTEST_MAIN(FieldControlsTest)
#include "field_controls_test.moc"
