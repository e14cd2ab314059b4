// Building text sections: characters with their source positions, font
// runs, links, objects and form controls, and the tidying of the text once
// the section is complete.
#include "html/model/section.h"

#include <algorithm>
#include <array>

#include "html/parse/html_common.h"
#include "html/parse/prop_stack.h"
#include "html/model/document.h"
#include "html/forms/form_kinds.h"
#include "html/images/image_object.h"
#include "html/model/text_buffers.h"
#include "platform/core/strings.h"

using namespace std::string_view_literals;

namespace {
// The font of a new run: shared with the other runs of the document that
// use the same font.
TFontRef runFont(ThtDocument* document, TProperties* Prop) {
  if (!Prop) return TFontRef(new TRunFont);
  if (!document) return TFontRef::Copy(*Prop->GetFont());
  return document->RunFonts.Get(*Prop);
}

// Adds the source positions of N characters, the first at character index
// At, to runs whose characters stand Step apart: a new run starts only where
// a position is not the one the run before leads to.
void addPositions(TSmallList<IndexObj>& runs, int32_t At, const int32_t* Indexes, int N, int32_t Step) {
  bool any = !runs.empty();
  int32_t expect = any ? runs.back().Index + (At - runs.back().Pos) * Step : 0;
  for (int k = 0; k < N; ++k) {
    if (!any || Indexes[k] != expect) {
      runs.push_back({At + k, Indexes[k]});
      any = true;
    }
    expect = Indexes[k] + Step;
  }
}

bool isFloating(const TFloatingObj* obj) { return obj && (obj->Floating == ALeft || obj->Floating == ARight); }

// A style value against a lower-case keyword, its letters compared without
// case (and without making a lower-case copy for each run of text).
bool isKeyword(const TPropValue& value, std::u16string_view keyword) {
  const String& s = value.AsString();
  if (!value.IsString() || s.size() != keyword.size()) return false;
  for (size_t i = 0; i < s.size(); ++i)
    if (htLowerChar(s[i]) != keyword[i]) return false;
  return true;
}
}  // namespace

TSection::TSection(ThtDocument* ADocument, TAttributeList* L, TProperties* Prop,
                   const TUrlTarget* AnURL, TCellBasic*, bool FirstItem)
    : TSectionBase(ADocument, Prop), SourceStep(ADocument ? ADocument->SourceStep : 1) {
  // Room for the first run alone: many sections (a table's cells) never
  // get a second.
  FontRuns.Reserve(1);
  auto run = std::make_unique<TFontObj>(this, runFont(Document, Prop), 0);
  if (Prop) run->SetTitle(Prop->PropTitle());
  TFontObj* first = FontRuns.Add(std::move(run));
  if (AnURL && !AnURL->URL.empty()) {
    first->SetLinkStates(Prop);
    first->CopyUrlTarget(*AnURL);
    if (Document) {
      Document->AddLink(first);
      if (!Document->NoTabLinks) first->CreateTabControl(AnURL->TabIndex);
    }
  }
  if (Prop) {
    LineHeight = Prop->GetLineHeight(std::abs(first->TheFont->Height()));
    if (FirstItem) {
      bool isPercent = false;
      const int32_t indent = Prop->GetTextIndent(isPercent);
      if (indent != 0) {
        if (isPercent)
          extras().TextIndentPercent = std::min(indent, 90);
        else
          extras().TextIndent = indent;
      }
    }
  }
  if (L) {
    TAttribute* T = nullptr;
    if (L->Find(symClear, T)) {
      const String s = htLowerCase(T->Text);
      // "none" clears nothing; "all" (and the other values) both sides.
      ClearKind = s == u"left"sv ? clrLeft : s == u"right"sv ? clrRight : s == u"none"sv ? clrNone : clrAll;
    }
    const String id = L->GetID();
    if (!id.empty() && Document && Document->IdList) Document->IdList->AddObject(id, this);
  }
  if (Prop) {
    TClearType clear;
    if (Prop->GetClear(clear)) ClearKind = clear;
    const TPropValue& align = Prop->Props[piTextAlign];
    Alignment = isKeyword(align, u"right") ? 3 : isKeyword(align, u"center") ? 2 : isKeyword(align, u"justify") ? 4 : 1;
    BreakWord = isKeyword(Prop->Props[piWordWrap], u"break-word");
  }
}

TSection::TSection(ThtDocument* NewDocument, const TSection& Source)
    : TSectionBase(NewDocument, Source), ClearKind(Source.ClearKind), Alignment(Source.Alignment),
      SourceStep(Source.SourceStep), BreakWord(Source.BreakWord), FPreformatted(Source.FPreformatted),
      FFinished(true), FPlainChars(Source.FPlainChars), Chars(Source.Chars),
      FontRuns(this, Source.FontRuns), LineHeight(Source.LineHeight) {
  if (Source.FExtras) FExtras = std::make_unique<TExtras>(NewDocument, *Source.FExtras);
  Length = Source.Length;
  StartPos = Source.StartPos;
  // The text's narrowest and widest widths do not change with the page's
  // width (a print copy is measured in the same units).
  CachedMin = Source.CachedMin;
  CachedMax = Source.CachedMax;
}

const TFloatingObjList& TSection::Objects() const {
  static const TFloatingObjList none;
  return FExtras ? FExtras->Objects : none;
}

const TFormControlObjList& TSection::Controls() const {
  static const TFormControlObjList none;
  return FExtras ? FExtras->Controls : none;
}

TSection::TEdges& TSection::OwnEdges() {
  auto& e = extras().Edges;
  if (!e) e = std::make_unique<TEdges>();
  return *e;
}

void TSection::SetStretch(size_t Line, TLineStretch S) {
  auto& all = extras().Stretch;
  if (all.size() <= Line) all.resize(Line + 1);
  all[Line] = S;
}

TSection::TExtras& TSection::extras() {
  if (!FExtras) FExtras = std::make_unique<TExtras>();
  return *FExtras;
}

TSection::~TSection() {
  // Runs leave the document's link list themselves; newest first keeps the
  // search at the list's end.
  while (FontRuns.Count() > 0) FontRuns.Delete(FontRuns.Count() - 1);
}

std::unique_ptr<TSectionBase> TSection::CreateCopy(ThtDocument* NewDocument) const {
  return std::unique_ptr<TSectionBase>(new TSection(NewDocument, *this));
}

void TSection::DetachFromDocument() {
  if (!Document) return;
  for (const auto& runPtr : FontRuns) Document->RemoveLink(runPtr.get());
  if (Document->IdList) Document->IdList->RemoveObject(this);
}

void TSection::appendRaw(const char16_t* P, const int32_t* Indexes, int N, char Flag) {
  if (N <= 0) return;
  // Short texts stay in the strings' own room; the first time a text
  // outgrows it, it gets room for a typical paragraph at once. Two places
  // more than the text are kept, for the blank and the flag that finishing
  // adds: a text of millions of characters taken in one piece is then never
  // copied to add them.
  const size_t need = Chars.size() + size_t(N);
  constexpr size_t paragraph = 40;
  if (need > Chars.capacity()) Chars.reserve(std::max({need + 2, paragraph, Chars.capacity() * 2}));
  addPositions(SourceRuns, int32_t(Chars.size()), Indexes, N, SourceStep);
  Chars.append(P, size_t(N));
  setBreakFlags(Chars.size() - size_t(N), size_t(N), Flag);
  Length += N;
}

int32_t TSection::positionAt(int32_t I, int32_t EndPos) const {
  if (I < 0 || I >= int32_t(Chars.size()) || SourceRuns.empty()) return EndPos;
  auto it = std::upper_bound(SourceRuns.begin(), SourceRuns.end(), I,
                             [](int32_t pos, const IndexObj& r) { return pos < r.Pos; });
  if (it == SourceRuns.begin()) return EndPos;
  const IndexObj& run = *std::prev(it);
  return run.Index + (I - run.Pos) * SourceStep;
}

void TSection::AddChar(char16_t C, int Index) {
  const int32_t index = Index;
  AddRun(&C, &index, 1);
}

void TSection::AddTokenObj(TokenObj& T) { AddRun(T.C.data(), T.I.data(), T.Leng); }

void TSection::AddRun(const char16_t* P, const int32_t* Indexes, int N) {
  if (N <= 0 || FFinished) return;
  THtmlPropStack* stack = Document ? Document->PropStack : nullptr;
  TProperties* top = stack ? stack->Last() : nullptr;
  if (top && top->GetDisplay() == pdNone) return;
  const int transform = top ? top->GetTextTransform() : 0;
  const char flag = (FPreformatted || (stack && stack->NoBreak)) ? 'n' : 'y';
  const bool smallCaps = top && isKeyword(top->Props[piFontVariant], u"small-caps") && stack;
  if (transform == 0 && !smallCaps) {  // the text as it stands
    appendRaw(P, Indexes, N, flag);
    return;
  }
  String text(P, size_t(N));
  if (transform == 1) text = AnsiUpperCase(text);
  else if (transform == 2) text = AnsiLowerCase(text);
  if (text.size() != size_t(N)) text.resize(size_t(N), u' ');
  if (!smallCaps) {
    appendRaw(text.data(), Indexes, N, flag);
    return;
  }
  const String upper = AnsiUpperCase(text);
  bool inSmall = false;
  for (int i = 0; i < N; ++i) {
    const char16_t c = text[size_t(i)];
    const char16_t u = upper[size_t(i)];
    const bool skip = c == u' ' || (c >= u'0' && c <= u'9');
    if (!skip) {
      const bool lower = u != c;
      if (lower && !inSmall) {
        if (stack->PushNewProp(u"small", String(), String(), String(), String(), nullptr)) {
          ChangeFont(stack->Last());
          inSmall = true;
        }
      } else if (!lower && inSmall) {
        stack->PopAProp(u"small");
        ChangeFont(stack->Last());
        inSmall = false;
      }
    }
    appendRaw(&u, &Indexes[i], 1, flag);
  }
  if (inSmall) {
    stack->PopAProp(u"small");
    ChangeFont(stack->Last());
  }
}

void TSection::AddText(const String& S, const std::vector<int32_t>& Indexes) {
  if (Indexes.size() >= S.size()) {
    AddRun(S.data(), Indexes.data(), int(S.size()));
    return;
  }
  std::vector<int32_t> indexes(Indexes);
  indexes.resize(S.size(), indexes.empty() ? 0 : indexes.back());
  AddRun(S.data(), indexes.data(), int(S.size()));
}

void TSection::AllowBreakAfterLast() {
  if (!Chars.empty() && !FFinished) setBreakFlag(Chars.size() - 1, 'a');
}

void TSection::ChangeFont(TProperties* Prop) {
  if (!Prop || FFinished) return;
  TFontRef font = runFont(Document, Prop);
  TFontObj* last = FontRuns.Last();
  TFontObj* run;
  if (last && last->Pos == Length) {
    last->ReplaceFont(std::move(font));
    run = last;
  } else {
    auto fresh = std::make_unique<TFontObj>(this, std::move(font), Length);
    if (last) fresh->CopyUrlTarget(*last->UrlTarget());
    run = FontRuns.Add(std::move(fresh));
  }
  run->SetTitle(Prop->PropTitle());
  if (!run->UrlTarget()->URL.empty()) {
    run->SetLinkStates(Prop);
    if (Document) Document->AddLink(run);
  }
  TAlignmentType align;
  run->SScript = (Prop->GetVertAlign(align) && (align == ASub || align == ASuper)) ? align : ANone;
}

void TSection::HRef(THtmlSymbol Sy, ThtDocument*, const TUrlTarget* AnURL, TProperties* Prop) {
  if (!Prop || FFinished) return;
  TFontRef font = runFont(Document, Prop);
  TFontObj* last = FontRuns.Last();
  TFontObj* run;
  if (last && last->Pos == Length) {
    // The run taken over may still be in the link list as part of another link.
    if (Document) Document->RemoveLink(last);
    if (last->TabControl() && Document) Document->RemoveTabStop(last->TabControl());
    last->DropTabControl();
    last->DropLinkStates();
    last->ReplaceFont(std::move(font));
    run = last;
  } else {
    run = FontRuns.Add(std::make_unique<TFontObj>(this, std::move(font), Length));
  }
  run->SetTitle(Prop->PropTitle());
  if (AnURL) run->CopyUrlTarget(*AnURL);
  else run->ClearUrlTarget();
  if (Sy == symHref && AnURL && !AnURL->URL.empty()) {
    run->SetLinkStates(Prop);
    if (Document) {
      Document->AddLink(run);
      if (!Document->NoTabLinks) run->CreateTabControl(AnURL->TabIndex);
    }
  } else {
    run->DropLinkStates();
  }
  TAlignmentType align;
  run->SScript = (Prop->GetVertAlign(align) && (align == ASub || align == ASuper)) ? align : ANone;
}

TImageObj* TSection::AddImage(TAttributeList* L, TCellBasic*, int Index) {
  auto image = std::make_unique<TImageObj>(Document, Length, L);
  TImageObj* result = image.get();
  extras().Objects.Add(std::move(image));
  AddChar(ImgPan, Index);
  return result;
}

TPanelObj* TSection::AddPanel(TAttributeList* L, TCellBasic* ACell, int Index) {
  auto panel = std::make_unique<TPanelObj>(Document, Length, L, ACell, false);
  TPanelObj* result = panel.get();
  extras().Objects.Add(std::move(panel));
  AddChar(ImgPan, Index);
  return result;
}

std::unique_ptr<TPanelObj> TSection::CreatePanel(TAttributeList* L, TCellBasic* ACell) {
  return std::make_unique<TPanelObj>(Document, Length, L, ACell, true);
}

void TSection::AddObject(std::unique_ptr<TFloatingObj> Obj, int Index) {
  if (!Obj) return;
  Obj->Pos = Length;
  extras().Objects.Add(std::move(Obj));
  AddChar(ImgPan, Index);
}

TFormControlObj* TSection::AddFormControl(THtmlSymbol Which, ThtDocument* AMasterList, TAttributeList* L,
                                          TCellBasic* ACell, int Index, TProperties* Prop,
                                          ThtmlForm*& CurrentForm) {
  THtmlPropStack* stack = Document ? Document->PropStack : nullptr;
  const char flag = (FPreformatted || (stack && stack->NoBreak)) ? 'n' : 'y';
  const bool shown = !Prop || Prop->GetDisplay() != pdNone;
  // Hands the control to its form and puts its placeholder in the text.
  auto place = [&](std::unique_ptr<TFormControlObj> ctl, char Flag) {
    TFormControlObj* result = ctl.get();
    if (shown) {
      result->Pos = Length;
      extras().Controls.Add(result);
      const char16_t c = FmCtl;
      const int32_t index = Index;
      appendRaw(&c, &index, 1, Flag);
    }
    if (result->MyForm) result->MyForm->InsertControl(std::move(ctl));
    return result;
  };
  TFormControlObj* result = nullptr;
  if (Which == symInput) {
    TAttribute* T = nullptr;
    const String typ = L && L->Find(symType, T) ? htLowerCase(T->Text) : String();
    if (typ == u"submit"sv || typ == u"reset"sv || typ == u"button"sv) {
      result = place(std::make_unique<TButtonFormControlObj>(AMasterList, Length, L, Prop, CurrentForm, typ), flag);
    } else if (typ == u"radio"sv) {
      result = place(std::make_unique<TRadioButtonFormControlObj>(AMasterList, Length, L, Prop, CurrentForm), flag);
    } else if (typ == u"checkbox"sv) {
      result = place(std::make_unique<TCheckBoxFormControlObj>(AMasterList, Length, L, Prop, CurrentForm), flag);
    } else if (typ == u"hidden"sv) {
      auto hidden = std::make_unique<THiddenFormControlObj>(AMasterList, Length, L, CurrentForm);
      result = hidden.get();
      if (result->MyForm) result->MyForm->InsertControl(std::move(hidden));
      return result;  // made, never placed
    } else if (typ == u"image"sv) {
      auto ctl = std::make_unique<TImageFormControlObj>(AMasterList, Length, L, Prop, CurrentForm);
      TImageObj* image = AddImage(L, ACell, Index);
      image->MyFormControl = ctl.get();
      ctl->MyImage = image;
      result = ctl.get();
      if (result->MyForm) result->MyForm->InsertControl(std::move(ctl));
    } else if (typ == u"file"sv) {
      auto edit = std::make_unique<TEditFormControlObj>(AMasterList, Length, L, Prop, CurrentForm, typ);
      auto* e = static_cast<TEditFormControlObj*>(place(std::move(edit), 'n'));
      auto button = std::make_unique<TButtonFormControlObj>(AMasterList, Length, L, Prop, CurrentForm, typ);
      button->MyEdit = e;
      place(std::move(button), 'n');
      // The id names the edit, not its browse button.
      if (AMasterList && AMasterList->IdList && !e->FID.empty() && !AMasterList->IsCopy)
        AMasterList->IdList->AddObject(e->FID, e);
      result = e;
    } else {
      result = place(std::make_unique<TEditFormControlObj>(AMasterList, Length, L, Prop, CurrentForm, typ), flag);
    }
  } else if (Which == symSelect) {
    TAttribute* T = nullptr;
    const bool list = L && (L->Find(symMultiple, T) || (L->Find(symSize, T) && T->Value > 1));
    if (list)
      result = place(std::make_unique<TListBoxFormControlObj>(AMasterList, Length, L, Prop, CurrentForm), flag);
    else
      result = place(std::make_unique<TComboFormControlObj>(AMasterList, Length, L, Prop, CurrentForm), flag);
  } else {
    result = place(std::make_unique<TTextAreaFormControlObj>(AMasterList, Length, L, Prop, CurrentForm), flag);
  }
  if (Prop && Prop->BorderStyleNotNone() && Document) Document->ProcessInlines(Index, Prop, true);
  return result;
}

void TSection::FinishText(int EndPos) {
  if (FFinished) return;
  // One pass over the characters, compacting them in place: each kept
  // character is written at the output's end, which never passes the
  // character being read (while nothing was dropped it is already there),
  // and the rules may shorten the output again.
  const size_t n = Chars.size();
  if (FExtras) FExtras->BreakFlags.Truncate(n);
  // The source positions are read along the characters and the kept ones
  // written as new runs (dropping a character can split a run).
  TSmallList<IndexObj> read;
  read.swap(SourceRuns);
  const int32_t step = SourceStep;
  size_t nextRead = 0;       // the next run to start while reading
  int32_t readBase = 0;      // the position of character 0 of the current run, as if it went back there
  auto sourceOf = [&](size_t i) -> int32_t {  // i only grows
    if (i >= n) return EndPos;
    while (nextRead < read.size() && read[nextRead].Pos <= int32_t(i)) {
      readBase = read[nextRead].Index - read[nextRead].Pos * step;
      ++nextRead;
    }
    return nextRead == 0 ? EndPos : readBase + int32_t(i) * step;
  };
  bool haveRun = false;
  int32_t expect = 0;  // the position that goes on the last written run
  auto keepPosition = [&](size_t at, int32_t pos) {
    if (!haveRun || pos != expect) {
      SourceRuns.push_back({int32_t(at), pos});
      haveRun = true;
    }
    expect = pos + step;
  };
  auto dropPosition = [&](size_t at) {  // the last kept character, at, is taken off
    if (!SourceRuns.empty() && SourceRuns.back().Pos == int32_t(at)) SourceRuns.pop_back();
    haveRun = !SourceRuns.empty();
    if (haveRun) expect = SourceRuns.back().Index + (int32_t(at) - SourceRuns.back().Pos) * step;
  };
  size_t w = 0;  // length of the output
  // Runs, objects and controls start at old character indexes, each list
  // ascending. Each takes the output length when the reading reaches its
  // index: the number of kept characters before it. A later pop can only
  // take characters off the output's end, so it lowers every position
  // already taken that lies beyond the new end. This gives what a search
  // of the kept characters' old indexes would, without keeping them.
  const int counts[3] = {FontRuns.Count(), Objects().Count(), Controls().Count()};
  int mapped[3] = {0, 0, 0};
  auto posAt = [&](int list, int k) -> int32_t& {
    return list == 0 ? FontRuns[k]->Pos : list == 1 ? Objects()[k]->Pos : Controls().GetItem(k)->Pos;
  };
  int64_t nextMark = 0;  // the smallest old index not mapped yet
  auto mapUpTo = [&](int64_t i, int firstList = 0) {
    if (i < nextMark) return;
    nextMark = INT64_MAX;
    for (int l = firstList; l < 3; ++l) {
      while (mapped[l] < counts[l] && posAt(l, mapped[l]) <= i) posAt(l, mapped[l]++) = int32_t(w);
      if (mapped[l] < counts[l]) nextMark = std::min<int64_t>(nextMark, posAt(l, mapped[l]));
    }
  };
  auto pop = [&]() {
    --w;
    dropPosition(w);
    for (int l = 0; l < 3; ++l)
      for (int k = mapped[l] - 1; k >= 0 && posAt(l, k) > int32_t(w); --k) posAt(l, k) = int32_t(w);
  };
  auto push = [&](size_t i) {
    keepPosition(w, sourceOf(i));
    if (w != i) {
      Chars[w] = Chars[i];
      setBreakFlag(w, BreakFlags()[i]);
    }
    ++w;
  };
  // Whether the last image or panel placeholder kept is a floating object
  // (placeholders are never taken off again, so the last one kept is the
  // last one read).
  bool lastObjectFloats = false;
  auto plain = [](char16_t c) { return c != u' ' && c != 0xAD && c != BrkCh && c != ImgPan; };
  for (size_t i = 0; i < n; ++i) {
    const char16_t c = Chars[i];
    if (plain(c)) {
      // A stretch that is kept as it stands: plain characters and single
      // blanks after them, up to the next run, object or control to map and
      // the end of the source run they come from. Its source positions go
      // on from its first one.
      mapUpTo(int64_t(i));
      const int32_t first = sourceOf(i);
      size_t limit = size_t(std::min<int64_t>(int64_t(n), nextMark));
      if (nextRead < read.size()) limit = std::min(limit, size_t(read[nextRead].Pos));
      size_t j = i + 1;
      while (j < limit && (plain(Chars[j]) || (Chars[j] == u' ' && Chars[j - 1] != u' '))) ++j;
      keepPosition(w, first);
      expect = first + int32_t(j - i) * step;
      if (w != i) {
        std::copy(Chars.begin() + std::ptrdiff_t(i), Chars.begin() + std::ptrdiff_t(j), Chars.begin() + std::ptrdiff_t(w));
        if (FExtras) FExtras->BreakFlags.MoveDown(i, w, j - i);
      }
      w += j - i;
      i = j - 1;
      continue;
    }
    if (c == ImgPan)
      lastObjectFloats = mapped[1] < counts[1] && Objects()[mapped[1]]->Pos == int32_t(i) && isFloating(Objects()[mapped[1]]);
    mapUpTo(int64_t(i));
    if (c == 0xAD) {  // soft hyphen: gone, the letter before may break with a hyphen
      if (w > 0 && BreakFlags()[w - 1] != 'n') setBreakFlag(w - 1, 's');
      continue;
    }
    if (c == u' ') {
      if (w == 0) continue;  // leading blanks
      if (Chars[w - 1] == u' ') {
        if (BreakFlags()[w - 1] == 'n') {
          pop();
        } else {
          continue;
        }
      } else if (Chars[w - 1] == BrkCh) {
        continue;  // blank after a line break
      } else if (Chars[w - 1] == ImgPan && lastObjectFloats) {
        continue;  // blank after a floating object
      }
      if (w == 0) continue;
    } else if (c == BrkCh && w > 0 && Chars[w - 1] == u' ') {
      pop();  // blank before a line break
    }
    push(i);
  }
  if (w > 1 && Chars[w - 1] == BrkCh) pop();
  if (w > 1 && Chars[w - 1] == u' ') pop();
  const bool onlyBreak = w == 1 && Chars[0] == BrkCh;
  // An object or control at the old end comes before the blank added there;
  // runs that start at the end, and anything beyond it, start after it.
  if (n > 0) {
    nextMark = 0;
    mapUpTo(int64_t(n), 1);
  }
  if (w > 0 && !onlyBreak && Chars[w - 1] != u' ') {
    keepPosition(w, EndPos);
    setBreakFlag(w, 'y');
    if (w == n) Chars.push_back(u' ');
    else Chars[w] = u' ';
    ++w;
  }
  TSmallList<IndexObj>().swap(read);
  nextMark = 0;
  mapUpTo(INT64_MAX - 1);
  Chars.resize(w);
  if (FExtras) FExtras->BreakFlags.Truncate(w);
  // A long text grown piece by piece gives back what growing left over.
  if (w > 4096 && Chars.capacity() > w + w / 4) Chars.shrink_to_fit();
  // Runs that became empty go; a link's tab stop moves to its next run.
  for (int I = 1; I < FontRuns.Count();) {
    TFontObj* prev = FontRuns[I - 1];
    TFontObj* run = FontRuns[I];
    if (prev->Pos != run->Pos) {
      ++I;
      continue;
    }
    // The tab stop entry names the control, which keeps its place.
    if (prev->TabControl() && run->UrlTarget()->ID == prev->UrlTarget()->ID && !run->TabControl())
      run->TakeTabControl(*prev);
    FontRuns.Delete(I - 1);
  }
  if (FontRuns.Count() > 0) FontRuns[0]->Pos = 0;
  finishCommon(EndPos);
}

void TSection::finishCommon(int) {
  Length = int32_t(Chars.size());
  if (FExtras) FExtras->BreakFlags.Compact();
  if (Length == 0) SourceRuns.clear();
  // A list grown run by run gives back what growing left over.
  if (SourceRuns.capacity() > 16 && SourceRuns.capacity() > SourceRuns.size() + SourceRuns.size() / 4)
    SourceRuns.shrink_to_fit();
  if (Length > 0 && Document) SequenceNumber = ++Document->SectionCount;
  FPlainChars = std::none_of(Chars.begin(), Chars.end(), [](char16_t c) { return c <= BrkCh; });
  FFinished = true;
}

// ---- preformatted text ----

TPreFormated::TPreFormated(ThtDocument* ADocument, TAttributeList* L, TProperties* Prop,
                           const TUrlTarget* AnURL, TCellBasic* ACell, bool FirstItem)
    : TSection(ADocument, L, Prop, AnURL, ACell, FirstItem) {
  FPreformatted = true;
}

TPreFormated::TPreFormated(ThtDocument* NewDocument, const TPreFormated& Source)
    : TSection(NewDocument, Source) {}

std::unique_ptr<TSectionBase> TPreFormated::CreateCopy(ThtDocument* NewDocument) const {
  return std::unique_ptr<TSectionBase>(new TPreFormated(NewDocument, *this));
}

void TPreFormated::FinishText(int EndPos) {
  if (FFinished) return;
  TFontObj* last = FontRuns.Last();
  if (last && last->Pos >= Length && FontRuns.Count() > 1) last->Pos = Length + 1;
  const int32_t count = int32_t(Chars.size());
  const int32_t p = count == 0 ? EndPos : positionAt(count - 1, EndPos) + 1;
  addPositions(SourceRuns, int32_t(Chars.size()), &p, 1, SourceStep);
  setBreakFlag(Chars.size(), 'y');
  Chars.push_back(u' ');
  finishCommon(EndPos);
}
