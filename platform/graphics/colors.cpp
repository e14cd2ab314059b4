// Colours: system colours from the desktop palette, and the names under
// which colours are stored in settings.
#include "platform/graphics/colors.h"

#include <QGuiApplication>
#include <QPalette>
#include <cstdio>

#include "platform/core/exception.h"
#include "platform/graphics/gdi_internal.h"

namespace {

COLORREF fromQ(const QColor& c) { return RGB(c.red(), c.green(), c.blue()); }

// Classic values for the indices the desktop palette has no role for.
constexpr COLORREF kClassic[31] = {
    RGB(200, 200, 200), RGB(0, 0, 0),       RGB(153, 180, 209), RGB(191, 205, 219),
    RGB(240, 240, 240), RGB(255, 255, 255), RGB(100, 100, 100), RGB(0, 0, 0),
    RGB(0, 0, 0),       RGB(0, 0, 0),       RGB(180, 180, 180), RGB(244, 247, 252),
    RGB(171, 171, 171), RGB(0, 120, 215),   RGB(255, 255, 255), RGB(240, 240, 240),
    RGB(160, 160, 160), RGB(109, 109, 109), RGB(0, 0, 0),       RGB(0, 0, 0),
    RGB(255, 255, 255), RGB(105, 105, 105), RGB(227, 227, 227), RGB(0, 0, 0),
    RGB(255, 255, 225), RGB(0, 0, 0),       RGB(0, 102, 204),   RGB(185, 209, 234),
    RGB(215, 228, 242), RGB(0, 120, 215),   RGB(240, 240, 240)};

struct NamedColor {
  TColor value;
  const char16_t* name;
};
constexpr NamedColor kNames[] = {
    {clBlack, u"clBlack"}, {clMaroon, u"clMaroon"}, {clGreen, u"clGreen"},
    {clOlive, u"clOlive"}, {clNavy, u"clNavy"}, {clPurple, u"clPurple"},
    {clTeal, u"clTeal"}, {clGray, u"clGray"}, {clSilver, u"clSilver"},
    {clRed, u"clRed"}, {clLime, u"clLime"}, {clYellow, u"clYellow"},
    {clBlue, u"clBlue"}, {clFuchsia, u"clFuchsia"}, {clAqua, u"clAqua"},
    {clWhite, u"clWhite"}, {clMoneyGreen, u"clMoneyGreen"}, {clSkyBlue, u"clSkyBlue"},
    {clCream, u"clCream"}, {clMedGray, u"clMedGray"},
    {clActiveBorder, u"clActiveBorder"}, {clActiveCaption, u"clActiveCaption"},
    {clAppWorkSpace, u"clAppWorkSpace"}, {clBackground, u"clBackground"},
    {clBtnFace, u"clBtnFace"}, {clBtnHighlight, u"clBtnHighlight"},
    {clBtnShadow, u"clBtnShadow"}, {clBtnText, u"clBtnText"},
    {clCaptionText, u"clCaptionText"}, {clDefault, u"clDefault"},
    {clGradientActiveCaption, u"clGradientActiveCaption"},
    {clGradientInactiveCaption, u"clGradientInactiveCaption"},
    {clGrayText, u"clGrayText"}, {clHighlight, u"clHighlight"},
    {clHighlightText, u"clHighlightText"}, {clHotLight, u"clHotLight"},
    {clInactiveBorder, u"clInactiveBorder"}, {clInactiveCaption, u"clInactiveCaption"},
    {clInactiveCaptionText, u"clInactiveCaptionText"}, {clInfoBk, u"clInfoBk"},
    {clInfoText, u"clInfoText"}, {clMenu, u"clMenu"}, {clMenuBar, u"clMenuBar"},
    {clMenuHighlight, u"clMenuHighlight"}, {clMenuText, u"clMenuText"},
    {clNone, u"clNone"}, {clScrollBar, u"clScrollBar"}, {cl3DDkShadow, u"cl3DDkShadow"},
    {cl3DLight, u"cl3DLight"}, {clWindow, u"clWindow"}, {clWindowFrame, u"clWindowFrame"},
    {clWindowText, u"clWindowText"}};

bool equalNoCase(const String& a, const char16_t* b) {
  size_t i = 0;
  for (; i < a.size() && b[i]; ++i) {
    char16_t x = a[i], y = b[i];
    if (x >= 'A' && x <= 'Z') x = char16_t(x + 32);
    if (y >= 'A' && y <= 'Z') y = char16_t(y + 32);
    if (x != y) return false;
  }
  return i == a.size() && b[i] == 0;
}

}  // namespace

COLORREF GetSysColor(int index) {
  if (index < 0 || index > 30) return 0;
  if (!QGuiApplication::instance()) return kClassic[index];
  const QPalette p = QGuiApplication::palette();
  switch (index) {
    case COLOR_WINDOW: return fromQ(p.color(QPalette::Active, QPalette::Base));
    case COLOR_WINDOWTEXT: return fromQ(p.color(QPalette::Active, QPalette::Text));
    case COLOR_BTNFACE: return fromQ(p.color(QPalette::Active, QPalette::Button));
    case COLOR_BTNTEXT: return fromQ(p.color(QPalette::Active, QPalette::ButtonText));
    case COLOR_BTNSHADOW: return fromQ(p.color(QPalette::Active, QPalette::Mid));
    case COLOR_BTNHIGHLIGHT: return fromQ(p.color(QPalette::Active, QPalette::Light));
    case COLOR_3DDKSHADOW: return fromQ(p.color(QPalette::Active, QPalette::Shadow));
    case COLOR_3DLIGHT: return fromQ(p.color(QPalette::Active, QPalette::Midlight));
    case COLOR_HIGHLIGHT: return fromQ(p.color(QPalette::Active, QPalette::Highlight));
    case COLOR_HIGHLIGHTTEXT: return fromQ(p.color(QPalette::Active, QPalette::HighlightedText));
    case COLOR_GRAYTEXT: return fromQ(p.color(QPalette::Disabled, QPalette::Text));
    case COLOR_INFOBK: return fromQ(p.color(QPalette::Active, QPalette::ToolTipBase));
    case COLOR_INFOTEXT: return fromQ(p.color(QPalette::Active, QPalette::ToolTipText));
    case COLOR_HOTLIGHT: return fromQ(p.color(QPalette::Active, QPalette::Link));
    case COLOR_MENU:
    case COLOR_MENUBAR: return fromQ(p.color(QPalette::Active, QPalette::Window));
    case COLOR_MENUTEXT: return fromQ(p.color(QPalette::Active, QPalette::WindowText));
    default: return kClassic[index];
  }
}

COLORREF ColorToRGB(TColor color) {
  if (color == clNone) return 0;
  if (color == clDefault) return GetSysColor(COLOR_WINDOW);
  if ((color & clSystemColor) == clSystemColor) return GetSysColor(color & 0xFF);
  return COLORREF(color) & 0x00FFFFFFu;
}

String ColorToString(TColor color) {
  for (const auto& n : kNames)
    if (n.value == color) return n.name;
  char buf[16];
  std::snprintf(buf, sizeof buf, "$%.8X", unsigned(color));
  return String(buf, buf + 9);
}

bool IdentToColor(const String& text, TColor& color) {
  for (const auto& n : kNames)
    if (equalNoCase(text, n.name)) {
      color = n.value;
      return true;
    }
  if (text.empty()) return false;
  size_t i = 0;
  int base = 10;
  bool negative = false;
  if (text[0] == '-') { negative = true; i = 1; }
  if (i < text.size() && text[i] == '$') { base = 16; ++i; }
  else if (i + 1 < text.size() && text[i] == '0' && (text[i + 1] == 'x' || text[i + 1] == 'X')) { base = 16; i += 2; }
  if (i >= text.size()) return false;
  std::uint64_t v = 0;
  for (; i < text.size(); ++i) {
    char16_t c = text[i];
    int d;
    if (c >= '0' && c <= '9') d = c - '0';
    else if (base == 16 && c >= 'a' && c <= 'f') d = c - 'a' + 10;
    else if (base == 16 && c >= 'A' && c <= 'F') d = c - 'A' + 10;
    else return false;
    v = v * unsigned(base) + unsigned(d);
    if (v > 0xFFFFFFFFull) return false;
  }
  color = TColor(negative ? -std::int64_t(v) : std::int64_t(std::uint32_t(v)));
  return true;
}

TColor StringToColor(const String& text) {
  TColor c;
  if (!IdentToColor(text, c)) throw EConvertError(u"'" + text + u"' is not a valid colour value");
  return c;
}
