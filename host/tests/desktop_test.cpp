#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QProcess>
#include <QProgressBar>
#include <QPushButton>
#include <QSpinBox>
#include <QTableWidget>
#include <QtTest>
#include <memory>

#include "ui/band_view.hpp"
#include "ui/engine_bridge.hpp"
#include "ui/main_window.hpp"
#include "ui/settings_form.hpp"
#include "ui/unit_list_model.hpp"

using namespace owl;
using namespace owl::desktop;

namespace {

constexpr int STARTUP_TIMEOUT_MS = 20000;
// A write is confirmed about a second after it is sent, or reported failed after six.
constexpr int WRITE_TIMEOUT_MS = 20000;

template <class T>
T* child(const QObject& parent, const char* name) {
  T* found = parent.findChild<T*>(QString::fromLatin1(name));
  if (found == nullptr) qFatal("no child widget %s", name);
  return found;
}

bool listed_with_settings(const MainWindow& w, const char* key) {
  const UnitRow* row = w.units()->find(QString::fromLatin1(key));
  return row != nullptr && row->settings.has_value();
}

QString log_text(const MainWindow& w) {
  return child<QPlainTextEdit>(w, "log")->toPlainText();
}

bool confirmed(const MainWindow& w, const char* key) {
  const UnitRow* row = w.units()->find(QString::fromLatin1(key));
  return row != nullptr && row->state == UnitState::Reporting && row->last_write == "confirmed";
}

// A simulated window with both built-in units listed and SIM0001 selected and checked.
std::unique_ptr<MainWindow> started_window() {
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
  if (!QTest::qWaitFor([&] { return write->isEnabled(); }, STARTUP_TIMEOUT_MS)) return nullptr;
  return w;
}

void type_into(QLineEdit* edit, const QString& text) {
  edit->selectAll();
  QTest::keyClicks(edit, text);
}

}  // namespace

class DesktopTest : public QObject {
  Q_OBJECT

 private slots:
  void startsWithBothSimulatedUnits();
  void invalidEditThenWriteOneThenAll();
  void refusedWriteKeepsEveryDraft();
  void addAndRemoveSimulatedUnit();
  void unknownOptionValueStaysSelectable();
  void bandViewMarksClashes();
  void hardwareModeAndPortProblems();
  void closingWindowEndsProgram();
};

void DesktopTest::startsWithBothSimulatedUnits() {
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
  QCOMPARE(w->band_view()->units().size(), std::size_t{2});
  QVERIFY(log_text(*w).contains("SIM0002 connected (simulator)"));

  // The form shows the selected unit, one table row per channel.
  QCOMPARE(child<QLineEdit>(*w, "unit_name")->text(), QStringLiteral("SIM-1001"));
  QCOMPARE(child<QLabel>(*w, "serial")->text(), QStringLiteral("1001"));
  QCOMPARE(child<QTableWidget>(*w, "channels")->rowCount(), 10);
  QCOMPARE(child<QTableWidget>(*w, "channels")->item(0, 0)->text(), QStringLiteral("215180"));
  QVERIFY(BandView::clashes(w->band_view()->units()).empty());
  w->select_unit("SIM0002");
  auto* table = child<QTableWidget>(*w, "channels");
  QCOMPARE(table->rowCount(), 8);
  QCOMPARE(child<QComboBox>(*w, "squelch")->currentText(), QStringLiteral("MED"));

  // Moving SIM0002's enabled first channel onto SIM0001's shows a clash while still editing;
  // 215180 lies inside SIM0002's band too, so the edit may be written.
  table->item(0, 0)->setData(Qt::EditRole, 215180u);
  const std::vector<std::uint32_t> expected{215180};
  QTRY_COMPARE_WITH_TIMEOUT(BandView::clashes(w->band_view()->units()), expected, 5000);
  QTRY_VERIFY_WITH_TIMEOUT(child<QPushButton>(*w, "write")->isEnabled(), 10000);
}

void DesktopTest::invalidEditThenWriteOneThenAll() {
  auto w = started_window();
  QVERIFY(w);
  auto* write = child<QPushButton>(*w, "write");
  auto* write_all = child<QPushButton>(*w, "write_all");
  auto* problems = child<QListWidget>(*w, "problems");
  auto* delay = child<QSpinBox>(*w, "delay_ms");
  delay->setValue(450);
  QVERIFY(!write->isEnabled());  // until the check answers
  const QString expected = QStringLiteral("delay 450 ms is over the 400 ms maximum");
  QTRY_VERIFY_WITH_TIMEOUT(w->problems().contains(expected), 10000);
  QCOMPARE(problems->count(), 1);
  QCOMPARE(problems->item(0)->text(), expected);
  QVERIFY(!write->isEnabled());
  QVERIFY(!write_all->isEnabled());

  delay->setValue(120);
  type_into(child<QLineEdit>(*w, "unit_name"), QStringLiteral("Stage-Left"));
  QTRY_VERIFY_WITH_TIMEOUT(write->isEnabled(), 10000);
  QCOMPARE(problems->count(), 0);
  QVERIFY(write_all->isEnabled());
  // Checking sends nothing to the unit.
  QCOMPARE(w->units()->find("SIM0001")->settings->delay_ms, std::uint16_t{0});
  QTest::mouseClick(write, Qt::LeftButton);
  QCOMPARE(w->units()->find("SIM0001")->state, UnitState::Writing);
  QVERIFY(child<QProgressBar>(*w, "write_progress")->isVisible());
  QVERIFY(!write->isEnabled());

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
  child<QComboBox>(*w, "charge")->setCurrentText("FAST");
  child<QCheckBox>(*w, "keep_charge_all")->setChecked(true);
  QTRY_VERIFY_WITH_TIMEOUT(write_all->isEnabled(), 10000);
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
  QTRY_VERIFY_WITH_TIMEOUT(write_all->isEnabled(), 10000);
  QTest::mouseClick(write_all, Qt::LeftButton);
  const QString expected = QStringLiteral(
      "SIM0001 (SIM-1001): channel 1: 194775 kHz is outside this unit's 215000-217000 kHz range");
  QTRY_VERIFY_WITH_TIMEOUT(w->problems().contains(expected), 10000);
  QVERIFY(log_text(*w).contains("refused"));
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
  QVERIFY(!child<QPushButton>(*w, "write")->isEnabled());  // until the draft is checked
  QTRY_VERIFY_WITH_TIMEOUT(child<QPushButton>(*w, "write")->isEnabled(), 10000);
  auto* revert = child<QPushButton>(*w, "revert");
  QVERIFY(revert->isEnabled());
  QTest::mouseClick(revert, Qt::LeftButton);
  QCOMPARE(delay->value(), 0);
  QVERIFY(!revert->isEnabled());
}

void DesktopTest::addAndRemoveSimulatedUnit() {
  auto w = started_window();
  QVERIFY(w);
  child<QLineEdit>(*w, "sim_id")->setText("SIM0007");
  child<QSpinBox>(*w, "sim_serial")->setValue(4242);
  child<QSpinBox>(*w, "sim_low")->setValue(500000);
  child<QSpinBox>(*w, "sim_high")->setValue(510000);
  child<QSpinBox>(*w, "sim_channels")->setValue(4);
  QTest::mouseClick(child<QPushButton>(*w, "sim_add"), Qt::LeftButton);
  QTRY_VERIFY_WITH_TIMEOUT(listed_with_settings(*w, "SIM0007"), STARTUP_TIMEOUT_MS);
  QCOMPARE(w->units()->rowCount(), 3);
  QCOMPARE(w->units()->rows()[2].key, QStringLiteral("SIM0007"));
  w->select_unit("SIM0007");
  QCOMPARE(child<QTableWidget>(*w, "channels")->rowCount(), 4);
  QCOMPARE(child<QLineEdit>(*w, "unit_name")->text(), QStringLiteral("SIM-4242"));

  // A duplicate id is refused in the window, with a reason.
  child<QLineEdit>(*w, "sim_id")->setText("SIM0007");
  QTest::mouseClick(child<QPushButton>(*w, "sim_add"), Qt::LeftButton);
  QVERIFY(log_text(*w).contains("a unit with the id SIM0007 is already listed"));

  w->select_unit("SIM0002");
  QTest::mouseClick(child<QPushButton>(*w, "sim_remove"), Qt::LeftButton);
  QTRY_VERIFY_WITH_TIMEOUT(w->units()->find("SIM0002") == nullptr, STARTUP_TIMEOUT_MS);
  QCOMPARE(w->units()->rowCount(), 2);
  QVERIFY(log_text(*w).contains("SIM0002 stopped: "));
  // The form moves on to a unit that is still there.
  const UnitRow* shown = w->units()->find(w->selected_key());
  QVERIFY(shown != nullptr);
  QCOMPARE(child<QLineEdit>(*w, "unit_name")->text(),
           QString::fromStdString(shown->settings->unit_name));
  QCOMPARE(w->band_view()->units().size(), std::size_t{2});
}

void DesktopTest::unknownOptionValueStaysSelectable() {
  SettingsForm form;
  form.set_options({{"OFF", "RIGHT", "LEFT", "CENTER"},
                    {"MONO", "STEREO", "BALANCED"},
                    {"OFF", "ON", "DIM"},
                    {"OFF", "SLOW", "FAST"},
                    {"HIGH", "MED", "LOW"},
                    {"OFF", "CHANNEL", "DELAY", "ANNOUNCE"},
                    {"FM_ANALOG", "DIGITAL"},
                    {"OFF", "COMPANDER1", "COMPANDER2"},
                    {"NIMH", "ALKALINE", "LITHIUM"},
                    {"NORMAL", "BOOST_LOW", "BOOST_HIGH"}});
  // Every field differs from its neighbours, so a swapped widget shows in the round trip.
  UiSettings s{"Front",      77,          "CENTER",     true,      35,
               "STEREO",     "7",         "FAST",       "39",      "DELAY",
               "OFF",        "FM_ANALOG", "COMPANDER2", "LITHIUM", "00AB12",
               "BOOST_HIGH", true,        192000,       229975,    {}};
  s.channels = {{200000, true, false, true}, {201000, false, true, false}};
  QSignalSpy edited(&form, &SettingsForm::edited);
  form.load(s);
  QCOMPARE(edited.count(), 0);
  QCOMPARE(form.form(), s);  // every field survives a round trip through the widgets

  auto* led = child<QComboBox>(form, "led");
  QCOMPARE(led->count(), 4);
  QCOMPARE(led->currentText(), QStringLiteral("7"));
  led->setCurrentText("DIM");
  QCOMPARE(edited.count(), 1);
  QCOMPARE(form.form().led, std::string("DIM"));
  led->setCurrentText("7");
  QCOMPARE(form.form().led, std::string("7"));
  QCOMPARE(child<QComboBox>(form, "squelch")->currentText(), QStringLiteral("39"));
  QCOMPARE(child<QComboBox>(form, "led")->findText("3"), -1);

  // A name that differs only in case still selects the named entry, not an extra one.
  s.hph_mode = "stereo";
  form.load(s);
  QCOMPARE(child<QComboBox>(form, "hph_mode")->count(), 3);
  QCOMPARE(form.form().hph_mode, std::string("STEREO"));

  auto* table = child<QTableWidget>(form, "channels");
  table->item(1, 1)->setCheckState(Qt::Checked);
  QVERIFY(form.form().channels[1].channel_enable);
  QVERIFY(edited.count() >= 2);
}

void DesktopTest::bandViewMarksClashes() {
  BandUnit a{
      "A", "a", 190000, 230000, {{215180, false, false, true}, {216000, false, false, false}}};
  BandUnit b{
      "B", "b", 190000, 230000, {{215180, false, false, true}, {216000, false, false, true}}};
  BandUnit c{
      "C", "c", 190000, 230000, {{216000, false, false, true}, {216000, false, false, true}}};
  QCOMPARE(BandView::clashes({a, b, c}), (std::vector<std::uint32_t>{215180, 216000}));
  // Two channels of one unit on one frequency are not a clash between units, and a disabled
  // channel clashes with nothing.
  QCOMPARE(BandView::clashes({a, c}), std::vector<std::uint32_t>{});
  QCOMPARE(BandView::clashes({c}), std::vector<std::uint32_t>{});

  BandView view;
  view.resize(600, 120);
  view.set_units({a, b, c});
  QImage image(view.size(), QImage::Format_ARGB32);
  image.fill(Qt::white);
  view.render(&image);
  bool red = false;
  for (int i = 0; i < image.width() * image.height() && !red; ++i) {
    const QColor px = image.pixelColor(i % image.width(), i / image.width());
    red = px.red() > 180 && px.green() < 80 && px.blue() < 80;
  }
  QVERIFY2(red, "a clash is drawn in red");
}

void DesktopTest::hardwareModeAndPortProblems() {
  MainWindow w(false);
  w.show();
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

QTEST_MAIN(DesktopTest)
#include "desktop_test.moc"
