#pragma once

#include <QAbstractTableModel>
#include <QString>
#include <optional>
#include <vector>

#include "records.hpp"

namespace owl::desktop {

// Gone: the unit went away while a write waited for its confirmation; the row stays so that
// the outcome stays visible, and comes back to life when a unit with the same key reports.
// Offline: a unit of the open show that is not connected; its settings are the show's.
enum class UnitState { Waiting, Reporting, Writing, WriteFailed, Gone, Offline };

struct UnitRow {
  QString key;
  QString label;
  QString identity;
  std::optional<UiSettings> settings;
  UnitState state = UnitState::Waiting;
  // The outcome of the last write: "confirmed" or the engine's message.
  QString last_write;
  // How the unit compares with the open show ("differs from the show: 3 fields"); empty without.
  QString show_note;
};

// The units the event stream reports, sorted by key in byte order as the engine sorts them.
class UnitListModel : public QAbstractTableModel {
  Q_OBJECT

 public:
  enum Column { NameColumn, KeyColumn, LabelColumn, IdentityColumn, StateColumn, ColumnCount };

  using QAbstractTableModel::QAbstractTableModel;

  int rowCount(const QModelIndex& parent = {}) const override;
  int columnCount(const QModelIndex& parent = {}) const override;
  QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
  QVariant headerData(int section, Qt::Orientation orientation,
                      int role = Qt::DisplayRole) const override;

  void announce(const QString& key, const QString& label);
  void remove(const QString& key);
  // Lists a show's unit that is not connected (or turns a row into one), with the show's settings.
  void set_offline(const QString& key, const UiSettings& settings);
  void set_show_note(const QString& key, const QString& note);
  void set_gone(const QString& key);
  void set_settings(const QString& key, const UiSettings& settings);
  void set_identity(const QString& key, const QString& text);
  void set_writing(const QString& key);
  // Takes a unit out of the writing state after the engine refused the write.
  void cancel_writing(const QString& key);
  void set_write_result(const QString& key, bool ok, const QString& message);

  int row_of(const QString& key) const;
  const UnitRow* find(const QString& key) const;
  const std::vector<UnitRow>& rows() const { return rows_; }
  bool any_writing() const;
  // Listed and reporting now: not waiting for a first report, not gone, not offline.
  bool present(const QString& key) const;

  static QString state_text(const UnitRow& row);

 private:
  UnitRow* find_mutable(const QString& key);
  void row_changed(const QString& key);

  std::vector<UnitRow> rows_;
};

}  // namespace owl::desktop
