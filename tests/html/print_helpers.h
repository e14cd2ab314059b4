#pragma once
// Reading printed pages back: a page recorded by the metafile printer is
// played onto a bitmap at a tenth of the printer's resolution and its
// pixels are counted by colour; a PDF file is read with poppler's tools.
#include <cstdio>
#include <map>
#include <memory>
#include <string>

#include "html/print/metafile_printer.h"
#include "platform/graphics/bitmap.h"
#include "platform/graphics/canvas.h"
#include "platform/graphics/metafile.h"

namespace printhelp {

constexpr int kShrink = 10;

// A page played back at 1/kShrink of the printer's resolution.
inline std::unique_ptr<TBitmap> playPage(TMetaFilePrinter& P, int Index) {
  TMetafile* mf = P.MetaFile(Index);
  auto bmp = std::make_unique<TBitmap>();
  bmp->SetPixelFormat(pf32bit);
  const int w = P.PaperWidth() / kShrink, h = P.PaperHeight() / kShrink;
  bmp->SetSize(w, h);
  bmp->Canvas()->Brush()->SetColor(clWhite);
  bmp->Canvas()->FillRect(TRect(0, 0, w, h));
  if (mf) bmp->Canvas()->StretchDraw(TRect(0, 0, w, h), mf);
  return bmp;
}

// Pixel counts by colour (0xRRGGBB) inside R (the whole page when empty).
inline std::map<unsigned, int> colours(TBitmap& B, TRect R = TRect()) {
  if (R.Width() <= 0) R = TRect(0, 0, B.Width(), B.Height());
  std::map<unsigned, int> out;
  for (int y = std::max(R.Top, 0); y < std::min(R.Bottom, B.Height()); ++y) {
    auto* row = static_cast<const unsigned char*>(B.ScanLine(y));
    for (int x = std::max(R.Left, 0); x < std::min(R.Right, B.Width()); ++x) {
      const unsigned char* p = row + 4 * x;
      ++out[unsigned(p[2]) << 16 | unsigned(p[1]) << 8 | p[0]];
    }
  }
  return out;
}

// Pixels that are not white inside R.
inline int ink(TBitmap& B, const TRect& R) {
  int n = 0;
  for (const auto& [c, count] : colours(B, R))
    if (c != 0xFFFFFF) n += count;
  return n;
}

// The margins of a page, in the played-back bitmap: a printer pixel is
// 1/kShrink of a bitmap pixel; cm margins at PPI. Inset keeps one pixel of
// slack at the edge of the printable area.
struct Margins {
  TRect Content;  // the printable area inside the margins
};
inline Margins marginsOf(const ThtPrinter& P, double CM = 2.0, int Inset = 1) {
  const int mx = int(CM / 2.54 * P.PixelsPerInchX()) / kShrink;
  const int my = int(CM / 2.54 * P.PixelsPerInchY()) / kShrink;
  const int w = P.PaperWidth() / kShrink, h = P.PaperHeight() / kShrink;
  return {TRect(mx - Inset, my - Inset, w - mx + Inset, h - my + Inset)};
}

// Runs a command and returns its standard output.
inline std::string run(const std::string& Cmd) {
  std::string out;
  FILE* f = popen(Cmd.c_str(), "r");
  if (!f) return out;
  char buf[4096];
  size_t n;
  while ((n = fread(buf, 1, sizeof buf, f)) > 0) out.append(buf, n);
  pclose(f);
  return out;
}

// The text of one page of a PDF file (1-based), and its page count.
inline std::string pdfPageText(const std::string& File, int Page) {
  return run("pdftotext -layout -f " + std::to_string(Page) + " -l " + std::to_string(Page) + " '" + File + "' -");
}
inline int pdfPages(const std::string& File) {
  const std::string info = run("pdfinfo '" + File + "' 2>/dev/null");
  const size_t at = info.find("Pages:");
  return at == std::string::npos ? -1 : std::atoi(info.c_str() + at + 6);
}

}  // namespace printhelp
