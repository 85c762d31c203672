#pragma once

#include <QColor>
#include <QPalette>
#include <QProxyStyle>
#include <QString>

class QApplication;

namespace owl::desktop {

// WCAG contrast ratio of two colours, 1 to 21.
double contrast_ratio(const QColor& a, const QColor& b);
bool is_dark(const QPalette& palette);

// Status and band colours, picked for the palette's lightness so that text in them stays
// readable (4.5:1) on the palette's base and window colours.
struct Theme {
  QColor problem;  // text and marks of real problems
  QColor ok;
  QColor writing;
  QColor enabled;  // band marks
  QColor disabled;
  QColor shared;  // two units on one frequency
  QColor track;   // a unit's tunable range behind its marks
  QColor warn_background;
  QColor warn_text;
  QColor warn_border;
  QColor error_background;
  QColor error_text;
  QColor error_border;
  QColor product;     // intermodulation products on the band
  QColor scan_trace;  // scan data under the band's lanes
};
Theme theme_for(const QPalette& palette);
QString banner_style(const QColor& background, const QColor& text, const QColor& border);

// Draws the keyboard focus as a clear two-pixel frame in the highlight colour; the stock
// styles draw it faintly or only after a key press. Check boxes and the
// current cell of a table draw their focus through that element; buttons and tables get the
// same frame around them.
class FocusMarkStyle : public QProxyStyle {
 public:
  using QProxyStyle::QProxyStyle;
  void drawPrimitive(PrimitiveElement element, const QStyleOption* option, QPainter* painter,
                     const QWidget* widget) const override;
  void drawControl(ControlElement element, const QStyleOption* option, QPainter* painter,
                   const QWidget* widget) const override;
};

// A plain dark palette, as dark desktop themes hand out.
QPalette dark_palette();

// The application style of the desktop program: Fusion with the focus mark above.
void apply_desktop_style(QApplication& app);

}  // namespace owl::desktop
