// The image loader: recognises a picture by its first bytes and decodes it.
// Every stage catches its own failures, frees what it made and gives
// nullptr, so a broken picture never leaves a half-made object behind.
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>
#include <vector>

#include "html/parse/html_common.h"
#include "html/images/dithering.h"
#include "html/images/gdiplus_images.h"
#include "html/images/gif_images.h"
#include "html/images/image_cache.h"
#include "platform/core/files.h"
#include "platform/core/strings.h"
#include "platform/graphics/picture.h"

namespace {

constexpr std::int64_t kMinSecondStage = 20;

// The folder for temporary PNG files, asked for once per process.
const std::string& tempFolder() {
  static const std::string folder = UTF16ToUTF8(GetTempDirectory());
  return folder;
}

// Writes the stream into a new temporary file named with the prefix "png";
// returns its name, or an empty string when that fails.
String writeTempPng(TStream& stream) {
  // The process id in the name tells whose file it is.
  std::string name = tempFolder() + "png" + std::to_string(getpid()) + "-XXXXXX";
  const int fd = mkstemp(name.data());
  if (fd < 0) return String();
  bool ok = true;
  stream.SetPosition(0);
  char buf[65536];
  for (;;) {
    const std::int64_t n = stream.Read(buf, sizeof buf);
    if (n <= 0) break;
    if (write(fd, buf, size_t(n)) != n) {
      ok = false;
      break;
    }
  }
  close(fd);
  if (!ok) {
    unlink(name.c_str());
    return String();
  }
  return UTF8ToUTF16(name);
}

std::unique_ptr<TgpObject> loadPngThroughGdiPlus(TStream& stream, std::uint8_t& Transparent) {
  const String file = writeTempPng(stream);
  if (file.empty()) return nullptr;
  try {
    auto img = std::make_unique<TGpImage>(file, true);
    Transparent = TranspNone;
    return img;
  } catch (const Exception&) {
    // The image never took the file over: remove it here.
    unlink(UTF16ToUTF8(file).c_str());
    return nullptr;
  }
}

std::unique_ptr<TBitmap> loadBitmapStage(TStream& stream, TImageKind kind, std::uint8_t& Transparent,
                                         std::unique_ptr<TBitmap>& AMask) {
  std::unique_ptr<TBitmap> bitmap;
  if (kind == itBMP) {
    bitmap = std::make_unique<TBitmap>();
    bitmap->LoadFromStream(stream);
  } else if (kind == itJPG) {
    Transparent = TranspNone;
    TJPEGImage jpeg;
    jpeg.SetPixelFormat(ScreenColorDepth > 8 ? jf24Bit : jf8Bit);
    jpeg.LoadFromStream(stream);
    bitmap = std::make_unique<TBitmap>();
    bitmap->Assign(*jpeg.Bitmap());
  } else {
    return nullptr;
  }
  if (Transparent == TranspLowerLeft) AMask = GetImageMask(bitmap.get(), false, 0);
  return ConvertImage(std::move(bitmap));
}

std::unique_ptr<TgpObject> secondStage(TStream& stream, std::uint8_t& Transparent,
                                       std::unique_ptr<TBitmap>& AMask) {
  if (stream.Size() < kMinSecondStage) return nullptr;
  stream.SetPosition(0);
  const TImageKind kind = KindOfImage(&stream);
  if (GdiPlusAvailable && kind == itPNG) return loadPngThroughGdiPlus(stream, Transparent);
  if (kind == itBMP || kind == itJPG) {
    try {
      stream.SetPosition(0);
      return loadBitmapStage(stream, kind, Transparent, AMask);
    } catch (const Exception&) {
    } catch (const std::bad_alloc&) {
    }
    AMask.reset();
    return nullptr;
  }
  try {
    auto meta = std::make_unique<ThtMetaFile>();
    AMask.reset();
    Transparent = TranspNone;
    stream.SetPosition(0);
    meta->LoadFromStream(stream);
    return meta;
  } catch (const Exception&) {
    return nullptr;
  }
}

}  // namespace

TImageKind KindOfImage(TStream* Stream) {
  if (!Stream) return itNone;
  std::uint8_t b[4] = {0, 0, 0, 0};
  std::int64_t got = 0;
  try {
    const std::int64_t pos = Stream->Position();
    Stream->SetPosition(0);
    got = Stream->Read(b, 4);
    Stream->SetPosition(pos);
  } catch (const Exception&) {
    return itNone;
  }
  if (got >= 4 && std::memcmp(b, "GIF8", 4) == 0) return itGIF;
  if (got >= 4 && b[0] == 0x89 && std::memcmp(b + 1, "PNG", 3) == 0) return itPNG;
  if (got >= 2 && b[0] == 'B' && b[1] == 'M') return itBMP;
  if (got >= 2 && b[0] == 0xFF && b[1] == 0xD8) return itJPG;
  return itNone;
}

namespace {

std::uint16_t le16(const std::uint8_t* p) { return std::uint16_t(p[0] | (p[1] << 8)); }
std::uint32_t be32(const std::uint8_t* p) {
  return (std::uint32_t(p[0]) << 24) | (std::uint32_t(p[1]) << 16) | (std::uint32_t(p[2]) << 8) | p[3];
}

// Counts a GIF's frames by walking its blocks; every frame is kept at the
// size of the logical screen.
std::uint64_t gifBytes(const std::vector<std::uint8_t>& d) {
  if (d.size() < 13) return 0;
  const std::uint64_t w = le16(&d[6]), h = le16(&d[8]);
  size_t pos = 13;
  if (d[10] & 0x80) pos += 3u << ((d[10] & 7) + 1);
  std::uint64_t frames = 0;
  auto skipSubBlocks = [&] {
    while (pos < d.size() && d[pos] != 0) pos += size_t(d[pos]) + 1;
    ++pos;
  };
  while (pos < d.size()) {
    const std::uint8_t kind = d[pos++];
    if (kind == 0x2C) {
      if (pos + 9 > d.size()) break;
      const std::uint8_t flags = d[pos + 8];
      pos += 9;
      if (flags & 0x80) pos += 3u << ((flags & 7) + 1);
      ++pos;  // the code size
      skipSubBlocks();
      ++frames;
    } else if (kind == 0x21) {
      ++pos;  // the label
      skipSubBlocks();
    } else {
      break;  // the trailer, or something a decoder stops at too
    }
  }
  return w * h * 4 * std::max<std::uint64_t>(frames, 1);
}

std::uint64_t jpegBytes(const std::vector<std::uint8_t>& d) {
  size_t pos = 2;
  while (pos + 4 <= d.size()) {
    if (d[pos] != 0xFF) {
      ++pos;
      continue;
    }
    const std::uint8_t marker = d[pos + 1];
    if (marker == 0xFF) {
      ++pos;
      continue;
    }
    if (marker == 0xD8 || marker == 0x01 || (marker >= 0xD0 && marker <= 0xD7)) {
      pos += 2;
      continue;
    }
    const size_t len = (size_t(d[pos + 2]) << 8) | d[pos + 3];
    // Start-of-frame markers carry the size; C4, C8 and CC are not frames.
    if (marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC) {
      if (pos + 9 > d.size()) return 0;
      const std::uint64_t h = (std::uint64_t(d[pos + 5]) << 8) | d[pos + 6];
      const std::uint64_t w = (std::uint64_t(d[pos + 7]) << 8) | d[pos + 8];
      return w * h * 4;
    }
    if (len < 2) return 0;
    pos += 2 + len;
  }
  return 0;
}

}  // namespace

std::uint64_t EstimateDecodedBytes(TStream* Stream) {
  if (!Stream) return 0;
  const TImageKind kind = KindOfImage(Stream);
  if (kind == itNone) return 0;
  try {
    const std::int64_t pos = Stream->Position();
    const std::int64_t size = Stream->Size();
    // A JPEG may carry its frame header after large metadata; a GIF's
    // frames are counted over the whole file, which is read anyway.
    const std::int64_t want = kind == itGIF || kind == itJPG ? size : std::min<std::int64_t>(size, 64);
    std::vector<std::uint8_t> d(size_t(std::max<std::int64_t>(want, 0)));
    Stream->SetPosition(0);
    const std::int64_t got = d.empty() ? 0 : Stream->Read(d.data(), std::int64_t(d.size()));
    Stream->SetPosition(pos);
    d.resize(size_t(std::max<std::int64_t>(got, 0)));
    switch (kind) {
      case itGIF: return gifBytes(d);
      case itJPG: return jpegBytes(d);
      case itPNG:
        return d.size() >= 24 ? std::uint64_t(be32(&d[16])) * be32(&d[20]) * 4 : 0;
      case itBMP: {
        if (d.size() < 26) return 0;
        const std::int64_t w = std::int32_t(le16(&d[18]) | (std::uint32_t(le16(&d[20])) << 16));
        const std::int64_t h = std::int32_t(le16(&d[22]) | (std::uint32_t(le16(&d[24])) << 16));
        return std::uint64_t(w < 0 ? -w : w) * std::uint64_t(h < 0 ? -h : h) * 4;
      }
      default: return 0;
    }
  } catch (const Exception&) {
    return 0;
  }
}

std::uint64_t DecodedBytes(const TGraphic* Picture) {
  if (!Picture) return 0;
  std::uint64_t frames = 1;
  if (auto* gif = dynamic_cast<const TGIFImage*>(Picture)) frames = std::uint64_t(std::max(gif->FrameCount(), 1));
  return std::uint64_t(std::max(Picture->Width(), 0)) * std::uint64_t(std::max(Picture->Height(), 0)) * 4 * frames;
}

std::unique_ptr<TgpObject> LoadImageFromStream(TStream* Stream, std::uint8_t& Transparent,
                                               std::unique_ptr<TBitmap>& AMask, std::uint64_t MaxBytes) {
  AMask.reset();
  if (!Stream) return nullptr;
  try {
    if (Stream->Size() <= 0) return nullptr;
    if (MaxBytes != UINT64_MAX && EstimateDecodedBytes(Stream) > MaxBytes) return nullptr;
    bool NonAnimated = true;
    std::unique_ptr<TGIFImage> gif;
    if (KindOfImage(Stream) == itGIF) gif = LoadGifFromStream(NonAnimated, *Stream);
    if (!gif) return secondStage(*Stream, Transparent, AMask);
    if (!NonAnimated) return gif;
    // A still GIF is kept as a plain bitmap with its mask.
    auto bitmap = std::make_unique<TBitmap>();
    bitmap->Assign(*gif->FirstFrameBitmap());
    if (TBitmap* mask = gif->FirstFrameMask()) {
      AMask = std::make_unique<TBitmap>();
      AMask->Assign(*mask);
      Transparent = TranspOwnMask;
    } else if (Transparent == TranspLowerLeft) {
      AMask = GetImageMask(bitmap.get(), false, 0);
    }
    return bitmap;
  } catch (const Exception&) {
  } catch (const std::bad_alloc&) {
  }
  AMask.reset();
  return nullptr;
}

std::unique_ptr<TgpObject> LoadImageFromFile(const String& FName, std::uint8_t& Transparent,
                                             std::unique_ptr<TBitmap>& AMask, std::uint64_t MaxBytes) {
  AMask.reset();
  if (!FileExists(FName)) return nullptr;
  try {
    TFileStream stream(FName, fmOpenRead | fmShareDenyWrite);
    return LoadImageFromStream(&stream, Transparent, AMask, MaxBytes);
  } catch (const Exception&) {
    return nullptr;
  }
}

std::unique_ptr<TBitmap> GetImageMask(TBitmap* Image, bool ColorValid, TColor AColor) {
  if (!Image || Image->Empty()) return nullptr;
  try {
    const TColor key = ColorValid ? AColor : Image->TransparentColor();
    auto mask = std::make_unique<TBitmap>();
    mask->Assign(*Image);
    mask->Mask(key);
    return mask;
  } catch (const Exception&) {
    return nullptr;
  }
}

std::unique_ptr<TBitmap> ConvertImage(std::unique_ptr<TBitmap> Bitmap) {
  if (!Bitmap) return nullptr;
  if (ScreenColorDepth >= 9) return Bitmap;  // true colour: nothing to reduce
  // A palette display: reduce to its palette.
  if (Bitmap->PixelFormat() != pfDevice) {
    if (auto reduced = DitherBitmap(Bitmap.get())) return reduced;
  }
  return Bitmap;
}
