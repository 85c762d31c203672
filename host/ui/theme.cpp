#include "ui/theme.hpp"

#include <QAbstractScrollArea>
#include <QApplication>
#include <QPainter>
#include <QStyleFactory>
#include <QStyleOption>
#include <cmath>

namespace owl::desktop {

namespace {

double channel(double c) {
  c /= 255.0;
  return c <= 0.04045 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4);
}

double luminance(const QColor& c) {
  return 0.2126 * channel(c.red()) + 0.7152 * channel(c.green()) + 0.0722 * channel(c.blue());
}

}  // namespace

double contrast_ratio(const QColor& a, const QColor& b) {
  const double la = luminance(a);
  const double lb = luminance(b);
  return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

bool is_dark(const QPalette& palette) {
  return luminance(palette.color(QPalette::Base)) < 0.2;
}

Theme theme_for(const QPalette& palette) {
  if (is_dark(palette)) {
    return {QColor(0xff, 0x8a, 0x80), QColor(0x7e, 0xe0, 0x8e), QColor(0x8a, 0xb8, 0xff),
            QColor(0x6a, 0xaa, 0xff), QColor(0x9a, 0xa0, 0xa6), QColor(0xf0, 0xb0, 0x40),
            QColor(0x34, 0x40, 0x50), QColor(0x4a, 0x3c, 0x00), QColor(0xff, 0xec, 0xb0),
            QColor(0xc0, 0x98, 0x20), QColor(0x5a, 0x1c, 0x1c), QColor(0xff, 0xd6, 0xd6),
            QColor(0xd0, 0x50, 0x50), QColor(0xc8, 0xa0, 0xff), QColor(0x5c, 0xc8, 0xb4)};
  }
  return {QColor(0xb0, 0x20, 0x20), QColor(0x1c, 0x7a, 0x2c), QColor(0x20, 0x50, 0xb0),
          QColor(0x1f, 0x6f, 0xc5), QColor(0x8a, 0x90, 0x96), QColor(0xa0, 0x5a, 0x00),
          QColor(0xdd, 0xe6, 0xf0), QColor(0xff, 0xf4, 0xcc), QColor(0x3a, 0x2e, 0x00),
          QColor(0xe0, 0xb0, 0x00), QColor(0xfd, 0xe2, 0xe2), QColor(0x5a, 0x00, 0x00),
          QColor(0xc0, 0x30, 0x30), QColor(0x6a, 0x3a, 0xb0), QColor(0x1e, 0x7a, 0x6a)};
}

QString banner_style(const QColor& background, const QColor& text, const QColor& border) {
  return QStringLiteral("QLabel { background: %1; border: 1px solid %2; padding: 6px; color: %3; }")
      .arg(background.name(), border.name(), text.name());
}

namespace {

void draw_focus_frame(const QStyleOption* option, QPainter* painter, const QRect& rect) {
  // On a selected row the highlight colour would vanish into the selection.
  const QColor colour = option->palette.color(
      option->state & QStyle::State_Selected ? QPalette::HighlightedText : QPalette::Highlight);
  painter->save();
  painter->setRenderHint(QPainter::Antialiasing, false);
  painter->setPen(QPen(colour, 2));
  painter->setBrush(Qt::NoBrush);
  painter->drawRect(QRectF(rect).adjusted(1, 1, -1, -1));
  painter->restore();
}

}  // namespace

void FocusMarkStyle::drawPrimitive(PrimitiveElement element, const QStyleOption* option,
                                   QPainter* painter, const QWidget* widget) const {
  if (element == PE_FrameFocusRect) {
    draw_focus_frame(option, painter, option->rect);
    return;
  }
  QProxyStyle::drawPrimitive(element, option, painter, widget);
  // Fusion outlines a check box in a shade of the window colour, which on a dark palette all but
  // vanishes into the base colour, so an unticked box could not be seen.
  if ((element == PE_IndicatorCheckBox || element == PE_IndicatorItemViewItemCheck) &&
      is_dark(option->palette)) {
    painter->save();
    painter->setRenderHint(QPainter::Antialiasing, false);
    painter->setPen(QPen(option->palette.color(QPalette::PlaceholderText), 1));
    painter->setBrush(Qt::NoBrush);
    painter->drawRect(QRect(option->rect).adjusted(0, 0, -1, -1));
    painter->restore();
  }
  // Tables and lists show where the focus is by their frame as well as by the current cell.
  if (element == PE_Frame && (option->state & State_HasFocus) &&
      qobject_cast<const QAbstractScrollArea*>(widget) != nullptr) {
    draw_focus_frame(option, painter, option->rect);
  }
}

void FocusMarkStyle::drawControl(ControlElement element, const QStyleOption* option,
                                 QPainter* painter, const QWidget* widget) const {
  QProxyStyle::drawControl(element, option, painter, widget);
  // Fusion marks a focused button with a faint outline only.
  if (element == CE_PushButton && (option->state & State_HasFocus)) {
    draw_focus_frame(option, painter, option->rect);
  }
}

QPalette dark_palette() {
  QPalette p(QColor(0x35, 0x35, 0x35), QColor(0x2d, 0x2d, 0x2d));
  p.setColor(QPalette::WindowText, QColor(0xee, 0xee, 0xee));
  p.setColor(QPalette::Base, QColor(0x1e, 0x1e, 0x1e));
  p.setColor(QPalette::AlternateBase, QColor(0x2a, 0x2a, 0x2a));
  p.setColor(QPalette::Text, QColor(0xee, 0xee, 0xee));
  p.setColor(QPalette::ButtonText, QColor(0xee, 0xee, 0xee));
  p.setColor(QPalette::ToolTipBase, QColor(0x2a, 0x2a, 0x2a));
  p.setColor(QPalette::ToolTipText, QColor(0xee, 0xee, 0xee));
  p.setColor(QPalette::PlaceholderText, QColor(0x9a, 0x9a, 0x9a));
  p.setColor(QPalette::Highlight, QColor(0x3d, 0x8e, 0xe0));
  p.setColor(QPalette::HighlightedText, QColor(0xff, 0xff, 0xff));
  p.setColor(QPalette::Disabled, QPalette::Text, QColor(0x80, 0x80, 0x80));
  p.setColor(QPalette::Disabled, QPalette::WindowText, QColor(0x80, 0x80, 0x80));
  p.setColor(QPalette::Disabled, QPalette::ButtonText, QColor(0x80, 0x80, 0x80));
  return p;
}

void apply_desktop_style(QApplication& app) {
  app.setStyle(new FocusMarkStyle(QStyleFactory::create(QStringLiteral("Fusion"))));
}

}  // namespace owl::desktop
