#include "tools/dictbuilder/media.h"

#include <jpeglib.h>
#include <png.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "tools/dictbuilder/dictionary_writer.h"

namespace dictbuilder {
namespace {

void put16(std::string& s, unsigned v) {
  s += static_cast<char>(v & 0xFF);
  s += static_cast<char>((v >> 8) & 0xFF);
}

void put32(std::string& s, uint32_t v) {
  put16(s, v & 0xFFFF);
  put16(s, v >> 16);
}

uint8_t clampByte(double v) { return static_cast<uint8_t>(std::lround(std::clamp(v, 0.0, 255.0))); }

}  // namespace

Picture MakeBadgePicture(int size) {
  Picture p{size, size, {}};
  p.Pixels.resize(static_cast<size_t>(size) * size);
  const double c = (size - 1) / 2.0, r = size * 0.42;
  for (int y = 0; y < size; ++y)
    for (int x = 0; x < size; ++x) {
      const double d = std::hypot(x - c, y - c);
      // Fully opaque inside, a 6-pixel soft edge, transparent outside.
      const double alpha = std::clamp((r - d) / 6.0, 0.0, 1.0);
      const double shade = 1.0 - 0.5 * (x + y) / (2.0 * size);
      p.Pixels[static_cast<size_t>(y) * size + x] = {clampByte(235 * shade), clampByte(120 * shade),
                                                     clampByte(30 * shade), clampByte(alpha * 255)};
    }
  return p;
}

Picture MakeLandscapePicture(int w, int h) {
  Picture p{w, h, {}};
  p.Pixels.resize(static_cast<size_t>(w) * h);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      const double t = static_cast<double>(y) / h;
      Rgba px{clampByte(90 + 100 * t), clampByte(150 + 80 * t), 250, 255};  // sky
      if (std::hypot(x - w * 0.75, y - h * 0.3) < h * 0.12) px = {255, 220, 60, 255};  // sun
      const double hill = h * (0.65 + 0.08 * std::sin(x * 0.08));
      if (y > hill) px = {clampByte(40 + 40 * t), clampByte(120 + 60 * (1 - t)), 50, 255};  // forest
      p.Pixels[static_cast<size_t>(y) * w + x] = px;
    }
  return p;
}

std::string EncodePng(const Picture& p) {
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png ? png_create_info_struct(png) : nullptr;
  if (!info) {
    png_destroy_write_struct(&png, nullptr);
    throw EDictBuilder("cannot create a PNG writer");
  }
  std::string out;
  if (setjmp(png_jmpbuf(png))) {
    png_destroy_write_struct(&png, &info);
    throw EDictBuilder("PNG encoding failed");
  }
  png_set_write_fn(
      png, &out,
      [](png_structp s, png_bytep data, png_size_t len) {
        static_cast<std::string*>(png_get_io_ptr(s))->append(reinterpret_cast<const char*>(data), len);
      },
      nullptr);
  png_set_IHDR(png, info, static_cast<png_uint_32>(p.Width), static_cast<png_uint_32>(p.Height), 8,
               PNG_COLOR_TYPE_RGBA, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  png_write_info(png, info);
  for (int y = 0; y < p.Height; ++y) {
    auto row = reinterpret_cast<png_const_bytep>(&p.Pixels[static_cast<size_t>(y) * p.Width]);
    png_write_row(png, row);
  }
  png_write_end(png, nullptr);
  png_destroy_write_struct(&png, &info);
  return out;
}

std::string EncodeJpeg(const Picture& p, int quality) {
  jpeg_compress_struct cinfo;
  jpeg_error_mgr jerr;
  cinfo.err = jpeg_std_error(&jerr);
  jpeg_create_compress(&cinfo);
  unsigned char* buffer = nullptr;
  unsigned long size = 0;
  jpeg_mem_dest(&cinfo, &buffer, &size);
  cinfo.image_width = static_cast<JDIMENSION>(p.Width);
  cinfo.image_height = static_cast<JDIMENSION>(p.Height);
  cinfo.input_components = 3;
  cinfo.in_color_space = JCS_RGB;
  jpeg_set_defaults(&cinfo);
  jpeg_set_quality(&cinfo, quality, TRUE);
  jpeg_start_compress(&cinfo, TRUE);
  std::vector<unsigned char> row(static_cast<size_t>(p.Width) * 3);
  while (cinfo.next_scanline < cinfo.image_height) {
    const Rgba* src = &p.Pixels[static_cast<size_t>(cinfo.next_scanline) * p.Width];
    for (int x = 0; x < p.Width; ++x) {
      row[x * 3] = src[x].R;
      row[x * 3 + 1] = src[x].G;
      row[x * 3 + 2] = src[x].B;
    }
    JSAMPROW rows[1] = {row.data()};
    jpeg_write_scanlines(&cinfo, rows, 1);
  }
  jpeg_finish_compress(&cinfo);
  std::string out(reinterpret_cast<const char*>(buffer), size);
  jpeg_destroy_compress(&cinfo);
  free(buffer);
  return out;
}

std::string EncodeBmp(const Picture& p) {
  const uint32_t rowBytes = (static_cast<uint32_t>(p.Width) * 3 + 3) & ~3u;
  const uint32_t imageBytes = rowBytes * static_cast<uint32_t>(p.Height);
  std::string s;
  s += "BM";
  put32(s, 14 + 40 + imageBytes);
  put32(s, 0);
  put32(s, 14 + 40);
  put32(s, 40);  // BITMAPINFOHEADER
  put32(s, static_cast<uint32_t>(p.Width));
  put32(s, static_cast<uint32_t>(p.Height));  // positive: rows stored bottom-up
  put16(s, 1);
  put16(s, 24);
  put32(s, 0);  // no compression
  put32(s, imageBytes);
  put32(s, 2835);  // 72 dpi
  put32(s, 2835);
  put32(s, 0);
  put32(s, 0);
  for (int y = p.Height - 1; y >= 0; --y) {
    const size_t start = s.size();
    for (int x = 0; x < p.Width; ++x) {
      const Rgba& px = p.Pixels[static_cast<size_t>(y) * p.Width + x];
      s += static_cast<char>(px.B);
      s += static_cast<char>(px.G);
      s += static_cast<char>(px.R);
    }
    s.append(rowBytes - (s.size() - start), '\0');
  }
  return s;
}

std::string MakeAnimatedGif(int size, int frames) {
  // Palette: 0 transparent, 1 ring, 2..15 the dot and its fading trail.
  std::string s = "GIF89a";
  put16(s, static_cast<unsigned>(size));
  put16(s, static_cast<unsigned>(size));
  s += static_cast<char>(0xF3);  // global table, 8-bit colour resolution, 16 entries
  s += '\0';                     // background colour index
  s += '\0';                     // no aspect ratio
  for (int i = 0; i < 16; ++i) {
    const int v = i < 2 ? (i == 0 ? 255 : 180) : 40 + (15 - i) * 14;
    s += static_cast<char>(i < 2 ? v : 30);
    s += static_cast<char>(i < 2 ? v : 90 + (15 - i) * 10);
    s += static_cast<char>(v);
  }
  // Loop forever.
  s += "\x21\xFF\x0BNETSCAPE2.0\x03\x01";
  put16(s, 0);
  s += '\0';

  const double c = (size - 1) / 2.0, ring = size * 0.36;
  const int minCodeSize = 4, clearCode = 1 << minCodeSize, endCode = clearCode + 1;
  for (int f = 0; f < frames; ++f) {
    s += "\x21\xF9\x04";
    s += static_cast<char>(0x09);  // restore to background, transparent colour given
    put16(s, 10);                  // 1/10 s per frame
    s += '\0';                     // transparent colour index
    s += '\0';
    s += ',';
    put16(s, 0);
    put16(s, 0);
    put16(s, static_cast<unsigned>(size));
    put16(s, static_cast<unsigned>(size));
    s += '\0';  // no local table, not interlaced

    std::vector<int> pixels(static_cast<size_t>(size) * size, 0);
    for (int y = 0; y < size; ++y)
      for (int x = 0; x < size; ++x)
        if (std::fabs(std::hypot(x - c, y - c) - ring) < 1.2) pixels[static_cast<size_t>(y) * size + x] = 1;
    for (int t = 0; t < 14; ++t) {
      const double a = 2 * M_PI * (f - t * 0.35) / frames;
      const double dx = c + ring * std::cos(a), dy = c + ring * std::sin(a);
      for (int y = 0; y < size; ++y)
        for (int x = 0; x < size; ++x)
          if (std::hypot(x - dx, y - dy) < size * 0.08 * (1.0 - t / 20.0) &&
              pixels[static_cast<size_t>(y) * size + x] < 2)
            pixels[static_cast<size_t>(y) * size + x] = 2 + t;
    }

    // LZW with only literal codes: a clear code before the table would grow
    // past the 5-bit code width keeps every code 5 bits wide. Larger than
    // real compression, but simple and valid for every decoder.
    s += static_cast<char>(minCodeSize);
    std::string data;
    uint32_t bits = 0;
    int bitCount = 0;
    auto emit = [&](int code) {
      bits |= static_cast<uint32_t>(code) << bitCount;
      bitCount += minCodeSize + 1;
      while (bitCount >= 8) {
        data += static_cast<char>(bits & 0xFF);
        bits >>= 8;
        bitCount -= 8;
      }
    };
    const int runLimit = clearCode - 2;
    int run = runLimit;
    for (int px : pixels) {
      if (run == runLimit) {
        emit(clearCode);
        run = 0;
      }
      emit(px);
      ++run;
    }
    emit(endCode);
    if (bitCount > 0) data += static_cast<char>(bits & 0xFF);
    for (size_t pos = 0; pos < data.size(); pos += 255) {
      const size_t n = std::min<size_t>(255, data.size() - pos);
      s += static_cast<char>(n);
      s.append(data, pos, n);
    }
    s += '\0';
  }
  s += ';';
  return s;
}

std::string MakeBellWave(int sampleRate, double seconds, double frequency) {
  const uint32_t samples = static_cast<uint32_t>(sampleRate * seconds);
  std::string s = "RIFF";
  put32(s, 36 + samples * 2);
  s += "WAVEfmt ";
  put32(s, 16);
  put16(s, 1);  // PCM
  put16(s, 1);  // mono
  put32(s, static_cast<uint32_t>(sampleRate));
  put32(s, static_cast<uint32_t>(sampleRate) * 2);
  put16(s, 2);
  put16(s, 16);
  s += "data";
  put32(s, samples * 2);
  for (uint32_t i = 0; i < samples; ++i) {
    const double t = static_cast<double>(i) / sampleRate;
    const double v = std::exp(-4.0 * t) * (0.7 * std::sin(2 * M_PI * frequency * t) +
                                           0.3 * std::sin(2 * M_PI * frequency * 2.76 * t));
    put16(s, static_cast<unsigned>(static_cast<int16_t>(v * 20000)) & 0xFFFF);
  }
  return s;
}

}  // namespace dictbuilder
