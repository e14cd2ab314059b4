// The shared check-box pictures of all trees, drawn once when the first
// tree is made. Every set holds 25 pictures of 16 x 16 in the order the
// painter indexes them: 0 empty; radio buttons 1-4 unchecked and 5-8
// checked; check boxes 9-12 unchecked and 13-16 checked; 17-20 mixed; 21-24
// push buttons; each group as normal, hot, pressed, disabled.
#include <mutex>

#include "platform/graphics/bitmap.h"
#include "platform/graphics/canvas.h"
#include "platform/graphics/colors.h"
#include "platform/graphics/imagelist.h"
#include "platform/gui/windows.h"
#include "tree/globals.h"

namespace {
constexpr TColor MaskColour = clRed;

enum TMark { mkNone, mkCheck, mkTick, mkMixed };
enum TShape { shBox, shRadio, shButton };
enum TLook { lkNormal, lkHot, lkPressed, lkDisabled };

struct TStyle {
  TColor Frame;
  TColor Fill;
  TColor Mark;
  bool Flat;
  bool TickMark;  // a tick instead of a cross-free check
};

void drawMark(TCanvas& c, TMark mark, TColor colour, bool tick) {
  c.Pen()->SetColor(colour);
  c.Brush()->SetColor(colour);
  switch (mark) {
    case mkCheck:
    case mkTick:
      if (tick) {
        c.Polyline({{4, 8}, {6, 10}, {11, 4}});
        c.Polyline({{4, 9}, {6, 11}, {11, 5}});
      } else {
        for (int d = 0; d < 3; ++d) c.Polyline({{4, 7 + d}, {6, 9 + d}, {11, 4 + d}});
      }
      break;
    case mkMixed:
      c.FillRect({5, 5, 11, 11});
      break;
    default:
      break;
  }
}

void drawPicture(TBitmap& bmp, TShape shape, TMark mark, TLook look, const TStyle& style) {
  bmp.SetPixelFormat(pf32bit);
  bmp.SetSize(16, 16);
  TCanvas& c = *bmp.Canvas();
  c.Brush()->SetColor(MaskColour);
  c.FillRect({0, 0, 16, 16});

  TColor fill = style.Fill;
  if (look == lkPressed || look == lkDisabled) fill = clBtnFace;
  TColor frame = look == lkDisabled ? clBtnShadow : style.Frame;
  if (look == lkHot) frame = clHighlight;
  TColor markColour = look == lkDisabled ? clGrayText : style.Mark;

  c.Pen()->SetColor(frame);
  c.Brush()->SetColor(fill);
  switch (shape) {
    case shRadio:
      c.Ellipse(1, 1, 14, 14);
      if (mark == mkCheck) {
        c.Pen()->SetColor(markColour);
        c.Brush()->SetColor(markColour);
        c.Ellipse(5, 5, 10, 10);
      } else if (mark == mkMixed) {
        drawMark(c, mark, markColour, false);
      }
      break;
    case shButton:
      c.Brush()->SetColor(look == lkPressed ? clBtnShadow : clBtnFace);
      c.Rectangle(0, 1, 15, 15);
      if (!style.Flat && look != lkPressed) {
        c.Pen()->SetColor(clBtnHighlight);
        c.Polyline({{1, 13}, {1, 2}, {13, 2}});
      }
      break;
    case shBox:
      c.Rectangle(1, 1, 14, 14);
      if (!style.Flat) {
        c.Pen()->SetColor(clBtnShadow);
        c.Polyline({{2, 12}, {2, 2}, {13, 2}});
      }
      drawMark(c, mark, markColour, style.TickMark);
      break;
  }
}

void fillSet(TImageList& list, const TStyle& style) {
  list.Clear();
  list.SetWidth(16);
  list.SetHeight(16);
  list.SetBkColor(clWhite);
  TBitmap bmp;
  bmp.SetPixelFormat(pf32bit);
  bmp.SetSize(16, 16);
  bmp.Canvas()->Brush()->SetColor(MaskColour);
  bmp.Canvas()->FillRect({0, 0, 16, 16});
  list.AddMasked(&bmp, MaskColour);  // 0: nothing
  const TLook looks[] = {lkNormal, lkHot, lkPressed, lkDisabled};
  struct Group {
    TShape Shape;
    TMark Mark;
  };
  const Group groups[] = {{shRadio, mkNone}, {shRadio, mkCheck}, {shBox, mkNone},
                          {shBox, mkCheck},  {shBox, mkMixed},   {shButton, mkNone}};
  for (const Group& g : groups)
    for (TLook look : looks) {
      drawPicture(bmp, g.Shape, g.Mark, look, style);
      list.AddMasked(&bmp, MaskColour);
    }
}

// The header's small pictures: 0 and 1 the drop marks at a column's left
// and right edge, 2 and 3 the descending and ascending sort glyphs, 4 and 5
// the same for themed headers, 6 to 8 the left, middle and right pieces of
// the hot underline (their top three rows; the rest stays transparent).
void fillUtilities(TImageList& list) {
  list.Clear();
  list.SetWidth(16);
  list.SetHeight(16);
  list.SetBkColor(clWhite);
  const TColor hot = TColor(0x003CC7FF);  // orange
  for (int i = 0; i < 9; ++i) {
    TBitmap bmp;
    bmp.SetPixelFormat(pf32bit);
    bmp.SetSize(16, 16);
    TCanvas& c = *bmp.Canvas();
    c.Brush()->SetColor(MaskColour);
    c.FillRect({0, 0, 16, 16});
    TColor ink = (i == 4 || i == 5) ? clBtnShadow : clWindowText;
    if (i >= 6) ink = hot;
    c.Pen()->SetColor(ink);
    c.Brush()->SetColor(ink);
    switch (i) {
      case 0:
        c.FillRect({0, 0, 2, 16});
        c.Polygon({{2, 4}, {2, 12}, {6, 8}});
        break;
      case 1:
        c.FillRect({14, 0, 16, 16});
        c.Polygon({{13, 4}, {13, 12}, {9, 8}});
        break;
      case 2:
      case 4:
        c.Polygon({{4, 6}, {12, 6}, {8, 10}});
        break;
      case 3:
      case 5:
        c.Polygon({{4, 10}, {12, 10}, {8, 6}});
        break;
      case 6:
        c.FillRect({1, 0, 16, 3});
        c.FillRect({0, 1, 1, 2});
        break;
      case 7:
        c.FillRect({0, 0, 16, 3});
        break;
      default:
        c.FillRect({0, 0, 15, 3});
        c.FillRect({15, 1, 16, 2});
        break;
    }
    list.AddMasked(&bmp, MaskColour);
  }
}

struct TSharedImages {
  std::unique_ptr<TImageList> Lists[9];
  HCURSOR HeaderSplit = nullptr;
  HCURSOR VertSplit = nullptr;
};

TSharedImages& shared() {
  static TSharedImages images;
  return images;
}

std::mutex& imageLock() {
  static std::mutex lock;
  return lock;
}

// A two-headed arrow cursor, horizontal or vertical, with its hot spot in
// the middle.
HCURSOR makeSplitCursor(bool horizontal) {
  std::uint32_t pixels[32 * 32] = {};
  auto put = [&](int x, int y, std::uint32_t argb) {
    if (!horizontal) std::swap(x, y);
    if (x >= 0 && x < 32 && y >= 0 && y < 32) pixels[y * 32 + x] = argb;
  };
  const std::uint32_t black = 0xFF000000u, white = 0xFFFFFFFFu;
  for (int i = 4; i < 28; ++i) {
    put(i, 15, black);
    put(i, 16, black);
    put(i, 14, white);
    put(i, 17, white);
  }
  for (int y = 9; y < 23; ++y) {
    put(14, y, black);
    put(17, y, black);
  }
  for (int d = 0; d < 5; ++d)
    for (int y = 15 - d; y <= 16 + d; ++y) {
      put(4 - d + 4, y, black);
      put(27 + d - 4, y, black);
    }
  return CreateCursorFromImage(pixels, 32, 32, 16, 16);
}
}  // namespace

namespace {
// Light, dark, light tick, dark tick, flat, XP, then the system-like
// regular and flat sets.
const TStyle& sharedStyle(int Index) {
  static const TStyle styles[9] = {
      {clBtnShadow, clWindow, clWindowText, false, false},
      {cl3DDkShadow, clBtnFace, clWindowText, false, false},
      {clBtnShadow, clWindow, clWindowText, false, true},
      {cl3DDkShadow, clBtnFace, clWindowText, false, true},
      {clBtnShadow, clWindow, clWindowText, true, false},
      {TColor(0x7F4F1C), clWhite, TColor(0x21A121), true, true},
      {clWindowText, clWindow, clWindowText, false, false},  // not used: the utilities
      {clBtnShadow, clWindow, clWindowText, false, false},
      {clBtnShadow, clWindow, clWindowText, true, false},
  };
  return styles[Index];
}

void fillShared(TSharedImages& s) {
  for (int i = 0; i < 9; ++i)
    if (i != 6) fillSet(*s.Lists[i], sharedStyle(i));
  fillUtilities(*s.Lists[6]);
}
}  // namespace

void CreateSharedCheckImages() {
  std::lock_guard<std::mutex> lock(imageLock());
  TSharedImages& s = shared();
  if (s.Lists[0]) return;
  for (auto& list : s.Lists) list = std::make_unique<TImageList>(nullptr);
  fillShared(s);
}

void ReloadSharedCheckImages() {
  std::lock_guard<std::mutex> lock(imageLock());
  TSharedImages& s = shared();
  if (!s.Lists[0]) return;
  fillShared(s);
}

void FreeSharedCheckImages() {
  std::lock_guard<std::mutex> lock(imageLock());
  TSharedImages& s = shared();
  for (auto& list : s.Lists) list.reset();
  if (s.HeaderSplit) DestroyCursor(s.HeaderSplit);
  if (s.VertSplit) DestroyCursor(s.VertSplit);
  s.HeaderSplit = s.VertSplit = nullptr;
}

TImageList* GetCheckImageList(TCheckImageKind Kind) {
  TSharedImages& s = shared();
  switch (Kind) {
    case ckLightCheck: return s.Lists[0].get();
    case ckDarkCheck: return s.Lists[1].get();
    case ckLightTick: return s.Lists[2].get();
    case ckDarkTick: return s.Lists[3].get();
    case ckFlat: return s.Lists[4].get();
    case ckXP: return s.Lists[5].get();
    case ckSystemDefault: return s.Lists[7].get();
    case ckSystemFlat: return s.Lists[8].get();
    default: return nullptr;
  }
}

TImageList* UtilityImages() { return shared().Lists[6].get(); }

HCURSOR TreeCursor(int Id) {
  // Made on first use: a cursor needs the windowing system up.
  std::lock_guard<std::mutex> lock(imageLock());
  TSharedImages& s = shared();
  if (Id == crHeaderSplit) {
    if (!s.HeaderSplit) s.HeaderSplit = makeSplitCursor(true);
    return s.HeaderSplit;
  }
  if (Id == crVertSplit) {
    if (!s.VertSplit) s.VertSplit = makeSplitCursor(false);
    return s.VertSplit;
  }
  return nullptr;
}
