// tools/tamrix-render as outside checks call it: one JSON line with the
// four figures, a PNG of WIDTH x H, the layout dump on request, pictures
// "*N/NAME" answered from the media folder with --string, and the page
// printed into a PDF file with --print.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <regex>
#include <string>

#include "picture_test_util.h"

namespace fs = std::filesystem;

namespace {

fs::path toolPath() {
  // Built beside the tests: build/tools/tamrix-render.
  return fs::canonical("/proc/self/exe").parent_path().parent_path() / "tools" / "tamrix-render";
}

struct ToolRun {
  int exitCode = -1;
  std::string out;
};

ToolRun run(const std::string& args) {
  ToolRun r;
  FILE* p = popen((toolPath().string() + " " + args + " 2>/dev/null").c_str(), "r");
  if (!p) return r;
  char buf[512];
  while (fgets(buf, sizeof buf, p)) r.out += buf;
  const int status = pclose(p);
  r.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return r;
}

// Width and height from a PNG's header.
std::pair<int, int> pngSize(const fs::path& file) {
  std::ifstream f(file, std::ios::binary);
  unsigned char h[24] = {};
  f.read(reinterpret_cast<char*>(h), sizeof h);
  auto be = [&](int at) { return (h[at] << 24) | (h[at + 1] << 16) | (h[at + 2] << 8) | h[at + 3]; };
  return {be(16), be(20)};
}

struct RenderTool : ::testing::Test {
  void SetUp() override {
    Dir = fs::temp_directory_path() / ("tamrix-render-test-" + std::to_string(getpid()));
    fs::create_directories(Dir / "media" / "2");
  }
  void TearDown() override {
    std::error_code ec;
    fs::remove_all(Dir, ec);
  }
  fs::path Dir;
};

TEST_F(RenderTool, StringPagesWithMediaPrintTheFiguresAndWriteThePicture) {
  pictures::Bytes px;
  for (int i = 0; i < 40 * 30; ++i) px.insert(px.end(), {200, 0, 200, 255});
  const auto png = pictures::pngBytes(40, 30, px);
  std::ofstream(Dir / "media" / "2" / "pic.png", std::ios::binary)
      .write(reinterpret_cast<const char*>(png.data()), std::streamsize(png.size()));
  std::ofstream(Dir / "article.html", std::ios::binary)
      << "<html><body><h1>дом</h1><p>1) здание <img src=\"*2/pic.png\"></p></body></html>";
  const fs::path out = Dir / "out.png", dump = Dir / "dump.txt";
  const ToolRun r = run((Dir / "article.html").string() + " 320 " + out.string() + " --string --media " +
                    (Dir / "media").string() + " --height 200 --dump " + dump.string());
  EXPECT_EQ(r.exitCode, 0);
  const std::regex json(
      R"(^\{"load_ms":[0-9.]+,"layout_ms":[0-9.]+,"paint_ms":[0-9.]+,"doc_height":([0-9]+)\}\n$)");
  std::smatch m;
  ASSERT_TRUE(std::regex_match(r.out, m, json)) << r.out;
  EXPECT_GT(std::stoi(m[1]), 30);
  EXPECT_EQ(pngSize(out), std::make_pair(320, 200));
  std::ifstream d(dump);
  const std::string text((std::istreambuf_iterator<char>(d)), std::istreambuf_iterator<char>());
  EXPECT_NE(text.find("здание"), std::string::npos);
  EXPECT_NE(text.find("[object]"), std::string::npos);  // the picture sits in the line
}

TEST_F(RenderTool, PrintWritesAnA4PdfOfEveryPageAndAddsItsFigures) {
  std::ofstream page(Dir / "long.html", std::ios::binary);
  page << "<html><body>";
  for (int i = 0; i < 200; ++i) page << "<p>paragraph" << i << "</p>";
  page << "</body></html>";
  page.close();
  const fs::path out = Dir / "out.png", pdf = Dir / "out.pdf";
  const ToolRun r = run((Dir / "long.html").string() + " 400 " + out.string() + " --print " + pdf.string());
  EXPECT_EQ(r.exitCode, 0);
  const std::regex json(
      R"(^\{"load_ms":[0-9.]+,"layout_ms":[0-9.]+,"paint_ms":[0-9.]+,"doc_height":[0-9]+,"pages":([0-9]+),"print_ms":[0-9.]+\}\n$)");
  std::smatch m;
  ASSERT_TRUE(std::regex_match(r.out, m, json)) << r.out;
  const int pages = std::stoi(m[1]);
  EXPECT_GT(pages, 3);
  ToolRun info;
  FILE* p = popen(("pdfinfo " + pdf.string()).c_str(), "r");
  ASSERT_NE(p, nullptr);
  char buf[256];
  while (fgets(buf, sizeof buf, p)) info.out += buf;
  pclose(p);
  EXPECT_NE(info.out.find("Pages:           " + std::to_string(pages) + "\n"), std::string::npos) << info.out;
  EXPECT_NE(info.out.find("(A4)"), std::string::npos) << info.out;
  EXPECT_EQ(pngSize(out).first, 400);
}

TEST_F(RenderTool, MediaNamesWithDotsAndBlanksAreAnsweredButNeverLeaveTheFolder) {
  pictures::Bytes px;
  for (int i = 0; i < 40 * 60; ++i) px.insert(px.end(), {0, 90, 200, 255});
  const auto png = pictures::pngBytes(40, 60, px);
  for (const char* name : {"v1..2.png", "my pic.png"})
    std::ofstream(Dir / "media" / "2" / name, std::ios::binary)
        .write(reinterpret_cast<const char*>(png.data()), std::streamsize(png.size()));
  std::ofstream(Dir / "secret.png", std::ios::binary)
      .write(reinterpret_cast<const char*>(png.data()), std::streamsize(png.size()));
  auto heightOf = [&](const std::string& src) {
    std::ofstream(Dir / "a.html", std::ios::binary) << "<img src=\"" << src << "\">";
    const ToolRun r = run((Dir / "a.html").string() + " 300 " + (Dir / "a.png").string() + " --string --media " +
                          (Dir / "media").string());
    const size_t at = r.out.find("\"doc_height\":");
    return at == std::string::npos ? -1 : std::stoi(r.out.substr(at + 13));
  };
  EXPECT_GE(heightOf("*2/v1..2.png"), 60);
  EXPECT_GE(heightOf("*2/my pic.png"), 60);
  EXPECT_LT(heightOf("*2/../../secret.png"), 60);
  EXPECT_LT(heightOf("*2/..//../secret.png"), 60);
}

TEST_F(RenderTool, FilesLoadWithTheirCharsetAndAMissingPageFails) {
  // A windows-1251 page declared by META: "Привет" in that code page.
  std::ofstream(Dir / "page.html", std::ios::binary)
      << "<html><head><meta http-equiv=\"Content-Type\" content=\"text/html; charset=windows-1251\"></head>"
         "<body><p>\xCF\xF0\xE8\xE2\xE5\xF2</p></body></html>";
  const fs::path dump = Dir / "dump.txt";
  const ToolRun r = run((Dir / "page.html").string() + " 300 " + (Dir / "p.png").string() + " --dump " + dump.string());
  EXPECT_EQ(r.exitCode, 0);
  EXPECT_EQ(pngSize(Dir / "p.png"), std::make_pair(300, 1200));  // the default height
  std::ifstream d(dump);
  const std::string text((std::istreambuf_iterator<char>(d)), std::istreambuf_iterator<char>());
  EXPECT_NE(text.find("Привет"), std::string::npos);

  // A page whose own name holds "#" is that file, not a page and an anchor.
  fs::copy_file(Dir / "page.html", Dir / "page#2.html");
  const ToolRun hash = run("'" + (Dir / "page#2.html").string() + "' 300 " + (Dir / "h.png").string() + " --dump " +
                           dump.string());
  EXPECT_EQ(hash.exitCode, 0);
  std::ifstream d2(dump);
  EXPECT_NE(std::string((std::istreambuf_iterator<char>(d2)), std::istreambuf_iterator<char>()).find("Привет"),
            std::string::npos);

  const ToolRun missing = run((Dir / "none.html").string() + " 300 " + (Dir / "n.png").string());
  EXPECT_NE(missing.exitCode, 0);
  EXPECT_TRUE(missing.out.empty());
  EXPECT_NE(run("only-two-args 300").exitCode, 0);
}

}  // namespace
