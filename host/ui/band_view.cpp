#include "ui/band_view.hpp"

#include <QPainter>
#include <QPainterPath>
#include <algorithm>
#include <cmath>
#include <map>
#include <set>

#include "ui/theme.hpp"

namespace owl::desktop {

namespace {

constexpr std::uint32_t STEP_KHZ = 5;

}  // namespace

int BandLayout::minimum_height(std::size_t units) {
  return LEGEND_HEIGHT + static_cast<int>(std::max<std::size_t>(1, units)) * MIN_LANE_HEIGHT +
         AXIS_HEIGHT;
}

BandLayout band_layout(const std::vector<BandUnit>& units, QSize size) {
  BandLayout l;
  std::uint32_t lo = UINT32_MAX;
  std::uint32_t hi = 0;
  for (const auto& u : units) {
    lo = std::min({lo, u.min_freq, u.max_freq});
    hi = std::max({hi, u.min_freq, u.max_freq});
    for (const auto& ch : u.channels) {
      lo = std::min(lo, ch.frequency);
      hi = std::max(hi, ch.frequency);
    }
  }
  if (lo > hi) lo = hi = 0;
  const double pad = std::max(50.0, (static_cast<double>(hi) - lo) * 0.02);
  l.f0 = lo - pad;
  l.f1 = hi + pad;
  l.right = std::max(l.left + 1, size.width() - 12.0);

  const int lanes = static_cast<int>(std::max<std::size_t>(1, units.size()));
  l.lane_height =
      std::clamp((size.height() - BandLayout::LEGEND_HEIGHT - BandLayout::AXIS_HEIGHT) / lanes,
                 BandLayout::MIN_LANE_HEIGHT, BandLayout::LANE_HEIGHT);
  l.axis_y = l.lanes_top + l.lane_height * lanes;

  // About one labelled tick per 90 px, on a round number of MHz.
  const double span = l.f1 - l.f0;
  const double wanted = std::max(1.0, (l.right - l.left) / 90.0);
  for (double s : {1000.0, 2000.0, 5000.0, 10000.0, 20000.0, 50000.0, 100000.0, 200000.0, 500000.0,
                   1000000.0}) {
    l.tick_step = s;
    if (span / s <= wanted) break;
  }
  return l;
}

BandView::BandView(QWidget* parent) : QWidget(parent) {
  setObjectName(QStringLiteral("band_view"));
  setAccessibleName(tr("Band: one lane per unit over a common frequency axis"));
  setSizePolicy(QSizePolicy::Expanding, QSizePolicy::MinimumExpanding);
}

std::vector<std::uint32_t> BandView::shared_frequencies(const std::vector<BandUnit>& units) {
  std::map<std::uint32_t, int> users;
  for (const auto& unit : units) {
    std::set<std::uint32_t> own;
    for (const auto& ch : unit.channels) {
      if (ch.channel_enable) own.insert(ch.frequency);
    }
    for (auto f : own) ++users[f];
  }
  std::vector<std::uint32_t> out;
  for (const auto& [f, n] : users) {
    if (n > 1) out.push_back(f);
  }
  return out;
}

bool BandView::channel_problem(const BandUnit& unit, const UiChannel& ch) {
  return ch.channel_enable &&
         (ch.frequency < std::min(unit.min_freq, unit.max_freq) ||
          ch.frequency > std::max(unit.min_freq, unit.max_freq) || ch.frequency % STEP_KHZ != 0);
}

void BandView::set_units(std::vector<BandUnit> units) {
  units_ = std::move(units);
  shared_ = shared_frequencies(units_);
  updateGeometry();
  update();
}

void BandView::set_selected(const QString& key) {
  selected_ = key;
  update();
}

QSize BandView::sizeHint() const {
  const int lanes = std::max<int>(1, static_cast<int>(units_.size()));
  return {640,
          BandLayout::LEGEND_HEIGHT + BandLayout::AXIS_HEIGHT + lanes * BandLayout::LANE_HEIGHT};
}

QSize BandView::minimumSizeHint() const {
  return {320, BandLayout::minimum_height(units_.size())};
}

void BandView::paint_legend(QPainter& p, const Theme& theme, int left) const {
  int x = left;
  for (const auto& [color, text] :
       {std::pair{theme.enabled, tr("enabled")}, std::pair{theme.disabled, tr("disabled")},
        std::pair{theme.shared, tr("shared frequency (units share a mix)")},
        std::pair{theme.problem, tr("problem: outside the unit's range or step")}}) {
    p.fillRect(x, 5, 10, 10, color);
    p.setPen(palette().text().color());
    p.drawText(x + 14, 14, text);
    x += 24 + p.fontMetrics().horizontalAdvance(text);
  }
}

void BandView::paintEvent(QPaintEvent*) {
  QPainter p(this);
  p.fillRect(rect(), palette().base());
  p.setPen(palette().text().color());

  if (units_.empty()) {
    p.drawText(rect(), Qt::AlignCenter, tr("No units"));
    return;
  }
  const Theme theme = theme_for(palette());
  const BandLayout l = band_layout(units_, size());
  QFont small = font();
  small.setPointSizeF(small.pointSizeF() * 0.85);

  p.setFont(small);
  paint_legend(p, theme, static_cast<int>(l.left));

  p.setRenderHint(QPainter::Antialiasing);
  const QFontMetrics name_metrics(font());
  for (std::size_t i = 0; i < units_.size(); ++i) {
    const BandUnit& u = units_[i];
    const int top = l.lanes_top + static_cast<int>(i) * l.lane_height;
    const int h = l.lane_height;
    if (u.key == selected_) p.fillRect(QRect(0, top, width(), h), palette().alternateBase());
    p.setPen(palette().text().color());
    p.setFont(font());
    const QString label = u.name.isEmpty() ? u.key : u.name;
    p.drawText(QRect(4, top, BandLayout::NAME_WIDTH - 8, h), Qt::AlignVCenter | Qt::AlignLeft,
               name_metrics.elidedText(label, Qt::ElideRight, BandLayout::NAME_WIDTH - 8));
    const double rx0 = l.x_of(std::min(u.min_freq, u.max_freq));
    const double rx1 = l.x_of(std::max(u.min_freq, u.max_freq));
    p.setPen(Qt::NoPen);
    p.setBrush(theme.track);
    p.drawRoundedRect(QRectF(rx0, top + h * 0.3, std::max(1.0, rx1 - rx0), h * 0.4), 3, 3);
    for (const auto& ch : u.channels) {
      const double x = l.x_of(ch.frequency);
      if (!ch.channel_enable) {
        p.setPen(QPen(theme.disabled, 1));
        p.drawLine(QPointF(x, top + h * 0.3), QPointF(x, top + h * 0.7));
        continue;
      }
      const bool shared = std::binary_search(shared_.begin(), shared_.end(), ch.frequency);
      const QColor colour = channel_problem(u, ch) ? theme.problem
                            : shared               ? theme.shared
                                                   : theme.enabled;
      p.setPen(QPen(colour, 3));
      p.drawLine(QPointF(x, top + 3), QPointF(x, top + h - 3));
      if (shared) {
        // A small diamond tells a shared frequency apart by shape, not by colour alone.
        QPainterPath diamond;
        diamond.moveTo(x, top + 1);
        diamond.lineTo(x + 4, top + 5);
        diamond.lineTo(x, top + 9);
        diamond.lineTo(x - 4, top + 5);
        diamond.closeSubpath();
        p.fillPath(diamond, theme.shared);
      }
    }
  }

  // A shared frequency is marked across every lane, so the units' channels line up.
  p.setPen(QPen(theme.shared, 1, Qt::DashLine));
  for (auto f : shared_) p.drawLine(QPointF(l.x_of(f), l.lanes_top), QPointF(l.x_of(f), l.axis_y));

  p.setPen(palette().text().color());
  p.drawLine(QPointF(l.left, l.axis_y), QPointF(l.right, l.axis_y));
  p.setFont(small);
  for (double f = std::ceil(l.f0 / l.tick_step) * l.tick_step; f <= l.f1; f += l.tick_step) {
    const double x = l.x_of(f);
    p.drawLine(QPointF(x, l.axis_y), QPointF(x, l.axis_y + 4));
    p.drawText(QRectF(x - 45, l.axis_y + 4, 90, BandLayout::AXIS_HEIGHT - 4),
               Qt::AlignHCenter | Qt::AlignTop,
               QStringLiteral("%1 MHz").arg(f / 1000.0, 0, 'f', 0));
  }
}

}  // namespace owl::desktop
