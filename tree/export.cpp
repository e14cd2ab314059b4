// The string tree's exports: tab- or separator-delimited text, an HTML
// table (also wrapped for the clipboard's "HTML Format"), and an RTF table.
// Every form reads cell texts through GetCellText, walks one source of
// nodes, honours the export mode and lets the owner veto or follow each
// node through the export events.
#include <clocale>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <langinfo.h>

#include "platform/core/strings.h"
#include "platform/graphics/canvas.h"
#include "platform/graphics/colors.h"
#include "platform/gui/clipboard.h"
#include "platform/gui/forms.h"
#include "tree/export_buffer.h"
#include "tree/globals.h"
#include "tree/string_tree.h"

namespace {

using TTree = TCustomDataStringTree;

// ---- the walk ------------------------------------------------------------------------

PDataNode firstOf(TTree& t, TExportSource s) {
  switch (s) {
    case tstInitialized: return t.GetFirstInitialized();
    case tstSelected: return t.GetFirstSelected();
    case tstCutCopySet: return t.GetFirstCutCopy();
    case tstVisible: return t.GetFirstVisible();
    default: return t.GetFirst();
  }
}

PDataNode nextOf(TTree& t, TExportSource s, PDataNode n) {
  switch (s) {
    case tstInitialized: return t.GetNextInitialized(n);
    case tstSelected: return t.GetNextSelected(n);
    case tstCutCopySet: return t.GetNextCutCopy(n);
    case tstVisible: return t.GetNextVisible(n);
    default: return t.GetNext(n);
  }
}

// Whether a node belongs to the source (the walk's next step from a node
// that does not is the source's next node after it).
bool inSource(TTree& t, TExportSource s, PDataNode n) {
  switch (s) {
    case tstInitialized: return n->States.Contains(vsInitialized);
    case tstSelected: return n->States.Contains(vsSelected);
    case tstCutCopySet: return n->States.Contains(vsCutOrCopy);
    case tstVisible: return t.FullyVisible(n);
    default: return true;
  }
}

}  // namespace

// The export events may delete the node they are told about, its parent or
// any other node. The walk holds its node in a following watch: when the
// node goes, the walk goes on with the first node of the source after it,
// and the rows after a deleted one are written all the same.
class TCustomDataStringTree::TExportWalk {
public:
  TExportWalk(TTree& Tree, TExportSource Source)
      : FTree(Tree), FSource(Source), FWatch(Tree, firstOf(Tree, Source), true) {}
  // The node of this step; nil at the end.
  PDataNode Node() const { return FWatch.Passed() ? nullptr : FWatch.Node(); }
  bool AtEnd() const { return !FWatch.Passed() && !FWatch.Node(); }
  void Next() {
    PDataNode next;
    if (!FWatch.Passed()) {
      next = nextOf(FTree, FSource, FWatch.Node());
    } else {
      next = FWatch.Node();
      if (next && !inSource(FTree, FSource, next)) next = nextOf(FTree, FSource, next);
    }
    FWatch.Reset(next);
  }

private:
  TTree& FTree;
  TExportSource FSource;
  TNodeWatch FWatch;
};

namespace {

bool modeAdmits(const TTree& t, PDataNode n) {
  switch (t.TreeOptions().ExportMode()) {
    case emChecked: return n->CheckState == csCheckedNormal;
    case emUnchecked: return n->CheckState == csUncheckedNormal;
    default: return true;
  }
}

// The owner's veto of a node, raised through the tree's raise like every
// other event (its handler may destroy the tree), its answer kept.
struct TNodeVeto {
  const TDTNodeExportEvent& Handler;
  bool& Allowed;
  explicit operator bool() const { return bool(Handler); }
  void operator()(TBaseDataTree* Sender, TDTExportType Type, PDataNode Node) const {
    Allowed = Handler(Sender, Type, Node);
  }
};

// A node goes out when the mode admits it and the owner does not veto it.
bool admitted(TTree& t, TDTExportType type, PDataNode n) {
  if (!modeAdmits(t, n)) return false;
  bool allowed = true;
  t.RaiseEvent(TNodeVeto{t.OnBeforeNodeExport, allowed}, &t, type, n);
  return allowed;
}

void afterNode(TTree& t, TDTExportType type, PDataNode n) { t.RaiseEvent(t.OnAfterNodeExport, &t, type, n); }

unsigned maxLevel(TTree& t, TExportSource s, bool modeOnly) {
  unsigned level = 0;
  for (PDataNode n = firstOf(t, s); n; n = nextOf(t, s, n)) {
    if (modeOnly && !modeAdmits(t, n)) continue;
    level = std::max(level, t.GetNodeLevel(n));
  }
  return level;
}

// The visible columns an export writes, taken at its start. Any handler on
// the way may delete columns: a column that went is read no more, and its
// cells are written empty, so that every row keeps the shape of the first.
class TExportColumns {
public:
  explicit TExportColumns(TTree& t) : FTree(t) {
    if (!t.Header().UseColumns()) return;
    FColumns = t.Header().Columns().GetVisibleColumns();
    const TColumnIndex main = t.Header().MainColumn();
    if (t.Header().Columns().IsValidColumn(main)) FMain = t.Header().Columns()[main];
  }
  bool empty() const { return FColumns.empty(); }
  std::size_t size() const { return FColumns.size(); }
  // The i-th column while it is one of the header's, else nil.
  TDataTreeColumn* live(std::size_t i) const {
    TDataTreeColumn* c = FColumns[i];
    return FTree.Header().Columns().Contains(c) ? c : nullptr;
  }
  // The i-th column once the owner heard that it goes out (its handler may
  // delete it, or any other); nil when it went.
  TDataTreeColumn* announce(std::size_t i, TDTExportType Type) const {
    if (TDataTreeColumn* c = live(i)) FTree.RaiseEvent(FTree.OnBeforeColumnExport, &FTree, Type, c);
    return live(i);
  }
  // Whether the i-th column held the tree lines when the export began.
  bool isMain(std::size_t i) const { return FColumns[i] == FMain; }

private:
  TTree& FTree;
  TColumnsArray FColumns;
  const TDataTreeColumn* FMain = nullptr;
};

// ---- text ---------------------------------------------------------------------------------

// A cell that holds the separator, a double quote or a line break is
// quoted, its double quotes doubled: a reader of the text splits it right.
template <class Out>
void addField(Out& out, const String& text, const String& separator) {
  bool quote = text.find(u'"') != String::npos || text.find(u'\r') != String::npos ||
               text.find(u'\n') != String::npos ||
               (!separator.empty() && text.find(separator) != String::npos);
  if (!quote) {
    out.Add(text);
    return;
  }
  String q;
  q.reserve(text.size() + 2);
  q += u'"';
  for (char16_t c : text) {
    if (c == u'"') q += u'"';
    q += c;
  }
  q += u'"';
  out.Add(q);
}

template <class Out>
void exportText(TTree& t, TExportSource source, const String& sep, Out& out) {
  const TExportColumns columns(t);
  const unsigned maxLvl = maxLevel(t, source, false);
  String indent;
  for (unsigned i = 0; i < maxLvl; ++i) indent += sep;
  if (!columns.empty()) {
    for (std::size_t i = 0; i < columns.size(); ++i) {
      const TDataTreeColumn* col = columns.live(i);
      addField(out, col ? col->Text() : String(), sep);
      if (i + 1 < columns.size()) {
        if (columns.isMain(i)) out.Add(indent);
        out.Add(sep);
      }
    }
    out.AddNewLine();
  }
  for (TTree::TExportWalk walk(t, source); !walk.AtEnd(); walk.Next()) {
    PDataNode n = walk.Node();
    if (!n || !admitted(t, etText, n) || !walk.Node()) continue;
    const unsigned level = t.GetNodeLevel(n);
    if (columns.empty()) {
      out.Add(indent.substr(0, level * sep.size()));
      addField(out, t.GetCellText(n, NoColumn), sep);
    } else {
      for (std::size_t i = 0; i < columns.size(); ++i) {
        const TDataTreeColumn* col = columns.live(i);
        const String text = col ? t.GetCellText(n, col->Index()) : String();
        if (columns.isMain(i)) {
          out.Add(indent.substr(0, level * sep.size()));
          addField(out, text, sep);
          out.Add(indent.substr(0, (maxLvl - level) * sep.size()));
        } else {
          addField(out, text, sep);
        }
        if (i + 1 < columns.size()) out.Add(sep);
      }
    }
    out.AddNewLine();
    afterNode(t, etText, n);
  }
}

// ---- HTML -------------------------------------------------------------------------------

std::string num(long long v) { return std::to_string(v); }

std::string htmlColor(TColor c) {
  COLORREF rgb = ColorToRGB(c);
  char buf[8];
  std::snprintf(buf, sizeof buf, "#%02X%02X%02X", unsigned(rgb & 0xFF), unsigned((rgb >> 8) & 0xFF),
                unsigned((rgb >> 16) & 0xFF));
  return buf;
}

// Text goes into the page as UTF-8 with the characters that would end an
// element or an attribute written as references.
std::string htmlEscaped(const std::string& u) {
  if (u.find_first_of("&<>\"") == std::string::npos) return u;
  std::string out;
  out.reserve(u.size() + 16);
  for (char c : u) {
    switch (c) {
      case '&': out += "&amp;"; break;
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      case '"': out += "&quot;"; break;
      default: out += c;
    }
  }
  return out;
}
std::string htmlText(const String& s) { return htmlEscaped(UTF16ToUTF8(s)); }

// A font name as a CSS string between single quotes, for the inline form:
// inside the double-quoted attribute the name's own quotes must neither
// end the attribute nor the string.
std::string inlineFontName(const String& name) {
  std::string css;
  for (char c : UTF16ToUTF8(name)) {
    if (c == '\'' || c == '\\') css += '\\';
    css += c;
  }
  return "'" + htmlEscaped(css) + "'";
}

// Name empty: the inline form for a cell whose font the owner changed.
std::string fontRule(const std::string& name, const TFont& f) {
  std::string r = name.empty() ? " style=\"{font:" : "." + name + "{font:";
  if (f.Style().Contains(fsUnderline)) r += " underline";
  if (f.Style().Contains(fsItalic)) r += " italic";
  if (f.Style().Contains(fsBold)) r += " bold";
  const std::string face = name.empty() ? inlineFontName(f.Name()) : "\"" + htmlText(f.Name()) + "\"";
  if (f.Size() >= 0)
    r += " " + num(f.Size()) + "pt " + face + ";";
  else
    r += " " + num(f.Height()) + "px " + face + ";";
  r += "color:" + htmlColor(f.Color()) + ";}";
  if (name.empty()) r += "\"";
  return r;
}

TAlignment effectiveAlignment(TAlignment a, bool rtl) {
  if (!rtl) return a;
  if (a == taLeftJustify) return taRightJustify;
  if (a == taRightJustify) return taLeftJustify;
  return a;
}

std::string htmlAlignment(TAlignment a, bool rtl) {
  std::string r = rtl ? " dir=\"rtl\"" : "";
  switch (effectiveAlignment(a, rtl)) {
    case taRightJustify: return r + " align=right";
    case taCenter: return r + " align=center";
    default: return r + " align=left";
  }
}

bool sameFontAndColor(const TFont& a, const TFont& b) {
  return a.Height() == b.Height() && a.Name() == b.Name() && a.Style() == b.Style() && a.Color() == b.Color();
}

// ---- RTF ------------------------------------------------------------------------------------

class TRtfWriter {
public:
  explicit TRtfWriter(TBufferedAnsiString& Body) : FBody(Body) {}

  void TextWithFont(const String& text, const TFont& f) {
    if (text.empty()) return;
    const TFontStyles st = f.Style();
    if (st.Contains(fsUnderline)) FBody.AddBytes("\\ul");
    if (st.Contains(fsItalic)) FBody.AddBytes("\\i");
    if (st.Contains(fsBold)) FBody.AddBytes("\\b");
    int font = indexOf(FFonts, f.Name());
    if (font != FCurrentFont) {
      FCurrentFont = font;
      FBody.AddBytes("\\f" + num(font));
    }
    COLORREF rgb = ColorToRGB(f.Color());
    int color = indexOf(FColors, rgb);
    if (color != FCurrentColor) {
      FCurrentColor = color;
      FBody.AddBytes("\\cf" + num(color + 1));
    }
    if (f.Size() != FCurrentSize) {
      FCurrentSize = f.Size();
      FBody.AddBytes("\\fs" + num(2 * f.Size()));
    }
    FBody.AddBytes(" ");
    FBody.AddBytes(escaped(text));
    if (st.Contains(fsUnderline)) FBody.AddBytes("\\ul0");
    if (st.Contains(fsItalic)) FBody.AddBytes("\\i0");
    if (st.Contains(fsBold)) FBody.AddBytes("\\b0");
  }

  // Every character is written as its UTF-16 code (signed), with "?" for
  // readers that know no Unicode; line feeds become paragraph marks.
  static std::string escaped(const String& text) {
    std::string out;
    out.reserve(text.size() * 10);
    const std::size_t n = text.size();
    for (std::size_t i = 0; i < n; ++i) {
      char16_t c = text[i];
      if (c == u'\n') {
        out += "{\\par}";
        continue;
      }
      if (c == u'\r') continue;
      // A surrogate pair stays two codes; a lone half becomes U+FFFD.
      const bool high = c >= 0xD800 && c <= 0xDBFF, low = c >= 0xDC00 && c <= 0xDFFF;
      if (high && i + 1 < n && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF) {
        out += "\\u" + num(std::int16_t(c)) + "\\'3f";
        c = text[++i];
      } else if (high || low) {
        c = 0xFFFD;
      }
      out += "\\u";
      out += num(std::int16_t(c));
      out += "\\'3f";
    }
    return out;
  }

  std::string Document(const RawByteString& body) const {
    std::string doc = "{\\rtf1\\ansi\\ansicpg1252\\deff0\\deflang1043{\\fonttbl";
    for (std::size_t i = 0; i < FFonts.size(); ++i) doc += "{\\f" + num(long(i)) + " " + fontName(FFonts[i]) + ";}";
    doc += "}{\\colortbl;";
    for (COLORREF c : FColors)
      doc += "\\red" + num(c & 0xFF) + "\\green" + num((c >> 8) & 0xFF) + "\\blue" + num((c >> 16) & 0xFF) + ";";
    doc += "}";
    doc += body;
    doc += "}";
    return doc;
  }

private:
  template <class T>
  static int indexOf(std::vector<T>& list, const T& v) {
    for (std::size_t i = 0; i < list.size(); ++i)
      if (list[i] == v) return int(i);
    list.push_back(v);
    return int(list.size() - 1);
  }
  // A font name is plain text in the table; characters that would start a
  // control word or a group are escaped.
  static std::string fontName(const String& name) {
    std::string out;
    for (char16_t c : name) {
      if (c == u'\\' || c == u'{' || c == u'}' || c == u';' || c >= 0x80 || c < 0x20) {
        out += "\\u" + num(std::int16_t(c)) + "\\'3f";
      } else {
        out += char(c);
      }
    }
    return out;
  }

  TBufferedAnsiString& FBody;
  std::vector<String> FFonts;
  std::vector<COLORREF> FColors;
  int FCurrentFont = -1;
  int FCurrentColor = -1;
  int FCurrentSize = -1;
};

std::string rtfAlignment(TAlignment a, bool rtl) {
  switch (effectiveAlignment(a, rtl)) {
    case taRightJustify: return "\\qr";
    case taCenter: return "\\qc";
    default: return "";
  }
}

// The separator of lists in the user's locale: where the decimal mark is a
// comma, the list separator is a semicolon.
char16_t localeListSeparator() {
  const char* radix = nl_langinfo(RADIXCHAR);
  return radix && radix[0] == ',' ? u';' : u',';
}

}  // namespace

RawByteString TCustomDataStringTree::ExportText(TExportSource Source, char16_t Separator) {
  return GuardedEntry(RawByteString{}, [&]() -> RawByteString {
    TBufferedAnsiString out;
    exportText(*this, Source, String(1, Separator), out);
    return out.AsString();
  });
}

String TCustomDataStringTree::ExportUnicodeText(TExportSource Source, const String& Separator) {
  return GuardedEntry(String{}, [&]() -> String {
    TWideBufferedString out;
    exportText(*this, Source, Separator, out);
    return out.AsString();
  });
}

RawByteString TCustomDataStringTree::ExportHTML(TExportSource Source, const String& Caption) {
  // The export handlers may destroy the tree: their raise unwinds to this
  // entry, and nothing is exported then.
  return GuardedEntry(RawByteString{}, [&]() -> RawByteString {
    TBufferedAnsiString out;
    const std::string cellPadding =
        "padding-left:" + num(Margin()) + "px;padding-right:" + num(Margin()) + "px;";
    std::string tableAttributes = " ";
    if (!Caption.empty()) tableAttributes += "caption=\"" + htmlText(Caption) + "\"";
    if (BorderStyle() != bsNone) tableAttributes += " border=\"" + num(BorderWidth() + 1) + "\" frame=box";

    out.AddBytes("<META http-equiv=\"Content-Type\" content=\"text/html; charset=utf-8\">");
    out.AddBytes("<style type=\"text/css\">");
    out.AddNewLine();
    out.AddBytes(fontRule("default", *Font()));
    out.AddNewLine();
    out.AddBytes(fontRule("header", *Header().Font()));
    out.AddNewLine();
    const TDTPaintOptions po = TreeOptions().PaintOptions();
    const std::string lineStyle = LineStyle() == lsSolid ? "solid;" : "dotted;";
    if (po.Contains(toShowHorzGridLines))
      out.AddBytes(".noborder{border-style:" + lineStyle +
                   " border-bottom:1;border-left:0;border-right:0; border-top:0;}");
    else
      out.AddBytes(".noborder{border-style:none;}");
    out.AddNewLine();
    out.AddBytes(".normalborder {border-top:none; border-left:none; vertical-align:top;");
    out.AddBytes(po.Contains(toShowVertGridLines) ? "border-right:1 " + lineStyle : std::string("border-right:none;"));
    out.AddBytes(po.Contains(toShowHorzGridLines) ? "border-bottom:1 " + lineStyle
                                                   : std::string("border-bottom:none;"));
    out.AddBytes("}</style>");
    out.AddNewLine();
    out.AddBytes("<table class=\"default\" bgcolor=" + htmlColor(Color()) + tableAttributes +
                 " cellspacing=\"0\" cellpadding=" + num(Margin()) + ">");
    out.AddNewLine();

    const unsigned maxLvl = maxLevel(*this, Source, true);
    const TExportColumns columns(*this);
    if (!columns.empty()) {
      RaiseEvent(OnBeforeHeaderExport, this, etHTML);
      out.AddBytes("<tr class=\"header\" style=\"" + cellPadding + "\">");
      out.AddNewLine();
      const std::string buttonFace = htmlColor(clBtnFace);
      for (std::size_t i = 0; i < columns.size(); ++i) {
        TDataTreeColumn* col = columns.announce(i, etHTML);
        if (!col) {
          out.AddBytes("<th></th>");
          continue;
        }
        std::string th = "<th height=\"" + num(Header().Height()) + "px\"" +
                         htmlAlignment(col->Alignment(), col->UseRightToLeftReading());
        if (maxLvl > 0 && columns.isMain(i)) th += " colspan=\"" + num(maxLvl + 1) + "\"";
        th += " bgcolor=" + buttonFace + " width=\"" + num(col->Width()) + "px\">";
        out.AddBytes(th);
        out.AddBytes(htmlText(col->Text()));
        out.AddBytes("</th>");
        RaiseEvent(OnAfterColumnExport, this, etHTML, col);
      }
      out.AddBytes("</tr>");
      out.AddNewLine();
      RaiseEvent(OnAfterHeaderExport, this, etHTML);
    }

    TCanvas& canvas = *Canvas();
    // Without columns the one cell of a row is the tree's own.
    const std::size_t cells = columns.empty() ? 1 : columns.size();
    for (TExportWalk walk(*this, Source); !walk.AtEnd(); walk.Next()) {
      PDataNode n = walk.Node();
      if (!n || !admitted(*this, etHTML, n) || !walk.Node()) continue;
      const unsigned level = GetNodeLevel(n);
      const std::string height = num(NodeHeight(n));
      out.AddBytes(" <tr class=\"default\">");
      out.AddNewLine();
      for (std::size_t i = 0; i < cells; ++i) {
        TDataTreeColumn* col = columns.empty() ? nullptr : columns.live(i);
        if (!columns.empty() && !col) {
          out.AddBytes(" <td></td>");
          continue;
        }
        canvas.Font()->Assign(*Font());
        TFont before;
        before.Assign(*canvas.Font());
        DoPaintText(n, &canvas, col ? col->Index() : NoColumn, ttNormal);
        // The paint's handler may have deleted the column.
        if (col && !columns.live(i)) {
          out.AddBytes(" <td></td>");
          continue;
        }
        const TColumnIndex c = col ? col->Index() : NoColumn;
        const bool fontChanged = !sameFontAndColor(before, *canvas.Font());
        const bool isMain = !col || columns.isMain(i);
        const bool parentColor = !col || col->Options().Contains(coParentColor);
        if (isMain) {
          for (unsigned k = 0; k < level; ++k) {
            if (parentColor)
              out.AddBytes(k == 0 ? " <td height=\"" + height + "px\">&nbsp;</td>" : std::string(" <td>&nbsp;</td>"));
            else
              out.AddBytes("<td class=\"noborder\" width=\"" + num(Indent()) + "\" height=\"" + height + "px\"" +
                           " bgcolor=" + htmlColor(col->Color()) + ">&nbsp;</td>");
          }
        }
        std::string td = fontChanged ? " <td class=\"normalborder\" " + fontRule("", *canvas.Font()) + " height=\""
                                     : std::string(" <td class=\"normalborder\"  height=\"");
        td += height + "px\"";
        td += col ? htmlAlignment(col->Alignment(), col->UseRightToLeftReading())
                  : htmlAlignment(Alignment(), UseRightToLeftReading());
        if (isMain && maxLvl > 0 && level < maxLvl) td += " colspan=\"" + num(maxLvl - level + 1) + "\"";
        if (!parentColor) td += " bgcolor=" + htmlColor(col->Color());
        td += ">";
        out.AddBytes(td);
        out.AddBytes(htmlText(GetCellText(n, c)));
        out.AddBytes("</td>");
      }
      afterNode(*this, etHTML, n);
      out.AddBytes(" </tr>");
      out.AddNewLine();
    }
    out.AddBytes("</table>");
    return out.AsString();
  });
}

RawByteString TCustomDataStringTree::ExportRTF(TExportSource Source) {
  // The export handlers may destroy the tree: their raise unwinds to this
  // entry, and nothing is exported then.
  return GuardedEntry(RawByteString{}, [&]() -> RawByteString {
    TBufferedAnsiString body;
    TRtfWriter rtf(body);
    body.AddBytes("\\uc1\\trowd\\trgaph70");
    const TExportColumns columns(*this);
    const int ppi = Screen ? Screen->PixelsPerInch() : 96;
    auto cellx = [&](int total) {
      body.AddBytes("\\cellx" + num(std::lround(double(total) * 1440.0 / double(ppi > 0 ? ppi : 96))));
    };
    if (columns.empty()) {
      cellx(ClientWidth());
    } else {
      int total = 0;
      for (std::size_t i = 0; i < columns.size(); ++i) {
        const TDataTreeColumn* col = columns.live(i);
        cellx(total += col ? col->Width() : 0);
      }
    }
    if (!columns.empty()) {
      RaiseEvent(OnBeforeHeaderExport, this, etRTF);
      body.AddBytes("\\pard\\intbl");
      for (std::size_t i = 0; i < columns.size(); ++i) {
        TDataTreeColumn* col = columns.announce(i, etRTF);
        if (!col) {
          body.AddBytes("\\cell");
          continue;
        }
        body.AddBytes(rtfAlignment(col->Alignment(), col->UseRightToLeftReading()));
        rtf.TextWithFont(col->Text(), *Header().Font());
        body.AddBytes("\\cell");
        RaiseEvent(OnAfterColumnExport, this, etRTF, col);
      }
      body.AddBytes("\\row");
      RaiseEvent(OnAfterHeaderExport, this, etRTF);
    }
    TCanvas& canvas = *Canvas();
    // Without columns the one cell of a row is the tree's own.
    const std::size_t cells = columns.empty() ? 1 : columns.size();
    int lastLevel = -1;
    std::string tabs;
    for (TExportWalk walk(*this, Source); !walk.AtEnd(); walk.Next()) {
      PDataNode n = walk.Node();
      if (!n || !admitted(*this, etRTF, n) || !walk.Node()) continue;
      for (std::size_t i = 0; i < cells; ++i) {
        TDataTreeColumn* col = columns.empty() ? nullptr : columns.live(i);
        if (!columns.empty() && !col) {
          body.AddBytes("\\pard\\intbl\\cell");
          continue;
        }
        const String text = GetCellText(n, col ? col->Index() : NoColumn);
        // The text's handler may have deleted the column.
        if (col && !columns.live(i)) {
          body.AddBytes("\\pard\\intbl\\cell");
          continue;
        }
        body.AddBytes("\\pard\\intbl");
        body.AddBytes(col ? rtfAlignment(col->Alignment(), col->UseRightToLeftReading())
                          : rtfAlignment(Alignment(), UseRightToLeftReading()));
        canvas.Font()->Assign(*Font());
        // The column is not read after the paint event, whose handler may
        // delete it.
        const bool isMain = !col || columns.isMain(i);
        DoPaintText(n, &canvas, col ? col->Index() : NoColumn, ttNormal);
        if (isMain) {
          const int level = int(GetNodeLevel(n));
          if (level != lastLevel) {
            lastLevel = level;
            tabs.clear();
            for (int k = 0; k < level; ++k) tabs += "\\tab";
          }
          if (level >= 1) body.AddBytes(tabs + " ");
        }
        rtf.TextWithFont(text, *canvas.Font());
        body.AddBytes("\\cell");
      }
      body.AddBytes("\\row");
      afterNode(*this, etRTF, n);
    }
    body.AddBytes("\\pard\\par");
    return rtf.Document(body.AsString());
  });
}

namespace {

const std::string& htmlEnvelopePrefix() {
  static const std::string prefix =
      "<!DOCTYPE HTML PUBLIC \"-//W3C//DTD HTML 4.0 Transitional//EN\">"
      "<html><head><META http-equiv=Content-Type content=\"text/html; charset=utf-8\"></head><body>"
      "<!--StartFragment-->";
  return prefix;
}
const char* const htmlEnvelopeSuffix = "<!--EndFragment--></body></html>";

// The clipboard's "HTML Format": a description of byte offsets, then the
// fragment inside a minimal page.
RawByteString htmlEnvelope(const RawByteString& fragment) {
  std::string out = HtmlFormatDescription(fragment.size());
  out.reserve(out.size() + htmlEnvelopePrefix().size() + fragment.size() + 32);
  out += htmlEnvelopePrefix();
  out += fragment;
  out += htmlEnvelopeSuffix;
  return out;
}

}  // namespace

std::string HtmlFormatDescription(std::size_t FragmentLength) {
  const std::size_t suffixLength = std::strlen(htmlEnvelopeSuffix);
  // Readers take the offsets as they stand: eight digits while they suffice
  // (the length every reader knows), more when the page is bigger, and all
  // four of the same width so that the description's own length is known.
  int digits = 8;
  std::size_t descriptionLength = 0, endHtml = 0;
  for (;;) {
    descriptionLength = 13 + 4 * 2 + 10 + 8 + 14 + 12 + 4 * std::size_t(digits);
    endHtml = descriptionLength + htmlEnvelopePrefix().size() + FragmentLength + suffixLength;
    if (std::to_string(endHtml).size() <= std::size_t(digits)) break;
    ++digits;
  }
  const std::size_t start = descriptionLength + htmlEnvelopePrefix().size();
  auto line = [digits](const char* name, std::size_t v) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "%s%.*zu\r\n", name, digits, v);
    return std::string(buf);
  };
  std::string out = "Version:1.0\r\n";
  out += line("StartHTML:", descriptionLength);
  out += line("EndHTML:", endHtml);
  out += line("StartFragment:", start);
  out += line("EndFragment:", start + FragmentLength);
  return out;
}

RawByteString TCustomDataStringTree::RenderClipboardFormat(UINT Format, TExportSource Source) {
  return GuardedEntry(RawByteString{}, [&]() -> RawByteString {
    const TTreeGlobals& g = TreeGlobals();
    RawByteString data;
    if (Format == CF_TEXT) {
      data = ExportText(Source, u'\t');
    } else if (Format == CF_UNICODETEXT) {
      String text = ExportUnicodeText(Source, u"\t");
      if (text.empty()) return {};
      data.reserve(text.size() * 2 + 2);
      for (char16_t c : text) {
        data += char(c & 0xFF);
        data += char(c >> 8);
      }
      data += '\0';
      data += '\0';
      return data;
    } else if (Format != 0 && Format == g.CF_CSV) {
      data = ExportText(Source, localeListSeparator());
    } else if (Format != 0 && (Format == g.CF_RTF || Format == g.CF_RTFNOOBJS)) {
      data = ExportRTF(Source);
    } else if (Format != 0 && Format == g.CF_HTML) {
      data = htmlEnvelope(ExportHTML(Source));
    } else {
      return {};
    }
    if (data.empty()) return {};
    data += '\0';
    return data;
  });
}

RawByteString TCustomDataStringTree::RenderExportFormat(UINT Format, bool ForClipboard) {
  return GuardedEntry(RawByteString{}, [&]() -> RawByteString {
    return RenderClipboardFormat(Format, ForClipboard ? tstCutCopySet : tstSelected);
  });
}
