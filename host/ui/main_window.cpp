#include "ui/main_window.hpp"

#include <QAction>
#include <QCheckBox>
#include <QCloseEvent>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QLabel>
#include <QListWidget>
#include <QMenuBar>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QScrollArea>
#include <QSplitter>
#include <QStatusBar>
#include <QTableView>
#include <QTime>
#include <QVBoxLayout>
#include <algorithm>
#include <utility>

#include "udev_rule.hpp"
#include "ui/backups_panel.hpp"
#include "ui/band_view.hpp"
#include "ui/coordination_panel.hpp"
#include "ui/labels.hpp"
#include "ui/settings_form.hpp"
#include "ui/simulator_panel.hpp"
#include "ui/theme.hpp"
#include "ui/unit_list_model.hpp"
#include "ui_fields.hpp"

namespace owl::desktop {

namespace {

constexpr int CHECK_DELAY_MS = 300;

QString shortcut_text(const QAction* action) {
  return action->shortcut().toString(QKeySequence::NativeText);
}

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
  update_title();
  // The buttons take their words from the actions; the menus take the form's own actions.
  build_actions();
  build_layout();
  build_tool_windows();
  build_menus();
  wire();
  apply_theme();
  update_actions();
}

void MainWindow::build_layout() {
  port_banner_ = new QLabel;
  port_banner_->setObjectName(QStringLiteral("port_banner"));
  port_banner_->setWordWrap(true);
  port_banner_->hide();
  error_banner_ = new QLabel;
  error_banner_->setObjectName(QStringLiteral("error_banner"));
  error_banner_->setWordWrap(true);
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

  const QString band_title = tr("Band");
  auto* band_box = new QGroupBox(band_title);
  auto* band_layout = new QVBoxLayout(band_box);
  // With many units the lanes shrink to a readable minimum, then the band scrolls.
  band_scroll_ = new QScrollArea;
  band_scroll_->setObjectName(QStringLiteral("band_scroll"));
  band_scroll_->setWidgetResizable(true);
  band_scroll_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  band_scroll_->setWidget(band_);
  // The scroll area takes the focus, so that the arrow keys scroll the band.
  band_scroll_->setAccessibleName(band_title);
  band_layout->addWidget(band_scroll_);
  show_products_ = new QCheckBox(tr("Show intermodulation &products near carriers"));
  show_products_->setObjectName(QStringLiteral("show_products"));
  show_products_->setToolTip(
      tr("Draws the intermodulation products that land near a carrier; conflicts are marked "
         "either way"));
  band_layout->addWidget(show_products_);
  auto* log_box = new QGroupBox(tr("Event log"));
  auto* log_layout = new QVBoxLayout(log_box);
  log_layout->addWidget(log_);

  auto* vertical = new QSplitter(Qt::Vertical);
  vertical->addWidget(top);
  vertical->addWidget(band_box);
  vertical->addWidget(log_box);
  vertical->setSizes({540, 200, 120});

  auto* central = new QWidget;
  auto* layout = new QVBoxLayout(central);
  layout->addWidget(error_banner_);
  layout->addWidget(port_banner_);
  layout->addWidget(vertical, 1);
  setCentralWidget(central);
  resize(1400, 900);
}

// Every connection of the window in one place: what each signal sets off.
void MainWindow::wire() {
  const std::pair<QAction*, void (MainWindow::*)()> actions[] = {
      {new_show_action_, &MainWindow::new_show},
      {open_show_action_, &MainWindow::choose_show},
      {save_show_action_, &MainWindow::save_current_show},
      {save_show_as_action_, &MainWindow::choose_save_path},
      {import_action_, &MainWindow::import_settings},
      {export_action_, &MainWindow::export_settings},
      {write_action_, &MainWindow::write_one},
      {write_all_action_, &MainWindow::write_all},
      {write_show_action_, &MainWindow::write_show_to_units},
      {refresh_action_, &MainWindow::refresh_selected},
      {forget_action_, &MainWindow::forget_gone_unit},
      {undo_action_, &MainWindow::undo_last_write},
      {revert_action_, &MainWindow::revert},
      {guide_action_, &MainWindow::show_hardware_guide},
      {about_action_, &MainWindow::show_about},
      {forget_key_, &MainWindow::forget_gone_unit},
  };
  for (const auto& [action, slot] : actions) connect(action, &QAction::triggered, this, slot);
  connect(quit_action_, &QAction::triggered, this, &QWidget::close);
  const std::pair<QPushButton*, void (MainWindow::*)()> buttons[] = {
      {refresh_, &MainWindow::refresh_selected},
      {forget_, &MainWindow::forget_gone_unit},
      {write_, &MainWindow::write_one},
      {write_all_, &MainWindow::write_all},
      {revert_, &MainWindow::revert},
  };
  for (const auto& [button, slot] : buttons) connect(button, &QPushButton::clicked, this, slot);
  if (sim_panel_ != nullptr) {
    connect(sim_panel_, &SimulatorPanel::add_requested, this, &MainWindow::add_simulated_unit);
    connect(sim_panel_, &SimulatorPanel::remove_requested, this,
            &MainWindow::remove_simulated_unit);
    connect(sim_panel_, &SimulatorPanel::refused, this, [this](const QString& why) {
      log(tr("cannot add simulated unit: %1").arg(why));
      statusBar()->showMessage(why, 10000);
    });
  }

  connect(unit_table_->selectionModel(), &QItemSelectionModel::selectionChanged, this,
          &MainWindow::selection_changed);
  connect(form_, &SettingsForm::edited, this, &MainWindow::form_edited);
  coord_check_.setSingleShot(true);
  coord_check_.setInterval(0);
  connect(&coord_check_, &QTimer::timeout, this, [this] { coord_panel_->set_units(on_screen_); });
  check_timer_.setSingleShot(true);
  check_timer_.setInterval(CHECK_DELAY_MS);
  connect(&check_timer_, &QTimer::timeout, this, &MainWindow::run_check);
  connect(units_, &QAbstractItemModel::dataChanged, this, &MainWindow::update_actions);
  connect(units_, &QAbstractItemModel::rowsRemoved, this, &MainWindow::update_actions);
  connect(units_, &QAbstractItemModel::rowsInserted, this, &MainWindow::list_for_simulator);
  connect(units_, &QAbstractItemModel::rowsRemoved, this, &MainWindow::list_for_simulator);

  connect(bridge_, &EngineBridge::ready, this, &MainWindow::on_ready);
  connect(bridge_, &EngineBridge::failed, this, &MainWindow::on_failed);
  connect(bridge_, &EngineBridge::announced, this, &MainWindow::on_announced);
  connect(bridge_, &EngineBridge::stopped, this, &MainWindow::on_stopped);
  connect(bridge_, &EngineBridge::settings_reported, this, &MainWindow::on_settings);
  connect(bridge_, &EngineBridge::identity_reported, this, &MainWindow::on_identity);
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
  wire_tool_windows();
}

void MainWindow::on_ready() {
  ready_ = true;
  form_->set_options(bridge_->options());
  backups_panel_->setOptions(bridge_->options());
  log(simulator_ ? tr("engine started with simulated units")
                 : tr("engine started; looking for units on USB serial ports"));
  update_actions();
}

void MainWindow::on_failed(const QString& message) {
  log(tr("error: %1").arg(message));
  if (!ready_) {
    error_banner_->setText(message);
    error_banner_->show();
  }
  statusBar()->showMessage(message, 10000);
}

void MainWindow::on_announced(const QString& key, const QString& label) {
  const UnitRow* known = units_->find(key);
  const bool returning = known != nullptr && known->state != UnitState::Offline;
  // A unit of the show connects: its first report is compared with the show.
  if (show_.contains(key)) adopt_pending_.insert(key);
  units_->announce(key, label);
  log(tr("%1 connected (%2)").arg(key, label));
  // The refusal was about the units as they were; with one more, try again.
  clear_write_all_refusal();
  if (returning && session_.has_draft(key))
    log(tr("%1 is back; your edits for it are kept").arg(key));
  select_first_unit();
  if (returning && key == session_.selected()) show_selected();
  update_band();
}

void MainWindow::on_identity(const QString& key, const QString& text) {
  const UnitRow* row = units_->find(key);
  if (row != nullptr && row->identity != text) log(tr("%1 identifies as %2").arg(key, text));
  units_->set_identity(key, text);
}

void MainWindow::refresh_selected() {
  if (!refresh_->isEnabled()) return;
  log(tr("asking %1 to report again").arg(session_.selected()));
  bridge_->refresh(session_.selected());
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
  // Arrow keys move between units; Tab moves on to the next panel.
  unit_table_->setTabKeyNavigation(false);
  unit_table_->setAccessibleName(tr("Units"));
  unit_table_->verticalHeader()->hide();
  unit_table_->horizontalHeader()->setStretchLastSection(true);
  unit_table_->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);

  refresh_ = new QPushButton(refresh_action_->text());
  refresh_->setObjectName(QStringLiteral("refresh"));
  refresh_->setToolTip(tr("Ask the selected unit to report its settings again (%1)")
                           .arg(shortcut_text(refresh_action_)));
  forget_ = new QPushButton(forget_action_->text());
  forget_->setObjectName(QStringLiteral("forget"));
  forget_->setAccessibleName(tr("Forget gone unit"));
  forget_->setToolTip(
      tr("Take the selected unit, which went away during a write, off the list "
         "(Delete in the unit list)"));
  // Delete in the unit list forgets a gone row; elsewhere Delete stays the fields' own key.
  forget_key_ = new QAction(unit_table_);
  forget_key_->setShortcut(QKeySequence(Qt::Key_Delete));
  forget_key_->setShortcutContext(Qt::WidgetShortcut);
  unit_table_->addAction(forget_key_);

  auto* panel = new QWidget;
  auto* layout = new QVBoxLayout(panel);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->addWidget(new QLabel(tr("<b>Units</b>")));
  layout->addWidget(unit_table_, 1);
  auto* unit_buttons = new QHBoxLayout;
  unit_buttons->addWidget(refresh_);
  unit_buttons->addWidget(forget_);
  layout->addLayout(unit_buttons);
  if (simulator_) {
    sim_panel_ = new SimulatorPanel;
    layout->addWidget(sim_panel_);
  }
  return panel;
}

QWidget* MainWindow::build_write_panel() {
  problem_list_ = new QListWidget;
  problem_list_->setObjectName(QStringLiteral("problems"));
  problem_list_->setWordWrap(true);
  form_note_ = new QLabel;
  form_note_->setObjectName(QStringLiteral("form_note"));
  form_note_->setWordWrap(true);
  // Room for the longest note, so that its coming and going moves nothing.
  form_note_->setMinimumHeight(2 * form_note_->fontMetrics().lineSpacing());
  form_note_->setAlignment(Qt::AlignLeft | Qt::AlignTop);

  keep_name_ = new QCheckBox(tr("Keep the unit's name"));
  keep_name_->setObjectName(QStringLiteral("keep_name"));
  keep_charge_ = new QCheckBox(tr("Keep the unit's charge mode"));
  keep_charge_->setObjectName(QStringLiteral("keep_charge"));
  write_ = new QPushButton(write_action_->text());
  write_->setObjectName(QStringLiteral("write"));
  write_->setToolTip(
      tr("Write this form to the selected unit (%1)").arg(shortcut_text(write_action_)));

  keep_charge_all_ = new QCheckBox(tr("Keep each unit's charge mode"));
  keep_charge_all_->setObjectName(QStringLiteral("keep_charge_all"));
  write_all_ = new QPushButton(write_all_action_->text());
  write_all_->setObjectName(QStringLiteral("write_all"));
  write_all_->setToolTip(tr("Writes this form to every unit; each unit keeps its own name. "
                            "Nothing is written unless every unit accepts it (%1).")
                             .arg(shortcut_text(write_all_action_)));
  form_->keep_editor_open_for(write_);
  form_->keep_editor_open_for(write_all_);

  revert_ = new QPushButton(revert_action_->text());
  revert_->setObjectName(QStringLiteral("revert"));
  revert_->setToolTip(
      tr("Throw away your edits of this unit (%1)").arg(shortcut_text(revert_action_)));

  auto* one = new QGroupBox(tr("This unit"));
  auto* one_layout = new QVBoxLayout(one);
  one_layout->addWidget(keep_name_);
  one_layout->addWidget(keep_charge_);
  one_layout->addWidget(write_);
  auto* all = new QGroupBox(tr("All units"));
  auto* all_layout = new QVBoxLayout(all);
  all_layout->addWidget(keep_charge_all_);
  all_layout->addWidget(write_all_);

  differences_ = new QListWidget;
  differences_->setObjectName(QStringLiteral("differences"));
  differences_->setAccessibleName(tr("Differences from the show"));
  differences_->setWordWrap(true);
  differences_box_ = new QGroupBox(tr("Differences from the show"));
  auto* differences_layout = new QVBoxLayout(differences_box_);
  differences_layout->addWidget(differences_);
  differences_box_->hide();

  auto* panel = new QWidget;
  auto* layout = new QVBoxLayout(panel);
  layout->setContentsMargins(0, 0, 0, 0);
  check_status_ = new QLabel;
  check_status_->setObjectName(QStringLiteral("check_status"));
  check_status_->setMinimumHeight(check_status_->fontMetrics().lineSpacing());
  problem_list_->setAccessibleName(tr("Problems"));
  layout->addWidget(new QLabel(tr("<b>Problems</b>")));
  layout->addWidget(check_status_);
  layout->addWidget(problem_list_, 1);
  layout->addWidget(differences_box_, 1);
  layout->addWidget(form_note_);
  layout->addWidget(one);
  layout->addWidget(all);
  layout->addWidget(revert_);
  layout->addLayout(build_progress_row());
  return panel;
}

QLayout* MainWindow::build_progress_row() {
  // A busy bar draws no text in most styles, so the words sit in a label beside it. Both keep
  // their space while hidden, so that nothing below them moves under the pointer.
  progress_ = new QProgressBar;
  progress_->setObjectName(QStringLiteral("write_progress"));
  progress_->setRange(0, 0);
  progress_->setTextVisible(false);
  progress_->setAccessibleName(tr("Write in progress"));
  progress_text_ = new QLabel(tr("Confirming write…"));
  progress_text_->setObjectName(QStringLiteral("write_progress_text"));
  for (QWidget* w : {static_cast<QWidget*>(progress_), static_cast<QWidget*>(progress_text_)}) {
    QSizePolicy policy = w->sizePolicy();
    policy.setRetainSizeWhenHidden(true);
    w->setSizePolicy(policy);
    w->hide();
  }

  auto* row = new QHBoxLayout;
  row->addWidget(progress_text_);
  row->addWidget(progress_, 1);
  return row;
}

void MainWindow::apply_theme() {
  const Theme t = theme_for(palette());
  port_banner_->setStyleSheet(banner_style(t.warn_background, t.warn_text, t.warn_border));
  error_banner_->setStyleSheet(banner_style(t.error_background, t.error_text, t.error_border));
  QPalette note = form_->palette();
  note.setColor(QPalette::WindowText, t.problem);
  form_->findChild<QLabel*>(QStringLiteral("frequency_note"))->setPalette(note);
  show_problem_list();
  update_check_status();
}

void MainWindow::changeEvent(QEvent* event) {
  QMainWindow::changeEvent(event);
  if (event->type() == QEvent::PaletteChange && port_banner_ != nullptr) apply_theme();
}

QStringList MainWindow::unsaved_units() const {
  return session_.unsaved(form_->loaded() ? std::optional(form_->form()) : std::nullopt);
}

void MainWindow::closeEvent(QCloseEvent* event) {
  // A value still being typed is an edit too; a refused one cannot be kept anyway.
  form_->commit_edit();
  if (!ask_save_show()) {
    event->ignore();
    return;
  }
  const QStringList keys = unsaved_units();
  if (keys.isEmpty()) {
    event->accept();
    return;
  }
  QMessageBox box(QMessageBox::Warning, tr("Unsaved edits"),
                  tr("Your edits of %1 have not been written. Close and lose them?")
                      .arg(keys.join(QStringLiteral(", "))),
                  QMessageBox::Discard | QMessageBox::Cancel, this);
  box.setObjectName(QStringLiteral("unsaved_question"));
  box.setDefaultButton(QMessageBox::Cancel);
  box.button(QMessageBox::Discard)->setText(tr("&Discard edits and close"));
  if (box.exec() == QMessageBox::Discard) {
    event->accept();
  } else {
    event->ignore();
  }
}

void MainWindow::log(const QString& text) {
  log_->appendPlainText(QTime::currentTime().toString(QStringLiteral("HH:mm:ss.zzz  ")) + text);
}

void MainWindow::select_unit(const QString& key) {
  user_selected_ = true;
  select_row(key);
}

void MainWindow::select_row(const QString& key) {
  const int row = units_->row_of(key);
  if (row < 0) return;
  selecting_ = true;
  unit_table_->selectionModel()->select(
      units_->index(row, 0), QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
  unit_table_->setCurrentIndex(units_->index(row, 0));
  selecting_ = false;
}

void MainWindow::select_first_unit() {
  // Units announce in whatever order they answer; until the user picks one, show the first.
  if (user_selected_ || units_->rowCount() == 0) return;
  const QString first = units_->rows().front().key;
  if (first != session_.selected() && !(session_.dirty() && form_->loaded())) select_row(first);
}

void MainWindow::revert() {
  if (!revert_->isEnabled()) return;
  session_.drop_draft(session_.selected());
  show_selected();
  // The show's copy of a unit follows its form.
  note_show_edit();
}

void MainWindow::selection_changed() {
  const QModelIndexList rows = unit_table_->selectionModel()->selectedRows();
  const QString key =
      rows.isEmpty()
          ? QString()
          : units_->data(units_->index(rows.first().row(), UnitListModel::KeyColumn)).toString();
  if (key == session_.selected()) return;
  if (!selecting_) user_selected_ = true;
  clear_write_all_refusal();
  session_.select(key, form_->loaded() ? std::optional(form_->form()) : std::nullopt);
  show_selected();
}

void MainWindow::show_selected() {
  cancel_waiting_write(tr("the form was loaded again"));
  check_timer_.stop();
  session_.reloaded();
  form_note_->clear();
  band_->set_selected(session_.selected());
  show_backups();
  const UnitRow* row = units_->find(session_.selected());
  if (row == nullptr || !row->settings) {
    form_->clear();
    show_problems({});
    update_actions();
    return;
  }
  form_->load(session_.dirty() ? session_.draft(session_.selected()) : *row->settings);
  if (row->state == UnitState::Offline) {
    form_note_->setText(tr("Not connected: your edits go into the show."));
  } else if (row->state == UnitState::Gone) {
    form_note_->setText(tr("This unit went away; your edits are kept for when it is back."));
  } else if (session_.dirty()) {
    form_note_->setText(show_.contains(session_.selected())
                            ? tr("Showing the show's settings; they are not written to this unit "
                                 "yet.")
                            : tr("Showing your unsaved edits for this unit."));
  }
  session_.expect_check();
  run_check();
  update_band();
  update_actions();
}

void MainWindow::form_edited() {
  cancel_waiting_write(tr("the form was edited again"));
  session_.edited();
  clear_write_all_refusal();
  check_timer_.start();
  note_show_edit();
  update_actions();
  update_band();
}

void MainWindow::run_check() {
  if (session_.selected().isEmpty() || !form_->loaded() || !ready_ ||
      !units_->present(session_.selected())) {
    // A unit that is not there cannot judge the form; it is checked when it reports again.
    cancel_waiting_write(tr("the unit is not there to check the form"));
    session_.no_check();
    show_problems({});
    return;
  }
  bridge_->check(session_.selected(), form_->form(), session_.next_check());
}

void MainWindow::on_checked(const QString& key, quint64 sequence, const QStringList& problems) {
  if (on_batch_checked(key, sequence, problems)) return;
  const auto answered = session_.check_answered(key, sequence);
  if (!answered) return;
  const WriteRequest waiting = *answered;
  show_problems(problems);
  if (waiting == WriteRequest::None) return;
  statusBar()->clearMessage();
  // A cell typed into meanwhile is an edit after the request: committing it cancels the write.
  session_.wait(waiting);
  const bool committed = commit_edit();
  if (!session_.cancel_waiting() || !committed) {
    update_check_status();
    return;
  }
  // Only now do the buttons say whether this checked form may be written.
  const bool one = waiting == WriteRequest::One;
  if ((one ? write_ : write_all_)->isEnabled()) {
    one ? start_write_one() : start_write_all();
    return;
  }
  const QString text = problems.isEmpty()
                           ? tr("nothing written: the write cannot start now; try again")
                           : tr("nothing written: the check found problems with the form");
  log(text);
  statusBar()->showMessage(text, 10000);
}

void MainWindow::request_write(WriteRequest what) {
  if (!(what == WriteRequest::One ? write_ : write_all_)->isEnabled()) return;
  // A newer request replaces a waiting one without a word.
  session_.cancel_waiting();
  if (!commit_edit()) return;
  if (!session_.check_pending()) {
    // The buttons are enabled while checking or with no problems; a commit that changed
    // nothing leaves it that way.
    if (!problems_.isEmpty()) return;
    what == WriteRequest::One ? start_write_one() : start_write_all();
    return;
  }
  session_.wait(what);
  // The user is done typing: check now instead of after the pause.
  if (check_timer_.isActive()) {
    check_timer_.stop();
    run_check();
  }
  statusBar()->showMessage(what == WriteRequest::One
                               ? tr("checking… the write to %1 follows if there are no problems")
                                     .arg(session_.selected())
                               : tr("checking… the write to all units follows if there are no "
                                    "problems"));
  update_check_status();
}

void MainWindow::cancel_waiting_write(const QString& why) {
  if (!session_.cancel_waiting()) return;
  const QString text = tr("write cancelled before it started: %1").arg(why);
  log(text);
  statusBar()->showMessage(text, 10000);
}

void MainWindow::show_problems(const QStringList& problems) {
  problems_ = problems;
  show_problem_list();
  update_actions();
}

void MainWindow::show_problem_list() {
  const Theme theme = theme_for(palette());
  problem_list_->clear();
  for (const auto& p : problems_) {
    auto* item = new QListWidgetItem(p, problem_list_);
    item->setForeground(theme.problem);
  }
  if (write_all_refusal_.isEmpty()) return;
  // Another unit's refusal is not this unit's problem: shown under its own heading.
  auto* heading = new QListWidgetItem(tr("Write to all units was refused; nothing was written:"),
                                      problem_list_);
  QFont bold = problem_list_->font();
  bold.setBold(true);
  heading->setFont(bold);
  for (const auto& p : write_all_refusal_) {
    auto* item = new QListWidgetItem(p, problem_list_);
    item->setForeground(theme.problem);
  }
}

void MainWindow::clear_write_all_refusal() {
  if (write_all_refusal_.isEmpty()) return;
  write_all_refusal_.clear();
  show_problem_list();
  update_actions();
}

void MainWindow::update_check_status() {
  if (!form_->loaded()) {
    check_status_->clear();
  } else if (session_.check_pending() && session_.waiting() == WriteRequest::One) {
    check_status_->setText(tr("Checking… then writing to this unit"));
  } else if (session_.check_pending() && session_.waiting() == WriteRequest::All) {
    check_status_->setText(tr("Checking… then writing to all units"));
  } else if (session_.check_pending()) {
    check_status_->setText(tr("Checking…"));
  } else if (problems_.isEmpty()) {
    check_status_->setText(tr("<span style='color:%1'>✔ No problems: ready to write</span>")
                               .arg(theme_for(palette()).ok.name()));
  } else {
    const QString text = problems_.size() == 1
                             ? tr("1 problem: fix it to write")
                             : tr("%1 problems: fix them to write").arg(problems_.size());
    check_status_->setText(QStringLiteral("<span style='color:%1'>%2</span>")
                               .arg(theme_for(palette()).problem.name(), text));
  }
}

void MainWindow::update_actions() {
  const UnitRow* row = units_->find(session_.selected());
  const bool present = units_->present(session_.selected());
  // While the check runs a write may be asked for; it waits for the answer.
  const bool form_ok =
      ready_ && present && form_->loaded() && (session_.check_pending() || problems_.isEmpty());
  const bool gone = row != nullptr && row->state == UnitState::Gone;
  write_->setEnabled(form_ok && row->state != UnitState::Writing);
  write_all_->setEnabled(form_ok && !units_->any_writing() && write_all_refusal_.isEmpty());
  refresh_->setEnabled(ready_ && present);
  revert_->setEnabled(row != nullptr && row->settings && session_.dirty());
  forget_->setEnabled(gone);
  forget_action_->setEnabled(gone);
  if (sim_panel_ != nullptr) sim_panel_->set_remove_enabled(ready_ && (present || gone));
  const bool show_open = show_.is_open();
  save_show_action_->setEnabled(show_open);
  save_show_as_action_->setEnabled(show_open);
  const QStringList show_keys = show_.keys();
  write_show_action_->setEnabled(
      ready_ && !units_->any_writing() && !batch_ &&
      std::any_of(show_keys.begin(), show_keys.end(),
                  [this](const QString& k) { return units_->present(k); }));
  undo_action_->setEnabled(ready_ && present && row->state != UnitState::Writing && !batch_);
  import_action_->setEnabled(form_->loaded());
  export_action_->setEnabled(form_->loaded());
  write_action_->setEnabled(write_->isEnabled());
  write_all_action_->setEnabled(write_all_->isEnabled());
  refresh_action_->setEnabled(refresh_->isEnabled());
  revert_action_->setEnabled(revert_->isEnabled());
  const bool writing = units_->any_writing();
  progress_->setVisible(writing);
  progress_text_->setVisible(writing);
  update_check_status();
}

void MainWindow::update_band() {
  std::vector<BandUnit> lanes;
  on_screen_.clear();
  for (const auto& row : units_->rows()) {
    if (!row.settings || row.state == UnitState::Gone) continue;
    // The selected unit shows what the form would write and the others their kept edits, so a
    // clash shows up while editing.
    const UiSettings s = row.key == session_.selected() && form_->loaded() ? form_->form()
                         : session_.has_draft(row.key)                     ? session_.draft(row.key)
                                                                           : *row.settings;
    lanes.push_back({row.key, QString::fromStdString(row.settings->unit_name), s.min_freq,
                     s.max_freq, s.channels});
    on_screen_[row.key.toStdString()] = s;
  }
  band_->set_units(std::move(lanes));
  // Checked as typed, once per pass of the event loop: opening a show changes every row.
  coord_check_.start();
}

void MainWindow::on_settings(const QString& key, const UiSettings& settings) {
  const UnitRow* row = units_->find(key);
  if (row == nullptr) return;
  const bool changed = !row->settings || *row->settings != settings;
  const bool was_present = units_->present(key);
  if (changed) log(tr("%1 reported settings").arg(key));
  units_->set_settings(key, settings);
  if (key == session_.selected()) show_backups();
  // A show's unit connecting: the form now holds the show's settings, checked already.
  const bool adopted = adopt_pending_.contains(key);
  if (adopted) adopt_show_settings(key);
  if (key == session_.selected() && !was_present && session_.dirty() && !adopted) {
    // Back after going away: the kept edits are checked against the unit again.
    session_.expect_check();
    run_check();
  }
  if (key == session_.selected() && changed && !adopted) {
    if (!session_.dirty()) {
      show_selected();
    } else {
      form_note_->setText(tr("The unit reported new settings; revert to see them."));
    }
  }
  update_show_notes();
  update_band();
}

void MainWindow::on_stopped(const QString& key, const QString& reason) {
  const UnitRow* row = units_->find(key);
  if (row == nullptr) return;
  log(tr("%1 stopped: %2").arg(key, reason_text(reason)));
  // The unit that refused may be the one that went.
  clear_write_all_refusal();
  // Edits are kept under the unit's key: a unit that comes back gets them again.
  const bool writing = row->state == UnitState::Writing;
  session_.unit_stopped(key, writing,
                        form_->loaded() ? std::optional(form_->form()) : std::nullopt);
  if (writing) {
    units_->set_gone(key);
    log(tr("the write to %1 was not confirmed: the unit may hold the old or the new settings. "
           "Your edits are kept; write them again when it is back.")
            .arg(key));
    if (key == session_.selected()) show_selected();
    update_band();
    update_actions();
    return;
  }
  if (show_.contains(key)) {
    // A show's unit stays listed, offline again, with the show's settings to edit.
    adopt_pending_.remove(key);
    session_.drop_draft(key);
    units_->set_offline(key, *show_.unit(key));
    if (key == session_.selected()) show_selected();
    update_show_notes();
    update_band();
    update_actions();
    return;
  }
  drop_row(key);
}

void MainWindow::drop_row(const QString& key) {
  units_->remove(key);
  if (key == session_.selected()) {
    // Removing a selected row does not emit selectionChanged, so move on to another unit here.
    session_.select({}, std::nullopt);
    if (units_->rowCount() > 0) {
      select_row(units_->rows().front().key);
    } else {
      show_selected();
    }
  }
  update_band();
  update_actions();
}

void MainWindow::forget_gone_unit() {
  const UnitRow* row = units_->find(session_.selected());
  if (row == nullptr || row->state != UnitState::Gone) return;
  const QString key = session_.selected();
  if (session_.has_draft(key) || session_.dirty()) {
    QMessageBox box(
        QMessageBox::Warning, tr("Forget gone unit"),
        tr("Your edits of %1 have not been written. Forget the unit and lose them?").arg(key),
        QMessageBox::Discard | QMessageBox::Cancel, this);
    box.setObjectName(QStringLiteral("forget_question"));
    box.setDefaultButton(QMessageBox::Cancel);
    box.button(QMessageBox::Discard)->setText(tr("&Discard edits and forget"));
    if (box.exec() != QMessageBox::Discard) return;
  }
  // Nothing of it is kept: a unit that reports with this key later is a new unit.
  session_.forget(key);
  log(tr("%1 forgotten").arg(key));
  drop_row(key);
}

void MainWindow::on_write_result(const QString& key, bool ok, const QString& message) {
  const bool clean = session_.write_done(key, ok);
  units_->set_write_result(key, ok, message);
  log(ok ? tr("write to %1 confirmed").arg(key) : tr("write to %1 failed: %2").arg(key, message));
  if (clean) show_selected();
  update_actions();
}

bool MainWindow::commit_edit() {
  const QString refused = form_->commit_edit();
  if (refused.isEmpty()) return true;
  const QString text = tr("nothing written: %1").arg(refused);
  log(text);
  statusBar()->showMessage(text, 10000);
  return false;
}

void MainWindow::write_one() {
  request_write(WriteRequest::One);
}

void MainWindow::write_all() {
  request_write(WriteRequest::All);
}

void MainWindow::start_write_one() {
  if (!backup_units({session_.selected()})) return;
  session_.write_started(session_.selected(), form_->form(), true);
  units_->set_writing(session_.selected());
  log(tr("writing to %1").arg(session_.selected()));
  bridge_->write(session_.selected(), form_->form(), keep_name_->isChecked(),
                 keep_charge_->isChecked());
  update_actions();
}

void MainWindow::on_write_answered(const QString& key, const QStringList& problems) {
  if (problems.isEmpty()) {
    log(tr("write to %1 sent; waiting for the unit to confirm").arg(key));
    return;
  }
  units_->cancel_writing(key);
  session_.write_refused(key);
  log(tr("write to %1 refused: %2").arg(key, problems.join(QStringLiteral("; "))));
  if (key == session_.selected()) show_problems(problems);
  update_actions();
}

void MainWindow::start_write_all() {
  const UiSettings form = form_->form();
  std::vector<PreviewUnit> plan;
  for (const auto& row : units_->rows()) {
    if (!units_->present(row.key)) continue;
    // What this unit would hold after the write: the form, with its own name and identity.
    plan.push_back({row.key, *row.settings,
                    as_written(form, *row.settings, true, keep_charge_all_->isChecked())});
  }
  const auto changing = std::count_if(plan.begin(), plan.end(), [](const PreviewUnit& u) {
    return !changed_fields(u.old_settings, u.new_settings).empty();
  });
  if (changing == 0) {
    say(tr("every unit already holds this form; nothing written"));
    return;
  }
  const auto chosen = preview(tr("Write to all units"),
                              tr("Every unit gets this form and keeps its own name. Untick what "
                                 "should stay as it is in a unit, or use \"Apply only these "
                                 "fields to all\". Nothing is written unless every unit accepts."),
                              plan);
  if (!chosen) return;
  const bool whole = static_cast<long>(chosen->size()) == changing &&
                     std::all_of(chosen->begin(), chosen->end(), [&](const PreviewChoice& c) {
                       return std::any_of(plan.begin(), plan.end(), [&](const PreviewUnit& u) {
                         return u.key == c.key && u.new_settings == c.settings;
                       });
                     });
  // Only some fields or units: each unit gets its own settings, still all or nothing.
  if (!whole) return start_batch(tr("write to all units"), *chosen);
  QStringList keys;
  for (const auto& u : plan) keys << u.key;
  if (!backup_units(keys)) return;
  for (const auto& u : plan) {
    // Each unit keeps its own name, so the form is not what is written; it is cleared all the same.
    session_.write_started(u.key, u.new_settings, true);
    units_->set_writing(u.key);
  }
  log(tr("writing to all units"));
  bridge_->write_all(form, keep_charge_all_->isChecked());
  update_actions();
}

void MainWindow::on_write_all_answered(const std::vector<WriteAllFailure>& failures) {
  if (failures.empty()) {
    log(tr("write to all units sent; waiting for each unit to confirm"));
    return;
  }
  for (const auto& row : units_->rows()) units_->cancel_writing(row.key);
  session_.writes_refused();
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
  write_all_refusal_ = lines;
  show_problem_list();
  update_actions();
}

void MainWindow::add_simulated_unit(const SimulatedUnitRequest& unit) {
  log(tr("adding simulated unit %1").arg(unit.id));
  bridge_->add_simulated_unit(unit.id, unit.serial, unit.band_low_khz, unit.band_high_khz,
                              unit.channels);
}

void MainWindow::list_for_simulator() {
  if (sim_panel_ == nullptr) return;
  QStringList keys;
  for (const auto& row : units_->rows()) keys << row.key;
  sim_panel_->set_listed(keys);
}

void MainWindow::remove_simulated_unit() {
  if (session_.selected().isEmpty()) return;
  const UnitRow* row = units_->find(session_.selected());
  if (row != nullptr && row->state == UnitState::Gone) {
    // The simulator has no such unit any more; only the row is left to take away.
    forget_gone_unit();
    return;
  }
  log(tr("removing simulated unit %1").arg(session_.selected()));
  bridge_->remove_simulated_unit(session_.selected());
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
