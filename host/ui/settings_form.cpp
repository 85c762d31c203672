#include "ui/settings_form.hpp"

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
#include <QTableWidget>
#include <QVBoxLayout>

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
  general->addRow(tr("Name"), name_);
  general->addRow(tr("Serial number"), serial_);
  general->addRow(tr("Frequency range"), range_);
  general->addRow(tr("Delay"), delay_);
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

  channels_ = new QTableWidget(0, 4);
  channels_->setObjectName(QStringLiteral("channels"));
  channels_->setHorizontalHeaderLabels(
      {tr("Frequency (kHz)"), tr("Enabled"), tr("Delay"), tr("Voting")});
  channels_->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
  channels_->horizontalHeader()->setStretchLastSection(true);
  channels_->verticalHeader()->setDefaultSectionSize(22);
  connect(channels_, &QTableWidget::itemChanged, this, &SettingsForm::changed);

  auto* top = new QHBoxLayout;
  top->addLayout(general, 1);
  top->addLayout(options, 1);
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->addLayout(top);
  layout->addWidget(channels_, 1);

  connect(name_, &QLineEdit::textEdited, this, &SettingsForm::changed);
  connect(encryption_, &QLineEdit::textEdited, this, &SettingsForm::changed);
  connect(delay_, &QSpinBox::valueChanged, this, &SettingsForm::changed);
  connect(boot_announce_, &QCheckBox::toggled, this, &SettingsForm::changed);
  connect(gain_boost_, &QCheckBox::toggled, this, &SettingsForm::changed);
  clear();
}

void SettingsForm::changed() {
  if (!loading_ && loaded_) emit edited();
}

void SettingsForm::set_options(const EnumOptions& options) {
  options_ = options;
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
  for (const auto& name : names_for(option)) combo->addItem(q(name));
  int at = combo->findText(q(value), Qt::MatchFixedString);
  if (at < 0) {
    // A code the unit reported without a name: shown as its number so it can be written back.
    combo->addItem(q(value));
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
  range_->setText(tr("%1 – %2 kHz").arg(settings.min_freq).arg(settings.max_freq));
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

  channels_->setRowCount(static_cast<int>(settings.channels.size()));
  for (int r = 0; r < channels_->rowCount(); ++r) {
    const UiChannel& ch = settings.channels[static_cast<std::size_t>(r)];
    auto* freq = new QTableWidgetItem;
    freq->setData(Qt::EditRole, ch.frequency);
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
  auto text = [this](Option o) { return combos_[o]->currentText().toStdString(); };
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
    ch.frequency = freq != nullptr ? freq->data(Qt::EditRole).toUInt() : 0;
    ch.channel_enable = checked(channels_, r, EnabledColumn);
    ch.delay_enable = checked(channels_, r, DelayColumn);
    ch.voting_enable = checked(channels_, r, VotingColumn);
    s.channels.push_back(ch);
  }
  return s;
}

}  // namespace owl::desktop
