#pragma once
// TGif: reads a GIF87a/GIF89a file into its images, colour tables and
// extension blocks, decoding each image's LZW data into one byte per pixel.
// It lives only while a GIF picture is being loaded (see gif_images.h).
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/core/exception.h"
#include "platform/core/streams.h"
#include "platform/core/types.h"

// Every decoder failure: the message is "TGif: " and the text of its code.
TAMRIX_DECLARE_EXCEPTION(EGifError, EInvalidGraphicOperation)

enum TGifErrorCode {
  geNone = 0, geSignature = 1, geNoColorTable = 2, geUnknownExtensionType = 3, geUnknownOpCode = 4,
  geExtensionSize = 5, geSpecial = 6, geExtensionTerminator = 7, geIntegerSize = 8, geNoTerminator = 9,
  geExtensionOrder = 10, geImageIndex = 11, geLzwCodeSize = 12, geLzwFormat = 13, geLzwOverflow = 14,
  geRange = 15, geNilPointer = 16, geColorTableSize = 17, geNoImage = 18, geBitmapImage = 19,
  geColorIndex = 20, geInterlacePass = 21, geBitmap = 22, geTooManyColors = 23, geEndOfFile = 24,
  geTooLarge = 25, geZeroSize = 26, geNext = 27
};
// The text of a code ("no error" .. "next message"); "" outside the table.
const char* GifErrorText(int code);
// The code and full message of the last failure (kept for diagnostics).
int GifLastError();
// Records and raises the failure of the code (its message from the table).
[[noreturn]] void RaiseGifError(int code);
String GifLastErrorMessage();

// Caps that bound what one file may make us allocate. The strip caps are
// those of the composited frames (as 24-bit rows); the pixel cap bounds the
// decoded index bytes of all images together.
constexpr std::uint64_t GifStripLimit = 200000001;
constexpr std::uint64_t GifTransparentStripLimit = 100000001;
constexpr std::uint64_t GifPixelLimit = 200000001;

// One data sub-block sequence is kept as the concatenation of its bytes.
struct TGifExtension {
  std::uint8_t Label = 0;  // 0xF9, 0xFE, 0x01 or 0xFF
  // Graphic control.
  std::uint8_t Disposal = 0;
  bool UserInput = false;
  bool TransparentFlag = false;
  std::uint16_t Delay = 0;  // hundredths of a second
  std::uint8_t TransparentIndex = 0;
  // Plain text.
  std::uint16_t Left = 0, Top = 0, Width = 0, Height = 0;
  std::uint8_t CellWidth = 0, CellHeight = 0, ForegroundIndex = 0, BackgroundIndex = 0;
  // Application.
  std::string Identifier;
  std::string AuthenticationCode;
  // Data of comment, plain text and application blocks.
  std::vector<std::uint8_t> Data;
};

struct TGifColorTable {
  int Count = 0;
  std::uint32_t Colors[256] = {};  // red | green << 8 | blue << 16
};

struct TGifImageDescriptor {
  int Left = 0, Top = 0, Width = 0, Height = 0;
  bool LocalTable = false, Interlaced = false, Sorted = false;
  int LocalTableSize = 0;
  int ColorTableIndex = -1;
  int CodeSize = 0;
  std::vector<TGifExtension> Extensions;  // those that preceded the image
  std::vector<std::uint8_t> Pixels;       // Width * Height indexes, rows top-down
  // The image's data ended properly; images cut short by the end of the
  // file or by a read error are dropped.
  bool Complete = false;

  // The graphic control extension that applies (the first one), or nullptr.
  const TGifExtension* GraphicControl() const;
};

class TGif {
public:
  // Reads the whole stream from position 0. Raises EGifError.
  void LoadFromStream(TStream& stream);
  void LoadFromBuffer(const std::uint8_t* data, std::size_t size);

  const std::string& Header() const { return FHeader; }
  int Width() const { return FWidth; }
  int Height() const { return FHeight; }
  bool GlobalTable() const { return FGlobalColorTableIndex >= 0; }
  int ColorResolution() const { return FColorResolution; }
  bool Sorted() const { return FSorted; }
  int BackgroundIndex() const { return FBackground; }
  int AspectRatio() const { return FAspect; }
  int GlobalColorTableIndex() const { return FGlobalColorTableIndex; }
  // The loop count of a "NETSCAPE" block, -1 without one.
  int NetscapeLoops() const { return FNetscapeLoops; }

  int ImageCount() const { return int(FImages.size()); }
  const TGifImageDescriptor& Image(int index) const;
  const TGifColorTable& ColorTable(int index) const;
  // The transparent index of an image, or -1.
  int TransparentIndex(int image) const;

private:
  [[noreturn]] void fail(int code, const std::string& special = std::string());
  std::uint8_t readByte();
  std::uint16_t readWord();
  void readBytes(void* out, std::size_t count);
  bool atEnd() const { return FPos >= FSize; }
  void readColorTable(int size);
  void readSubBlocks(std::vector<std::uint8_t>* out);
  void readImage();
  void readExtension();
  void decodeImage(TGifImageDescriptor& image, const std::vector<std::uint8_t>& compressed);

  const std::uint8_t* FData = nullptr;
  std::size_t FSize = 0;
  std::size_t FPos = 0;
  std::string FHeader;
  int FWidth = 0, FHeight = 0;
  int FColorResolution = 0;
  bool FSorted = false;
  int FGlobalTableSize = 0;
  int FBackground = 0, FAspect = 0;
  int FGlobalColorTableIndex = -1;
  int FNetscapeLoops = -1;
  std::uint64_t FPixelBytes = 0;
  std::vector<TGifColorTable> FColorTables;
  std::vector<TGifImageDescriptor> FImages;
  std::vector<TGifExtension> FPending;
  std::vector<std::uint8_t> FCompressed;
};
