#include "ui/settings_form.hpp"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QDialog>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalBlocker>
#include <QSpinBox>
#include <QStyledItemDelegate>
#include <QTableWidget>
#include <QVBoxLayout>

#include "ui/channel_text.hpp"
#include "ui/labels.hpp"
#include "ui/theme.hpp"

namespace owl::desktop {

namespace {

enum ChannelColumn { FrequencyColumn, EnabledColumn, DelayColumn, VotingColumn };

QString q(const std::string& s) {
  return QString::fromStdString(s);
}

QTableWidgetItem* check_item(bool on) {
  auto* item = new QTableWidgetItem;
  item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsUserCheckable | Qt::ItemIsSelectable);
  item->setCheckState(on ? Qt::Checked : Qt::Unchecked);
  return item;
}

bool checked(const QTableWidget* table, int row, int column) {
  const QTableWidgetItem* item = table->item(row, column);
  return item != nullptr && item->checkState() == Qt::Checked;
}

// A frequency cell holds kHz as its data and shows MHz.
constexpr int KHZ_ROLE = Qt::UserRole;

void set_frequency(QTableWidgetItem* item, std::uint32_t khz) {
  item->setData(KHZ_ROLE, khz);
  item->setText(mhz_text(khz));
}

class FrequencyDelegate : public QStyledItemDelegate {
 public:
  FrequencyDelegate(const UiSettings* unit, QLabel* note, const QList<const QWidget*>* keep_open,
                    QObject* parent)
      : QStyledItemDelegate(parent), unit_(unit), note_(note), keep_open_(keep_open) {}

  QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem&,
                        const QModelIndex& index) const override {
    auto* edit = new QLineEdit(parent);
    edit->setObjectName(QStringLiteral("frequency_editor"));
    edit->setAccessibleName(index.model()->headerData(index.column(), Qt::Horizontal).toString());
    edit->setValidator(new FrequencyValidator(lo(), hi(), note_, edit));
    edit->setToolTip(frequency_hint());
    connect(edit, &QObject::destroyed, note_, [n = note_] { n->clear(); });
    // The cell itself shows that the text cannot be kept, and why, not only the note below.
    connect(edit, &QLineEdit::textChanged, edit, [this, edit](const QString& text) {
      const FrequencyInput in = parse_frequency(text, lo(), hi());
      const Theme t = theme_for(edit->palette());
      edit->setToolTip(in.khz ? frequency_hint() : in.error);
      edit->setStyleSheet(
          in.khz
              ? QString()
              : QStringLiteral("QLineEdit { border: 2px solid %1; }").arg(t.error_border.name()));
    });
    return edit;
  }
  void setEditorData(QWidget* editor, const QModelIndex& index) const override {
    static_cast<QLineEdit*>(editor)->setText(mhz_text(index.data(KHZ_ROLE).toUInt()));
  }
  void setModelData(QWidget* editor, QAbstractItemModel* model,
                    const QModelIndex& index) const override {
    const FrequencyInput in = read(static_cast<QLineEdit*>(editor));
    if (!in.khz) return;
    model->setData(index, *in.khz, KHZ_ROLE);
    model->setData(index, mhz_text(*in.khz), Qt::DisplayRole);
  }

  FrequencyInput read(const QLineEdit* editor) const {
    return parse_frequency(editor->text(), lo(), hi());
  }
  // Commits the editor's value and closes it; the caller has checked that the value is good.
  void finish(QLineEdit* editor) {
    emit commitData(editor);
    emit closeEditor(editor, NoHint);
  }

 protected:
  bool eventFilter(QObject* object, QEvent* event) override {
    // Focus moving to a write button leaves the cell open, so that the write commits the typed
    // value or refuses with the reason. Committing here would start a check that disables the
    // button before the click lands, and a refused value would vanish without a word.
    if (event->type() == QEvent::FocusOut && keep_open_->contains(QApplication::focusWidget())) {
      return false;
    }
    return QStyledItemDelegate::eventFilter(object, event);
  }

 private:
  std::uint32_t lo() const { return std::min(unit_->min_freq, unit_->max_freq); }
  std::uint32_t hi() const { return std::max(unit_->min_freq, unit_->max_freq); }

  const UiSettings* unit_;
  QLabel* note_;
  const QList<const QWidget*>* keep_open_;
};

QString channel_count(int n) {
  return n == 1 ? QCoreApplication::translate("SettingsForm", "1 channel")
                : QCoreApplication::translate("SettingsForm", "%1 channels").arg(n);
}

// Start frequency and step for a run of channels, checked as typed: the Fill button is only
// offered for a run that fits the unit.
class FillDialog : public QDialog {
 public:
  FillDialog(const UiSettings& unit, const QList<int>& selected, int row_count,
             std::uint32_t first_khz, std::int32_t step_khz, QWidget* parent)
      : QDialog(parent), unit_(unit), selected_(selected) {
    setWindowTitle(tr("Fill frequencies"));
    setObjectName(QStringLiteral("fill_dialog"));
    for (int r = 0; r < row_count; ++r) all_.append(r);

    start_ = new QLineEdit(mhz_text(first_khz));
    start_->setObjectName(QStringLiteral("fill_start"));
    start_->setAccessibleName(tr("Start frequency (MHz)"));
    start_->setToolTip(frequency_hint());
    step_ = new QSpinBox;
    step_->setObjectName(QStringLiteral("fill_step"));
    step_->setAccessibleName(tr("Step (kHz)"));
    step_->setRange(-100000, 100000);
    step_->setSingleStep(static_cast<int>(CHANNEL_STEP_KHZ));
    step_->setSuffix(tr(" kHz"));
    step_->setValue(step_khz);
    selected_only_ = new QRadioButton(tr("Se&lected channels (%1)").arg(selected.size()));
    selected_only_->setObjectName(QStringLiteral("fill_selected"));
    selected_only_->setEnabled(!selected.isEmpty());
    every_ = new QRadioButton(tr("&All channels (%1)").arg(row_count));
    every_->setObjectName(QStringLiteral("fill_all"));
    (selected.size() > 1 ? selected_only_ : every_)->setChecked(true);
    preview_ = new QLabel;
    preview_->setObjectName(QStringLiteral("fill_preview"));
    preview_->setWordWrap(true);
    preview_->setMinimumWidth(preview_->fontMetrics().averageCharWidth() * 48);

    buttons_ = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
    buttons_->button(QDialogButtonBox::Ok)->setText(tr("&Fill"));
    connect(buttons_, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons_, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto* form = new QFormLayout;
    form->addRow(tr("&Start frequency (MHz)"), start_);
    form->addRow(tr("Ste&p"), step_);
    form->addRow(tr("Channels"), selected_only_);
    form->addRow(QString(), every_);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(preview_);
    layout->addWidget(buttons_);

    connect(start_, &QLineEdit::textChanged, this, &FillDialog::update);
    connect(step_, &QSpinBox::valueChanged, this, &FillDialog::update);
    connect(selected_only_, &QRadioButton::toggled, this, &FillDialog::update);
    update();
  }

  QList<int> rows() const { return selected_only_->isChecked() ? selected_ : all_; }
  std::uint32_t start_khz() const { return start_khz_; }
  std::int32_t step_khz() const { return step_->value(); }

 private:
  void update() {
    const QList<int> targets = rows();
    const FrequencyRead start = read_frequency(start_->text().toStdString(), 0, UINT32_MAX);
    QString problem;
    FrequencyFill fill;
    if (!start.khz) {
      problem = tr("Start: %1").arg(q(start.error));
    } else {
      start_khz_ = *start.khz;
      fill = fill_frequencies(*start.khz, step_->value(), static_cast<int>(targets.size()),
                              std::min(unit_.min_freq, unit_.max_freq),
                              std::max(unit_.min_freq, unit_.max_freq));
      if (fill.failed >= 0) {
        problem = tr("Channel %1: %2").arg(targets[fill.failed] + 1).arg(q(fill.error));
      }
    }
    const Theme t = theme_for(palette());
    if (!problem.isEmpty()) {
      preview_->setText(problem);
      preview_->setStyleSheet(QStringLiteral("color: %1").arg(t.problem.name()));
    } else if (!targets.isEmpty()) {
      preview_->setText(tr("Channel %1 gets %2 MHz, channel %3 gets %4 MHz.")
                            .arg(targets.front() + 1)
                            .arg(mhz_text(fill.frequencies.front()))
                            .arg(targets.back() + 1)
                            .arg(mhz_text(fill.frequencies.back())));
      preview_->setStyleSheet(QString());
    }
    preview_->setAccessibleName(preview_->text());
    buttons_->button(QDialogButtonBox::Ok)->setEnabled(problem.isEmpty() && !targets.isEmpty());
  }

  UiSettings unit_;
  QList<int> selected_;
  QList<int> all_;
  std::uint32_t start_khz_ = 0;
  QLineEdit* start_ = nullptr;
  QSpinBox* step_ = nullptr;
  QRadioButton* selected_only_ = nullptr;
  QRadioButton* every_ = nullptr;
  QLabel* preview_ = nullptr;
  QDialogButtonBox* buttons_ = nullptr;
};

}  // namespace

SettingsForm::SettingsForm(QWidget* parent)
    : QWidget(parent), fields_(this, [this] { changed(); }) {
  auto* general = new QFormLayout;
  auto* options = new QFormLayout;
  fields_.lay_out(general, options);

  build_channel_table();
  build_channel_actions();

  auto* top = new QHBoxLayout;
  top->addLayout(general, 1);
  top->addLayout(options, 1);
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->addLayout(top);
  // Alt+H reaches the channels from anywhere; the form is long to Tab through.
  auto* channels_label = new QLabel(tr("C&hannels"));
  channels_label->setBuddy(channels_);
  layout->addWidget(channels_label);
  layout->addWidget(channels_, 1);
  layout->addWidget(frequency_note_);

  clear();
}

void SettingsForm::build_channel_table() {
  channels_ = new QTableWidget(0, 4);
  channels_->setObjectName(QStringLiteral("channels"));
  channels_->setHorizontalHeaderLabels(
      {tr("Frequency (MHz)"), tr("Enabled"), tr("Delay"), tr("Voting")});
  channels_->horizontalHeaderItem(FrequencyColumn)
      ->setToolTip(tr("Type MHz (216.500) or kHz (216500); the unit tunes in 5 kHz steps."));
  channels_->horizontalHeaderItem(DelayColumn)
      ->setToolTip(tr("Delay: this channel's audio is delayed by the unit's Delay setting."));
  channels_->horizontalHeaderItem(VotingColumn)
      ->setToolTip(tr("Voting: the channel takes part in voting, in which the unit picks the "
                      "best-received of the voting channels."));
  channels_->setAccessibleName(tr("Channels"));
  // Arrow keys move between cells; Tab leaves the table.
  channels_->setTabKeyNavigation(false);
  frequency_note_ = new QLabel;
  frequency_note_->setObjectName(QStringLiteral("frequency_note"));
  frequency_note_->setMinimumHeight(frequency_note_->fontMetrics().lineSpacing());
  channels_->setItemDelegateForColumn(
      FrequencyColumn, new FrequencyDelegate(&base_, frequency_note_, &keep_editor_open_, this));
  channels_->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
  channels_->horizontalHeader()->setStretchLastSection(true);
  channels_->verticalHeader()->setDefaultSectionSize(22);
  connect(channels_, &QTableWidget::itemChanged, this, [this](QTableWidgetItem* item) {
    if (item->column() == FrequencyColumn) mark_frequency(item->row());
    changed();
  });
  channels_->installEventFilter(this);
}

void SettingsForm::build_channel_actions() {
  auto action = [this](const QString& text, const QString& name, const QKeySequence& key,
                       const QString& tip, void (SettingsForm::*slot)()) {
    auto* a = new QAction(text, this);
    a->setObjectName(name);
    a->setShortcut(key);
    a->setToolTip(tip);
    a->setStatusTip(tip);
    connect(a, &QAction::triggered, this, slot);
    channels_->addAction(a);
    return a;
  };
  copy_channels_ =
      action(tr("&Copy channels"), QStringLiteral("copy_channels"),
             QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_C),
             tr("Copy the selected channels (all when none is selected) as tab-separated text"),
             &SettingsForm::copy_channels);
  paste_channels_ =
      action(tr("&Paste channels"), QStringLiteral("paste_channels"),
             QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_V),
             tr("Paste tab-separated channels (from a spreadsheet, say) into the selected "
                "channels onward"),
             &SettingsForm::paste_channels);
  fill_frequencies_ = action(tr("&Fill frequencies…"), QStringLiteral("fill_frequencies"),
                             QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_F),
                             tr("Give channels frequencies from a start, a step apart"),
                             &SettingsForm::open_fill_dialog);
  // Right click or the menu key on the table offers the same actions.
  channels_->setContextMenuPolicy(Qt::ActionsContextMenu);
}

QList<QAction*> SettingsForm::channelActions() const {
  return {copy_channels_, paste_channels_, fill_frequencies_};
}

bool SettingsForm::eventFilter(QObject* object, QEvent* event) {
  // In the table, the usual copy and paste keys take whole rows, as a spreadsheet's do.
  if (object == channels_ && event->type() == QEvent::KeyPress && loaded_) {
    auto* key = static_cast<QKeyEvent*>(event);
    if (key->matches(QKeySequence::Copy)) {
      copy_channels();
      return true;
    }
    if (key->matches(QKeySequence::Paste)) {
      paste_channels();
      return true;
    }
  }
  return QWidget::eventFilter(object, event);
}

void SettingsForm::changeEvent(QEvent* event) {
  QWidget::changeEvent(event);
  // The marks take their colours from the palette, which a dark desktop theme swaps.
  if (event->type() == QEvent::PaletteChange && channels_ != nullptr) mark_frequencies();
}

void SettingsForm::select_channel(int row) {
  if (row < 0 || row >= channels_->rowCount()) return;
  channels_->clearSelection();
  channels_->setCurrentCell(row, 0);
  channels_->selectRow(row);
  channels_->setFocus(Qt::OtherFocusReason);
}

QList<int> SettingsForm::selected_channel_rows() const {
  QList<int> rows;
  for (const QModelIndex& index : channels_->selectionModel()->selectedIndexes()) {
    if (!rows.contains(index.row())) rows.append(index.row());
  }
  std::sort(rows.begin(), rows.end());
  return rows;
}

QString SettingsForm::channel_text() const {
  const UiSettings now = form();
  QList<int> rows = selected_channel_rows();
  if (rows.isEmpty()) {
    for (int r = 0; r < channels_->rowCount(); ++r) rows.append(r);
  }
  std::vector<NumberedChannel> numbered;
  for (int r : rows) numbered.push_back({r + 1, now.channels[static_cast<std::size_t>(r)]});
  return q(channels_to_text(numbered));
}

void SettingsForm::copy_channels() {
  if (!loaded_) return;
  // What is copied or replaced is what is on screen, a value still being typed included; an
  // editor left open would write its value over a paste when it closes.
  if (const QString refused = commit_edit(); !refused.isEmpty()) {
    set_channel_note(tr("Nothing copied: %1").arg(refused), true);
    return;
  }
  const QString text = channel_text();
  QGuiApplication::clipboard()->setText(text);
  set_channel_note(tr("Copied %1.").arg(channel_count(static_cast<int>(text.count('\n')) - 1)),
                   false);
}

void SettingsForm::paste_channels() {
  if (!loaded_) return;
  QString refused = commit_edit();
  if (refused.isEmpty()) refused = paste_channel_text(QGuiApplication::clipboard()->text());
  if (!refused.isEmpty()) set_channel_note(tr("Nothing pasted: %1").arg(refused), true);
}

QString SettingsForm::paste_channel_text(const QString& text) {
  const ChannelPaste paste =
      parse_channel_text(text.toStdString(), std::min(base_.min_freq, base_.max_freq),
                         std::max(base_.min_freq, base_.max_freq));
  if (paste.error) return q(paste.error->text());
  const QList<int> selected = selected_channel_rows();
  QList<int> rows;
  if (paste.rows.size() == 1 && selected.size() > 1) {
    // One line into several selected rows sets them all, as a spreadsheet does.
    rows = selected;
  } else {
    const int first = selected.isEmpty() ? std::max(channels_->currentRow(), 0) : selected.front();
    const int room = channels_->rowCount() - first;
    if (static_cast<int>(paste.rows.size()) > room) {
      return tr("line %1: this unit has %2 from channel %3 on")
          .arg(paste.rows[static_cast<std::size_t>(room)].line)
          .arg(channel_count(room))
          .arg(first + 1);
    }
    for (int i = 0; i < static_cast<int>(paste.rows.size()); ++i) rows.append(first + i);
  }
  const UiSettings now = form();
  std::vector<UiChannel> channels;
  for (int i = 0; i < rows.size(); ++i) {
    const PastedChannel& line =
        paste.rows[paste.rows.size() == 1 ? 0 : static_cast<std::size_t>(i)];
    channels.push_back(line.applied_to(now.channels[static_cast<std::size_t>(rows[i])]));
  }
  {
    const QSignalBlocker quiet(channels_);
    for (int i = 0; i < rows.size(); ++i) {
      const UiChannel& ch = channels[static_cast<std::size_t>(i)];
      set_frequency(channels_->item(rows[i], FrequencyColumn), ch.frequency);
      channels_->item(rows[i], EnabledColumn)
          ->setCheckState(ch.channel_enable ? Qt::Checked : Qt::Unchecked);
      channels_->item(rows[i], DelayColumn)
          ->setCheckState(ch.delay_enable ? Qt::Checked : Qt::Unchecked);
      channels_->item(rows[i], VotingColumn)
          ->setCheckState(ch.voting_enable ? Qt::Checked : Qt::Unchecked);
      mark_frequency(rows[i]);
    }
  }
  set_channel_note(tr("Pasted %1.").arg(channel_count(static_cast<int>(rows.size()))), false);
  changed();
  return {};
}

QString SettingsForm::fill_channel_frequencies(const QList<int>& rows, std::uint32_t start_khz,
                                               std::int32_t step_khz) {
  const FrequencyFill fill = fill_frequencies(start_khz, step_khz, static_cast<int>(rows.size()),
                                              std::min(base_.min_freq, base_.max_freq),
                                              std::max(base_.min_freq, base_.max_freq));
  if (fill.failed >= 0) return tr("channel %1: %2").arg(rows[fill.failed] + 1).arg(q(fill.error));
  {
    const QSignalBlocker quiet(channels_);
    for (int i = 0; i < rows.size(); ++i) {
      set_frequency(channels_->item(rows[i], FrequencyColumn),
                    fill.frequencies[static_cast<std::size_t>(i)]);
      mark_frequency(rows[i]);
    }
  }
  set_channel_note(tr("Filled %1.").arg(channel_count(static_cast<int>(rows.size()))), false);
  changed();
  return {};
}

void SettingsForm::open_fill_dialog() {
  if (!loaded_ || channels_->rowCount() == 0) return;
  if (const QString refused = commit_edit(); !refused.isEmpty()) {
    set_channel_note(tr("Nothing filled: %1").arg(refused), true);
    return;
  }
  const QList<int> selected = selected_channel_rows();
  const int first = selected.isEmpty() ? 0 : selected.front();
  FillDialog dialog(base_, selected, channels_->rowCount(),
                    form().channels[static_cast<std::size_t>(first)].frequency, fill_step_khz_,
                    this);
  if (dialog.exec() != QDialog::Accepted) return;
  fill_step_khz_ = dialog.step_khz();
  const QString refused =
      fill_channel_frequencies(dialog.rows(), dialog.start_khz(), dialog.step_khz());
  if (!refused.isEmpty()) set_channel_note(tr("Nothing filled: %1").arg(refused), true);
}

void SettingsForm::mark_frequency(int row) {
  QTableWidgetItem* item = channels_->item(row, FrequencyColumn);
  if (item == nullptr) return;
  const QString problem =
      q(frequency_problem(item->data(KHZ_ROLE).toUInt(), std::min(base_.min_freq, base_.max_freq),
                          std::max(base_.min_freq, base_.max_freq)));
  const QSignalBlocker quiet(channels_);
  if (problem.isEmpty()) {
    item->setData(Qt::BackgroundRole, QVariant());
    item->setData(Qt::ForegroundRole, QVariant());
    item->setToolTip(QString());
    item->setData(Qt::AccessibleDescriptionRole, QVariant());
    return;
  }
  const Theme t = theme_for(palette());
  item->setBackground(t.error_background);
  item->setForeground(t.error_text);
  item->setToolTip(problem);
  item->setData(Qt::AccessibleDescriptionRole, problem);
}

void SettingsForm::mark_frequencies() {
  for (int r = 0; r < channels_->rowCount(); ++r) mark_frequency(r);
}

void SettingsForm::set_channel_note(const QString& text, bool problem) {
  frequency_note_->setText(text);
  frequency_note_->setStyleSheet(
      problem ? QStringLiteral("color: %1").arg(theme_for(palette()).problem.name()) : QString());
}

void SettingsForm::changed() {
  if (!loading_ && loaded_) emit edited();
}

void SettingsForm::set_options(const EnumOptions& options) {
  fields_.set_options(options);
  if (!loaded_) return;
  // A form loaded before the engine named its options (a show opened at start) now offers
  // them, in words; the values and the edits stay as they are.
  const UiSettings now = form();
  const bool was_loading = loading_;
  loading_ = true;
  fields_.refill_options(now);
  loading_ = was_loading;
}

QString SettingsForm::frequency_note() const {
  return frequency_note_->text();
}

void SettingsForm::keep_editor_open_for(const QWidget* control) {
  keep_editor_open_.append(control);
}

QString SettingsForm::commit_edit() {
  if (QString problem = fields_.commit(); !problem.isEmpty()) return problem;
  auto* delegate =
      static_cast<FrequencyDelegate*>(channels_->itemDelegateForColumn(FrequencyColumn));
  for (int r = 0; r < channels_->rowCount(); ++r) {
    auto* edit = qobject_cast<QLineEdit*>(
        channels_->indexWidget(channels_->model()->index(r, FrequencyColumn)));
    if (edit == nullptr) continue;
    const FrequencyInput in = delegate->read(edit);
    if (!in.khz) {
      edit->setFocus();
      return tr("channel %1: %2").arg(r + 1).arg(in.error);
    }
    delegate->finish(edit);
  }
  return {};
}

void SettingsForm::load(const UiSettings& settings) {
  loading_ = true;
  base_ = settings;
  fields_.load(settings);

  // Starting from no rows closes an editor still open on the previous settings.
  channels_->setRowCount(0);
  channels_->setRowCount(static_cast<int>(settings.channels.size()));
  for (int r = 0; r < channels_->rowCount(); ++r) {
    const UiChannel& ch = settings.channels[static_cast<std::size_t>(r)];
    auto* freq = new QTableWidgetItem;
    set_frequency(freq, ch.frequency);
    channels_->setItem(r, FrequencyColumn, freq);
    channels_->setItem(r, EnabledColumn, check_item(ch.channel_enable));
    channels_->setItem(r, DelayColumn, check_item(ch.delay_enable));
    channels_->setItem(r, VotingColumn, check_item(ch.voting_enable));
  }
  mark_frequencies();
  // A note about the channels shown before would mislead under these.
  set_channel_note(QString(), false);
  loaded_ = true;
  for (QAction* a : channelActions()) a->setEnabled(true);
  setEnabled(true);
  loading_ = false;
}

void SettingsForm::clear() {
  loading_ = true;
  loaded_ = false;
  base_ = {};
  fields_.clear();
  channels_->setRowCount(0);
  set_channel_note(QString(), false);
  for (QAction* a : channelActions()) a->setEnabled(false);
  setEnabled(false);
  loading_ = false;
}

UiSettings SettingsForm::form() const {
  UiSettings s = fields_.read(base_);
  s.channels.clear();
  for (int r = 0; r < channels_->rowCount(); ++r) {
    UiChannel ch;
    const QTableWidgetItem* freq = channels_->item(r, FrequencyColumn);
    ch.frequency = freq != nullptr ? freq->data(KHZ_ROLE).toUInt() : 0;
    ch.channel_enable = checked(channels_, r, EnabledColumn);
    ch.delay_enable = checked(channels_, r, DelayColumn);
    ch.voting_enable = checked(channels_, r, VotingColumn);
    s.channels.push_back(ch);
  }
  return s;
}

}  // namespace owl::desktop
