// tamrix-picture FILE OUTDIR: decodes FILE by its content through the
// viewer's image loader, as an <IMG> of a page would, writes every frame as
// it shows on screen (composited, 8-bit RGBA) to OUTDIR/NNN.png (at most
// 256), and prints one JSON line describing the picture or the failure.
// Exit 0 either way; 2 when the tool itself cannot work.
#include <png.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "html/images/gdiplus_images.h"
#include "html/images/gif_decoder.h"
#include "html/images/gif_images.h"
#include "html/images/image_cache.h"
#include "platform/core/files.h"
#include "platform/core/strings.h"
#include "tools/common/json_text.h"

namespace {

constexpr int kMaxFrames = 256;

struct Rgba {
  int width = 0, height = 0;
  std::vector<std::uint8_t> pixels;  // rows top-down, R, G, B, A
};

std::string jsonString(const std::string& s) { return JsonString(s); }

void printError(const std::string& message) {
  std::printf("{\"outcome\":\"error\",\"message\":%s}\n", jsonString(message).c_str());
}

bool writePng(const std::string& path, const Rgba& img) {
  FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) return false;
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png ? png_create_info_struct(png) : nullptr;
  if (!png || !info || setjmp(png_jmpbuf(png))) {
    png_destroy_write_struct(&png, info ? &info : nullptr);
    std::fclose(f);
    return false;
  }
  png_init_io(png, f);
  png_set_IHDR(png, info, png_uint_32(img.width), png_uint_32(img.height), 8, PNG_COLOR_TYPE_RGBA,
               PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  png_write_info(png, info);
  for (int y = 0; y < img.height; ++y)
    png_write_row(png, const_cast<png_bytep>(img.pixels.data() + size_t(y) * size_t(img.width) * 4));
  png_write_end(png, nullptr);
  png_destroy_write_struct(&png, &info);
  return std::fclose(f) == 0;
}

void putPixel(Rgba& out, size_t i, std::uint32_t argb) {
  const std::uint8_t a = std::uint8_t(argb >> 24);
  std::uint8_t* p = out.pixels.data() + i * 4;
  p[0] = a ? std::uint8_t(argb >> 16) : 0;
  p[1] = a ? std::uint8_t(argb >> 8) : 0;
  p[2] = a ? std::uint8_t(argb) : 0;
  p[3] = a;
}

// A bitmap with its transparency: straight alpha of its own, or a mask
// (white = transparent).
Rgba fromBitmap(TBitmap& b, TBitmap* mask) {
  Rgba out;
  out.width = b.Width();
  out.height = b.Height();
  out.pixels.resize(size_t(out.width) * size_t(out.height) * 4);
  const bool ownAlpha = b.PixelFormat() == pf32bit && b.AlphaFormat() == afDefined;
  for (int y = 0; y < out.height; ++y) {
    const auto* src = static_cast<const std::uint32_t*>(b.ScanLine(y));
    const std::uint32_t* m =
        mask && y < mask->Height() ? static_cast<const std::uint32_t*>(mask->ScanLine(y)) : nullptr;
    for (int x = 0; x < out.width; ++x) {
      std::uint32_t px = ownAlpha ? src[x] : (src[x] | 0xFF000000u);
      if (m && x < mask->Width() && (m[x] & 0xFFFFFF) == 0xFFFFFF) px = 0;
      putPixel(out, size_t(y) * size_t(out.width) + size_t(x), px);
    }
  }
  return out;
}

Rgba fromGpImage(TGpImage& img) {
  Rgba out;
  out.width = img.Width();
  out.height = img.Height();
  out.pixels.resize(size_t(out.width) * size_t(out.height) * 4);
  for (int y = 0; y < out.height; ++y)
    for (int x = 0; x < out.width; ++x) {
      ARGB c = 0;
      GdipBitmapGetPixel(img.Handle(), x, y, &c);
      putPixel(out, size_t(y) * size_t(out.width) + size_t(x), c);
    }
  return out;
}

// A GIF of one frame shows as a still picture, but the frame may carry a
// delay of its own: reported as the viewer would time that frame.
int stillGifDelay(TStream& Stream) {
  if (KindOfImage(&Stream) != itGIF) return 0;
  try {
    Stream.SetPosition(0);
    TGif gif;
    gif.LoadFromStream(Stream);
    const TGifExtension* gc = gif.ImageCount() > 0 ? gif.Image(0).GraphicControl() : nullptr;
    if (!gc || gc->Delay == 0) return 0;
    Stream.SetPosition(0);
    bool nonAnimated = true;
    std::unique_ptr<TGIFImage> image = LoadGifFromStream(nonAnimated, Stream);
    return image && image->FrameCount() > 0 ? image->Frames().Items(1).Delay : 0;
  } catch (const std::exception&) {
    return 0;
  }
}

std::string frameName(const std::string& dir, int i) {
  char name[16];
  std::snprintf(name, sizeof name, "%03d.png", i);
  return dir + "/" + name;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: tamrix-picture FILE OUTDIR\n");
    return 2;
  }
  setenv("QT_QPA_PLATFORM", "offscreen", 1);  // no display is needed or wanted
  const std::string file = argv[1], outDir = argv[2];
  // The folder is made with its parents, as "mkdir -p" would.
  std::error_code ec;
  std::filesystem::create_directories(outDir, ec);
  if (!std::filesystem::is_directory(outDir)) {
    std::fprintf(stderr, "tamrix-picture: cannot create %s: %s\n", outDir.c_str(),
                 ec ? ec.message().c_str() : "not a folder");
    return 2;
  }

  GdiPlusStart();
  std::unique_ptr<TFileStream> stream;
  try {
    stream = std::make_unique<TFileStream>(UTF8ToUTF16(file), fmOpenRead | fmShareDenyWrite);
  } catch (const Exception& e) {
    printError(std::string("cannot read the file: ") + e.what());
    return 0;
  }
  std::uint8_t transparent = TranspNone;
  std::unique_ptr<TBitmap> mask;
  std::unique_ptr<TgpObject> picture;
  try {
    picture = LoadImageFromStream(stream.get(), transparent, mask);
  } catch (const std::exception& e) {
    // Out of memory for a picture that declares a huge size, say.
    printError(e.what());
    return 0;
  }
  if (!picture) {
    const TImageKind kind = KindOfImage(stream.get());
    std::string why = "not a picture the viewer can show";
    if (stream->Size() == 0) why = "the file is empty";
    else if (kind == itGIF && GifLastError() != geNone) why = UTF16ToUTF8(GifLastErrorMessage());
    else if (kind != itNone) why = "the picture is damaged or truncated";
    printError(why);
    return 0;
  }

  std::vector<Rgba> frames;
  std::vector<int> delays;
  int width = 0, height = 0, frameCount = 1, playCount = 1;
  try {
    if (auto* gif = dynamic_cast<TGIFImage*>(picture.get())) {
      width = gif->Width();
      height = gif->Height();
      frameCount = gif->FrameCount();
      playCount = gif->PlayCount();
      for (int i = 1; i <= frameCount; ++i) {
        delays.push_back(gif->Frames().Items(i).Delay);
        if (i <= kMaxFrames) frames.push_back(fromBitmap(*gif->FrameBitmap(i), nullptr));
      }
    } else {
      if (auto* b = dynamic_cast<TBitmap*>(picture.get())) {
        frames.push_back(fromBitmap(*b, mask.get()));
      } else if (auto* gp = dynamic_cast<TGpImage*>(picture.get())) {
        frames.push_back(fromGpImage(*gp));
      } else if (auto* meta = dynamic_cast<ThtMetaFile*>(picture.get())) {
        frames.push_back(fromBitmap(*meta->GetBitmap(), meta->GetMask()));
      }
      if (frames.empty()) {
        printError("not a picture the viewer can show");
        return 0;
      }
      width = frames[0].width;
      height = frames[0].height;
      delays.push_back(stillGifDelay(*stream));
    }
  } catch (const std::exception& e) {
    printError(e.what());
    return 0;
  }

  for (size_t i = 0; i < frames.size(); ++i)
    if (!writePng(frameName(outDir, int(i)), frames[i])) {
      std::fprintf(stderr, "tamrix-picture: cannot write %s\n", frameName(outDir, int(i)).c_str());
      return 2;
    }
  std::string list;
  for (size_t i = 0; i < delays.size(); ++i) list += (i ? "," : "") + std::to_string(delays[i]);
  std::printf("{\"outcome\":\"ok\",\"width\":%d,\"height\":%d,\"frame_count\":%d,\"delays_ms\":[%s],\"play_count\":%d}\n",
              width, height, frameCount, list.c_str(), playCount);
  return 0;
}
