// The layout dump, one line per item or line, indented by depth.
#include "html/layout/layout_dump.h"

#include "html/model/block.h"
#include "html/model/document.h"
#include "html/forms/form_controls.h"
#include "html/images/image_object.h"
#include "html/model/rule_page.h"
#include "html/model/section.h"
#include "html/model/table.h"
#include "platform/core/strings.h"

namespace {

std::string num(int v) { return std::to_string(v); }

std::string lineText(const TSection& s, int first, const LineRec& l) {
  std::string out = "\"";
  for (int i = first; i < first + l.LineChars && i < int(s.Chars.size()); ++i) {
    const char16_t c = s.Chars[size_t(i)];
    switch (c) {
      case BrkCh: out += "\\n"; break;
      case ImgPan: out += "\\o"; break;
      case FmCtl: out += "\\c"; break;
      case 0xA0: out += "\\s"; break;
      case u'"': out += "\\\""; break;
      default: out += UTF16ToUTF8(String(1, c)); break;
    }
  }
  return out + "\"";
}

class LayoutDumper {
public:
  std::string Out;

  void line(int depth, const std::string& text) {
    Out.append(size_t(depth) * 2, ' ');
    Out += text;
    Out += '\n';
  }

  void cell(const TCellBasic& c, int depth) {
    for (const auto& item : c) this->item(*item, depth);
  }

  void item(TSectionBase& it, int depth) {
    const std::string common = " y=" + num(it.LayoutTop) + " h=" + num(it.Height);
    if (auto* s = dynamic_cast<TSection*>(&it)) {
      line(depth, std::string(s->IsPreformatted() ? "pre" : "section") + common + " widest=" + num(s->WidestLine));
      int next = 0;
      for (const auto& l : s->Lines) {
        const int first = next;
        next += l.LineChars;
        if (l.LineChars == 0) {
          line(depth + 1, "move-down h=" + num(l.TextHeight));
          continue;
        }
        std::string t = "line x=" + num(l.DrawX) + " y=" + num(l.DrawY) + " h=" + num(l.TextHeight);
        if (l.SpaceAbove || l.SpaceBelow) t += " above=" + num(l.SpaceAbove) + " below=" + num(l.SpaceBelow);
        const TLineStretch stretch = s->StretchOf(l);
        if (stretch.BlankCount) t += " extra=" + num(stretch.ExtraWidth) + "/" + num(stretch.BlankCount);
        if (l.EndsWithHyphen) t += " hyphen";
        line(depth + 1, t + " " + lineText(*s, first, l));
      }
      // Form controls: the line they sit on and their size.
      for (TFormControlObj* c : s->Controls())
        line(depth + 1, "control @" + num(c->Pos) + " y=" + num(c->YValue) + " w=" + num(c->Width()) +
                            " h=" + num(c->Height()));
      for (const auto& o : s->Objects()) {
        const bool fl = o->Floating == ALeft || o->Floating == ARight;
        line(depth + 1, std::string(fl ? (o->Floating == ALeft ? "float-left" : "float-right") : "object") +
                            (fl ? " x=" + num(o->Indent) : std::string()) + " y=" + num(o->YPosition) +
                            " w=" + num(o->ObjWidth) + " h=" + num(o->ObjHeight));
      }
      return;
    }
    if (auto* t = dynamic_cast<THtmlTable*>(&it)) {
      std::string cols, rows;
      for (int32_t w : t->Widths) cols += (cols.empty() ? "" : ",") + num(w);
      for (int32_t h : t->Heights) rows += (rows.empty() ? "" : ",") + num(h);
      line(depth, "table" + common + " width=" + num(t->TableWidth) + " cols=[" + cols + "] rows=[" + rows + "]");
      for (int r = 0; r < t->Rows.Count(); ++r)
        for (const auto& c : *t->Rows[r]) {
          if (!c || c->ColSpan == 0 || c->RowSpan == 0) continue;
          line(depth + 1, "cell row=" + num(r) + " w=" + num(c->Width) + " h=" + num(c->Height) + " content=" +
                              num(c->VSize));
          cell(*c, depth + 2);
        }
      return;
    }
    if (auto* h = dynamic_cast<THorzLine*>(&it)) {
      line(depth, "rule" + common + " x=" + num(h->RuleLeft) + " w=" + num(h->RuleWidth));
      return;
    }
    if (auto* b = dynamic_cast<TBlock*>(&it)) {
      std::string kind = "block";
      if (dynamic_cast<TBodyBlock*>(b)) kind = "body";
      else if (dynamic_cast<TTableBlock*>(b)) kind = "tableblock";
      else if (dynamic_cast<TBlockLI*>(b)) kind = "li";
      std::string t = kind + " " + UTF16ToUTF8(b->MyCell->OwnerTag) + common + " content=" + num(b->ContentLeft) + "," +
                      num(b->ContentY) + " w=" + num(b->ContentWidth);
      if (b->Float != ANone) t += b->Float == ALeft ? " float=left" : " float=right";
      if (auto* li = dynamic_cast<TBlockLI*>(b)) {
        const String marker = li->NumberText();
        t += " marker=" + (marker.empty() ? std::string("bullet") : UTF16ToUTF8(marker)) + " baseline=" + num(li->FirstLineY);
      }
      line(depth, t);
      cell(*b->MyCell, depth + 1);
      return;
    }
    line(depth, "item" + common);
  }
};

}  // namespace

std::string DumpLayout(ThtDocument& Document) {
  LayoutDumper d;
  d.line(0, "document h=" + num(Document.TotalHeight));
  d.cell(Document, 1);
  return d.Out;
}
