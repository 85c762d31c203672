#pragma once

#include <QPointF>
#include <QSize>
#include <QString>
#include <QWidget>
#include <cstdint>
#include <optional>
#include <vector>

#include "records.hpp"
#include "ui/coordination_input.hpp"

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
  double khz_at(double x) const { return f0 + (x - left) / (right - left) * (f1 - f0); }
  int lane_top(std::size_t lane) const { return lanes_top + static_cast<int>(lane) * lane_height; }
  // The lane at height y, or nullopt above or below the lanes.
  std::optional<std::size_t> lane_at(double y) const;
  // The height that shows every lane at its smallest and the axis.
  static int minimum_height(std::size_t lanes);
};
// `extra_lanes` go below the units' lanes (the lane of other carriers and products).
BandLayout band_layout(const std::vector<BandUnit>& units, QSize size, std::size_t extra_lanes = 0);

// A channel mark on the band: indexes into the units and their channels.
struct BandHit {
  std::size_t unit = 0;
  std::size_t channel = 0;  // 0-based
  friend bool operator==(const BandHit&, const BandHit&) = default;
};
// The channel drawn nearest to `pos` within a few pixels in the lane under it; an enabled
// channel wins over a disabled one at the same place.
std::optional<BandHit> band_hit(const BandLayout& layout, const std::vector<BandUnit>& units,
                                QPointF pos);

// Where a conflict's victim is drawn: the lane of each unit behind the victim carrier, or the
// lane after the units' for an other carrier. `conflicts` index Analysis::conflicts.
struct ConflictMark {
  std::size_t lane = 0;
  std::uint32_t khz = 0;
  std::vector<std::size_t> conflicts;
  friend bool operator==(const ConflictMark&, const ConflictMark&) = default;
};
// Sorted by lane, then frequency; units the analysis names but `units` lacks are left out.
std::vector<ConflictMark> conflict_marks(const std::vector<BandUnit>& units,
                                         const coord::Analysis& analysis);

// One lane per unit across a shared frequency axis, so that two units on one frequency line up.
// It grows with the number of units; put it into a scroll area.
// With coordination data it also shades exclusions, draws the scan trace under the lanes and,
// when products are shown, the intermodulation products near carriers and a ring on every
// channel that breaks a rule; hovering a ring says why.
class BandView : public QWidget {
  Q_OBJECT
  Q_PROPERTY(
      bool showProducts READ shows_products WRITE set_show_products NOTIFY show_products_changed)

 public:
  explicit BandView(QWidget* parent = nullptr);

  void set_units(std::vector<BandUnit> units);
  void set_selected(const QString& key);
  const std::vector<BandUnit>& units() const { return units_; }

  // The show's coordination fields and the analysis of the units on screen with them.
  void set_coordination(const CoordinationFields& fields, coord::Analysis analysis);
  bool shows_products() const { return show_products_; }
  void set_show_products(bool on);
  const std::vector<ConflictMark>& marks() const { return marks_; }
  const std::vector<Product>& products() const { return products_; }
  // The layout of the current size, with the lane of other carriers and products when shown.
  BandLayout layout() const;
  // What hovering at `pos` shows: a ring's conflicts, else a channel, a product or an exclusion.
  QString tooltip_at(QPointF pos) const;

  // Frequencies (kHz, ascending) on which enabled channels of two or more units meet. For
  // in-ear receivers that is how performers share a mix, so it is shown, not flagged.
  static std::vector<std::uint32_t> shared_frequencies(const std::vector<BandUnit>& units);
  // An enabled channel the unit cannot tune: outside its range or off the 5 kHz step.
  static bool channel_problem(const BandUnit& unit, const UiChannel& channel);

  QSize sizeHint() const override;
  QSize minimumSizeHint() const override;

 signals:
  // A click on a channel mark: the unit's key and the channel number (1-based, as the unit and
  // the conflict texts number them).
  void carrier_clicked(const QString& key, int channel);
  void show_products_changed(bool on);

 protected:
  void paintEvent(QPaintEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  bool event(QEvent* event) override;

 private:
  std::size_t extra_lanes() const;
  void refresh_marks();
  void refresh_products();
  void paint_legend(QPainter& p, const Theme& theme, int left) const;
  void paint_exclusions(QPainter& p, const Theme& theme, const BandLayout& l) const;
  void paint_scan(QPainter& p, const Theme& theme, const BandLayout& l) const;
  void paint_lane(QPainter& p, const Theme& theme, const BandLayout& l, std::size_t i) const;
  void paint_extra_lane(QPainter& p, const Theme& theme, const BandLayout& l) const;
  void paint_marks(QPainter& p, const Theme& theme, const BandLayout& l) const;
  void paint_axis(QPainter& p, const BandLayout& l) const;
  QString mark_text(const ConflictMark& mark) const;

  std::vector<BandUnit> units_;
  std::vector<std::uint32_t> shared_;
  QString selected_;
  bool show_products_ = false;
  std::optional<CoordinationFields> fields_;
  std::vector<coord::Exclusion> shaded_;  // the show's exclusions and the scan's ranges
  std::vector<coord::ScanPoint> scan_;    // ascending frequency
  coord::Analysis analysis_;
  std::vector<ConflictMark> marks_;
  std::vector<Product> products_;
};

}  // namespace owl::desktop
