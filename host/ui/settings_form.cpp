#include "ui/settings_form.hpp"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QRegularExpressionValidator>
#include <QSpinBox>
#include <QStyledItemDelegate>
#include <QTableWidget>
#include <QVBoxLayout>

#include "ui/labels.hpp"

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

}  // namespace

SettingsForm::SettingsForm(QWidget* parent) : QWidget(parent) {
  name_ = new QLineEdit;
  name_->setObjectName(QStringLiteral("unit_name"));
  name_->setPlaceholderText(tr("1-15 of A-Z a-z 0-9 - _"));
  serial_ = new QLabel;
  serial_->setObjectName(QStringLiteral("serial"));
  range_ = new QLabel;
  range_->setObjectName(QStringLiteral("range"));
  delay_ = new QSpinBox;
  delay_->setObjectName(QStringLiteral("delay_ms"));
  delay_->setRange(0, 65535);
  delay_->setSingleStep(5);
  delay_->setSuffix(tr(" ms"));
  encryption_ = new QLineEdit;
  encryption_->setObjectName(QStringLiteral("encryption"));
  encryption_->setValidator(new QRegularExpressionValidator(
      QRegularExpression(QStringLiteral("[0-9A-Fa-f]{0,6}")), encryption_));
  encryption_->setPlaceholderText(tr("six hex digits"));
  boot_announce_ = new QCheckBox(tr("Announce at boot"));
  boot_announce_->setObjectName(QStringLiteral("boot_announce"));
  gain_boost_ = new QCheckBox(tr("Gain boost"));
  gain_boost_->setObjectName(QStringLiteral("gain_boost"));

  static const std::array<const char*, OptionCount> object_names = {
      "voice_prompts", "hph_mode", "led",       "charge",       "squelch", "ab_button",
      "star_button",   "rf_mode",  "compander", "battery_type", "audio_eq"};
  for (std::size_t i = 0; i < combos_.size(); ++i) {
    combos_[i] = new QComboBox;
    combos_[i]->setObjectName(QString::fromLatin1(object_names[i]));
    connect(combos_[i], &QComboBox::currentIndexChanged, this, &SettingsForm::changed);
  }
  // A write always keeps the unit's RF mode, so offering a choice would mislead.
  combos_[RfMode]->setEnabled(false);
  combos_[RfMode]->setToolTip(tr("The unit keeps its RF mode; it cannot be changed by a write."));

  auto* general = new QFormLayout;
  general->addRow(tr("&Name"), name_);
  general->addRow(tr("Serial number"), serial_);
  general->addRow(tr("Frequency range"), range_);
  general->addRow(tr("&Delay"), delay_);
  general->addRow(tr("Encryption"), encryption_);
  general->addRow(QString(), boot_announce_);
  general->addRow(QString(), gain_boost_);

  auto* options = new QFormLayout;
  options->addRow(tr("Voice prompts"), combos_[VoicePrompts]);
  options->addRow(tr("Headphone mode"), combos_[HphMode]);
  options->addRow(tr("LED"), combos_[Led]);
  options->addRow(tr("Charge"), combos_[Charge]);
  options->addRow(tr("Squelch"), combos_[Squelch]);
  options->addRow(tr("A/B button"), combos_[AbButton]);
  options->addRow(tr("* button"), combos_[StarButton]);
  options->addRow(tr("RF mode"), combos_[RfMode]);
  options->addRow(tr("Compander"), combos_[Compander]);
  options->addRow(tr("Battery type"), combos_[BatteryType]);
  options->addRow(tr("Bass boost"), combos_[AudioEq]);

  build_channel_table();

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

  connect(name_, &QLineEdit::textEdited, this, &SettingsForm::changed);
  connect(encryption_, &QLineEdit::textEdited, this, &SettingsForm::changed);
  connect(delay_, &QSpinBox::valueChanged, this, &SettingsForm::changed);
  connect(boot_announce_, &QCheckBox::toggled, this, &SettingsForm::changed);
  connect(gain_boost_, &QCheckBox::toggled, this, &SettingsForm::changed);
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
  connect(channels_, &QTableWidget::itemChanged, this, &SettingsForm::changed);
}

void SettingsForm::changed() {
  if (!loading_ && loaded_) emit edited();
}

void SettingsForm::set_options(const EnumOptions& options) {
  options_ = options;
}

QString SettingsForm::frequency_note() const {
  return frequency_note_->text();
}

void SettingsForm::keep_editor_open_for(const QWidget* control) {
  keep_editor_open_.append(control);
}

QString SettingsForm::commit_edit() {
  if (!delay_->hasAcceptableInput()) {
    delay_->setFocus();
    return tr("Delay: type a number of milliseconds from %1 to %2")
        .arg(delay_->minimum())
        .arg(delay_->maximum());
  }
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

OptionField SettingsForm::field_of(Option option) {
  static constexpr std::array<OptionField, OptionCount> fields = {
      OptionField::VoicePrompts, OptionField::HphMode,     OptionField::Led,    OptionField::Charge,
      OptionField::Squelch,      OptionField::Button,      OptionField::Button, OptionField::RfMode,
      OptionField::Compander,    OptionField::BatteryType, OptionField::AudioEq};
  return fields[option];
}

const std::vector<std::string>& SettingsForm::names_for(Option option) const {
  switch (option) {
    case VoicePrompts:
      return options_.voice_prompts;
    case HphMode:
      return options_.hph_mode;
    case Led:
      return options_.led;
    case Charge:
      return options_.charge;
    case Squelch:
      return options_.squelch;
    case AbButton:
    case StarButton:
      return options_.button_action;
    case RfMode:
      return options_.rf_mode;
    case Compander:
      return options_.compander;
    case BatteryType:
      return options_.battery_type;
    case AudioEq:
    case OptionCount:
      break;
  }
  return options_.audio_eq;
}

void SettingsForm::fill_combo(Option option, const std::string& value) {
  QComboBox* combo = combos_[option];
  combo->clear();
  const OptionField field = field_of(option);
  for (const auto& name : names_for(option)) combo->addItem(option_label(field, name), q(name));
  int at = -1;
  for (int i = 0; i < combo->count() && at < 0; ++i) {
    if (combo->itemData(i).toString().compare(q(value), Qt::CaseInsensitive) == 0) at = i;
  }
  if (at < 0) {
    // A code the unit reported without a name: shown as its number so it can be written back.
    combo->addItem(q(value), q(value));
    at = combo->count() - 1;
    combo->setItemData(
        at, tr("The unit reported code %1, which has no name in this app.").arg(q(value)),
        Qt::ToolTipRole);
  }
  combo->setCurrentIndex(at);
}

void SettingsForm::load(const UiSettings& settings) {
  loading_ = true;
  base_ = settings;
  name_->setText(q(settings.unit_name));
  serial_->setText(QString::number(settings.serial));
  range_->setText(tr("%1 – %2 MHz").arg(mhz_text(settings.min_freq), mhz_text(settings.max_freq)));
  delay_->setValue(settings.delay_ms);
  encryption_->setText(q(settings.encryption));
  boot_announce_->setChecked(settings.boot_announce);
  gain_boost_->setChecked(settings.gain_boost);
  fill_combo(VoicePrompts, settings.voice_prompts);
  fill_combo(HphMode, settings.hph_mode);
  fill_combo(Led, settings.led);
  fill_combo(Charge, settings.charge);
  fill_combo(Squelch, settings.squelch);
  fill_combo(AbButton, settings.ab_button);
  fill_combo(StarButton, settings.star_button);
  fill_combo(RfMode, settings.rf_mode);
  fill_combo(Compander, settings.compander);
  fill_combo(BatteryType, settings.battery_type);
  fill_combo(AudioEq, settings.audio_eq);

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
  loaded_ = true;
  setEnabled(true);
  loading_ = false;
}

void SettingsForm::clear() {
  loading_ = true;
  loaded_ = false;
  base_ = {};
  name_->clear();
  serial_->clear();
  range_->clear();
  delay_->setValue(0);
  encryption_->clear();
  for (auto* combo : combos_) combo->clear();
  channels_->setRowCount(0);
  frequency_note_->clear();
  setEnabled(false);
  loading_ = false;
}

UiSettings SettingsForm::form() const {
  UiSettings s = base_;
  s.unit_name = name_->text().toStdString();
  s.delay_ms = static_cast<std::uint16_t>(delay_->value());
  s.encryption = encryption_->text().toStdString();
  s.boot_announce = boot_announce_->isChecked();
  s.gain_boost = gain_boost_->isChecked();
  auto text = [this](Option o) { return combos_[o]->currentData().toString().toStdString(); };
  s.voice_prompts = text(VoicePrompts);
  s.hph_mode = text(HphMode);
  s.led = text(Led);
  s.charge = text(Charge);
  s.squelch = text(Squelch);
  s.ab_button = text(AbButton);
  s.star_button = text(StarButton);
  s.rf_mode = text(RfMode);
  s.compander = text(Compander);
  s.battery_type = text(BatteryType);
  s.audio_eq = text(AudioEq);
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
