#pragma once

#include <QString>
#include <QStringList>
#include <functional>
#include <map>
#include <optional>
#include <string>

#include "records.hpp"
#include "show_file.hpp"

// The show the window has open: its units' settings as the form edits them, and everything else
// of the file (coordination profile, exclusions, other carriers, scan) kept as it was read.
namespace owl::desktop {

class ShowDocument {
 public:
  bool is_open() const { return open_; }
  QString name() const { return QString::fromStdString(show_.name); }
  QString path() const { return path_; }
  bool modified() const { return modified_; }

  // Reads a show file. Returns the refusal, naming the file and the offending value, or an empty
  // string; on refusal the document is left as it was.
  QString load(const QString& path);
  // Writes it atomically to path (the current path when empty). Returns the failure or empty.
  QString save(const QString& path = {});
  // A new, unsaved show holding these units.
  void create(const QString& name, const std::map<std::string, UiSettings>& units);
  void close();

  bool contains(const QString& key) const;
  std::optional<UiSettings> unit(const QString& key) const;
  // Keys in file order.
  QStringList keys() const;
  // Replaces a unit's settings (adding the unit if new); marks the show modified when it changed.
  void set_unit(const QString& key, const UiSettings& settings);

  const frontend::Show& show() const { return show_; }
  // Changes what the show keeps besides its units' settings (coordination profile, exclusions,
  // other carriers, locks); marks the show modified when anything changed.
  void update(const std::function<void(frontend::Show&)>& change);

 private:
  frontend::Show show_;
  std::map<std::string, UiSettings> settings_;
  QString path_;
  bool open_ = false;
  bool modified_ = false;
};

}  // namespace owl::desktop
