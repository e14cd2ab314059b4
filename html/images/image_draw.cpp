// Image drawing and printing routines.
#include "html/images/image_draw.h"

#include <algorithm>
#include <cstring>

#include "html/parse/html_common.h"
#include "html/images/gdiplus_images.h"
#include "html/images/gif_images.h"
#include "html/images/image_cache.h"

namespace {

std::uint32_t* row32(TBitmap& b, int y) { return static_cast<std::uint32_t*>(b.ScanLine(y)); }

bool isWhite(std::uint32_t px) { return (px & 0xFFFFFF) == 0xFFFFFF; }

}  // namespace

// ---- sizes ----------------------------------------------------------------------

namespace {
[[noreturn]] void notAPicture() { throw EGDIPlus("Not a TBitmap, TGifImage, TMetafile, or TGpImage"); }
}  // namespace

int GetImageWidth(TgpObject* Image) {
  if (auto* b = dynamic_cast<TBitmap*>(Image)) return b->Width();
  if (auto* g = dynamic_cast<TGpImage*>(Image)) return g->Width();
  if (auto* gif = dynamic_cast<TGIFImage*>(Image)) return gif->Width();
  if (auto* m = dynamic_cast<ThtMetaFile*>(Image)) return m->Width();
  notAPicture();
}

int GetImageHeight(TgpObject* Image) {
  if (auto* b = dynamic_cast<TBitmap*>(Image)) return b->Height();
  if (auto* g = dynamic_cast<TGpImage*>(Image)) return g->Height();
  if (auto* gif = dynamic_cast<TGIFImage*>(Image)) return gif->Height();
  if (auto* m = dynamic_cast<ThtMetaFile*>(Image)) return m->Height();
  notAPicture();
}

// ---- transparent drawing ------------------------------------------------------------

void FinishTransparentBitmap(HDC DC, TBitmap* InImage, TBitmap* Mask, int xStart, int yStart, int W, int H) {
  if (!DC || !InImage || InImage->Empty()) return;
  if (GetDeviceCaps(DC, BITSPIXEL) < 2 && GetDeviceCaps(DC, PLANES) < 2) return;  // a monochrome device
  // The picture with the mask folded into its alpha, blended in one pass:
  // the same result as masking out and painting in, on every device.
  const int w = InImage->Width(), h = InImage->Height();
  TBitmap work;
  work.SetPixelFormat(pf32bit);
  work.SetAlphaFormat(afDefined);
  work.SetSize(w, h);
  const bool ownAlpha = InImage->PixelFormat() == pf32bit && InImage->AlphaFormat() == afDefined;
  const int mw = Mask ? Mask->Width() : 0, mh = Mask ? Mask->Height() : 0;
  for (int y = 0; y < h; ++y) {
    const std::uint32_t* src = row32(*InImage, y);
    const std::uint32_t* m = y < mh ? row32(*Mask, y) : nullptr;
    std::uint32_t* dst = row32(work, y);
    for (int x = 0; x < w; ++x) {
      const bool clear = m && x < mw && isWhite(m[x]);
      dst[x] = clear ? 0u : ownAlpha ? src[x] : (src[x] | 0xFF000000u);
    }
  }
  BLENDFUNCTION bf;
  bf.AlphaFormat = AC_SRC_ALPHA;
  GdiAlphaBlend(DC, xStart, yStart, W, H, work.Canvas()->Handle(), 0, 0, w, h, bf);
}

void PrintBitmap(TCanvas* Canvas, int X, int Y, int W, int H, TBitmap* Bitmap) {
  if (!Canvas || !Bitmap || Bitmap->Empty()) return;
  const int bw = Bitmap->Width(), bh = Bitmap->Height();
  BITMAPINFO info;
  info.bmiHeader.biWidth = bw;
  info.bmiHeader.biHeight = bh;
  info.bmiHeader.biBitCount = 24;
  info.bmiHeader.biSizeImage = DWORD(DibBytesPerRow(bw, 24) * bh);
  std::vector<std::uint8_t> bits(info.bmiHeader.biSizeImage);
  if (!GetDIBits(Canvas->Handle(), Bitmap->Handle(), 0, UINT(bh), bits.data(), &info, DIB_RGB_COLORS)) return;
  HDC dc = Canvas->Handle();
  HPALETTE old = SelectPalette(dc, SharedPalette, false);
  RealizePalette(dc);
  StretchDIBits(dc, X, Y, W, H, 0, 0, bw, bh, bits.data(), &info, DIB_RGB_COLORS, SRCCOPY);
  SelectPalette(dc, old, true);
}

HRGN BitmapToRegion(TBitmap* ABmp, const XFORM* XForm, TColor TransparentColor) {
  if (!ABmp || ABmp->Empty()) return nullptr;
  const COLORREF key = ColorToRGB(TransparentColor);
  const std::uint32_t keyPx = std::uint32_t(GetRValue(key)) << 16 | std::uint32_t(GetGValue(key)) << 8 |
                              std::uint32_t(GetBValue(key));
  HRGN result = nullptr;
  std::vector<TRect> rects;
  rects.reserve(100);
  auto flush = [&] {
    if (rects.empty()) return;
    HRGN part = ExtCreateRegion(XForm, rects.data(), int(rects.size()));
    rects.clear();
    if (!part) return;
    if (!result) {
      result = part;
      return;
    }
    CombineRgn(result, result, part, RGN_OR);
    DeleteObject(part);
  };
  const int w = ABmp->Width(), h = ABmp->Height();
  for (int y = 0; y < h; ++y) {
    const std::uint32_t* p = row32(*ABmp, y);
    for (int x = 0; x < w;) {
      while (x < w && (p[x] & 0xFFFFFF) == keyPx) ++x;
      const int start = x;
      while (x < w && (p[x] & 0xFFFFFF) != keyPx) ++x;
      if (x > start) {
        rects.push_back(Rect(start, y, x, y + 1));
        // Regions are made in batches the platform handles well.
        if (rects.size() >= 2000) flush();
      }
    }
  }
  flush();
  return result;
}

void PrintTransparentBitmap3(TCanvas* Canvas, int X, int Y, int NewW, int NewH, TBitmap* Bitmap, TBitmap* Mask,
                             int YI, int HI) {
  if (!Canvas || !Bitmap || Bitmap->Empty() || HI < 1 || Bitmap->Width() < 1) return;
  const int bw = Bitmap->Width();
  // The strip of rows asked for, as its own bitmap and mask.
  TBitmap strip, stripMask;
  strip.SetPixelFormat(pf24bit);
  strip.SetSize(bw, HI);
  stripMask.SetSize(bw, HI);
  for (int y = 0; y < HI; ++y) {
    const int sy = YI + y;
    std::uint32_t* d = row32(strip, y);
    std::uint32_t* dm = row32(stripMask, y);
    const bool inside = sy >= 0 && sy < Bitmap->Height();
    const std::uint32_t* s = inside ? row32(*Bitmap, sy) : nullptr;
    const std::uint32_t* m = Mask && sy >= 0 && sy < Mask->Height() ? row32(*Mask, sy) : nullptr;
    for (int x = 0; x < bw; ++x) {
      const bool clear = !s || (m && x < Mask->Width() && isWhite(m[x]));
      // Transparent pixels print white; the clip below keeps them off paper.
      d[x] = clear ? 0xFFFFFFFFu : (s[x] | 0xFF000000u);
      dm[x] = clear ? 0xFFFFFFFFu : 0xFF000000u;
    }
  }
  HDC dc = Canvas->Handle();
  TSize vp, win;
  TPoint org;
  GetViewportExtEx(dc, &vp);
  GetWindowExtEx(dc, &win);
  GetWindowOrgEx(dc, &org);
  const double scaleX = win.cx ? double(vp.cx) / win.cx : 1.0, scaleY = win.cy ? double(vp.cy) / win.cy : 1.0;
  XFORM xf;
  xf.eM11 = float(double(NewW) / bw * scaleX);
  xf.eM22 = float(double(NewH) / HI * scaleY);
  xf.eM12 = xf.eM21 = 0;
  xf.eDx = float((X - org.x) * scaleX);
  xf.eDy = float(Y * scaleY);
  HRGN region = BitmapToRegion(&stripMask, &xf, clWhite);
  if (!region) return;  // nothing opaque
  HRGN old = CreateRectRgn(0, 0, 0, 0);
  const bool hadClip = GetClipRgn(dc, old) == 1;
  if (hadClip) CombineRgn(region, region, old, RGN_AND);
  SelectClipRgn(dc, region);
  PrintBitmap(Canvas, X, Y, NewW, NewH, &strip);
  SelectClipRgn(dc, hadClip ? old : nullptr);
  DeleteObject(old);
  DeleteObject(region);
}

// ---- TDib ---------------------------------------------------------------------------

std::unique_ptr<TDib> TDib::CreateDIB(HDC DC, TBitmap* Bitmap) {
  if (!Bitmap) throw EOSError(u"The bitmap has no handle", 6);
  BITMAP bm;
  GetObjectW(Bitmap->Handle(), sizeof bm, &bm);
  auto dib = std::make_unique<TDib>();
  int bits = bm.bmPlanes * bm.bmBitsPixel;
  if (bits == 16 || bits == 32) bits = 24;
  // Only the depths the platform hands out: 1 and 24 bits.
  if (bits != 1) bits = 24;
  BITMAPINFOHEADER& h = dib->FInfo.bmiHeader;
  h.biSize = 40;
  h.biWidth = Bitmap->Width();
  h.biHeight = Bitmap->Height();
  h.biPlanes = 1;
  h.biBitCount = std::uint16_t(bits);
  h.biCompression = BI_RGB;
  h.biSizeImage = DWORD(DibBytesPerRow(h.biWidth, bits) * h.biHeight);
  dib->FInfoSize = bits <= 8 ? 40 + 4 * (1 << bits) : 40;
  dib->FBits.assign(h.biSizeImage, 0);
  if (h.biSizeImage == 0) return dib;
  if (GetDIBits(DC, Bitmap->Handle(), 0, UINT(h.biHeight), dib->FBits.data(), &dib->FInfo, DIB_RGB_COLORS) == 0)
    throw EOSError(u"The bitmap's bits could not be read", 1);
  return dib;
}

HBITMAP TDib::DIBToDDB() {
  HDC screen = CreateCompatibleDC(nullptr);
  HPALETTE old = SelectPalette(screen, SharedPalette, false);
  RealizePalette(screen);
  const int w = FInfo.bmiHeader.biWidth, h = std::abs(FInfo.bmiHeader.biHeight);
  HBITMAP bmp = CreateCompatibleBitmap(screen, w, h);
  HGDIOBJ prev = SelectObject(screen, bmp);
  StretchDIBits(screen, 0, 0, w, h, 0, 0, w, h, FBits.data(), &FInfo, DIB_RGB_COLORS, SRCCOPY);
  SelectObject(screen, prev);
  SelectPalette(screen, old, true);
  DeleteDC(screen);
  return bmp;
}

// ---- ThtMetaFile ----------------------------------------------------------------------

ThtMetaFile::ThtMetaFile() = default;
ThtMetaFile::~ThtMetaFile() = default;

void ThtMetaFile::makeBitmaps() {
  if (FBitmap) return;
  try {
    const int w = Width(), h = Height();
    auto b = std::make_unique<TBitmap>(w, h);
    b->Canvas()->Brush()->SetColor(clBlack);
    b->Canvas()->FillRect(Rect(0, 0, w, h));
    b->Canvas()->StretchDraw(Rect(0, 0, w, h), this);
    // A second copy on a colour the drawing is unlikely to use gives the mask.
    const TPaletteColor key = ViewerPaletteEntries()[115];
    TBitmap keyed(w, h);
    keyed.Canvas()->Brush()->SetColor(TColor(RGB(key.Red, key.Green, key.Blue)));
    keyed.Canvas()->FillRect(Rect(0, 0, w, h));
    keyed.Canvas()->StretchDraw(Rect(0, 0, w, h), this);
    FMask = GetImageMask(&keyed, false, 0);
    FBitmap = std::move(b);
  } catch (const Exception&) {
    FBitmap.reset();
  }
}

TBitmap* ThtMetaFile::GetBitmap() {
  makeBitmaps();
  return FBitmap.get();
}

TBitmap* ThtMetaFile::GetMask() {
  makeBitmaps();
  return FMask.get();
}

TBitmap* ThtMetaFile::GetWhiteBGBitmap() {
  if (FWhiteBGBitmap) return FWhiteBGBitmap.get();
  const int w = Width(), h = Height();
  auto b = std::make_unique<TBitmap>(w, h);
  b->Canvas()->Brush()->SetColor(clWhite);
  b->Canvas()->FillRect(Rect(0, 0, w, h));
  b->Canvas()->StretchDraw(Rect(0, 0, w, h), this);
  FWhiteBGBitmap = std::move(b);
  return FWhiteBGBitmap.get();
}

// ---- GDI+ drawing ----------------------------------------------------------------------

void DrawGpImage(HDC DC, TGpImage* Img, int X, int Y) {
  TGpGraphics g(DC);
  g.DrawImage(Img, X, Y);
}

void DrawGpImagePart(HDC DC, TGpImage* Img, int X, int Y, int SrcX, int SrcY, int SrcW, int SrcH) {
  TGpGraphics g(DC);
  g.DrawImage(Img, X, Y, SrcX, SrcY, SrcW, SrcH);
}

void StretchDrawGpImage(HDC DC, TGpImage* Img, int X, int Y, int W, int H) {
  TGpGraphics g(DC);
  g.DrawImage(Img, X, Y, W, H);
}

void StretchPrintGpImageDirect(HDC DC, TGpImage* Img, int X, int Y, int W, int H, double ScaleX, double ScaleY) {
  TGpGraphics g(DC);
  g.ScaleTransform(float(ScaleX), float(ScaleY));
  g.DrawImage(Img, X, Y, W, H);
}

void PrintGpImageDirect(HDC DC, TGpImage* Img, int X, int Y, double ScaleX, double ScaleY) {
  TGpGraphics g(DC);
  g.ScaleTransform(float(ScaleX), float(ScaleY));
  g.DrawImage(Img, X, Y);
}

void StretchPrintGpImageOnColor(TCanvas* Canvas, TGpImage* Img, int X, int Y, int W, int H, TColor Color) {
  const int iw = Img->Width(), ih = Img->Height();
  TBitmap b(iw, ih);
  b.Canvas()->Brush()->SetColor(Color);
  b.Canvas()->FillRect(Rect(0, 0, iw, ih));
  {
    TGpGraphics g(b.Canvas()->Handle());
    g.DrawImage(Img, 0, 0, iw, ih);
  }
  StretchBlt(Canvas->Handle(), X, Y, W, H, b.Canvas()->Handle(), 0, 0, iw, ih, SRCCOPY);
}

std::unique_ptr<TBitmap> EnlargeImage(TgpObject* Image, int W, int H) {
  std::unique_ptr<TBitmap> rendered;
  TBitmap* source = nullptr;
  if (auto* gp = dynamic_cast<TGpImage*>(Image)) {
    rendered = gp->GetBitmap();
    source = rendered.get();
  } else {
    source = dynamic_cast<TBitmap*>(Image);
  }
  if (!source || source->Empty()) return nullptr;
  const int sw = source->Width(), sh = source->Height();
  const int nw = sw == 1 ? std::min(W, 100) : sw, nh = sh == 1 ? std::min(H, 100) : sh;
  auto b = std::make_unique<TBitmap>(std::max(nw, 1), std::max(nh, 1));
  StretchBlt(b->Canvas()->Handle(), 0, 0, b->Width(), b->Height(), source->Canvas()->Handle(), 0, 0, sw, sh,
             SRCCOPY);
  return b;
}
