#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QProcess>
#include <QProgressBar>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QSpinBox>
#include <QStatusBar>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTreeWidget>
#include <QtTest>
#include <functional>
#include <memory>
#include <tuple>

#include "backup.hpp"
#include "option_names.hpp"
#include "settings_file.hpp"
#include "show_file.hpp"

#include "ui/backups_panel.hpp"
#include "ui/band_view.hpp"
#include "ui/coordination_panel.hpp"
#include "ui/engine_bridge.hpp"
#include "ui/labels.hpp"
#include "ui/main_window.hpp"
#include "ui/preview_dialog.hpp"
#include "ui/settings_form.hpp"
#include "ui/theme.hpp"
#include "ui/unit_list_model.hpp"
#include "widget_test_helpers.hpp"

using namespace owl;
using namespace owl::desktop;

namespace {

constexpr int STARTUP_TIMEOUT_MS = 20000;
// A write is confirmed about a second after it is sent, or reported failed after six.
constexpr int WRITE_TIMEOUT_MS = 20000;

bool listed_with_settings(const MainWindow& w, const char* key) {
  const UnitRow* row = w.units()->find(QString::fromLatin1(key));
  return row != nullptr && row->settings.has_value();
}

QString log_text(const MainWindow& w) {
  return child<QPlainTextEdit>(w, "log")->toPlainText();
}

// The event log goes with a failure, so that a failed run says what happened.
struct LogOnFailure {
  const MainWindow* w;
  ~LogOnFailure() {
    if (w != nullptr && QTest::currentTestFailed()) qWarning("%s", qPrintable(log_text(*w)));
  }
};

bool confirmed(const MainWindow& w, const char* key) {
  const UnitRow* row = w.units()->find(QString::fromLatin1(key));
  return row != nullptr && row->state == UnitState::Reporting && row->last_write == "confirmed";
}

// The form on screen has been checked and has no problems.
bool check_passed(const MainWindow& w) {
  return child<QLabel>(w, "check_status")->text().contains("No problems: ready to write");
}

// Edits SIM0002's delay to 50 ms, writes it and removes the unit before it can confirm; true
// once its row is listed as gone.
bool lose_sim0002_during_write(MainWindow& w) {
  w.select_unit("SIM0002");
  child<QSpinBox>(w, "delay_ms")->setValue(50);
  auto* write = child<QPushButton>(w, "write");
  if (!QTest::qWaitFor([&] { return write->isEnabled() && check_passed(w); }, 10000)) return false;
  QTest::mouseClick(write, Qt::LeftButton);
  w.bridge()->remove_simulated_unit("SIM0002");
  return QTest::qWaitFor(
      [&] {
        const UnitRow* row = w.units()->find("SIM0002");
        return row != nullptr && row->state == UnitState::Gone;
      },
      10000);
}

// Backups and the recent-show list go to a folder of the test's own.
QString data_home() {
  static QTemporaryDir dir;
  return dir.path();
}

// A simulated window with both built-in units listed and SIM0001 selected and checked.
std::unique_ptr<MainWindow> started_window() {
  qputenv("XDG_DATA_HOME", data_home().toUtf8());
  QStandardPaths::setTestModeEnabled(true);
  auto w = std::make_unique<MainWindow>(true);
  w->show();
  w->start();
  if (!QTest::qWaitFor(
          [&] {
            return listed_with_settings(*w, "SIM0001") && listed_with_settings(*w, "SIM0002");
          },
          STARTUP_TIMEOUT_MS)) {
    return nullptr;
  }
  w->select_unit(QStringLiteral("SIM0001"));
  auto* write = child<QPushButton>(*w, "write");
  if (!QTest::qWaitFor([&] { return write->isEnabled() && check_passed(*w); }, STARTUP_TIMEOUT_MS))
    return nullptr;
  return w;
}

// Types over what a focused field holds, as a user selecting all first would.
void retype(QWidget* field, const char* text) {
  field->setFocus();
  QTest::keyClick(field, Qt::Key_A, Qt::ControlModifier);
  QTest::keyClicks(field, QString::fromLatin1(text));
}

// Writes a file of the test's own.
bool write_file(const QString& path, const std::string& text) {
  QFile file(path);
  return file.open(QIODevice::WriteOnly) &&
         file.write(QByteArray::fromStdString(text)) == static_cast<qint64>(text.size());
}

// Answers the question box that is about to be shown.
void answer_question(QMessageBox::StandardButton answer) {
  on_modal<QMessageBox>([answer](QMessageBox* box) { box->button(answer)->click(); });
}

// Answers the preview that is about to be shown with its write button, after `look` has seen it.
void accept_preview(std::function<void(PreviewDialog&)> look = {}) {
  on_modal<PreviewDialog>([look](PreviewDialog* dialog) {
    if (look) look(*dialog);
    dialog->findChild<QPushButton*>("preview_write")->click();
  });
}

QAction* action(const MainWindow& w, const char* name) {
  return child<QAction>(w, name);
}

// A show of `count` units keyed SIM0011 on, made from a unit's settings: each its own name,
// serial and delay.
frontend::Show show_from(const UiSettings& model, int count) {
  frontend::Show show;
  show.name = "Main stage, Friday";
  show.exclusions.push_back({470000, 476000, "TV 21", false});
  for (int i = 0; i < count; ++i) {
    UiSettings s = model;
    s.unit_name = "Pack-" + std::to_string(i + 1);
    s.serial = static_cast<std::uint32_t>(1011 + i);
    s.delay_ms = static_cast<std::uint16_t>(100 + i);
    show.units.push_back(
        {QStringLiteral("SIM%1").arg(11 + i, 4, 10, QLatin1Char('0')).toStdString(), i == 0,
         frontend::settings_to_json(s)});
  }
  return show;
}

std::vector<BandUnit> many_units(int n) {
  std::vector<BandUnit> units;
  for (int i = 0; i < n; ++i) {
    const auto f = static_cast<std::uint32_t>(470000 + i * 1000);
    units.push_back({QStringLiteral("U%1").arg(i),
                     QStringLiteral("Pack %1").arg(i),
                     470000,
                     560000,
                     {{f, false, false, true}, {f + 500, false, false, false}}});
  }
  units.back().channels[0].frequency = units.front().channels[0].frequency;  // shared
  return units;
}

}  // namespace

class DesktopTest : public QObject {
  Q_OBJECT

 private slots:
  void startsWithBothSimulatedUnitsAndKeyboardPaths();
  void invalidEditThenWriteOneThenAllThenTheCellBeingEdited();
  void refusedWriteKeepsEveryDraft();
  void bandViewAndFirstUnitWithoutAnEngine();
  void hardwareModeInADarkPalette();
  void closingWindowEndsProgram();
  void writeAskedForWhileCheckingWaitsForTheCheck();
  void unitsGoneForgottenAddedAndRemoved();
  void refusedThenOfflineShowThenConnectCompareAndWrite();
  void showRoundTripAndUndo();
  void coordinationFromBandToUnitsAndBack();
};

void DesktopTest::startsWithBothSimulatedUnitsAndKeyboardPaths() {
  apply_desktop_style(*qApp);
  auto w = started_window();
  QVERIFY(w);
  QCOMPARE(w->windowTitle(), QStringLiteral("OWL Configurator — simulator"));
  QCOMPARE(w->units()->rowCount(), 2);
  const auto& rows = w->units()->rows();
  QCOMPARE(rows[0].key, QStringLiteral("SIM0001"));
  QCOMPARE(rows[1].key, QStringLiteral("SIM0002"));
  QCOMPARE(rows[0].label, QStringLiteral("simulator"));
  QTRY_COMPARE_WITH_TIMEOUT(w->units()->find("SIM0002")->identity,
                            QStringLiteral("OWL 9.99 sn1002"), STARTUP_TIMEOUT_MS);
  QCOMPARE(UnitListModel::state_text(rows[0]), QStringLiteral("reporting"));
  QVERIFY(log_text(*w).contains("SIM0002 connected (simulator)"));

  // The form shows the selected unit, one table row per channel.
  QCOMPARE(child<QLineEdit>(*w, "unit_name")->text(), QStringLiteral("SIM-1001"));
  QCOMPARE(child<QLabel>(*w, "serial")->text(), QStringLiteral("1001"));
  auto* table = child<QTableWidget>(*w, "channels");
  QCOMPARE(table->rowCount(), 10);
  QCOMPARE(table->item(0, 0)->text(), QStringLiteral("215.180"));
  QCOMPARE(child<QLabel>(*w, "min_freq")->text(), QStringLiteral("215.000 MHz"));
  QCOMPARE(child<QLabel>(*w, "max_freq")->text(), QStringLiteral("217.000 MHz"));
  QVERIFY(BandView::shared_frequencies(w->band_view()->units()).empty());
  w->select_unit("SIM0002");
  QCOMPARE(table->rowCount(), 8);
  QCOMPARE(child<QComboBox>(*w, "squelch")->currentText(), QStringLiteral("Medium"));
  QCOMPARE(w->settings_form()->form().squelch, std::string("MED"));

  // Every option the engine offers has a label of its own.
  const EnumOptions& o = w->bridge()->options();
  const std::pair<OptionField, const std::vector<std::string>*> lists[] = {
      {OptionField::VoicePrompts, &o.voice_prompts},
      {OptionField::HphMode, &o.hph_mode},
      {OptionField::Led, &o.led},
      {OptionField::Charge, &o.charge},
      {OptionField::Squelch, &o.squelch},
      {OptionField::Button, &o.button_action},
      {OptionField::RfMode, &o.rf_mode},
      {OptionField::Compander, &o.compander},
      {OptionField::BatteryType, &o.battery_type},
      {OptionField::AudioEq, &o.audio_eq}};
  for (const auto& [field, names] : lists) {
    QVERIFY(!names->empty());
    for (const auto& name : *names) QVERIFY2(has_option_label(field, name), name.c_str());
  }

  // Moving SIM0002's enabled first channel onto SIM0001's shows a shared frequency while still
  // editing; 215180 lies inside SIM0002's band too, so the edit may be written.
  auto* editor = open_frequency_cell(table);
  type_into(editor, "215.18");
  QTest::keyClick(editor, Qt::Key_Return);
  QTRY_COMPARE(table->item(0, 0)->text(), QStringLiteral("215.180"));
  const std::vector<std::uint32_t> expected{215180};
  QTRY_COMPARE_WITH_TIMEOUT(BandView::shared_frequencies(w->band_view()->units()), expected, 5000);
  QTRY_VERIFY_WITH_TIMEOUT(child<QPushButton>(*w, "write")->isEnabled() && check_passed(*w), 10000);

  // Tab leaves the unit table and leaves the selection alone; arrows move between units.
  w->activateWindow();
  QVERIFY(QTest::qWaitForWindowActive(w.get()));
  w->select_unit("SIM0001");
  auto* units = child<QTableView>(*w, "unit_table");
  units->setFocus();
  QTRY_VERIFY(units->hasFocus());
  QTest::keyClick(units, Qt::Key_Tab);
  QVERIFY(!units->hasFocus());
  QCOMPARE(w->selected_key(), QStringLiteral("SIM0001"));
  units->setFocus();
  QTest::keyClick(units, Qt::Key_Down);
  QCOMPARE(w->selected_key(), QStringLiteral("SIM0002"));
  table->setFocus();
  QTest::keyClick(table, Qt::Key_Tab);
  QVERIFY(!table->hasFocus());

  // Mnemonics on the buttons, shortcuts for the actions: SIM0002's kept edit is written.
  for (const char* name : {"write", "write_all", "refresh", "revert"}) {
    QVERIFY2(child<QPushButton>(*w, name)->text().contains('&'), name);
  }
  QVERIFY(child<QPushButton>(*w, "write")->toolTip().endsWith("(Ctrl+Return)"));
  QVERIFY(child<QPushButton>(*w, "revert")->toolTip().endsWith("(Ctrl+Shift+R)"));
  QTest::keyClick(w.get(), Qt::Key_F5);
  QVERIFY(log_text(*w).contains("asking SIM0002 to report again"));
  QTRY_VERIFY_WITH_TIMEOUT(child<QPushButton>(*w, "write")->isEnabled() && check_passed(*w), 10000);
  QTest::keyClick(w.get(), Qt::Key_Return, Qt::ControlModifier);
  QCOMPARE(w->units()->find("SIM0002")->state, UnitState::Writing);

  // The focused control wears a frame in the highlight colour: a check box, a button.
  units->setFocus();
  for (const char* name : {"keep_name", "refresh"}) {
    auto* control = child<QAbstractButton>(*w, name);
    const QColor mark = control->palette().color(QPalette::Highlight);
    const int without = count_colour(control->grab().toImage(), mark);
    control->setFocus();
    QTRY_VERIFY(control->hasFocus());
    const int with = count_colour(control->grab().toImage(), mark);
    QVERIFY2(with > without + 2 * control->width(), name);
    units->setFocus();
  }
}

void DesktopTest::invalidEditThenWriteOneThenAllThenTheCellBeingEdited() {
  auto w = started_window();
  QVERIFY(w);
  auto* write = child<QPushButton>(*w, "write");
  auto* write_all = child<QPushButton>(*w, "write_all");
  auto* problems = child<QListWidget>(*w, "problems");
  auto* delay = child<QSpinBox>(*w, "delay_ms");
  // The write panel keeps its place while a write is under way, and beside a long note.
  auto place = [](const QWidget* x) { return x->mapTo(x->window(), QPoint(0, 0)); };
  const QPoint write_at = place(write);
  const QPoint revert_at = place(child<QPushButton>(*w, "revert"));
  auto panel_in_place = [&] {
    QApplication::processEvents();
    return place(write) == write_at && place(child<QPushButton>(*w, "revert")) == revert_at;
  };
  delay->setValue(450);
  const QString expected = QStringLiteral("delay 450 ms is over the 400 ms maximum");
  QTRY_VERIFY_WITH_TIMEOUT(w->problems().contains(expected), 10000);
  QVERIFY(child<QLabel>(*w, "check_status")->text().contains("1 problem: fix it to write"));
  QCOMPARE(problems->count(), 1);
  QCOMPARE(problems->item(0)->text(), expected);
  QVERIFY(!write->isEnabled());
  QVERIFY(!write_all->isEnabled());

  delay->setValue(120);
  type_into(child<QLineEdit>(*w, "unit_name"), QStringLiteral("Stage-Left"));
  QTRY_VERIFY_WITH_TIMEOUT(write->isEnabled() && check_passed(*w), 10000);
  QCOMPARE(problems->count(), 0);
  QVERIFY(write_all->isEnabled());
  // Checking sends nothing to the unit.
  QCOMPARE(w->units()->find("SIM0001")->settings->delay_ms, std::uint16_t{0});
  QTest::mouseClick(write, Qt::LeftButton);
  QCOMPARE(w->units()->find("SIM0001")->state, UnitState::Writing);
  QVERIFY(child<QProgressBar>(*w, "write_progress")->isVisible());
  // A busy bar draws no text of its own; the words stand beside it.
  QVERIFY(child<QLabel>(*w, "write_progress_text")->isVisible());
  QCOMPARE(child<QLabel>(*w, "write_progress_text")->text(), QStringLiteral("Confirming write…"));
  QVERIFY(!write->isEnabled());
  QVERIFY(panel_in_place());

  QTRY_VERIFY_WITH_TIMEOUT(confirmed(*w, "SIM0001"), WRITE_TIMEOUT_MS);
  QTRY_COMPARE_WITH_TIMEOUT(w->units()->find("SIM0001")->settings->delay_ms, std::uint16_t{120},
                            WRITE_TIMEOUT_MS);
  QCOMPARE(w->units()->find("SIM0001")->settings->unit_name, std::string("Stage-Left"));
  QTRY_COMPARE_WITH_TIMEOUT(delay->value(), 120, 5000);
  QVERIFY(!child<QProgressBar>(*w, "write_progress")->isVisible());
  QVERIFY(log_text(*w).contains("write to SIM0001 confirmed"));
  QVERIFY(UnitListModel::state_text(*w->units()->find("SIM0001")).contains("confirmed"));
  // The other unit is untouched.
  QCOMPARE(w->units()->find("SIM0002")->settings->delay_ms, std::uint16_t{0});
  QCOMPARE(w->units()->find("SIM0002")->last_write, QString());

  // Then to all units, keeping each unit's name and, as asked, its charge mode.
  delay->setValue(200);
  child<QComboBox>(*w, "charge")->setCurrentText("Fast");
  child<QCheckBox>(*w, "keep_charge_all")->setChecked(true);
  QTRY_VERIFY_WITH_TIMEOUT(write_all->isEnabled() && check_passed(*w), 10000);
  // The preview lists both units, each with its own name kept.
  accept_preview([](PreviewDialog& d) {
    QCOMPARE(d.tree()->topLevelItemCount(), 2);
    QVERIFY(d.tree()->topLevelItem(0)->child(0)->text(2) != QStringLiteral("Stage-Left"));
  });
  QTest::mouseClick(write_all, Qt::LeftButton);
  QCOMPARE(w->units()->find("SIM0002")->state, UnitState::Writing);
  QTRY_VERIFY_WITH_TIMEOUT(confirmed(*w, "SIM0002"), WRITE_TIMEOUT_MS);
  QTRY_VERIFY_WITH_TIMEOUT(w->units()->find("SIM0001")->settings->delay_ms == 200 &&
                               w->units()->find("SIM0002")->settings->delay_ms == 200,
                           WRITE_TIMEOUT_MS);
  QVERIFY(confirmed(*w, "SIM0001"));
  for (const char* key : {"SIM0001", "SIM0002"}) {
    QCOMPARE(w->units()->find(key)->settings->charge, std::string("SLOW"));
  }
  QCOMPARE(w->units()->find("SIM0001")->settings->unit_name, std::string("Stage-Left"));
  QCOMPARE(w->units()->find("SIM0002")->settings->unit_name, std::string("SIM-1002"));
  QVERIFY(log_text(*w).contains("write to SIM0002 confirmed"));

  w->select_unit("SIM0002");
  delay->setValue(30);
  w->select_unit("SIM0001");
  w->select_unit("SIM0002");
  QVERIFY(!child<QLabel>(*w, "form_note")->text().isEmpty());
  QVERIFY(panel_in_place());

  // Back on SIM0001, a value the cell refuses stops the write, by shortcut or by click, and
  // says why.
  w->select_unit("SIM0001");
  w->activateWindow();
  QVERIFY(QTest::qWaitForWindowActive(w.get()));
  auto* table = child<QTableWidget>(*w, "channels");
  auto writing = [&] { return w->units()->find("SIM0001")->state == UnitState::Writing; };
  QLineEdit* editor = open_frequency_cell(table);
  type_into(editor, "216.502");
  QTest::keyClick(editor, Qt::Key_Return, Qt::ControlModifier);
  QVERIFY(!writing());
  QVERIFY(
      log_text(*w).contains("nothing written: channel 1: 216.502 MHz is not on the 5 kHz step"));
  QTest::mouseClick(write, Qt::LeftButton);
  QVERIFY(!writing());
  QVERIFY(editor->isVisible());
  QCOMPARE(editor->text(), QStringLiteral("216.502"));

  // So does a delay field left empty while typing.
  delay->setFocus();
  QTest::keyClick(delay, Qt::Key_A, Qt::ControlModifier);
  QTest::keyClick(delay, Qt::Key_Backspace);
  QTest::keyClick(delay, Qt::Key_Return, Qt::ControlModifier);
  QVERIFY(!writing());
  QVERIFY(log_text(*w).contains("nothing written: Delay: type a number of milliseconds"));
  QTest::keyClicks(delay, "20");
  QCOMPARE(delay->value(), 20);

  // A good value is committed and written with the rest of the form: by shortcut, by a click
  // while the cell is open, and by the button's mnemonic, which moves the focus first.
  const std::tuple<const char*, std::uint32_t, std::function<void()>> ways[] = {
      {"216.5", 216500, [&] { QTest::keyClick(editor, Qt::Key_Return, Qt::ControlModifier); }},
      {"216.25", 216250, [&] { QTest::mouseClick(write, Qt::LeftButton); }},
      {"216.3", 216300, [&] { QTest::keyClick(editor, Qt::Key_W, Qt::AltModifier); }}};
  for (const auto& [typed, khz, send] : ways) {
    QTRY_VERIFY_WITH_TIMEOUT(write->isEnabled() && check_passed(*w), 10000);
    editor = open_frequency_cell(table);
    type_into(editor, typed);
    send();
    QTRY_VERIFY(writing());
    QCOMPARE(table->item(0, 0)->text(), mhz_text(khz));
    QTRY_VERIFY_WITH_TIMEOUT(confirmed(*w, "SIM0001"), WRITE_TIMEOUT_MS);
    QCOMPARE(w->units()->find("SIM0001")->settings->channels[0].frequency, khz);
  }
}

void DesktopTest::refusedWriteKeepsEveryDraft() {
  auto w = started_window();
  QVERIFY(w);
  auto* delay = child<QSpinBox>(*w, "delay_ms");
  delay->setValue(250);
  w->select_unit("SIM0002");
  QCOMPARE(delay->value(), 0);
  // SIM0002's channels are fine for SIM0002 but outside SIM0001's band, so writing them to all
  // units is refused as a whole.
  delay->setValue(50);
  auto* write_all = child<QPushButton>(*w, "write_all");
  QTRY_VERIFY_WITH_TIMEOUT(write_all->isEnabled() && check_passed(*w), 10000);
  accept_preview();
  QTest::mouseClick(write_all, Qt::LeftButton);
  const QString expected = QStringLiteral(
      "SIM0001 (SIM-1001): channel 1: 194775 kHz is outside this unit's 215000-217000 kHz range");
  QTRY_VERIFY_WITH_TIMEOUT(w->write_all_refusal().contains(expected), 10000);
  QVERIFY(log_text(*w).contains("refused"));
  // The refusal is about SIM0001; SIM0002's own form is fine and may still be written to it.
  QVERIFY(w->problems().isEmpty());
  QVERIFY(child<QPushButton>(*w, "write")->isEnabled());
  auto* problem_list = child<QListWidget>(*w, "problems");
  QCOMPARE(problem_list->count(), 1 + w->write_all_refusal().size());
  QCOMPARE(problem_list->item(0)->text(),
           QStringLiteral("Write to all units was refused; nothing was written:"));
  QCOMPARE(w->units()->find("SIM0001")->state, UnitState::Reporting);
  QCOMPARE(w->units()->find("SIM0002")->state, UnitState::Reporting);
  QVERIFY(!write_all->isEnabled());
  QVERIFY(!child<QProgressBar>(*w, "write_progress")->isVisible());

  // Nothing reached SIM0002 either, and its report leaves the drafts of both units alone.
  QTest::mouseClick(child<QPushButton>(*w, "refresh"), Qt::LeftButton);
  QTRY_VERIFY_WITH_TIMEOUT(log_text(*w).contains("refresh SIM0002: done"), 10000);
  QCOMPARE(w->units()->find("SIM0002")->settings->delay_ms, std::uint16_t{0});
  QCOMPARE(w->units()->find("SIM0002")->last_write, QString());
  QCOMPARE(delay->value(), 50);
  w->select_unit("SIM0001");
  QCOMPARE(delay->value(), 250);
  QVERIFY(!check_passed(*w));  // until the draft is checked
  QTRY_VERIFY_WITH_TIMEOUT(child<QPushButton>(*w, "write")->isEnabled() && check_passed(*w), 10000);
  auto* revert = child<QPushButton>(*w, "revert");
  QVERIFY(revert->isEnabled());
  QTest::mouseClick(revert, Qt::LeftButton);
  QCOMPARE(delay->value(), 0);
  QVERIFY(!revert->isEnabled());

  // The refusal was about the units as they were: once the refusing unit has gone, writing to
  // all units is offered again.
  w->select_unit("SIM0002");
  QTRY_VERIFY_WITH_TIMEOUT(write_all->isEnabled() && check_passed(*w), 10000);
  accept_preview();
  QTest::mouseClick(write_all, Qt::LeftButton);
  QTRY_VERIFY_WITH_TIMEOUT(!w->write_all_refusal().isEmpty(), 10000);
  QVERIFY(!write_all->isEnabled());
  w->bridge()->remove_simulated_unit("SIM0001");
  QTRY_VERIFY_WITH_TIMEOUT(w->write_all_refusal().isEmpty(), 10000);
  QVERIFY(write_all->isEnabled());
}

void DesktopTest::bandViewAndFirstUnitWithoutAnEngine() {
  BandUnit a{
      "A", "a", 190000, 230000, {{215180, false, false, true}, {216000, false, false, false}}};
  BandUnit b{
      "B", "b", 190000, 230000, {{215180, false, false, true}, {216000, false, false, true}}};
  BandUnit c{
      "C", "c", 190000, 230000, {{216000, false, false, true}, {216000, false, false, true}}};
  QCOMPARE(BandView::shared_frequencies({a, b, c}), (std::vector<std::uint32_t>{215180, 216000}));
  // Two channels of one unit on one frequency are not shared between units, and a disabled
  // channel shares nothing.
  QCOMPARE(BandView::shared_frequencies({a, c}), std::vector<std::uint32_t>{});
  QCOMPARE(BandView::shared_frequencies({c}), std::vector<std::uint32_t>{});
  // Real problems: enabled and outside the unit's range or off the 5 kHz step.
  QVERIFY(!BandView::channel_problem(a, {190000, false, false, true}));
  QVERIFY(!BandView::channel_problem(a, {230000, false, false, true}));
  QVERIFY(BandView::channel_problem(a, {230005, false, false, true}));
  QVERIFY(BandView::channel_problem(a, {215182, false, false, true}));
  QVERIFY(!BandView::channel_problem(a, {100000, false, false, false}));

  const Theme theme = theme_for(QPalette());
  auto render = [](const std::vector<BandUnit>& units) {
    BandView view;
    view.resize(600, 120);
    view.set_units(units);
    QImage image(view.size(), QImage::Format_ARGB32);
    view.render(&image);
    return image;
  };
  // A shared frequency has its own colour (and a legend entry in it); red is not used for it.
  const QImage shared = render({a, b, c});
  const QImage apart = render({a, c});
  QVERIFY(count_colour(shared, theme.shared) > count_colour(apart, theme.shared) + 20);
  QCOMPARE(count_colour(shared, theme.problem), count_colour(apart, theme.problem));
  BandUnit outside = b;
  outside.channels[1].frequency = 240000;
  QVERIFY(count_colour(render({a, outside}), theme.problem) >
          count_colour(render({a, b}), theme.problem) + 20);

  // In a window without an engine: the first unit in list order is selected.
  MainWindow w(true);
  w.show();
  emit w.bridge()->announced("SIM0002", "simulator");
  emit w.bridge()->announced("SIM0001", "simulator");
  QCOMPARE(w.selected_key(), QStringLiteral("SIM0001"));
  // Once the user picks a unit, a newcomer does not take the selection.
  w.select_unit("SIM0002");
  emit w.bridge()->announced("SIM0000", "simulator");
  QCOMPARE(w.selected_key(), QStringLiteral("SIM0002"));

  // The engine's error kind in brackets is dropped; an OS error number stays.
  const std::pair<const char*, const char*> reasons[] = {
      {"read failed: Broken pipe (BrokenPipe)", "read failed: Broken pipe"},
      {"read failed: Input/output error (Other)", "read failed: Input/output error"},
      {"write failed: Broken pipe (os error 32)", "write failed: Broken pipe (os error 32)"},
      {"device closed", "device closed"}};
  for (const auto& [reason, shown] : reasons) {
    QCOMPARE(reason_text(reason), QString::fromLatin1(shown));
  }
  emit w.bridge()->stopped("SIM0001", "read failed: Broken pipe (BrokenPipe)");
  QVERIFY(log_text(w).contains("SIM0001 stopped: read failed: Broken pipe\n") ||
          log_text(w).endsWith("SIM0001 stopped: read failed: Broken pipe"));

  // The band view reaches every lane of fifty units.
  const std::vector<BandUnit> fifty = many_units(50);
  w.band_view()->set_units(fifty);
  QVERIFY(QTest::qWaitForWindowExposed(&w));
  QApplication::processEvents();
  BandView* view = w.band_view();
  const BandLayout big = band_layout(fifty, view->size());
  // Lanes shrink no further than readable; the rest scrolls, axis included.
  QVERIFY(big.lane_height >= BandLayout::MIN_LANE_HEIGHT);
  QVERIFY(big.axis_y + BandLayout::AXIS_HEIGHT <= view->height());
  auto* scroll = child<QScrollArea>(w, "band_scroll");
  QVERIFY(scroll->verticalScrollBar()->maximum() > 0);
  // The keyboard reaches the lower lanes: the band takes the focus and scrolls with the keys.
  QVERIFY(!scroll->accessibleName().isEmpty());
  QVERIFY(scroll->focusPolicy() & Qt::TabFocus);
  QTest::keyClick(scroll, Qt::Key_PageDown);
  QVERIFY(scroll->verticalScrollBar()->value() > 0);
  scroll->verticalScrollBar()->setValue(scroll->verticalScrollBar()->maximum());
  QApplication::processEvents();
  const QPoint axis_in_viewport = view->mapTo(scroll->viewport(), QPoint(0, big.axis_y));
  QVERIFY(axis_in_viewport.y() >= 0 && axis_in_viewport.y() < scroll->viewport()->height());

  // The last lane's channel mark and the shared mark are painted.
  QImage image(view->size(), QImage::Format_ARGB32);
  view->render(&image);
  const QColor shared_mark = theme_for(view->palette()).shared;
  const int last_top = big.lanes_top + 49 * big.lane_height;
  const int x = static_cast<int>(big.x_of(fifty.back().channels[0].frequency));
  bool marked = false;
  for (int dx = -2; dx <= 2 && !marked; ++dx) {
    marked = image.pixelColor(x + dx, last_top + big.lane_height / 2).rgb() == shared_mark.rgb();
  }
  QVERIFY2(marked, "the 50th unit's shared channel is drawn");
}

void DesktopTest::hardwareModeInADarkPalette() {
  // The window itself follows a dark palette: banner and problem texts use the dark choices.
  MainWindow w(false);
  w.setPalette(dark_palette());
  w.show();
  const Theme dark = theme_for(dark_palette());
  auto* banner = child<QLabel>(w, "port_banner");
  QVERIFY(!banner->isVisible());
  emit w.bridge()->port_problems(
      {"/dev/ttyACM0: Permission denied", "/dev/ttyACM1: Device or resource busy"});
  QVERIFY(banner->isVisible());
  for (const char* part :
       {"/dev/ttyACM0: Permission denied", "/dev/ttyACM1: Device or resource busy",
        "docs/hardware.md", "access rule is missing", "ModemManager"}) {
    QVERIFY2(banner->text().contains(part), part);
  }
  QVERIFY(log_text(w).contains("port problems: /dev/ttyACM0: Permission denied"));
  QVERIFY(banner->styleSheet().contains(dark.warn_background.name()));
  QVERIFY(banner->styleSheet().contains(dark.warn_text.name()));
  emit w.bridge()->write_all_answered({{"SIM0001", "A", {"busy"}}});
  auto* list = child<QListWidget>(w, "problems");
  QCOMPARE(list->count(), 2);
  const QColor shown = list->item(1)->foreground().color();
  QVERIFY2(contrast_ratio(shown, list->palette().color(QPalette::Base)) >= 4.5,
           qPrintable(shown.name()));
  emit w.bridge()->port_problems({});
  QVERIFY(!banner->isVisible());

  w.start();
  QCOMPARE(w.windowTitle(), QStringLiteral("OWL Configurator — hardware"));
  QTRY_VERIFY_WITH_TIMEOUT(log_text(w).contains("engine started; looking for units"),
                           STARTUP_TIMEOUT_MS);
  QVERIFY(w.findChild<QPushButton*>("sim_add") == nullptr);
  QVERIFY(!child<QPushButton>(w, "write")->isEnabled());
}

void DesktopTest::closingWindowEndsProgram() {
  const QString program = qEnvironmentVariable("OWL_DESKTOP_BIN");
  if (program.isEmpty()) QSKIP("OWL_DESKTOP_BIN is not set");
  QProcess process;
  QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
  env.insert("QT_QPA_PLATFORM", "offscreen");
  // The program closes its own window once both units are listed; nothing else makes it quit.
  env.insert("OWL_DESKTOP_EXIT_WHEN_READY", "1");
  process.setProcessEnvironment(env);
  process.start(program, {"--simulator"});
  QVERIFY(process.waitForStarted(10000));
  QVERIFY2(process.waitForFinished(60000), "the program did not end after its window closed");
  QCOMPARE(process.exitStatus(), QProcess::NormalExit);
  QCOMPARE(process.exitCode(), 0);
  QVERIFY(process.readAllStandardOutput().contains("ready after"));
}

void DesktopTest::writeAskedForWhileCheckingWaitsForTheCheck() {
  auto w = started_window();
  QVERIFY(w);
  // A value still being typed into a cell, the only edit yet, is asked about when closing.
  auto* table = child<QTableWidget>(*w, "channels");
  type_into(open_frequency_cell(table), "216.5");
  answer_question(QMessageBox::Cancel);
  QVERIFY(!w->close());
  QVERIFY(w->isVisible());
  QCOMPARE(w->settings_form()->form().channels[0].frequency, 216500u);
  w->activateWindow();
  QVERIFY(QTest::qWaitForWindowActive(w.get()));
  auto* delay = child<QSpinBox>(*w, "delay_ms");
  auto* status = child<QLabel>(*w, "check_status");
  auto writing = [&](const char* key) {
    return w->units()->find(key)->state == UnitState::Writing;
  };

  // Typed and sent at once: the write waits for the check, says so, then goes out.
  retype(delay, "60");
  QTest::keyClick(delay, Qt::Key_Return, Qt::ControlModifier);
  QVERIFY(!writing("SIM0001"));
  QVERIFY2(status->text().contains("Checking… then writing to this unit"),
           qPrintable(status->text()));
  QVERIFY(w->statusBar()->currentMessage().startsWith("checking…"));
  QTRY_VERIFY_WITH_TIMEOUT(writing("SIM0001"), 10000);
  QTRY_VERIFY_WITH_TIMEOUT(confirmed(*w, "SIM0001"), WRITE_TIMEOUT_MS);
  QCOMPARE(w->units()->find("SIM0001")->settings->delay_ms, std::uint16_t{60});

  // A form with problems is checked and shown, and nothing is written, to any unit.
  auto* write_all = child<QPushButton>(*w, "write_all");
  QTRY_VERIFY_WITH_TIMEOUT(write_all->isEnabled() && check_passed(*w), 10000);
  retype(delay, "450");
  QTest::keyClick(delay, Qt::Key_Return, Qt::ControlModifier | Qt::ShiftModifier);
  QVERIFY(status->text().contains("Checking… then writing to all units"));
  QTRY_VERIFY_WITH_TIMEOUT(!w->problems().isEmpty(), 10000);
  QVERIFY(!writing("SIM0001") && !writing("SIM0002"));
  QVERIFY(log_text(*w).contains("nothing written: the check found problems with the form"));
  QCOMPARE(w->units()->find("SIM0002")->last_write, QString());

  // Editing again before the answer cancels the waiting write; the new form is only checked.
  auto* write = child<QPushButton>(*w, "write");
  retype(delay, "70");
  QTest::mouseClick(write, Qt::LeftButton);
  QVERIFY(status->text().contains("Checking… then writing"));
  retype(delay, "80");
  QVERIFY(log_text(*w).contains("write cancelled before it started: the form was edited again"));
  QTRY_VERIFY_WITH_TIMEOUT(status->text().contains("No problems"), 10000);
  QVERIFY(!writing("SIM0001"));
  QCOMPARE(w->units()->find("SIM0001")->settings->delay_ms, std::uint16_t{60});
  QCOMPARE(w->unsaved_units(), QStringList{"SIM0001"});

  // So does a channel cell typed into before the answer, even if it was not committed yet.
  retype(delay, "90");
  QTest::keyClick(delay, Qt::Key_Return, Qt::ControlModifier);
  type_into(open_frequency_cell(table), "216.4");
  QTRY_VERIFY_WITH_TIMEOUT(log_text(*w).count("write cancelled before it started") == 2, 10000);
  QVERIFY(!writing("SIM0001"));
  QCOMPARE(table->item(0, 0)->text(), QStringLiteral("216.400"));
  QCOMPARE(w->units()->find("SIM0001")->settings->delay_ms, std::uint16_t{60});

  // The edit, now a draft of a unit not in the form, is asked about too.
  w->select_unit("SIM0002");
  QCOMPARE(w->unsaved_units(), QStringList{"SIM0001"});
  answer_question(QMessageBox::Cancel);
  QVERIFY(!w->close());
  answer_question(QMessageBox::Discard);
  QVERIFY(w->close());
}

void DesktopTest::unitsGoneForgottenAddedAndRemoved() {
  auto w = started_window();
  QVERIFY(w);
  w->activateWindow();
  QVERIFY(QTest::qWaitForWindowActive(w.get()));
  // The unit goes away before it could confirm.
  QVERIFY2(lose_sim0002_during_write(*w), "the row stays, marked as gone");
  auto* delay = child<QSpinBox>(*w, "delay_ms");
  auto* write = child<QPushButton>(*w, "write");
  const QString state = UnitListModel::state_text(*w->units()->find("SIM0002"));
  QVERIFY2(state.contains("not confirmed") && state.contains("old or the new settings"),
           qPrintable(state));
  QVERIFY(
      log_text(*w).contains("the write to SIM0002 was not confirmed: the unit may hold the "
                            "old or the new settings"));
  QVERIFY(w->unsaved_units().contains("SIM0002"));
  QVERIFY(!write->isEnabled());
  QVERIFY(w->problems().isEmpty());  // an absent unit is not asked to judge the form
  QCOMPARE(w->band_view()->units().size(), std::size_t{1});
  // Looking at another unit and back keeps the draft.
  w->select_unit("SIM0001");
  w->select_unit("SIM0002");
  QCOMPARE(delay->value(), 50);
  auto* forget = child<QPushButton>(*w, "forget");
  QVERIFY(forget->isEnabled());
  QCOMPARE(forget->accessibleName(), QStringLiteral("Forget gone unit"));

  // Delete in the unit list asks first, because the row holds an unwritten draft; Cancel keeps
  // both.
  auto* table = child<QTableView>(*w, "unit_table");
  table->setFocus();
  answer_question(QMessageBox::Cancel);
  QTest::keyClick(table, Qt::Key_Delete);
  QVERIFY(w->units()->find("SIM0002") != nullptr);
  QVERIFY(w->unsaved_units().contains("SIM0002"));

  // The draft is there when the unit returns; then it goes again, in the middle of a write.
  w->bridge()->add_simulated_unit("SIM0002", 1002, 192000, 216975, 8);
  QTRY_VERIFY_WITH_TIMEOUT(w->units()->present("SIM0002"), STARTUP_TIMEOUT_MS);
  QCOMPARE(w->selected_key(), QStringLiteral("SIM0002"));
  QCOMPARE(delay->value(), 50);
  QVERIFY(UnitListModel::state_text(*w->units()->find("SIM0002")).contains("not confirmed"));
  QVERIFY(lose_sim0002_during_write(*w));

  // "Remove selected unit" on the gone row forgets it once the draft is given up.
  auto* remove = child<QPushButton>(*w, "sim_remove");
  QVERIFY(remove->isEnabled());
  answer_question(QMessageBox::Discard);
  QTest::mouseClick(remove, Qt::LeftButton);
  QVERIFY(w->units()->find("SIM0002") == nullptr);
  QVERIFY(w->unsaved_units().isEmpty());
  QCOMPARE(w->selected_key(), QStringLiteral("SIM0001"));
  QVERIFY(log_text(*w).contains("SIM0002 forgotten"));
  QVERIFY(!forget->isEnabled());

  // A unit with that key that reports later is a new unit: no draft, no old write outcome.
  w->bridge()->add_simulated_unit("SIM0002", 1002, 192000, 216975, 8);
  QTRY_VERIFY_WITH_TIMEOUT(w->units()->present("SIM0002"), STARTUP_TIMEOUT_MS);
  QCOMPARE(w->units()->find("SIM0002")->last_write, QString());
  w->select_unit("SIM0002");
  QCOMPARE(delay->value(), 0);
  QVERIFY(w->unsaved_units().isEmpty());

  // Once its kept draft is reverted, a gone row goes at once, by the button.
  QVERIFY(lose_sim0002_during_write(*w));
  QTest::mouseClick(child<QPushButton>(*w, "revert"), Qt::LeftButton);
  QVERIFY(w->unsaved_units().isEmpty());
  QTest::mouseClick(forget, Qt::LeftButton);
  QVERIFY(w->units()->find("SIM0002") == nullptr);

  // Simulated units added by the box and removed by the button.
  auto* id = child<QLineEdit>(*w, "sim_id");
  auto* add = child<QPushButton>(*w, "sim_add");
  // One past the highest listed: the forgotten SIM0002 no longer counts.
  QCOMPARE(id->text(), QStringLiteral("SIM0002"));
  // Added some other way than by this box: the offer moves past it.
  w->bridge()->add_simulated_unit("SIM0003", 1003, 192000, 216975, 4);
  QTRY_VERIFY_WITH_TIMEOUT(listed_with_settings(*w, "SIM0003"), STARTUP_TIMEOUT_MS);
  QCOMPARE(id->text(), QStringLiteral("SIM0004"));
  // The serial offered goes with the id, so it is not one a listed unit has.
  QCOMPARE(child<QSpinBox>(*w, "sim_serial")->value(), 1004);
  // An id of the user's own leads to the one after it.
  id->setText("SIM0010");
  QTest::mouseClick(add, Qt::LeftButton);
  QCOMPARE(id->text(), QStringLiteral("SIM0011"));
  QTRY_VERIFY_WITH_TIMEOUT(listed_with_settings(*w, "SIM0010"), STARTUP_TIMEOUT_MS);
  QCOMPARE(id->text(), QStringLiteral("SIM0011"));
  // What the user is typing is left alone while units come and go.
  id->setText("Stage-L");
  w->bridge()->add_simulated_unit("SIM0020", 1020, 192000, 216975, 4);
  QTRY_VERIFY_WITH_TIMEOUT(listed_with_settings(*w, "SIM0020"), STARTUP_TIMEOUT_MS);
  QCOMPARE(id->text(), QStringLiteral("Stage-L"));

  // The band is typed in MHz, or in kHz as a whole number.
  auto* low = child<QWidget>(*w, "sim_low");
  auto* high = child<QWidget>(*w, "sim_high");
  QCOMPARE(low->property("text").toString(), QStringLiteral("192.000"));
  // Off the step: refused with the reason, nothing added.
  id->setText("SIM0008");
  retype(low, "470.002");
  retype(high, "480");
  QTest::mouseClick(add, Qt::LeftButton);
  QVERIFY(log_text(*w).contains("band low: 470.002 MHz is not on the 5 kHz step"));
  QVERIFY(!log_text(*w).contains("adding simulated unit SIM0008"));
  retype(low, "470.5");
  retype(high, "480000");  // kHz as a whole number
  child<QSpinBox>(*w, "sim_serial")->setValue(4242);
  child<QSpinBox>(*w, "sim_channels")->setValue(4);
  QTest::mouseClick(add, Qt::LeftButton);
  QTRY_VERIFY_WITH_TIMEOUT(listed_with_settings(*w, "SIM0008"), STARTUP_TIMEOUT_MS);
  QCOMPARE(w->units()->find("SIM0008")->settings->min_freq, 470500u);
  QCOMPARE(w->units()->find("SIM0008")->settings->max_freq, 480000u);
  // Listed once, in key order, with the serial and channel count asked for.
  QCOMPARE(w->units()->rowCount(), 5);
  QCOMPARE(w->units()->rows()[2].key, QStringLiteral("SIM0008"));
  w->select_unit("SIM0008");
  QCOMPARE(child<QTableWidget>(*w, "channels")->rowCount(), 4);
  QCOMPARE(child<QLineEdit>(*w, "unit_name")->text(), QStringLiteral("SIM-4242"));

  // A duplicate id is refused in the window, with a reason.
  id->setText("SIM0008");
  QTest::mouseClick(add, Qt::LeftButton);
  QVERIFY(log_text(*w).contains("a unit with the id SIM0008 is already listed"));

  w->select_unit("SIM0003");
  QTest::mouseClick(remove, Qt::LeftButton);
  QTRY_VERIFY_WITH_TIMEOUT(w->units()->find("SIM0003") == nullptr, STARTUP_TIMEOUT_MS);
  QCOMPARE(w->units()->rowCount(), 4);
  QVERIFY(log_text(*w).contains("SIM0003 stopped: "));
  // The form moves on to a unit that is still there.
  const UnitRow* shown = w->units()->find(w->selected_key());
  QVERIFY(shown != nullptr);
  QCOMPARE(child<QLineEdit>(*w, "unit_name")->text(),
           QString::fromStdString(shown->settings->unit_name));
  QCOMPARE(w->band_view()->units().size(), std::size_t{4});
}

void DesktopTest::refusedThenOfflineShowThenConnectCompareAndWrite() {
  auto w = started_window();
  QVERIFY(w);
  const LogOnFailure dump{w.get()};
  QTemporaryDir dir;
  const UiSettings model = *w->units()->find("SIM0001")->settings;
  // A show with a misspelt field is refused whole; the window stays as it was.
  auto json = nlohmann::ordered_json::parse(frontend::show_to_text(show_from(model, 3)));
  json["units"][1]["settings"]["dely_ms"] = 5;
  const QString bad = dir.filePath("bad.json");
  QVERIFY(write_file(bad, json.dump(2)));
  QVERIFY(!w->open_show(bad));
  QVERIFY(w->show_refusal().contains(bad));
  QVERIFY2(w->show_refusal().contains("units[1].settings.dely_ms: unknown field"),
           qPrintable(w->show_refusal()));
  QVERIFY(w->statusBar()->currentMessage().contains("units[1].settings.dely_ms"));
  QVERIFY(!w->show_document().is_open());
  QCOMPARE(w->units()->rowCount(), 2);
  QVERIFY(!log_text(*w).contains("writing"));

  // A single unit's settings file is named as such, not listed field by field.
  const QString single = dir.filePath("one.json");
  QVERIFY(write_file(single, frontend::settings_to_json(model).dump(2)));
  QVERIFY(!w->open_show(single));
  QVERIFY2(w->show_refusal().contains("settings file"), qPrintable(w->show_refusal()));
  QCOMPARE(w->units()->find("SIM0001")->last_write, QString());
  QCOMPARE(w->units()->find("SIM0002")->last_write, QString());

  // The menu bar, with no show open.
  QStringList menus;
  for (QAction* a : w->menuBar()->actions()) menus << a->text();
  QCOMPARE(menus, (QStringList{"&File", "&Edit", "&Units", "He&lp"}));
  // A letter used twice in the window reaches neither control.
  QStringList texts = menus;
  // Per window: the coordination and backups windows have letters of their own.
  for (auto* b : w->findChildren<QAbstractButton*>()) {
    if (b->window() == w.get()) texts << b->text();
  }
  for (auto* l : w->findChildren<QLabel*>()) {
    if (l->window() == w.get()) texts << l->text();
  }
  QMap<QChar, QString> taken;
  for (const QString& t : texts) {
    const qsizetype at = t.indexOf('&');
    if (at < 0 || at + 1 >= t.size() || t[at + 1] == '&') continue;
    const QChar key = t[at + 1].toLower();
    QVERIFY2(!taken.contains(key), qPrintable(taken.value(key) + " / " + t));
    taken.insert(key, t);
  }
  // Every entry has a mnemonic; the common ones have shortcuts.
  for (QAction* m : w->menuBar()->actions()) {
    for (QAction* a : m->menu()->actions()) {
      if (!a->isSeparator()) QVERIFY2(a->text().contains('&'), qPrintable(a->text()));
    }
  }
  QCOMPARE(action(*w, "open_show")->shortcut(), QKeySequence(QKeySequence::Open));
  QCOMPARE(action(*w, "save_show")->shortcut(), QKeySequence(QKeySequence::Save));
  QCOMPARE(action(*w, "undo_write")->shortcut().toString(), QStringLiteral("Ctrl+Alt+Z"));
  QCOMPARE(action(*w, "write_all_action")->shortcut().toString(),
           QStringLiteral("Ctrl+Shift+Return"));
  // Saving needs a show; importing and exporting need a unit in the form.
  QVERIFY(!action(*w, "save_show")->isEnabled());
  QVERIFY(action(*w, "export_settings")->isEnabled());
  // Undo without any backup says so and writes nothing.
  action(*w, "undo_write")->trigger();
  QVERIFY(w->statusBar()->currentMessage().contains("no backup of SIM0001"));

  // A good show of 20 units, none of them connected: all listed offline, drawn in the band.
  const QString path = dir.filePath("friday.json");
  QVERIFY(!frontend::write_show(path.toStdString(), show_from(model, 20)));
  QVERIFY(w->open_show(path));
  QCOMPARE(w->units()->rowCount(), 22);
  QCOMPARE(w->units()->find("SIM0030")->state, UnitState::Offline);
  QCOMPARE(w->band_view()->units().size(), std::size_t{22});
  QCOMPARE(w->windowTitle(),
           QStringLiteral("Main stage, Friday[*] — OWL Configurator — simulator"));
  QVERIFY(!w->isWindowModified());

  // Offline editing goes into the show; there is no unit to write to.
  w->select_unit("SIM0012");
  auto* delay = child<QSpinBox>(*w, "delay_ms");
  QCOMPARE(delay->value(), 101);
  QVERIFY(child<QLabel>(*w, "form_note")->text().contains("Not connected"));
  delay->setValue(150);
  QVERIFY(w->isWindowModified());
  QCOMPARE(w->show_document().unit("SIM0012")->delay_ms, std::uint16_t{150});
  QVERIFY(!child<QPushButton>(*w, "write")->isEnabled());
  QVERIFY(!action(*w, "write_show")->isEnabled());
  QCOMPARE(w->band_view()->units().size(), std::size_t{22});

  // Two of them connect: their rows go live and differ from the show field by field.
  for (const char* key : {"SIM0011", "SIM0012"}) {
    const auto serial = static_cast<quint32>(QString(key).mid(3).toUInt() + 1000);
    w->bridge()->add_simulated_unit(key, serial, model.min_freq, model.max_freq,
                                    static_cast<quint32>(model.channels.size()));
  }
  QTRY_VERIFY_WITH_TIMEOUT(w->units()->present("SIM0011") && w->units()->present("SIM0012"),
                           STARTUP_TIMEOUT_MS);
  QCOMPARE(w->selected_key(), QStringLiteral("SIM0012"));
  QTRY_VERIFY_WITH_TIMEOUT(w->differences().contains("Delay: unit 0 ms → show 150 ms"), 10000);
  QVERIFY(w->differences().contains("Name: unit SIM-1012 → show Pack-2"));
  QCOMPARE(delay->value(), 150);  // the show's values wait in the form as edits
  QVERIFY(child<QLabel>(*w, "form_note")->text().startsWith("Showing the show's settings"));
  QVERIFY(w->units()
              ->data(w->units()->index(w->units()->row_of("SIM0011"), UnitListModel::StateColumn))
              .toString()
              .contains("differs from the show"));
  QCOMPARE(w->units()->find("SIM0030")->state, UnitState::Offline);

  // The preview lists both connected units; the write goes to them and is confirmed.
  QTRY_VERIFY_WITH_TIMEOUT(action(*w, "write_show")->isEnabled(), 10000);
  accept_preview([](PreviewDialog& d) {
    QCOMPARE(d.tree()->topLevelItemCount(), 2);
    QCOMPARE(d.tree()->topLevelItem(1)->text(0), QStringLiteral("SIM0012 (SIM-1012)"));
  });
  action(*w, "write_show")->trigger();
  QTRY_VERIFY_WITH_TIMEOUT(confirmed(*w, "SIM0011") && confirmed(*w, "SIM0012"), WRITE_TIMEOUT_MS);
  QTRY_COMPARE_WITH_TIMEOUT(w->units()->find("SIM0012")->settings->delay_ms, std::uint16_t{150},
                            WRITE_TIMEOUT_MS);
  QCOMPARE(w->units()->find("SIM0011")->settings->unit_name, std::string("Pack-1"));
  QTRY_VERIFY_WITH_TIMEOUT(w->differences().isEmpty(), 10000);
  QVERIFY(UnitListModel::state_text(*w->units()->find("SIM0001")).startsWith("reporting"));
  QCOMPARE(w->units()->find("SIM0001")->last_write, QString());
  QVERIFY(log_text(*w).contains("saved the settings of SIM0012 to "));
}

void DesktopTest::showRoundTripAndUndo() {
  auto w = started_window();
  QVERIFY(w);
  const LogOnFailure dump{w.get()};
  QTemporaryDir dir;
  const QString path = dir.filePath("rig.json");
  const UiSettings one = *w->units()->find("SIM0001")->settings;
  const UiSettings two = *w->units()->find("SIM0002")->settings;
  w->new_show();
  QVERIFY(w->isWindowModified());
  QVERIFY(w->save_show(path));
  QVERIFY(!w->isWindowModified());
  QVERIFY(w->windowTitle().startsWith("New show[*]"));

  // Both units changed by a write to all...
  auto* delay = child<QSpinBox>(*w, "delay_ms");
  delay->setValue(200);
  auto* write_all = child<QPushButton>(*w, "write_all");
  QTRY_VERIFY_WITH_TIMEOUT(write_all->isEnabled() && check_passed(*w), 10000);
  accept_preview();
  QTest::mouseClick(write_all, Qt::LeftButton);
  QTRY_VERIFY_WITH_TIMEOUT(w->units()->find("SIM0001")->settings->delay_ms == 200 &&
                               w->units()->find("SIM0002")->settings->delay_ms == 200,
                           WRITE_TIMEOUT_MS);

  // ...and the saved show brings back every field of every unit.
  QVERIFY(w->open_show(path));
  QTRY_VERIFY_WITH_TIMEOUT(w->differences().contains("Delay: unit 200 ms → show 0 ms"), 10000);
  QTRY_VERIFY_WITH_TIMEOUT(action(*w, "write_show")->isEnabled(), 10000);
  accept_preview();
  w->write_show_to_units();
  QTRY_VERIFY_WITH_TIMEOUT(*w->units()->find("SIM0001")->settings == one &&
                               *w->units()->find("SIM0002")->settings == two,
                           WRITE_TIMEOUT_MS);
  QTRY_VERIFY_WITH_TIMEOUT(confirmed(*w, "SIM0001") && confirmed(*w, "SIM0002"), WRITE_TIMEOUT_MS);

  // Undo takes SIM0001 back to what it held before that write, from the shared backup folder.
  w->select_unit("SIM0001");
  const auto backups = frontend::list_backups(MainWindow::backup_folder(), "SIM0001");
  QCOMPARE(backups.size(), std::size_t{2});
  QTRY_VERIFY_WITH_TIMEOUT(action(*w, "undo_write")->isEnabled(), 10000);
  accept_preview([](PreviewDialog& d) {
    QCOMPARE(d.tree()->topLevelItemCount(), 1);
    QCOMPARE(d.tree()->topLevelItem(0)->child(0)->text(1) + " → " +
                 d.tree()->topLevelItem(0)->child(0)->text(2),
             QStringLiteral("0 ms → 200 ms"));
  });
  action(*w, "undo_write")->trigger();
  QTRY_COMPARE_WITH_TIMEOUT(w->units()->find("SIM0001")->settings->delay_ms, std::uint16_t{200},
                            WRITE_TIMEOUT_MS);
  QCOMPARE(w->units()->find("SIM0002")->settings->delay_ms, std::uint16_t{0});
  QCOMPARE(frontend::list_backups(MainWindow::backup_folder(), "SIM0001").size(), std::size_t{3});
}

void DesktopTest::coordinationFromBandToUnitsAndBack() {
  auto w = started_window();
  QVERIFY(w);
  const LogOnFailure dump{w.get()};
  auto* count = child<QPushButton>(*w, "conflict_count");
  QCOMPARE(count->text(), QStringLiteral("No conflicts"));
  const UiSettings one = *w->units()->find("SIM0001")->settings;
  QCOMPARE(one.channels[0].frequency, 215180u);

  // SIM0002 typed 100 kHz from SIM0001's carrier: counted and marked as typed, no write needed.
  w->select_unit("SIM0002");
  auto* table = child<QTableWidget>(*w, "channels");
  auto* editor = open_frequency_cell(table);
  type_into(editor, QStringLiteral("215.280"));
  QTest::keyClick(editor, Qt::Key_Return);
  QTRY_COMPARE(w->settings_form()->form().channels[0].frequency, 215280u);
  QTRY_VERIFY2(
      count->text() != QStringLiteral("No conflicts") && count->text().endsWith("conflicts"),
      qPrintable(count->text()));
  QVERIFY(!w->band_view()->marks().empty());
  // Kept edits of a unit not in the form still count.
  w->select_unit("SIM0001");
  QVERIFY(count->text() != QStringLiteral("No conflicts"));

  // A click on SIM0002's carrier in the band selects the unit and its channel.
  const BandLayout l = w->band_view()->layout();
  const auto lane = static_cast<std::size_t>(w->units()->row_of("SIM0002"));
  QTest::mouseClick(w->band_view(), Qt::LeftButton, {},
                    QPointF(l.x_of(215280) + 1, l.lane_top(lane) + l.lane_height / 2.0).toPoint());
  QCOMPARE(w->selected_key(), QStringLiteral("SIM0002"));
  QCOMPARE(table->currentRow(), 0);

  // With SIM0002 locked, coordination moves SIM0001, through the preview, and writes it; the
  // frequency typed into SIM0001's form is planned over, so the form follows the unit.
  w->coordination_panel()->set_locked({"SIM0002"});
  w->select_unit("SIM0001");
  editor = open_frequency_cell(table);
  type_into(editor, QStringLiteral("215.300"));
  QTest::keyClick(editor, Qt::Key_Return);
  QTRY_COMPARE(w->settings_form()->form().channels[0].frequency, 215300u);
  accept_preview([](PreviewDialog& d) {
    QCOMPARE(d.tree()->topLevelItemCount(), 1);
    QVERIFY(d.tree()->topLevelItem(0)->text(0).contains("SIM0001"));
  });
  action(*w, "coordinate_frequencies")->trigger();
  QTRY_VERIFY_WITH_TIMEOUT(confirmed(*w, "SIM0001"), WRITE_TIMEOUT_MS);
  const UiSettings moved = *w->units()->find("SIM0001")->settings;
  QVERIFY(moved.channels[0].frequency != one.channels[0].frequency);
  QVERIFY(moved.channels[0].frequency >= 215000 && moved.channels[0].frequency <= 217000);
  QCOMPARE(moved.delay_ms, one.delay_ms);
  QTRY_COMPARE(count->text(), QStringLiteral("No conflicts"));
  QTRY_COMPARE(w->settings_form()->form(), moved);
  QVERIFY(!action(*w, "revert_action")->isEnabled());

  // The backup taken before that write is listed for SIM0001 and brings the old frequency back.
  w->select_unit("SIM0001");
  action(*w, "backups")->trigger();
  auto* backups = w->backups_panel();
  QVERIFY(backups->isVisible());
  QCOMPARE(backups->key(), QStringLiteral("SIM0001"));
  auto* list = child<QTreeWidget>(*backups, "backups");
  QCOMPARE(list->topLevelItemCount(), 1);
  list->setCurrentItem(list->topLevelItem(0));
  accept_preview();
  child<QPushButton>(*backups, "restore_backup")->click();
  QTRY_COMPARE_WITH_TIMEOUT(w->units()->find("SIM0001")->settings->channels[0].frequency,
                            one.channels[0].frequency, WRITE_TIMEOUT_MS);
  QTRY_COMPARE_WITH_TIMEOUT(list->topLevelItemCount(), 2, 10000);
}

QTEST_MAIN(DesktopTest)
#include "desktop_test.moc"
