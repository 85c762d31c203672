#include <QAction>
#include <QClipboard>
#include <QDialog>
#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalSpy>
#include <QSpinBox>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTreeWidget>
#include <QtTest>

#include <ctime>
#include <fstream>

#include "backup.hpp"
#include "ui/backups_panel.hpp"
#include "ui/labels.hpp"
#include "ui/settings_form.hpp"
#include "ui/theme.hpp"
#include "widget_test_helpers.hpp"

using namespace owl;
using namespace owl::desktop;

namespace {

// A unit of 10 channels, 215.000 to 220.000 MHz, channel n on 215.000 + n × 0.1 MHz with only
// odd channels enabled.
UiSettings unit() {
  UiSettings s;
  s.unit_name = "Pack-1";
  s.serial = 1001;
  s.min_freq = 215000;
  s.max_freq = 220000;
  for (std::uint32_t n = 1; n <= 10; ++n)
    s.channels.push_back({215000 + n * 100, n == 2, false, n % 2 == 1});
  return s;
}

QAction* action(const SettingsForm& form, const char* name) {
  for (QAction* a : form.channelActions()) {
    if (a->objectName() == QLatin1String(name)) return a;
  }
  qFatal("no action %s", name);
}

void select_rows(QTableWidget* table, int first, int last) {
  table->clearSelection();
  table->setCurrentCell(first, 0);
  table->setRangeSelected(QTableWidgetSelectionRange(first, 0, last, table->columnCount() - 1),
                          true);
}

std::vector<std::uint32_t> frequencies(const SettingsForm& form) {
  std::vector<std::uint32_t> out;
  for (const UiChannel& ch : form.form().channels) out.push_back(ch.frequency);
  return out;
}

}  // namespace

class PanelsTest : public QObject {
  Q_OBJECT

 private slots:
  void copyAndPasteChannels();
  void fillFrequenciesFromStartAndStep();
  void frequencyCellsInMegahertzMarkWhatTheUnitCannotTake();
  void backupsListedNewestFirstWithDifferences();
};

void PanelsTest::copyAndPasteChannels() {
  SettingsForm form;
  form.load(unit());
  form.show();
  auto* table = child<QTableWidget>(form, "channels");
  for (QAction* a : form.channelActions()) QVERIFY(!a->shortcut().isEmpty());

  // Ctrl+C in the table copies whole rows, not the cell.
  select_rows(table, 2, 4);
  table->setFocus();
  QTest::keyClick(table, Qt::Key_C, Qt::ControlModifier);
  QCOMPARE(QGuiApplication::clipboard()->text(),
           QStringLiteral("Channel\tFrequency (MHz)\tDelay\tVoting\tEnabled\n"
                          "3\t215.300\tno\tno\tyes\n"
                          "4\t215.400\tno\tno\tno\n"
                          "5\t215.500\tno\tno\tyes\n"));
  // With nothing selected, every channel is copied.
  table->clearSelection();
  action(form, "copy_channels")->trigger();
  const QString all = QGuiApplication::clipboard()->text();
  QCOMPARE(all.count('\n'), 11);

  // Other values in the table, then the copied text pasted back from the first row on.
  UiSettings other = unit();
  for (auto& ch : other.channels) ch = {219000, true, true, false};
  form.load(other);
  QSignalSpy edited(&form, &SettingsForm::edited);
  select_rows(table, 0, 0);
  QTest::keyClick(table, Qt::Key_V, Qt::ControlModifier);
  QCOMPARE(form.form().channels, unit().channels);
  QCOMPARE(edited.count(), 1);
  QCOMPARE(child<QLabel>(form, "frequency_note")->text(), QStringLiteral("Pasted 10 channels."));

  // A carrier clicked in the band view selects its row; a row the unit lacks changes nothing.
  form.select_channel(6);
  QCOMPARE(form.selected_channel_rows(), QList<int>{6});
  form.select_channel(10);
  QCOMPARE(form.selected_channel_rows(), QList<int>{6});

  // A sheet's own heading, its columns in its own order, kHz and MHz, CRLF and TRUE/FALSE.
  QGuiApplication::clipboard()->setText(
      QStringLiteral("Frequency (MHz)\tEnabled\tVoting\r\n"
                     "216500\tFALSE\tTRUE\r\n"
                     "216.55\ttrue\t\r\n"
                     "217\t\tno\r\n"));
  select_rows(table, 6, 6);
  action(form, "paste_channels")->trigger();
  std::vector<UiChannel> want = unit().channels;
  want[6] = {216500, false, true, false};
  want[7] = {216550, false, false, true};
  want[8] = {217000, false, false, true};
  QCOMPARE(form.form().channels, want);

  // A value still being typed is committed first, so it cannot land over the paste later.
  open_frequency_cell(table, 6)->setText(QStringLiteral("219.5"));
  QGuiApplication::clipboard()->setText(QStringLiteral("218\n"));
  select_rows(table, 6, 6);
  action(form, "paste_channels")->trigger();
  QTRY_VERIFY(table->findChild<QLineEdit*>("frequency_editor") == nullptr);
  want[6].frequency = 218000;
  QCOMPARE(form.form().channels, want);

  // One line into several selected rows sets each of them.
  QGuiApplication::clipboard()->setText(QStringLiteral("Voting\nyes\n"));
  select_rows(table, 0, 2);
  action(form, "paste_channels")->trigger();
  for (int r = 0; r < 3; ++r) want[static_cast<std::size_t>(r)].voting_enable = true;
  QCOMPARE(form.form().channels, want);

  // A refused paste changes nothing and says why.
  auto* note = child<QLabel>(form, "frequency_note");
  edited.clear();
  const UiSettings before = form.form();

  QGuiApplication::clipboard()->setText(QStringLiteral(
      "1\t216.000\tno\tno\tyes\n2\t216.100\tno\tno\tyes\n3\t221.000\tno\tno\tyes\n"));
  select_rows(table, 0, 0);
  action(form, "paste_channels")->trigger();
  QCOMPARE(note->text(), QStringLiteral("Nothing pasted: line 3, column 2: 221.000 MHz is outside "
                                        "this unit's 215.000–220.000 MHz range"));
  QCOMPARE(form.form(), before);

  // Three lines do not fit from channel 9 of 10.
  select_rows(table, 8, 8);
  QCOMPARE(form.paste_channel_text(QStringLiteral("216\n216.1\n216.2\n")),
           QStringLiteral("line 3: this unit has 2 channels from channel 9 on"));
  QCOMPARE(form.form(), before);
  QCOMPARE(edited.count(), 0);
}

void PanelsTest::fillFrequenciesFromStartAndStep() {
  SettingsForm form;
  form.load(unit());
  auto* table = child<QTableWidget>(form, "channels");
  select_rows(table, 0, 7);

  QString first_start;
  QString refused_preview;
  bool refused_ok = true;
  on_modal<QDialog>([&](QDialog* d) {
    auto* start = child<QLineEdit>(*d, "fill_start");
    first_start = start->text();
    start->setText(QStringLiteral("219"));
    child<QSpinBox>(*d, "fill_step")->setValue(300);
    // 219.000 + 4 × 0.3 leaves the unit's range at channel 5.
    refused_preview = child<QLabel>(*d, "fill_preview")->text();
    auto* fill = d->findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Ok);
    refused_ok = fill->isEnabled();
    start->setText(QStringLiteral("216.500"));
    fill->click();
    if (d->isVisible()) d->reject();
  });
  action(form, "fill_frequencies")->trigger();
  QCOMPARE(first_start, QStringLiteral("215.100"));
  QCOMPARE(refused_preview, QStringLiteral("Channel 5: 220.200 MHz is outside this unit's "
                                           "215.000–220.000 MHz range"));
  QVERIFY(!refused_ok);
  QCOMPARE(frequencies(form), (std::vector<std::uint32_t>{216500, 216800, 217100, 217400, 217700,
                                                          218000, 218300, 218600, 215900, 216000}));

  // With one row selected the dialog fills every channel, and remembers the step.
  select_rows(table, 3, 3);
  bool all_rows = false;
  int step = 0;
  QString preview;
  on_modal<QDialog>([&](QDialog* d) {
    all_rows = child<QRadioButton>(*d, "fill_all")->isChecked();
    step = child<QSpinBox>(*d, "fill_step")->value();
    child<QLineEdit>(*d, "fill_start")->setText(QStringLiteral("215000"));
    child<QSpinBox>(*d, "fill_step")->setValue(500);
    preview = child<QLabel>(*d, "fill_preview")->text();
    d->accept();
  });
  action(form, "fill_frequencies")->trigger();
  QVERIFY(all_rows);
  QCOMPARE(step, 300);
  QCOMPARE(preview, QStringLiteral("Channel 1 gets 215.000 MHz, channel 10 gets 219.500 MHz."));
  QCOMPARE(frequencies(form).back(), 219500u);
}

void PanelsTest::frequencyCellsInMegahertzMarkWhatTheUnitCannotTake() {
  struct Case {
    const char* text;
    std::uint32_t khz;  // 0: refused
    const char* error_part;
  };
  const Case cases[] = {
      {"216.5", 216500, ""},         {"216.500", 216500, ""},
      {" 216,505 ", 216505, ""},     {"216", 216000, ""},
      {"216500", 216500, ""},        {"216.5000", 216500, ""},
      {"216.502", 0, "5 kHz step"},  {"216.5001", 0, "5 kHz step"},
      {"216502", 0, "5 kHz step"},   {"230", 0, "outside this unit's 215.000–217.000 MHz"},
      {"2165", 0, "outside"},        {"10000", 0, "outside"},
      {"", 0, "type MHz"},           {"abc", 0, "type MHz"},
      {"99999999999", 0, "type MHz"}};
  for (const auto& c : cases) {
    const FrequencyInput in = parse_frequency(QString::fromUtf8(c.text), 215000, 217000);
    QCOMPARE(in.khz.value_or(0), c.khz);
    QVERIFY2(in.error.contains(QString::fromUtf8(c.error_part)), c.text);
  }
  QCOMPARE(mhz_text(5), QStringLiteral("0.005"));

  SettingsForm form;
  UiSettings s = unit();
  s.channels[2].frequency = 214000;  // below the range
  s.channels[3].frequency = 216502;  // off the step
  form.load(s);
  auto* table = child<QTableWidget>(form, "channels");
  const Theme t = theme_for(table->palette());
  QCOMPARE(table->item(2, 0)->toolTip(),
           QStringLiteral("214.000 MHz is outside this unit's 215.000–220.000 MHz range"));
  QCOMPARE(table->item(3, 0)->toolTip(), QStringLiteral("216.502 MHz is not on the 5 kHz step"));
  QCOMPARE(table->item(2, 0)->background().color(), t.error_background);
  QCOMPARE(table->item(3, 0)->data(Qt::AccessibleDescriptionRole).toString(),
           table->item(3, 0)->toolTip());
  QVERIFY(table->item(1, 0)->toolTip().isEmpty());
  QCOMPARE(table->item(1, 0)->data(Qt::BackgroundRole), QVariant());
  // A dark theme recolours the marks.
  form.setPalette(dark_palette());
  QCOMPARE(table->item(2, 0)->background().color(), theme_for(dark_palette()).error_background);
  QVERIFY(theme_for(dark_palette()).error_background != t.error_background);
  form.setPalette(QPalette());

  // While typing, the cell and the note below say what is wrong, and Return keeps the cell open
  // and the settings as they were. A good value typed over it clears the mark.
  form.show();
  auto* editor = open_frequency_cell(table, 2);
  type_into(editor, QStringLiteral("230"));
  QCOMPARE(editor->toolTip(),
           QStringLiteral("230.000 MHz is outside this unit's 215.000–220.000 MHz range"));
  QCOMPARE(form.frequency_note(), editor->toolTip());
  QVERIFY(editor->styleSheet().contains(t.error_border.name()));
  QTest::keyClick(editor, Qt::Key_Return);
  QApplication::processEvents();
  QCOMPARE(form.form().channels[2].frequency, 214000u);
  QVERIFY(editor->isVisible());
  type_into(editor, QStringLiteral("216.25"));
  QVERIFY(editor->styleSheet().isEmpty());
  QVERIFY(form.frequency_note().isEmpty());
  QTest::keyClick(editor, Qt::Key_Return);
  QTRY_COMPARE(table->item(2, 0)->text(), QStringLiteral("216.250"));
  QCOMPARE(form.form().channels[2].frequency, 216250u);
  QVERIFY(table->item(2, 0)->toolTip().isEmpty());
  QCOMPARE(table->item(2, 0)->data(Qt::BackgroundRole), QVariant());
}

void PanelsTest::backupsListedNewestFirstWithDifferences() {
  QTemporaryDir dir;
  QVERIFY(dir.isValid());
  const std::filesystem::path root = dir.path().toStdString();
  const UiSettings now = unit();
  UiSettings older = now;
  older.delay_ms = 120;
  older.channels[2].frequency = 216000;
  older.channels[2].voting_enable = true;
  UiSettings newer = now;
  newer.unit_name = "Pack-9";
  const std::time_t t1 = 1796591700;  // 2026-12-06 21:15:00 UTC
  const std::time_t t2 = 1796622009;  // 2026-12-07 05:40:09 UTC
  owl::frontend::write_backup(root, "SIM0001", newer, t2);
  owl::frontend::write_backup(root, "SIM0001", older, t1);
  owl::frontend::write_backup(root, "SIM0002", older, t2);

  BackupsPanel panel;
  panel.setBackupRoot(root);
  auto* list = child<QTreeWidget>(panel, "backups");
  auto* restore = child<QPushButton>(panel, "restore_backup");
  QCOMPARE(list->topLevelItemCount(), 0);
  QVERIFY(!restore->isEnabled());

  panel.showUnit("SIM0001", now);
  QCOMPARE(list->topLevelItemCount(), 2);
  // Local time: this test runs one hour east of UTC.
  QCOMPARE(list->topLevelItem(0)->text(0), QStringLiteral("Mon 7 Dec 2026, 06:40:09"));
  QCOMPARE(list->topLevelItem(0)->text(1), QStringLiteral("Name"));
  QCOMPARE(list->topLevelItem(1)->text(0), QStringLiteral("Sun 6 Dec 2026, 22:15:00"));
  QCOMPARE(list->topLevelItem(1)->text(1),
           QStringLiteral("Delay, Channel 3 frequency, Channel 3 voting"));
  QTreeWidgetItem* older_item = list->topLevelItem(1);
  QCOMPARE(older_item->childCount(), 3);
  QCOMPARE(older_item->child(0)->text(1), QStringLiteral("120 ms (now 0 ms)"));
  QCOMPARE(older_item->child(1)->text(1), QStringLiteral("216.000 MHz (now 215.300 MHz)"));
  QCOMPARE(older_item->child(2)->text(1), QStringLiteral("on (now off)"));

  // Restore asks for the older backup's settings, from the list or from one of its differences.
  QSignalSpy asked(&panel, &BackupsPanel::restoreRequested);
  list->setCurrentItem(older_item->child(1));
  QVERIFY(restore->isEnabled());
  restore->click();
  QCOMPARE(asked.count(), 1);
  QCOMPARE(asked[0][0].toString(), QStringLiteral("SIM0001"));
  QCOMPARE(asked[0][1].value<UiSettings>(), older);

  // A file that cannot be read is listed as such and cannot be restored; the selection stays
  // on the backup it was on when the list is read again.
  std::ofstream(root / "SIM0001" / "20261207T060000Z.json") << "{";
  panel.refresh();
  QCOMPARE(list->topLevelItemCount(), 3);
  QCOMPARE(list->currentItem()->text(0), QStringLiteral("Sun 6 Dec 2026, 22:15:00"));
  list->setCurrentItem(list->topLevelItem(0));
  QCOMPARE(list->topLevelItem(0)->text(1), QStringLiteral("cannot be read"));
  QVERIFY(list->topLevelItem(0)->child(0)->text(1).contains("20261207T060000Z.json"));
  QVERIFY(!restore->isEnabled());
  QTest::keyClick(list, Qt::Key_Return);
  QCOMPARE(asked.count(), 1);
  list->setCurrentItem(list->topLevelItem(1));
  QTest::keyClick(list, Qt::Key_Return);
  QCOMPARE(asked.count(), 2);
  QCOMPARE(asked[1][1].value<UiSettings>(), newer);

  // Without the unit there is nothing to compare with, but a backup can still be restored.
  panel.showUnit("SIM0002", std::nullopt);
  QCOMPARE(list->topLevelItemCount(), 1);
  QCOMPARE(list->topLevelItem(0)->text(1), QStringLiteral("the unit is not connected"));
  panel.showUnit("SIM0003", now);
  QCOMPARE(child<QLabel>(panel, "backups_status")->text(),
           QStringLiteral("No backups of SIM0003 yet; one is taken before every write."));
}

int main(int argc, char** argv) {
  // Backup times are shown in local time: a zone of our own makes them known here.
  qputenv("TZ", "CET-1");
  tzset();
  QApplication app(argc, argv);
  QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedKingdom));
  PanelsTest test;
  return QTest::qExec(&test, argc, argv);
}
#include "panels_test.moc"
