// The window's file side: the open show and its offline units, unit settings files, backups and
// undo, and writes that go to several units with their own settings (through the preview).
#include <QAction>
#include <QDesktopServices>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QInputDialog>
#include <QListWidget>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QSaveFile>
#include <QSettings>
#include <QStatusBar>
#include <QUrl>
#include <cstdlib>
#include <ctime>
#include <stdexcept>

#include "backup.hpp"
#include "settings_file.hpp"
#include "udev_rule.hpp"
#include "ui/main_window.hpp"
#include "ui/preview_dialog.hpp"
#include "ui/settings_form.hpp"
#include "ui/unit_list_model.hpp"
#include "ui_fields.hpp"
#include "user_error.hpp"

namespace owl::desktop {

namespace {

constexpr int RECENT_SHOWS = 8;
const QString RECENT_KEY = QStringLiteral("recent_shows");
const QString SHOW_FILTER = QObject::tr("Show files (*.json);;All files (*)");
const QString SETTINGS_FILTER = QObject::tr("Unit settings files (*.json);;All files (*)");
// Batch checks are numbered apart from the form's own checks, so their answers cannot mix.
constexpr quint64 BATCH_CHECK = quint64{1} << 63U;

// What a unit would hold after a write of `plan`: the fields the unit owns stay its own.
UiSettings for_unit(const UiSettings& plan, const UiSettings& unit) {
  return as_written(plan, unit, false, false);
}

}  // namespace

std::filesystem::path MainWindow::backup_folder() {
  return frontend::backup_root(std::getenv("XDG_DATA_HOME"), std::getenv("HOME"));
}

void MainWindow::say(const QString& text) {
  log(text);
  statusBar()->showMessage(text, 10000);
}

void MainWindow::update_title() {
  const QString program =
      simulator_ ? tr("OWL Configurator — simulator") : tr("OWL Configurator — hardware");
  if (!show_.is_open()) {
    setWindowTitle(program);
    setWindowModified(false);
    return;
  }
  setWindowTitle(QStringLiteral("%1[*] — %2").arg(show_.name(), program));
  setWindowModified(show_.modified());
}

// ---- opening, creating and saving ----

bool MainWindow::ask_save_show() {
  if (!show_.is_open() || !show_.modified()) return true;
  QMessageBox box(
      QMessageBox::Warning, tr("Unsaved show"),
      tr("The show \"%1\" has changes that are not saved. Save them first?").arg(show_.name()),
      QMessageBox::Save | QMessageBox::Discard | QMessageBox::Cancel, this);
  box.setObjectName(QStringLiteral("save_show_question"));
  box.setDefaultButton(QMessageBox::Save);
  const int answer = box.exec();
  if (answer == QMessageBox::Cancel) return false;
  return answer == QMessageBox::Discard || save_show();
}

void MainWindow::new_show() {
  if (!ask_save_show()) return;
  std::map<std::string, UiSettings> units;
  for (const auto& row : units_->rows()) {
    if (units_->present(row.key)) units[row.key.toStdString()] = *row.settings;
  }
  drop_show_rows();
  show_.create(tr("New show"), units);
  // Coordination fields set up before the show existed belong to it.
  coordination_edited();
  log(tr("new show with the %n connected unit(s)", nullptr, static_cast<int>(units.size())));
  show_changed();
}

void MainWindow::choose_show() {
  if (!ask_save_show()) return;
  const QString path = QFileDialog::getOpenFileName(this, tr("Open show"), {}, SHOW_FILTER);
  if (!path.isEmpty()) open_show(path);
}

bool MainWindow::open_show(const QString& path) {
  ShowDocument next;
  const QString refusal = next.load(path);
  if (!refusal.isEmpty()) {
    say(refusal);
    show_refusal_ = refusal;
    // Not modal: the refusal is also in the log and the status bar, and nothing waits on it.
    auto* box = new QMessageBox(QMessageBox::Warning, tr("Show not opened"), refusal,
                                QMessageBox::Ok, this);
    box->setObjectName(QStringLiteral("show_refused"));
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->open();
    return false;
  }
  show_refusal_.clear();
  drop_show_rows();
  show_ = std::move(next);
  remember_recent(show_.path());
  log(tr("opened show \"%1\" (%2) with %n unit(s)", nullptr, static_cast<int>(show_.keys().size()))
          .arg(show_.name(), show_.path()));
  show_changed();
  return true;
}

bool MainWindow::save_show(const QString& path) {
  if (!show_.is_open()) return false;
  if (path.isEmpty() && show_.path().isEmpty()) {
    choose_save_path();
    return !show_.modified();
  }
  // A value still being typed belongs in the file too.
  form_->commit_edit();
  const QString error = show_.save(path);
  if (!error.isEmpty()) {
    say(tr("show not saved: %1").arg(error));
    return false;
  }
  remember_recent(show_.path());
  say(tr("show saved to %1").arg(show_.path()));
  update_title();
  return true;
}

void MainWindow::choose_save_path() {
  if (!show_.is_open()) return;
  QString path = QFileDialog::getSaveFileName(this, tr("Save show as"), show_.path(), SHOW_FILTER);
  if (path.isEmpty()) return;
  if (QFileInfo(path).suffix().isEmpty()) path += QStringLiteral(".json");
  save_show(path);
}

void MainWindow::remember_recent(const QString& path) {
  QSettings settings;
  QStringList recent = settings.value(RECENT_KEY).toStringList();
  recent.removeAll(path);
  recent.prepend(path);
  while (recent.size() > RECENT_SHOWS) recent.removeLast();
  settings.setValue(RECENT_KEY, recent);
  update_recent_menu();
}

void MainWindow::update_recent_menu() {
  recent_menu_->clear();
  const QStringList recent = QSettings().value(RECENT_KEY).toStringList();
  for (int i = 0; i < recent.size(); ++i) {
    const QString& path = recent[i];
    // Numbered mnemonics, so the list is reachable from the keyboard.
    QAction* a = recent_menu_->addAction(QStringLiteral("&%1 %2").arg(i + 1).arg(path));
    connect(a, &QAction::triggered, this, [this, path] {
      if (ask_save_show()) open_show(path);
    });
  }
  recent_menu_->setEnabled(!recent.isEmpty());
}

// ---- the show's units in the list ----

void MainWindow::drop_show_rows() {
  for (const QString& key : show_.keys()) {
    const UnitRow* row = units_->find(key);
    if (row != nullptr && row->state == UnitState::Offline) drop_row(key);
    // The closed show's settings are no longer the plan for a connected unit.
    session_.drop_draft(key);
    units_->set_show_note(key, {});
  }
  adopt_pending_.clear();
}

void MainWindow::show_changed() {
  load_show_coordination();
  for (const QString& key : show_.keys()) {
    const UnitRow* row = units_->find(key);
    if (row == nullptr || row->state == UnitState::Offline) {
      units_->set_offline(key, *show_.unit(key));
      session_.drop_draft(key);
    } else if (units_->present(key)) {
      adopt_show_settings(key);
    } else {
      // Listed but not reporting yet: its first report takes the show's settings.
      adopt_pending_.insert(key);
    }
  }
  if (!user_selected_ || units_->find(session_.selected()) == nullptr) {
    if (units_->rowCount() > 0) select_row(units_->rows().front().key);
  }
  if (units_->find(session_.selected()) != nullptr) show_selected();
  update_show_notes();
  update_band();
  update_title();
  update_actions();
}

void MainWindow::adopt_show_settings(const QString& key) {
  adopt_pending_.remove(key);
  const UnitRow* row = units_->find(key);
  const auto planned = show_.unit(key);
  if (row == nullptr || !row->settings || !planned) return;
  const UiSettings plan = for_unit(*planned, *row->settings);
  if (plan == *row->settings) {
    session_.drop_draft(key);
  } else {
    // The show is the plan: its settings wait in the form as edits until they are written.
    session_.set_draft(key, plan);
    log(tr("%1 differs from the show; the show's settings are kept as edits").arg(key));
  }
  if (key == session_.selected()) show_selected();
}

QStringList MainWindow::differences() const {
  QStringList lines;
  const UnitRow* row = units_->find(session_.selected());
  const auto planned = show_.unit(session_.selected());
  if (row == nullptr || !row->settings || !planned || row->state == UnitState::Offline)
    return lines;
  for (const auto& c : changed_fields(*row->settings, for_unit(*planned, *row->settings)))
    lines << tr("%1: unit %2 → show %3").arg(c.label, c.old_text, c.new_text);
  return lines;
}

void MainWindow::update_show_notes() {
  for (const QString& key : show_.keys()) {
    const UnitRow* row = units_->find(key);
    if (row == nullptr) continue;
    QString note;
    if (row->state != UnitState::Offline && row->settings) {
      const auto n =
          changed_fields(*row->settings, for_unit(*show_.unit(key), *row->settings)).size();
      note = n == 0 ? tr("as in the show")
                    : tr("differs from the show: %n field(s)", nullptr, static_cast<int>(n));
    }
    units_->set_show_note(key, note);
  }
  differences_->clear();
  differences_->addItems(differences());
  differences_box_->setVisible(show_.is_open() && show_.contains(session_.selected()));
}

// The form changed the selected unit; a show unit's copy follows it.
void MainWindow::note_show_edit() {
  if (!show_.contains(session_.selected()) || !form_->loaded()) return;
  const UnitRow* row = units_->find(session_.selected());
  show_.set_unit(session_.selected(), form_->form());
  if (row != nullptr && row->state == UnitState::Offline)
    units_->set_offline(session_.selected(), form_->form());
  update_show_notes();
  update_title();
}

// ---- settings files ----

void MainWindow::import_settings() {
  const UnitRow* row = units_->find(session_.selected());
  if (row == nullptr || !row->settings || !form_->loaded()) return;
  const QString path =
      QFileDialog::getOpenFileName(this, tr("Import unit settings"), {}, SETTINGS_FILTER);
  if (path.isEmpty()) return;
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) {
    say(tr("cannot read %1: %2").arg(path, file.errorString()));
    return;
  }
  try {
    const auto read =
        frontend::settings_from_json_text(file.read(4 << 20).toStdString(), path.toStdString());
    form_->load(read.filled_from(form_->form()));
    log(tr("settings of %1 loaded into the form for %2; write them to apply")
            .arg(path, session_.selected()));
    form_edited();
  } catch (const frontend::UserError& e) {
    say(tr("not imported: %1").arg(QString::fromUtf8(e.what())));
  }
}

void MainWindow::export_settings() {
  if (!form_->loaded()) return;
  QString path =
      QFileDialog::getSaveFileName(this, tr("Export unit settings"),
                                   session_.selected() + QStringLiteral(".json"), SETTINGS_FILTER);
  if (path.isEmpty()) return;
  QSaveFile file(path);
  const std::string text = frontend::settings_to_json(form_->form()).dump(2) + "\n";
  if (!file.open(QIODevice::WriteOnly) ||
      file.write(text.data(), static_cast<qint64>(text.size())) < 0 || !file.commit()) {
    say(tr("cannot write %1: %2").arg(path, file.errorString()));
    return;
  }
  say(tr("the form of %1 saved to %2").arg(session_.selected(), path));
}

void MainWindow::show_hardware_guide() {
  const auto origin = frontend::program_origin(frontend::running_program_dir());
  const QString guide = QString::fromStdString(origin.guide.string());
  if (guide.isEmpty() || !QDesktopServices::openUrl(QUrl::fromLocalFile(guide)))
    say(tr("the hardware guide is at %1").arg(guide.isEmpty() ? tr("docs/hardware.md") : guide));
}

void MainWindow::show_about() {
  QMessageBox::about(this, tr("About OWL Configurator"),
                     tr("<b>OWL Configurator</b><br>Reads, checks and writes the settings of OWL "
                        "wireless audio receivers, one unit or a whole show at a time."));
}

// ---- writes through the preview ----

std::optional<std::vector<PreviewChoice>> MainWindow::preview(const QString& title,
                                                              const QString& intro,
                                                              std::vector<PreviewUnit> units) {
  PreviewDialog dialog(title, intro, std::move(units), this);
  if (dialog.exec() != QDialog::Accepted) {
    say(tr("%1: cancelled, nothing written").arg(title));
    return std::nullopt;
  }
  const QStringList same = dialog.unchanged_units();
  if (!same.isEmpty())
    log(tr("already as planned, not written: %1").arg(same.join(QStringLiteral(", "))));
  return dialog.selected();
}

bool MainWindow::backup_units(const QStringList& keys) {
  const auto root = backup_folder();
  try {
    if (root.empty()) throw std::runtime_error("neither XDG_DATA_HOME nor HOME is set");
    for (const auto& key : keys) {
      const UnitRow* row = units_->find(key);
      if (row == nullptr || !row->settings) continue;
      const auto path =
          frontend::write_backup(root, key.toStdString(), *row->settings, std::time(nullptr));
      log(tr("saved the settings of %1 to %2").arg(key, QString::fromStdString(path.string())));
    }
  } catch (const std::exception& e) {
    say(tr("nothing written: the backup failed: %1").arg(QString::fromUtf8(e.what())));
    return false;
  }
  show_backups();
  return true;
}

void MainWindow::write_show_to_units() {
  if (!write_show_action_->isEnabled() || !commit_edit()) return;
  std::vector<PreviewUnit> plan;
  QStringList missing;
  for (const QString& key : show_.keys()) {
    if (!units_->present(key)) {
      missing << key;
      continue;
    }
    const UiSettings& now = *units_->find(key)->settings;
    plan.push_back({key, now, for_unit(*show_.unit(key), now)});
  }
  if (!missing.isEmpty())
    log(tr("not connected, not written: %1").arg(missing.join(QStringLiteral(", "))));
  auto chosen = preview(tr("Write show to units"),
                        tr("These fields of the connected units will be written from the show. "
                           "Untick what should stay as it is. Nothing is written unless every "
                           "unit accepts its settings."),
                        std::move(plan));
  if (chosen) start_batch(tr("write show to units"), std::move(*chosen));
}

void MainWindow::undo_last_write() {
  const UnitRow* row = units_->find(session_.selected());
  if (!units_->present(session_.selected())) return;
  const auto backups = frontend::list_backups(backup_folder(), session_.selected().toStdString());
  if (backups.empty()) {
    say(tr("no backup of %1 to go back to").arg(session_.selected()));
    return;
  }
  try {
    const auto file = frontend::read_backup(backups.front().path);
    restore_settings(session_.selected(), file.for_unit(*row->settings),
                     tr("Undo last write to %1").arg(session_.selected()),
                     tr("The settings saved before the last write to this unit (%1) will be "
                        "written back. The settings it holds now are saved first, so this "
                        "can be undone too.")
                         .arg(QString::fromStdString(backups.front().path.string())));
  } catch (const std::exception& e) {
    say(tr("cannot undo: %1").arg(QString::fromUtf8(e.what())));
  }
}

void MainWindow::restore_settings(const QString& key, const UiSettings& saved, const QString& title,
                                  const QString& intro) {
  const UnitRow* row = units_->find(key);
  if (row == nullptr || !row->settings || !units_->present(key)) {
    say(tr("%1 is not connected; nothing written").arg(key));
    return;
  }
  if (units_->any_writing() || batch_) {
    say(tr("%1: wait until the writes under way are done").arg(title));
    return;
  }
  auto chosen = preview(title, intro, {{key, *row->settings, for_unit(saved, *row->settings)}});
  if (chosen) start_batch(title.toLower(), std::move(*chosen));
}

void MainWindow::start_batch(const QString& what, std::vector<PreviewChoice> choices) {
  if (choices.empty()) {
    say(tr("%1: nothing to write").arg(what));
    return;
  }
  // Every unit checks its own settings first; nothing is written unless all of them pass.
  batch_ = Batch{what, std::move(choices), {}, {}};
  for (const auto& c : batch_->choices) {
    const quint64 sequence = BATCH_CHECK | ++batch_sequence_;
    batch_->waiting.insert(sequence, c.key);
    units_->set_writing(c.key);
    bridge_->check(c.key, c.settings, sequence);
  }
  log(tr("%1: checking %n unit(s) before writing", nullptr,
         static_cast<int>(batch_->choices.size()))
          .arg(what));
  update_actions();
}

bool MainWindow::on_batch_checked(const QString& key, quint64 sequence,
                                  const QStringList& problems) {
  if ((sequence & BATCH_CHECK) == 0) return false;
  if (!batch_ || batch_->waiting.value(sequence) != key) return true;
  batch_->waiting.remove(sequence);
  for (const auto& p : problems) batch_->refusal << QStringLiteral("%1: %2").arg(key, p);
  if (!batch_->waiting.isEmpty()) return true;
  Batch done = std::move(*batch_);
  batch_.reset();
  finish_batch(done);
  return true;
}

void MainWindow::finish_batch(const Batch& done) {
  QStringList keys;
  for (const auto& c : done.choices) keys << c.key;
  for (const auto& key : keys) units_->cancel_writing(key);
  if (!done.refusal.isEmpty()) {
    log(tr("%1 refused, nothing was written: %2")
            .arg(done.what, done.refusal.join(QStringLiteral("; "))));
    write_all_refusal_ = done.refusal;
    show_problem_list();
    update_actions();
    return;
  }
  if (!backup_units(keys)) {
    update_actions();
    return;
  }
  for (const auto& c : done.choices) {
    // The form stays dirty when what is written is not all of it.
    session_.write_started(c.key, c.settings, !form_->loaded() || form_->form() == c.settings);
    units_->set_writing(c.key);
    bridge_->write(c.key, c.settings, false, false);
  }
  log(tr("%1: writing %n unit(s)", nullptr, static_cast<int>(keys.size())).arg(done.what));
  update_actions();
}

}  // namespace owl::desktop
