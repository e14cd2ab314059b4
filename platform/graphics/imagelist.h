#pragma once
// Drawing the pictures of an image list (platform/gui/imglist.h keeps
// them): normal, transparent, blended with the selection colour, with an
// overlay picture, as a mask, or greyed out for disabled items.
#include "platform/graphics/bitmap.h"
#include "platform/gui/imglist.h"

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
