#include "ui/band_view.hpp"

#include <QHelpEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QToolTip>
#include <algorithm>
#include <climits>
#include <cmath>
#include <map>
#include <set>

#include "ui/theme.hpp"

namespace owl::desktop {

namespace {

constexpr std::uint32_t STEP_KHZ = 5;

}  // namespace

int BandLayout::minimum_height(std::size_t lanes) {
  return LEGEND_HEIGHT + static_cast<int>(std::max<std::size_t>(1, lanes)) * MIN_LANE_HEIGHT +
         AXIS_HEIGHT;
}

std::optional<std::size_t> BandLayout::lane_at(double y) const {
  if (y < lanes_top || y >= axis_y || lane_height <= 0) return std::nullopt;
  return static_cast<std::size_t>((y - lanes_top) / lane_height);
}

BandLayout band_layout(const std::vector<BandUnit>& units, QSize size, std::size_t extra_lanes) {
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

  const int lanes = static_cast<int>(std::max<std::size_t>(1, units.size() + extra_lanes));
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

std::optional<BandHit> band_hit(const BandLayout& layout, const std::vector<BandUnit>& units,
                                QPointF pos) {
  constexpr double REACH_PX = 5;
  const auto lane = layout.lane_at(pos.y());
  if (!lane || *lane >= units.size()) return std::nullopt;
  std::optional<BandHit> best;
  double best_distance = REACH_PX + 1;
  bool best_enabled = false;
  const auto& channels = units[*lane].channels;
  for (std::size_t c = 0; c < channels.size(); ++c) {
    const double d = std::abs(layout.x_of(channels[c].frequency) - pos.x());
    const bool enabled = channels[c].channel_enable;
    if (d > REACH_PX) continue;
    if (best && (best_enabled && !enabled)) continue;
    if (best && best_enabled == enabled && d >= best_distance) continue;
    best = BandHit{*lane, c};
    best_distance = d;
    best_enabled = enabled;
  }
  return best;
}

std::vector<ConflictMark> conflict_marks(const std::vector<BandUnit>& units,
                                         const coord::Analysis& analysis) {
  std::map<std::string, std::size_t> lane_of;
  for (std::size_t i = 0; i < units.size(); ++i) lane_of[units[i].key.toStdString()] = i;
  std::map<std::pair<std::size_t, std::uint32_t>, std::vector<std::size_t>> at;
  for (std::size_t i = 0; i < analysis.conflicts.size(); ++i) {
    const coord::Conflict& c = analysis.conflicts[i];
    const coord::Carrier* victim = analysis.carrier(c.victim_khz);
    const auto& sources = !c.sources.empty() || victim == nullptr ? c.sources : victim->sources;
    for (const coord::Source& s : sources) {
      const auto lane = s.is_other()           ? units.size()
                        : lane_of.count(s.key) ? lane_of[s.key]
                                               : SIZE_MAX;
      if (lane == SIZE_MAX) continue;
      auto& list = at[{lane, c.victim_khz}];
      // A victim with channels of one unit on it is still one ring per lane.
      if (list.empty() || list.back() != i) list.push_back(i);
    }
  }
  std::vector<ConflictMark> out;
  out.reserve(at.size());
  for (auto& [where, list] : at) out.push_back({where.first, where.second, std::move(list)});
  return out;
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
  refresh_marks();
  updateGeometry();
  update();
}

void BandView::set_selected(const QString& key) {
  selected_ = key;
  update();
}

void BandView::set_coordination(const CoordinationFields& fields, coord::Analysis analysis) {
  fields_ = fields;
  analysis_ = std::move(analysis);
  shaded_ = fields.exclusions;
  const auto scanned =
      coord::scan_exclusions(fields.scan, fields.scan_threshold_dbm, fields.step_khz);
  shaded_.insert(shaded_.end(), scanned.begin(), scanned.end());
  scan_ = fields.scan;
  std::stable_sort(scan_.begin(), scan_.end(),
                   [](const auto& a, const auto& b) { return a.frequency_khz < b.frequency_khz; });
  refresh_products();
  refresh_marks();
  updateGeometry();
  update();
}

void BandView::refresh_products() {
  // Found only while shown: for a crowded band they cost far more than the check itself.
  products_.clear();
  if (!show_products_ || !fields_) return;
  std::vector<std::uint32_t> carriers;
  carriers.reserve(analysis_.carriers.size());
  for (const auto& c : analysis_.carriers) carriers.push_back(c.frequency_khz);
  products_ = nearby_products(carriers, fields_->profile);
}

void BandView::set_show_products(bool on) {
  if (on == show_products_) return;
  show_products_ = on;
  refresh_products();
  updateGeometry();
  update();
  emit show_products_changed(on);
}

void BandView::refresh_marks() {
  marks_ = conflict_marks(units_, analysis_);
}

std::size_t BandView::extra_lanes() const {
  const bool others = fields_ && !fields_->other_carriers.empty();
  return (fields_ && show_products_) || others ? 1 : 0;
}

BandLayout BandView::layout() const {
  return band_layout(units_, size(), extra_lanes());
}

QSize BandView::sizeHint() const {
  const int lanes = std::max<int>(1, static_cast<int>(units_.size() + extra_lanes()));
  return {640,
          BandLayout::LEGEND_HEIGHT + BandLayout::AXIS_HEIGHT + lanes * BandLayout::LANE_HEIGHT};
}

QSize BandView::minimumSizeHint() const {
  return {320, BandLayout::minimum_height(units_.size() + extra_lanes())};
}

QString BandView::mark_text(const ConflictMark& mark) const {
  // A crowded band can break hundreds of rules on one carrier; the first few say enough.
  constexpr std::size_t MAX_LINES = 12;
  QStringList lines;
  for (std::size_t i = 0; i < mark.conflicts.size() && i < MAX_LINES; ++i) {
    lines << QString::fromStdString(
        coord::describe(analysis_.conflicts[mark.conflicts[i]], analysis_));
  }
  if (mark.conflicts.size() > MAX_LINES) {
    lines << tr("and %n more", nullptr, static_cast<int>(mark.conflicts.size() - MAX_LINES));
  }
  return lines.join(QLatin1Char('\n'));
}

QString BandView::tooltip_at(QPointF pos) const {
  constexpr double REACH_PX = 5;
  const BandLayout l = layout();
  const auto lane = l.lane_at(pos.y());
  if (!lane) return {};
  if (show_products_) {
    for (const ConflictMark& m : marks_) {
      if (m.lane == *lane && std::abs(l.x_of(m.khz) - pos.x()) <= REACH_PX) return mark_text(m);
    }
  }
  if (const auto hit = band_hit(l, units_, pos)) {
    const BandUnit& u = units_[hit->unit];
    const UiChannel& ch = u.channels[hit->channel];
    return tr("%1 channel %2: %3 MHz%4")
        .arg(u.key)
        .arg(hit->channel + 1)
        .arg(QString::fromStdString(coord::mhz_text(ch.frequency)))
        .arg(ch.channel_enable ? QString() : tr(" (disabled)"));
  }
  if (*lane == units_.size() && fields_) {
    for (const auto& o : fields_->other_carriers) {
      if (std::abs(l.x_of(o.frequency_khz) - pos.x()) > REACH_PX) continue;
      return tr("other carrier %1 MHz %2")
          .arg(QString::fromStdString(coord::mhz_text(o.frequency_khz)),
               QString::fromStdString(o.note));
    }
    if (show_products_) {
      for (const Product& pr : products_) {
        if (std::abs(l.x_of(static_cast<double>(pr.frequency_khz)) - pos.x()) > REACH_PX) continue;
        return QString::fromStdString(
            coord::product_text(pr.kind, pr.frequency_khz, pr.generators_khz));
      }
    }
  }
  const double khz = l.khz_at(pos.x());
  for (const auto& e : shaded_) {
    if (khz < e.from_khz || khz > e.to_khz) continue;
    return tr("%1 %2-%3 MHz %4")
        .arg(e.from_scan ? tr("scan") : tr("exclusion"),
             QString::fromStdString(coord::mhz_text(e.from_khz)),
             QString::fromStdString(coord::mhz_text(e.to_khz)), QString::fromStdString(e.note))
        .trimmed();
  }
  return {};
}

bool BandView::event(QEvent* event) {
  if (event->type() == QEvent::ToolTip) {
    const auto* help = static_cast<QHelpEvent*>(event);
    const QString text = tooltip_at(help->pos());
    if (text.isEmpty()) {
      QToolTip::hideText();
      event->ignore();
    } else {
      QToolTip::showText(help->globalPos(), text, this);
    }
    return true;
  }
  return QWidget::event(event);
}

void BandView::mousePressEvent(QMouseEvent* event) {
  if (event->button() == Qt::LeftButton) {
    if (const auto hit = band_hit(layout(), units_, event->position())) {
      emit carrier_clicked(units_[hit->unit].key, static_cast<int>(hit->channel + 1));
      event->accept();
      return;
    }
  }
  QWidget::mousePressEvent(event);
}

void BandView::paint_legend(QPainter& p, const Theme& theme, int left) const {
  std::vector<std::pair<QColor, QString>> entries{
      {theme.enabled, tr("enabled")},
      {theme.disabled, tr("disabled")},
      {theme.shared, tr("shared frequency (units share a mix)")},
      {theme.problem, tr("problem: outside the unit's range or step")}};
  if (fields_ && show_products_) {
    entries.emplace_back(theme.product, tr("IM product"));
    entries.emplace_back(theme.problem, tr("ring: breaks a rule (hover)"));
  }
  int x = left;
  for (const auto& [color, text] : entries) {
    p.fillRect(x, 5, 10, 10, color);
    p.setPen(palette().text().color());
    p.drawText(x + 14, 14, text);
    x += 24 + p.fontMetrics().horizontalAdvance(text);
  }
}

void BandView::paint_exclusions(QPainter& p, const Theme& theme, const BandLayout& l) const {
  for (const auto& e : shaded_) {
    const double x0 = l.x_of(e.from_khz);
    const double x1 = std::max(x0 + 1, l.x_of(e.to_khz));
    const QRectF area(x0, l.lanes_top, x1 - x0, l.axis_y - l.lanes_top);
    QColor fill = e.from_scan ? theme.scan_trace : theme.problem;
    fill.setAlpha(e.from_scan ? 60 : 40);
    p.fillRect(area, fill);
    // Hatching tells a forbidden range apart by pattern, not by colour alone.
    QColor hatch = fill;
    hatch.setAlpha(e.from_scan ? 140 : 90);
    p.fillRect(area, QBrush(hatch, e.from_scan ? Qt::FDiagPattern : Qt::BDiagPattern));
  }
}

void BandView::paint_scan(QPainter& p, const Theme& theme, const BandLayout& l) const {
  if (scan_.empty()) return;
  // Levels from -120 to -20 dBm fill the height of the lanes; one point per pixel column, the
  // strongest, so a dense export draws as fast as a sparse one.
  constexpr double FLOOR = -120;
  constexpr double CEILING = -20;
  const auto y_of = [&](double dbm) {
    const double t = (std::clamp(dbm, FLOOR, CEILING) - FLOOR) / (CEILING - FLOOR);
    return l.axis_y - t * (l.axis_y - l.lanes_top);
  };
  QPolygonF trace;
  int column = INT_MIN;
  for (const auto& point : scan_) {
    const double x = l.x_of(point.frequency_khz);
    if (x < l.left || x > l.right) continue;
    if (static_cast<int>(x) == column) {
      trace.back().setY(std::min(trace.back().y(), y_of(point.level_dbm)));
      continue;
    }
    column = static_cast<int>(x);
    trace << QPointF(column, y_of(point.level_dbm));
  }
  if (trace.isEmpty()) return;
  // A faint fill under the trace keeps the noise floor quiet behind the lanes.
  QPolygonF area = trace;
  area << QPointF(trace.back().x(), l.axis_y) << QPointF(trace.front().x(), l.axis_y);
  QColor under = theme.scan_trace;
  under.setAlpha(35);
  p.setPen(Qt::NoPen);
  p.setBrush(under);
  p.drawPolygon(area);
  p.setBrush(Qt::NoBrush);
  p.setPen(QPen(theme.scan_trace, 1));
  p.drawPolyline(trace);
}

void BandView::paint_lane(QPainter& p, const Theme& theme, const BandLayout& l,
                          std::size_t i) const {
  const BandUnit& u = units_[i];
  const int top = l.lane_top(i);
  const int h = l.lane_height;
  p.setPen(palette().text().color());
  const QString label = u.name.isEmpty() ? u.key : u.name;
  p.drawText(QRect(4, top, BandLayout::NAME_WIDTH - 8, h), Qt::AlignVCenter | Qt::AlignLeft,
             fontMetrics().elidedText(label, Qt::ElideRight, BandLayout::NAME_WIDTH - 8));
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

void BandView::paint_extra_lane(QPainter& p, const Theme& theme, const BandLayout& l) const {
  const int top = l.lane_top(units_.size());
  const int h = l.lane_height;
  p.setPen(palette().text().color());
  p.drawText(QRect(4, top, BandLayout::NAME_WIDTH - 8, h), Qt::AlignVCenter | Qt::AlignLeft,
             show_products_ ? tr("Other, IM") : tr("Other"));
  if (show_products_) {
    for (const Product& pr : products_) {
      const double x = l.x_of(static_cast<double>(pr.frequency_khz));
      p.setPen(QPen(theme.product, 1));
      p.drawLine(QPointF(x, top + h * 0.45), QPointF(x, top + h - 2));
    }
  }
  if (!fields_) return;
  for (const auto& o : fields_->other_carriers) {
    const double x = l.x_of(o.frequency_khz);
    p.setPen(QPen(palette().text().color(), 3));
    p.drawLine(QPointF(x, top + 3), QPointF(x, top + h - 3));
  }
}

void BandView::paint_marks(QPainter& p, const Theme& theme, const BandLayout& l) const {
  const double r = std::min(7.0, l.lane_height / 2.0 - 1);
  p.setBrush(Qt::NoBrush);
  p.setPen(QPen(theme.problem, 2));
  for (const ConflictMark& m : marks_) {
    const double cy = l.lane_top(m.lane) + l.lane_height / 2.0;
    p.drawEllipse(QPointF(l.x_of(m.khz), cy), r, r);
  }
}

void BandView::paint_axis(QPainter& p, const BandLayout& l) const {
  p.setPen(palette().text().color());
  p.drawLine(QPointF(l.left, l.axis_y), QPointF(l.right, l.axis_y));
  for (double f = std::ceil(l.f0 / l.tick_step) * l.tick_step; f <= l.f1; f += l.tick_step) {
    const double x = l.x_of(f);
    p.drawLine(QPointF(x, l.axis_y), QPointF(x, l.axis_y + 4));
    p.drawText(QRectF(x - 45, l.axis_y + 4, 90, BandLayout::AXIS_HEIGHT - 4),
               Qt::AlignHCenter | Qt::AlignTop,
               QStringLiteral("%1 MHz").arg(f / 1000.0, 0, 'f', 0));
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
  const BandLayout l = layout();
  QFont small = font();
  small.setPointSizeF(small.pointSizeF() * 0.85);

  p.setFont(small);
  paint_legend(p, theme, static_cast<int>(l.left));
  p.setRenderHint(QPainter::Antialiasing);
  const QRectF lanes(0, l.lanes_top, width(), l.axis_y - l.lanes_top);
  for (std::size_t i = 0; i < units_.size(); ++i) {
    if (units_[i].key == selected_) {
      p.fillRect(QRect(0, l.lane_top(i), width(), l.lane_height), palette().alternateBase());
    }
  }
  // The forbidden ranges and the scan lie under the marks, right of the names.
  p.setClipRect(lanes.adjusted(l.left, 0, 0, 0));
  paint_exclusions(p, theme, l);
  paint_scan(p, theme, l);
  p.setClipRect(lanes);
  p.setFont(font());
  for (std::size_t i = 0; i < units_.size(); ++i) paint_lane(p, theme, l, i);
  if (extra_lanes() > 0) paint_extra_lane(p, theme, l);
  // A shared frequency is marked across every lane, so the units' channels line up.
  p.setPen(QPen(theme.shared, 1, Qt::DashLine));
  for (auto f : shared_) p.drawLine(QPointF(l.x_of(f), l.lanes_top), QPointF(l.x_of(f), l.axis_y));
  if (show_products_) paint_marks(p, theme, l);
  p.setClipping(false);
  p.setFont(small);
  paint_axis(p, l);
}

}  // namespace owl::desktop
