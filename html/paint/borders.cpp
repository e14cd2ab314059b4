// The border painter, frame colours, fitted text and clip conversion.
#include "html/paint/borders.h"

#include <algorithm>
#include <cmath>

#include "html/parse/html_common.h"
#include "html/layout/layout_device.h"
#include "platform/core/strings.h"
#include "platform/graphics/canvas.h"

namespace {

bool anyStyle(const htBorderStyleArray& s, std::initializer_list<TBorderStyleType> kinds) {
  for (TBorderStyleType b : s)
    for (TBorderStyleType k : kinds)
      if (b == k) return true;
  return false;
}

using Corners = std::array<TPoint, 4>;  // bottom-left, top-left, top-right, bottom-right

Corners cornersOf(const TRect& r) {
  return {TPoint(r.Left, r.Bottom), TPoint(r.Left, r.Top), TPoint(r.Right, r.Top), TPoint(r.Right, r.Bottom)};
}

void quad(TCanvas* canvas, const Corners& a, const Corners& b, int i, TColor color) {
  const int j = (i + 1) % 4;
  const TPoint pts[4] = {a[size_t(i)], a[size_t(j)], b[size_t(j)], b[size_t(i)]};
  htPaint::Polygon(canvas, pts, 4, color | PalRelative);
}

int sideWidth(const TRect& o, const TRect& in, int side) {
  switch (side) {
    case 0: return in.Left - o.Left;
    case 1: return in.Top - o.Top;
    case 2: return o.Right - in.Right;
    default: return o.Bottom - in.Bottom;
  }
}

}  // namespace

void DrawBorder(TCanvas* Canvas, TRect ORect, TRect IRect, bool /*Printing*/, TColor BGround,
                const htBorderStyleArray& BStyle, const htColorArray& BColor) {
  // Only the rows near the clip box are painted: a box of any height (and
  // on any printed page) is cut to what can be seen.
  const TRect clip = Canvas->ClipRect();
  const int lo = clip.Top - 200, hi = clip.Bottom + 200;
  if (ORect.Bottom < lo || ORect.Top > hi) return;
  ORect.Top = std::max(ORect.Top, lo);
  IRect.Top = std::max(IRect.Top, lo);
  ORect.Bottom = std::min(ORect.Bottom, hi);
  IRect.Bottom = std::min(IRect.Bottom, hi);

  std::array<int, 4> w;
  for (int i = 0; i < 4; ++i) w[size_t(i)] = sideWidth(ORect, IRect, i);
  if (w[0] == 0 && w[1] == 0 && w[2] == 0 && w[3] == 0) return;

  const Corners outer = cornersOf(ORect), inner = cornersOf(IRect);
  Corners middle{}, outerThird{}, innerThird{};
  if (anyStyle(BStyle, {bssGroove, bssRidge, bssDashed, bssDotted}))
    middle = cornersOf(TRect((ORect.Left + IRect.Left) / 2, (ORect.Top + IRect.Top) / 2,
                             (ORect.Right + IRect.Right) / 2, (ORect.Bottom + IRect.Bottom) / 2));
  if (anyStyle(BStyle, {bssDouble})) {
    std::array<int, 4> t;
    for (size_t i = 0; i < 4; ++i) t[i] = w[i] / 3 + (w[i] % 3 == 2 ? 1 : 0);
    outerThird = cornersOf(TRect(ORect.Left + t[0], ORect.Top + t[1], ORect.Right - t[2], ORect.Bottom - t[3]));
    innerThird = cornersOf(TRect(IRect.Left - t[0], IRect.Top - t[1], IRect.Right + t[2], IRect.Bottom + t[3]));
  }

  HDC dc = Canvas->Handle();
  if (BGround != clNone && anyStyle(BStyle, {bssDashed, bssDotted, bssDouble})) {
    HRGN ring = CreateRectRgnIndirect(ORect), hole = CreateRectRgnIndirect(IRect);
    CombineRgn(ring, ring, hole, RGN_DIFF);
    HBRUSH b = CreateSolidBrush(ColorToRGB(BGround | PalRelative));
    FillRgn(dc, ring, b);
    DeleteObject(b);
    DeleteObject(ring);
    DeleteObject(hole);
  }

  bool pathOpen = false, pathFromLeft = false;
  for (int i = 0; i < 4; ++i) {
    const TColor c = BColor[size_t(i)];
    const bool lt = i < 2;  // left and top sides
    switch (BStyle[size_t(i)]) {
      case bssSolid: quad(Canvas, outer, inner, i, c); break;
      case bssInset: quad(Canvas, outer, inner, i, lt ? Darker(c) : Lighter(c)); break;
      case bssOutset: quad(Canvas, outer, inner, i, lt ? Lighter(c) : Darker(c)); break;
      case bssGroove:
        quad(Canvas, outer, middle, i, lt ? Darker(c) : Lighter(c));
        quad(Canvas, middle, inner, i, lt ? Lighter(c) : Darker(c));
        break;
      case bssRidge:
        quad(Canvas, outer, middle, i, lt ? Lighter(c) : Darker(c));
        quad(Canvas, middle, inner, i, lt ? Darker(c) : Lighter(c));
        break;
      case bssDouble:
        quad(Canvas, outer, outerThird, i, c);
        quad(Canvas, innerThird, inner, i, c);
        break;
      case bssDashed:
      case bssDotted: {
        const int j = (i + 1) % 4;
        if (!pathOpen) {
          BeginPath(dc);
          MoveToEx(dc, middle[size_t(i)].x, middle[size_t(i)].y, nullptr);
          pathOpen = true;
          pathFromLeft = i == 0;
        }
        LineTo(dc, middle[size_t(j)].x, middle[size_t(j)].y);
        // The pattern runs on around a corner into a side just like this one.
        const bool goesOn = i < 3 && BStyle[size_t(i) + 1] == BStyle[size_t(i)] &&
                            BColor[size_t(i) + 1] == c && w[size_t(i) + 1] == w[size_t(i)];
        if (goesOn) break;
        if (i == 3 && pathFromLeft) CloseFigure(dc);
        EndPath(dc);
        LOGBRUSH lb;
        lb.lbStyle = BS_SOLID;
        lb.lbColor = ColorToRGB(c | PalRelative);
        // The pattern follows the border's width: dashes three widths long
        // with gaps as long, dots as wide as the border a width apart (round
        // from three pixels on, where a round dot can be seen as one).
        const DWORD bw = DWORD(std::max(1, w[size_t(i)]));
        DWORD dashes[2] = {3 * bw, 3 * bw};
        DWORD caps = PS_ENDCAP_FLAT;
        if (BStyle[size_t(i)] == bssDotted) {
          if (bw <= 2) {
            dashes[0] = dashes[1] = bw;
          } else {
            // A round cap adds half a width at each end of a one-pixel dash.
            dashes[0] = 1;
            dashes[1] = 2 * bw - 1;
            caps = PS_ENDCAP_ROUND;
          }
        }
        HPEN pen = ExtCreatePen(PS_GEOMETRIC | PS_JOIN_MITER | PS_USERSTYLE | caps, bw, lb, 2, dashes);
        HGDIOBJ old = SelectObject(dc, pen);
        StrokePath(dc);
        SelectObject(dc, old);
        DeleteObject(pen);
        pathOpen = false;
        break;
      }
      default: break;
    }
  }
  if (pathOpen) AbortPath(dc);
}

void DrawBorderNoBackground(TCanvas* Canvas, const TRect& ORect, const TRect& IRect,
                            const htBorderStyleArray& BStyle, const htColorArray& BColor) {
  DrawBorder(Canvas, ORect, IRect, false, clNone, BStyle, BColor);
}

TColor Darker(TColor Color) {
  const COLORREF c = ColorToRGB(Color);
  auto ch = [](int v) { return int(std::lround(v * 0.75)); };
  return TColor(RGB(ch(GetRValue(c)), ch(GetGValue(c)), ch(GetBValue(c))));
}

TColor Lighter(TColor Color) {
  const COLORREF c = ColorToRGB(Color);
  if ((c & 0xFFFFFF) == 0) return clBlack;
  auto ch = [](int v) { return std::min(255, int(std::lround(v * 1.15))); };
  return TColor(RGB(ch(GetRValue(c)), ch(GetGValue(c)), ch(GetBValue(c))));
}

void GetRaisedColorsFor(bool White, bool Mono, TColor& Light, TColor& Dark) {
  if (Mono) {
    Light = Dark = clBlack;
    return;
  }
  Dark = clBtnShadow;
  Light = White ? clSilver : clBtnHighlight;
}

htColorArray RaisedColorsFor(TColor Light, TColor Dark, bool Raised) {
  if (Raised) return {Light, Light, Dark, Dark};
  return {Dark, Dark, Light, Light};
}

void RaisedRectColors(TCanvas* Canvas, int X1, int Y1, int X2, int Y2, TColor Light, TColor Dark, bool Raised,
                      int W) {
  DrawBorderNoBackground(Canvas, TRect(X1, Y1, X2, Y2), TRect(X1 + W, Y1 + W, X2 - W, Y2 - W),
                         {bssSolid, bssSolid, bssSolid, bssSolid}, RaisedColorsFor(Light, Dark, Raised));
}

void FormControlRect(TCanvas* Canvas, int X1, int Y1, int X2, int Y2, bool Raised, bool PrintMonoBlack,
                     bool Disabled, TColor Color) {
  HDC dc = Canvas->Handle();
  const bool mono = PrintMonoBlack && GetDeviceCaps(dc, BITSPIXEL) == 1 && GetDeviceCaps(dc, PLANES) == 1;
  FillRectColor(Canvas, X1, Y1, X2 - 1, Y2 - 1, Disabled && !mono ? clBtnFace : Color);
  TPen* pen = Canvas->Pen();
  const TPenStyle oldStyle = pen->Style();
  const int oldWidth = pen->Width();
  const TColor oldColor = pen->Color();
  pen->SetStyle(psInsideFrame);
  if (mono) {
    pen->SetWidth(1);
    pen->SetColor(clBlack);
  } else {
    pen->SetWidth(2);
    pen->SetColor(Raised ? clSilver : clBtnShadow);
  }
  Canvas->MoveTo(X1, Y2 - 1);
  Canvas->LineTo(X1, Y1);
  Canvas->LineTo(X2 - 1, Y1);
  if (!mono) pen->SetColor(Raised ? clBtnShadow : clSilver);
  Canvas->LineTo(X2 - 1, Y2 - 1);
  Canvas->LineTo(X1, Y2 - 1);
  pen->SetStyle(oldStyle);
  pen->SetWidth(oldWidth);
  pen->SetColor(oldColor);
}

void FillRectColor(TCanvas* Canvas, int X1, int Y1, int X2, int Y2, TColor Color) {
  TBrush* brush = Canvas->Brush();
  const TColor oldColor = brush->Color();
  const TBrushStyle oldStyle = brush->Style();
  brush->SetColor(Color);
  brush->SetStyle(bsSolid);
  Canvas->FillRect(TRect(X1, Y1, X2, Y2));
  brush->SetColor(oldColor);
  brush->SetStyle(oldStyle);
}

void WrapTextW(TCanvas* Canvas, int X1, int Y1, int X2, int Y2, const String& S) {
  HDC dc = Canvas->Handle();
  const UINT old = SetTextAlign(dc, 0);
  TRect r(X1, Y1, X2, Y2);
  DrawTextW(dc, S, &r, DT_WORDBREAK);
  SetTextAlign(dc, old);
}

int FitText(HDC DC, const char16_t* S, int Max, int Width, TSize& Extent) {
  Extent = {};
  if (Width < 1 || Max <= 0) return 0;
  std::vector<int> dx(static_cast<size_t>(Max));
  int fit = 0;
  TSize size;
  GetTextExtentExPointW(DC, S, Max, Width, &fit, dx.data(), &size);
  if (fit > 0 && fit < Max && htIsHighSurrogate(S[fit - 1]) && htIsLowSurrogate(S[fit])) --fit;
  Extent.cx = fit > 0 ? dx[size_t(fit) - 1] : 0;
  Extent.cy = size.cy;
  return fit;
}

int GetXExtent(HDC DC, const char16_t* P, int N) {
  if (N <= 0) return 0;
  TSize size;
  GetTextExtentPoint32W(DC, P, N, &size);
  return size.cx;
}

TRect ConvertRect(TCanvas* Canvas, const TRect& R, bool Printing) {
  HDC dc = Canvas->Handle();
  TPoint org;
  GetWindowOrgEx(dc, &org);
  TRect r(R.Left - org.x, R.Top - org.y, R.Right - org.x, R.Bottom - org.y);
  if (Printing) {
    TSize vp, win;
    GetViewportExtEx(dc, &vp);
    GetWindowExtEx(dc, &win);
    if (win.cx != 0 && win.cy != 0) {
      const double fx = double(vp.cx) / win.cx, fy = double(vp.cy) / win.cy;
      r = TRect(int(std::lround(r.Left * fx)), int(std::lround(r.Top * fy)), int(std::lround(r.Right * fx)),
                int(std::lround(r.Bottom * fy)));
    }
  }
  return r;
}

void GetClippingRgn(TCanvas* Canvas, const TRect& R, bool Printing, HRGN& Rgn, HRGN& SaveRgn) {
  HDC dc = Canvas->Handle();
  SaveRgn = CreateRectRgn(0, 0, 0, 0);
  if (GetClipRgn(dc, SaveRgn) != 1) {
    DeleteObject(SaveRgn);
    SaveRgn = nullptr;
  }
  Rgn = CreateRectRgnIndirect(ConvertRect(Canvas, R, Printing));
  if (SaveRgn) CombineRgn(Rgn, Rgn, SaveRgn, RGN_AND);
  SelectClipRgn(dc, Rgn);
}

void RestoreClipping(TCanvas* Canvas, HRGN Rgn, HRGN SaveRgn) {
  SelectClipRgn(Canvas->Handle(), SaveRgn);
  if (SaveRgn) DeleteObject(SaveRgn);
  if (Rgn) DeleteObject(Rgn);
}

int WideCompareStrings(const String& S1, const String& S2) { return AnsiCompareText(S1, S2); }
