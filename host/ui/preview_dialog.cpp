#include "ui/preview_dialog.hpp"

#include <QDialogButtonBox>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace owl::desktop {

namespace {

constexpr int FIELD_ROLE = Qt::UserRole;

}  // namespace

PreviewDialog::PreviewDialog(const QString& title, const QString& intro,
                             std::vector<PreviewUnit> units, QWidget* parent)
    : QDialog(parent), units_(std::move(units)) {
  setObjectName(QStringLiteral("preview_dialog"));
  setWindowTitle(title);
  auto* intro_label = new QLabel(intro);
  intro_label->setWordWrap(true);

  tree_ = new QTreeWidget;
  tree_->setObjectName(QStringLiteral("preview_tree"));
  tree_->setAccessibleName(tr("Changes per unit"));
  tree_->setColumnCount(3);
  tree_->setHeaderLabels({tr("Unit / field"), tr("Now"), tr("After the write")});
  tree_->header()->setSectionResizeMode(QHeaderView::ResizeToContents);
  tree_->setAlternatingRowColors(true);
  for (std::size_t i = 0; i < units_.size(); ++i) {
    const PreviewUnit& u = units_[i];
    const auto changes = changed_fields(u.old_settings, u.new_settings);
    if (changes.empty()) {
      unchanged_ << u.key;
      continue;
    }
    auto* unit_item = new QTreeWidgetItem(tree_);
    const QString name = QString::fromStdString(u.old_settings.unit_name);
    unit_item->setText(0, name.isEmpty() ? u.key : QStringLiteral("%1 (%2)").arg(u.key, name));
    unit_item->setText(1, changes.size() == 1 ? tr("1 field changes")
                                              : tr("%1 fields change").arg(changes.size()));
    unit_item->setData(0, FIELD_ROLE, static_cast<int>(i));
    unit_item->setFlags(unit_item->flags() | Qt::ItemIsUserCheckable | Qt::ItemIsAutoTristate);
    for (const auto& c : changes) {
      auto* item = new QTreeWidgetItem(unit_item, {c.label, c.old_text, c.new_text});
      item->setData(0, FIELD_ROLE, c.field);
      item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
      item->setCheckState(0, Qt::Checked);
    }
    unit_item->setExpanded(true);
  }
  if (tree_->topLevelItemCount() > 0) tree_->setCurrentItem(tree_->topLevelItem(0));

  summary_ = new QLabel;
  summary_->setObjectName(QStringLiteral("preview_summary"));
  summary_->setWordWrap(true);
  auto* buttons = new QDialogButtonBox;
  write_ = buttons->addButton(tr("&Write the ticked fields"), QDialogButtonBox::AcceptRole);
  write_->setObjectName(QStringLiteral("preview_write"));
  apply_all_ =
      buttons->addButton(tr("Apply only these fields to &all"), QDialogButtonBox::ActionRole);
  apply_all_->setObjectName(QStringLiteral("preview_apply_all"));
  apply_all_->setToolTip(tr("Tick in every unit exactly the fields ticked in the unit you are on"));
  auto* cancel = buttons->addButton(QDialogButtonBox::Cancel);
  cancel->setObjectName(QStringLiteral("preview_cancel"));
  connect(write_, &QPushButton::clicked, this, &QDialog::accept);
  connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
  connect(apply_all_, &QPushButton::clicked, this, &PreviewDialog::apply_current_fields_to_all);
  connect(tree_, &QTreeWidget::itemChanged, this, &PreviewDialog::update_summary);

  auto* layout = new QVBoxLayout(this);
  layout->addWidget(intro_label);
  layout->addWidget(tree_, 1);
  layout->addWidget(summary_);
  layout->addWidget(buttons);
  resize(760, 520);
  update_summary();
}

QStringList PreviewDialog::ticked_fields(const QTreeWidgetItem* unit_item) const {
  QStringList fields;
  for (int j = 0; j < unit_item->childCount(); ++j) {
    const QTreeWidgetItem* f = unit_item->child(j);
    if (f->checkState(0) == Qt::Checked) fields << f->data(0, FIELD_ROLE).toString();
  }
  return fields;
}

std::vector<PreviewChoice> PreviewDialog::selected() const {
  std::vector<PreviewChoice> out;
  for (int i = 0; i < tree_->topLevelItemCount(); ++i) {
    const QTreeWidgetItem* unit_item = tree_->topLevelItem(i);
    const QStringList fields = ticked_fields(unit_item);
    if (fields.isEmpty()) continue;
    const PreviewUnit& u = units_[static_cast<std::size_t>(unit_item->data(0, FIELD_ROLE).toInt())];
    out.push_back({u.key, apply_fields(u.old_settings, u.new_settings, fields)});
  }
  return out;
}

void PreviewDialog::apply_current_fields_to_all() {
  QTreeWidgetItem* current = tree_->currentItem();
  if (current == nullptr) return;
  if (current->parent() != nullptr) current = current->parent();
  const QStringList fields = ticked_fields(current);
  for (int i = 0; i < tree_->topLevelItemCount(); ++i) {
    QTreeWidgetItem* unit_item = tree_->topLevelItem(i);
    for (int j = 0; j < unit_item->childCount(); ++j) {
      QTreeWidgetItem* f = unit_item->child(j);
      f->setCheckState(
          0, fields.contains(f->data(0, FIELD_ROLE).toString()) ? Qt::Checked : Qt::Unchecked);
    }
  }
}

void PreviewDialog::update_summary() {
  const auto chosen = selected();
  int fields = 0;
  for (int i = 0; i < tree_->topLevelItemCount(); ++i)
    fields += static_cast<int>(ticked_fields(tree_->topLevelItem(i)).size());
  QString text = tr("%n unit(s) will be written", nullptr, static_cast<int>(chosen.size())) +
                 tr(" (%n field(s)).", nullptr, fields);
  if (!unchanged_.isEmpty())
    text += QLatin1Char(' ') +
            tr("Already as planned, not written: %1.").arg(unchanged_.join(QStringLiteral(", ")));
  summary_->setText(text);
  write_->setEnabled(!chosen.empty());
}

}  // namespace owl::desktop
