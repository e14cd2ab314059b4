// The text dump of a document, one line per item, indented by depth.
#include "html/model/document_dump.h"

#include <cstdio>

#include "html/parse/html_common.h"
#include "html/model/block.h"
#include "html/model/document.h"
#include "html/forms/form_kinds.h"
#include "html/model/image_map.h"
#include "html/images/image_object.h"
#include "html/model/rule_page.h"
#include "html/model/section.h"
#include "html/model/table.h"
#include "platform/core/strings.h"

namespace {

std::string u8(const String& s) { return UTF16ToUTF8(s); }

std::string quoted(const String& s) {
  std::string out = "\"";
  for (char16_t c : s) {
    switch (c) {
      case BrkCh: out += "\\n"; break;
      case u'\r': out += "\\r"; break;
      case u'\n': out += "\\l"; break;
      case ImgPan: out += "\\o"; break;
      case FmCtl: out += "\\c"; break;
      case 0xA0: out += "\\s"; break;
      case u'"': out += "\\\""; break;
      case u'\\': out += "\\\\"; break;
      default: out += u8(String(1, c)); break;
    }
  }
  return out + "\"";
}

std::string color(TColor c) {
  if (c == clNone) return "none";
  char buf[16];
  // Colours are stored blue-green-red; the dump writes them as pages do.
  const unsigned v = unsigned(c);
  std::snprintf(buf, sizeof buf, "#%02X%02X%02X", v & 0xFF, (v >> 8) & 0xFF, (v >> 16) & 0xFF);
  return buf;
}

const char* clearName(TClearType c) {
  switch (c) {
    case clrLeft: return "left";
    case clrRight: return "right";
    case clrAll: return "both";
    default: return "none";
  }
}

const char* listStyleName(TListStyleType t) {
  static const char* const names[] = {"blank", "circle", "decimal", "disc", "lower-alpha",
                                      "lower-roman", "none", "square", "upper-alpha", "upper-roman"};
  return t <= lbUpperRoman ? names[t] : "?";
}

const char* widthKind(TWidthType t) {
  switch (t) {
    case wtAbsolute: return "px";
    case wtPercent: return "permille";
    case wtRelative: return "*";
    default: return "none";
  }
}

std::string spec(const TWidthSpec& w) {
  if (w.VType == wtNone) return "none";
  return std::to_string(w.Value) + widthKind(w.VType);
}

class Dumper {
public:
  explicit Dumper(ThtDocument& D) : Doc(D) {}

  void line(int depth, const std::string& text) {
    Out.append(size_t(depth) * 2, ' ');
    Out += text;
    Out += '\n';
  }

  std::string fontText(const TFontObj& run) {
    const TMyFont& f = *run.TheFont;
    std::string s = "@" + std::to_string(run.Pos) + " " + u8(f.Name()) + " " + std::to_string(-f.Height()) + "px";
    const TFontStyles st = f.Style();
    if (st.Contains(fsBold)) s += " bold";
    if (st.Contains(fsItalic)) s += " italic";
    if (st.Contains(fsUnderline)) s += " underline";
    if (st.Contains(fsStrikeOut)) s += " strike";
    s += " " + color(f.Color());
    if (f.bgColor != clNone) s += " bg=" + color(f.bgColor);
    if (run.SScript == ASub) s += " sub";
    if (run.SScript == ASuper) s += " super";
    if (!run.UrlTarget()->URL.empty()) {
      s += " link=" + u8(run.UrlTarget()->URL) + " id=" + std::to_string(run.UrlTarget()->ID - FirstLinkID);
      if (!run.UrlTarget()->Target.empty()) s += " target=" + u8(run.UrlTarget()->Target);
    }
    if (run.TabControl()) s += " tabstop";
    return s;
  }

  // A form control: its kind, name, current value and size.
  std::string controlText(TFormControlObj& c) {
    std::string kind, value = u8(c.Value);
    if (dynamic_cast<THiddenFormControlObj*>(&c)) {
      kind = "hidden";
    } else if (auto* e = dynamic_cast<TEditFormControlObj*>(&c)) {
      kind = e->Edit()->PasswordChar() ? "password" : "edit";
      value = u8(e->Edit()->Text());
    } else if (auto* b = dynamic_cast<TButtonFormControlObj*>(&c)) {
      static const char* const kinds[] = {"submit", "reset", "button", "browse"};
      kind = kinds[b->Which];
      value = u8(b->TheControl()->Caption());
    } else if (auto* cb = dynamic_cast<TCheckBoxFormControlObj*>(&c)) {
      kind = cb->CheckBox()->Checked() ? "checkbox checked" : "checkbox";
    } else if (auto* r = dynamic_cast<TRadioButtonFormControlObj*>(&c)) {
      kind = r->Checked() ? "radio checked" : "radio";
    } else if (dynamic_cast<TImageFormControlObj*>(&c)) {
      kind = "image";
    } else if (auto* lb = dynamic_cast<TListBoxFormControlObj*>(&c)) {
      kind = lb->ListBox()->MultiSelect() ? "listbox multiple" : "listbox";
      value.clear();
      for (int i = 0; i < lb->TheOptions.Count(); ++i)
        value += (i ? "|" : "") + std::string(lb->ListBox()->MultiSelect() ? (lb->ListBox()->Selected(i) ? "*" : "")
                                                                          : (lb->ListBox()->ItemIndex() == i ? "*" : "")) +
                 u8(lb->TheOptions.ValueOf(i));
    } else if (auto* cm = dynamic_cast<TComboFormControlObj*>(&c)) {
      kind = "combo";
      value.clear();
      for (int i = 0; i < cm->TheOptions.Count(); ++i)
        value += (i ? "|" : "") + std::string(cm->ComboBox()->ItemIndex() == i ? "*" : "") + u8(cm->TheOptions.ValueOf(i));
    } else if (auto* t = dynamic_cast<TTextAreaFormControlObj*>(&c)) {
      kind = "textarea rows=" + std::to_string(t->Rows) + " cols=" + std::to_string(t->Cols);
      value = u8(t->Memo()->Text());
    } else {
      kind = "control";
    }
    std::string s = kind + " name=" + u8(c.FName) + " value=" + quoted(UTF8ToUTF16(value));
    if (!c.Hidden() && !dynamic_cast<TImageFormControlObj*>(&c)) s += " size=" + std::to_string(c.Width()) + "x" + std::to_string(c.Height()) + " @" + std::to_string(c.Pos);
    if (c.Disabled) s += " disabled";
    if (c.ReadOnly) s += " readonly";
    return s;
  }

  void section(int depth, TSection& sec) {
    std::string head = sec.IsPreformatted() ? "pre " : "section ";
    static const char* const aligns[] = {"?", "left", "center", "right", "justify"};
    head += std::string("align=") + (sec.Alignment <= 4 ? aligns[sec.Alignment] : "?");
    if (sec.ClearKind != clrNone) head += std::string(" clear=") + clearName(sec.ClearKind);
    if (sec.TextIndent()) head += " indent=" + std::to_string(sec.TextIndent());
    if (sec.TextIndentPercent()) head += " indent=" + std::to_string(sec.TextIndentPercent()) + "%";
    if (sec.LineHeight >= 0) head += " line-height=" + std::to_string(sec.LineHeight);
    if (sec.AnchorName) head += " anchor";
    line(depth, head + " " + quoted(sec.Chars));
    std::string flags;
    for (size_t i = 0; i < sec.Chars.size(); ++i)
      if (sec.BreakFlags()[i] != 'y') flags += std::to_string(i) + sec.BreakFlags()[i] + " ";
    if (!flags.empty()) line(depth + 1, "breaks " + flags.substr(0, flags.size() - 1));
    for (const auto& run : sec.FontRuns) line(depth + 1, "run " + fontText(*run));
    for (const auto& obj : sec.Objects()) {
      std::string s;
      if (auto* img = dynamic_cast<TImageObj*>(obj.get())) s = "image src=" + u8(img->Source);
      else if (auto* panel = dynamic_cast<TPanelObj*>(obj.get())) s = "panel name=" + u8(panel->Name);
      else s = "object";
      s += " @" + std::to_string(obj->Pos);
      if (obj->Floating == ALeft) s += " float=left";
      if (obj->Floating == ARight) s += " float=right";
      if (obj->SpecWidth > 0) s += " width=" + std::to_string(obj->SpecWidth) + (obj->PercentWidth ? "%" : "");
      if (obj->SpecHeight > 0) s += " height=" + std::to_string(obj->SpecHeight) + (obj->PercentHeight ? "%" : "");
      if (!obj->Alt.empty()) s += " alt=" + quoted(obj->Alt);
      if (obj->HSpaceL || obj->HSpaceR) s += " hspace=" + std::to_string(obj->HSpaceL) + "/" + std::to_string(obj->HSpaceR);
      line(depth + 1, s);
    }
  }

  std::string blockHead(TBlock& b) {
    std::string s = b.TagClass.empty() ? "block" : "block " + u8(b.TagClass);
    if (b.Float == ALeft) s += " float=left";
    if (b.Float == ARight) s += " float=right";
    if (b.Clear != clrNone) s += std::string(" clear=") + clearName(b.Clear);
    if (b.Positioning != posStatic) s += " position=" + std::to_string(int(b.Positioning));
    if (b.Display == pdNone) s += " display=none";
    if (b.Justify == 2) s += " justify=center";
    if (b.Justify == 3) s += " justify=right";
    s += " margin=" + std::to_string(b.Box[MA(piMarginTop)]) + "/" + std::to_string(b.Box[MA(piMarginBottom)]);
    if (b.BottomIsParaSpace) s += " para-space";
    if (b.IsListBlock) s += " list";
    if (b.HasBorderStyle) s += " border";
    return s;
  }

  void table(int depth, THtmlTable& t) {
    line(depth, "table border=" + std::to_string(t.BorderWidth) + " padding=" + std::to_string(t.CellPadding) +
                    " spacing=" + std::to_string(t.CellSpacing) + " rows=" + std::to_string(t.Rows.Count()) +
                    (t.BorderColor != clNone ? " bordercolor=" + color(t.BorderColor) : ""));
    if (t.ColSpecs)
      for (const auto& c : *t.ColSpecs)
        line(depth + 1, "col width=" + spec(c->ColWidth) + " align=" + (c->ColAlign.empty() ? "-" : u8(c->ColAlign)) +
                            " valign=" + std::to_string(int(c->ColVAlign)));
    static const char* const types[] = {"head", "body", "foot"};
    for (const auto& row : t.Rows) {
      std::string r = std::string("row ") + (row->RowType <= 2 ? types[row->RowType] : "?");
      if (row->SpecRowHeight.VType != wtNone) r += " height=" + spec(row->SpecRowHeight);
      if (row->BkGnd) r += " bg=" + color(row->BkColor);
      line(depth + 1, r);
      for (const auto& cell : *row) {
        if (!cell) {
          line(depth + 2, "covered");
          continue;
        }
        std::string c = "cell colspan=" + std::to_string(cell->ColSpan) + " rowspan=" + std::to_string(cell->RowSpan) +
                        " valign=" + std::to_string(int(cell->VAlign()));
        if (cell->Wd().VType != wtNone) c += " width=" + spec(cell->Wd());
        if (cell->Ht().VType != wtNone) c += " height=" + spec(cell->Ht());
        if (cell->BkGnd()) c += " bg=" + color(cell->BkColor());
        if (cell->HasBorderStyle()) c += " border";
        line(depth + 2, c);
        cellItems(depth + 3, *cell);
      }
    }
  }

  void item(int depth, TSectionBase& it) {
    if (auto* sec = dynamic_cast<TSection*>(&it)) return section(depth, *sec);
    if (auto* t = dynamic_cast<THtmlTable*>(&it)) return table(depth, *t);
    if (auto* rule = dynamic_cast<THorzLine*>(&it)) {
      line(depth, "rule height=" + std::to_string(rule->RuleHeight) + " align=" + std::to_string(rule->RuleAlign) +
                      " color=" + color(rule->RuleColor) + (rule->NoShade ? " noshade" : ""));
      return;
    }
    if (dynamic_cast<TPage*>(&it)) return line(depth, "page");
    auto* b = dynamic_cast<TBlock*>(&it);
    if (!b) return line(depth, "item");
    std::string head;
    if (auto* li = dynamic_cast<TBlockLI*>(b)) {
      head = "li type=" + std::to_string(int(li->ListType)) + " number=" + std::to_string(li->ListNumber) +
             " style=" + listStyleName(li->ListStyle);
      const String text = li->NumberText();
      if (!text.empty()) head += " text=" + u8(text);
      head += " " + blockHead(*b).substr(6);
    } else if (dynamic_cast<TBodyBlock*>(b)) {
      head = "body " + blockHead(*b).substr(6);
    } else if (auto* tb = dynamic_cast<TTableBlock*>(b)) {
      head = "table-block " + blockHead(*b).substr(6);
      if (tb->WidthAttr) head += " width=" + std::to_string(tb->WidthAttr) + (tb->WidthIsPercent ? "permille" : "px");
      if (tb->HasCaption) head += " captioned";
    } else if (auto* tc = dynamic_cast<TTableAndCaptionBlock*>(b)) {
      head = std::string("table-and-caption caption=") + (tc->TopCaption ? "top" : "bottom") + " " + blockHead(*b).substr(6);
    } else if (auto* hr = dynamic_cast<THRBlock*>(b)) {
      head = "hr-block align=" + std::to_string(hr->Align);
    } else if (auto* fs = dynamic_cast<TFieldsetBlock*>(b)) {
      head = "fieldset " + blockHead(*b).substr(6);
      line(depth, head);
      if (fs->Legend->Count() > 0) {
        line(depth + 1, "legend");
        cellItems(depth + 2, *fs->Legend);
      }
      cellItems(depth + 1, *b->MyCell);
      return;
    } else {
      head = blockHead(*b);
    }
    line(depth, head);
    cellItems(depth + 1, *b->MyCell);
  }

  void cellItems(int depth, TCellBasic& cell) {
    for (const auto& it : cell) item(depth, *it);
  }

  std::string run() {
    FirstLinkID = Doc.Links.empty() ? 0 : Doc.Links.front()->UrlTarget()->ID;
    line(0, "document");
    cellItems(1, Doc);
    if (!Doc.Links.empty()) line(0, "links " + std::to_string(Doc.Links.size()));
    if (Doc.IdList && Doc.IdList->Count() > 0) {
      std::string ids = "ids";
      for (int i = 0; i < Doc.IdList->Count(); ++i) ids += " " + u8(Doc.IdList->Strings(i));
      line(0, ids);
    }
    if (!Doc.TabStops.empty()) {
      std::string tabs = "tabstops";
      for (const TTabStop& t : Doc.TabStops) tabs += " " + std::to_string(t.TabIndex);
      line(0, tabs);
    }
    for (const auto& map : Doc.Maps) line(0, "map " + u8(map->MapName) + " areas=" + std::to_string(map->Areas.size()));
    if (!Doc.Forms.empty()) line(0, "forms " + std::to_string(Doc.Forms.size()));
    for (const auto& form : Doc.Forms) {
      line(0, "form method=" + u8(form->Method) + (form->Action.empty() ? "" : " action=" + u8(form->Action)) +
                  (form->Target.empty() ? "" : " target=" + u8(form->Target)) +
                  (form->EncType.empty() ? "" : " enctype=" + u8(form->EncType)));
      for (const auto& ctl : form->ControlList) line(1, controlText(*ctl));
    }
    if (!Doc.Panels.empty()) line(0, "panels " + std::to_string(Doc.Panels.size()));
    if (Doc.BackgroundColor != clNone) line(0, "background " + color(Doc.BackgroundColor));
    if (!Doc.BackgroundName.empty()) line(0, "background-image " + u8(Doc.BackgroundName));
    return Out;
  }

  ThtDocument& Doc;
  std::string Out;
  int32_t FirstLinkID = 0;
};

}  // namespace

std::string DumpDocument(ThtDocument& Document) { return Dumper(Document).run(); }
