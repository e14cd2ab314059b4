#pragma once
// Private state behind the opaque device-context and object handles.
#include <QFont>
#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <QRawFont>
#include <QRegion>
#include <QTransform>
#include <array>
#include <memory>
#include <optional>
#include <vector>

#include "platform/graphics/gdi.h"

// Makes sure a Qt application object exists (fonts and painting need one).
void EnsureGuiApplication();

// ---- fonts ------------------------------------------------------------------
struct TFontData {
  struct Glyph {
    quint32 index = 0;
    int advance = 0;
    int face = 0;  // 0: the font itself; n > 0: fallbacks[n - 1]
  };
  LOGFONTW log;
  QFont qfont;
  QRawFont raw;
  double pixelSize = 0;
  TEXTMETRICW tm;
  int underlinePos = 0;
  int lineThickness = 1;
  int strikePos = 0;
  std::vector<QRawFont> fallbacks;
  std::array<std::unique_ptr<std::array<Glyph, 256>>, 256> pages;

  // The glyph and whole-pixel advance of a UTF-16 unit; a surrogate pair is
  // looked up whole (the high unit gets the advance, the low unit none).
  const Glyph& glyph(char16_t c) {
    auto& page = pages[c >> 8];
    if (!page) fillPage(c >> 8);
    return (*page)[c & 0xFF];
  }
  Glyph surrogateGlyph(char16_t hi, char16_t lo);
  const QRawFont& face(int index) const { return index == 0 ? raw : fallbacks[size_t(index - 1)]; }

private:
  void fillPage(int page);
  int fallbackFor(char32_t c, quint32& index);
};

// The shared font for a logical font (cached by face, height, style, charset).
std::shared_ptr<TFontData> FontDataFor(const LOGFONTW& log);
#include "platform/graphics/font.h"

// ---- objects -----------------------------------------------------------------
struct TGdiObject {
  int type = 0;  // OBJ_*
  int refs = 1;
  bool stock = false;
  bool deleted = false;
  // pen
  DWORD penStyle = PS_SOLID;
  int penWidth = 1;
  COLORREF color = 0;  // pen/brush colour
  std::vector<DWORD> penDashes;
  // brush
  UINT brushStyle = BS_SOLID;
  int hatch = 0;
  QImage pattern;        // pattern brush bitmap (copied)
  bool patternMono = false;
  bool sysBrush = false;
  // font
  LOGFONTW logFont;
  std::shared_ptr<TFontData> font;
  // bitmap
  QImage image;
  int bpp = 32;
  TDeviceContext* selectedIn = nullptr;
  // region
  QRegion region;
};

void GdiAddRef(HGDIOBJ o);
void GdiRelease(HGDIOBJ o);
TFontData& FontOf(HGDIOBJ font);
// Bitmap handle made around an image (the image is shared, not copied).
HBITMAP BitmapFromImage(const QImage& image, int bpp);

// ---- device contexts ---------------------------------------------------------
struct TDcState {
  HGDIOBJ pen = nullptr;
  HGDIOBJ brush = nullptr;
  HGDIOBJ font = nullptr;
  COLORREF textColor = 0;
  COLORREF bkColor = 0xFFFFFF;
  int bkMode = OPAQUE;
  UINT textAlign = 0;
  int charExtra = 0;
  int breakExtra = 0;
  int breakCount = 0;
  int rop2 = R2_COPYPEN;
  int polyFill = ALTERNATE;
  int stretchMode = BLACKONWHITE;
  int mapMode = MM_TEXT;
  TPoint winOrg, vpOrg;
  TSize winExt{1, 1}, vpExt{1, 1};
  std::optional<QRegion> clip;  // device coordinates
  TPoint brushOrg;
  TPoint penPos;
  COLORREF dcBrushColor = 0xFFFFFF;
  COLORREF dcPenColor = 0;
};

enum class TDcKind { Measure, Painter, Memory, Picture, Printer };

struct TDeviceContext {
  TDcKind kind = TDcKind::Measure;
  QPainter* painter = nullptr;
  std::unique_ptr<QPainter> ownPainter;
  HGDIOBJ bitmap = nullptr;  // memory DC: the selected bitmap
  QTransform base;
  std::optional<QRegion> baseClip;
  QSize deviceSize{1920, 1080};
  int dpiX = 96, dpiY = 96;
  // Printer extras (device pixels).
  QSize physicalSize;
  QPoint physicalOffset;
  TDcState st;
  std::vector<TDcState> saved;
  bool dirty = true;
  // Text drawn glyph by glyph so a recording keeps exact positions.
  bool recordsText = false;
  // A thin outline covers one pixel beyond the shape's geometric bounds;
  // recordings remember that they drew one, to report their extent.
  bool drewOutline = false;
  // An open path bracket collects shapes instead of drawing them.
  bool pathOpen = false;
  bool pathReady = false;
  QPainterPath path;

  // Applies transform and clip to the painter; false when it draws nowhere.
  bool ready();
  QTransform toDevice() const;
  QRect deviceBounds() const;
};

HDC NewDC(TDcKind kind);
// Binds/unbinds a painter owned elsewhere.
void DcAttachPainter(HDC dc, QPainter* painter);
void DcDetachPainter(HDC dc);
// A memory DC whose bitmap's image was replaced restarts its painter.
void DcRebindBitmap(HDC dc);
QColor ToQColor(COLORREF c);
COLORREF FromQColor(const QColor& c);
QBrush BrushFor(HDC dc, HGDIOBJ brush, COLORREF* solid = nullptr);
QPen PenFor(HDC dc, HGDIOBJ pen);
// Image of a source DC in device pixels, or null.
QImage* DcImage(HDC dc);

// A memory DC stops painting on its bitmap (before the image is replaced).
void DcSuspendBitmap(HDC dc);
