// GIF file reading and LZW decoding.
//
// Everything read from the file is checked before it is used: sizes are
// computed in 64 bits and capped before any buffer is allocated, the LZW
// tables are fixed-size and never indexed past the codes defined so far,
// and pixels are written only inside the image's own buffer.
#include "html/images/gif_decoder.h"

#include <array>
#include <cstdio>
#include <cstring>
#include <new>

#include "platform/core/strings.h"

namespace {

const char* const kMessages[] = {
    "no error",
    "Invalid GIF Signature Code",
    "No Local or Global Color Table for Image",
    "Unknown Graphics Extension Type",
    "Unknown Graphics Operation Code",
    "Invalid Extension Block Size",
    "[special message]",
    "Invalid Extension Block Terminator",
    "Invalid Integer Size",
    "No GIF Terminator Found",
    "Extension Block Out-Of-Order With Image Data",
    "Invalid Image Descriptor Index",
    "Invalid LZW Code Size",
    "Invalid LZW Data Format",
    "LZW Code Overflow",
    "Value Out Of Range",
    "NIL Pointer assigned",
    "Invalid Color Table Size",
    "No Image Description",
    "Invalid Bitmap Image",
    "Invalid Color Table Index",
    "Invalid Interlace Pass",
    "Invalid Bitmap",
    "Too Many Colors In Bitmap",
    "Unexpected end of file",
    "Animated GIF too large",
    "Zero width or height",
    "next message",
};

int lastError = geNone;
String lastMessage;

constexpr int kMaxCodes = 4096;

// Rows of an interlaced image in the order the file stores them. Passes
// that start below the last row are skipped, so images of 1 to 4 rows work.
std::vector<int> interlacedRows(int height) {
  static const int start[4] = {0, 4, 2, 1}, step[4] = {8, 8, 4, 2};
  std::vector<int> rows;
  rows.reserve(size_t(height));
  for (int pass = 0; pass < 4; ++pass)
    for (int r = start[pass]; r < height; r += step[pass]) rows.push_back(r);
  return rows;
}

}  // namespace

const char* GifErrorText(int code) {
  if (code < 0 || code >= int(std::size(kMessages))) return "";
  return kMessages[code];
}

int GifLastError() { return lastError; }

void RaiseGifError(int code) {
  lastError = code;
  lastMessage = UTF8ToUTF16(std::string("TGif: ") + GifErrorText(code));
  throw EGifError(lastMessage);
}
String GifLastErrorMessage() { return lastMessage; }

const TGifExtension* TGifImageDescriptor::GraphicControl() const {
  for (const auto& e : Extensions)
    if (e.Label == 0xF9) return &e;
  return nullptr;
}

void TGif::fail(int code, const std::string& special) {
  std::string text = code == geSpecial ? special : std::string(GifErrorText(code));
  lastError = code;
  lastMessage = UTF8ToUTF16("TGif: " + text);
  throw EGifError(lastMessage);
}

std::uint8_t TGif::readByte() {
  if (FPos >= FSize) fail(geEndOfFile);
  return FData[FPos++];
}

std::uint16_t TGif::readWord() {
  std::uint16_t lo = readByte();
  return std::uint16_t(lo | (readByte() << 8));
}

void TGif::readBytes(void* out, std::size_t count) {
  if (count > FSize - FPos) fail(geEndOfFile);
  std::memcpy(out, FData + FPos, count);
  FPos += count;
}

const TGifImageDescriptor& TGif::Image(int index) const {
  if (index < 0 || index >= ImageCount()) const_cast<TGif*>(this)->fail(geRange);
  return FImages[size_t(index)];
}

const TGifColorTable& TGif::ColorTable(int index) const {
  if (index < 0 || index >= int(FColorTables.size())) const_cast<TGif*>(this)->fail(geColorIndex);
  return FColorTables[size_t(index)];
}

int TGif::TransparentIndex(int image) const {
  const TGifExtension* gc = Image(image).GraphicControl();
  return gc && gc->TransparentFlag ? gc->TransparentIndex : -1;
}

void TGif::readColorTable(int size) {
  TGifColorTable t;
  t.Count = size;
  std::uint8_t rgb[3 * 256];
  readBytes(rgb, size_t(3 * size));
  for (int i = 0; i < size; ++i)
    t.Colors[i] = std::uint32_t(rgb[3 * i]) | std::uint32_t(rgb[3 * i + 1]) << 8 |
                  std::uint32_t(rgb[3 * i + 2]) << 16;
  FColorTables.push_back(t);
}

void TGif::readSubBlocks(std::vector<std::uint8_t>* out) {
  for (;;) {
    std::uint8_t n = readByte();
    if (n == 0) return;
    if (n > FSize - FPos) fail(geEndOfFile);
    if (out) out->insert(out->end(), FData + FPos, FData + FPos + n);
    FPos += n;
  }
}

void TGif::LoadFromStream(TStream& stream) {
  stream.SetPosition(0);
  std::int64_t size = stream.Size();
  if (size < 0) size = 0;
  // A GIF bigger than the largest strip it could make is not one we show.
  if (std::uint64_t(size) > GifStripLimit + GifPixelLimit) fail(geTooLarge);
  std::vector<std::uint8_t> copy(static_cast<size_t>(size));
  std::int64_t got = copy.empty() ? 0 : stream.Read(copy.data(), size);
  copy.resize(static_cast<size_t>(got < 0 ? 0 : got));
  LoadFromBuffer(copy.data(), copy.size());
}

void TGif::LoadFromBuffer(const std::uint8_t* data, std::size_t size) {
  FData = data;
  FSize = data ? size : 0;
  FPos = 0;
  FColorTables.clear();
  FImages.clear();
  FPending.clear();
  FNetscapeLoops = -1;
  FPixelBytes = 0;
  FGlobalColorTableIndex = -1;

  char sig[6];
  if (FSize < 6) fail(geSignature);
  readBytes(sig, 6);
  FHeader.assign(sig, 6);
  std::string upper = FHeader;
  for (char& c : upper)
    if (c >= 'a' && c <= 'z') c = char(c - 32);
  if (upper != "GIF87A" && upper != "GIF89A") fail(geSignature);

  FWidth = readWord();
  FHeight = readWord();
  std::uint8_t packed = readByte();
  FColorResolution = ((packed >> 4) & 7) + 1;
  FSorted = (packed & 8) != 0;
  FGlobalTableSize = 1 << ((packed & 7) + 1);
  FBackground = readByte();
  FAspect = readByte();
  if (packed & 0x80) {
    readColorTable(FGlobalTableSize);
    FGlobalColorTableIndex = int(FColorTables.size()) - 1;
  }

  for (;;) {
    try {
      std::uint8_t b = atEnd() ? 0 : readByte();
      if (b == 0 || b == ';') break;
      if (b == ',') readImage();
      else if (b == '!') readExtension();
      else fail(geUnknownOpCode);
    } catch (const EGifError&) {
      if (!FImages.empty() && !FImages.back().Complete) FImages.pop_back();
      if (FImages.empty()) throw;
      break;
    } catch (const std::bad_alloc&) {
      if (!FImages.empty() && !FImages.back().Complete) FImages.pop_back();
      if (FImages.empty()) fail(geTooLarge);
      break;
    }
  }
  // Nothing of the file is needed once it is decoded.
  FData = nullptr;
  FSize = FPos = 0;
  FCompressed = std::vector<std::uint8_t>();
  if (FImages.empty()) fail(geNoImage);
}

void TGif::readImage() {
  FImages.emplace_back();
  TGifImageDescriptor& img = FImages.back();
  img.Extensions = std::move(FPending);
  FPending.clear();
  img.Left = readWord();
  img.Top = readWord();
  img.Width = readWord();
  img.Height = readWord();
  std::uint8_t packed = readByte();
  img.LocalTable = (packed & 0x80) != 0;
  img.Interlaced = (packed & 0x40) != 0;
  img.Sorted = (packed & 0x20) != 0;
  img.LocalTableSize = 1 << ((packed & 7) + 1);
  if (img.LocalTable) {
    readColorTable(img.LocalTableSize);
    img.ColorTableIndex = int(FColorTables.size()) - 1;
  } else {
    img.ColorTableIndex = FGlobalColorTableIndex;
  }
  if (img.ColorTableIndex < 0) fail(geNoColorTable);
  img.CodeSize = readByte();
  FCompressed.clear();
  readSubBlocks(&FCompressed);
  if (img.Width == 0 || img.Height == 0) fail(geZeroSize);
  decodeImage(img, FCompressed);
  img.Complete = true;
}

void TGif::readExtension() {
  TGifExtension e;
  e.Label = readByte();
  switch (e.Label) {
    case 0xF9: {
      if (readByte() != 4) fail(geExtensionSize);
      std::uint8_t packed = readByte();
      e.Disposal = (packed >> 2) & 7;
      e.UserInput = (packed & 2) != 0;
      e.TransparentFlag = (packed & 1) != 0;
      e.Delay = readWord();
      e.TransparentIndex = readByte();
      if (readByte() != 0) fail(geExtensionTerminator);
      break;
    }
    case 0xFE:
      readSubBlocks(&e.Data);
      break;
    case 0x01: {
      if (readByte() != 12) fail(geExtensionSize);
      e.Left = readWord();
      e.Top = readWord();
      e.Width = readWord();
      e.Height = readWord();
      e.CellWidth = readByte();
      e.CellHeight = readByte();
      e.ForegroundIndex = readByte();
      e.BackgroundIndex = readByte();
      readSubBlocks(&e.Data);
      break;
    }
    case 0xFF: {
      std::uint8_t size = readByte();
      if (size == 11) {
        char id[8], code[3];
        readBytes(id, 8);
        readBytes(code, 3);
        e.Identifier.assign(id, 8);
        e.AuthenticationCode.assign(code, 3);
        // The loop count sits in the first sub-block when that has 3 bytes.
        std::size_t firstSize = FPos < FSize ? FData[FPos] : 0;
        readSubBlocks(&e.Data);
        if (e.Identifier == "NETSCAPE" && firstSize == 3)
          FNetscapeLoops = e.Data[1] | (e.Data[2] << 8);
      } else {
        if (size > FSize - FPos) fail(geEndOfFile);
        FPos += size;
        readSubBlocks(&e.Data);
      }
      break;
    }
    default: {
      char text[40];
      std::snprintf(text, sizeof text, "unknown extension: %04X", unsigned(e.Label));
      fail(geSpecial, text);
    }
  }
  FPending.push_back(std::move(e));
}

void TGif::decodeImage(TGifImageDescriptor& img, const std::vector<std::uint8_t>& in) {
  const int minSize = img.CodeSize;
  if (minSize < 1 || minSize > 8) fail(geLzwCodeSize);
  const std::uint64_t count = std::uint64_t(img.Width) * std::uint64_t(img.Height);
  if (FPixelBytes + count > GifPixelLimit) fail(geTooLarge);
  FPixelBytes += count;

  const TGifExtension* gc = img.GraphicControl();
  // Pixels the data never reaches stay transparent when the image has a
  // transparent colour (so earlier frames show through), else index 0.
  const std::uint8_t fill = gc && gc->TransparentFlag ? gc->TransparentIndex : 0;
  std::vector<std::uint8_t> out(static_cast<size_t>(count), fill);
  const std::size_t n = out.size();

  // Code tables, zero-initialised; entries past `next` are never read.
  std::array<std::uint16_t, kMaxCodes> prefix{};
  std::array<std::uint8_t, kMaxCodes> suffix{};
  std::array<std::uint8_t, kMaxCodes> first{};
  std::array<std::uint16_t, kMaxCodes> length{};
  const int clear = 1 << minSize, end = clear + 1;
  for (int i = 0; i < clear; ++i) {
    suffix[size_t(i)] = first[size_t(i)] = std::uint8_t(i);
    length[size_t(i)] = 1;
  }
  int width = minSize + 1, next = end + 1, limit = 1 << width;
  int old = -1;  // no previous code: at the start and after a clear code

  std::uint32_t acc = 0;
  int bits = 0;
  std::size_t at = 0, pos = 0;
  const std::size_t inSize = in.size();
  while (pos < n) {
    while (bits < width && at < inSize) {
      acc |= std::uint32_t(in[at++]) << bits;
      bits += 8;
    }
    if (bits < width) break;  // the data ran out
    int code = int(acc & ((1u << width) - 1));
    acc >>= width;
    bits -= width;

    if (code == clear) {
      width = minSize + 1;
      limit = 1 << width;
      next = end + 1;
      old = -1;
      continue;
    }
    if (code == end) break;
    if (old < 0) {
      // The first code of a table must be a literal; others read as 0.
      if (code >= clear) code = 0;
      out[pos++] = std::uint8_t(code);
      old = code;
      // With a minimum code size of 1 the table is full at once: the next
      // code is already one bit wider, as common decoders read it.
      if (next >= limit && width < 12) {
        ++width;
        limit <<= 1;
      }
      continue;
    }
    int emit = code;
    if (code < next) {
      if (next < kMaxCodes) {
        prefix[size_t(next)] = std::uint16_t(old);
        suffix[size_t(next)] = first[size_t(code)];
        first[size_t(next)] = first[size_t(old)];
        length[size_t(next)] = std::uint16_t(length[size_t(old)] + 1);
        ++next;
      }
    } else if (code == next && next < kMaxCodes) {
      prefix[size_t(next)] = std::uint16_t(old);
      suffix[size_t(next)] = first[size_t(old)];
      first[size_t(next)] = first[size_t(old)];
      length[size_t(next)] = std::uint16_t(length[size_t(old)] + 1);
      ++next;
    } else {
      fail(geLzwFormat);
    }
    if (next >= limit && width < 12) {
      ++width;
      limit <<= 1;
    }
    // Write the string backwards from its last byte.
    const std::size_t len = length[size_t(emit)];
    int c = emit;
    if (pos + len <= n) {
      std::uint8_t* p = out.data() + pos + len;
      for (std::size_t i = 0; i < len; ++i) {
        *--p = suffix[size_t(c)];
        c = prefix[size_t(c)];
      }
    } else {
      for (std::size_t i = len; i-- > 0;) {
        if (pos + i < n) out[pos + i] = suffix[size_t(c)];
        c = prefix[size_t(c)];
      }
    }
    pos += len;
    old = code;
  }

  if (!img.Interlaced) {
    img.Pixels = std::move(out);
    return;
  }
  img.Pixels.assign(n, fill);
  const std::vector<int> rows = interlacedRows(img.Height);
  const std::size_t w = std::size_t(img.Width);
  for (std::size_t i = 0; i < rows.size(); ++i)
    std::memcpy(img.Pixels.data() + size_t(rows[i]) * w, out.data() + i * w, w);
}
