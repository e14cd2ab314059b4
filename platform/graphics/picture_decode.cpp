// Picture decoding into TBitmap: PNG through libpng, JPEG through libjpeg's
// decompression interface, BMP by hand; and writing bitmaps as BMP files.
// Every reader checks sizes against the data it was given and refuses
// pictures whose dimensions would need unreasonable memory, so hostile
// data gives an EInvalidGraphic, never a crash or an over-read.
#include <png.h>
#include <QImage>
#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <memory>
#include <vector>

extern "C" {
#include <jerror.h>
#include <jpeglib.h>
}

#include "platform/core/exception.h"
#include "platform/graphics/bitmap.h"
#include "platform/graphics/gdi_internal.h"

namespace {

constexpr std::uint32_t kMaxSide = 32767;
constexpr std::uint64_t kMaxPixels = std::uint64_t(64) << 20;  // 256 MB of pixels

void checkSize(std::uint64_t w, std::uint64_t h) {
  if (w == 0 || h == 0) throw EInvalidGraphic("Picture has no pixels");
  if (w > kMaxSide || h > kMaxSide || w * h > kMaxPixels) throw EInvalidGraphic("Picture is too large");
}

// Sets bitmap up as w x h in the format the picture needs.
void prepare(TBitmap& bitmap, int w, int h, bool alpha) {
  bitmap.SetSize(0, 0);
  bitmap.SetPixelFormat(alpha ? pf32bit : pf24bit);
  bitmap.SetAlphaFormat(alpha ? afDefined : afIgnored);
  bitmap.SetSize(w, h);
}

// Whether any pixel of the B,G,R,A rows is not opaque. The colour values
// stay straight: drawing premultiplies where it needs to.
bool translucent(TBitmap& bitmap) {
  for (int y = 0; y < bitmap.Height(); ++y) {
    const auto* p = static_cast<const std::uint8_t*>(bitmap.ScanLine(y));
    for (int x = 0; x < bitmap.Width(); ++x, p += 4)
      if (p[3] != 255) return true;
  }
  return false;
}

// ---- PNG ----------------------------------------------------------------------------

struct PngReader {
  const std::uint8_t* data = nullptr;
  std::size_t size = 0;
  std::size_t pos = 0;
  std::vector<png_bytep> rows;
  char message[128] = "PNG image is not valid";
  png_structp png = nullptr;
  png_infop info = nullptr;
  bool alpha = false;
  // Every row was decoded: what follows (the end chunk) may be missing or
  // cut without losing the picture, as common decoders show it then too.
  bool rowsDone = false;
  ~PngReader() { png_destroy_read_struct(&png, info ? &info : nullptr, nullptr); }
};

void pngRead(png_structp png, png_bytep out, png_size_t count) {
  auto* r = static_cast<PngReader*>(png_get_io_ptr(png));
  if (count > r->size - r->pos) png_error(png, "PNG image is truncated");
  std::memcpy(out, r->data + r->pos, count);
  r->pos += count;
}

void pngError(png_structp png, png_const_charp msg) {
  auto* r = static_cast<PngReader*>(png_get_error_ptr(png));
  std::snprintf(r->message, sizeof r->message, "PNG image is not valid: %s", msg);
  png_longjmp(png, 1);
}

void pngWarning(png_structp, png_const_charp) {}

// A transparency chunk that marks nothing transparent: keep the picture opaque.
void finishPng(const PngReader& r, TBitmap& bitmap) {
  if (r.alpha && !translucent(bitmap)) {
    bitmap.SetPixelFormat(pf24bit);
    bitmap.SetAlphaFormat(afIgnored);
  }
}

void decodePng(const std::uint8_t* data, std::size_t size, TBitmap& bitmap) {
  auto r = std::make_unique<PngReader>();
  r->data = data;
  r->size = size;
  r->png = png_create_read_struct(PNG_LIBPNG_VER_STRING, r.get(), pngError, pngWarning);
  if (!r->png) throw EOutOfMemory("Out of memory");
  r->info = png_create_info_struct(r->png);
  if (!r->info) throw EOutOfMemory("Out of memory");
  if (setjmp(png_jmpbuf(r->png))) {
    if (!r->rowsDone) throw EInvalidGraphic(r->message);
    finishPng(*r, bitmap);
    return;
  }
  png_set_read_fn(r->png, r.get(), pngRead);
  png_set_user_limits(r->png, kMaxSide, kMaxSide);
  png_set_chunk_malloc_max(r->png, 8u << 20);
  png_read_info(r->png, r->info);
  png_uint_32 w = png_get_image_width(r->png, r->info), h = png_get_image_height(r->png, r->info);
  checkSize(w, h);
  int type = png_get_color_type(r->png, r->info);
  r->alpha = (type & PNG_COLOR_MASK_ALPHA) || png_get_valid(r->png, r->info, PNG_INFO_tRNS);
  png_set_expand(r->png);
  png_set_strip_16(r->png);
  if (type == PNG_COLOR_TYPE_GRAY || type == PNG_COLOR_TYPE_GRAY_ALPHA) png_set_gray_to_rgb(r->png);
  png_set_bgr(r->png);
  png_set_filler(r->png, 0xFF, PNG_FILLER_AFTER);
  png_set_interlace_handling(r->png);
  png_read_update_info(r->png, r->info);
  if (png_get_rowbytes(r->png, r->info) != png_size_t(w) * 4) png_error(r->png, "unexpected row layout");
  prepare(bitmap, int(w), int(h), r->alpha);
  r->rows.resize(h);
  for (png_uint_32 y = 0; y < h; ++y) r->rows[y] = static_cast<png_bytep>(bitmap.ScanLine(int(y)));
  png_read_image(r->png, r->rows.data());
  r->rowsDone = true;
  png_read_end(r->png, nullptr);
  finishPng(*r, bitmap);
}

// ---- JPEG ---------------------------------------------------------------------------

struct JpegError {
  jpeg_error_mgr mgr;
  std::jmp_buf jump;
  char message[JMSG_LENGTH_MAX + 40];
};

void jpegExit(j_common_ptr cinfo) {
  auto* e = reinterpret_cast<JpegError*>(cinfo->err);
  char buf[JMSG_LENGTH_MAX];
  cinfo->err->format_message(cinfo, buf);
  std::snprintf(e->message, sizeof e->message, "JPEG image is not valid: %s", buf);
  std::longjmp(e->jump, 1);
}

void jpegMessage(j_common_ptr cinfo, int level) {
  // Data that ends early is a broken picture, not a grey bottom half.
  if (level < 0 && cinfo->err->msg_code == JWRN_JPEG_EOF) jpegExit(cinfo);
}

struct JpegReader {
  jpeg_decompress_struct cinfo;
  JpegError err;
  std::vector<std::uint8_t> row;
  bool created = false;
  ~JpegReader() {
    if (created) jpeg_destroy_decompress(&cinfo);
  }
};

void decodeJpeg(const std::uint8_t* data, std::size_t size, TBitmap& bitmap) {
  auto r = std::make_unique<JpegReader>();
  std::memset(&r->cinfo, 0, sizeof r->cinfo);
  r->cinfo.err = jpeg_std_error(&r->err.mgr);
  r->err.mgr.error_exit = jpegExit;
  r->err.mgr.emit_message = jpegMessage;
  std::strcpy(r->err.message, "JPEG image is not valid");
  if (setjmp(r->err.jump)) throw EInvalidGraphic(r->err.message);
  jpeg_create_decompress(&r->cinfo);
  r->created = true;
  r->cinfo.mem->max_memory_to_use = 512L << 20;
  jpeg_mem_src(&r->cinfo, data, static_cast<unsigned long>(size));
  jpeg_read_header(&r->cinfo, TRUE);
  checkSize(r->cinfo.image_width, r->cinfo.image_height);
  bool cmyk = r->cinfo.jpeg_color_space == JCS_CMYK || r->cinfo.jpeg_color_space == JCS_YCCK;
  r->cinfo.out_color_space = cmyk ? JCS_CMYK : JCS_RGB;
  jpeg_start_decompress(&r->cinfo);
  const int w = int(r->cinfo.output_width), h = int(r->cinfo.output_height);
  const int comps = r->cinfo.output_components;
  if ((cmyk && comps != 4) || (!cmyk && comps != 3)) ERREXIT(&r->cinfo, JERR_CONVERSION_NOTIMPL);
  prepare(bitmap, w, h, false);
  r->row.resize(size_t(w) * size_t(comps));
  // Adobe writes CMYK inverted; that is what nearly all CMYK files are.
  bool inverted = cmyk && r->cinfo.saw_Adobe_marker;
  while (r->cinfo.output_scanline < r->cinfo.output_height) {
    JSAMPROW rowp = r->row.data();
    int y = int(r->cinfo.output_scanline);
    if (jpeg_read_scanlines(&r->cinfo, &rowp, 1) != 1) ERREXIT(&r->cinfo, JERR_INPUT_EMPTY);
    auto* out = static_cast<std::uint8_t*>(bitmap.ScanLine(y));
    const std::uint8_t* in = r->row.data();
    for (int x = 0; x < w; ++x, out += 4, in += comps) {
      if (cmyk) {
        unsigned c = in[0], m = in[1], yy = in[2], k = in[3];
        if (!inverted) { c = 255 - c; m = 255 - m; yy = 255 - yy; k = 255 - k; }
        out[2] = std::uint8_t(c * k / 255);
        out[1] = std::uint8_t(m * k / 255);
        out[0] = std::uint8_t(yy * k / 255);
      } else {
        out[2] = in[0];
        out[1] = in[1];
        out[0] = in[2];
      }
      out[3] = 0xFF;
    }
  }
  jpeg_finish_decompress(&r->cinfo);
}

// ---- BMP ----------------------------------------------------------------------------

struct ByteReader {
  const std::uint8_t* p;
  std::size_t size;
  std::uint32_t u16(std::size_t at) const {
    if (at + 2 > size) throw EInvalidGraphic("Bitmap image is truncated");
    return std::uint32_t(p[at]) | std::uint32_t(p[at + 1]) << 8;
  }
  std::uint32_t u32(std::size_t at) const {
    if (at + 4 > size) throw EInvalidGraphic("Bitmap image is truncated");
    return u16(at) | u16(at + 2) << 16;
  }
};

int maskShift(std::uint32_t mask) {
  int s = 0;
  while (mask && !(mask & 1)) { mask >>= 1; ++s; }
  return s;
}
int maskBits(std::uint32_t mask) {
  mask >>= maskShift(mask);
  int n = 0;
  while (mask & 1) { mask >>= 1; ++n; }
  return n;
}
std::uint8_t maskValue(std::uint32_t v, std::uint32_t mask) {
  if (!mask) return 0;
  int bits = maskBits(mask);
  std::uint32_t c = (v & mask) >> maskShift(mask);
  if (bits >= 8) return std::uint8_t(c >> (bits - 8));
  if (bits == 0) return 0;
  return std::uint8_t(c * 255 / ((1u << bits) - 1));
}

void decodeRle(const ByteReader& in, std::size_t pos, std::size_t end, int bits, int w, int h,
               std::vector<std::uint8_t>& indexes) {
  // indexes is bottom-up, w per row; pixels the data never sets stay 0.
  int x = 0, y = 0;
  auto put = [&](int v) {
    if (x < w && y < h) indexes[size_t(y) * size_t(w) + size_t(x)] = std::uint8_t(v);
    ++x;
  };
  while (pos + 1 < end && y < h) {
    unsigned count = in.p[pos], value = in.p[pos + 1];
    pos += 2;
    if (count > 0) {
      for (unsigned i = 0; i < count; ++i)
        put(bits == 8 ? int(value) : int((i & 1) ? (value & 0x0F) : (value >> 4)));
      continue;
    }
    if (value == 0) { x = 0; ++y; continue; }
    if (value == 1) return;
    if (value == 2) {
      if (pos + 1 >= end) throw EInvalidGraphic("Bitmap image is truncated");
      x += in.p[pos];
      y += in.p[pos + 1];
      pos += 2;
      continue;
    }
    // A literal run of value pixels, padded to a 16-bit boundary.
    std::size_t bytes = bits == 8 ? value : (value + 1) / 2;
    if (pos + bytes > end) throw EInvalidGraphic("Bitmap image is truncated");
    for (unsigned i = 0; i < value; ++i) {
      std::uint8_t b = in.p[pos + (bits == 8 ? i : i / 2)];
      put(bits == 8 ? b : ((i & 1) ? (b & 0x0F) : (b >> 4)));
    }
    pos += (bytes + 1) & ~std::size_t(1);
  }
}

void decodeBmp(const std::uint8_t* data, std::size_t size, TBitmap& bitmap) {
  ByteReader in{data, size};
  const std::uint32_t offBits = in.u32(10);
  const std::uint32_t hdr = in.u32(14);
  std::int64_t w, h;
  std::uint32_t bits, compression = 0, colorsUsed = 0;
  std::uint32_t rMask = 0, gMask = 0, bMask = 0, aMask = 0;
  std::size_t paletteAt, paletteEntry;
  if (hdr == 12) {
    w = in.u16(18);
    h = std::int16_t(in.u16(20));
    bits = in.u16(24);
    paletteAt = 26;
    paletteEntry = 3;
  } else if (hdr >= 40 && hdr <= 1024) {
    w = std::int32_t(in.u32(18));
    h = std::int32_t(in.u32(22));
    bits = in.u16(28);
    compression = in.u32(30);
    colorsUsed = in.u32(46);
    paletteAt = 14 + hdr;
    paletteEntry = 4;
    if (compression == 3 || compression == 6) {
      // Masks follow a plain info header, or sit inside a larger one.
      std::size_t at = 54;
      rMask = in.u32(at);
      gMask = in.u32(at + 4);
      bMask = in.u32(at + 8);
      if (hdr >= 56 || compression == 6) aMask = in.u32(at + 12);
      if (hdr == 40) paletteAt += compression == 6 ? 16 : 12;
    } else if (hdr >= 56) {
      aMask = 0;
    }
  } else {
    throw EInvalidGraphic("Bitmap image is not valid");
  }
  const bool topDown = h < 0;
  if (h < 0) h = -h;
  if (w <= 0) throw EInvalidGraphic("Bitmap image is not valid");
  checkSize(std::uint64_t(w), std::uint64_t(h));
  if (bits != 1 && bits != 4 && bits != 8 && bits != 16 && bits != 24 && bits != 32)
    throw EInvalidGraphic("Bitmap image has an unsupported pixel format");
  const bool rle = compression == 1 || compression == 2;
  if (rle && (compression == 1 ? bits != 8 : bits != 4)) throw EInvalidGraphic("Bitmap image is not valid");
  if (!rle && compression != 0 && compression != 3 && compression != 6)
    throw EInvalidGraphic("Bitmap image uses an unsupported compression");
  if ((compression == 3 || compression == 6) && bits != 16 && bits != 32)
    throw EInvalidGraphic("Bitmap image is not valid");
  if (offBits >= size) throw EInvalidGraphic("Bitmap image is truncated");

  // Palette.
  std::vector<QRgb> palette;
  if (bits <= 8) {
    std::size_t n = colorsUsed ? colorsUsed : (1u << bits);
    if (n > 256) n = 256;
    for (std::size_t i = 0; i < n; ++i) {
      std::size_t at = paletteAt + i * paletteEntry;
      if (at + 3 > size) break;
      palette.push_back(qRgb(data[at + 2], data[at + 1], data[at]));
    }
    palette.resize(size_t(1) << bits, qRgb(0, 0, 0));
  }
  if (compression == 0 && bits == 16) { rMask = 0x7C00; gMask = 0x03E0; bMask = 0x001F; }
  if (compression == 0 && bits == 32) { rMask = 0xFF0000; gMask = 0xFF00; bMask = 0xFF; }

  const int W = int(w), H = int(h);
  std::vector<std::uint8_t> indexes;
  const std::size_t stride = ((std::size_t(W) * bits + 31) / 32) * 4;
  if (rle) {
    indexes.assign(size_t(W) * size_t(H), 0);
    decodeRle(in, offBits, size, int(bits), W, H, indexes);
  } else if (std::uint64_t(stride) * std::uint64_t(H) > size - offBits) {
    throw EInvalidGraphic("Bitmap image is truncated");
  }

  bool alpha = bits == 32 && (compression == 0 || aMask != 0);
  prepare(bitmap, W, H, alpha);
  bool anyAlpha = false;
  for (int row = 0; row < H; ++row) {
    int y = topDown ? row : H - 1 - row;
    auto* out = static_cast<QRgb*>(bitmap.ScanLine(y));
    const std::uint8_t* src = rle ? nullptr : data + offBits + std::size_t(row) * stride;
    for (int x = 0; x < W; ++x) {
      if (rle) {
        out[x] = palette[indexes[size_t(row) * size_t(W) + size_t(x)] & ((1u << bits) - 1)];
        continue;
      }
      switch (bits) {
        case 1: out[x] = palette[(src[x / 8] >> (7 - x % 8)) & 1]; break;
        case 4: out[x] = palette[(src[x / 2] >> ((x % 2) ? 0 : 4)) & 0x0F]; break;
        case 8: out[x] = palette[src[x]]; break;
        case 16: {
          std::uint32_t v = std::uint32_t(src[2 * x]) | std::uint32_t(src[2 * x + 1]) << 8;
          out[x] = qRgb(maskValue(v, rMask), maskValue(v, gMask), maskValue(v, bMask));
          break;
        }
        case 24: out[x] = qRgb(src[3 * x + 2], src[3 * x + 1], src[3 * x]); break;
        case 32: {
          std::uint32_t v = std::uint32_t(src[4 * x]) | std::uint32_t(src[4 * x + 1]) << 8 |
                            std::uint32_t(src[4 * x + 2]) << 16 | std::uint32_t(src[4 * x + 3]) << 24;
          std::uint32_t a = compression == 0 ? (v >> 24) : (aMask ? maskValue(v, aMask) : 255u);
          if (a) anyAlpha = true;
          out[x] = qRgba(maskValue(v, rMask), maskValue(v, gMask), maskValue(v, bMask), int(a));
          break;
        }
      }
    }
  }
  if (alpha) {
    // Most 32-bit files leave the fourth byte zero: that means opaque.
    if (!anyAlpha) {
      for (int y = 0; y < H; ++y) {
        auto* p = static_cast<QRgb*>(bitmap.ScanLine(y));
        for (int x = 0; x < W; ++x) p[x] |= 0xFF000000u;
      }
    }
    if (!translucent(bitmap)) {
      bitmap.SetPixelFormat(pf24bit);
      bitmap.SetAlphaFormat(afIgnored);
    }
  }
}

void put16(std::vector<std::uint8_t>& v, std::uint32_t x) {
  v.push_back(std::uint8_t(x));
  v.push_back(std::uint8_t(x >> 8));
}
void put32(std::vector<std::uint8_t>& v, std::uint32_t x) {
  put16(v, x & 0xFFFF);
  put16(v, x >> 16);
}

}  // namespace

TPictureKind KindOfPicture(const void* data, std::size_t size) {
  const auto* p = static_cast<const std::uint8_t*>(data);
  if (!p) return TPictureKind::Unknown;
  if (size >= 4 && std::memcmp(p, "GIF8", 4) == 0) return TPictureKind::Gif;
  if (size >= 8 && std::memcmp(p, "\x89PNG\r\n\x1a\n", 8) == 0) return TPictureKind::Png;
  if (size >= 2 && p[0] == 'B' && p[1] == 'M') return TPictureKind::Bmp;
  if (size >= 3 && p[0] == 0xFF && p[1] == 0xD8 && p[2] == 0xFF) return TPictureKind::Jpeg;
  return TPictureKind::Unknown;
}

void DecodePicture(const void* data, std::size_t size, TBitmap& bitmap) {
  const auto* p = static_cast<const std::uint8_t*>(data);
  switch (KindOfPicture(data, size)) {
    case TPictureKind::Png: decodePng(p, size, bitmap); break;
    case TPictureKind::Jpeg: decodeJpeg(p, size, bitmap); break;
    case TPictureKind::Bmp: decodeBmp(p, size, bitmap); break;
    case TPictureKind::Gif: throw EInvalidGraphic("GIF pictures are read by the GIF reader");
    default: throw EInvalidGraphic("Unknown picture format");
  }
}

void TBitmap::SaveToStream(TStream& stream) {
  const int w = Width(), h = Height();
  const int bits = FPixelFormat == pf32bit ? 32 : FPixelFormat == pf1bit ? 1 : 24;
  const std::uint32_t stride = ((std::uint32_t(w) * bits + 31) / 32) * 4;
  const std::uint32_t paletteSize = bits == 1 ? 8 : 0;
  const std::uint32_t offBits = 14 + 40 + paletteSize;
  const std::uint32_t imageSize = stride * std::uint32_t(h);
  std::vector<std::uint8_t> out;
  out.reserve(offBits + imageSize);
  out.push_back('B');
  out.push_back('M');
  put32(out, offBits + imageSize);
  put32(out, 0);
  put32(out, offBits);
  put32(out, 40);
  put32(out, std::uint32_t(w));
  put32(out, std::uint32_t(h));
  put16(out, 1);
  put16(out, std::uint32_t(bits));
  put32(out, 0);
  put32(out, imageSize);
  put32(out, 3780);  // 96 pixels per inch
  put32(out, 3780);
  put32(out, bits == 1 ? 2 : 0);
  put32(out, 0);
  if (bits == 1) {
    put32(out, 0x00000000);
    put32(out, 0x00FFFFFF);
  }
  for (int y = h - 1; y >= 0; --y) {
    const auto* src = static_cast<const QRgb*>(ScanLine(y));
    std::size_t start = out.size();
    for (int x = 0; x < w; ++x) {
      QRgb c = src[x];
      if (bits == 32) {
        // Stored straight (not premultiplied), as readers expect.
        QRgb s = FHandle->image.format() == QImage::Format_ARGB32 ? c : qUnpremultiply(c);
        out.push_back(std::uint8_t(qBlue(s)));
        out.push_back(std::uint8_t(qGreen(s)));
        out.push_back(std::uint8_t(qRed(s)));
        out.push_back(std::uint8_t(qAlpha(s)));
      } else if (bits == 24) {
        out.push_back(std::uint8_t(qBlue(c)));
        out.push_back(std::uint8_t(qGreen(c)));
        out.push_back(std::uint8_t(qRed(c)));
      }
    }
    if (bits == 1) {
      out.resize(start + stride, 0);
      for (int x = 0; x < w; ++x)
        if (qGray(src[x]) >= 128) out[start + size_t(x / 8)] |= std::uint8_t(0x80 >> (x % 8));
    }
    out.resize(start + stride, 0);
  }
  stream.WriteBuffer(out.data(), std::int64_t(out.size()));
}
