#include "ui/coordination_panel.hpp"

#include <QDoubleSpinBox>
#include <QEvent>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QSpinBox>
#include <QTableWidget>
#include <QVBoxLayout>
#include <algorithm>
#include <cmath>

#include "ui/theme.hpp"

namespace owl::desktop {

namespace {

constexpr int MAX_GUARD_KHZ = 10000;

QSpinBox* guard_box(const QString& name, const QString& accessible) {
  auto* box = new QSpinBox;
  box->setObjectName(name);
  box->setAccessibleName(accessible);
  box->setRange(0, MAX_GUARD_KHZ);
  box->setSingleStep(25);
  box->setSuffix(QStringLiteral(" kHz"));
  box->setSpecialValueText(QObject::tr("off"));
  return box;
}

QDoubleSpinBox* mhz_box(const QString& name, const QString& accessible) {
  auto* box = new QDoubleSpinBox;
  box->setObjectName(name);
  box->setAccessibleName(accessible);
  box->setDecimals(3);
  box->setRange(0, 6000);
  box->setSingleStep(0.025);
  box->setValue(470);
  box->setSuffix(QStringLiteral(" MHz"));
  return box;
}

std::uint32_t khz_of(const QDoubleSpinBox* box) {
  return static_cast<std::uint32_t>(std::llround(box->value() * 1000.0));
}

QTableWidget* list_table(const QString& name, const QString& accessible, QStringList headers) {
  auto* table = new QTableWidget(0, static_cast<int>(headers.size()));
  table->setObjectName(name);
  table->setAccessibleName(accessible);
  table->setHorizontalHeaderLabels(headers);
  table->setEditTriggers(QAbstractItemView::NoEditTriggers);
  table->setSelectionBehavior(QAbstractItemView::SelectRows);
  table->setSelectionMode(QAbstractItemView::SingleSelection);
  table->verticalHeader()->hide();
  table->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
  table->horizontalHeader()->setStretchLastSection(true);
  table->setMinimumHeight(90);
  return table;
}

QPushButton* button(const QString& text, const QString& name) {
  auto* b = new QPushButton(text);
  b->setObjectName(name);
  b->setAccessibleName(QString(text).remove(QLatin1Char('&')));
  return b;
}

QString mhz(std::uint32_t khz) {
  return QString::fromStdString(coord::mhz_text(khz));
}

}  // namespace

CoordinationPanel::CoordinationPanel(QWidget* parent) : QWidget(parent) {
  setObjectName(QStringLiteral("coordination_panel"));
  setAccessibleName(tr("Frequency coordination"));
  auto* column = new QVBoxLayout(this);

  auto* top = new QHBoxLayout;
  conflicts_ = new QLabel;
  conflicts_->setObjectName(QStringLiteral("conflict_count"));
  conflicts_->setTextInteractionFlags(Qt::TextSelectableByMouse);
  top->addWidget(conflicts_, 1);
  coordinate_ = button(tr("Coor&dinate"), QStringLiteral("coordinate"));
  coordinate_->setToolTip(tr("Propose compatible frequencies for every unit not locked"));
  connect(coordinate_, &QPushButton::clicked, this, &CoordinationPanel::coordinate_requested);
  top->addWidget(coordinate_);
  column->addLayout(top);
  // The same texts as the band's rings, for the keyboard and screen readers.
  conflict_list_ = new QListWidget;
  conflict_list_->setObjectName(QStringLiteral("conflict_list"));
  conflict_list_->setAccessibleName(tr("Conflicts"));
  conflict_list_->setMaximumHeight(110);
  conflict_list_->setWordWrap(true);
  auto* list_label = new QLabel(tr("Confl&icts (Enter selects the channel hit):"));
  list_label->setBuddy(conflict_list_);
  column->addWidget(list_label);
  column->addWidget(conflict_list_);
  connect(conflict_list_, &QListWidget::itemActivated, this, [this](QListWidgetItem* item) {
    const QString key = item->data(Qt::UserRole).toString();
    if (!key.isEmpty()) emit conflict_activated(key, item->data(Qt::UserRole + 1).toInt());
  });

  build_profile(column);
  build_exclusions(column);
  build_other_carriers(column);
  build_locks(column);
  column->addStretch();
  set_profile({});
}

void CoordinationPanel::build_profile(QVBoxLayout* column) {
  auto* box = new QGroupBox(tr("Profile (0 = off)"));
  auto* form = new QFormLayout(box);
  spacing_ = guard_box(QStringLiteral("carrier_spacing"), tr("Carrier spacing"));
  im3_2tone_ = guard_box(QStringLiteral("im3_2tone"), tr("IM3 2-tone guard"));
  im3_3tone_ = guard_box(QStringLiteral("im3_3tone"), tr("IM3 3-tone guard"));
  im5_2tone_ = guard_box(QStringLiteral("im5_2tone"), tr("IM5 2-tone guard"));
  form->addRow(tr("Carrier &spacing"), spacing_);
  form->addRow(tr("IM3 &2-tone guard"), im3_2tone_);
  form->addRow(tr("IM3 &3-tone guard"), im3_3tone_);
  form->addRow(tr("IM&5 2-tone guard"), im5_2tone_);
  for (QSpinBox* b : {spacing_, im3_2tone_, im3_3tone_, im5_2tone_}) {
    connect(b, &QSpinBox::valueChanged, this, [this] {
      if (loading_) return;
      fields_.profile = {static_cast<std::uint32_t>(spacing_->value()),
                         static_cast<std::uint32_t>(im3_2tone_->value()),
                         static_cast<std::uint32_t>(im3_3tone_->value()),
                         static_cast<std::uint32_t>(im5_2tone_->value())};
      user_edit();
    });
  }
  column->addWidget(box);
}

void CoordinationPanel::build_exclusions(QVBoxLayout* column) {
  auto* box = new QGroupBox(tr("Exclusions"));
  auto* layout = new QVBoxLayout(box);
  exclusion_table_ = list_table(QStringLiteral("exclusions"), tr("Exclusions"),
                                {tr("From (MHz)"), tr("To (MHz)"), tr("Note")});
  auto* label = new QLabel(tr("E&xclusions (ends included):"));
  label->setBuddy(exclusion_table_);
  layout->addWidget(label);
  layout->addWidget(exclusion_table_);

  auto* form = new QFormLayout;
  exclusion_from_ = mhz_box(QStringLiteral("exclusion_from"), tr("Exclusion from"));
  exclusion_to_ = mhz_box(QStringLiteral("exclusion_to"), tr("Exclusion to"));
  exclusion_to_->setValue(478);
  exclusion_note_ = new QLineEdit;
  exclusion_note_->setObjectName(QStringLiteral("exclusion_note"));
  exclusion_note_->setAccessibleName(tr("Exclusion note"));
  exclusion_note_->setPlaceholderText(tr("e.g. TV channel 21"));
  form->addRow(tr("&From"), exclusion_from_);
  form->addRow(tr("&To"), exclusion_to_);
  form->addRow(tr("&Note"), exclusion_note_);
  layout->addLayout(form);

  auto* buttons = new QHBoxLayout;
  add_exclusion_ = button(tr("&Add exclusion"), QStringLiteral("add_exclusion"));
  remove_exclusion_ = button(tr("&Remove exclusion"), QStringLiteral("remove_exclusion"));
  buttons->addWidget(add_exclusion_);
  buttons->addWidget(remove_exclusion_);
  buttons->addStretch();
  layout->addLayout(buttons);
  column->addWidget(box);

  // A range that ends before it starts is not offered; a show file refuses one too.
  const auto order = [this] {
    const bool ok = exclusion_from_->value() <= exclusion_to_->value();
    add_exclusion_->setEnabled(ok);
    add_exclusion_->setToolTip(ok ? QString() : tr("The range ends before it starts"));
  };
  connect(exclusion_from_, &QDoubleSpinBox::valueChanged, this, order);
  connect(exclusion_to_, &QDoubleSpinBox::valueChanged, this, order);
  connect(add_exclusion_, &QPushButton::clicked, this, [this] {
    fields_.exclusions.push_back({khz_of(exclusion_from_), khz_of(exclusion_to_),
                                  exclusion_note_->text().trimmed().toStdString(), false});
    show_exclusions();
    exclusion_table_->selectRow(exclusion_table_->rowCount() - 1);
    user_edit();
  });
  connect(remove_exclusion_, &QPushButton::clicked, this, [this] {
    const int row = exclusion_table_->currentRow();
    if (row < 0 || row >= static_cast<int>(fields_.exclusions.size())) return;
    fields_.exclusions.erase(fields_.exclusions.begin() + row);
    show_exclusions();
    user_edit();
  });
  connect(exclusion_table_, &QTableWidget::itemSelectionChanged, this,
          [this] { remove_exclusion_->setEnabled(!exclusion_table_->selectedItems().isEmpty()); });
  remove_exclusion_->setEnabled(false);
}

void CoordinationPanel::build_other_carriers(QVBoxLayout* column) {
  auto* box = new QGroupBox(tr("Other carriers (not ours, never moved)"));
  auto* layout = new QVBoxLayout(box);
  other_table_ = list_table(QStringLiteral("other_carriers"), tr("Other carriers"),
                            {tr("Frequency (MHz)"), tr("Note")});
  auto* label = new QLabel(tr("Other carri&ers:"));
  label->setBuddy(other_table_);
  layout->addWidget(label);
  layout->addWidget(other_table_);

  auto* form = new QFormLayout;
  other_frequency_ = mhz_box(QStringLiteral("other_frequency"), tr("Other carrier frequency"));
  other_note_ = new QLineEdit;
  other_note_->setObjectName(QStringLiteral("other_note"));
  other_note_->setAccessibleName(tr("Other carrier note"));
  other_note_->setPlaceholderText(tr("e.g. house intercom"));
  form->addRow(tr("Fre&quency"), other_frequency_);
  form->addRow(tr("N&ote"), other_note_);
  layout->addLayout(form);

  auto* buttons = new QHBoxLayout;
  add_other_ = button(tr("Add &carrier"), QStringLiteral("add_other_carrier"));
  remove_other_ = button(tr("Remo&ve carrier"), QStringLiteral("remove_other_carrier"));
  buttons->addWidget(add_other_);
  buttons->addWidget(remove_other_);
  buttons->addStretch();
  layout->addLayout(buttons);
  column->addWidget(box);

  connect(add_other_, &QPushButton::clicked, this, [this] {
    fields_.other_carriers.push_back(
        {khz_of(other_frequency_), other_note_->text().trimmed().toStdString()});
    show_other_carriers();
    other_table_->selectRow(other_table_->rowCount() - 1);
    user_edit();
  });
  connect(remove_other_, &QPushButton::clicked, this, [this] {
    const int row = other_table_->currentRow();
    if (row < 0 || row >= static_cast<int>(fields_.other_carriers.size())) return;
    fields_.other_carriers.erase(fields_.other_carriers.begin() + row);
    show_other_carriers();
    user_edit();
  });
  connect(other_table_, &QTableWidget::itemSelectionChanged, this,
          [this] { remove_other_->setEnabled(!other_table_->selectedItems().isEmpty()); });
  remove_other_->setEnabled(false);
}

void CoordinationPanel::build_locks(QVBoxLayout* column) {
  auto* box = new QGroupBox(tr("Locked units (kept as they are)"));
  auto* layout = new QVBoxLayout(box);
  lock_list_ = new QListWidget;
  lock_list_->setObjectName(QStringLiteral("locked_units"));
  lock_list_->setAccessibleName(tr("Locked units"));
  lock_list_->setMinimumHeight(70);
  auto* label = new QLabel(tr("&Locked units (space ticks):"));
  label->setBuddy(lock_list_);
  layout->addWidget(label);
  layout->addWidget(lock_list_);
  column->addWidget(box);
  connect(lock_list_, &QListWidget::itemChanged, this, [this](QListWidgetItem* item) {
    if (loading_) return;
    const std::string key = item->data(Qt::UserRole).toString().toStdString();
    if (item->checkState() == Qt::Checked) {
      fields_.locked.insert(key);
    } else {
      fields_.locked.erase(key);
    }
    user_edit();
  });
}

void CoordinationPanel::show_exclusions() {
  exclusion_table_->setRowCount(static_cast<int>(fields_.exclusions.size()));
  for (int row = 0; row < exclusion_table_->rowCount(); ++row) {
    const auto& e = fields_.exclusions[static_cast<std::size_t>(row)];
    exclusion_table_->setItem(row, 0, new QTableWidgetItem(mhz(e.from_khz)));
    exclusion_table_->setItem(row, 1, new QTableWidgetItem(mhz(e.to_khz)));
    exclusion_table_->setItem(row, 2, new QTableWidgetItem(QString::fromStdString(e.note)));
  }
  remove_exclusion_->setEnabled(!exclusion_table_->selectedItems().isEmpty());
}

void CoordinationPanel::show_other_carriers() {
  other_table_->setRowCount(static_cast<int>(fields_.other_carriers.size()));
  for (int row = 0; row < other_table_->rowCount(); ++row) {
    const auto& o = fields_.other_carriers[static_cast<std::size_t>(row)];
    other_table_->setItem(row, 0, new QTableWidgetItem(mhz(o.frequency_khz)));
    other_table_->setItem(row, 1, new QTableWidgetItem(QString::fromStdString(o.note)));
  }
  remove_other_->setEnabled(!other_table_->selectedItems().isEmpty());
}

void CoordinationPanel::show_units() {
  loading_ = true;
  lock_list_->clear();
  for (const auto& [key, settings] : units_) {
    QString text = QString::fromStdString(key);
    if (!settings.unit_name.empty())
      text += QStringLiteral(" (%1)").arg(QString::fromStdString(settings.unit_name));
    auto* item = new QListWidgetItem(text, lock_list_);
    item->setData(Qt::UserRole, QString::fromStdString(key));
    item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsUserCheckable);
    item->setCheckState(fields_.locked.count(key) > 0 ? Qt::Checked : Qt::Unchecked);
  }
  loading_ = false;
}

void CoordinationPanel::show_conflicts() {
  conflict_list_->clear();
  const auto& all = analysis_.conflicts;
  for (std::size_t i = 0; i < all.size() && i < MAX_LISTED; ++i) {
    auto* item = new QListWidgetItem(QString::fromStdString(coord::describe(all[i], analysis_)),
                                     conflict_list_);
    const coord::Carrier* victim = analysis_.carrier(all[i].victim_khz);
    const auto& sources = all[i].sources.empty() && victim ? victim->sources : all[i].sources;
    const auto unit = std::find_if(sources.begin(), sources.end(),
                                   [](const coord::Source& s) { return !s.is_other(); });
    if (unit == sources.end()) continue;
    item->setData(Qt::UserRole, QString::fromStdString(unit->key));
    item->setData(Qt::UserRole + 1, static_cast<int>(unit->channel));
  }
  if (all.size() > MAX_LISTED) {
    auto* more =
        new QListWidgetItem(tr("and %1 more").arg(all.size() - MAX_LISTED), conflict_list_);
    more->setFlags(Qt::ItemIsEnabled);
  }
}

void CoordinationPanel::set_units(const UnitSettingsMap& units) {
  const bool same_keys =
      units.size() == units_.size() &&
      std::equal(units.begin(), units.end(), units_.begin(), [](const auto& a, const auto& b) {
        return a.first == b.first && a.second.unit_name == b.second.unit_name;
      });
  units_ = units;
  // Typing a frequency must not rebuild the list under the user's focus.
  if (!same_keys) show_units();
  check();
}

void CoordinationPanel::load_show(const frontend::Show& show) {
  std::set<std::string> locked;
  for (const auto& u : show.units) {
    if (u.locked) locked.insert(u.key);
  }
  fields_.exclusions = show.exclusions;
  fields_.other_carriers = show.other_carriers;
  fields_.locked = std::move(locked);
  show_exclusions();
  show_other_carriers();
  show_units();
  set_profile(show.profile);
}

void CoordinationPanel::set_scan(std::vector<coord::ScanPoint> points, double threshold_dbm) {
  fields_.scan = std::move(points);
  fields_.scan_threshold_dbm = threshold_dbm;
  check();
}

void CoordinationPanel::store_in(frontend::Show& show) const {
  show.profile = fields_.profile;
  show.exclusions = fields_.exclusions;
  show.other_carriers = fields_.other_carriers;
  for (auto& u : show.units) u.locked = fields_.locked.count(u.key) > 0;
}

void CoordinationPanel::set_profile(const coord::Profile& profile) {
  fields_.profile = profile;
  loading_ = true;
  spacing_->setValue(
      static_cast<int>(std::min<std::uint32_t>(profile.carrier_spacing_khz, MAX_GUARD_KHZ)));
  im3_2tone_->setValue(
      static_cast<int>(std::min<std::uint32_t>(profile.im3_2tone_khz, MAX_GUARD_KHZ)));
  im3_3tone_->setValue(
      static_cast<int>(std::min<std::uint32_t>(profile.im3_3tone_khz, MAX_GUARD_KHZ)));
  im5_2tone_->setValue(
      static_cast<int>(std::min<std::uint32_t>(profile.im5_2tone_khz, MAX_GUARD_KHZ)));
  loading_ = false;
  check();
}

void CoordinationPanel::set_exclusions(std::vector<coord::Exclusion> exclusions) {
  fields_.exclusions = std::move(exclusions);
  show_exclusions();
  check();
}

void CoordinationPanel::set_other_carriers(std::vector<coord::OtherCarrier> carriers) {
  fields_.other_carriers = std::move(carriers);
  show_other_carriers();
  check();
}

void CoordinationPanel::set_locked(std::set<std::string> keys) {
  fields_.locked = std::move(keys);
  show_units();
  check();
}

QString CoordinationPanel::conflict_count_text(std::size_t conflicts, bool complete) {
  if (!complete) return tr("Over %1 conflicts").arg(conflicts);
  if (conflicts == 0) return tr("No conflicts");
  return conflicts == 1 ? tr("1 conflict") : tr("%1 conflicts").arg(conflicts);
}

void CoordinationPanel::changeEvent(QEvent* event) {
  QWidget::changeEvent(event);
  // The count's colour is picked for the palette; a switch to a dark theme picks it again.
  if (event->type() == QEvent::PaletteChange) check();
}

void CoordinationPanel::user_edit() {
  check();
  emit fields_edited();
}

void CoordinationPanel::check() {
  analysis_ = coord::analyse(scenario());
  const std::size_t n = analysis_.conflicts.size();
  const Theme theme = theme_for(palette());
  conflicts_->setText(conflict_count_text(n, analysis_.complete));
  conflicts_->setAccessibleName(conflicts_->text());
  // Weight as well as colour, so the count stands out without telling by colour alone. A style
  // sheet costs a re-polish, so it is set only when it changes, not on every keystroke.
  const QString style = QStringLiteral("QLabel { color: %1; font-weight: %2; }")
                            .arg((n == 0 ? theme.ok : theme.problem).name(),
                                 n == 0 ? QStringLiteral("normal") : QStringLiteral("bold"));
  if (conflicts_->styleSheet() != style) conflicts_->setStyleSheet(style);
  show_conflicts();
  emit analysed(fields_, analysis_);
}

}  // namespace owl::desktop
