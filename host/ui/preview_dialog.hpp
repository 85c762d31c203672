#pragma once

#include <QDialog>
#include <vector>

#include "ui/preview_model.hpp"

class QLabel;
class QPushButton;
class QTreeWidget;
class QTreeWidgetItem;

namespace owl::desktop {

// Shows, per unit, the fields a write would change (old -> new) and lets the user untick fields
// or whole units before anything is written. Plain data in, plain data out, so any planned
// multi-unit write (a show, write to all, an undo, a coordination proposal) uses the same dialog.
class PreviewDialog : public QDialog {
  Q_OBJECT

 public:
  PreviewDialog(const QString& title, const QString& intro, std::vector<PreviewUnit> units,
                QWidget* parent = nullptr);

  // The units still ticked, each with only its ticked fields taken from the plan. Units with
  // nothing ticked (or nothing to change) are left out.
  std::vector<PreviewChoice> selected() const;
  // Units whose settings already match the plan, so that nothing is written to them.
  QStringList unchanged_units() const { return unchanged_; }

  // Ticks, in every unit, exactly the fields ticked in the current unit.
  void apply_current_fields_to_all();
  QTreeWidget* tree() const { return tree_; }

 private:
  QStringList ticked_fields(const QTreeWidgetItem* unit_item) const;
  void update_summary();

  std::vector<PreviewUnit> units_;
  QStringList unchanged_;
  QTreeWidget* tree_ = nullptr;
  QLabel* summary_ = nullptr;
  QPushButton* apply_all_ = nullptr;
  QPushButton* write_ = nullptr;
};

}  // namespace owl::desktop
