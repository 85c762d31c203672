#include "ui/band_view.hpp"

#include <QPainter>
#include <QPainterPath>
#include <algorithm>
#include <map>
#include <set>

namespace owl::desktop {

namespace {

constexpr int NAME_WIDTH = 110;
constexpr int AXIS_HEIGHT = 24;
constexpr int LEGEND_HEIGHT = 18;
constexpr int LANE_HEIGHT = 26;

const QColor ENABLED(0x1f, 0x6f, 0xc5);
const QColor DISABLED(0x9a, 0xa0, 0xa6);
const QColor CLASH(0xd0, 0x24, 0x24);

}  // namespace

BandView::BandView(QWidget* parent) : QWidget(parent) {
  setObjectName(QStringLiteral("band_view"));
  setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
}

std::vector<std::uint32_t> BandView::clashes(const std::vector<BandUnit>& units) {
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

void BandView::set_units(std::vector<BandUnit> units) {
  units_ = std::move(units);
  clashes_ = clashes(units_);
  updateGeometry();
  update();
}

void BandView::set_selected(const QString& key) {
  selected_ = key;
  update();
}

QSize BandView::sizeHint() const {
  const int lanes = std::max<int>(1, static_cast<int>(units_.size()));
  return {640, LEGEND_HEIGHT + AXIS_HEIGHT + lanes * LANE_HEIGHT + 8};
}

QSize BandView::minimumSizeHint() const {
  return {320, LEGEND_HEIGHT + AXIS_HEIGHT + LANE_HEIGHT};
}

void BandView::paintEvent(QPaintEvent*) {
  QPainter p(this);
  p.setRenderHint(QPainter::Antialiasing);
  p.fillRect(rect(), palette().base());
  p.setPen(palette().text().color());

  if (units_.empty()) {
    p.drawText(rect(), Qt::AlignCenter, tr("No units"));
    return;
  }

  std::uint32_t lo = UINT32_MAX;
  std::uint32_t hi = 0;
  for (const auto& u : units_) {
    lo = std::min({lo, u.min_freq, u.max_freq});
    hi = std::max({hi, u.min_freq, u.max_freq});
    for (const auto& ch : u.channels) {
      lo = std::min(lo, ch.frequency);
      hi = std::max(hi, ch.frequency);
    }
  }
  const double pad = std::max(50.0, (static_cast<double>(hi) - lo) * 0.02);
  const double f0 = lo - pad;
  const double f1 = hi + pad;
  const double left = NAME_WIDTH;
  const double right = width() - 12;
  auto x_of = [&](double f) { return left + (f - f0) / (f1 - f0) * (right - left); };

  QFont small = font();
  small.setPointSizeF(small.pointSizeF() * 0.85);

  // Legend
  p.setFont(small);
  int lx = static_cast<int>(left);
  for (const auto& [color, text] :
       {std::pair{ENABLED, tr("enabled")}, std::pair{DISABLED, tr("disabled")},
        std::pair{CLASH, tr("clash: same frequency on two units")}}) {
    p.fillRect(lx, 5, 10, 10, color);
    p.setPen(palette().text().color());
    p.drawText(lx + 14, 14, text);
    lx += 24 + p.fontMetrics().horizontalAdvance(text);
  }

  const int lanes_top = LEGEND_HEIGHT + 2;
  const int lane_h = std::max(14, std::min(LANE_HEIGHT, (height() - lanes_top - AXIS_HEIGHT) /
                                                            static_cast<int>(units_.size())));
  const int axis_y = lanes_top + lane_h * static_cast<int>(units_.size());

  for (std::size_t i = 0; i < units_.size(); ++i) {
    const BandUnit& u = units_[i];
    const int top = lanes_top + static_cast<int>(i) * lane_h;
    if (u.key == selected_) p.fillRect(QRect(0, top, width(), lane_h), palette().alternateBase());
    p.setPen(palette().text().color());
    p.setFont(font());
    const QString label = u.name.isEmpty() ? u.key : u.name;
    p.drawText(QRect(4, top, NAME_WIDTH - 8, lane_h), Qt::AlignVCenter | Qt::AlignLeft,
               p.fontMetrics().elidedText(label, Qt::ElideRight, NAME_WIDTH - 8));
    const double rx0 = x_of(std::min(u.min_freq, u.max_freq));
    const double rx1 = x_of(std::max(u.min_freq, u.max_freq));
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0xdd, 0xe6, 0xf0));
    p.drawRoundedRect(QRectF(rx0, top + lane_h * 0.3, std::max(1.0, rx1 - rx0), lane_h * 0.4), 3,
                      3);
    for (const auto& ch : u.channels) {
      const double x = x_of(ch.frequency);
      const bool clash =
          ch.channel_enable && std::binary_search(clashes_.begin(), clashes_.end(), ch.frequency);
      if (ch.channel_enable) {
        p.setPen(QPen(clash ? CLASH : ENABLED, 3));
        p.drawLine(QPointF(x, top + 3), QPointF(x, top + lane_h - 3));
      } else {
        p.setPen(QPen(DISABLED, 1));
        p.drawLine(QPointF(x, top + lane_h * 0.3), QPointF(x, top + lane_h * 0.7));
      }
    }
  }

  // A clash is marked across every lane, so both units' channels line up under one red line.
  for (auto f : clashes_) {
    p.setPen(QPen(CLASH, 1, Qt::DashLine));
    p.drawLine(QPointF(x_of(f), lanes_top), QPointF(x_of(f), axis_y));
  }

  p.setPen(palette().text().color());
  p.drawLine(QPointF(left, axis_y), QPointF(right, axis_y));
  p.setFont(small);
  const double span = f1 - f0;
  double step = 1000;
  for (double s : {1000.0, 2000.0, 5000.0, 10000.0, 20000.0, 50000.0}) {
    step = s;
    if (span / s <= 10) break;
  }
  for (double f = std::ceil(f0 / step) * step; f <= f1; f += step) {
    const double x = x_of(f);
    p.drawLine(QPointF(x, axis_y), QPointF(x, axis_y + 4));
    p.drawText(QRectF(x - 40, axis_y + 4, 80, AXIS_HEIGHT - 4), Qt::AlignHCenter | Qt::AlignTop,
               QStringLiteral("%1 MHz").arg(f / 1000.0, 0, 'f', step < 1000 ? 3 : 0));
  }
}

}  // namespace owl::desktop
