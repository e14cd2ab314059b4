#include "tools/dictbuilder/media.h"

#include <jpeglib.h>
#include <png.h>

#include <cstring>

#include "tests/tools/test_util.h"

using namespace dictbuilder;

namespace {

uint32_t le16(const std::string& s, size_t at) {
  return static_cast<uint8_t>(s[at]) | (static_cast<uint8_t>(s[at + 1]) << 8);
}

uint32_t le32(const std::string& s, size_t at) { return le16(s, at) | (le16(s, at + 2) << 16); }

// A plain GIF LZW decoder, written from the format's rules, to check that
// the encoder's output decodes to the frame's pixels.
std::vector<int> lzwDecode(const std::string& data, int minCodeSize, size_t expected) {
  const int clear = 1 << minCodeSize, end = clear + 1;
  std::vector<std::vector<int>> table;
  auto reset = [&] {
    table.clear();
    for (int i = 0; i < clear + 2; ++i) table.push_back({i});
  };
  reset();
  int width = minCodeSize + 1;
  size_t bitPos = 0;
  std::vector<int> out, prev;
  while (bitPos + static_cast<size_t>(width) <= data.size() * 8) {
    int code = 0;
    for (int b = 0; b < width; ++b, ++bitPos)
      code |= ((static_cast<uint8_t>(data[bitPos / 8]) >> (bitPos % 8)) & 1) << b;
    if (code == clear) {
      reset();
      width = minCodeSize + 1;
      prev.clear();
      continue;
    }
    if (code == end) break;
    std::vector<int> entry;
    if (code < static_cast<int>(table.size())) entry = table[static_cast<size_t>(code)];
    else if (code == static_cast<int>(table.size()) && !prev.empty()) (entry = prev).push_back(prev[0]);
    else return {};  // invalid code
    out.insert(out.end(), entry.begin(), entry.end());
    if (!prev.empty()) {
      prev.push_back(entry[0]);
      table.push_back(prev);
      if (table.size() == (1u << width) && width < 12) ++width;
    }
    prev = entry;
  }
  if (out.size() != expected) return {};
  return out;
}

}  // namespace

TEST(Media, PngKeepsSizeAndTransparency) {
  const Picture src = MakeBadgePicture(40);
  const std::string png = EncodePng(src);
  png_image image;
  std::memset(&image, 0, sizeof image);
  image.version = PNG_IMAGE_VERSION;
  ASSERT_TRUE(png_image_begin_read_from_memory(&image, png.data(), png.size()));
  EXPECT_EQ(image.width, 40u);
  EXPECT_EQ(image.height, 40u);
  EXPECT_TRUE(image.format & PNG_FORMAT_FLAG_ALPHA);
  image.format = PNG_FORMAT_RGBA;
  std::vector<uint8_t> px(PNG_IMAGE_SIZE(image));
  ASSERT_TRUE(png_image_finish_read(&image, nullptr, px.data(), 0, nullptr));
  EXPECT_EQ(std::memcmp(px.data(), src.Pixels.data(), px.size()), 0);
  int transparent = 0, partial = 0, opaque = 0;
  for (size_t i = 3; i < px.size(); i += 4) {
    if (px[i] == 0) ++transparent;
    else if (px[i] == 255) ++opaque;
    else ++partial;
  }
  EXPECT_GT(transparent, 0);
  EXPECT_GT(partial, 0);
  EXPECT_GT(opaque, 0);
}

TEST(Media, JpegDecodesToThePicture) {
  const Picture src = MakeLandscapePicture(64, 48);
  const std::string jpg = EncodeJpeg(src, 90);
  jpeg_decompress_struct cinfo;
  jpeg_error_mgr jerr;
  cinfo.err = jpeg_std_error(&jerr);
  jpeg_create_decompress(&cinfo);
  jpeg_mem_src(&cinfo, reinterpret_cast<const unsigned char*>(jpg.data()), jpg.size());
  ASSERT_EQ(jpeg_read_header(&cinfo, TRUE), JPEG_HEADER_OK);
  jpeg_start_decompress(&cinfo);
  EXPECT_EQ(cinfo.output_width, 64u);
  EXPECT_EQ(cinfo.output_height, 48u);
  EXPECT_EQ(cinfo.output_components, 3);
  std::vector<unsigned char> row(64 * 3);
  double error = 0;
  while (cinfo.output_scanline < cinfo.output_height) {
    const unsigned y = cinfo.output_scanline;
    JSAMPROW rows[1] = {row.data()};
    jpeg_read_scanlines(&cinfo, rows, 1);
    for (int x = 0; x < 64; ++x) error += std::abs(row[x * 3] - src.Pixels[y * 64 + x].R);
  }
  jpeg_finish_decompress(&cinfo);
  jpeg_destroy_decompress(&cinfo);
  EXPECT_LT(error / (64 * 48), 8.0);  // lossy, but close
}

TEST(Media, BmpRowsAreBottomUpAndPadded) {
  const Picture src = MakeLandscapePicture(45, 3);  // 135 bytes a row, padded to 136
  const std::string bmp = EncodeBmp(src);
  ASSERT_EQ(bmp.substr(0, 2), "BM");
  EXPECT_EQ(le32(bmp, 2), bmp.size());
  EXPECT_EQ(le32(bmp, 10), 54u);
  EXPECT_EQ(le32(bmp, 18), 45u);
  EXPECT_EQ(le32(bmp, 22), 3u);
  EXPECT_EQ(le16(bmp, 28), 24u);
  EXPECT_EQ(bmp.size(), 54u + 136 * 3);
  // The first stored row is the picture's last; pixels are B, G, R.
  const Rgba& last = src.Pixels[2 * 45];
  EXPECT_EQ(static_cast<uint8_t>(bmp[54]), last.B);
  EXPECT_EQ(static_cast<uint8_t>(bmp[55]), last.G);
  EXPECT_EQ(static_cast<uint8_t>(bmp[56]), last.R);
  EXPECT_EQ(bmp[54 + 135], '\0');
}

TEST(Media, AnimatedGifFramesDecode) {
  const int size = 32, frames = 5;
  const std::string gif = MakeAnimatedGif(size, frames);
  ASSERT_EQ(gif.substr(0, 6), "GIF89a");
  EXPECT_EQ(le16(gif, 6), 32u);
  EXPECT_EQ(static_cast<uint8_t>(gif[10]) & 0x80, 0x80);  // global colour table
  size_t pos = 13 + 16 * 3;
  int seenFrames = 0;
  bool loops = false;
  std::vector<int> firstFrame;
  while (pos < gif.size() && gif[pos] != ';') {
    if (gif[pos] == '!') {
      const uint8_t label = static_cast<uint8_t>(gif[pos + 1]);
      if (label == 0xFF && gif.compare(pos + 3, 11, "NETSCAPE2.0") == 0) loops = le16(gif, pos + 16) == 0;
      pos += 2;
      while (gif[pos] != 0) pos += 1 + static_cast<uint8_t>(gif[pos]);
      ++pos;
    } else if (gif[pos] == ',') {
      EXPECT_EQ(le16(gif, pos + 5), 32u);
      const int minCode = gif[pos + 10];
      pos += 11;
      std::string data;
      while (gif[pos] != 0) {
        const size_t n = static_cast<uint8_t>(gif[pos]);
        data.append(gif, pos + 1, n);
        pos += 1 + n;
      }
      ++pos;
      const auto pixels = lzwDecode(data, minCode, size * size);
      ASSERT_EQ(pixels.size(), static_cast<size_t>(size * size)) << "frame " << seenFrames;
      for (int p : pixels) ASSERT_LT(p, 16);
      if (seenFrames == 0) {
        firstFrame = pixels;
      } else {
        EXPECT_NE(pixels, firstFrame) << "frames should differ";
      }
      ++seenFrames;
    } else {
      FAIL() << "unexpected block at " << pos;
    }
  }
  EXPECT_EQ(pos, gif.size() - 1);
  EXPECT_EQ(seenFrames, frames);
  EXPECT_TRUE(loops);
}

TEST(Media, WaveHeaderMatchesItsSamples) {
  const std::string wav = MakeBellWave(8000, 0.25, 440);
  ASSERT_EQ(wav.substr(0, 4), "RIFF");
  EXPECT_EQ(le32(wav, 4), wav.size() - 8);
  EXPECT_EQ(wav.substr(8, 8), "WAVEfmt ");
  EXPECT_EQ(le16(wav, 20), 1u);  // PCM
  EXPECT_EQ(le32(wav, 24), 8000u);
  EXPECT_EQ(le16(wav, 34), 16u);
  EXPECT_EQ(wav.substr(36, 4), "data");
  EXPECT_EQ(le32(wav, 40), 2000u * 2);
  EXPECT_EQ(wav.size(), 44u + 4000);
}
