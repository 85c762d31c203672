#include "ui/main_window.hpp"

#include <QCheckBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QSpinBox>
#include <QSplitter>
#include <QStatusBar>
#include <QTableView>
#include <QTime>
#include <QVBoxLayout>

#include "udev_rule.hpp"
#include "ui/band_view.hpp"
#include "ui/settings_form.hpp"
#include "ui/unit_list_model.hpp"

namespace owl::desktop {

namespace {

constexpr int CHECK_DELAY_MS = 300;

QString port_banner_text(const QStringList& lines) {
  QString text = QObject::tr("<b>Some unit ports could not be opened:</b><br>%1")
                     .arg(lines.join(QStringLiteral("<br>")).toHtmlEscaped());
  QStringList hints;
  const auto rule =
      frontend::find_udev_rule(frontend::udev_rule_dirs(), frontend::running_program_dir());
  hints << QObject::tr("What to do: %1 (see %2).")
               .arg(QString::fromStdString(frontend::rule_advice(rule)),
                    QString::fromStdString(rule.origin.guide.string()))
               .toHtmlEscaped();
  const QString all = lines.join(QLatin1Char('\n'));
  if (all.contains(QLatin1String("Permission denied"))) {
    hints << QObject::tr("\"Permission denied\": the access rule is missing or not applied yet.");
  }
  if (all.contains(QLatin1String("Device or resource busy"))) {
    hints << QObject::tr(
        "\"Device or resource busy\": another program holds the port, for "
        "example ModemManager or a serial terminal; close it.");
  }
  return text + QStringLiteral("<br>") + hints.join(QStringLiteral("<br>"));
}

}  // namespace

MainWindow::MainWindow(bool simulator, QWidget* parent)
    : QMainWindow(parent),
      simulator_(simulator),
      bridge_(new EngineBridge(this)),
      units_(new UnitListModel(this)) {
  setWindowTitle(simulator ? tr("OWL Configurator — simulator")
                           : tr("OWL Configurator — hardware"));

  port_banner_ = new QLabel;
  port_banner_->setObjectName(QStringLiteral("port_banner"));
  port_banner_->setWordWrap(true);
  port_banner_->setStyleSheet(QStringLiteral(
      "QLabel { background: #fff4cc; border: 1px solid #e0b000; padding: 6px; color: #3a2e00; }"));
  port_banner_->hide();
  error_banner_ = new QLabel;
  error_banner_->setObjectName(QStringLiteral("error_banner"));
  error_banner_->setWordWrap(true);
  error_banner_->setStyleSheet(QStringLiteral(
      "QLabel { background: #fde2e2; border: 1px solid #c03030; padding: 6px; color: #5a0000; }"));
  error_banner_->hide();

  form_ = new SettingsForm;
  band_ = new BandView;
  log_ = new QPlainTextEdit;
  log_->setObjectName(QStringLiteral("log"));
  log_->setReadOnly(true);
  log_->setMaximumBlockCount(5000);

  auto* editor = new QWidget;
  auto* editor_layout = new QHBoxLayout(editor);
  editor_layout->setContentsMargins(0, 0, 0, 0);
  editor_layout->addWidget(form_, 3);
  editor_layout->addWidget(build_write_panel(), 1);

  auto* top = new QSplitter(Qt::Horizontal);
  top->addWidget(build_unit_panel());
  top->addWidget(editor);
  top->setSizes({500, 900});

  auto* band_box = new QGroupBox(tr("Band"));
  auto* band_layout = new QVBoxLayout(band_box);
  band_layout->addWidget(band_);
  auto* log_box = new QGroupBox(tr("Event log"));
  auto* log_layout = new QVBoxLayout(log_box);
  log_layout->addWidget(log_);

  auto* vertical = new QSplitter(Qt::Vertical);
  vertical->addWidget(top);
  vertical->addWidget(band_box);
  vertical->addWidget(log_box);
  vertical->setSizes({560, 140, 160});

  auto* central = new QWidget;
  auto* layout = new QVBoxLayout(central);
  layout->addWidget(error_banner_);
  layout->addWidget(port_banner_);
  layout->addWidget(vertical, 1);
  setCentralWidget(central);
  resize(1400, 900);

  check_timer_.setSingleShot(true);
  check_timer_.setInterval(CHECK_DELAY_MS);
  connect(&check_timer_, &QTimer::timeout, this, &MainWindow::run_check);
  connect(form_, &SettingsForm::edited, this, &MainWindow::form_edited);

  connect(bridge_, &EngineBridge::ready, this, [this] {
    ready_ = true;
    form_->set_options(bridge_->options());
    log(simulator_ ? tr("engine started with simulated units")
                   : tr("engine started; looking for units on USB serial ports"));
    update_actions();
  });
  connect(bridge_, &EngineBridge::failed, this, [this](const QString& message) {
    log(tr("error: %1").arg(message));
    if (!ready_) {
      error_banner_->setText(message);
      error_banner_->show();
    }
    statusBar()->showMessage(message, 10000);
  });
  connect(bridge_, &EngineBridge::announced, this, [this](const QString& key, const QString& l) {
    units_->announce(key, l);
    log(tr("%1 connected (%2)").arg(key, l));
    if (selected_.isEmpty()) select_unit(key);
    update_band();
  });
  connect(bridge_, &EngineBridge::stopped, this, &MainWindow::on_stopped);
  connect(bridge_, &EngineBridge::settings_reported, this, &MainWindow::on_settings);
  connect(bridge_, &EngineBridge::identity_reported, this,
          [this](const QString& key, const QString& text) {
            const UnitRow* row = units_->find(key);
            if (row != nullptr && row->identity != text)
              log(tr("%1 identifies as %2").arg(key, text));
            units_->set_identity(key, text);
          });
  connect(bridge_, &EngineBridge::write_result, this, &MainWindow::on_write_result);
  connect(bridge_, &EngineBridge::port_problems, this, &MainWindow::show_port_problems);
  connect(bridge_, &EngineBridge::event_stream_closed, this, [this] {
    log(tr("the engine closed the event stream; the unit list no longer updates"));
  });
  connect(bridge_, &EngineBridge::checked, this, &MainWindow::on_checked);
  connect(bridge_, &EngineBridge::write_answered, this, &MainWindow::on_write_answered);
  connect(bridge_, &EngineBridge::write_all_answered, this, &MainWindow::on_write_all_answered);
  connect(bridge_, &EngineBridge::request_done, this,
          [this](const QString& what) { log(tr("%1: done").arg(what)); });
  connect(units_, &QAbstractItemModel::dataChanged, this, &MainWindow::update_actions);
  connect(units_, &QAbstractItemModel::rowsRemoved, this, &MainWindow::update_actions);
  update_actions();
}

void MainWindow::start() {
  log(simulator_ ? tr("starting in simulator mode") : tr("starting in hardware mode"));
  bridge_->start(simulator_);
}

QWidget* MainWindow::build_unit_panel() {
  unit_table_ = new QTableView;
  unit_table_->setObjectName(QStringLiteral("unit_table"));
  unit_table_->setModel(units_);
  unit_table_->setSelectionBehavior(QAbstractItemView::SelectRows);
  unit_table_->setSelectionMode(QAbstractItemView::SingleSelection);
  unit_table_->verticalHeader()->hide();
  unit_table_->horizontalHeader()->setStretchLastSection(true);
  unit_table_->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
  connect(unit_table_->selectionModel(), &QItemSelectionModel::selectionChanged, this,
          &MainWindow::selection_changed);

  refresh_ = new QPushButton(tr("Refresh unit"));
  refresh_->setObjectName(QStringLiteral("refresh"));
  refresh_->setToolTip(tr("Ask the selected unit to report its settings again"));
  connect(refresh_, &QPushButton::clicked, this, [this] {
    if (selected_.isEmpty()) return;
    log(tr("asking %1 to report again").arg(selected_));
    bridge_->refresh(selected_);
  });

  auto* panel = new QWidget;
  auto* layout = new QVBoxLayout(panel);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->addWidget(new QLabel(tr("<b>Units</b>")));
  layout->addWidget(unit_table_, 1);
  layout->addWidget(refresh_);
  if (simulator_) layout->addWidget(build_simulator_box());
  return panel;
}

QWidget* MainWindow::build_write_panel() {
  problem_list_ = new QListWidget;
  problem_list_->setObjectName(QStringLiteral("problems"));
  problem_list_->setWordWrap(true);
  form_note_ = new QLabel;
  form_note_->setObjectName(QStringLiteral("form_note"));
  form_note_->setWordWrap(true);

  keep_name_ = new QCheckBox(tr("Keep the unit's name"));
  keep_name_->setObjectName(QStringLiteral("keep_name"));
  keep_charge_ = new QCheckBox(tr("Keep the unit's charge mode"));
  keep_charge_->setObjectName(QStringLiteral("keep_charge"));
  write_ = new QPushButton(tr("Write to this unit"));
  write_->setObjectName(QStringLiteral("write"));
  connect(write_, &QPushButton::clicked, this, &MainWindow::write_one);

  keep_charge_all_ = new QCheckBox(tr("Keep each unit's charge mode"));
  keep_charge_all_->setObjectName(QStringLiteral("keep_charge_all"));
  write_all_ = new QPushButton(tr("Write to all units"));
  write_all_->setObjectName(QStringLiteral("write_all"));
  write_all_->setToolTip(
      tr("Writes this form to every unit; each unit keeps its own name. "
         "Nothing is written unless every unit accepts it."));
  connect(write_all_, &QPushButton::clicked, this, &MainWindow::write_all);

  revert_ = new QPushButton(tr("Revert to unit's settings"));
  revert_->setObjectName(QStringLiteral("revert"));
  connect(revert_, &QPushButton::clicked, this, [this] {
    drafts_.remove(selected_);
    dirty_ = false;
    show_selected();
  });

  progress_ = new QProgressBar;
  progress_->setObjectName(QStringLiteral("write_progress"));
  progress_->setRange(0, 0);
  progress_->setFormat(tr("confirming write…"));
  progress_->setTextVisible(true);
  progress_->hide();

  auto* one = new QGroupBox(tr("This unit"));
  auto* one_layout = new QVBoxLayout(one);
  one_layout->addWidget(keep_name_);
  one_layout->addWidget(keep_charge_);
  one_layout->addWidget(write_);
  auto* all = new QGroupBox(tr("All units"));
  auto* all_layout = new QVBoxLayout(all);
  all_layout->addWidget(keep_charge_all_);
  all_layout->addWidget(write_all_);

  auto* panel = new QWidget;
  auto* layout = new QVBoxLayout(panel);
  layout->setContentsMargins(0, 0, 0, 0);
  check_status_ = new QLabel;
  check_status_->setObjectName(QStringLiteral("check_status"));
  layout->addWidget(new QLabel(tr("<b>Problems</b>")));
  layout->addWidget(check_status_);
  layout->addWidget(problem_list_, 1);
  layout->addWidget(form_note_);
  layout->addWidget(one);
  layout->addWidget(all);
  layout->addWidget(revert_);
  layout->addWidget(progress_);
  return panel;
}

QWidget* MainWindow::build_simulator_box() {
  sim_id_ = new QLineEdit(QStringLiteral("SIM0003"));
  sim_id_->setObjectName(QStringLiteral("sim_id"));
  auto spin = [](const char* name, int lo, int hi, int value, const QString& suffix) {
    auto* s = new QSpinBox;
    s->setObjectName(QString::fromLatin1(name));
    s->setRange(lo, hi);
    s->setValue(value);
    s->setSuffix(suffix);
    return s;
  };
  sim_serial_ = spin("sim_serial", 0, 999999999, 1003, QString());
  sim_low_ = spin("sim_low", 1, 9999999, 192000, tr(" kHz"));
  sim_high_ = spin("sim_high", 1, 9999999, 216975, tr(" kHz"));
  // Settings with more than ten channels cannot be read back from a unit.
  sim_channels_ = spin("sim_channels", 0, 10, 8, QString());
  auto* add = new QPushButton(tr("Add simulated unit"));
  add->setObjectName(QStringLiteral("sim_add"));
  connect(add, &QPushButton::clicked, this, &MainWindow::add_simulated_unit);
  sim_remove_ = new QPushButton(tr("Remove selected unit"));
  sim_remove_->setObjectName(QStringLiteral("sim_remove"));
  connect(sim_remove_, &QPushButton::clicked, this, &MainWindow::remove_simulated_unit);

  auto* box = new QGroupBox(tr("Simulated units"));
  auto* form = new QFormLayout(box);
  form->addRow(tr("Id"), sim_id_);
  form->addRow(tr("Serial"), sim_serial_);
  form->addRow(tr("Band low"), sim_low_);
  form->addRow(tr("Band high"), sim_high_);
  form->addRow(tr("Channels"), sim_channels_);
  auto* buttons = new QHBoxLayout;
  buttons->addWidget(add);
  buttons->addWidget(sim_remove_);
  form->addRow(buttons);
  return box;
}

void MainWindow::log(const QString& text) {
  log_->appendPlainText(QTime::currentTime().toString(QStringLiteral("HH:mm:ss.zzz  ")) + text);
}

void MainWindow::select_unit(const QString& key) {
  const int row = units_->row_of(key);
  if (row < 0) return;
  unit_table_->selectionModel()->select(
      units_->index(row, 0), QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
  unit_table_->setCurrentIndex(units_->index(row, 0));
}

void MainWindow::selection_changed() {
  const QModelIndexList rows = unit_table_->selectionModel()->selectedRows();
  const QString key =
      rows.isEmpty()
          ? QString()
          : units_->data(units_->index(rows.first().row(), UnitListModel::KeyColumn)).toString();
  if (key == selected_) return;
  if (!selected_.isEmpty() && dirty_ && form_->loaded()) drafts_.insert(selected_, form_->form());
  selected_ = key;
  dirty_ = drafts_.contains(key);
  show_selected();
}

void MainWindow::show_selected() {
  check_timer_.stop();
  ++check_sequence_;
  check_pending_ = false;
  form_note_->clear();
  band_->set_selected(selected_);
  const UnitRow* row = units_->find(selected_);
  if (row == nullptr || !row->settings) {
    form_->clear();
    show_problems({});
    update_actions();
    return;
  }
  form_->load(dirty_ ? drafts_.value(selected_) : *row->settings);
  if (dirty_) form_note_->setText(tr("Showing your unsaved edits for this unit."));
  check_pending_ = true;
  run_check();
  update_band();
  update_actions();
}

void MainWindow::form_edited() {
  dirty_ = true;
  edited_since_write_ = true;
  check_pending_ = true;
  check_timer_.start();
  update_actions();
  update_band();
}

void MainWindow::run_check() {
  if (selected_.isEmpty() || !form_->loaded() || !ready_) {
    check_pending_ = false;
    update_actions();
    return;
  }
  bridge_->check(selected_, form_->form(), ++check_sequence_);
}

void MainWindow::on_checked(const QString& key, quint64 sequence, const QStringList& problems) {
  if (key != selected_ || sequence != check_sequence_) return;
  check_pending_ = false;
  show_problems(problems);
}

void MainWindow::show_problems(const QStringList& problems) {
  problems_ = problems;
  problem_list_->clear();
  for (const auto& p : problems) {
    auto* item = new QListWidgetItem(p, problem_list_);
    item->setForeground(QColor(0xb0, 0x20, 0x20));
  }
  update_actions();
}

void MainWindow::update_check_status() {
  if (!form_->loaded()) {
    check_status_->clear();
  } else if (check_pending_) {
    check_status_->setText(tr("Checking…"));
  } else if (problems_.isEmpty()) {
    check_status_->setText(tr("<span style='color:#1c7a2c'>✔ No problems: ready to write</span>"));
  } else {
    check_status_->setText(tr("<span style='color:#b02020'>%n problem(s): fix them to write</span>",
                              nullptr, static_cast<int>(problems_.size())));
  }
}

void MainWindow::update_actions() {
  const UnitRow* row = units_->find(selected_);
  const bool form_ok = ready_ && row != nullptr && row->settings && form_->loaded() &&
                       !check_pending_ && problems_.isEmpty();
  write_->setEnabled(form_ok && row->state != UnitState::Writing);
  write_all_->setEnabled(form_ok && !units_->any_writing());
  refresh_->setEnabled(ready_ && row != nullptr);
  revert_->setEnabled(row != nullptr && row->settings && dirty_);
  if (sim_remove_ != nullptr) sim_remove_->setEnabled(ready_ && row != nullptr);
  progress_->setVisible(units_->any_writing());
  update_check_status();
}

void MainWindow::update_band() {
  std::vector<BandUnit> lanes;
  for (const auto& row : units_->rows()) {
    if (!row.settings) continue;
    // The selected unit shows what the form would write, so a clash shows up while editing.
    const UiSettings s = row.key == selected_ && form_->loaded() ? form_->form() : *row.settings;
    lanes.push_back({row.key, QString::fromStdString(row.settings->unit_name), s.min_freq,
                     s.max_freq, s.channels});
  }
  band_->set_units(std::move(lanes));
}

void MainWindow::on_settings(const QString& key, const UiSettings& settings) {
  const UnitRow* row = units_->find(key);
  if (row == nullptr) return;
  const bool changed = !row->settings || *row->settings != settings;
  if (changed) log(tr("%1 reported settings").arg(key));
  units_->set_settings(key, settings);
  if (key == selected_ && changed) {
    if (!dirty_) {
      show_selected();
    } else {
      form_note_->setText(tr("The unit reported new settings; revert to see them."));
    }
  }
  update_band();
}

void MainWindow::on_stopped(const QString& key, const QString& reason) {
  log(tr("%1 stopped: %2").arg(key, reason));
  drafts_.remove(key);
  units_->remove(key);
  if (key == selected_) {
    // Removing a selected row does not emit selectionChanged, so move on to another unit here.
    selected_.clear();
    dirty_ = false;
    if (units_->rowCount() > 0) {
      select_unit(units_->rows().front().key);
    } else {
      show_selected();
    }
  }
  update_band();
}

void MainWindow::on_write_result(const QString& key, bool ok, const QString& message) {
  units_->set_write_result(key, ok, message);
  log(ok ? tr("write to %1 confirmed").arg(key) : tr("write to %1 failed: %2").arg(key, message));
  // Edits made while the unit was confirming are the user's newer wishes; keep them.
  if (key == selected_ && ok && !edited_since_write_) {
    dirty_ = false;
    drafts_.remove(key);
    show_selected();
  }
  update_actions();
}

void MainWindow::write_one() {
  if (selected_.isEmpty() || !form_->loaded()) return;
  units_->set_writing(selected_);
  edited_since_write_ = false;
  log(tr("writing to %1").arg(selected_));
  bridge_->write(selected_, form_->form(), keep_name_->isChecked(), keep_charge_->isChecked());
  update_actions();
}

void MainWindow::on_write_answered(const QString& key, const QStringList& problems) {
  if (problems.isEmpty()) {
    log(tr("write to %1 sent; waiting for the unit to confirm").arg(key));
    return;
  }
  units_->cancel_writing(key);
  log(tr("write to %1 refused: %2").arg(key, problems.join(QStringLiteral("; "))));
  if (key == selected_) show_problems(problems);
  update_actions();
}

void MainWindow::write_all() {
  if (!form_->loaded()) return;
  for (const auto& row : units_->rows()) {
    if (row.settings) units_->set_writing(row.key);
  }
  edited_since_write_ = false;
  log(tr("writing to all units"));
  bridge_->write_all(form_->form(), keep_charge_all_->isChecked());
  update_actions();
}

void MainWindow::on_write_all_answered(const std::vector<WriteAllFailure>& failures) {
  if (failures.empty()) {
    log(tr("write to all units sent; waiting for each unit to confirm"));
    return;
  }
  for (const auto& row : units_->rows()) units_->cancel_writing(row.key);
  QStringList lines;
  for (const auto& f : failures) {
    const QString who = f.key.isEmpty() ? QString()
                        : f.unit_name.isEmpty()
                            ? f.key + QStringLiteral(": ")
                            : QStringLiteral("%1 (%2): ").arg(f.key, f.unit_name);
    for (const auto& p : f.problems) lines << who + p;
  }
  log(tr("write to all units refused, nothing was written: %1")
          .arg(lines.join(QStringLiteral("; "))));
  show_problems(lines);
}

void MainWindow::add_simulated_unit() {
  const QString id = sim_id_->text().trimmed();
  QString error;
  if (id.isEmpty()) {
    error = tr("give the simulated unit an id");
  } else if (units_->find(id) != nullptr) {
    error = tr("a unit with the id %1 is already listed").arg(id);
  } else if (sim_low_->value() > sim_high_->value()) {
    error = tr("band low must not be above band high");
  }
  if (!error.isEmpty()) {
    log(tr("cannot add simulated unit: %1").arg(error));
    statusBar()->showMessage(error, 10000);
    return;
  }
  log(tr("adding simulated unit %1").arg(id));
  bridge_->add_simulated_unit(
      id, static_cast<quint32>(sim_serial_->value()), static_cast<quint32>(sim_low_->value()),
      static_cast<quint32>(sim_high_->value()), static_cast<quint32>(sim_channels_->value()));
  // Offer the next free id and serial, so adding several units takes one click each.
  int n = 3;
  while (units_->find(QStringLiteral("SIM%1").arg(n, 4, 10, QLatin1Char('0'))) != nullptr ||
         QStringLiteral("SIM%1").arg(n, 4, 10, QLatin1Char('0')) == id) {
    ++n;
  }
  sim_id_->setText(QStringLiteral("SIM%1").arg(n, 4, 10, QLatin1Char('0')));
  sim_serial_->setValue(sim_serial_->value() + 1);
}

void MainWindow::remove_simulated_unit() {
  if (selected_.isEmpty()) return;
  log(tr("removing simulated unit %1").arg(selected_));
  bridge_->remove_simulated_unit(selected_);
}

void MainWindow::show_port_problems(const QStringList& lines) {
  if (lines.isEmpty()) {
    if (port_banner_->isVisible()) log(tr("port problems cleared"));
    port_banner_->hide();
    return;
  }
  log(tr("port problems: %1").arg(lines.join(QStringLiteral("; "))));
  port_banner_->setText(port_banner_text(lines));
  port_banner_->show();
}

}  // namespace owl::desktop
