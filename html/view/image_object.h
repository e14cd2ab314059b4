#pragma once
// An IMG element (or a background or bullet picture of the model): an
// inline or floating object on a placeholder character of a section.
#include <cstdint>
#include <memory>

#include "html/view/floating_objects.h"

class TGraphic;
class TBitmap;
class TFormControlObj;

class TImageObj : public TFloatingObj {
public:
  // From an IMG tag at character Position of its section.
  TImageObj(ThtDocument* AMasterList, int Position, TAttributeList* L);
  // A picture the model asks for itself (backgrounds, list bullets).
  TImageObj(ThtDocument* AMasterList, const String& AnURL);
  TImageObj(ThtDocument* AMasterList, const TImageObj& T);
  ~TImageObj() override;

  void DrawLogic(ThtDocument* Document, TCanvas* Canvas, TFontObj* FO, int AvailableWidth,
                 int AvailableHeight) override;
  std::unique_ptr<TFloatingObj> CreateCopy(ThtDocument* Document) const override;
  // Draws the picture in its line: X and TopY (document Y of the line's
  // top) place it, YBaseline is the line's baseline (document Y).
  void Draw(TCanvas* Canvas, int X, int TopY, int YBaseline, TFontObj* FO);

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
};
