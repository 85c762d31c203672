#pragma once

#include <QSize>
#include <QString>
#include <QWidget>
#include <cstdint>
#include <vector>

#include "records.hpp"

class QPainter;

namespace owl::desktop {

struct Theme;

struct BandUnit {
  QString key;
  QString name;
  std::uint32_t min_freq = 0;
  std::uint32_t max_freq = 0;
  std::vector<UiChannel> channels;
};

// Where everything of the band view goes for a given size: a shared frequency axis at the
// bottom, one lane per unit above it.
struct BandLayout {
  static constexpr int NAME_WIDTH = 110;
  static constexpr int LEGEND_HEIGHT = 20;
  static constexpr int AXIS_HEIGHT = 24;
  static constexpr int LANE_HEIGHT = 26;
  // Lanes shrink to this when there are many units; below it the view scrolls instead.
  static constexpr int MIN_LANE_HEIGHT = 18;

  double f0 = 0;  // kHz at the left end of the axis
  double f1 = 1;  // kHz at the right end
  double left = NAME_WIDTH;
  double right = NAME_WIDTH + 1;
  int lanes_top = LEGEND_HEIGHT;
  int lane_height = LANE_HEIGHT;
  int axis_y = LEGEND_HEIGHT;
  double tick_step = 1000;  // kHz between labelled ticks

  double x_of(double khz) const { return left + (khz - f0) / (f1 - f0) * (right - left); }
  // The height that shows every lane at its smallest and the axis.
  static int minimum_height(std::size_t units);
};
BandLayout band_layout(const std::vector<BandUnit>& units, QSize size);

// One lane per unit across a shared frequency axis, so that two units on one frequency line up.
// It grows with the number of units; put it into a scroll area.
class BandView : public QWidget {
  Q_OBJECT

 public:
  explicit BandView(QWidget* parent = nullptr);

  void set_units(std::vector<BandUnit> units);
  void set_selected(const QString& key);
  const std::vector<BandUnit>& units() const { return units_; }

  // Frequencies (kHz, ascending) on which enabled channels of two or more units meet. For
  // in-ear receivers that is how performers share a mix, so it is shown, not flagged.
  static std::vector<std::uint32_t> shared_frequencies(const std::vector<BandUnit>& units);
  // An enabled channel the unit cannot tune: outside its range or off the 5 kHz step.
  static bool channel_problem(const BandUnit& unit, const UiChannel& channel);

  QSize sizeHint() const override;
  QSize minimumSizeHint() const override;

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  void paint_legend(QPainter& p, const Theme& theme, int left) const;
  std::vector<BandUnit> units_;
  std::vector<std::uint32_t> shared_;
  QString selected_;
};

}  // namespace owl::desktop
