#pragma once
// An IMG element (or a background or bullet picture of the model): an
// inline or floating object on a placeholder character of a section. It
// fetches its picture on its first layout, sizes its box from WIDTH,
// HEIGHT, BORDER and the picture, shows a placeholder with the alternative
// text while the picture is missing, and draws itself with its mask.
#include <cstdint>
#include <memory>

#include "html/model/floating_objects.h"

class TGraphic;
class TBitmap;
class TGIFImage;
class TFormControlObj;

class TImageObj : public TFloatingObj {
public:
  // From an IMG tag at character Position of its section.
  TImageObj(ThtDocument* AMasterList, int Position, TAttributeList* L);
  // A picture the model asks for itself (backgrounds, list bullets).
  TImageObj(ThtDocument* AMasterList, const String& AnURL);
  // A copy for another document sharing T's picture and mask.
  TImageObj(ThtDocument* AMasterList, const TImageObj& T);
  ~TImageObj() override;

  // Fetches the picture the first time and computes the box.
  void DrawLogic(ThtDocument* Document, TCanvas* Canvas, TFontObj* FO, int AvailableWidth,
                 int AvailableHeight) override;
  std::unique_ptr<TFloatingObj> CreateCopy(ThtDocument* Document) const override;
  // Positions and draws the image in its line (TopY and YBaseline in
  // document coordinates).
  void Draw(TCanvas* Canvas, int X, int TopY, int YBaseline, TFontObj* FO);
  // Top of the picture's box (its border attribute included) when drawn in
  // a line whose text top is TopY, by its vertical alignment.
  int InlineTop(int TopY, int YBaseline, const TFontObj* FO) const;
  // Draws a picture at (X, Y) in the size (PicWidth, PicHeight).
  void DoDraw(TCanvas* Canvas, int X, int Y, TGraphic* ddImage, TBitmap* ddMask);
  // The picture as a bitmap (for copying and the right-click image);
  // nullptr for the error picture. Owned by the image object or its picture.
  TBitmap* GetBitmap();
  // Mouse state over the image: 0 none, 1 over, 2 pressed.
  void SetHover(std::uint8_t Value);
  void SetImage(TGraphic* Value);
  // Whether the picture drawn stands in for a missing one.
  bool IsPlaceholder() const;

  TGraphic* Image = nullptr;
  uint8_t FHover = 0;
  bool HoverImage = false;
  int32_t AltHeight = 0, AltWidth = 0;
  bool PrintFill = false;
  int32_t PicHeight = 0, PicWidth = 0;
  String Source;
  TGraphic* OrigImage = nullptr;
  TBitmap* Mask = nullptr;
  ThtDocument* MasterList = nullptr;
  uint8_t Transparent = 0;
  bool IsMap = false;
  bool UseMap = false;
  String MapName;
  TFormControlObj* MyFormControl = nullptr;
  bool Delayed = false;

private:
  // The copy of an animated GIF made for this object (it animates alone).
  std::unique_ptr<TGIFImage> FOwnGif;
  std::unique_ptr<TBitmap> FBitmap;
  // The cache key the picture was fetched under (released on destruction).
  String FCacheKey;
};
