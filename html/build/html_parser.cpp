// The document builder: recursive-descent readers over the tokeniser's
// symbols that build the document through the model's constructors and
// adders. Each reader stops at a symbol of its stop set and leaves it
// current for the reader that called it.
#include "html/build/html_parser.h"

#include <algorithm>
#include <initializer_list>

#include "html/parse/html_common.h"
#include "html/parse/style_colors.h"
#include "html/parse/style_fonts.h"
#include "html/parse/style_parser.h"
#include "html/parse/url_routines.h"
#include "html/model/block.h"
#include "html/model/document.h"
#include "html/forms/form_kinds.h"
#include "html/model/image_map.h"
#include "html/images/image_object.h"
#include "html/model/rule_page.h"
#include "html/model/section.h"
#include "platform/core/files.h"
#include "platform/core/string_list.h"
#include "platform/core/streams.h"
#include "platform/core/strings.h"

using namespace std::string_view_literals;

namespace {

// A set from single symbols and inclusive ranges {first, last}.
struct SymRange {
  int First, Last;
  SymRange(int s) : First(s), Last(s) {}
  SymRange(int a, int b) : First(a), Last(b) {}
};
TSymbolSet symSet(std::initializer_list<SymRange> items) {
  TSymbolSet s;
  for (const SymRange& r : items)
    for (int i = r.First; i <= r.Last; ++i) s.set(size_t(i));
  return s;
}
TSymbolSet with(TSymbolSet s, std::initializer_list<int> more) {
  for (int i : more) s.set(size_t(i));
  return s;
}

const TSymbolSet& InlineSymbols() {
  static const TSymbolSet s = symSet({{6, 9}, {14, 27}, {29, 36}, 57, 58, 59, {63, 66}, 73, 78, 97, 113, 114, 117, 123, 124,
                                      127, {129, 132}, {135, 138}, 140, 157, 160, {165, 168}, {184, 187}, 192, 193,
                                      213, 214, 221, 222});
  return s;
}
const TSymbolSet& ParagraphContent() {
  static const TSymbolSet s = symSet({{6, 9}, 14, {17, 22}, {24, 27}, {29, 36}, 59, 63, 64, 72, 73, 97, 113, 114, 117,
                                      123, 124, 127, {129, 132}, {135, 138}, 140, 157, 160, 161, {165, 168},
                                      {184, 187}, 192, 193, 213, 214, 221, 222});
  return s;
}
const TSymbolSet& ListItemContent() {
  static const TSymbolSet s = symSet({{6, 9}, 14, 15, {17, 22}, {24, 27}, {29, 36}, 59, 63, 64, 73, 97, 113, 114, 117,
                                      123, 124, 127, {129, 132}, {135, 138}, 140, 157, 160, 161, {165, 168},
                                      {184, 187}, 192, 193, 213, 214, 221, 222});
  return s;
}
const TSymbolSet& HeadingContent() {
  static const TSymbolSet s = symSet({{6, 9}, 14, {17, 27}, {29, 36}, 59, 63, 64, 73, 97, 113, 114, 117, 123, 124, 127,
                                      {129, 132}, {135, 138}, 160, 161, {165, 168}, {184, 187}, 192, 193, 213, 214,
                                      221, 222});
  return s;
}
const TSymbolSet& SelectStops() {
  static const TSymbolSet s = symSet({4, 74, {79, 85}, 93, 94, 97, 118, 205, 206, {215, 220}});
  return s;
}

bool isPhrase(THtmlSymbol s) {
  switch (s) {
    case symB: case symI: case symEm: case symStrong: case symU: case symCite: case symVar:
    case symS: case symStrike: case symTT: case symCode: case symKbd: case symSamp: case symSpan:
    case symLabel:
      return true;
    default:
      return false;
  }
}
bool isPhraseEnd(THtmlSymbol s) {
  switch (s) {
    case symBEnd: case symIEnd: case symEmEnd: case symStrongEnd: case symUEnd: case symCiteEnd:
    case symVarEnd: case symSEnd: case symStrikeEnd: case symTTEnd: case symCodeEnd: case symKbdEnd:
    case symSampEnd: case symSpanEnd: case symLabelEnd:
      return true;
    default:
      return false;
  }
}
bool isSizeTag(THtmlSymbol s) { return s == symSub || s == symSup || s == symBig || s == symSmall; }
bool isSizeTagEnd(THtmlSymbol s) { return s == symSubEnd || s == symSupEnd || s == symBigEnd || s == symSmallEnd; }

// Block ALIGN: left, center, right, justify ("middle" counts as center).
String blockAlign(const String& value) {
  const String s = htLowerCase(value);
  if (s == u"left"sv || s == u"center"sv || s == u"right"sv || s == u"justify"sv) return s;
  if (s == u"middle"sv) return u"center";
  return String();
}

}  // namespace

// Scope of one parse: whatever happens, the stack, the no-wrap flag and
// the current form do not outlive it, and the document forgets the stack.
struct THtmlParser::ParseGuard {
  THtmlParser& P;
  ~ParseGuard() {
    P.FPropStack.Clear();
    P.FPropStack.NoBreak = false;
    P.CurrentForm = nullptr;
    P.Section.reset();
    P.SectionPending = false;
    P.Attributes.reset();
    P.ParaAttributes.reset();
    P.CurrentUrlTarget.reset();
    if (P.Document) P.Document->PropStack = nullptr;
    P.T.PropStack = nullptr;
    P.FPropStack.Document = nullptr;
  }
};

THtmlParser::THtmlParser(TBuffer* ABuffer) : Buffer(ABuffer), T(ABuffer) {}

THtmlParser::~THtmlParser() = default;

String THtmlParser::GetTitle() const {
  if (TitleStart >= TitleEnd) return String();
  return WideTrim(Buffer->GetString(TitleStart, TitleEnd));
}

void THtmlParser::loadAttributes() {
  Attributes->Clear();
  for (const TTokenAttribute& a : T.Attributes) Attributes->AddValues(a.Which, a.DblValue, a.Name, a.Value, a.CodePage);
}

String THtmlParser::attrText(THtmlSymbol S) const {
  TAttribute* A = nullptr;
  return Attributes->Find(S, A) ? A->Text : String();
}

void THtmlParser::startParse(ThtDocument* ADocument) {
  Document = ADocument;
  ADocument->SourceStep = Buffer ? Buffer->UnitSize() : 1;
  FPropStack.Document = ADocument;
  ADocument->PropStack = &FPropStack;
  CallingObject = ADocument->Viewer;
  // Each document has its own default size: the size tables follow it.
  SetFontSizes(ADocument->DefaultFontSize);
  if (!ADocument->Styles->DefProp())
    ADocument->ApplyViewerDefaults(u"Times New Roman", u"Courier New", ADocument->DefaultFontSize,
                                   clBlack, clBlue, clPurple, clBlue, clWhite, false, true,
                                   DEFAULT_CHARSET, MarginHeight, MarginWidth);
  ADocument->Styles->SetPropStack(&FPropStack);
  // Link states kept from an earlier parse may rest on other size tables.
  ADocument->Styles->ForgetLinkFontStates();
  FPropStack.Clear();
  auto bottom = TProperties::CreateInStack(&FPropStack);
  bottom->CopyDefaultFrom(*ADocument->Styles->DefProp());
  FPropStack.Add(std::move(bottom));
  FPropStack.SIndex = -1;
  FPropStack.NoBreak = false;
  FCharSetRuns.clear();
  FInCharSetRun = false;
  FRunCodePage = 0;
  T.PropStack = &FPropStack;
  HasCodePage = true;
  CodePage = top()->CodePage();
  Attributes = std::make_unique<TAttributeList>();
  auto body = std::make_unique<TBodyBlock>(ADocument, top(), ADocument, nullptr);
  BodyBlock = body.get();
  ADocument->Add(std::move(body), 0);
  SectionCell = BodyBlock->MyCell.get();
  CurrentUrlTarget = std::make_unique<TUrlTarget>();
  BaseFontSize = 3;
  Base.clear();
  BaseTarget.clear();
  CurrentForm = nullptr;
  Section = std::make_unique<TSection>(ADocument, nullptr, top(), CurrentUrlTarget.get(), SectionCell, true);
  LinkOpen = false;
  TableLevel = 0;
  ListLevel = 0;
  BlockDepth = 0;
  T.InScript = false;
  T.InComment = false;
  T.FirstPass = false;
}

void THtmlParser::endParse() {
  // A run the page left open ends with it: the buffer's text after the
  // parse (the page's source) reads in the page's code page.
  if (FInCharSetRun) Buffer->EndCodePageRun(Buffer->Size());
  FCharSetRuns.clear();
  FInCharSetRun = false;
  FRunCodePage = 0;
  Attributes.reset();
  ParaAttributes.reset();
  addSection();
  FPropStack.Clear();
  CurrentUrlTarget.reset();
}

void THtmlParser::ParseHtml(ThtDocument* ADocument, TLinkType AOnLink, TMetaType AMetaHandler,
                            TSoundType AOnSoundRequest, TIncludeType AOnInclude) {
  ParseGuard guard{*this};
  const int startPos = Buffer->GetPosition();
  startParse(ADocument);
  // First pass: count the links (a page of very many links gets no tab
  // stop per link).
  T.OnInclude = nullptr;
  ADocument->NoTabLinks = T.CountLinks(400) > 400;
  Buffer->SetPosition(startPos);
  T.SIndex = -1;
  T.FirstPass = false;
  T.InComment = false;
  T.InScript = false;
  LinkEvent = std::move(AOnLink);
  MetaEvent = std::move(AMetaHandler);
  SoundEvent = std::move(AOnSoundRequest);
  IncludeEvent = std::move(AOnInclude);
  T.OnInclude = IncludeEvent;
  T.ReadChar();
  next();
  while (Sy() != symEndOfDoc) parseBody(TSymbolSet());
  endParse();
}

void THtmlParser::ParseText(ThtDocument* ADocument) {
  ParseGuard guard{*this};
  startParse(ADocument);
  T.InScript = true;  // nothing is markup
  addSection();
  pushNoAttr(u"pre");
  auto block = std::make_unique<TBlock>(Document, top(), SectionCell, nullptr);
  TBlock* b = block.get();
  SectionCell->Add(std::move(block), 0);
  TCellBasic* outer = SectionCell;
  SectionCell = b->MyCell.get();
  auto newPre = [&] {
    Section = std::make_unique<TPreFormated>(Document, nullptr, top(), CurrentUrlTarget.get(), SectionCell, false);
  };
  newPre();
  TokenObj token;
  auto flush = [&] {
    if (token.Leng > 0 && Section) Section->AddTokenObj(token);
    token.Clear();
  };
  T.ReadChar();
  while (T.LCh != 0) {
    if (T.LCh == u'\r') {
      flush();
      SectionCell->Add(std::move(Section), T.SIndex);
      newPre();
    } else {
      token.AddUnicodeChar(T.LCh, T.SIndex);
      if (token.Leng > 200) flush();
    }
    T.ReadChar();
  }
  flush();
  // The line end that closes the last line starts no empty line after it.
  if (Section && Section->Chars.empty()) Section->DetachFromDocument();
  else SectionCell->Add(std::move(Section), T.SIndex);
  Section.reset();
  FPropStack.PopAProp(u"pre");
  SectionCell = outer;
  endParse();
}

// ---- helpers ----

void THtmlParser::next() {
  followCharSetRuns();
  T.NextSymbol();
  if (!T.Attributes.empty() || Attributes->Count() > 0) loadAttributes();
}

bool THtmlParser::push(const String& Tag, const String& Pseudo) {
  const String cls = Attributes->GetClass();
  const String id = Attributes->GetID();
  const String title = Attributes->GetTitle();
  TProperties* style = Attributes->GetStyle();
  return FPropStack.PushNewProp(Tag, cls, id, Pseudo, title, style);
}

void THtmlParser::pushNoAttr(const String& Tag) {
  FPropStack.PushNewProp(Tag, String(), String(), String(), String(), nullptr);
}

void THtmlParser::popAProp(const String& Tag) { FPropStack.PopAProp(Tag); }

void THtmlParser::addSection() {
  if (Section) ++SectionsHandedOver;
  if (Section && SectionCell) SectionCell->Add(std::move(Section), T.TagIndex);
  Section.reset();
  SectionPending = false;
}

// A new section is made when something first goes into it: most of the
// sections the readers open between blocks stay empty and would be
// dropped again.
void THtmlParser::newSection() {
  addSection();
  SectionPending = true;
}

TSection* THtmlParser::section() {
  if (!Section && SectionPending) {
    SectionPending = false;
    Section = std::make_unique<TSection>(Document, nullptr, top(), CurrentUrlTarget.get(), SectionCell,
                                         SectionCell && SectionCell->Count() == 0);
  }
  return Section.get();
}

void THtmlParser::ensureSection() {
  if (!hasSection()) newSection();
  section();
}

void THtmlParser::fontRun() {
  if (Section) Section->ChangeFont(top());
}

void THtmlParser::inlineBox() {
  TProperties* prop = top();
  prop->TakeOwnBackgroundColor();
  if (prop->HasInlineBox()) Document->ProcessInlines(T.SIndex, prop, true);
}

void THtmlParser::closeLink() {
  if (!LinkOpen) return;
  CurrentUrlTarget->SetLast(Document->Links, T.SIndex);
  CurrentUrlTarget->Clear();
  LinkOpen = false;
  popAProp(u"a");
  if (Section) Section->HRef(symAEnd, Document, CurrentUrlTarget.get(), top());
  // A section still to be made starts after the link anyway.
}

void THtmlParser::addBlock(std::unique_ptr<TBlock> B) { SectionCell->Add(std::move(B), T.TagIndex); }

void THtmlParser::marginHandOver(TBlock* B) {
  if (B && B->MyCell->CheckLastBottomMargin()) {
    B->Box[MA(piMarginBottom)] = DefaultParaSpacePixels;
    B->BoxProps[MA(piMarginBottom)] = TPropValue(DefaultParaSpaceValue);
    B->BottomIsParaSpace = true;
  }
}

void THtmlParser::setAlignProp(bool) {
  TAttribute* A = nullptr;
  if (!Attributes->Find(symAlign, A)) return;
  const String align = blockAlign(A->Text);
  if (!align.empty()) top()->SetPropertyDefault(piTextAlign, TPropValue(align));
}

// ---- readers ----

void THtmlParser::parseBody(const TSymbolSet& StopSet) {
  for (;;) {
    if (StopSet[Sy()]) return;
    const THtmlSymbol s = Sy();
    if (s > symObjectEnd) {
      next();
    } else {
      switch (s) {
        case symTitle: parseTitle(); break;
        case symBody: parseBodyTag(); break;
        case symP: parseParagraph(StopSet); break;
        case symBase: {
          TAttribute* A = nullptr;
          if (Attributes->Find(symHref, A)) Base = A->Text;
          if (Attributes->Find(symTarget, A)) BaseTarget = A->Text;
          next();
          break;
        }
        case symOL: case symUL: case symDir: case symMenu: case symDL:
          parseList(s, StopSet);
          if (!StopSet[Sy()]) next();
          break;
        case symLI:
          parseListItem(false, u'1', 1, symLI, symLoneItemEnd, StopSet);
          break;
        case symDD: case symDT:
          parseListItem(false, u'1', 1, s, symDL, StopSet);
          break;
        case symAddress: case symBlockQuote: case symCenter: case symFieldset: case symLegend:
        case symForm: case symDiv:
          parseBlock(s, StopSet);
          break;
        case symLink: parseLinkTag(); break;
        case symFormEnd:
          CurrentForm = nullptr;
          next();
          break;
        case symBgSound: parseBgSound(); break;
        case symMeta: parseMeta(); break;
        case symStyle: parseStyle(); break;
        default:
          if (InlineSymbols()[s]) parseInline(StopSet);
          else next();
          break;
      }
    }
    if (Sy() == symEndOfDoc) {
      next();
      return;
    }
  }
}

void THtmlParser::parseTitle() {
  TitleStart = TitleEnd = T.SIndex;
  T.BeginRawContent();
  next();
  while (Sy() == symText && !T.RawContentCut()) {
    TitleEnd = T.SIndex;
    next();
  }
  const bool cut = T.RawContentCut();
  T.EndRawContent();
  // A title its included part left open: what it read of the part is no
  // page text, and the page reads on after the part.
  if (cut && Sy() == symText) next();
}

void THtmlParser::parseBodyTag() {
  if (BodyBlock->MyCell->Count() > 0 || TableLevel > 0) {
    next();
    return;
  }
  Document->ClearPanelAndControlLists();
  if (Section) Section->DetachFromDocument();
  Section.reset();
  SectionPending = false;
  push(u"body");
  int marginTop = MarginHeight, marginBottom = MarginHeight;
  int marginLeft = MarginWidth, marginRight = MarginWidth;
  TProperties* prop = top();
  for (const auto& A : *Attributes) {
    TColor color;
    switch (A->Symbol) {
      case symTopMargin: case symMarginHeight:
        marginTop = marginBottom = std::clamp(A->Value, 0, 200);
        break;
      case symLeftMargin: case symMarginWidth:
        marginLeft = marginRight = std::clamp(A->Value, 0, 200);
        break;
      case symBgColor:
        if (ColorFromString(A->Text, false, color))
          prop->SetPropertyDefault(piBackgroundColor, TPropValue(int(color | PaletteRelativeFlag)));
        break;
      case symColor:  // TEXT is read as the colour attribute of BODY
        break;
      case symLink: case symVLink: case symOLink:
        if (ColorFromString(A->Text, false, color)) {
          Document->Styles->SetLinkColor(A->Symbol == symLink ? u"link" : A->Symbol == symVLink ? u"visited" : u"hover", color);
          if (A->Symbol == symOLink) Document->LinkHoverEnabled = true;
        }
        break;
      case symBackground:
        prop->SetPropertyDefault(piBackgroundImage, TPropValue(u"url(" + A->Text + u")"));
        break;
      case symBgProperties:
        if (htLowerCase(A->Text) == u"fixed"sv) prop->SetPropertyDefault(piBackgroundAttachment, TPropValue(u"fixed"));
        break;
      default:
        if (A->Name == u"TEXT"sv && ColorFromString(A->Text, false, color))
          prop->SetPropertyDefault(piColor, TPropValue(int(color | PaletteRelativeFlag)));
        break;
    }
  }
  prop->SetPropertyDefault(piMarginTop, TPropValue(marginTop));
  prop->SetPropertyDefault(piMarginBottom, TPropValue(marginBottom));
  prop->SetPropertyDefault(piMarginLeft, TPropValue(marginLeft));
  prop->SetPropertyDefault(piMarginRight, TPropValue(marginRight));
  const int index = Document->IndexOf(BodyBlock);
  if (index >= 0) Document->Delete(index);
  auto body = std::make_unique<TBodyBlock>(Document, prop, Document, Attributes.get());
  BodyBlock = body.get();
  Document->Add(std::move(body), T.TagIndex);
  SectionCell = BodyBlock->MyCell.get();
  newSection();
  next();
}

void THtmlParser::parseParagraph(const TSymbolSet& StopSet) {
  if (StopSet[symP]) return;
  addSection();
  T.SkipBlanks();
  // Empty paragraphs collapse: the last P's attributes count. The list
  // they were read into is set aside while the reader moves on (the next
  // symbols are read into the other list) and comes back for the push.
  if (!ParaAttributes) ParaAttributes = std::make_unique<TAttributeList>();
  std::swap(Attributes, ParaAttributes);
  next();
  while (Sy() == symP || Sy() == symPEnd) {
    if (Sy() == symP) std::swap(Attributes, ParaAttributes);
    T.SkipBlanks();
    next();
  }
  // Push with the kept attributes, then take back the current symbol's.
  std::swap(Attributes, ParaAttributes);
  push(u"p");
  setAlignProp(true);
  auto block = std::make_unique<TBlock>(Document, top(), SectionCell, Attributes.get());
  std::swap(Attributes, ParaAttributes);
  TBlock* b = block.get();
  addBlock(std::move(block));
  TCellBasic* outer = SectionCell;
  SectionCell = b->MyCell.get();
  newSection();
  for (;;) {
    const THtmlSymbol s = Sy();
    if (StopSet[s] || !ParagraphContent()[s] || s == symEndOfDoc) break;
    if (s == symUnknownTag) next();
    else parseInline(StopSet);
  }
  if (Sy() == symTable) {
    b->Box[MA(piMarginBottom)] = 0;
    b->BoxProps[MA(piMarginBottom)] = TPropValue(0);
    b->BottomIsParaSpace = false;
  }
  addSection();
  popAProp(u"p");
  SectionCell = outer;
  if (Sy() == symPEnd) next();
}

void THtmlParser::parseLineBreak(const TSymbolSet& StopSet) {
  if (StopSet[symBR]) return;
  auto pageBreaks = [&](bool& before, bool& after) {
    // Page breaks are not inherited (except through the elements that pass
    // on everything): a BR without attributes and without rules of its own
    // has none, and its set need not be made to find that out.
    static const String br = u"br";
    const String& parentTag = top()->PropTag();
    if (Attributes->Count() == 0 && FPropStack.Count() < THtmlPropStack::MaxDepth && parentTag != u"span"sv &&
        parentTag != u"thead"sv && parentTag != u"tbody"sv && parentTag != u"tfoot"sv &&
        !Document->Styles->HasRulesFor(br, String(), String(), String()))
      return;
    bool inside = false;
    push(u"br");
    top()->GetPageBreaks(before, after, inside);
    popAProp(u"br");
  };
  TAttribute* A = nullptr;
  if (Attributes->Find(symClear, A)) {
    addSection();
    Section = std::make_unique<TSection>(Document, Attributes.get(), top(), CurrentUrlTarget.get(),
                                         SectionCell, false);
    bool before = false, after = false;
    pageBreaks(before, after);
    if (before || after) {
      addSection();
      SectionCell->Add(std::make_unique<TPage>(Document, top()), T.TagIndex);
      newSection();
    }
  } else {
    ensureSection();
    section()->AddChar(BrkCh, T.TagIndex);
    addSection();
    bool before = false, after = false;
    pageBreaks(before, after);
    if (before || after) SectionCell->Add(std::make_unique<TPage>(Document, top()), T.TagIndex);
    newSection();
  }
  next();
}

void THtmlParser::parseBlock(THtmlSymbol S, const TSymbolSet& StopSet) {
  const Nesting nesting(BlockDepth);
  if (!nesting.Entered) {  // too deep: the content joins the current block
    next();
    return;
  }
  switch (S) {
    case symForm: {
      while (Sy() == symForm) {
        addSection();
        push(u"form");
        auto block = std::make_unique<TBlock>(Document, top(), SectionCell, Attributes.get());
        TBlock* b = block.get();
        addBlock(std::move(block));
        TCellBasic* outer = SectionCell;
        SectionCell = b->MyCell.get();
        auto form = std::make_unique<ThtmlForm>(Document, Attributes.get());
        CurrentForm = form.get();
        Document->Forms.push_back(std::move(form));
        newSection();
        next();
        parseBody(with(StopSet, {symForm, symFormEnd}));
        addSection();
        popAProp(u"form");
        marginHandOver(b);
        SectionCell = outer;
        newSection();
      }
      if (Sy() == symFormEnd) {
        CurrentForm = nullptr;
        next();
      }
      break;
    }
    case symDiv:
    case symFieldset:
    case symLegend: {
      const THtmlSymbol endSy = S == symDiv ? symDivEnd : S == symFieldset ? symFieldsetEnd : symLegendEnd;
      addSection();
      const String tag = S == symDiv ? u"div" : S == symFieldset ? u"fieldset" : u"legend";
      push(tag);
      setAlignProp(false);
      TCellBasic* outer = SectionCell;
      TBlock* b = nullptr;
      if (S == symLegend) {
        auto* fieldset = SectionCell ? dynamic_cast<TFieldsetBlock*>(SectionCell->GetOwnerBlock()) : nullptr;
        if (fieldset) {
          SectionCell = fieldset->Legend.get();
        } else {
          auto block = std::make_unique<TBlock>(Document, top(), SectionCell, Attributes.get());
          b = block.get();
          addBlock(std::move(block));
          SectionCell = b->MyCell.get();
        }
      } else {
        std::unique_ptr<TBlock> block;
        if (S == symFieldset)
          block = std::make_unique<TFieldsetBlock>(Document, top(), SectionCell, Attributes.get());
        else
          block = std::make_unique<TBlock>(Document, top(), SectionCell, Attributes.get());
        b = block.get();
        addBlock(std::move(block));
        SectionCell = b->MyCell.get();
      }
      newSection();
      next();
      parseBody(with(StopSet, {endSy}));
      addSection();
      popAProp(tag);
      marginHandOver(b);
      SectionCell = outer;
      newSection();
      if (Sy() == endSy) next();
      break;
    }
    case symAddress:
    case symBlockQuote: {
      addSection();
      parseList(S, with(StopSet, {symAddressEnd, symBlockQuoteEnd}));
      if (Sy() == symAddressEnd || Sy() == symBlockQuoteEnd) next();
      break;
    }
    case symCenter: {
      addSection();
      Attributes->Clear();
      pushNoAttr(u"center");
      newSection();
      next();
      parseBody(with(StopSet, {symCenterEnd}));
      addSection();
      popAProp(u"center");
      newSection();
      if (Sy() == symCenterEnd) next();
      break;
    }
    default:
      next();
      break;
  }
}

void THtmlParser::parseList(THtmlSymbol S, const TSymbolSet& StopSet) {
  const Nesting nesting(BlockDepth);
  if (!nesting.Entered) {  // too deep: the content joins the current block
    next();
    return;
  }
  const THtmlSymbol endSy = EndSymbolOf(S);
  int number = 1;
  char16_t listType = u'1';
  bool plain = false;
  TAttribute* A = nullptr;
  if (S == symOL) {
    if (Attributes->Find(symStart, A) && A->Value >= 0) number = A->Value;
    if (Attributes->Find(symType, A) && !A->Text.empty()) listType = A->Text[0];
  } else if (S == symUL) {
    if (Attributes->Find(symPlain, A)) plain = true;
    if (Attributes->Find(symType, A)) {
      const String t = htLowerCase(A->Text);
      if (t == u"none"sv || t == u"plain"sv) plain = true;
    }
  }
  addSection();
  push(SymbolName(S));
  auto block = std::make_unique<TBlock>(Document, top(), SectionCell, Attributes.get());
  TBlock* b = block.get();
  b->IsListBlock = S != symDL && S != symAddress && S != symBlockQuote;
  addBlock(std::move(block));
  TCellBasic* outer = SectionCell;
  SectionCell = b->MyCell.get();
  const bool counts = S == symOL || S == symUL || S == symDir || S == symMenu || S == symDL;
  if (counts) ++ListLevel;
  next();
  newSection();
  for (;;) {
    const THtmlSymbol s = Sy();
    if (s == endSy || s == symEndOfDoc || StopSet[s]) break;
    switch (s) {
      case symLI: case symDD: case symDT: {
        if (s == symLI && Attributes->Find(symValue, A) && A->Value != 0) number = A->Value;
        parseListItem(plain, listType, number, s, S, with(StopSet, {int(endSy)}));
        // Numbers saturate instead of wrapping.
        if (number < INT_MAX) ++number;
        break;
      }
      case symP: parseParagraph(with(StopSet, {int(endSy)})); break;
      case symOL: case symUL: case symDir: case symMenu: case symDL:
        parseList(s, with(StopSet, {int(endSy)}));
        if (Sy() == EndSymbolOf(s)) next();
        break;
      case symAddress: case symBlockQuote:
        parseBlock(s, with(StopSet, {int(endSy)}));
        break;
      case symCenter: case symForm: case symDiv:
        parseBlock(s, with(StopSet, {int(endSy), symOLEnd, symLI, symULEnd, symDirEnd, symMenuEnd, symDLEnd, symDD,
                                     symDT, symEndOfDoc}));
        break;
      default:
        if (InlineSymbols()[s]) parseInline(with(StopSet, {int(endSy)}));
        else next();
        break;
    }
  }
  if (counts) --ListLevel;
  addSection();
  marginHandOver(b);
  popAProp(SymbolName(S));
  SectionCell = outer;
  newSection();
}

void THtmlParser::parseListItem(bool Plain, char16_t IndexType, int LineCount, THtmlSymbol Item,
                                THtmlSymbol ListSy, const TSymbolSet& StopSet) {
  const Nesting nesting(BlockDepth);
  if (!nesting.Entered) {  // too deep: the content joins the current block
    next();
    return;
  }
  const String tag = SymbolName(Item);
  push(tag);
  TCellBasic* outer = SectionCell;
  TBlock* b = nullptr;
  if (!(top()->GetDisplay() == pdInline && hasSection())) {
    addSection();
    auto block = std::make_unique<TBlockLI>(Document, top(), SectionCell, ListSy, Plain, IndexType, LineCount,
                                            ListLevel, Attributes.get());
    b = block.get();
    addBlock(std::move(block));
    SectionCell = b->MyCell.get();
    newSection();
    section();  // the item's first section: it shows the bullet even when empty
  }
  const bool inList = ListSy == symOL || ListSy == symUL || ListSy == symDir || ListSy == symMenu || ListSy == symDL;
  next();
  // The first section is known by the count of hand-overs, not by its
  // address: once handed over it may be freed, and a later section can be
  // made at the same address.
  TSection* first = Section.get();
  const int handedOver = SectionsHandedOver;
  for (;;) {
    const THtmlSymbol s = Sy();
    if (s == symEndOfDoc || StopSet[s]) break;
    // A rule inside an item is the item's, as wide as its content.
    if (ListItemContent()[s] || s == symHR) {
      parseInline(StopSet);
    } else if (s == symTable) {
      parseTable();
    } else if (s == symP) {
      if (!inList) break;
      parseParagraph(TSymbolSet());
    } else if (s == symPEnd || s == symUnknownTag) {
      next();
    } else if (s == symOL || s == symUL || s == symDir || s == symMenu || s == symDL) {
      parseList(s, StopSet);
      SectionCell->CheckLastBottomMargin();
      next();
    } else if (s == symAddress || s == symBlockQuote || s == symCenter || s == symFieldset || s == symForm ||
               s == symDiv) {
      parseBlock(s, StopSet);
    } else {
      break;
    }
  }
  if (b && Section && Section.get() == first && SectionsHandedOver == handedOver && Section->Length == 0)
    Section->AddChar(0xA0, T.TagIndex);
  addSection();
  popAProp(tag);
  SectionCell = outer;
  if (b) newSection();
}

void THtmlParser::parseFontTag(THtmlSymbol S, bool Pre) {
  int size = 0;
  bool hasSize = false, hasColor = false;
  TColor color = clNone;
  String face;
  const TBuffCharSetCodePageInfo* charSet = nullptr;
  TAttribute* charSetAttr = nullptr;
  for (const auto& A : *Attributes) {
    switch (A->Symbol) {
      case symSize: {
        int v = A->Value;
        if (A->Text.size() >= 2 && (A->Text[0] == u'+' || A->Text[0] == u'-')) v = BaseFontSize + v;
        size = std::clamp(v, 1, 7);
        hasSize = true;
        if (S == symBaseFont) BaseFontSize = size;
        break;
      }
      case symColor: hasColor = ColorFromString(A->Text, false, color); break;
      case symFace:
        if (!A->Text.empty() && S != symBaseFont) face = A->Text;
        break;
      case symCharSet:
        if (const TBuffCharSetCodePageInfo* info = GetCharSetCodePageInfo(A->Text)) {
          charSet = info;
          charSetAttr = &*A;
        }
        break;
      default: break;
    }
  }
  if (!push(u"font")) return;
  inlineBox();
  TProperties* prop = top();
  if (hasColor) prop->SetPropertyDefault(piColor, TPropValue(int(color | PaletteRelativeFlag)));
  if (hasSize) prop->SetPropertyDefault(piFontSize, TPropValue((Pre ? PreFontConv : FontConv)[size - 1]));
  if (!face.empty()) {
    String family;
    FirstInstalledFontFamily(face, family);
    prop->SetPropertyDefault(piFontFamily, TPropValue(family));
  }
  if (charSet) {
    // The element's own text, and nothing after it, decodes with the
    // charset's code page (the name's own: KOI8-R, CP866 and ISO 8859-5
    // share Windows-1251's charset, not its bytes).
    prop->AssignCharSetAndCodePage(charSet->CharSet(), charSet->CodePage());
    charSetAttr->CodePage = prop->CodePage();
    FCharSetRuns.push_back({FPropStack.TopIndex(), prop, prop->CodePage()});
  }
}

void THtmlParser::switchCharSetRun() {
  // Runs whose element has ended (by its end tag or by implication) are
  // over; an entry of the same place that is not the run's is another
  // element.
  const int topIndex = FPropStack.TopIndex();
  while (!FCharSetRuns.empty()) {
    const CharSetRun& run = FCharSetRuns.back();
    if (run.Level <= topIndex && FPropStack.GetProp(run.Level) == run.Entry && run.Entry->CodePage() == run.CodePage)
      break;
    FCharSetRuns.pop_back();
  }
  const bool inRun = !FCharSetRuns.empty();
  const int codePage = inRun ? FCharSetRuns.back().CodePage : 0;
  if (inRun == FInCharSetRun && codePage == FRunCodePage) return;
  FInCharSetRun = inRun;
  FRunCodePage = codePage;
  // From the character ahead on (read already with the code page before).
  if (inRun)
    Buffer->BeginCodePageRun(T.SIndex, codePage);
  else
    Buffer->EndCodePageRun(T.SIndex);
  T.CodePageSwitched();
}

void THtmlParser::applyCharSet(const String& Text) {
  const TBuffCharSetCodePageInfo* info = GetCharSetCodePageInfo(Text);
  if (!info) return;
  // The name's own code page, not the one of its script's font charset:
  // KOI8-R, CP866 and ISO 8859-5 share Windows-1251's charset, not its bytes.
  top()->AssignCharSetAndCodePage(info->CharSet(), info->CodePage());
  Buffer->SetCharSet(uint16_t(top()->CharSet()));
  Buffer->SetCodePage(top()->CodePage());
}

void THtmlParser::parseMeta() {
  const String httpEq = attrText(symHttpEquiv);
  const String name = attrText(symName);
  const String content = attrText(symContent);
  if (htLowerCase(httpEq) == u"content-type"sv) {
    const String lower = htLowerCase(content);
    const size_t at = lower.find(u"charset=");
    applyCharSet(at == String::npos ? content : WideTrim(content.substr(at + 8)));
    CodePage = top()->CodePage();
    HasCodePage = true;
  }
  if (MetaEvent) MetaEvent(CallingObject, httpEq, name, content);
  next();
}

void THtmlParser::parseLinkTag() {
  String href, rel, rev;
  bool styleSheet = false;
  for (const auto& A : *Attributes) {
    if (A->Symbol == symHref) href = A->Text;
    else if (A->Symbol == symRel) {
      rel = A->Text;
      styleSheet = htLowerCase(rel) == u"stylesheet"sv;
    } else if (A->Symbol == symRev) rev = A->Text;
    else if (A->Symbol == symMedia) {
      if (A->Text.find(u"screen") == String::npos && A->Text.find(u"all") == String::npos) {
        styleSheet = false;
        break;
      }
    }
  }
  if (styleSheet && !href.empty()) {
    try {
      TStream* stream = nullptr;
      std::unique_ptr<TStream> own;
      String base;
      bool tryFile = true;
      if (OnStreamRequest) {
        if (OnDocumentUrlRequest) {
          OnDocumentUrlRequest(CallingObject, href, href);
          base = UrlBase(href);
          OnStreamRequest(CallingObject, href, stream);
          tryFile = false;
        } else {
          OnStreamRequest(CallingObject, href, stream);
          tryFile = stream == nullptr;
        }
      }
      if (!stream && tryFile) {
        if (ExpandName) href = ExpandName(href);
        const size_t cut = href.find_last_of(u"\\/:");
        base = cut == String::npos ? String() : href.substr(0, cut + 1);
        if (FileExists(href)) {
          own = std::make_unique<TFileStream>(href, fmOpenRead | fmShareDenyWrite);
          stream = own.get();
        }
      }
      if (stream) {
        stream->SetPosition(0);
        std::unique_ptr<TBuffer> sheet = TBuffer::CreateFromStream(*stream, href);
        char16_t ch = u' ';
        ParseStyleSheet(*Document->Styles, ch, *sheet, base, true);
      }
    } catch (const std::exception&) {
      // A sheet that cannot be read leaves the page as it is.
    }
  }
  if (LinkEvent) LinkEvent(CallingObject, rel, rev, href);
  next();
}

void THtmlParser::parseBgSound() {
  TAttribute* A = nullptr;
  if (SoundEvent && Attributes->Find(symSrc, A)) {
    TAttribute* L = nullptr;
    const int loop = Attributes->Find(symLoop, L) ? L->Value : 1;
    SoundEvent(CallingObject, A->Text, loop, false);
  }
  next();
}

void THtmlParser::parseStyle() {
  char16_t ch = T.LCh;
  ParseStyleSheet(*Document->Styles, ch, *T.Buffer(), String(), false);
  T.LCh = ch;
  // A sheet left open at the end of an included part ends with that part;
  // the page it was included in goes on.
  if (ch == 0) T.ReadChar();
  next();
}

void THtmlParser::parseScript() {
  T.BeginRawContent();
  if (!Document->OnScript) {
    T.ReadChar();
    do T.NextScriptSymbol();
    while (T.Sy != symScriptEnd && T.Sy != symEndOfDoc);
    T.EndRawContent();
    return;
  }
  String type = attrText(symType);
  if (type.empty()) type = attrText(symLanguage);
  const String name = attrText(symName);
  const String src = attrText(symSrc);
  T.InScript = true;
  T.ReadChar();
  String content;
  for (;;) {
    T.NextScriptSymbol();
    if (T.Sy == symScriptEnd || T.Sy == symEndOfDoc) break;
    if (T.Sy == symLineEnd) content += u"\r\n";
    else content += T.Token.GetString();
  }
  T.InScript = false;
  T.EndRawContent();
  htRaiseEvent(Document->Life, Document->OnScript, CallingObject, name, type, src, content).UnwindIfGone();
}

void THtmlParser::parseTextArea(TTextAreaFormControlObj* Ctl) {
  // The raw text goes to the control line by line, each line with CR LF;
  // it never shows as page text.
  String line;
  T.BeginRawContent();
  for (;;) {
    T.NextTextAreaSymbol();
    if (T.Sy == symTextAreaEnd || T.Sy == symEndOfDoc) break;
    if (T.Sy == symLineEnd) {
      if (Ctl) Ctl->AddStr(line + u"\r\n");
      line.clear();
    } else {
      line += T.Token.GetString();
    }
  }
  // The end tag's rest; a text area its included part left open has none,
  // and the page reads on after the part.
  if (!T.RawContentCut()) {
    while (T.LCh != u'>' && T.LCh != 0) T.ReadChar();
    if (T.LCh == u'>') T.ReadChar();
  }
  T.EndRawContent();
  if (Ctl && !line.empty()) Ctl->AddStr(line);
  if (Ctl) Ctl->ResetToValue();
}

void THtmlParser::parseSelect(TOptionsFormControlObj* Ctl) {
  const bool saveNoBreak = FPropStack.NoBreak;
  FPropStack.NoBreak = false;
  bool inOption = false, selected = false;
  String text;
  std::unique_ptr<TStringList> attributes;
  auto finishOption = [&] {
    if (!inOption) return;
    size_t b = 0, e = text.size();
    while (b < e && text[b] < 33) ++b;
    while (e > b && text[e - 1] < 33) --e;
    if (Ctl) Ctl->AddStr(text.substr(b, e - b), selected, std::move(attributes));
    inOption = false;
    text.clear();
    attributes.reset();
  };
  next();
  while (!SelectStops()[Sy()]) {
    if (Sy() == symOption || Sy() == symOptionEnd) {
      finishOption();
      if (Sy() == symOption) {
        TAttribute* sel = nullptr;
        inOption = true;
        selected = Attributes->Find(symSelected, sel);
        attributes = Attributes->CreateStringList();
      }
    } else if (Sy() == symText && inOption) {
      text += T.Token.GetString();
    }
    next();
  }
  finishOption();
  if (Ctl) Ctl->ResetToValue();
  FPropStack.NoBreak = saveNoBreak;
}

void THtmlParser::parseMap() {
  auto map = std::make_unique<TMapItem>();
  map->MapName = htUpperCase(attrText(symName));
  next();
  int strays = 0;
  while (Sy() != symMapEnd && Sy() != symEndOfDoc) {
    if (Sy() == symArea) map->AddArea(Attributes.get());
    else if (Sy() != symText && ++strays >= 3) break;
    next();
  }
  if (Sy() == symMapEnd) Document->Maps.push_back(std::move(map));
  advance();
}

void THtmlParser::parseObject() {
  // Without the viewer's object hook the content is read as ordinary HTML.
  if (!OnObjectTag) {
    advance();
    return;
  }
  const std::unique_ptr<TStringList> attributes = Attributes->CreateStringList();
  ensureSection();
  const int tagIndex = T.TagIndex;
  const bool pushed = push(u"object");
  std::unique_ptr<TPanelObj> panel = section()->CreatePanel(Attributes.get(), SectionCell);
  panel->ProcessProperties(top());
  TStringList params;
  T.SkipBlanks();
  next();
  while (Sy() == symParam || (Sy() == symText && T.Token.GetString() == u" "sv)) {
    if (Sy() == symParam) {
      TAttribute* name = nullptr;
      TAttribute* value = nullptr;
      if (Attributes->Find(symName, name))
        params.Add(Attributes->Find(symValue, value) ? name->Text + u"=" + value->Text : name->Text);
    }
    T.SkipBlanks();
    next();
  }
  bool wantPanel = false;
  OnObjectTag(CallingObject, panel.get(), *attributes, params, wantPanel);
  if (!wantPanel) {
    panel.reset();  // leaves the document's panel list
    if (pushed) popAProp(u"object");
    return;         // the content is read as ordinary HTML
  }
  if (top()->BorderStyleNotNone()) Document->ProcessInlines(T.SIndex, top(), true);
  section()->AddObject(std::move(panel), tagIndex);
  while (Sy() != symObjectEnd && Sy() != symEndOfDoc) next();
  if (pushed) popAProp(u"object");
  advance();
}

void THtmlParser::parseInline(const TSymbolSet& StopSet) {
  const THtmlSymbol s = Sy();
  if (s == symText) {
    const String& text = T.Token.GetString();
    const bool blank = text.empty() || text == u" "sv;
    if (!hasSection() && !blank) newSection();
    // A lone blank would only lead a section still to be made: dropped.
    if (Section || (SectionPending && !blank))
      section()->AddRun(text.data(), T.Token.Indexes().data(), T.Token.Count());
    advance();
    return;
  }
  if (isPhrase(s) || isSizeTag(s)) {
    if (isSizeTag(s)) ensureSection();
    if (push(SymbolName(s))) inlineBox();
    fontRun();
    advance();
    return;
  }
  if (isPhraseEnd(s) || isSizeTagEnd(s)) {
    popAProp(SymbolName(s));
    fontRun();
    advance();
    return;
  }
  switch (s) {
    case symFont:
    case symBaseFont:
      parseFontTag(s, false);
      fontRun();
      advance();
      return;
    case symFontEnd:
      popAProp(u"font");
      fontRun();
      advance();
      return;
    case symA: {
      TAttribute* href = nullptr;
      const bool isLink = Attributes->Find(symHref, href);
      if (isLink) {
        closeLink();
        LinkOpen = true;
        TAttribute* target = nullptr;
        CurrentUrlTarget->Assign(href->Text, Attributes->Find(symTarget, target) ? target->Text : String(),
                                 Attributes.get(), T.SIndex);
        TAttribute* tab = nullptr;
        if (Attributes->Find(symTabIndex, tab)) CurrentUrlTarget->TabIndex = tab->Value;
      }
      const bool pushed = push(u"a", isLink ? String(u"link") : String());
      if (pushed) inlineBox();
      if (!hasSection()) newSection();
      else fontRun();
      TAttribute* name = nullptr;
      if (Attributes->Find(symName, name)) {
        String n = htUpperCase(name->Text);
        if (!n.empty() && n[0] == u'#') n.erase(0, 1);
        Document->AddChPosObjectToIDNameList(n, T.SIndex);
        section()->AnchorName = true;
      }
      if (isLink) section()->HRef(symHref, Document, CurrentUrlTarget.get(), top());
      else if (pushed) popAProp(u"a");  // an anchor without a link opens no element that A end closes
      advance();
      return;
    }
    case symAEnd:
      closeLink();
      advance();
      return;
    case symH:
      parseHeading(StopSet);
      return;
    case symHEnd:
      advance();
      return;
    case symBR:
      parseLineBreak(TSymbolSet());
      return;
    case symHR: {
      addSection();
      push(u"hr");
      auto line = std::make_unique<THorzLine>(Document, Attributes.get(), top());
      auto block = std::make_unique<THRBlock>(Document, top(), SectionCell, Attributes.get());
      block->Align = line->RuleAlign;
      block->Line = line.get();
      block->MyCell->Add(std::move(line), T.TagIndex);
      addBlock(std::move(block));
      popAProp(u"hr");
      advance();
      return;
    }
    case symImg:
    case symPanel: {
      ensureSection();
      TSection* const Section = section();
      if (push(SymbolName(s)) && top()->BorderStyleNotNone()) Document->ProcessInlines(T.SIndex, top(), true);
      TFloatingObj* obj = s == symImg ? static_cast<TFloatingObj*>(Section->AddImage(Attributes.get(), SectionCell, T.TagIndex))
                                      : Section->AddPanel(Attributes.get(), SectionCell, T.TagIndex);
      if (obj) obj->ProcessProperties(top());
      popAProp(SymbolName(s));
      advance();
      return;
    }
    case symInput:
    case symSelect: {
      ensureSection();
      TSection* const Section = section();
      push(SymbolName(s));
      TFormControlObj* ctl =
          Section->AddFormControl(s, Document, Attributes.get(), SectionCell, T.TagIndex, top(), CurrentForm);
      if (s == symSelect) parseSelect(dynamic_cast<TOptionsFormControlObj*>(ctl));
      if (ctl) ctl->ProcessProperties(top());
      popAProp(SymbolName(s));
      if (s == symInput || Sy() == symSelectEnd) advance();
      return;
    }
    case symTextArea: {
      ensureSection();
      TSection* const Section = section();
      push(u"textarea");
      TFormControlObj* ctl =
          Section->AddFormControl(s, Document, Attributes.get(), SectionCell, T.TagIndex, top(), CurrentForm);
      parseTextArea(dynamic_cast<TTextAreaFormControlObj*>(ctl));
      if (ctl) ctl->ProcessProperties(top());
      popAProp(u"textarea");
      advance();
      return;
    }
    case symTextAreaEnd:
      advance();
      return;
    case symPage:
      addSection();
      SectionCell->Add(std::make_unique<TPage>(Document, top()), T.TagIndex);
      advance();
      return;
    case symNoBr:
    case symNoBrEnd:
      FPropStack.NoBreak = s == symNoBr;
      advance();
      return;
    case symWbr:
      if (Section) Section->AllowBreakAfterLast();
      advance();
      return;
    case symPre: {
      TAttribute* wrap = nullptr;
      if (!Attributes->Find(symWrap, wrap)) {
        parsePre(StopSet);
      } else {
        addSection();
        push(u"pre");
        next();
      }
      return;
    }
    case symPreEnd:
      popAProp(u"pre");
      advance();
      return;
    case symTable:
      parseTable();
      return;
    case symMap:
      parseMap();
      return;
    case symScript:
      parseScript();
      advance();
      return;
    case symObject:
      parseObject();
      return;
    default:
      advance();
      return;
  }
}

void THtmlParser::parseHeading(const TSymbolSet&) {
  const int level = T.Value;
  if (level < 1 || level > 6) {
    next();
    return;
  }
  const Nesting nesting(BlockDepth);
  if (!nesting.Entered) {  // too deep: the content joins the current block
    next();
    return;
  }
  addSection();
  const String tag = u"h" + IntToStr(level);
  push(tag);
  setAlignProp(false);
  auto headingAttrs = std::make_unique<TAttributeList>();
  for (const auto& A : *Attributes)
    headingAttrs->Add(std::make_unique<TAttribute>(A->Symbol, A->DblValue, A->Name, A->Text, A->CodePage));
  T.SkipBlanks();
  next();
  if (Sy() == symCenter) {
    top()->SetPropertyDefault(piTextAlign, TPropValue(u"center"));
    next();
  }
  auto block = std::make_unique<TBlock>(Document, top(), SectionCell, headingAttrs.get());
  TBlock* b = block.get();
  addBlock(std::move(block));
  TCellBasic* outer = SectionCell;
  SectionCell = b->MyCell.get();
  Section = std::make_unique<TSection>(Document, headingAttrs.get(), top(), CurrentUrlTarget.get(), SectionCell, true);
  for (;;) {
    const THtmlSymbol s = Sy();
    if (s == symP) parseParagraph(TSymbolSet());
    else if (s == symDiv) parseBlock(s, symSet({symHEnd}));
    else if (s == symUnknownTag) next();
    else if (HeadingContent()[s]) parseInline(TSymbolSet());
    else break;
  }
  addSection();
  popAProp(tag);
  SectionCell = outer;
  if (Sy() == symHEnd) next();
}

void THtmlParser::parsePre(const TSymbolSet&) {
  addSection();
  const int level = FPropStack.TopIndex();
  push(u"pre");
  auto block = std::make_unique<TBlock>(Document, top(), SectionCell, Attributes.get());
  TBlock* b = block.get();
  addBlock(std::move(block));
  TCellBasic* outer = SectionCell;
  SectionCell = b->MyCell.get();
  auto newPre = [&] {
    Section = std::make_unique<TPreFormated>(Document, nullptr, top(), CurrentUrlTarget.get(), SectionCell, false);
  };
  newPre();
  TokenObj token;
  auto flush = [&] {
    if (token.Leng > 0 && Section) Section->AddTokenObj(token);
    token.Clear();
  };
  auto endLine = [&] {
    flush();
    SectionCell->Add(std::move(Section), T.SIndex);
    newPre();
  };
  // The cell a P inside the block returns to at its end (none outside one).
  TCellBasic* paraOuter = nullptr;
  // Ends the line at a block edge: a line with nothing on it yet is no line.
  auto endText = [&] {
    flush();
    if (Section && !Section->Chars.empty()) endLine();
  };
  auto closePara = [&] {
    endText();
    // The empty line begun for the paragraph's cell is not kept.
    if (Section) Section->DetachFromDocument();
    Section.reset();
    popAProp(u"p");
    SectionCell = paraOuter;
    paraOuter = nullptr;
    newPre();
  };
  // Preformatted text is read character by character: blanks and line
  // ends are kept.
  if (T.LCh == u'\r') T.ReadChar();  // a line end right after the tag starts no line
  bool done = false;
  while (!done) {
    const char16_t c = T.LCh;
    if (c == 0) break;
    if (c == u'\r') {
      endLine();
      T.ReadChar();
    } else if (c < 9) {
      T.ReadChar();
    } else if (c == u'&') {
      const int index = T.SIndex;
      const String text = T.DecodeEntity(T.CurrentCodePage());
      for (char16_t ch : text) token.AddUnicodeChar(ch, index);
    } else if (c != u'<') {
      token.AddUnicodeChar(c, T.SIndex);
      T.ReadChar();
    } else {
      flush();
      next();
      const THtmlSymbol s = Sy();
      switch (s) {
        case symText:  // a "<" that starts no tag
          token.AddUnicodeChar(u'<', T.TagIndex);
          for (int i = 1; i < T.Token.Count(); ++i) token.AddUnicodeChar(T.Token.GetString()[size_t(i)], T.Token.Index(i));
          break;
        case symPreEnd: case symTDEnd: case symTHEnd: case symTable: case symEndOfDoc:
          done = true;
          break;
        case symBR:
          Section->AddChar(BrkCh, T.TagIndex);
          endLine();
          break;
        case symP:
          // A paragraph inside the preformatted block is a block of its own
          // (its text still preformatted); the text after it starts a new
          // line.
          endText();
          if (paraOuter) closePara();
          push(u"p");
          {
            auto para = std::make_unique<TBlock>(Document, top(), SectionCell, Attributes.get());
            TBlock* pb = para.get();
            addBlock(std::move(para));
            paraOuter = SectionCell;
            SectionCell = pb->MyCell.get();
          }
          newPre();
          break;
        case symPEnd:
          if (paraOuter) closePara();
          else endText();
          break;
        case symA: case symAEnd: case symImg: case symPanel: case symFont: case symBaseFont: case symFontEnd:
        case symInput: case symSelect: case symTextArea: case symMap: case symPage: {
          // Handled as inline content, but the characters after the tag
          // are read here again, blanks and line ends kept.
          InPre = true;
          struct Reset {
            bool& F;
            ~Reset() { F = false; }
          } reset{InPre};
          parseInline(TSymbolSet());
          if (!Section) newPre();
          break;
        }
        case symScript:
          parseScript();
          break;
        default:
          if ((isPhrase(s) && s != symTT && s != symCode && s != symKbd && s != symSamp) || isSizeTag(s)) {
            if (push(SymbolName(s))) inlineBox();
            fontRun();
          } else if ((isPhraseEnd(s) && s != symTTEnd && s != symCodeEnd && s != symKbdEnd && s != symSampEnd) ||
                     isSizeTagEnd(s)) {
            popAProp(SymbolName(s));
            fontRun();
          }
          break;
      }
      if (done) break;
      followCharSetRuns();
    }
  }
  if (paraOuter) closePara();
  flush();
  if (Section) SectionCell->Add(std::move(Section), T.SIndex);
  // Empty first and last lines go.
  for (int k : {b->MyCell->Count() - 1, 0}) {
    if (k < 0 || k >= b->MyCell->Count()) continue;
    auto* pre = dynamic_cast<TPreFormated*>(b->MyCell->GetItem(k));
    if (pre && pre->Length <= 1) b->MyCell->Delete(k);
  }
  FPropStack.PopTo(level);
  SectionCell = outer;
  // The end of the data ends the block too: the reader must not meet the
  // PRE tag that started it again.
  if (!done || Sy() == symPreEnd) next();
}
