#pragma once

#include <QString>
#include <QWidget>
#include <filesystem>
#include <optional>
#include <vector>

#include "records.hpp"

class QLabel;
class QPushButton;
class QTreeWidget;

namespace owl::desktop {

// One unit's backups, newest first, each with the time it was taken and the fields in which it
// differs from the unit now. Restoring is asked for, not done: the window runs it through its
// preview and write like any other.
class BackupsPanel : public QWidget {
  Q_OBJECT

 public:
  explicit BackupsPanel(QWidget* parent = nullptr);

  // Where the backups are; the shared folder of both programs unless a test says otherwise.
  void setBackupRoot(const std::filesystem::path& root);
  // Option names are compared as the engine reads them, so "med" and "MED" do not differ.
  void setOptions(const EnumOptions& options);
  // Lists the unit's backups; `now` is what the unit holds (nothing when it is not connected).
  // An empty key shows no unit.
  void showUnit(const QString& key, std::optional<UiSettings> now);
  // Reads the folder again, e.g. after a write added a backup.
  void refresh();

  QString key() const { return key_; }

 signals:
  void restoreRequested(QString key, owl::UiSettings settings);

 private:
  struct Entry {
    std::filesystem::path path;
    std::optional<UiSettings> settings;  // nothing when the file cannot be read
  };

  void selection_changed();
  void restore();

  std::filesystem::path root_;
  EnumOptions options_;
  QString key_;
  std::optional<UiSettings> now_;
  std::vector<Entry> entries_;

  QLabel* title_ = nullptr;
  QTreeWidget* list_ = nullptr;
  QLabel* status_ = nullptr;
  QPushButton* restore_ = nullptr;
};

}  // namespace owl::desktop
