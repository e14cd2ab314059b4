// TFont, TPen and TBrush: properties, and the device-context objects made
// from them on demand.
#include "platform/graphics/font.h"

#include <algorithm>

#include "platform/graphics/bitmap.h"
#include "platform/graphics/gdi_internal.h"

void TGraphicsObject::Changed() {
  if (OnChange) OnChange(this);
}

// ---- TFont -------------------------------------------------------------------------

namespace {
const std::shared_ptr<const String>& defaultFontName() {
  static const auto name = std::make_shared<const String>(u"Tahoma");
  return name;
}
}  // namespace

TFont::TFont() : FName(defaultFontName()), FPixelsPerInch(ScreenPixelsPerInch()) {
  FHeight = -MulDiv(8, FPixelsPerInch, 72);
}

TFont::~TFont() {
  DeleteObject(FHandle);
  for (const TMadeHandle& made : FRecent) DeleteObject(made.Handle);
}

bool TFont::TMadeHandle::MadeFor(const TFont& font) const {
  return Handle && Height == font.FHeight && Style == font.FStyle && Charset == font.FCharset &&
         Pitch == font.FPitch && (Name == font.FName || *Name == *font.FName);
}

void TFont::changedFont() {
  if (FHandle) {
    DeleteObject(FRecent.back().Handle);
    std::move_backward(FRecent.begin(), FRecent.end() - 1, FRecent.end());
    FRecent.front() = std::move(FMade);
    FMade = {};
    FHandle = nullptr;
  }
  Changed();
}

void TFont::SetName(const String& value) {
  if (value.empty() || value == *FName) return;
  FName = std::make_shared<const String>(value);
  changedFont();
}

void TFont::SetHeight(int value) {
  if (value == FHeight) return;
  FHeight = value;
  changedFont();
}

int TFont::Size() const { return -MulDiv(FHeight, 72, FPixelsPerInch); }

void TFont::SetSize(int value) { SetHeight(-MulDiv(value, FPixelsPerInch, 72)); }

void TFont::SetColor(TColor value) {
  if (value == FColor) return;
  FColor = value;
  Changed();  // the colour is not part of the device-context font
}

void TFont::SetStyle(TFontStyles value) {
  if (value == FStyle) return;
  FStyle = value;
  changedFont();
}

void TFont::SetCharset(TFontCharset value) {
  if (value == FCharset) return;
  FCharset = value;
  changedFont();
}

void TFont::SetPitch(TFontPitch value) {
  if (value == FPitch) return;
  FPitch = value;
  changedFont();
}

LOGFONTW TFont::LogFont() const {
  LOGFONTW lf;
  lf.lfHeight = FHeight;
  lf.lfWeight = FStyle.Contains(fsBold) ? FW_BOLD : FW_NORMAL;
  lf.lfItalic = FStyle.Contains(fsItalic);
  lf.lfUnderline = FStyle.Contains(fsUnderline);
  lf.lfStrikeOut = FStyle.Contains(fsStrikeOut);
  lf.lfCharSet = FCharset;
  lf.lfPitchAndFamily = FPitch == fpFixed ? FIXED_PITCH : FPitch == fpVariable ? VARIABLE_PITCH : DEFAULT_PITCH;
  lf.lfFaceName = *FName;
  return lf;
}

HFONT TFont::Handle() {
  if (FHandle) return FHandle;
  for (TMadeHandle& made : FRecent) {
    if (!made.MadeFor(*this)) continue;
    FMade = std::move(made);
    made = {};
    FHandle = FMade.Handle;
    return FHandle;
  }
  FHandle = CreateFontIndirectW(LogFont());
  FMade = {FHandle, FName, FHeight, FStyle, FCharset, FPitch};
  return FHandle;
}

void TFont::SetHandle(HFONT value) {
  if (!value || value->type != OBJ_FONT) return;
  const LOGFONTW& lf = value->logFont;
  if (!lf.lfFaceName.empty() && lf.lfFaceName != *FName) FName = std::make_shared<const String>(lf.lfFaceName);
  FHeight = lf.lfHeight;
  FStyle = {};
  if (lf.lfWeight >= 600) FStyle.Include(fsBold);
  if (lf.lfItalic) FStyle.Include(fsItalic);
  if (lf.lfUnderline) FStyle.Include(fsUnderline);
  if (lf.lfStrikeOut) FStyle.Include(fsStrikeOut);
  FCharset = lf.lfCharSet;
  changedFont();
}

void TFont::Assign(const TFont& source) {
  if (&source == this) return;
  bool same = (FName == source.FName || *FName == *source.FName) && FHeight == source.FHeight && FStyle == source.FStyle &&
              FCharset == source.FCharset && FPitch == source.FPitch &&
              FPixelsPerInch == source.FPixelsPerInch;
  bool sameColor = FColor == source.FColor;
  FName = source.FName;
  FHeight = source.FHeight;
  FStyle = source.FStyle;
  FCharset = source.FCharset;
  FPitch = source.FPitch;
  FColor = source.FColor;
  FPixelsPerInch = source.FPixelsPerInch;
  if (!same) changedFont();
  else if (!sameColor) Changed();
}

// ---- TPen --------------------------------------------------------------------------

TPen::~TPen() {
  if (FOwnHandle) DeleteObject(FHandle);
}

void TPen::changedPen() {
  if (FHandle && FOwnHandle) DeleteObject(FHandle);
  FHandle = nullptr;
  FOwnHandle = true;
  Changed();
}

void TPen::SetColor(TColor value) {
  if (value == FColor) return;
  FColor = value;
  changedPen();
}
void TPen::SetWidth(int value) {
  if (value < 0 || value == FWidth) return;
  FWidth = value;
  changedPen();
}
void TPen::SetStyle(TPenStyle value) {
  if (value == FStyle) return;
  FStyle = value;
  changedPen();
}
void TPen::SetMode(TPenMode value) {
  if (value == FMode) return;
  FMode = value;
  Changed();  // the mode is a device-context setting
}

HPEN TPen::Handle() {
  if (!FHandle) {
    static const int styles[] = {PS_SOLID, PS_DASH, PS_DOT, PS_DASHDOT, PS_DASHDOTDOT,
                                 PS_NULL, PS_INSIDEFRAME, PS_USERSTYLE, PS_ALTERNATE};
    FHandle = CreatePen(styles[FStyle], FWidth, ColorToRGB(FColor));
    FOwnHandle = true;
  }
  return FHandle;
}

void TPen::SetHandle(HPEN value) {
  if (FHandle && FOwnHandle) DeleteObject(FHandle);
  FHandle = value;
  FOwnHandle = true;
  if (value) {
    FColor = TColor(value->color);
    FWidth = value->penWidth;
    int s = int(value->penStyle & PS_STYLE_MASK);
    FStyle = s <= int(psAlternate) ? TPenStyle(s) : psSolid;
  }
  Changed();
}

void TPen::Assign(const TPen& source) {
  if (&source == this) return;
  FColor = source.FColor;
  FWidth = source.FWidth;
  FStyle = source.FStyle;
  FMode = source.FMode;
  changedPen();
}

// ---- TBrush ------------------------------------------------------------------------

TBrush::~TBrush() { DeleteObject(FHandle); }

void TBrush::changedBrush() {
  DeleteObject(FHandle);
  FHandle = nullptr;
  Changed();
}

void TBrush::SetColor(TColor value) {
  if (value == FColor && FStyle != bsClear) return;
  FColor = value;
  if (FStyle == bsClear) FStyle = bsSolid;  // choosing a colour makes the brush paint
  changedBrush();
}
void TBrush::SetStyle(TBrushStyle value) {
  if (value == FStyle) return;
  FStyle = value;
  changedBrush();
}
void TBrush::SetBitmap(TBitmap* value) {
  FBitmap = value;
  changedBrush();
}

HBRUSH TBrush::Handle() {
  if (!FHandle) {
    if (FBitmap && !FBitmap->Empty()) FHandle = CreatePatternBrush(FBitmap->Handle());
    else if (FStyle == bsClear) {
      LOGBRUSH lb;
      lb.lbStyle = BS_NULL;
      lb.lbColor = ColorToRGB(FColor);
      // A brush object of its own (not the stock one), so TBrush may free it.
      FHandle = CreateSolidBrush(lb.lbColor);
      FHandle->brushStyle = lb.lbStyle;
    } else if (FStyle == bsSolid) FHandle = CreateSolidBrush(ColorToRGB(FColor));
    else FHandle = CreateHatchBrush(int(FStyle) - int(bsHorizontal), ColorToRGB(FColor));
  }
  return FHandle;
}

void TBrush::SetHandle(HBRUSH value) {
  DeleteObject(FHandle);
  FHandle = value;
  if (value) {
    FColor = TColor(value->color);
    FStyle = value->brushStyle == BS_NULL ? bsClear : bsSolid;
  }
  Changed();
}

void TBrush::Assign(const TBrush& source) {
  if (&source == this) return;
  FColor = source.FColor;
  FStyle = source.FStyle;
  FBitmap = source.FBitmap;
  changedBrush();
}
