#pragma once
// TFont, TPen, TBrush: the drawing objects a canvas uses. Each keeps its
// properties and makes the device-context object (HFONT, HPEN, HBRUSH) on
// demand; a property change drops that object and raises OnChange.
#include <array>
#include <functional>
#include <memory>

#include "platform/core/object.h"
#include "platform/core/tset.h"
#include "platform/core/types.h"
#include "platform/graphics/colors.h"
#include "platform/graphics/gdi.h"

// The installed family that draws text for a face name: the face itself
// when installed, else the free face fontconfig stands in for it (well-known
// faces such as "Times New Roman" or "Courier New" get one of their kind).
String ResolveFontFamily(const String& face);
// True for installed families and for the well-known faces above.
bool FontFamilyInstalled(const String& face);

// Start-up: reads, on a thread of its own, what the first page with text
// outside a font's own characters (Cyrillic in a Latin face, phonetic
// signs) would otherwise load while the user waits: the installed
// families and which characters each of them carries. Returns at once;
// a second call does nothing.
void WarmUpFontData();
// Waits until the warm-up started above has finished (at once if none).
void WaitForFontWarmUp();
// Stops the warm-up after the block it is reading and waits until its
// thread has ended. The thread holds the toolkit's per-thread font data
// (font engines, the font library's faces), which the toolkit frees when
// the thread ends: a program ends it before it leaves main, while the
// toolkit is whole, not among the static objects at exit. Blocks not read
// are read when first needed.
void EndFontWarmUp();

enum TFontStyle { fsBold, fsItalic, fsUnderline, fsStrikeOut };
using TFontStyles = TSet<TFontStyle>;
enum TFontPitch { fpDefault, fpVariable, fpFixed };
using TFontCharset = std::uint8_t;
using TNotifyGraphicEvent = std::function<void(TObject* Sender)>;

class TGraphicsObject : public TObject {
public:
  TNotifyGraphicEvent OnChange;

protected:
  virtual void Changed();
};

class TFont : public TGraphicsObject {
public:
  TFont();
  ~TFont() override;

  const String& Name() const { return *FName; }
  void SetName(const String& value);
  // Height in pixels: negative for the em height, positive for the cell height.
  int Height() const { return FHeight; }
  void SetHeight(int value);
  // Size in points at PixelsPerInch (the same setting as Height).
  int Size() const;
  void SetSize(int value);
  TColor Color() const { return FColor; }
  void SetColor(TColor value);
  TFontStyles Style() const { return FStyle; }
  void SetStyle(TFontStyles value);
  TFontCharset Charset() const { return FCharset; }
  void SetCharset(TFontCharset value);
  TFontPitch Pitch() const { return FPitch; }
  void SetPitch(TFontPitch value);
  int PixelsPerInch() const { return FPixelsPerInch; }
  void SetPixelsPerInch(int value) { FPixelsPerInch = value; }

  // The device-context font (shared through the font cache); owned by TFont.
  HFONT Handle();
  // Takes the properties of a device-context font.
  void SetHandle(HFONT value);
  void Assign(const TFont& source);
  LOGFONTW LogFont() const;

private:
  // A device-context font with the properties it was made for.
  struct TMadeHandle {
    HFONT Handle = nullptr;
    std::shared_ptr<const String> Name;
    int Height = 0;
    TFontStyles Style;
    TFontCharset Charset = DEFAULT_CHARSET;
    TFontPitch Pitch = fpDefault;
    bool MadeFor(const TFont& font) const;
  };
  void changedFont();
  // Shared between copies: fonts are copied often (every text run gets its
  // own) and the name rarely changes.
  std::shared_ptr<const String> FName;
  int FHeight;
  TColor FColor = clWindowText;
  TFontStyles FStyle;
  TFontCharset FCharset = DEFAULT_CHARSET;
  TFontPitch FPitch = fpDefault;
  int FPixelsPerInch;
  HFONT FHandle = nullptr;
  TMadeHandle FMade;  // what FHandle was made for
  // The fonts this one had last, newest first, kept for when it goes back
  // to one of them: a canvas's font switches between a few (plain, bold,
  // a link) for every run of a page, and each switch made a new one.
  std::array<TMadeHandle, 3> FRecent;
};

enum TPenStyle { psSolid, psDash, psDot, psDashDot, psDashDotDot, psClear,
                 psInsideFrame, psUserStyle, psAlternate };
enum TPenMode { pmBlack, pmWhite, pmNop, pmNot, pmCopy, pmNotCopy, pmMergePenNot,
                pmMaskPenNot, pmMergeNotPen, pmMaskNotPen, pmMerge, pmNotMerge,
                pmMask, pmNotMask, pmXor, pmNotXor };

class TPen : public TGraphicsObject {
public:
  TPen() = default;
  ~TPen() override;
  TColor Color() const { return FColor; }
  void SetColor(TColor value);
  int Width() const { return FWidth; }
  void SetWidth(int value);
  TPenStyle Style() const { return FStyle; }
  void SetStyle(TPenStyle value);
  TPenMode Mode() const { return FMode; }
  void SetMode(TPenMode value);
  HPEN Handle();
  // Takes a pen made elsewhere (e.g. a geometric pen); TPen then owns it.
  void SetHandle(HPEN value);
  void Assign(const TPen& source);

private:
  void changedPen();
  TColor FColor = clBlack;
  int FWidth = 1;
  TPenStyle FStyle = psSolid;
  TPenMode FMode = pmCopy;
  HPEN FHandle = nullptr;
  bool FOwnHandle = true;
};

enum TBrushStyle { bsSolid, bsClear, bsHorizontal, bsVertical, bsFDiagonal,
                   bsBDiagonal, bsCross, bsDiagCross };
class TBitmap;

class TBrush : public TGraphicsObject {
public:
  TBrush() = default;
  ~TBrush() override;
  TColor Color() const { return FColor; }
  void SetColor(TColor value);
  TBrushStyle Style() const { return FStyle; }
  void SetStyle(TBrushStyle value);
  // A pattern bitmap (8 x 8 for the usual patterns); not owned.
  TBitmap* Bitmap() const { return FBitmap; }
  void SetBitmap(TBitmap* value);
  HBRUSH Handle();
  void SetHandle(HBRUSH value);  // TBrush owns it from now on
  void Assign(const TBrush& source);

private:
  void changedBrush();
  TColor FColor = clWhite;
  TBrushStyle FStyle = bsSolid;
  TBitmap* FBitmap = nullptr;
  HBRUSH FHandle = nullptr;
};
