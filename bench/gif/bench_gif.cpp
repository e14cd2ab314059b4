// GIF decoding of a large picture, a picture of long LZW strings and a
// 200-frame animation: the viewer's decoder (the LZW decoding alone, and
// the whole load with compositing of the frames) beside giflib's
// DGifSlurp and Qt's QImageReader, on files giflib encodes here.
#include <gif_lib.h>

#include <QBuffer>
#include <QByteArray>
#include <QGuiApplication>
#include <QImage>
#include <QImageReader>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "bench/common/best_time.h"
#include "bench/common/limit.h"
#include "html/images/gif_decoder.h"
#include "html/images/gif_images.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

struct Frame {
  int w, h;
  Bytes px;
};

int writeToVector(GifFileType* gif, const GifByteType* data, int n) {
  auto* out = static_cast<Bytes*>(gif->UserData);
  out->insert(out->end(), data, data + n);
  return n;
}

Bytes encode(int w, int h, const std::vector<Frame>& frames, bool animated) {
  Bytes out;
  int err = 0;
  GifFileType* gif = EGifOpen(&out, writeToVector, &err);
  ColorMapObject* map = GifMakeMapObject(256, nullptr);
  for (int i = 0; i < 256; ++i) map->Colors[i] = GifColorType{GifByteType(i), GifByteType(i * 7), GifByteType(255 - i)};
  EGifSetGifVersion(gif, true);
  EGifPutScreenDesc(gif, w, h, 8, 0, map);
  if (animated) {
    unsigned char app[] = "NETSCAPE2.0";
    unsigned char loop[] = {1, 0, 0};
    EGifPutExtensionLeader(gif, APPLICATION_EXT_FUNC_CODE);
    EGifPutExtensionBlock(gif, 11, app);
    EGifPutExtensionBlock(gif, 3, loop);
    EGifPutExtensionTrailer(gif);
  }
  for (const Frame& f : frames) {
    if (animated) {
      unsigned char gce[] = {0x04, 4, 0, 0};  // disposal 1, 40 ms
      EGifPutExtension(gif, GRAPHICS_EXT_FUNC_CODE, 4, gce);
    }
    EGifPutImageDesc(gif, 0, 0, f.w, f.h, false, nullptr);
    for (int y = 0; y < f.h; ++y)
      EGifPutLine(gif, const_cast<GifPixelType*>(f.px.data() + size_t(y) * size_t(f.w)), f.w);
  }
  EGifCloseFile(gif, &err);
  GifFreeMapObject(map);
  return out;
}

struct Reader {
  const Bytes* data;
  size_t pos;
};

int readFromVector(GifFileType* gif, GifByteType* buf, int n) {
  auto* r = static_cast<Reader*>(gif->UserData);
  const size_t k = std::min(size_t(n), r->data->size() - r->pos);
  std::memcpy(buf, r->data->data() + r->pos, k);
  r->pos += k;
  return int(k);
}

void giflibDecode(const Bytes& file) {
  Reader r{&file, 0};
  int err = 0;
  GifFileType* gif = DGifOpen(&r, readFromVector, &err);
  if (!gif || DGifSlurp(gif) != GIF_OK) std::fprintf(stderr, "giflib failed\n");
  DGifCloseFile(gif, &err);
}

void ourDecode(const Bytes& file) {
  TGif gif;
  gif.LoadFromBuffer(file.data(), file.size());
}

void ourLoad(const Bytes& file) {
  TMemoryStream s;
  s.WriteBuffer(file.data(), std::int64_t(file.size()));
  bool still = true;
  if (!LoadGifFromStream(still, s)) std::fprintf(stderr, "load failed\n");
}

void qtDecode(const Bytes& file) {
  QByteArray bytes(reinterpret_cast<const char*>(file.data()), qsizetype(file.size()));
  QBuffer buffer(&bytes);
  buffer.open(QIODevice::ReadOnly);
  QImageReader reader(&buffer, "gif");
  QImage img;
  while (reader.read(&img)) {
  }
}

void report(const char* name, const Bytes& file) {
  const int runs = 5;
  const double gl = bestSeconds(runs, [&] { giflibDecode(file); });
  const double ours = bestSeconds(runs, [&] { ourDecode(file); });
  const double load = bestSeconds(runs, [&] { ourLoad(file); });
  const double qt = bestSeconds(runs, [&] { qtDecode(file); });
  std::printf("%-14s %8zu bytes  ours %8.2f ms  giflib %8.2f ms  ratio %.2f (%s)  "
              "ours+frames %8.2f ms  Qt QImageReader %8.2f ms\n",
              name, file.size(), ours * 1e3, gl * 1e3, ours / gl, limitText(ours / gl, 1.5, "").c_str(), load * 1e3,
              qt * 1e3);
}

}  // namespace

int main(int argc, char** argv) {
  QGuiApplication app(argc, argv);
  // A large picture of short strings: smooth noise over 256 colours.
  Frame large{2000, 1500, {}};
  large.px.resize(size_t(large.w) * size_t(large.h));
  std::uint32_t seed = 1;
  for (size_t i = 0; i < large.px.size(); ++i) {
    seed = seed * 1103515245u + 12345u;
    large.px[i] = std::uint8_t(((i % size_t(large.w)) / 8 + (seed >> 28)) & 0xFF);
  }
  // Long strings: wide bands of one colour.
  Frame flat{4000, 3000, {}};
  flat.px.resize(size_t(flat.w) * size_t(flat.h));
  for (size_t i = 0; i < flat.px.size(); ++i) flat.px[i] = std::uint8_t((i / size_t(flat.w)) / 200);
  // 200 frames of 200 x 200, a moving pattern.
  std::vector<Frame> anim;
  for (int f = 0; f < 200; ++f) {
    Frame fr{200, 200, {}};
    fr.px.resize(200 * 200);
    for (int y = 0; y < 200; ++y)
      for (int x = 0; x < 200; ++x) fr.px[size_t(y * 200 + x)] = std::uint8_t(((x + f) / 10 + (y / 10) * 3) & 0xFF);
    anim.push_back(std::move(fr));
  }
  std::printf("GIF decoding, best of 5 runs (ours = LZW decoding of every frame, as giflib's DGifSlurp does)\n");
  report("large", encode(large.w, large.h, {large}, false));
  report("long-strings", encode(flat.w, flat.h, {flat}, false));
  report("200-frames", encode(200, 200, anim, true));
  return 0;
}
