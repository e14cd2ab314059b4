// The desktop's style (Qt's QStyle) drawing into our device contexts.
#include "platform/gui/themes.h"

#include <QApplication>
#include <QStyle>
#include <QStyleOption>

#include "platform/graphics/gdi_internal.h"

namespace {
QStyle* currentStyle() {
  EnsureGuiApplication();
  return qApp ? QApplication::style() : nullptr;
}

QRect toQRect(const TRect& r) { return QRect(r.Left, r.Top, r.Width(), r.Height()); }
}  // namespace

bool ThemesAvailable() { return currentStyle() != nullptr; }

void DrawThemedTreeGlyph(HDC DC, const TRect& R, bool Expanded, COLORREF Color) {
  QStyle* style = currentStyle();
  if (!DC || !style || !DC->ready()) return;
  QStyleOption option;
  option.rect = toQRect(R);
  option.state = QStyle::State_Children | QStyle::State_Enabled;
  if (Expanded) option.state |= QStyle::State_Open;
  QColor c(int(Color & 0xFF), int((Color >> 8) & 0xFF), int((Color >> 16) & 0xFF));
  option.palette.setColor(QPalette::Text, c);
  option.palette.setColor(QPalette::WindowText, c);
  option.palette.setColor(QPalette::ButtonText, c);
  option.palette.setColor(QPalette::Dark, c);
  option.palette.setColor(QPalette::Mid, c);
  option.palette.setColor(QPalette::Shadow, c);
  QPainter& p = *DC->painter;
  p.save();
  style->drawPrimitive(QStyle::PE_IndicatorBranch, &option, &p, nullptr);
  p.restore();
  DC->dirty = true;
}

void DrawThemedCheck(HDC DC, const TRect& R, TThemedCheckKind Kind, TThemedCheckValue Value, bool Hot,
                     bool Pressed, bool Disabled) {
  QStyle* style = currentStyle();
  if (!DC || !style || !DC->ready()) return;
  QStyleOptionButton option;
  option.rect = toQRect(R);
  option.state = Disabled ? QStyle::State_None : QStyle::State_Enabled;
  if (Hot) option.state |= QStyle::State_MouseOver;
  if (Pressed) option.state |= QStyle::State_Sunken;
  switch (Value) {
    case tcvChecked: option.state |= QStyle::State_On; break;
    case tcvMixed: option.state |= QStyle::State_NoChange; break;
    default: option.state |= QStyle::State_Off; break;
  }
  QPainter& p = *DC->painter;
  p.save();
  switch (Kind) {
    case tckRadioButton: style->drawPrimitive(QStyle::PE_IndicatorRadioButton, &option, &p, nullptr); break;
    case tckPushButton:
      if (Value == tcvChecked) option.state |= QStyle::State_Sunken;
      style->drawPrimitive(QStyle::PE_PanelButtonCommand, &option, &p, nullptr);
      break;
    default: style->drawPrimitive(QStyle::PE_IndicatorCheckBox, &option, &p, nullptr); break;
  }
  p.restore();
  DC->dirty = true;
}

void DrawThemedHeaderSection(HDC DC, const TRect& R, bool Hot, bool Pressed, int SortGlyph) {
  QStyle* style = currentStyle();
  if (!DC || !style || !DC->ready()) return;
  QStyleOptionHeader option;
  option.rect = toQRect(R);
  option.state = QStyle::State_Enabled | QStyle::State_Horizontal | QStyle::State_Raised;
  if (Hot) option.state |= QStyle::State_MouseOver;
  if (Pressed) option.state |= QStyle::State_Sunken;
  option.sortIndicator = SortGlyph > 0   ? QStyleOptionHeader::SortUp
                         : SortGlyph < 0 ? QStyleOptionHeader::SortDown
                                         : QStyleOptionHeader::None;
  QPainter& p = *DC->painter;
  p.save();
  style->drawControl(QStyle::CE_HeaderSection, &option, &p, nullptr);
  if (SortGlyph != 0) {
    QStyleOptionHeader arrow = option;
    int size = std::min(R.Height() - 4, 9);
    arrow.rect = QRect(R.Right - size - 4, R.Top + (R.Height() - size) / 2, size, size);
    style->drawPrimitive(QStyle::PE_IndicatorHeaderArrow, &arrow, &p, nullptr);
  }
  p.restore();
  DC->dirty = true;
}
