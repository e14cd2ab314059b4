#pragma once
// TImageList: a numbered list of equally sized pictures (with an optional
// mask or transparent colour each), kept for controls that draw them, and
// the routines that draw them: normal, transparent, blended with the
// selection colour, with an overlay picture, as a mask, or greyed out for
// disabled items.
#include <array>
#include <memory>
#include <vector>

#include "platform/core/component.h"
#include "platform/graphics/bitmap.h"
#include "platform/graphics/colors.h"

class TImageList;

enum TDrawingStyle { dsFocus, dsSelected, dsNormal, dsTransparent };
enum TImageType { itImage, itMask };

// A control's subscription to an image list's changes. Several controls
// (or several roles of one control) can watch one list; a link unregisters
// itself when it goes, and a list going first leaves its links without a
// sender.
class TChangeLink {
public:
  TChangeLink() = default;
  TChangeLink(const TChangeLink&) = delete;
  TChangeLink& operator=(const TChangeLink&) = delete;
  ~TChangeLink();

  TImageList* Sender() const { return FSender; }
  void Change();

  TNotifyEvent OnChange;

private:
  friend class TImageList;
  TImageList* FSender = nullptr;
};

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

  // Overlay pictures 1..15: which picture each one draws (-1 = none).
  bool SetOverlay(int Image, int Overlay);
  int Overlay(int Overlay) const;

  void RegisterChanges(TChangeLink* Value);
  void UnRegisterChanges(TChangeLink* Value);

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
  std::array<int, 15> FOverlays{-1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1};
  std::vector<TChangeLink*> FChangeLinks;
};

using HIMAGELIST = TImageList*;

// Flags of ImageList_DrawEx.
enum : UINT {
  ILD_NORMAL = 0, ILD_TRANSPARENT = 1, ILD_MASK = 0x10, ILD_IMAGE = 0x20,
  ILD_BLEND25 = 2, ILD_FOCUS = 2, ILD_BLEND50 = 4, ILD_SELECTED = 4, ILD_BLEND = 4,
  ILD_OVERLAYMASK = 0xF00
};
enum : UINT { ILC_MASK = 1, ILC_COLOR = 0, ILC_COLOR4 = 4, ILC_COLOR8 = 8, ILC_COLOR16 = 0x10,
              ILC_COLOR24 = 0x18, ILC_COLOR32 = 0x20 };
constexpr UINT INDEXTOOVERLAYMASK(UINT i) { return i << 8; }

// Draws picture index at (x, y), dx x dy pixels of it (0 = the list's size).
// bk: CLR_NONE draws transparently, CLR_DEFAULT the list's background
// colour, else that colour behind the picture. fg: the blend colour
// (CLR_DEFAULT = the selection colour). Overlay n (1..15) from style's
// INDEXTOOVERLAYMASK(n) is drawn on top.
bool ImageList_DrawEx(HIMAGELIST list, int index, HDC dc, int x, int y, int dx, int dy, COLORREF bk,
                      COLORREF fg, UINT style);
bool ImageList_Draw(HIMAGELIST list, int index, HDC dc, int x, int y, UINT style);
// Makes picture image the overlay number overlay (1..15) of the list.
bool ImageList_SetOverlayImage(HIMAGELIST list, int image, int overlay);
int ImageList_GetImageCount(HIMAGELIST list);

// The list's Draw: its drawing style and background colour; greyed when
// not enabled.
void ImageListDraw(TImageList* list, TCanvas* canvas, int x, int y, int index, bool enabled = true);
void ImageListDraw(TImageList* list, TCanvas* canvas, int x, int y, int index, TDrawingStyle style,
                   TImageType type, bool enabled = true);
