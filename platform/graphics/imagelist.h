#pragma once
// TImageList: equal-sized images with masks, drawn normally, transparently,
// blended with the selection colour, with an overlay, or greyed out.
#include <memory>

#include "platform/core/component.h"
#include "platform/graphics/bitmap.h"

class TCustomImageList;
using HIMAGELIST = TCustomImageList*;

enum TDrawingStyle { dsFocus, dsSelected, dsNormal, dsTransparent };
enum TImageType { itImage, itMask };

// Flags of ImageList_DrawEx.
enum : UINT {
  ILD_NORMAL = 0, ILD_TRANSPARENT = 1, ILD_MASK = 0x10, ILD_IMAGE = 0x20,
  ILD_BLEND25 = 2, ILD_FOCUS = 2, ILD_BLEND50 = 4, ILD_SELECTED = 4, ILD_BLEND = 4,
  ILD_OVERLAYMASK = 0xF00
};
enum : UINT { ILC_MASK = 1, ILC_COLOR = 0, ILC_COLOR4 = 4, ILC_COLOR8 = 8, ILC_COLOR16 = 0x10,
              ILC_COLOR24 = 0x18, ILC_COLOR32 = 0x20 };
constexpr UINT INDEXTOOVERLAYMASK(UINT i) { return i << 8; }

class TCustomImageList : public TComponent {
public:
  explicit TCustomImageList(TComponent* AOwner, int width = 16, int height = 16);
  ~TCustomImageList() override;

  int Width() const { return FWidth; }
  int Height() const { return FHeight; }
  // Changing the size empties the list.
  void SetWidth(int value);
  void SetHeight(int value);
  int Count() const;
  TColor BkColor() const { return FBkColor; }
  void SetBkColor(TColor value) { FBkColor = value; }
  TColor BlendColor() const { return FBlendColor; }
  void SetBlendColor(TColor value) { FBlendColor = value; }
  TDrawingStyle DrawingStyle() const { return FDrawingStyle; }
  void SetDrawingStyle(TDrawingStyle value) { FDrawingStyle = value; }
  bool Masked() const { return FMasked; }
  void SetMasked(bool value) { FMasked = value; }
  HIMAGELIST Handle() { return this; }

  // A bitmap may hold several images side by side; each is added. The mask
  // is monochrome, white where the image is transparent (may be nullptr).
  int Add(TBitmap* image, TBitmap* mask);
  int AddMasked(TBitmap* image, TColor maskColor);
  void Replace(int index, TBitmap* image, TBitmap* mask);
  void Delete(int index);
  void Clear();
  // Marks image as overlay number overlay (0..14).
  bool Overlay(int imageIndex, int overlay);
  void GetBitmap(int index, TBitmap* image);

  void Draw(TCanvas* canvas, int x, int y, int index, bool enabled = true);
  void Draw(TCanvas* canvas, int x, int y, int index, TDrawingStyle style, TImageType type,
            bool enabled = true);
  void DrawOverlay(TCanvas* canvas, int x, int y, int imageIndex, int overlay, bool enabled = true);
  // The whole drawing routine: style is a combination of ILD_* flags.
  bool DrawEx(int index, HDC dc, int x, int y, int dx, int dy, COLORREF bk, COLORREF fg, UINT style,
              bool enabled = true);

  TNotifyEvent OnChange;

  struct Impl;

private:
  void changed();
  std::unique_ptr<Impl> FImpl;
  int FWidth;
  int FHeight;
  TColor FBkColor = clNone;
  TColor FBlendColor = clNone;
  TDrawingStyle FDrawingStyle = dsNormal;
  bool FMasked = true;
};

class TImageList : public TCustomImageList {
public:
  using TCustomImageList::TCustomImageList;
};

bool ImageList_DrawEx(HIMAGELIST list, int index, HDC dc, int x, int y, int dx, int dy, COLORREF bk,
                      COLORREF fg, UINT style);
bool ImageList_Draw(HIMAGELIST list, int index, HDC dc, int x, int y, UINT style);
int ImageList_GetImageCount(HIMAGELIST list);
