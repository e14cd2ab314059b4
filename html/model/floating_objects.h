#pragma once
// Objects that sit in a section's text on a placeholder character (images,
// panels), the anchor-name target, COL and COLGROUP widths, and the list of
// images painted after the text.
#include <cstdint>
#include <memory>
#include <vector>

#include "html/model/section_base.h"

class TFontObj;
class TMyFont;
class TCellBasic;
class ThvPanel;
class TBitmap;
class TMapItem;
class TImageObj;

class TFloatingObj : public TIDObject {
public:
  TFloatingObj() = default;
  // Copy for another document: Alt, size, border, Title, alignments,
  // spacings and Pos.
  TFloatingObj(ThtDocument* Document, const TFloatingObj& Source);

  int GetYPosition() override { return YPosition; }
  // Sizes the object for the space percentages refer to.
  virtual void DrawLogic(ThtDocument* Document, TCanvas* Canvas, TFontObj* FO, int AvailableWidth,
                         int AvailableHeight) = 0;
  virtual std::unique_ptr<TFloatingObj> CreateCopy(ThtDocument* Document) const = 0;

  void ProcessProperties(TProperties* Prop);
  void SetAlt(const String& Text);
  int TotalHeight() const { return VSpaceT + ObjHeight + VSpaceB; }
  int TotalWidth() const { return HSpaceL + ObjWidth + HSpaceR; }

  int32_t Pos = 0;
  int32_t ObjHeight = 0;
  int32_t ObjWidth = 0;
  TAlignmentType Floating = ANone;
  TAlignmentType VertAlign = ANone;
  int32_t HSpaceL = 0, HSpaceR = 0, VSpaceT = 0, VSpaceB = 0;
  int32_t SpecWidth = 0;   // -1 auto, 0 unset
  int32_t SpecHeight = 0;
  bool PercentWidth = false;
  bool PercentHeight = false;
  String Title;
  String Alt;
  int32_t DrawXX = 0;  // where it was last drawn (document coordinates)
  int32_t YPosition = 0;
  bool ImageKnown = false;  // the box no longer depends on the picture
  int32_t Indent = 0;  // a float's X from the left edge of the indent manager it was placed with
  bool NoBorder = false;
  int32_t BorderWidth = 0;
};

// A section's images and panels in ascending Pos.
class TFloatingObjList : public TFreeList<TFloatingObj> {
public:
  TFloatingObjList() = default;
  TFloatingObjList(ThtDocument* Document, const TFloatingObjList& Source);
  TFloatingObj* FindObject(int Posn) const;
  TFloatingObj* GetItem(int Index) const { return Items(Index); }
  // Every object after Pos moves one character back.
  void Decrement(int N);

  // ---- images (bodies in image_objects.cpp) ----
  TFloatingObj* FindImage(int Posn) const { return FindObject(Posn); }
  // -1 when no object is at Posn; else its height with both vertical spaces.
  int GetHeightAt(int Posn, TAlignmentType& AAlign, TFloatingObj*& FlObj) const;
  // -1 when no object is at Posn; else its width (AAlign: its float side).
  int GetWidthAt(int Posn, TAlignmentType& AAlign, int& HSpcL, int& HSpcR, TFloatingObj*& FlObj) const;
  // Characters from Posn to the first object at or after it; 99999999 when none.
  int GetImageCountAt(int Posn) const;
  // The first image (panels skipped) whose picture area holds (X, Y).
  bool PtInImage(int X, int Y, int& IX, int& IY, int& Posn, bool& AMap, bool& UMap, TMapItem*& MapItem,
                 TImageObj*& ImageObj) const;
  bool PtInObject(int X, int Y, TObject*& Obj, int& IX, int& IY) const;
};

// A PANEL or OBJECT element shown as a window in the text.
class TPanelObj : public TFloatingObj {
public:
  TPanelObj(ThtDocument* Document, int Position, TAttributeList* L, TCellBasic* ACell,
            bool ObjectTag);
  TPanelObj(ThtDocument* Document, const TPanelObj& Source);
  ~TPanelObj() override;

  void DrawLogic(ThtDocument* Document, TCanvas* Canvas, TFontObj* FO, int AvailableWidth,
                 int AvailableHeight) override;
  std::unique_ptr<TFloatingObj> CreateCopy(ThtDocument* Document) const override;
  // On paper (print copies): the application's bitmap, or a framed box with Alt.
  void Draw(TCanvas* Canvas, int X, int Y);
  // On screen: the window moves to (X, Y) of the paint surface.
  void PlaceAt(int X, int Y);

  ThtDocument* Document = nullptr;
  TCellBasic* Cell = nullptr;
  int32_t SetWidth = 0;   // natural width
  int32_t SetHeight = 0;  // natural height
  bool Hidden = false;
  ThvPanel* Panel = nullptr;  // the window, made and freed through the document's hooks
  bool Sized = false;
  bool ShowIt = false;  // the window was shown by the last paint
  String Source, Name, PanelType;
  const TPanelObj* CopiedFrom = nullptr;
};

// An anchor name entered at a character position.
class TChPosObj : public TIDObject {
public:
  TChPosObj(ThtDocument* Document, int ChPos) : Document(Document), ChPos(ChPos) {}
  int GetYPosition() override;
  bool FreeMe() override { return true; }

  ThtDocument* Document;
  int32_t ChPos;
};

class TColSpec : public TObject {
public:
  TColSpec(const TWidthSpec& W, const String& A, TAlignmentType V) : ColWidth(W), ColAlign(A), ColVAlign(V) {}
  TColSpec(const TColSpec& Source) : TObject(), ColWidth(Source.ColWidth), ColAlign(Source.ColAlign), ColVAlign(Source.ColVAlign) {}

  TWidthSpec ColWidth;
  String ColAlign;
  TAlignmentType ColVAlign;
};

class TColSpecList : public TFreeList<TColSpec> {
public:
  TColSpec* GetItem(int Index) const { return Items(Index); }
};

// One image to paint after the text.
class TImageObj;
struct TImageRec {
  TImageObj* AObj = nullptr;
  TCanvas* ACanvas = nullptr;
  int32_t AX = 0, AY = 0, AYBaseline = 0;
  TFontObj* AFO = nullptr;
};

class TDrawList {
public:
  void AddImage(TImageObj* Obj, TCanvas* Canvas, int X, int TopY, int Y, TFontObj* FO);
  void DrawImages();
  void Clear() { FItems.clear(); }
  int Count() const { return int(FItems.size()); }

private:
  std::vector<TImageRec> FItems;
};
