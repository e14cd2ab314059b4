#include "html/viewer/viewer_dump.h"

#include <sstream>

#include "html/model/block.h"
#include "html/model/document.h"
#include "html/viewer/html_view.h"
#include "html/model/section.h"
#include "html/model/table.h"
#include "platform/core/strings.h"

namespace {

void dumpCell(std::ostringstream& o, const TCellBasic& Cell, int Depth);

std::string pad(int Depth) { return std::string(std::size_t(Depth) * 2, ' '); }

// Placeholders and line breaks of a section's text made readable.
std::string lineText(const String& Chars, int First, int Count) {
  if (First < 0 || First >= int(Chars.size())) return std::string();
  String s = Chars.substr(std::size_t(First), std::size_t(std::max(Count, 0)));
  String r;
  for (char16_t c : s) {
    if (c == 2) r += u"[control]";
    else if (c == 4) r += u"[object]";
    else if (c == 8) r += u"[br]";
    else if (c < 32) r += u' ';
    else r.push_back(c);
  }
  return UTF16ToUTF8(r);
}

void dumpItem(std::ostringstream& o, TSectionBase* Item, int Depth) {
  const std::string p = pad(Depth);
  if (auto* s = dynamic_cast<TSection*>(Item)) {
    o << p << "section start=" << s->StartPos << " len=" << s->Length << " y=" << s->ContentY
      << " h=" << s->Height << " lines=" << s->Lines.size() << "\n";
    int first = 0;
    for (const auto& l : s->Lines) {
      o << p << "  line x=" << l.DrawX << " y=" << l.DrawY << " h=" << l.FullHeight
        << " chars=" << l.LineChars << " \"" << lineText(s->Chars, first, l.LineChars)
        << "\"\n";
      first += l.LineChars;
    }
    return;
  }
  if (auto* t = dynamic_cast<THtmlTable*>(Item)) {
    o << p << "table y=" << t->ContentY << " h=" << t->Height << " w=" << t->TableWidth
      << " rows=" << t->Rows.Count() << "\n";
    for (int r = 0; r < t->Rows.Count(); ++r) {
      TCellList* row = t->Rows.GetItem(r);
      o << p << "  row " << r << " h=" << row->RowHeight << "\n";
      for (int c = 0; c < row->Count(); ++c) {
        TCellObj* cell = row->GetItem(c);
        if (!cell) continue;
        o << p << "    cell " << c << " w=" << cell->Width << " h=" << cell->Height << "\n";
        dumpCell(o, *cell, Depth + 3);
      }
    }
    return;
  }
  if (auto* b = dynamic_cast<TBlock*>(Item)) {
    o << p << "block y=" << b->ContentY << " h=" << b->Height << " left=" << b->ContentLeft
      << " w=" << b->ContentWidth << "\n";
    if (b->MyCell) dumpCell(o, *b->MyCell, Depth + 1);
    return;
  }
  o << p << "item y=" << Item->ContentY << " h=" << Item->Height << " start=" << Item->StartPos
    << " len=" << Item->Length << "\n";
}

void dumpCell(std::ostringstream& o, const TCellBasic& Cell, int Depth) {
  for (int i = 0; i < Cell.Count(); ++i) dumpItem(o, Cell.Items(i), Depth);
}

}  // namespace

std::string DumpViewerLayout(THtmlView& View) {
  std::ostringstream o;
  o << "viewer " << View.Width() << "x" << View.Height() << " panel " << View.PaintPanel()->Width()
    << "x" << View.PaintPanel()->Height() << " doc_height=" << View.DocumentHeight()
    << " scroll_width=" << View.MaxHorzScrollWidth() << " vbar=" << (View.VScrollBar()->Visible() ? 1 : 0)
    << " hbar=" << (View.HScrollBar()->Visible() ? 1 : 0) << "\n";
  if (ThtDocument* doc = View.Document()) dumpCell(o, *doc, 0);
  return o.str();
}
