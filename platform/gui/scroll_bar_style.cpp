// How every scroll bar of the program is painted: opaque rectangles only.
// The desktop style draws its bars with gradients and translucent lines,
// and the raster engine hands each such fill taller than a few dozen rows
// to its thread pool; waking the pool for a strip 14 pixels wide costs far
// more than the strip, so a page with a scroll bar paid more for the bar
// than for its text. Opaque rectangles are filled in place. Sizes, hit
// testing and behaviour stay the desktop style's own.
#include <QApplication>
#include <QPainter>
#include <QPointer>
#include <QProxyStyle>
#include <QStyleOptionSlider>

#include <algorithm>

#include "platform/gui/gui_private.h"

namespace {

QColor opaque(QColor c) {
  c.setAlpha(255);
  return c;
}

// A one-pixel frame drawn as four rectangles (a line would go through the
// span blender).
void frame(QPainter* p, const QRect& r, const QColor& c) {
  p->fillRect(QRect(r.left(), r.top(), r.width(), 1), c);
  p->fillRect(QRect(r.left(), r.bottom(), r.width(), 1), c);
  p->fillRect(QRect(r.left(), r.top(), 1, r.height()), c);
  p->fillRect(QRect(r.right(), r.top(), 1, r.height()), c);
}

// A solid triangle pointing along the bar, one rectangle per row or column.
void arrow(QPainter* p, const QRect& r, bool horizontal, bool towardsEnd, const QColor& c) {
  const int side = std::min(r.width(), r.height());
  const int n = std::max(2, side / 4);  // rows of the triangle
  const int cx = r.center().x(), cy = r.center().y();
  for (int i = 0; i < n; ++i) {
    // Row i is 2i+1 long, the tip first.
    const int step = towardsEnd ? n / 2 - i : i - n / 2;
    if (horizontal)
      p->fillRect(QRect(cx + step, cy - i, 1, 2 * i + 1), c);
    else
      p->fillRect(QRect(cx - i, cy + step, 2 * i + 1, 1), c);
  }
}

class PlainScrollBarStyle : public QProxyStyle {
public:
  void drawComplexControl(ComplexControl cc, const QStyleOptionComplex* opt, QPainter* p,
                          const QWidget* w) const override {
    const auto* sb = qstyleoption_cast<const QStyleOptionSlider*>(opt);
    if (cc != CC_ScrollBar || !sb) {
      QProxyStyle::drawComplexControl(cc, opt, p, w);
      return;
    }
    const QPalette& pal = opt->palette;
    const bool enabled = opt->state & State_Enabled;
    const bool horizontal = sb->orientation == Qt::Horizontal;
    const QColor face = opaque(pal.color(QPalette::Button));
    const QColor edge = opaque(pal.color(QPalette::Mid));
    const QColor groove = opaque(pal.color(QPalette::Midlight));
    const QColor pressed = opaque(pal.color(QPalette::Dark));
    const QColor ink = opaque(pal.color(enabled ? QPalette::Active : QPalette::Disabled, QPalette::ButtonText));
    auto isDown = [&](SubControl sc) { return (opt->state & State_Sunken) && (sb->activeSubControls & sc); };

    p->fillRect(opt->rect, groove);
    for (SubControl page : {SC_ScrollBarSubPage, SC_ScrollBarAddPage})
      if (isDown(page)) p->fillRect(proxy()->subControlRect(cc, opt, page, w), pressed);
    for (SubControl button : {SC_ScrollBarSubLine, SC_ScrollBarAddLine}) {
      const QRect r = proxy()->subControlRect(cc, opt, button, w);
      if (r.isEmpty()) continue;
      p->fillRect(r, isDown(button) ? pressed : face);
      frame(p, r, edge);
      arrow(p, r, horizontal, button == SC_ScrollBarAddLine, ink);
    }
    if (enabled && sb->maximum > sb->minimum) {
      const QRect r = proxy()->subControlRect(cc, opt, SC_ScrollBarSlider, w);
      if (!r.isEmpty()) {
        p->fillRect(r, isDown(SC_ScrollBarSlider) ? pressed : face);
        frame(p, r, edge);
      }
    }
  }
};

}  // namespace

QStyle* ScrollBarStyle() {
  static QPointer<PlainScrollBarStyle> style;
  if (!style) {
    style = new PlainScrollBarStyle;
    style->setParent(qApp);
  }
  return style;
}
