#pragma once
// The image loader (format recognition by the first bytes, decoding
// through the GIF decoder, GDI+ for PNG, and the platform's bitmap and JPEG
// readers) and the viewer's image cache, which keeps decoded pictures by
// name with use counts and ages.
#include <cstdint>
#include <memory>

#include "html/images/image_draw.h"
#include "platform/core/streams.h"
#include "platform/core/string_list.h"
#include "platform/graphics/bitmap.h"

// Transparency kinds handed in and out of the loader and kept by the cache.
enum : std::uint8_t {
  TranspNone = 0,       // opaque
  TranspLowerLeft = 1,  // a mask from the colour of the bottom-left pixel
  TranspOwnMask = 2,    // the picture brings its own mask (a transparent GIF)
  TranspCached = 3,     // a further kind cache entries may record
};

enum TImageKind { itNone = 0, itBMP = 1, itGIF = 2, itPNG = 3, itJPG = 4 };

// Reads the first 4 bytes from position 0 (short streams compare only what
// is there) and restores the stream's position.
TImageKind KindOfImage(TStream* Stream);
// The picture in the stream, or nullptr when the stream is nil, empty or
// unreadable. The stream stays the caller's. Transparent is the kind asked
// for (1 makes a mask from the bottom-left pixel) and the kind given back;
// AMask receives the mask when there is one.
// A picture whose header asks for more than MaxBytes once decoded is not
// decoded at all (nullptr).
std::unique_ptr<TgpObject> LoadImageFromStream(TStream* Stream, std::uint8_t& Transparent,
                                               std::unique_ptr<TBitmap>& AMask,
                                               std::uint64_t MaxBytes = UINT64_MAX);
// nullptr when the file does not exist or cannot be read.
std::unique_ptr<TgpObject> LoadImageFromFile(const String& FName, std::uint8_t& Transparent,
                                             std::unique_ptr<TBitmap>& AMask,
                                             std::uint64_t MaxBytes = UINT64_MAX);
// The memory a picture will take once decoded, read from its header alone
// (GIF: every frame; PNG, JPEG, BMP: the one image), 0 when the header
// tells nothing. The stream's position is kept.
std::uint64_t EstimateDecodedBytes(TStream* Stream);
// The memory a decoded picture takes.
std::uint64_t DecodedBytes(const TGraphic* Picture);
// A monochrome mask of Image (white where it is transparent): of AColor
// when ColorValid, else of the bottom-left pixel's colour. nullptr on failure.
std::unique_ptr<TBitmap> GetImageMask(TBitmap* Image, bool ColorValid, TColor AColor);
// Prepares a loaded bitmap for the display (on palette displays, reduced
// to the shared palette); may return the bitmap it was given.
std::unique_ptr<TBitmap> ConvertImage(std::unique_ptr<TBitmap> Bitmap);

class TBitmapItem : public TObject {
public:
  TBitmapItem(std::unique_ptr<TgpObject> AImage, std::unique_ptr<TBitmap> AMask, std::uint8_t Tr);
  ~TBitmapItem() override;
  int AccessCount = 0;  // BumpAndCheck calls since the entry was last handed out
  int UsageCount = 0;   // holders that took the picture and did not release it
  std::uint8_t Transp = 0;
  std::unique_ptr<TgpObject> MImage;
  std::unique_ptr<TBitmap> Mask;
};

// Keys are the pictures' names (the document upper-cases and trims them).
class TStringBitmapList : public TStringList {
public:
  TStringBitmapList();
  ~TStringBitmapList() override;
  int MaxCache() const { return FMaxCache; }
  // Decoded bytes of pictures without users kept for later pages.
  static constexpr std::uint64_t UnusedBudget = std::uint64_t(8) << 20;

  // The list's own AddObject stays visible beside the owning one below.
  using TStringList::AddObject;
  // Takes the entry and counts one user; returns its index.
  int AddObject(const String& Key, std::unique_ptr<TBitmapItem> Item);
  TBitmapItem* Item(int Index) const { return static_cast<TBitmapItem*>(Objects(Index)); }
  // The entry's picture: its age restarts and it gains a user.
  TgpObject* GetImage(int Index);
  void DecUsage(const String& Key);
  // Ages every entry; entries without users older than MaxCache are freed.
  void BumpAndCheck();
  // Frees entries without users older than N, then MaxCache := N.
  void SetCacheCount(int N);
  void Clear() override;

private:
  void freeAt(int index);
  int FMaxCache = 4;
};
