// tools/tamrix-picture as outside checks call it: one JSON line, frames as
// 8-bit RGBA PNG files, exit 0 for pictures and for failures alike.
#include <gtest/gtest.h>
#include <png.h>
#include <unistd.h>

#include <array>
#include <cstdio>
#include <filesystem>
#include <fstream>

#include "picture_test_util.h"

using namespace pictures;
namespace fs = std::filesystem;

namespace {

fs::path toolPath() {
  // The tool is built beside the tests: build/tools/tamrix-picture.
  return fs::canonical("/proc/self/exe").parent_path().parent_path() / "tools" / "tamrix-picture";
}

struct ToolRun {
  int exitCode = -1;
  std::string out;
};

ToolRun runTool(const Bytes& file, const fs::path& dir) {
  fs::create_directories(dir);
  const fs::path input = dir / "input.bin";
  {
    std::ofstream f(input, std::ios::binary);
    f.write(reinterpret_cast<const char*>(file.data()), std::streamsize(file.size()));
  }
  const fs::path outDir = dir / "frames";
  fs::remove_all(outDir);
  const std::string cmd = toolPath().string() + " " + input.string() + " " + outDir.string() + " 2>/dev/null";
  ToolRun r;
  FILE* p = popen(cmd.c_str(), "r");
  if (!p) return r;
  std::array<char, 4096> buf;
  size_t n;
  while ((n = fread(buf.data(), 1, buf.size(), p)) > 0) r.out.append(buf.data(), n);
  const int status = pclose(p);
  r.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return r;
}

// RGBA bytes of a PNG frame the tool wrote.
Bytes readRgba(const fs::path& file, int& w, int& h) {
  png_image img{};
  img.version = PNG_IMAGE_VERSION;
  if (!png_image_begin_read_from_file(&img, file.c_str())) return {};
  img.format = PNG_FORMAT_RGBA;
  Bytes px(PNG_IMAGE_SIZE(img));
  png_image_finish_read(&img, nullptr, px.data(), 0, nullptr);
  w = int(img.width);
  h = int(img.height);
  return px;
}

class PictureTool : public ::testing::Test {
protected:
  fs::path dir = fs::temp_directory_path() / ("tamrix-picture-test-" + std::to_string(getpid()));
  void TearDown() override { fs::remove_all(dir); }
};

}  // namespace

TEST_F(PictureTool, AnimatedGifGivesCompositedFramesAndTiming) {
  Bytes gif = GifWriter(2, 1, {0xFF0000, 0x00FF00, 0x0000FF})
                  .loop(0)
                  .control(1, 7, 2)
                  .image(0, 0, 2, 1, {0, 2})
                  .control(0, 25, 2)
                  .image(0, 0, 2, 1, {2, 1})
                  .finish();
  ToolRun r = runTool(gif, dir);
  EXPECT_EQ(r.exitCode, 0);
  EXPECT_EQ(r.out,
            "{\"outcome\":\"ok\",\"width\":2,\"height\":1,\"frame_count\":2,\"delays_ms\":[70,250],\"play_count\":0}\n");
  int w = 0, h = 0;
  Bytes f0 = readRgba(dir / "frames" / "000.png", w, h);
  ASSERT_EQ(f0.size(), 8u);
  EXPECT_EQ(Bytes(f0.begin(), f0.begin() + 4), (Bytes{255, 0, 0, 255}));
  EXPECT_EQ(Bytes(f0.begin() + 4, f0.end()), (Bytes{0, 0, 0, 0}));  // a hole
  Bytes f1 = readRgba(dir / "frames" / "001.png", w, h);
  ASSERT_EQ(f1.size(), 8u);
  EXPECT_EQ(Bytes(f1.begin(), f1.begin() + 4), (Bytes{255, 0, 0, 255}));  // kept from frame 0
  EXPECT_EQ(Bytes(f1.begin() + 4, f1.end()), (Bytes{0, 255, 0, 255}));
  EXPECT_FALSE(fs::exists(dir / "frames" / "002.png"));
}

TEST_F(PictureTool, StillPicturesKeepTheirOwnValues) {
  const Bytes px = {250, 10, 20, 3, 0, 0, 255, 255};
  ToolRun r = runTool(pngBytes(2, 1, px), dir);
  EXPECT_EQ(r.exitCode, 0);
  EXPECT_EQ(r.out,
            "{\"outcome\":\"ok\",\"width\":2,\"height\":1,\"frame_count\":1,\"delays_ms\":[0],\"play_count\":1}\n");
  int w = 0, h = 0;
  EXPECT_EQ(readRgba(dir / "frames" / "000.png", w, h), px);
  ToolRun b = runTool(bmp32Bytes(2, 1, px), dir);
  EXPECT_EQ(readRgba(dir / "frames" / "000.png", w, h), px);
  EXPECT_EQ(b.exitCode, 0);
}

TEST_F(PictureTool, AOneFrameGifReportsTheDelayItsFrameCarries) {
  Bytes gif = GifWriter(2, 1, {0xFF0000, 0x00FF00}).control(0, 40).image(0, 0, 2, 1, {0, 1}).finish();
  ToolRun r = runTool(gif, dir);
  EXPECT_EQ(r.exitCode, 0);
  EXPECT_EQ(r.out,
            "{\"outcome\":\"ok\",\"width\":2,\"height\":1,\"frame_count\":1,\"delays_ms\":[400],\"play_count\":1}\n");
  // Without a graphic control there is no delay to report.
  Bytes plain = GifWriter(2, 1, {0xFF0000, 0x00FF00}).image(0, 0, 2, 1, {0, 1}).finish();
  EXPECT_NE(runTool(plain, dir).out.find("\"delays_ms\":[0]"), std::string::npos);
}

TEST_F(PictureTool, AnOutputFolderIsMadeWithItsParents) {
  fs::create_directories(dir);
  const Bytes png = pngBytes(1, 1, {1, 2, 3, 255});
  std::ofstream(dir / "p.png", std::ios::binary).write(reinterpret_cast<const char*>(png.data()), std::streamsize(png.size()));
  const fs::path out = dir / "a" / "b" / "frames";
  const std::string cmd = toolPath().string() + " " + (dir / "p.png").string() + " " + out.string() + " 2>/dev/null";
  FILE* p = popen(cmd.c_str(), "r");
  ASSERT_NE(p, nullptr);
  char buf[512];
  std::string line;
  while (fgets(buf, sizeof buf, p)) line += buf;
  const int status = pclose(p);
  EXPECT_EQ(WIFEXITED(status) ? WEXITSTATUS(status) : -1, 0);
  EXPECT_NE(line.find("\"outcome\":\"ok\""), std::string::npos) << line;
  EXPECT_TRUE(fs::exists(out / "000.png"));
}

TEST_F(PictureTool, FailuresAreReportedAsOneJsonLine) {
  for (const Bytes& bad : {Bytes{}, Bytes{'G', 'I', 'F', '8', '9', 'a', 1}, Bytes(40, 'x'),
                           Bytes{0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n', 0, 0, 0, 13, 'I', 'H', 'D', 'R', 0, 0, 0, 0, 0}}) {
    ToolRun r = runTool(bad, dir);
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.out.rfind("{\"outcome\":\"error\",\"message\":\"", 0), 0u) << r.out;
    EXPECT_EQ(r.out.back(), '\n');
    EXPECT_EQ(std::count(r.out.begin(), r.out.end(), '\n'), 1);
  }
}
