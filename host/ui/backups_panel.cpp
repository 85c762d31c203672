#include "ui/backups_panel.hpp"

#include <QCoreApplication>
#include <QDateTime>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLocale>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <cstdlib>
#include <exception>

#include "backup.hpp"
#include "settings_file.hpp"
#include "ui/labels.hpp"

namespace owl::desktop {

namespace {

constexpr int ENTRY_ROLE = Qt::UserRole;

QString q(const std::string& s) {
  return QString::fromStdString(s);
}

QString tr_panel(const char* text) {
  return QCoreApplication::translate("BackupsPanel", text);
}

QString flag_text(const std::string& value) {
  if (value == "true") return tr_panel("on");
  if (value == "false") return tr_panel("off");
  return q(value);
}

QString khz_text(const std::string& value) {
  if (value == "-") return tr_panel("none");
  return tr_panel("%1 MHz").arg(mhz_text(static_cast<std::uint32_t>(std::stoul(value))));
}

// A difference as a person reads it: the field's label, and the backup's value and the unit's
// in the units the form shows.
std::pair<QString, QString> difference_text(const frontend::Difference& d) {
  auto value = [&d](const std::string& v) -> QString {
    const std::string& f = d.field;
    if (f.rfind("channel.", 0) == 0) {
      if (f.size() > 10 && f.compare(f.size() - 10, 10, ".frequency") == 0) return khz_text(v);
      return v == "-" ? tr_panel("none") : flag_text(v);
    }
    const FieldLabel* row = find_field_label(f);
    return row != nullptr ? value_words(*row, v) : q(v);
  };
  QString label = q(d.field);
  if (d.field.rfind("channel.", 0) == 0) {
    // "channel.3.frequency" → "Channel 3 frequency".
    const auto dot = d.field.find('.', 8);
    const std::string number = d.field.substr(8, dot - 8);
    const std::string part = dot == std::string::npos ? std::string() : d.field.substr(dot + 1);
    static const std::pair<const char*, const char*> parts[] = {
        {"frequency", QT_TRANSLATE_NOOP("BackupsPanel", "Channel %1 frequency")},
        {"delay", QT_TRANSLATE_NOOP("BackupsPanel", "Channel %1 delay")},
        {"voting", QT_TRANSLATE_NOOP("BackupsPanel", "Channel %1 voting")},
        {"enable", QT_TRANSLATE_NOOP("BackupsPanel", "Channel %1 enabled")}};
    for (const auto& [name, text] : parts) {
      if (part == name) label = tr_panel(text).arg(q(number));
    }
  } else if (d.field == "channel_count") {
    label = tr_panel("Number of channels");
  } else {
    label = field_label(d.field);
  }
  return {label, tr_panel("%1 (now %2)").arg(value(d.left), value(d.right))};
}

QString time_text(std::time_t time) {
  const QDateTime local = QDateTime::fromSecsSinceEpoch(static_cast<qint64>(time)).toLocalTime();
  // Seconds too: two writes within a minute leave two backups.
  return QLocale().toString(local, QStringLiteral("ddd d MMM yyyy, HH:mm:ss"));
}

std::filesystem::path default_root() {
  return frontend::backup_root(std::getenv("XDG_DATA_HOME"), std::getenv("HOME"));
}

}  // namespace

BackupsPanel::BackupsPanel(QWidget* parent) : QWidget(parent), root_(default_root()) {
  title_ = new QLabel;
  title_->setObjectName(QStringLiteral("backups_title"));
  list_ = new QTreeWidget;
  list_->setObjectName(QStringLiteral("backups"));
  list_->setAccessibleName(tr("Backups"));
  list_->setColumnCount(2);
  list_->setHeaderLabels({tr("Taken"), tr("Differs from the unit now")});
  list_->header()->setSectionResizeMode(0, QHeaderView::ResizeToContents);
  list_->header()->setStretchLastSection(true);
  list_->setRootIsDecorated(true);
  list_->setUniformRowHeights(true);
  list_->setToolTip(
      tr("A backup is taken before every write. Expand one (Right arrow) to see how it differs "
         "from the unit now."));
  title_->setBuddy(list_);
  status_ = new QLabel;
  status_->setObjectName(QStringLiteral("backups_status"));
  status_->setWordWrap(true);
  restore_ = new QPushButton(tr("Re&store…"));
  restore_->setObjectName(QStringLiteral("restore_backup"));
  restore_->setAccessibleName(tr("Restore the selected backup"));
  restore_->setToolTip(
      tr("Write the selected backup back to the unit, after showing what it changes"));
  restore_->setEnabled(false);

  auto* buttons = new QHBoxLayout;
  buttons->addWidget(status_, 1);
  buttons->addWidget(restore_);
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->addWidget(title_);
  layout->addWidget(list_, 1);
  layout->addLayout(buttons);

  connect(list_, &QTreeWidget::currentItemChanged, this, &BackupsPanel::selection_changed);
  connect(list_, &QTreeWidget::itemActivated, this, [this](QTreeWidgetItem* item) {
    if (item != nullptr && item->parent() == nullptr) restore();
  });
  connect(restore_, &QPushButton::clicked, this, &BackupsPanel::restore);
  showUnit(QString(), std::nullopt);
}

void BackupsPanel::setBackupRoot(const std::filesystem::path& root) {
  root_ = root;
  refresh();
}

void BackupsPanel::setOptions(const EnumOptions& options) {
  options_ = options;
  refresh();
}

void BackupsPanel::showUnit(const QString& key, std::optional<UiSettings> now) {
  key_ = key;
  now_ = std::move(now);
  refresh();
}

void BackupsPanel::refresh() {
  // Keep the selected backup selected across a reread, as the list may only have grown.
  std::filesystem::path selected;
  if (const QTreeWidgetItem* item = list_->currentItem(); item != nullptr) {
    const QTreeWidgetItem* top = item->parent() != nullptr ? item->parent() : item;
    selected = entries_[static_cast<std::size_t>(top->data(0, ENTRY_ROLE).toInt())].path;
  }
  list_->clear();
  entries_.clear();
  if (key_.isEmpty()) {
    title_->setText(tr("&Backups"));
    status_->setText(tr("Select a unit to see its backups."));
    restore_->setEnabled(false);
    return;
  }
  title_->setText(tr("&Backups of %1").arg(key_));
  std::vector<frontend::BackupEntry> found;
  try {
    if (!root_.empty()) found = frontend::list_backups(root_, key_.toStdString());
  } catch (const std::exception& e) {
    status_->setText(tr("The backups cannot be listed: %1").arg(q(e.what())));
    restore_->setEnabled(false);
    return;
  }
  QTreeWidgetItem* current = nullptr;
  for (const auto& backup : found) {
    Entry entry{backup.path, std::nullopt};
    auto* item = new QTreeWidgetItem({time_text(backup.time), QString()});
    item->setData(0, ENTRY_ROLE, static_cast<int>(entries_.size()));
    item->setToolTip(0, q(backup.path.string()));
    try {
      const frontend::SettingsFile file = frontend::read_backup(backup.path);
      entry.settings = now_ ? file.filled_from(*now_) : file.settings;
    } catch (const std::exception& e) {
      // The reason names the file and can be long: in full one level down, where it wraps.
      item->setText(1, tr("cannot be read"));
      auto* reason = new QTreeWidgetItem(item, {tr("Why"), q(e.what())});
      reason->setToolTip(1, q(e.what()));
    }
    if (entry.settings && now_) {
      const auto differences = frontend::diff_settings(*entry.settings, *now_, options_);
      QStringList labels;
      for (const auto& d : differences) {
        const auto [label, values] = difference_text(d);
        labels << label;
        auto* child = new QTreeWidgetItem(item, {label, values});
        child->setToolTip(1, values);
      }
      item->setToolTip(1, labels.join(QLatin1Char('\n')));
      if (labels.isEmpty()) {
        item->setText(1, tr("nothing: the unit holds these settings"));
      } else {
        item->setText(1, labels.size() <= 3 ? labels.join(QStringLiteral(", "))
                                            : tr("%1 and %2 more")
                                                  .arg(labels.mid(0, 3).join(QStringLiteral(", ")))
                                                  .arg(labels.size() - 3));
      }
    } else if (entry.settings) {
      item->setText(1, tr("the unit is not connected"));
    }
    item->setData(1, Qt::AccessibleTextRole, item->text(1));
    list_->addTopLevelItem(item);
    if (backup.path == selected) current = item;
    entries_.push_back(std::move(entry));
  }
  if (current == nullptr) current = list_->topLevelItem(0);
  list_->setCurrentItem(current);
  status_->setText(entries_.empty()
                       ? tr("No backups of %1 yet; one is taken before every write.").arg(key_)
                   : entries_.size() == 1 ? tr("1 backup.")
                                          : tr("%1 backups, newest first.").arg(entries_.size()));
  selection_changed();
}

void BackupsPanel::selection_changed() {
  const QTreeWidgetItem* item = list_->currentItem();
  if (item != nullptr && item->parent() != nullptr) item = item->parent();
  restore_->setEnabled(
      item != nullptr &&
      entries_[static_cast<std::size_t>(item->data(0, ENTRY_ROLE).toInt())].settings.has_value());
}

void BackupsPanel::restore() {
  const QTreeWidgetItem* item = list_->currentItem();
  if (item == nullptr) return;
  if (item->parent() != nullptr) item = item->parent();
  const Entry& entry = entries_[static_cast<std::size_t>(item->data(0, ENTRY_ROLE).toInt())];
  if (entry.settings) emit restoreRequested(key_, *entry.settings);
}

}  // namespace owl::desktop
