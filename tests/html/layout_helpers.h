#pragma once
// Lays out pages built from text at a fixed width on a bitmap canvas, and
// measures text with the same DejaVu faces the pages ask for, so expected
// positions come from the platform's own widths.
#include <functional>
#include <memory>
#include <string>

#include "html/parse/style_fonts.h"
#include "html/layout/layout_device.h"
#include "html/model/block.h"
#include "html/layout/layout_dump.h"
#include "html/model/section.h"
#include "html/model/table.h"
#include "platform/graphics/bitmap.h"
#include "platform/graphics/canvas.h"
#include "tests/html/build_helpers.h"

namespace layouthelp {

struct Laid {
  std::unique_ptr<ThtDocument> Doc;
  std::unique_ptr<TBitmap> Bitmap;
  int Height = 0;
  int ScrollWidth = 0;
  TCanvas* Canvas() { return Bitmap->Canvas(); }
  std::string Dump() { return DumpLayout(*Doc); }
};

inline Laid Layout(const std::string& html, int width, int canvasHeight = 600) {
  Laid l;
  l.Doc = buildhelp::Build(html);
  l.Bitmap = std::make_unique<TBitmap>();
  l.Bitmap->SetSize(width, canvasHeight);
  int curs = 0;
  l.Height = l.Doc->DoLogic(l.Bitmap->Canvas(), 0, width, canvasHeight, 0, l.ScrollWidth, curs);
  return l;
}

// Width of text in a DejaVu face at a pixel size.
inline int TextWidth(const String& face, int px, const String& text, bool bold = false) {
  TBitmap bmp;
  bmp.SetSize(4, 4);
  TMyFont f;
  f.SetName(face);
  f.SetHeight(-px);
  if (bold) f.SetStyle(TFontStyles{fsBold});
  f.ReadMetrics();
  ThtMeasurer m(bmp.Canvas());
  m.SelectFont(&f);
  return m.Width(text.data(), int(text.size()));
}

// The text sections of a document in order, through nested blocks (not
// into tables).
inline std::vector<TSection*> sections(ThtDocument& doc) {
  std::vector<TSection*> out;
  std::function<void(TCellBasic&)> walk = [&](TCellBasic& c) {
    for (const auto& it : c) {
      if (auto* s = dynamic_cast<TSection*>(it.get())) out.push_back(s);
      else if (auto* b = dynamic_cast<TBlock*>(it.get())) walk(*b->MyCell);
    }
  };
  walk(doc);
  return out;
}

// The tables of a document, each before the tables in its cells, through
// nested blocks and cells.
inline std::vector<THtmlTable*> tables(ThtDocument& doc) {
  std::vector<THtmlTable*> out;
  std::function<void(TCellBasic&)> walk = [&](TCellBasic& c) {
    for (const auto& it : c) {
      if (auto* t = dynamic_cast<THtmlTable*>(it.get())) {
        out.push_back(t);
        for (int r = 0; r < t->Rows.Count(); ++r)
          for (const auto& cell : *t->Rows[r])
            if (cell) walk(*cell);
      }
      if (auto* b = dynamic_cast<TBlock*>(it.get())) walk(*b->MyCell);
    }
  };
  walk(doc);
  return out;
}

}  // namespace layouthelp
