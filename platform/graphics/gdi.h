#pragma once
// Device contexts and drawing objects in the style the painting code is
// written against: a device context (HDC) carries the selected pen, brush,
// font and bitmap, colours, modes, the coordinate mapping and the clip
// region; the free functions below act on it. Handles are opaque.
#include <cstdint>
#include <vector>

#include "platform/core/types.h"
#include "platform/graphics/colors.h"
#include "platform/graphics/geometry.h"

struct TDeviceContext;
struct TGdiObject;
using HDC = TDeviceContext*;
using HGDIOBJ = TGdiObject*;
using HPEN = HGDIOBJ;
using HBRUSH = HGDIOBJ;
using HFONT = HGDIOBJ;
using HBITMAP = HGDIOBJ;
using HRGN = HGDIOBJ;
using HPALETTE = HGDIOBJ;
using BOOL = int;
using UINT = unsigned;
using DWORD = std::uint32_t;

// ---- object kinds, stock objects ----------------------------------------
enum { OBJ_PEN = 1, OBJ_BRUSH = 2, OBJ_DC = 3, OBJ_PAL = 5, OBJ_FONT = 6,
       OBJ_BITMAP = 7, OBJ_REGION = 8, OBJ_MEMDC = 10, OBJ_EXTPEN = 11 };
enum { WHITE_BRUSH = 0, LTGRAY_BRUSH = 1, GRAY_BRUSH = 2, DKGRAY_BRUSH = 3,
       BLACK_BRUSH = 4, NULL_BRUSH = 5, HOLLOW_BRUSH = NULL_BRUSH,
       WHITE_PEN = 6, BLACK_PEN = 7, NULL_PEN = 8, DEFAULT_GUI_FONT = 17,
       SYSTEM_FONT = 13, DC_BRUSH = 18, DC_PEN = 19 };

// ---- pens, brushes --------------------------------------------------------
enum { PS_SOLID = 0, PS_DASH = 1, PS_DOT = 2, PS_DASHDOT = 3, PS_DASHDOTDOT = 4,
       PS_NULL = 5, PS_INSIDEFRAME = 6, PS_USERSTYLE = 7, PS_ALTERNATE = 8,
       PS_STYLE_MASK = 0xF,
       PS_ENDCAP_ROUND = 0x000, PS_ENDCAP_SQUARE = 0x100, PS_ENDCAP_FLAT = 0x200,
       PS_ENDCAP_MASK = 0xF00,
       PS_JOIN_ROUND = 0x0000, PS_JOIN_BEVEL = 0x1000, PS_JOIN_MITER = 0x2000,
       PS_JOIN_MASK = 0xF000,
       PS_COSMETIC = 0x00000, PS_GEOMETRIC = 0x10000, PS_TYPE_MASK = 0xF0000 };
enum { BS_SOLID = 0, BS_NULL = 1, BS_HOLLOW = 1, BS_HATCHED = 2, BS_PATTERN = 3 };
enum { HS_HORIZONTAL = 0, HS_VERTICAL = 1, HS_FDIAGONAL = 2, HS_BDIAGONAL = 3,
       HS_CROSS = 4, HS_DIAGCROSS = 5 };

struct LOGBRUSH {
  UINT lbStyle = BS_SOLID;
  COLORREF lbColor = 0;
  std::uintptr_t lbHatch = 0;  // hatch style, or the HBITMAP of a pattern
};

// ---- fonts ----------------------------------------------------------------
enum { FW_DONTCARE = 0, FW_THIN = 100, FW_LIGHT = 300, FW_NORMAL = 400,
       FW_MEDIUM = 500, FW_SEMIBOLD = 600, FW_BOLD = 700, FW_HEAVY = 900 };
enum { ANSI_CHARSET = 0, DEFAULT_CHARSET = 1, SYMBOL_CHARSET = 2,
       RUSSIAN_CHARSET = 204, EASTEUROPE_CHARSET = 238, OEM_CHARSET = 255 };
enum { DEFAULT_PITCH = 0, FIXED_PITCH = 1, VARIABLE_PITCH = 2 };

struct LOGFONTW {
  int lfHeight = 0;  // < 0: em height in pixels; > 0: cell height
  int lfWidth = 0;
  int lfEscapement = 0;
  int lfOrientation = 0;
  int lfWeight = FW_NORMAL;
  std::uint8_t lfItalic = 0;
  std::uint8_t lfUnderline = 0;
  std::uint8_t lfStrikeOut = 0;
  std::uint8_t lfCharSet = DEFAULT_CHARSET;
  std::uint8_t lfOutPrecision = 0;
  std::uint8_t lfClipPrecision = 0;
  std::uint8_t lfQuality = 0;
  std::uint8_t lfPitchAndFamily = 0;
  String lfFaceName;
};

struct TEXTMETRICW {
  int tmHeight = 0;
  int tmAscent = 0;
  int tmDescent = 0;
  int tmInternalLeading = 0;
  int tmExternalLeading = 0;
  int tmAveCharWidth = 0;
  int tmMaxCharWidth = 0;
  int tmWeight = 0;
  int tmOverhang = 0;
  int tmDigitizedAspectX = 96;
  int tmDigitizedAspectY = 96;
  char16_t tmFirstChar = 0x20;
  char16_t tmLastChar = 0xFFFC;
  char16_t tmDefaultChar = 0x20;
  char16_t tmBreakChar = 0x20;
  std::uint8_t tmItalic = 0;
  std::uint8_t tmUnderlined = 0;
  std::uint8_t tmStruckOut = 0;
  std::uint8_t tmPitchAndFamily = 0;
  std::uint8_t tmCharSet = DEFAULT_CHARSET;
};

// ---- bitmaps ----------------------------------------------------------------
struct BITMAP {
  int bmType = 0;
  int bmWidth = 0;
  int bmHeight = 0;  // negative for 32-bit bitmaps: their rows run top-down
  int bmWidthBytes = 0;
  int bmPlanes = 1;
  int bmBitsPixel = 32;
  void* bmBits = nullptr;  // top-down rows, bmWidthBytes apart (32-bit: B,G,R,A)
};

struct BLENDFUNCTION {
  std::uint8_t BlendOp = 0;  // AC_SRC_OVER
  std::uint8_t BlendFlags = 0;
  std::uint8_t SourceConstantAlpha = 255;
  std::uint8_t AlphaFormat = 0;  // AC_SRC_ALPHA: the source has per-pixel alpha
};
enum { AC_SRC_OVER = 0, AC_SRC_ALPHA = 1 };

// Raster operations of the block transfers.
constexpr DWORD SRCCOPY = 0x00CC0020;
constexpr DWORD SRCPAINT = 0x00EE0086;
constexpr DWORD SRCAND = 0x008800C6;
constexpr DWORD SRCINVERT = 0x00660046;
constexpr DWORD SRCERASE = 0x00440328;
constexpr DWORD NOTSRCCOPY = 0x00330008;
constexpr DWORD NOTSRCERASE = 0x001100A6;
constexpr DWORD MERGEPAINT = 0x00BB0226;
constexpr DWORD PATCOPY = 0x00F00021;
constexpr DWORD PATINVERT = 0x005A0049;
constexpr DWORD DSTINVERT = 0x00550009;
constexpr DWORD BLACKNESS = 0x00000042;
constexpr DWORD WHITENESS = 0x00FF0062;
enum { BLACKONWHITE = 1, WHITEONBLACK = 2, COLORONCOLOR = 3, HALFTONE = 4 };

// ---- modes ------------------------------------------------------------------
enum { TRANSPARENT = 1, OPAQUE = 2 };
enum { R2_BLACK = 1, R2_NOT = 6, R2_XORPEN = 7, R2_NOTXORPEN = 10, R2_NOP = 11,
       R2_COPYPEN = 13, R2_WHITE = 16 };
enum { ALTERNATE = 1, WINDING = 2 };
enum { MM_TEXT = 1, MM_ANISOTROPIC = 8, MM_ISOTROPIC = 7 };
enum { TA_NOUPDATECP = 0, TA_UPDATECP = 1, TA_LEFT = 0, TA_RIGHT = 2,
       TA_CENTER = 6, TA_TOP = 0, TA_BOTTOM = 8, TA_BASELINE = 24, TA_RTLREADING = 256 };
constexpr UINT GDI_ERROR = 0xFFFFFFFFu;
enum { ETO_OPAQUE = 2, ETO_CLIPPED = 4, ETO_GLYPH_INDEX = 0x10, ETO_RTLREADING = 0x80 };

// ---- DrawText ------------------------------------------------------------------
enum : UINT {
  DT_TOP = 0, DT_LEFT = 0, DT_CENTER = 1, DT_RIGHT = 2, DT_VCENTER = 4,
  DT_BOTTOM = 8, DT_WORDBREAK = 0x10, DT_SINGLELINE = 0x20, DT_EXPANDTABS = 0x40,
  DT_TABSTOP = 0x80, DT_NOCLIP = 0x100, DT_EXTERNALLEADING = 0x200,
  DT_CALCRECT = 0x400, DT_NOPREFIX = 0x800, DT_INTERNAL = 0x1000,
  DT_EDITCONTROL = 0x2000, DT_PATH_ELLIPSIS = 0x4000, DT_END_ELLIPSIS = 0x8000,
  DT_MODIFYSTRING = 0x10000, DT_RTLREADING = 0x20000, DT_WORD_ELLIPSIS = 0x40000,
  DT_NOFULLWIDTHCHARBREAK = 0x80000, DT_HIDEPREFIX = 0x100000, DT_PREFIXONLY = 0x200000
};

// ---- edges and frame controls ------------------------------------------------
enum : UINT {
  BDR_RAISEDOUTER = 1, BDR_SUNKENOUTER = 2, BDR_RAISEDINNER = 4, BDR_SUNKENINNER = 8,
  BDR_OUTER = 3, BDR_INNER = 0xC, BDR_RAISED = 5, BDR_SUNKEN = 0xA,
  EDGE_RAISED = BDR_RAISEDOUTER | BDR_RAISEDINNER, EDGE_SUNKEN = BDR_SUNKENOUTER | BDR_SUNKENINNER,
  EDGE_ETCHED = BDR_SUNKENOUTER | BDR_RAISEDINNER, EDGE_BUMP = BDR_RAISEDOUTER | BDR_SUNKENINNER,
  BF_LEFT = 1, BF_TOP = 2, BF_RIGHT = 4, BF_BOTTOM = 8, BF_TOPLEFT = 3,
  BF_BOTTOMRIGHT = 0xC, BF_RECT = 0xF, BF_MIDDLE = 0x800, BF_SOFT = 0x1000,
  BF_ADJUST = 0x2000, BF_FLAT = 0x4000, BF_MONO = 0x8000
};
enum : UINT {
  DFC_CAPTION = 1, DFC_MENU = 2, DFC_SCROLL = 3, DFC_BUTTON = 4,
  DFCS_BUTTONCHECK = 0, DFCS_BUTTONRADIOIMAGE = 1, DFCS_BUTTONRADIOMASK = 2,
  DFCS_BUTTONRADIO = 4, DFCS_BUTTON3STATE = 8, DFCS_BUTTONPUSH = 0x10,
  DFCS_INACTIVE = 0x100, DFCS_PUSHED = 0x200, DFCS_CHECKED = 0x400,
  DFCS_TRANSPARENT = 0x800, DFCS_HOT = 0x1000, DFCS_ADJUSTRECT = 0x2000,
  DFCS_FLAT = 0x4000, DFCS_MONO = 0x8000
};

// ---- regions -------------------------------------------------------------------
enum { RGN_AND = 1, RGN_OR = 2, RGN_XOR = 3, RGN_DIFF = 4, RGN_COPY = 5 };
enum { RGN_ERROR = 0, NULLREGION = 1, SIMPLEREGION = 2, COMPLEXREGION = 3 };
constexpr int ERROR = RGN_ERROR;

// ---- device capabilities ---------------------------------------------------------
enum { HORZSIZE = 4, VERTSIZE = 6, HORZRES = 8, VERTRES = 10, BITSPIXEL = 12,
       PLANES = 14, NUMCOLORS = 24, RASTERCAPS = 38, LOGPIXELSX = 88,
       LOGPIXELSY = 90, SIZEPALETTE = 104, PHYSICALWIDTH = 110,
       PHYSICALHEIGHT = 111, PHYSICALOFFSETX = 112, PHYSICALOFFSETY = 113,
       TECHNOLOGY = 2 };
enum { DT_PLOTTER = 0, DT_RASDISPLAY = 1, DT_RASPRINTER = 2, DT_METAFILE = 5 };
enum { RC_PALETTE = 0x100, RC_STRETCHDIB = 0x2000 };

// ---- device contexts ---------------------------------------------------------------
// A device context that draws nowhere but measures like the screen.
HDC CreateCompatibleDC(HDC reference);
BOOL DeleteDC(HDC dc);
// Screen device context for measuring (its drawing goes nowhere).
HDC GetScreenDC();
int GetDeviceCaps(HDC dc, int index);
int SaveDC(HDC dc);
BOOL RestoreDC(HDC dc, int saved);  // saved < 0: relative to the current level

// ---- objects -------------------------------------------------------------------------
HGDIOBJ SelectObject(HDC dc, HGDIOBJ object);
BOOL DeleteObject(HGDIOBJ object);
HGDIOBJ GetStockObject(int index);
HGDIOBJ GetCurrentObject(HDC dc, UINT kind);
int GetObjectType(HGDIOBJ object);
int GetObjectW(HGDIOBJ object, int size, void* buffer);  // BITMAP, LOGFONTW, LOGBRUSH

HPEN CreatePen(int style, int width, COLORREF color);
HPEN ExtCreatePen(DWORD style, DWORD width, const LOGBRUSH& brush, DWORD styleCount = 0,
                  const DWORD* styles = nullptr);
HBRUSH CreateSolidBrush(COLORREF color);
HBRUSH CreateHatchBrush(int hatch, COLORREF color);
HBRUSH CreatePatternBrush(HBITMAP bitmap);
HBRUSH CreateBrushIndirect(const LOGBRUSH& brush);
HBRUSH GetSysColorBrush(int index);
HFONT CreateFontIndirectW(const LOGFONTW& font);
HBITMAP CreateBitmap(int width, int height, UINT planes, UINT bitsPerPixel, const void* bits);
HBITMAP CreateCompatibleBitmap(HDC dc, int width, int height);
// A 32-bit top-down bitmap whose pixels the caller may address through *bits.
HBITMAP CreateDIBSection32(int width, int height, void** bits);

// ---- attributes ------------------------------------------------------------------------
COLORREF SetTextColor(HDC dc, COLORREF color);
COLORREF GetTextColor(HDC dc);
COLORREF SetBkColor(HDC dc, COLORREF color);
COLORREF GetBkColor(HDC dc);
int SetBkMode(HDC dc, int mode);
int GetBkMode(HDC dc);
UINT SetTextAlign(HDC dc, UINT align);
UINT GetTextAlign(HDC dc);
int SetTextCharacterExtra(HDC dc, int extra);
int GetTextCharacterExtra(HDC dc);
BOOL SetTextJustification(HDC dc, int breakExtra, int breakCount);
int SetROP2(HDC dc, int mode);
int GetROP2(HDC dc);
int SetPolyFillMode(HDC dc, int mode);
int GetPolyFillMode(HDC dc);
int SetStretchBltMode(HDC dc, int mode);
BOOL SetBrushOrgEx(HDC dc, int x, int y, TPoint* old);
BOOL GetBrushOrgEx(HDC dc, TPoint* org);
COLORREF SetDCBrushColor(HDC dc, COLORREF color);
COLORREF SetDCPenColor(HDC dc, COLORREF color);

// ---- coordinates -----------------------------------------------------------------------
int SetMapMode(HDC dc, int mode);
int GetMapMode(HDC dc);
BOOL SetWindowOrgEx(HDC dc, int x, int y, TPoint* old);
BOOL GetWindowOrgEx(HDC dc, TPoint* org);
BOOL SetViewportOrgEx(HDC dc, int x, int y, TPoint* old);
BOOL GetViewportOrgEx(HDC dc, TPoint* org);
BOOL OffsetWindowOrgEx(HDC dc, int dx, int dy, TPoint* old);
BOOL OffsetViewportOrgEx(HDC dc, int dx, int dy, TPoint* old);
BOOL SetWindowExtEx(HDC dc, int cx, int cy, TSize* old);
BOOL GetWindowExtEx(HDC dc, TSize* ext);
BOOL SetViewportExtEx(HDC dc, int cx, int cy, TSize* old);
BOOL GetViewportExtEx(HDC dc, TSize* ext);
BOOL LPtoDP(HDC dc, TPoint* points, int count);
BOOL DPtoLP(HDC dc, TPoint* points, int count);

// ---- regions and clipping --------------------------------------------------------------
HRGN CreateRectRgn(int left, int top, int right, int bottom);
HRGN CreateRectRgnIndirect(const TRect& r);
HRGN CreateEllipticRgn(int left, int top, int right, int bottom);
HRGN CreateEllipticRgnIndirect(const TRect& r);
HRGN CreateRoundRectRgn(int left, int top, int right, int bottom, int w, int h);
HRGN CreatePolygonRgn(const TPoint* points, int count, int fillMode);
int CombineRgn(HRGN dest, HRGN src1, HRGN src2, int mode);
BOOL SetRectRgn(HRGN region, int left, int top, int right, int bottom);
int OffsetRgn(HRGN region, int dx, int dy);
BOOL PtInRegion(HRGN region, int x, int y);
BOOL RectInRegion(HRGN region, const TRect& r);
int GetRgnBox(HRGN region, TRect* box);
BOOL EqualRgn(HRGN a, HRGN b);
BOOL FillRgn(HDC dc, HRGN region, HBRUSH brush);
BOOL FrameRgn(HDC dc, HRGN region, HBRUSH brush, int w, int h);
// The clip region is kept in device coordinates.
int SelectClipRgn(HDC dc, HRGN region);  // nullptr removes clipping
int ExtSelectClipRgn(HDC dc, HRGN region, int mode);
int GetClipRgn(HDC dc, HRGN region);     // 1 with a clip region, 0 without
int IntersectClipRect(HDC dc, int left, int top, int right, int bottom);
int ExcludeClipRect(HDC dc, int left, int top, int right, int bottom);
int OffsetClipRgn(HDC dc, int dx, int dy);
int GetClipBox(HDC dc, TRect* box);       // in logical coordinates
BOOL PtVisible(HDC dc, int x, int y);
BOOL RectVisible(HDC dc, const TRect& r);

// ---- lines and shapes -------------------------------------------------------------------
BOOL MoveToEx(HDC dc, int x, int y, TPoint* old);
BOOL LineTo(HDC dc, int x, int y);
BOOL GetCurrentPositionEx(HDC dc, TPoint* pos);
BOOL Polyline(HDC dc, const TPoint* points, int count);
BOOL Polygon(HDC dc, const TPoint* points, int count);
BOOL PolyPolygon(HDC dc, const TPoint* points, const int* counts, int polygons);
BOOL Rectangle(HDC dc, int left, int top, int right, int bottom);
BOOL RoundRect(HDC dc, int left, int top, int right, int bottom, int w, int h);
BOOL Ellipse(HDC dc, int left, int top, int right, int bottom);
int FillRect(HDC dc, const TRect& r, HBRUSH brush);
int FrameRect(HDC dc, const TRect& r, HBRUSH brush);
BOOL InvertRect(HDC dc, const TRect& r);
BOOL DrawFocusRect(HDC dc, const TRect& r);
BOOL DrawEdge(HDC dc, TRect& r, UINT edge, UINT flags);
BOOL DrawFrameControl(HDC dc, TRect& r, UINT type, UINT state);
BOOL PatBlt(HDC dc, int x, int y, int w, int h, DWORD rop);
COLORREF SetPixel(HDC dc, int x, int y, COLORREF color);
COLORREF GetPixel(HDC dc, int x, int y);  // CLR_INVALID outside the surface
constexpr COLORREF CLR_INVALID = 0xFFFFFFFFu;
constexpr COLORREF CLR_NONE = 0xFFFFFFFFu;
constexpr COLORREF CLR_DEFAULT = 0xFF000000u;

// ---- text ----------------------------------------------------------------------------------
BOOL GetTextMetricsW(HDC dc, TEXTMETRICW* metrics);
int GetTextFaceW(HDC dc, String* face);
BOOL GetTextExtentPoint32W(HDC dc, const char16_t* text, int count, TSize* size);
// Fit: how many characters fit in maxExtent (when fit != nullptr) and the
// cumulative width after each character (when dx != nullptr, count entries).
BOOL GetTextExtentExPointW(HDC dc, const char16_t* text, int count, int maxExtent,
                           int* fit, int* dx, TSize* size);
BOOL GetCharWidth32W(HDC dc, UINT first, UINT last, int* widths);
BOOL TextOutW(HDC dc, int x, int y, const char16_t* text, int count);
// dx: per-character advances (count entries) or nullptr.
BOOL ExtTextOutW(HDC dc, int x, int y, UINT options, const TRect* rect,
                 const char16_t* text, int count, const int* dx);
// count < 0: the text ends at its first zero character.
int DrawTextW(HDC dc, const char16_t* text, int count, TRect* rect, UINT format);
inline int DrawTextW(HDC dc, const String& text, TRect* rect, UINT format) {
  return DrawTextW(dc, text.data(), int(text.size()), rect, format);
}

// ---- block transfers ---------------------------------------------------------------------
BOOL BitBlt(HDC dest, int x, int y, int w, int h, HDC src, int sx, int sy, DWORD rop);
BOOL StretchBlt(HDC dest, int x, int y, int w, int h, HDC src, int sx, int sy,
                int sw, int sh, DWORD rop);
// Copies through a monochrome mask: where the mask is white the destination
// stays, where it is black the source is drawn (with the raster operation
// pair packed as MAKEROP4(fore, back)).
BOOL MaskBlt(HDC dest, int x, int y, int w, int h, HDC src, int sx, int sy,
             HBITMAP mask, int mx, int my, DWORD rop);
// Copies every source pixel except those of the transparent colour.
BOOL TransparentBlt(HDC dest, int x, int y, int w, int h, HDC src, int sx, int sy,
                    int sw, int sh, COLORREF transparent);
BOOL GdiAlphaBlend(HDC dest, int x, int y, int w, int h, HDC src, int sx, int sy,
                   int sw, int sh, BLENDFUNCTION blend);
// Moves the pixels of scroll (the clip box when null) by dx, dy, changing
// only pixels inside clip; updateRect/update receive the uncovered part
// (its bounding rectangle when the move is diagonal).
BOOL ScrollDC(HDC dc, int dx, int dy, const TRect* scroll, const TRect* clip, HRGN update, TRect* updateRect);
constexpr DWORD MAKEROP4(DWORD fore, DWORD back) { return ((back << 8) & 0xFF000000u) | fore; }

int MulDiv(int number, int numerator, int denominator);

// Pixels per inch of the screen (96 unless the desktop says otherwise).
int ScreenPixelsPerInch();

// ---- paths --------------------------------------------------------------------------------
// Between BeginPath and EndPath, MoveToEx, LineTo, Polyline, Polygon,
// Rectangle and Ellipse add to the path instead of drawing.
BOOL BeginPath(HDC dc);
BOOL EndPath(HDC dc);
BOOL AbortPath(HDC dc);
BOOL StrokePath(HDC dc);
BOOL FillPath(HDC dc);
BOOL StrokeAndFillPath(HDC dc);
BOOL CloseFigure(HDC dc);

// ---- palettes (true-colour devices: accepted, no effect) -------------------------------------
HPALETTE SelectPalette(HDC dc, HPALETTE palette, BOOL forceBackground);
UINT RealizePalette(HDC dc);

// ---- device-independent bits -------------------------------------------------------------------
struct BITMAPINFOHEADER {
  DWORD biSize = 40;
  int biWidth = 0;
  int biHeight = 0;  // > 0: bottom-up rows; < 0: top-down
  std::uint16_t biPlanes = 1;
  std::uint16_t biBitCount = 32;
  DWORD biCompression = 0;  // BI_RGB only
  DWORD biSizeImage = 0;
  int biXPelsPerMeter = 0;
  int biYPelsPerMeter = 0;
  DWORD biClrUsed = 0;
  DWORD biClrImportant = 0;
};
struct RGBQUAD {
  std::uint8_t rgbBlue = 0, rgbGreen = 0, rgbRed = 0, rgbReserved = 0;
};
// A header followed by its colour table (for 1- and 8-bit rows).
struct BITMAPINFO {
  BITMAPINFOHEADER bmiHeader;
  RGBQUAD bmiColors[256];
};
enum { BI_RGB = 0, DIB_RGB_COLORS = 0, DIB_PAL_COLORS = 1 };

// Copies rows of bitmap (24- or 32-bit layout as info asks; 1 and 8 with
// a colour table) into bits; with bits == nullptr fills in the header only.
int GetDIBits(HDC dc, HBITMAP bitmap, UINT start, UINT lines, void* bits, BITMAPINFO* info, UINT usage);
// Draws device-independent rows (1, 8, 24 or 32 bits) scaled into the destination.
int StretchDIBits(HDC dc, int x, int y, int w, int h, int sx, int sy, int sw, int sh, const void* bits,
                  const BITMAPINFO* info, UINT usage, DWORD rop);

// ---- regions from rectangles ---------------------------------------------------------------------
struct XFORM {
  float eM11 = 1, eM12 = 0, eM21 = 0, eM22 = 1, eDx = 0, eDy = 0;
};
// The union of rects, each transformed by xform when given.
HRGN ExtCreateRegion(const XFORM* xform, const TRect* rects, int count);
// The rectangles a region is made of (top to bottom, left to right).
int GetRegionRects(HRGN region, std::vector<TRect>* rects);
