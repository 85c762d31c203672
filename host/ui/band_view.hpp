#pragma once

#include <QString>
#include <QWidget>
#include <cstdint>
#include <vector>

#include "records.hpp"

namespace owl::desktop {

struct BandUnit {
  QString key;
  QString name;
  std::uint32_t min_freq = 0;
  std::uint32_t max_freq = 0;
  std::vector<UiChannel> channels;
};

// One lane per unit across a shared frequency axis, so that two units on one frequency line up.
class BandView : public QWidget {
  Q_OBJECT

 public:
  explicit BandView(QWidget* parent = nullptr);

  void set_units(std::vector<BandUnit> units);
  void set_selected(const QString& key);
  const std::vector<BandUnit>& units() const { return units_; }

  // Frequencies (kHz, ascending) on which enabled channels of two or more units meet.
  static std::vector<std::uint32_t> clashes(const std::vector<BandUnit>& units);

  QSize sizeHint() const override;
  QSize minimumSizeHint() const override;

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  std::vector<BandUnit> units_;
  std::vector<std::uint32_t> clashes_;
  QString selected_;
};

}  // namespace owl::desktop
