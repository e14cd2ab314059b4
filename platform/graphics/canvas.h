#pragma once
// TCanvas: a device context with a font, pen and brush that follow the
// canvas's TFont/TPen/TBrush. A canvas without a device context of its own
// measures like the screen and draws nowhere; a paint event, a bitmap or a
// printer page gives it a real one.
#include <memory>
#include <mutex>
#include <vector>

#include "platform/core/object.h"
#include "platform/core/types.h"
#include "platform/graphics/colors.h"
#include "platform/graphics/font.h"
#include "platform/graphics/gdi.h"
#include "platform/graphics/geometry.h"

class TGraphic;

enum TCanvasStates { csHandleValid, csFontValid, csPenValid, csBrushValid };
using TCanvasState = TSet<TCanvasStates>;
enum TFillStyle { fsSurface, fsBorder };
using TCopyMode = DWORD;

// TextFlags bits: opaque text output and clipping in TextRect.
enum { ETO_TEXTFLAGS_OPAQUE = ETO_OPAQUE, ETO_TEXTFLAGS_CLIPPED = ETO_CLIPPED };

class TCanvas : public TObject {
public:
  TCanvas();
  ~TCanvas() override;

  // The device context; made on demand (a screen-compatible one unless a
  // subclass or a paint event provides another).
  HDC Handle();
  void SetHandle(HDC value);
  bool HandleAllocated() const { return FHandle != nullptr; }

  TFont* Font() { return FFont.get(); }
  TPen* Pen() { return FPen.get(); }
  TBrush* Brush() { return FBrush.get(); }
  void SetFont(const TFont& value) { FFont->Assign(value); }
  void SetPen(const TPen& value) { FPen->Assign(value); }
  void SetBrush(const TBrush& value) { FBrush->Assign(value); }

  TPoint PenPos();
  void SetPenPos(TPoint value);
  int TextFlags() const { return FTextFlags; }
  void SetTextFlags(int value) { FTextFlags = value; }
  TCopyMode CopyMode() const { return FCopyMode; }
  void SetCopyMode(TCopyMode value) { FCopyMode = value; }
  // The clip box in logical coordinates.
  TRect ClipRect();
  TColor Pixels(int x, int y);
  void SetPixels(int x, int y, TColor color);

  void MoveTo(int x, int y);
  void LineTo(int x, int y);
  void Rectangle(int x1, int y1, int x2, int y2);
  void Rectangle(const TRect& r) { Rectangle(r.Left, r.Top, r.Right, r.Bottom); }
  void RoundRect(int x1, int y1, int x2, int y2, int x3, int y3);
  void Ellipse(int x1, int y1, int x2, int y2);
  void Ellipse(const TRect& r) { Ellipse(r.Left, r.Top, r.Right, r.Bottom); }
  void Polygon(const std::vector<TPoint>& points);
  void Polyline(const std::vector<TPoint>& points);
  void FillRect(const TRect& r);
  void FrameRect(const TRect& r);
  void DrawFocusRect(const TRect& r);
  void FloodFill(int x, int y, TColor color, TFillStyle style);

  void TextOut(int x, int y, const String& text);
  void TextRect(const TRect& r, int x, int y, const String& text);
  // Draws text in r with DT_* flags (r changes with DT_CALCRECT); returns the height.
  int TextRectFlags(TRect& r, const String& text, UINT flags);
  TSize TextExtent(const String& text);
  int TextWidth(const String& text);
  int TextHeight(const String& text);

  void Draw(int x, int y, TGraphic* graphic);
  // Draws with constant opacity (0..255).
  void Draw(int x, int y, TGraphic* graphic, std::uint8_t opacity);
  void StretchDraw(const TRect& r, TGraphic* graphic);
  void CopyRect(const TRect& dest, TCanvas* source, const TRect& src);
  void BrushCopy(const TRect& dest, TBitmap* bitmap, const TRect& src, TColor transparent);

  // Serialises drawing from several threads on one canvas.
  void Lock();
  void Unlock();
  bool TryLock();
  int LockCount() const { return FLockCount; }

  void Refresh();

  TNotifyGraphicEvent OnChange;
  TNotifyGraphicEvent OnChanging;

protected:
  virtual void CreateHandle();
  // Makes sure the handle exists and the font/pen/brush are selected.
  void RequiredState(TCanvasState state);
  virtual void Changing();
  virtual void Changed();
  void DeselectHandles();

  HDC FHandle = nullptr;
  bool FOwnHandle = false;

private:
  std::unique_ptr<TFont> FFont;
  std::unique_ptr<TPen> FPen;
  std::unique_ptr<TBrush> FBrush;
  TCanvasState FState;
  int FTextFlags = 0;
  TCopyMode FCopyMode = SRCCOPY;
  std::recursive_mutex FLock;
  int FLockCount = 0;
};
