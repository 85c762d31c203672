#include "ui/unit_list_model.hpp"

#include <QBrush>
#include <QColor>
#include <QGuiApplication>
#include <algorithm>

#include "ui/theme.hpp"

namespace owl::desktop {

namespace {

// Unit keys are compared as bytes, like the engine does.
bool key_less(const QString& a, const QString& b) {
  return a.toUtf8() < b.toUtf8();
}

}  // namespace

int UnitListModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : static_cast<int>(rows_.size());
}

int UnitListModel::columnCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : ColumnCount;
}

QString UnitListModel::state_text(const UnitRow& row) {
  switch (row.state) {
    case UnitState::Waiting:
      return tr("waiting for settings");
    case UnitState::Reporting:
      return row.last_write.isEmpty() ? tr("reporting")
                                      : tr("reporting (last write %1)").arg(row.last_write);
    case UnitState::Writing:
      return tr("writing, confirming…");
    case UnitState::WriteFailed:
      return tr("last write failed: %1").arg(row.last_write);
    case UnitState::Gone:
      return tr("gone during a write: not confirmed; it may hold the old or the new settings");
    case UnitState::Offline:
      return tr("offline: from the show");
  }
  return {};
}

QVariant UnitListModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid() || index.row() >= rowCount()) return {};
  const UnitRow& row = rows_[static_cast<std::size_t>(index.row())];
  if (role == Qt::DisplayRole || role == Qt::ToolTipRole) {
    switch (index.column()) {
      case NameColumn:
        return row.settings ? QString::fromStdString(row.settings->unit_name) : QString();
      case KeyColumn:
        return row.key;
      case LabelColumn:
        return row.label;
      case IdentityColumn:
        return row.identity;
      case StateColumn:
        return row.show_note.isEmpty() ? state_text(row)
                                       : state_text(row) + QStringLiteral("; ") + row.show_note;
      default:
        return {};
    }
  }
  if (role == Qt::ForegroundRole && index.column() == StateColumn) {
    const Theme theme = theme_for(QGuiApplication::palette());
    if (row.state == UnitState::WriteFailed || row.state == UnitState::Gone) {
      return QBrush(theme.problem);
    }
    if (row.state == UnitState::Writing) return QBrush(theme.writing);
  }
  return {};
}

QVariant UnitListModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (orientation != Qt::Horizontal || role != Qt::DisplayRole) return {};
  switch (section) {
    case NameColumn:
      return tr("Name");
    case KeyColumn:
      return tr("Key");
    case LabelColumn:
      return tr("Connected at");
    case IdentityColumn:
      return tr("Identity");
    case StateColumn:
      return tr("State");
    default:
      return {};
  }
}

int UnitListModel::row_of(const QString& key) const {
  for (std::size_t i = 0; i < rows_.size(); ++i) {
    if (rows_[i].key == key) return static_cast<int>(i);
  }
  return -1;
}

const UnitRow* UnitListModel::find(const QString& key) const {
  const int r = row_of(key);
  return r < 0 ? nullptr : &rows_[static_cast<std::size_t>(r)];
}

UnitRow* UnitListModel::find_mutable(const QString& key) {
  const int r = row_of(key);
  return r < 0 ? nullptr : &rows_[static_cast<std::size_t>(r)];
}

void UnitListModel::row_changed(const QString& key) {
  const int r = row_of(key);
  if (r >= 0) emit dataChanged(index(r, 0), index(r, ColumnCount - 1));
}

void UnitListModel::announce(const QString& key, const QString& label) {
  if (UnitRow* row = find_mutable(key)) {
    row->label = label;
    if (row->state == UnitState::Gone) row->state = UnitState::Waiting;
    if (row->state == UnitState::Offline) {
      // The show's settings stay in the show; the row now waits for the unit's own.
      row->state = UnitState::Waiting;
      row->settings.reset();
    }
    row_changed(key);
    return;
  }
  auto pos =
      std::lower_bound(rows_.begin(), rows_.end(), key,
                       [](const UnitRow& r, const QString& k) { return key_less(r.key, k); });
  const int at = static_cast<int>(pos - rows_.begin());
  beginInsertRows({}, at, at);
  UnitRow row;
  row.key = key;
  row.label = label;
  rows_.insert(pos, std::move(row));
  endInsertRows();
}

void UnitListModel::remove(const QString& key) {
  const int r = row_of(key);
  if (r < 0) return;
  beginRemoveRows({}, r, r);
  rows_.erase(rows_.begin() + r);
  endRemoveRows();
}

void UnitListModel::set_offline(const QString& key, const UiSettings& settings) {
  if (find(key) == nullptr) announce(key, tr("not connected"));
  UnitRow* row = find_mutable(key);
  row->state = UnitState::Offline;
  row->label = tr("not connected");
  row->identity.clear();
  row->settings = settings;
  row_changed(key);
}

void UnitListModel::set_show_note(const QString& key, const QString& note) {
  UnitRow* row = find_mutable(key);
  if (row == nullptr || row->show_note == note) return;
  row->show_note = note;
  row_changed(key);
}

void UnitListModel::set_gone(const QString& key) {
  UnitRow* row = find_mutable(key);
  if (row == nullptr) return;
  row->state = UnitState::Gone;
  row->identity.clear();
  row->last_write = tr("not confirmed: the unit went away during the write");
  row_changed(key);
}

void UnitListModel::set_settings(const QString& key, const UiSettings& settings) {
  UnitRow* row = find_mutable(key);
  if (row == nullptr) return;
  row->settings = settings;
  if (row->state == UnitState::Waiting) row->state = UnitState::Reporting;
  row_changed(key);
}

void UnitListModel::set_identity(const QString& key, const QString& text) {
  UnitRow* row = find_mutable(key);
  if (row == nullptr) return;
  row->identity = text;
  row_changed(key);
}

void UnitListModel::set_writing(const QString& key) {
  UnitRow* row = find_mutable(key);
  if (row == nullptr) return;
  row->state = UnitState::Writing;
  row_changed(key);
}

void UnitListModel::cancel_writing(const QString& key) {
  UnitRow* row = find_mutable(key);
  if (row == nullptr || row->state != UnitState::Writing) return;
  row->state = row->last_write.isEmpty() || row->last_write == tr("confirmed")
                   ? UnitState::Reporting
                   : UnitState::WriteFailed;
  row_changed(key);
}

void UnitListModel::set_write_result(const QString& key, bool ok, const QString& message) {
  UnitRow* row = find_mutable(key);
  // Once a unit has gone, what it says later about that write is not worth more than the gap.
  if (row == nullptr || row->state == UnitState::Gone) return;
  row->state = ok ? UnitState::Reporting : UnitState::WriteFailed;
  row->last_write = ok ? tr("confirmed") : message;
  row_changed(key);
}

bool UnitListModel::present(const QString& key) const {
  const UnitRow* row = find(key);
  return row != nullptr && row->settings && row->state != UnitState::Gone &&
         row->state != UnitState::Waiting && row->state != UnitState::Offline;
}

bool UnitListModel::any_writing() const {
  return std::any_of(rows_.begin(), rows_.end(),
                     [](const UnitRow& r) { return r.state == UnitState::Writing; });
}

}  // namespace owl::desktop
