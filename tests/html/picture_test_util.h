#pragma once
// Builds GIF, PNG and BMP files in memory for the picture tests: a small
// GIF writer with a real LZW encoder, and PNG/BMP writers over libpng and
// plain bytes.
#include <png.h>
#include <cstdio>

extern "C" {
#include <jpeglib.h>
}

#include <cstdint>
#include <cstring>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "platform/core/streams.h"

namespace pictures {

using Bytes = std::vector<std::uint8_t>;

class BitWriter {
public:
  void put(int code, int width) {
    acc_ |= std::uint32_t(code) << bits_;
    bits_ += width;
    while (bits_ >= 8) {
      out.push_back(std::uint8_t(acc_));
      acc_ >>= 8;
      bits_ -= 8;
    }
  }
  Bytes finish() {
    if (bits_ > 0) out.push_back(std::uint8_t(acc_));
    acc_ = 0;
    bits_ = 0;
    return out;
  }
  Bytes out;

private:
  std::uint32_t acc_ = 0;
  int bits_ = 0;
};

// LZW as GIF encoders write it (codes grow when the next free code reaches
// the width's limit; a clear code before the table fills).
inline Bytes lzwEncode(const Bytes& px, int minSize, bool leadingClear = true, bool endCode = true) {
  BitWriter bw;
  const int clear = 1 << minSize, end = clear + 1;
  int width = minSize + 1, next = end + 1;
  std::map<std::pair<int, int>, int> dict;
  if (leadingClear) bw.put(clear, width);
  int prefix = -1;
  auto emit = [&](int code) {
    bw.put(code, width);
    if (next >= 4095) {
      bw.put(clear, width);
      dict.clear();
      width = minSize + 1;
      next = end + 1;
      return false;
    }
    if (next >= (1 << width) && width < 12) ++width;
    return true;
  };
  for (std::uint8_t c : px) {
    if (prefix < 0) {
      prefix = c;
      continue;
    }
    auto it = dict.find({prefix, c});
    if (it != dict.end()) {
      prefix = it->second;
      continue;
    }
    if (emit(prefix)) dict[{prefix, c}] = next++;
    prefix = c;
  }
  if (prefix >= 0) emit(prefix);
  if (endCode) bw.put(end, width);
  return bw.finish();
}

// Data sub-blocks of at most 255 bytes and the terminator.
inline void putBlocks(Bytes& out, const Bytes& data, bool terminator = true) {
  for (size_t i = 0; i < data.size(); i += 255) {
    size_t n = std::min<size_t>(255, data.size() - i);
    out.push_back(std::uint8_t(n));
    out.insert(out.end(), data.begin() + long(i), data.begin() + long(i + n));
  }
  if (terminator) out.push_back(0);
}

inline void put16(Bytes& out, int v) {
  out.push_back(std::uint8_t(v));
  out.push_back(std::uint8_t(v >> 8));
}

// Colours as 0xRRGGBB; a table is padded to a power of two.
class GifWriter {
public:
  GifWriter(int w, int h, std::vector<std::uint32_t> global = {}, const char* sig = "GIF89a") {
    for (int i = 0; i < 6; ++i) out.push_back(std::uint8_t(sig[i]));
    put16(out, w);
    put16(out, h);
    int bits = tableBits(global.size());
    out.push_back(std::uint8_t(global.empty() ? 0 : (0x80 | 0x70 | (bits - 1))));
    out.push_back(0);
    out.push_back(0);
    if (!global.empty()) putTable(global, bits);
  }
  GifWriter& loop(int count) {
    const std::uint8_t app[] = {0x21, 0xFF, 11, 'N', 'E', 'T', 'S', 'C', 'A', 'P', 'E', '2', '.', '0', 3, 1};
    out.insert(out.end(), app, app + sizeof app);
    put16(out, count);
    out.push_back(0);
    return *this;
  }
  GifWriter& control(int disposal, int delay, int transparentIndex = -1) {
    out.push_back(0x21);
    out.push_back(0xF9);
    out.push_back(4);
    out.push_back(std::uint8_t((disposal << 2) | (transparentIndex >= 0 ? 1 : 0)));
    put16(out, delay);
    out.push_back(std::uint8_t(transparentIndex >= 0 ? transparentIndex : 0));
    out.push_back(0);
    return *this;
  }
  GifWriter& comment(const std::string& text) {
    out.push_back(0x21);
    out.push_back(0xFE);
    putBlocks(out, Bytes(text.begin(), text.end()));
    return *this;
  }
  // indexes: w*h, rows top-down in display order (interlacing is done here).
  GifWriter& image(int left, int top, int w, int h, const Bytes& indexes, bool interlaced = false,
                   std::vector<std::uint32_t> local = {}, int minSize = 0) {
    out.push_back(',');
    put16(out, left);
    put16(out, top);
    put16(out, w);
    put16(out, h);
    int bits = tableBits(local.size());
    out.push_back(std::uint8_t((local.empty() ? 0 : (0x80 | (bits - 1))) | (interlaced ? 0x40 : 0)));
    if (!local.empty()) putTable(local, bits);
    if (minSize == 0) minSize = 8;
    out.push_back(std::uint8_t(minSize));
    Bytes order;
    if (!interlaced) {
      order = indexes;
    } else {
      static const int start[4] = {0, 4, 2, 1}, step[4] = {8, 8, 4, 2};
      for (int p = 0; p < 4; ++p)
        for (int r = start[p]; r < h; r += step[p])
          order.insert(order.end(), indexes.begin() + long(r) * w, indexes.begin() + long(r + 1) * w);
    }
    putBlocks(out, lzwEncode(order, minSize));
    return *this;
  }
  // An image whose compressed data is given as it stands.
  GifWriter& rawImage(int left, int top, int w, int h, int minSize, const Bytes& data, bool terminator = true) {
    out.push_back(',');
    put16(out, left);
    put16(out, top);
    put16(out, w);
    put16(out, h);
    out.push_back(0);
    out.push_back(std::uint8_t(minSize));
    putBlocks(out, data, terminator);
    return *this;
  }
  GifWriter& raw(const Bytes& bytes) {
    out.insert(out.end(), bytes.begin(), bytes.end());
    return *this;
  }
  Bytes finish(bool trailer = true) {
    if (trailer) out.push_back(';');
    return out;
  }
  Bytes out;

private:
  static int tableBits(size_t n) {
    int bits = 1;
    while ((size_t(1) << bits) < n) ++bits;
    return bits;
  }
  void putTable(const std::vector<std::uint32_t>& t, int bits) {
    for (size_t i = 0; i < (size_t(1) << bits); ++i) {
      std::uint32_t c = i < t.size() ? t[i] : 0;
      out.push_back(std::uint8_t(c >> 16));
      out.push_back(std::uint8_t(c >> 8));
      out.push_back(std::uint8_t(c));
    }
  }
};

inline Bytes pngBytes(int w, int h, const Bytes& rgba, bool withEnd = true) {
  struct Sink {
    Bytes data;
  } sink;
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png_create_info_struct(png);
  png_set_write_fn(
      png, &sink,
      [](png_structp p, png_bytep d, png_size_t n) {
        auto* s = static_cast<Sink*>(png_get_io_ptr(p));
        s->data.insert(s->data.end(), d, d + n);
      },
      nullptr);
  png_set_IHDR(png, info, png_uint_32(w), png_uint_32(h), 8, PNG_COLOR_TYPE_RGBA, PNG_INTERLACE_NONE,
               PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  png_write_info(png, info);
  for (int y = 0; y < h; ++y) png_write_row(png, const_cast<png_bytep>(rgba.data() + size_t(y) * size_t(w) * 4));
  png_write_end(png, nullptr);
  png_destroy_write_struct(&png, &info);
  if (!withEnd) sink.data.erase(sink.data.end() - 12, sink.data.end());  // the end chunk is the last 12 bytes
  return sink.data;
}

// A 32-bit BMP with straight alpha (B, G, R, A in the file), rows bottom-up.
inline Bytes bmp32Bytes(int w, int h, const Bytes& rgba) {
  Bytes out = {'B', 'M'};
  auto p32 = [&](std::uint32_t v) {
    put16(out, int(v & 0xFFFF));
    put16(out, int(v >> 16));
  };
  const std::uint32_t image = std::uint32_t(w * h * 4);
  p32(54 + image);
  p32(0);
  p32(54);
  p32(40);
  p32(std::uint32_t(w));
  p32(std::uint32_t(h));
  put16(out, 1);
  put16(out, 32);
  p32(0);
  p32(image);
  p32(0);
  p32(0);
  p32(0);
  p32(0);
  for (int y = h - 1; y >= 0; --y)
    for (int x = 0; x < w; ++x) {
      const std::uint8_t* s = rgba.data() + (size_t(y) * size_t(w) + size_t(x)) * 4;
      out.push_back(s[2]);
      out.push_back(s[1]);
      out.push_back(s[0]);
      out.push_back(s[3]);
    }
  return out;
}

// A baseline JPEG of RGB pixels at high quality.
inline Bytes jpegBytes(int w, int h, const Bytes& rgb) {
  jpeg_compress_struct c;
  jpeg_error_mgr err;
  c.err = jpeg_std_error(&err);
  jpeg_create_compress(&c);
  unsigned char* mem = nullptr;
  unsigned long size = 0;
  jpeg_mem_dest(&c, &mem, &size);
  c.image_width = JDIMENSION(w);
  c.image_height = JDIMENSION(h);
  c.input_components = 3;
  c.in_color_space = JCS_RGB;
  jpeg_set_defaults(&c);
  jpeg_set_quality(&c, 95, TRUE);
  jpeg_start_compress(&c, TRUE);
  while (c.next_scanline < c.image_height) {
    JSAMPROW row = const_cast<JSAMPROW>(rgb.data() + size_t(c.next_scanline) * size_t(w) * 3);
    jpeg_write_scanlines(&c, &row, 1);
  }
  jpeg_finish_compress(&c);
  jpeg_destroy_compress(&c);
  Bytes out(mem, mem + size);
  std::free(mem);
  return out;
}

inline std::unique_ptr<TMemoryStream> streamOf(const Bytes& b) {
  auto s = std::make_unique<TMemoryStream>();
  if (!b.empty()) s->WriteBuffer(b.data(), std::int64_t(b.size()));
  s->SetPosition(0);
  return s;
}

}  // namespace pictures
