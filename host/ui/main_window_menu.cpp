// The window's actions and its menu bar. Buttons take their words and shortcuts from these
// actions, so the two cannot drift apart.
#include <QAction>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>

#include "ui/main_window.hpp"
#include "ui/settings_form.hpp"

namespace owl::desktop {

void MainWindow::build_actions() {
  // Connected in wire(), with everything else.
  auto action = [this](const char* name, const QString& text, const QKeySequence& key) {
    auto* a = new QAction(text, this);
    a->setObjectName(QString::fromLatin1(name));
    a->setShortcut(key);
    return a;
  };
  new_show_action_ = action("new_show", tr("&New show"), QKeySequence::New);
  open_show_action_ = action("open_show", tr("&Open show…"), QKeySequence::Open);
  save_show_action_ = action("save_show", tr("&Save show"), QKeySequence::Save);
  save_show_as_action_ = action("save_show_as", tr("Save show &as…"), QKeySequence::SaveAs);
  import_action_ =
      action("import_settings", tr("&Import unit settings…"), QKeySequence(Qt::CTRL | Qt::Key_I));
  export_action_ =
      action("export_settings", tr("&Export unit settings…"), QKeySequence(Qt::CTRL | Qt::Key_E));
  quit_action_ = action("quit", tr("&Quit"), QKeySequence(Qt::CTRL | Qt::Key_Q));

  write_action_ =
      action("write_action", tr("&Write to this unit"), QKeySequence(Qt::CTRL | Qt::Key_Return));
  write_all_action_ = action("write_all_action", tr("Write to &all units…"),
                             QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Return));
  write_show_action_ = action("write_show", tr("Write &show to units…"),
                              QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_W));
  refresh_action_ = action("refresh_action", tr("&Refresh unit"), QKeySequence(Qt::Key_F5));
  forget_action_ = action("forget_action", tr("F&orget gone unit"), QKeySequence());

  // Not Ctrl+Z: that stays the text fields' own undo.
  undo_action_ = action("undo_write", tr("&Undo last write to this unit…"),
                        QKeySequence(Qt::CTRL | Qt::ALT | Qt::Key_Z));
  revert_action_ =
      action("revert_action", tr("Re&vert edits"), QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_R));
  backups_action_ = action("backups", tr("&Backups…"), QKeySequence(Qt::CTRL | Qt::Key_B));

  coordination_action_ =
      action("coordination", tr("&Coordination…"), QKeySequence(Qt::CTRL | Qt::Key_K));
  coordinate_action_ = action("coordinate_frequencies", tr("Coor&dinate frequencies…"),
                              QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_K));

  guide_action_ = action("hardware_guide", tr("&Hardware guide"), QKeySequence::HelpContents);
  about_action_ = action("about", tr("&About"), QKeySequence());
}

void MainWindow::build_menus() {
  QMenu* file = menuBar()->addMenu(tr("&File"));
  file->addActions({new_show_action_, open_show_action_, save_show_action_, save_show_as_action_});
  recent_menu_ = file->addMenu(tr("&Recent shows"));
  recent_menu_->setObjectName(QStringLiteral("recent_shows"));
  update_recent_menu();
  file->addSeparator();
  file->addActions({import_action_, export_action_});
  file->addSeparator();
  file->addAction(quit_action_);

  QMenu* edit = menuBar()->addMenu(tr("&Edit"));
  edit->setObjectName(QStringLiteral("edit_menu"));
  edit->addActions({undo_action_, backups_action_, revert_action_});
  edit->addSeparator();
  edit->addActions(form_->channelActions());

  QMenu* units = menuBar()->addMenu(tr("&Units"));
  units->addActions({refresh_action_, write_action_, write_all_action_, write_show_action_});
  units->addSeparator();
  units->addActions({coordination_action_, coordinate_action_});
  units->addSeparator();
  units->addAction(forget_action_);

  QMenu* help = menuBar()->addMenu(tr("He&lp"));
  help->addActions({guide_action_, about_action_});
}

}  // namespace owl::desktop
