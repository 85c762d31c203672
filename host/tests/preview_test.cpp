// The preview of a multi-unit write, without an engine: what it lists and what it hands back.
#include <QPushButton>
#include <QTreeWidget>
#include <QtTest>

#include <algorithm>
#include "ui/labels.hpp"
#include "ui/preview_dialog.hpp"
#include "ui/preview_model.hpp"
#include "ui_fields.hpp"

using namespace owl;
using namespace owl::desktop;

namespace {

UiSettings pack(const char* name) {
  UiSettings s;
  s.unit_name = name;
  s.serial = 1001;
  s.min_freq = 215000;
  s.max_freq = 217000;
  s.hph_mode = "MONO";
  s.channels = {{216000, false, false, true}, {216500, true, false, false}};
  return s;
}

QStringList names(const std::vector<FieldChange>& changes) {
  QStringList out;
  for (const auto& c : changes) out << c.field;
  return out;
}

QTreeWidgetItem* field_item(QTreeWidget* tree, int unit, const QString& field) {
  QTreeWidgetItem* u = tree->topLevelItem(unit);
  for (int i = 0; i < u->childCount(); ++i) {
    if (u->child(i)->data(0, Qt::UserRole).toString() == field) return u->child(i);
  }
  qFatal("no field %s", qPrintable(field));
}

}  // namespace

class PreviewTest : public QObject {
  Q_OBJECT

 private slots:
  void changedFieldsInFormOrderAndApplyingTheNamedOnes();
  void dialogUntickAndApplyToAll();
};

void PreviewTest::changedFieldsInFormOrderAndApplyingTheNamedOnes() {
  const UiSettings a = pack("A");
  QVERIFY(changed_fields(a, a).empty());
  UiSettings b = a;
  b.gain_boost = true;
  b.delay_ms = 120;
  b.channels[1].frequency = 216525;
  b.channels[1].channel_enable = true;
  const auto changes = changed_fields(a, b);
  QCOMPARE(names(changes), (QStringList{"delay_ms", "gain_boost", "channel.2"}));
  QCOMPARE(changes[0].label + ": " + changes[0].old_text + " → " + changes[0].new_text,
           QStringLiteral("Delay: 0 ms → 120 ms"));
  // Every field of the record has the form's label, once; option values read in words.
  for (const UiField& f : UI_FIELDS) {
    const auto rows = std::count_if(field_labels().begin(), field_labels().end(),
                                    [&](const FieldLabel& l) { return l.name == f.name; });
    QVERIFY2(rows == 1, f.name.data());
  }
  QCOMPARE(field_labels().size(), UI_FIELDS.size());
  b = a;
  b.squelch = "MED";
  b.battery_type = "NIMH";
  const auto words = changed_fields(a, b);
  QCOMPARE(words.back().label + ": " + words.back().new_text, QStringLiteral("Battery type: NiMH"));
  QCOMPARE(changes[1].new_text, QStringLiteral("on"));
  QCOMPARE(changes[2].label, QStringLiteral("Channel 2"));
  QCOMPARE(changes[2].old_text, QStringLiteral("216.500 MHz, off, delay"));
  QCOMPARE(changes[2].new_text, QStringLiteral("216.525 MHz, on, delay"));
  b = a;
  b.max_freq = 217500;
  QCOMPARE(changed_fields(a, b).front().new_text, QStringLiteral("217.500 MHz"));

  // A change of the channel count is one field.
  b = a;
  b.channels.push_back({215500, false, false, true});
  b.channels[0].frequency = 215000;
  const auto count = changed_fields(a, b);
  QCOMPARE(names(count), QStringList{"channels"});
  QCOMPARE(count[0].old_text, QStringLiteral("2: 216.000, 216.500"));
  QCOMPARE(count[0].new_text, QStringLiteral("3: 215.000, 216.500, 215.500"));
  QCOMPARE(apply_fields(a, b, {"channels"}).channels, b.channels);
  // Channel numbers do not line up, so one of them cannot be taken alone.
  QCOMPARE(apply_fields(a, b, {"channel.3"}), a);

  b = pack("B");
  b.delay_ms = 90;
  b.hph_mode = "STEREO";
  b.channels[0].frequency = 215500;
  b.channels[1].voting_enable = true;
  const UiSettings got = apply_fields(a, b, {"delay_ms", "channel.2", "no_such", "channel.9"});
  UiSettings expected = a;
  expected.delay_ms = 90;
  expected.channels[1] = b.channels[1];
  QCOMPARE(got, expected);
  QCOMPARE(apply_fields(a, b, names(changed_fields(a, b))), b);
}

void PreviewTest::dialogUntickAndApplyToAll() {
  UiSettings one = pack("One");
  UiSettings two = pack("Two");
  const UiSettings three = pack("Three");
  UiSettings one_new = one;
  one_new.delay_ms = 120;
  one_new.hph_mode = "STEREO";
  UiSettings two_new = two;
  two_new.delay_ms = 120;
  two_new.hph_mode = "STEREO";
  two_new.channels[0].frequency = 215000;
  PreviewDialog dialog("Write", "intro",
                       {{"U1", one, one_new}, {"U2", two, two_new}, {"U3", three, three}});
  QTreeWidget* tree = dialog.tree();
  // A unit with nothing to change is not listed and not written.
  QCOMPARE(tree->topLevelItemCount(), 2);
  QCOMPARE(dialog.unchanged_units(), QStringList{"U3"});
  QCOMPARE(tree->topLevelItem(0)->text(0), QStringLiteral("U1 (One)"));
  QCOMPARE(tree->topLevelItem(1)->childCount(), 3);

  // Unticking a field keeps the unit's own value; unticking a unit leaves it out.
  field_item(tree, 0, "hph_mode")->setCheckState(0, Qt::Unchecked);
  auto chosen = dialog.selected();
  QCOMPARE(chosen.size(), std::size_t{2});
  QCOMPARE(chosen[0].key, QStringLiteral("U1"));
  QCOMPARE(chosen[0].settings.hph_mode, std::string("MONO"));
  QCOMPARE(chosen[0].settings.delay_ms, std::uint16_t{120});
  QCOMPARE(chosen[1].settings, two_new);
  tree->topLevelItem(1)->setCheckState(0, Qt::Unchecked);
  chosen = dialog.selected();
  QCOMPARE(chosen.size(), std::size_t{1});

  // U1's choice (delay only) becomes every unit's choice.
  tree->setCurrentItem(field_item(tree, 0, "delay_ms"));
  dialog.apply_current_fields_to_all();
  chosen = dialog.selected();
  QCOMPARE(chosen.size(), std::size_t{2});
  UiSettings two_delay_only = two;
  two_delay_only.delay_ms = 120;
  QCOMPARE(chosen[1].settings, two_delay_only);

  // Nothing ticked: nothing can be written.
  for (int i = 0; i < 2; ++i) tree->topLevelItem(i)->setCheckState(0, Qt::Unchecked);
  QVERIFY(dialog.selected().empty());
  QVERIFY(!dialog.findChild<QPushButton*>("preview_write")->isEnabled());
}

QTEST_MAIN(PreviewTest)
#include "preview_test.moc"
