#pragma once
// The image part of the GDI+ flat interface: load pictures from files,
// make 32-bit ARGB bitmaps, and draw images scaled onto device contexts or
// onto other images. Always available here (no library to load).
#include <cstdint>

#include "platform/core/streams.h"
#include "platform/core/types.h"
#include "platform/graphics/gdi.h"

struct GpGraphics;
struct GpImage;
using GpBitmap = GpImage;
using ARGB = std::uint32_t;

enum GpStatus {
  Ok = 0, GenericError = 1, InvalidParameter = 2, OutOfMemory = 3, ObjectBusy = 4,
  InsufficientBuffer = 5, NotImplemented = 6, Win32Error = 7, WrongState = 8, Aborted = 9,
  FileNotFound = 10, ValueOverflow = 11, AccessDenied = 12, UnknownImageFormat = 13
};
enum GpUnit { UnitWorld = 0, UnitDisplay = 1, UnitPixel = 2 };
enum GpMatrixOrder { MatrixOrderPrepend = 0, MatrixOrderAppend = 1 };
enum GpInterpolationMode { InterpolationModeDefault = 0, InterpolationModeNearestNeighbor = 5,
                           InterpolationModeHighQualityBicubic = 7 };
constexpr int PixelFormat32bppARGB = 0x26200A;

struct GdiplusStartupInput {
  std::uint32_t GdiplusVersion = 1;
  void* DebugEventCallback = nullptr;
  int SuppressBackgroundThread = 0;
  int SuppressExternalCodecs = 0;
};

GpStatus GdiplusStartup(std::uintptr_t* token, const GdiplusStartupInput* input, void* output);
void GdiplusShutdown(std::uintptr_t token);

GpStatus GdipCreateFromHDC(HDC dc, GpGraphics** graphics);
GpStatus GdipGetImageGraphicsContext(GpImage* image, GpGraphics** graphics);
GpStatus GdipDeleteGraphics(GpGraphics* graphics);
GpStatus GdipGraphicsClear(GpGraphics* graphics, ARGB color);
GpStatus GdipScaleWorldTransform(GpGraphics* graphics, float sx, float sy, GpMatrixOrder order);
GpStatus GdipSetInterpolationMode(GpGraphics* graphics, GpInterpolationMode mode);
GpStatus GdipGetInterpolationMode(GpGraphics* graphics, GpInterpolationMode* mode);

// FileNotFound when the file does not exist; UnknownImageFormat when it is
// not a PNG, JPEG or BMP picture (or is damaged).
GpStatus GdipLoadImageFromFile(const char16_t* fileName, GpImage** image);
// Reads a picture from the stream's current position; the position is
// restored and the stream stays the caller's.
GpStatus GdipLoadImageFromStream(TStream* stream, GpImage** image);
GpStatus GdipCreateBitmapFromStream(TStream* stream, GpBitmap** bitmap);
// A transparent 32-bit ARGB bitmap meant to be drawn on target.
GpStatus GdipCreateBitmapFromGraphics(int width, int height, GpGraphics* target, GpBitmap** bitmap);
// A 32-bit bitmap object of the picture (straight alpha); an opaque
// background gets the picture composited over it.
GpStatus GdipCreateHBITMAPFromBitmap(GpBitmap* bitmap, HBITMAP* hbmReturn, ARGB background);
GpStatus GdipCreateBitmapFromScan0(int width, int height, int stride, int format, std::uint8_t* scan0,
                                   GpBitmap** bitmap);
GpStatus GdipDisposeImage(GpImage* image);
GpStatus GdipGetImageWidth(GpImage* image, UINT* width);
GpStatus GdipGetImageHeight(GpImage* image, UINT* height);
GpStatus GdipBitmapGetPixel(GpBitmap* bitmap, int x, int y, ARGB* color);
GpStatus GdipBitmapSetPixel(GpBitmap* bitmap, int x, int y, ARGB color);

GpStatus GdipDrawImageI(GpGraphics* graphics, GpImage* image, int x, int y);
GpStatus GdipDrawImageRectI(GpGraphics* graphics, GpImage* image, int x, int y, int width, int height);
GpStatus GdipDrawImagePointRect(GpGraphics* graphics, GpImage* image, float x, float y, float srcx,
                                float srcy, float srcwidth, float srcheight, GpUnit srcUnit);
GpStatus GdipDrawImageRectRectI(GpGraphics* graphics, GpImage* image, int dstx, int dsty, int dstwidth,
                                int dstheight, int srcx, int srcy, int srcwidth, int srcheight, GpUnit srcUnit,
                                const void* imageAttributes = nullptr, void* callback = nullptr,
                                void* callbackData = nullptr);
