#include "ui/simulator_panel.hpp"

#include <QFormLayout>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QSpinBox>
#include <algorithm>

#include "ui/labels.hpp"

namespace owl::desktop {

namespace {

// What a simulated unit's band edges may be, in kHz.
constexpr std::uint32_t SIM_MIN_KHZ = 1;
constexpr std::uint32_t SIM_MAX_KHZ = 9999999;

}  // namespace

SimulatorPanel::SimulatorPanel(QWidget* parent) : QGroupBox(tr("Simulated units"), parent) {
  id_ = new QLineEdit;
  id_->setObjectName(QStringLiteral("sim_id"));
  auto spin = [](const char* name, int lo, int hi, int value) {
    auto* s = new QSpinBox;
    s->setObjectName(QString::fromLatin1(name));
    s->setRange(lo, hi);
    s->setValue(value);
    return s;
  };
  serial_ = spin("sim_serial", 0, 999999999, 1003);
  // Band edges in MHz like the channel cells, read by the same rule.
  auto band_edge = [](const char* name, std::uint32_t khz) {
    auto* edit = new QLineEdit(mhz_text(khz));
    edit->setObjectName(QString::fromLatin1(name));
    edit->setValidator(new FrequencyValidator(SIM_MIN_KHZ, SIM_MAX_KHZ, nullptr, edit));
    edit->setToolTip(frequency_hint());
    return edit;
  };
  low_ = band_edge("sim_low", 192000);
  high_ = band_edge("sim_high", 216975);
  // Settings with more than ten channels cannot be read back from a unit.
  channels_ = spin("sim_channels", 0, 10, 8);
  auto* add = new QPushButton(tr("Add simulated unit"));
  add->setObjectName(QStringLiteral("sim_add"));
  remove_ = new QPushButton(tr("Remove selected unit"));
  remove_->setObjectName(QStringLiteral("sim_remove"));
  connect(add, &QPushButton::clicked, this, &SimulatorPanel::add);
  connect(remove_, &QPushButton::clicked, this, &SimulatorPanel::remove_requested);

  auto* form = new QFormLayout(this);
  form->addRow(tr("Id"), id_);
  form->addRow(tr("Serial"), serial_);
  form->addRow(tr("Band low (MHz)"), low_);
  form->addRow(tr("Band high (MHz)"), high_);
  form->addRow(tr("Channels"), channels_);
  auto* buttons = new QHBoxLayout;
  buttons->addWidget(add);
  buttons->addWidget(remove_);
  form->addRow(buttons);
  suggest();
}

void SimulatorPanel::set_listed(const QStringList& keys) {
  listed_ = keys;
  suggest();
}

void SimulatorPanel::set_remove_enabled(bool enabled) {
  remove_->setEnabled(enabled);
}

void SimulatorPanel::add() {
  const QString id = id_->text().trimmed();
  const FrequencyInput low = parse_frequency(low_->text(), SIM_MIN_KHZ, SIM_MAX_KHZ);
  const FrequencyInput high = parse_frequency(high_->text(), SIM_MIN_KHZ, SIM_MAX_KHZ);
  QString error;
  if (id.isEmpty()) {
    error = tr("give the simulated unit an id");
  } else if (listed_.contains(id)) {
    error = tr("a unit with the id %1 is already listed").arg(id);
  } else if (!low.khz) {
    error = tr("band low: %1").arg(low.error);
  } else if (!high.khz) {
    error = tr("band high: %1").arg(high.error);
  } else if (*low.khz > *high.khz) {
    error = tr("band low must not be above band high");
  }
  if (!error.isEmpty()) {
    emit refused(error);
    return;
  }
  emit add_requested({id, static_cast<quint32>(serial_->value()), *low.khz, *high.khz,
                      static_cast<quint32>(channels_->value())});
  // Offer the next free id and serial, so adding several units takes one click each.
  requested_ = id;
  suggested_.clear();
  id_->clear();
  suggest();
}

void SimulatorPanel::suggest() {
  const QString shown = id_->text().trimmed();
  if (!shown.isEmpty() && shown != suggested_) return;
  if (listed_.contains(requested_)) requested_.clear();
  // One past the highest SIMnnnn listed or asked for, however those units were added.
  static const QRegularExpression numbered(QStringLiteral("^SIM(\\d{1,9})$"));
  int next = 1;
  auto count = [&](const QString& key) {
    const QRegularExpressionMatch m = numbered.match(key);
    if (m.hasMatch()) next = std::max(next, m.captured(1).toInt() + 1);
  };
  for (const auto& key : listed_) count(key);
  count(requested_);
  suggested_ = QStringLiteral("SIM%1").arg(next, 4, 10, QLatin1Char('0'));
  id_->setText(suggested_);
  // The serial follows the simulator's own numbering (SIM0001 is 1001), so it is free too.
  serial_->setValue(1000 + next);
}

}  // namespace owl::desktop
