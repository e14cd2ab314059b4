#pragma once
// TImageList: a numbered list of equally sized pictures (with an optional
// mask or transparent colour each), kept for controls that draw them.
#include <memory>
#include <vector>

#include "platform/core/component.h"
#include "platform/graphics/colors.h"

class TBitmap;

enum TDrawingStyle { dsFocus, dsSelected, dsNormal, dsTransparent };
enum TImageType { itImage, itMask };

class TImageList : public TComponent {
public:
  explicit TImageList(TComponent* AOwner);
  ~TImageList() override;

  int Width() const { return FWidth; }
  void SetWidth(int value);
  int Height() const { return FHeight; }
  void SetHeight(int value);
  int Count() const { return int(FImages.size()); }
  TColor BkColor() const { return FBkColor; }
  void SetBkColor(TColor value) { FBkColor = value; }
  TDrawingStyle DrawingStyle() const { return FDrawingStyle; }
  void SetDrawingStyle(TDrawingStyle value) { FDrawingStyle = value; }

  // Adds a copy of Image (Mask: white = transparent, may be null); a wider
  // image is cut into several of the list's width. Returns the first index.
  int Add(TBitmap* Image, TBitmap* Mask);
  // Adds a copy whose pixels of MaskColor are transparent.
  int AddMasked(TBitmap* Image, TColor MaskColor);
  void Insert(int Index, TBitmap* Image, TBitmap* Mask);
  void Replace(int Index, TBitmap* Image, TBitmap* Mask);
  void Delete(int Index);
  void Clear();
  void Move(int CurIndex, int NewIndex);
  // Copies picture Index into Image (sized to the list).
  bool GetBitmap(int Index, TBitmap* Image) const;
  // The stored picture and its mask (null without one); owned by the list.
  TBitmap* Images(int Index) const;
  TBitmap* Masks(int Index) const;

  TNotifyEvent OnChange;

protected:
  virtual void Change();

private:
  struct Entry {
    std::unique_ptr<TBitmap> Image;
    std::unique_ptr<TBitmap> Mask;
  };
  Entry makeEntry(TBitmap* image, TBitmap* mask, int column) const;
  int FWidth = 16;
  int FHeight = 16;
  TColor FBkColor = clNone;
  TDrawingStyle FDrawingStyle = dsNormal;
  std::vector<Entry> FImages;
};
