// The window's two tool windows, coordination and backups, and what they set off: the conflict
// count in the status bar, carriers picked in the band, the planner's proposal through the
// preview, and restoring a backup.
#include <QAction>
#include <QCheckBox>
#include <QDialog>
#include <QDialogButtonBox>
#include <QPushButton>
#include <QStatusBar>
#include <QVBoxLayout>
#include <algorithm>

#include "ui/backups_panel.hpp"
#include "ui/band_view.hpp"
#include "ui/coordination_panel.hpp"
#include "ui/main_window.hpp"
#include "ui/settings_form.hpp"
#include "ui/unit_list_model.hpp"

namespace owl::desktop {

namespace {

// A window of its own beside the main one: it has room for its fields, and its mnemonics do not
// compete with the main window's. Escape or Close hides it; it keeps its state.
QWidget* tool_window(QWidget* parent, QWidget* content, const QString& title, const char* name) {
  auto* window = new QDialog(parent);
  window->setObjectName(QString::fromLatin1(name));
  window->setWindowTitle(title);
  auto* layout = new QVBoxLayout(window);
  layout->addWidget(content, 1);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close);
  QObject::connect(buttons, &QDialogButtonBox::rejected, window, &QDialog::hide);
  layout->addWidget(buttons);
  return window;
}

}  // namespace

void MainWindow::build_tool_windows() {
  coord_panel_ = new CoordinationPanel;
  coord_panel_->setObjectName(QStringLiteral("coordination_panel"));
  coord_window_ = tool_window(this, coord_panel_, tr("Coordination"), "coordination_window");
  coord_window_->resize(760, 820);
  backups_panel_ = new BackupsPanel;
  backups_panel_->setObjectName(QStringLiteral("backups_panel"));
  backups_panel_->setBackupRoot(backup_folder());
  backups_window_ = tool_window(this, backups_panel_, tr("Backups"), "backups_window");
  backups_window_->resize(640, 480);

  // Always in sight: the radio risk of the units on screen, counted as they are edited.
  conflict_count_ = new QPushButton(CoordinationPanel::conflict_count_text(0));
  conflict_count_->setObjectName(QStringLiteral("conflict_count"));
  conflict_count_->setFlat(true);
  conflict_count_->setToolTip(
      tr("Spacing and intermodulation conflicts of the units on screen; "
         "click for the coordination window (%1)")
          .arg(coordination_action_->shortcut().toString(QKeySequence::NativeText)));
  statusBar()->addPermanentWidget(conflict_count_);
}

void MainWindow::wire_tool_windows() {
  connect(coordination_action_, &QAction::triggered, this,
          [this] { show_tool_window(coord_window_); });
  connect(conflict_count_, &QPushButton::clicked, this,
          [this] { show_tool_window(coord_window_); });
  connect(coordinate_action_, &QAction::triggered, this, &MainWindow::coordinate);
  connect(backups_action_, &QAction::triggered, this, [this] {
    show_tool_window(backups_window_);
    show_backups();
  });
  connect(coord_panel_, &CoordinationPanel::coordinate_requested, this, &MainWindow::coordinate);
  connect(coord_panel_, &CoordinationPanel::analysed, this,
          [this](const CoordinationFields& fields, const coord::Analysis& analysis) {
            band_->set_coordination(fields, analysis);
            analysed(analysis.conflicts.size(), analysis.complete);
          });
  connect(coord_panel_, &CoordinationPanel::fields_edited, this, &MainWindow::coordination_edited);
  connect(coord_panel_, &CoordinationPanel::conflict_activated, this, [this](auto key, int ch) {
    activateWindow();
    pick_channel(key, ch);
  });
  connect(band_, &BandView::carrier_clicked, this, &MainWindow::pick_channel);
  connect(show_products_, &QCheckBox::toggled, band_, &BandView::set_show_products);
  connect(backups_panel_, &BackupsPanel::restoreRequested, this,
          [this](const QString& key, const UiSettings& saved) {
            restore_settings(key, saved, tr("Restore a backup of %1").arg(key),
                             tr("The settings of this backup will be written back to the unit. "
                                "The settings it holds now are saved first, so this can be "
                                "undone too."));
          });
}

void MainWindow::show_tool_window(QWidget* window) {
  window->show();
  window->raise();
  window->activateWindow();
}

void MainWindow::analysed(std::size_t conflicts, bool complete) {
  const QString text = CoordinationPanel::conflict_count_text(conflicts, complete);
  if (conflict_count_->text() == text) return;
  conflict_count_->setText(text);
  conflict_count_->setAccessibleName(text);
  QFont font = conflict_count_->font();
  font.setBold(conflicts > 0);
  conflict_count_->setFont(font);
}

void MainWindow::load_show_coordination() {
  const frontend::Show& show = show_.show();
  coord_panel_->load_show(show);
  std::vector<coord::ScanPoint> points;
  double threshold = coord::DEFAULT_SCAN_THRESHOLD_DBM;
  if (show.scan) {
    threshold = show.scan->threshold_dbm;
    const auto file = frontend::scan_file(show, show_.path().toStdString());
    if (file) {
      auto read = coord::read_scan_csv(file->string());
      if (read.error.empty()) {
        log(tr("scan data from %1: %n point(s)", nullptr, static_cast<int>(read.points.size()))
                .arg(QString::fromStdString(file->string())));
        points = std::move(read.points);
      } else {
        // The show opens all the same; only the scan's exclusions are missing, and that is said.
        say(tr("the show's scan data is not used: %1").arg(QString::fromStdString(read.error)));
      }
    }
  }
  coord_panel_->set_scan(std::move(points), threshold);
}

void MainWindow::coordination_edited() {
  if (!show_.is_open()) return;
  show_.update([this](frontend::Show& show) { coord_panel_->store_in(show); });
  update_title();
}

void MainWindow::pick_channel(const QString& key, int channel) {
  if (units_->find(key) == nullptr) return;
  select_unit(key);
  form_->select_channel(channel - 1);
}

void MainWindow::coordinate() {
  if (units_->any_writing() || batch_) {
    say(tr("coordination waits until the writes under way are done"));
    return;
  }
  // What is still being typed counts; the panel then has every unit as it is on screen.
  if (!form_->commit_edit().isEmpty()) {
    say(tr("coordination: finish the value being typed first"));
    return;
  }
  update_band();
  coord_check_.stop();
  coord_panel_->set_units(on_screen_);
  const UnitSettingsMap& on_screen = coord_panel_->units();
  coord::PlanOptions options;
  options.step_khz = coord_panel_->fields().step_khz;
  const coord::Plan plan = coord::coordinate(coord_panel_->scenario(), options);
  if (!plan.problems.empty()) {
    QStringList lines;
    for (const auto& p : plan.problems) lines << QString::fromStdString(p);
    say(tr("coordination refused: %1").arg(lines.join(QStringLiteral("; "))));
    return;
  }
  QStringList unplaced;
  for (const auto& u : plan.unplaced) {
    unplaced << tr("%1 channel %2: %3")
                    .arg(QString::fromStdString(u.key))
                    .arg(u.channel)
                    .arg(QString::fromStdString(u.reason));
  }
  if (!unplaced.isEmpty())
    log(tr("coordination could not place: %1").arg(unplaced.join(QStringLiteral("; "))));
  const auto proposals = proposal_settings(on_screen, plan);
  if (proposals.empty()) {
    say(unplaced.isEmpty() ? tr("coordination: every channel already fits; nothing to change")
                           : tr("coordination: nothing can be moved; %n channel(s) not placed, "
                                "see the log",
                                nullptr, static_cast<int>(unplaced.size())));
    return;
  }
  std::vector<PreviewUnit> plan_units;
  for (const auto& p : proposals) {
    const QString key = QString::fromStdString(p.key);
    const UnitRow* row = units_->find(key);
    // A connected unit is compared with what it holds, so edits on screen show up as changes.
    const bool live = row != nullptr && row->settings && units_->present(key);
    plan_units.push_back({key, live ? *row->settings : p.before, p.after});
  }
  QString intro =
      tr("New frequencies for the units that are not locked, so that no two carriers "
         "crowd each other or meet an intermodulation product. Connected units are "
         "written, all or none; units that are not connected get them in the show.");
  if (!unplaced.isEmpty()) {
    intro += QStringLiteral("\n\n") +
             tr("Not placed, these keep their frequencies and still conflict: %1")
                 .arg(unplaced.join(QStringLiteral("; ")));
  }
  if (const auto chosen = preview(tr("Coordinate frequencies"), intro, std::move(plan_units)))
    apply_coordination(proposals, *chosen);
}

void MainWindow::apply_coordination(const std::vector<UnitProposal>& proposals,
                                    const std::vector<PreviewChoice>& chosen) {
  std::vector<PreviewChoice> to_write;
  for (const auto& c : chosen) {
    // The show is the plan: it takes the new frequencies whether or not the unit is here.
    if (show_.contains(c.key)) show_.set_unit(c.key, c.settings);
    if (units_->present(c.key)) {
      to_write.push_back(c);
    } else if (const UnitRow* row = units_->find(c.key);
               row != nullptr && row->state == UnitState::Offline) {
      units_->set_offline(c.key, c.settings);
      if (c.key == session_.selected()) show_selected();
    }
  }
  take_planned_frequencies(proposals, to_write);
  update_show_notes();
  update_title();
  update_band();
  if (to_write.empty()) {
    say(tr("coordination: the new frequencies are in the show; no connected unit to write"));
    return;
  }
  start_batch(tr("coordinate frequencies"), std::move(to_write));
}

void MainWindow::take_planned_frequencies(const std::vector<UnitProposal>& proposals,
                                          const std::vector<PreviewChoice>& chosen) {
  // Edits on screen were part of the plan; they take the new frequencies too, so that the form
  // does not go on showing a frequency the coordination moved away from.
  for (const auto& c : chosen) {
    const bool in_form = c.key == session_.selected() && form_->loaded();
    if (!in_form && !session_.has_draft(c.key)) continue;
    const auto p = std::find_if(proposals.begin(), proposals.end(), [&](const UnitProposal& u) {
      return u.key == c.key.toStdString();
    });
    if (p == proposals.end()) continue;
    UiSettings edits = in_form ? form_->form() : session_.draft(c.key);
    for (const auto& change : p->changes) {
      const std::size_t i = change.channel - 1;
      // A channel unticked in the preview keeps what was typed.
      if (i < edits.channels.size() && i < c.settings.channels.size() &&
          c.settings.channels[i].frequency == change.to_khz)
        edits.channels[i].frequency = change.to_khz;
    }
    session_.set_draft(c.key, edits);
    if (in_form) show_selected();
  }
}

void MainWindow::show_backups() {
  if (!backups_window_->isVisible()) return;
  const QString key = session_.selected();
  const UnitRow* row = units_->find(key);
  const bool live = row != nullptr && row->settings && units_->present(key);
  backups_panel_->showUnit(key, live ? row->settings : std::nullopt);
}

}  // namespace owl::desktop
