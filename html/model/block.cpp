// Block boxes and their kinds: construction from the element's computed
// style and attributes, margin collapsing, copies and the queries that
// forward to the content.
#include "html/model/block.h"

#include <algorithm>
#include <cstdlib>

#include "html/parse/html_common.h"
#include "html/parse/style_colors.h"
#include "html/parse/style_fonts.h"
#include "html/model/document.h"
#include "html/images/image_object.h"
#include "html/model/list_bullets.h"
#include "html/model/rule_page.h"
#include "html/model/table.h"
#include "html/model/text_buffers.h"
#include "platform/core/strings.h"
#include "platform/graphics/bitmap.h"

using namespace std::string_view_literals;

namespace {
String slotLower(const TProperties* Prop, TPropertyIndex i) {
  return Prop && Prop->Props[i].IsString() ? htLowerCase(Prop->Props[i].AsString()) : String();
}
uint8_t justifyFrom(const TProperties* Prop) {
  const String a = slotLower(Prop, piTextAlign);
  return a == u"right"sv ? 3 : a == u"center"sv ? 2 : 1;
}
}  // namespace

TBlock::TBlock(ThtDocument* ADocument, TProperties* Prop, TCellBasic* AOwnerCell,
               TAttributeList* Attributes)
    : TSectionBase(ADocument, Prop), MyCell(std::make_unique<TBlockCell>(ADocument)),
      OwnerCell(AOwnerCell) {
  MyCell->OwnerBlock = this;
  MyCell->IndentManager = AOwnerCell ? AOwnerCell->IndentManager : nullptr;
  if (!Prop) return;
  MyCell->OwnerTag = Prop->PropTag();
  Prop->GetVMarginArray(BoxProps);
  Prop->GetClear(Clear);
  TAlignmentType fl;
  Float = Prop->GetFloat(fl) ? fl : ANone;
  HasBorderStyle = Prop->BorderStyleNotNone();
  const TPropValue& color = Prop->Props[piColor];
  Color = color.IsNumber() ? TColor(color.AsInt()) : clBlack;
  EmSize = Prop->EmSize;
  ExSize = Prop->ExSize;
  Title = Prop->PropTitle();
  String url;
  if (Prop->GetBackgroundImage(url) && !url.empty()) {
    BGImage = std::make_unique<TImageObj>(ADocument, url);
    Prop->GetBackgroundPos(EmSize, ExSize, BGPos);
  }
  Positioning = Prop->GetPosition();
  if (Positioning == posAbsolute) Float = ANone;
  Visibility = Prop->GetVisibility();
  Prop->GetPageBreaks(PageBreakBefore, PageBreakAfter, AvoidBreakInside);
  if (Positioning != posStatic) {
    ZIndex = Prop->GetZIndex() * 10;
    if (Positioning == posAbsolute && ZIndex == 0) ZIndex = 1;
  }
  if (Positioning == posAbsolute || Positioning == posFixed || Float == ALeft || Float == ARight) {
    OwnIndents = std::make_unique<TIndentManager>();
    MyCell->IndentManager = OwnIndents.get();
    if ((Float == ALeft || Float == ARight) && ZIndex == 0) ZIndex = 1;
  }
  const String& tag = Prop->PropTag();
  const String& cls = Prop->PropClass();
  const String& id = Prop->PropID();
  TagClass.reserve(tag.size() + cls.size() + id.size() + 2);
  TagClass.append(tag).append(1, u'.').append(cls).append(1, u'#').append(id);
  CollapseMargins();
  if (Attributes && ADocument && ADocument->IdList) {
    const String id = Attributes->GetID();
    if (!id.empty()) ADocument->IdList->AddObject(id, this);
  }
  ClipOverflow = Prop->IsOverflowHidden();
  Justify = justifyFrom(Prop);
}

TBlock::TBlock(ThtDocument* NewDocument, const TBlock& Source)
    : TSectionBase(NewDocument, Source), MyCell(std::make_unique<TBlockCell>(NewDocument, *Source.MyCell)),
      BoxProps(Source.BoxProps), OwnerCell(Source.OwnerCell), Title(Source.Title),
      TagClass(Source.TagClass), Box(Source.Box), EmSize(Source.EmSize), ExSize(Source.ExSize),
      Color(Source.Color), HasBorderStyle(Source.HasBorderStyle), Float(Source.Float),
      Clear(Source.Clear), BGPos(Source.BGPos), Positioning(Source.Positioning),
      Visibility(Source.Visibility), BottomIsParaSpace(Source.BottomIsParaSpace),
      PageBreakBefore(Source.PageBreakBefore), PageBreakAfter(Source.PageBreakAfter),
      AvoidBreakInside(Source.AvoidBreakInside), ClipOverflow(Source.ClipOverflow),
      Justify(Source.Justify), IsListBlock(Source.IsListBlock) {
  ZIndex = Source.ZIndex;
  MyCell->OwnerBlock = this;
  if (Source.BGImage && NewDocument && NewDocument->PrintBlockBackgrounds)
    BGImage = std::unique_ptr<TImageObj>(static_cast<TImageObj*>(Source.BGImage->CreateCopy(NewDocument).release()));
  if (Positioning == posAbsolute || Positioning == posFixed || Float == ALeft || Float == ARight) {
    OwnIndents = std::make_unique<TIndentManager>();
    MyCell->IndentManager = OwnIndents.get();
  }
}

TBlock::~TBlock() {
  if (MyCell) MyCell->IndentManager = nullptr;
}

std::unique_ptr<TSectionBase> TBlock::CreateCopy(ThtDocument* NewDocument) const {
  return std::unique_ptr<TSectionBase>(new TBlock(NewDocument, *this));
}

void TBlock::CollapseMargins() {
  int32_t top = 0, bottom = 0;
  bool topIsParaSpace = false;
  ConvertVertMargins(BoxProps, 400, EmSize, ExSize, top, bottom, topIsParaSpace, BottomIsParaSpace);
  Box[MA(piMarginTop)] = top;
  Box[MA(piMarginBottom)] = bottom;
  auto setTop = [&](int32_t v) {
    Box[MA(piMarginTop)] = v;
    BoxProps[MA(piMarginTop)] = TPropValue(int(v));
  };
  if (Positioning == posAbsolute) {
    if (topIsParaSpace) setTop(0);
    return;
  }
  if (Float == ALeft || Float == ARight || Display == pdNone) {
    if (topIsParaSpace) setTop(top);
    return;
  }
  TSectionBase* prev = nullptr;
  if (OwnerCell)
    for (int i = OwnerCell->Count() - 1; i >= 0; --i) {
      TSectionBase* item = OwnerCell->GetItem(i);
      if (item == this || item->Display == pdNone) continue;
      TBlock* b = item->AsBlock();
      if (b && b->Positioning == posAbsolute) continue;
      prev = item;
      break;
    }
  if (!prev) {
    if (topIsParaSpace) {
      setTop(0);
    } else if (OwnerCell && (OwnerCell->GetOwnerTag() == u"default"sv || OwnerCell->GetOwnerTag() == u"body"sv) &&
               OwnerCell->GetOwnerBlock()) {
      setTop(std::max(0, top - OwnerCell->GetOwnerBlock()->Box[MA(piMarginTop)]));
    } else if (topIsParaSpace) {
      setTop(top);
    }
    return;
  }
  TBlock* prevBlock = prev->AsBlock();
  if (prevBlock && (prevBlock->Float == ALeft || prevBlock->Float == ARight) && topIsParaSpace &&
      (dynamic_cast<TTableBlock*>(prev) || dynamic_cast<TTableAndCaptionBlock*>(prev))) {
    // The space above the table (its own, or what it took over from the
    // block before it) goes above the text beside it, and the table is laid
    // out as low (a cell lowers a float by the top margin of the block after
    // it): the table's top and the first line beside it meet.
    const int32_t tableTop = prevBlock->Box[MA(piMarginTop)];
    prevBlock->Box[MA(piMarginTop)] = 0;
    prevBlock->BoxProps[MA(piMarginTop)] = TPropValue(0);
    setTop(std::max(top, tableTop == AutoValue || tableTop == NotSetValue ? 0 : tableTop));
    return;
  }
  if (prevBlock && (prevBlock->Float == ALeft || prevBlock->Float == ARight)) {
    // A float's margins never collapse: its bottom margin keeps what
    // follows clear of it, and taken over here it would lower the float
    // itself (a cell lowers a float by the top margin of the block after it).
    setTop(top);
    return;
  }
  if (prevBlock) {
    const int32_t B = prevBlock->Box[MA(piMarginBottom)];
    prevBlock->Box[MA(piMarginBottom)] = 0;
    prevBlock->BoxProps[MA(piMarginBottom)] = TPropValue(0);
    prevBlock->BottomIsParaSpace = false;
    int32_t T = top;
    if (B >= 0 && T >= 0) T = std::max(B, T);
    else if (B < 0 && T < 0) T = std::min(B, T);
    else T = T + B;
    setTop(T);
    return;
  }
  if (OwnerCell && OwnerCell->GetOwnerTag() == u"li"sv && topIsParaSpace &&
      (TagClass.rfind(u"ul.", 0) == 0 || TagClass.rfind(u"ol.", 0) == 0)) {
    setTop(0);
    return;
  }
  if (topIsParaSpace) setTop(top);
}

bool TBlock::CursorToXY(TCanvas* Canvas, int Cursor, int& X, int& Y) {
  return Display != pdNone && MyCell->CursorToXY(Canvas, Cursor, X, Y);
}
int TBlock::FindDocPos(int SourcePos, bool Prev) {
  return Display == pdNone ? -1 : MyCell->FindDocPos(SourcePos, Prev);
}
int TBlock::FindSourcePos(int DocPos) { return Display == pdNone ? -1 : MyCell->FindSourcePos(DocPos); }
int TBlock::FindString(int From, const String& ToFind, bool MatchCase) {
  return Display == pdNone ? -1 : MyCell->FindString(From, ToFind, MatchCase);
}
int TBlock::FindStringR(int From, const String& ToFind, bool MatchCase) {
  return Display == pdNone ? -1 : MyCell->FindStringR(From, ToFind, MatchCase);
}
bool TBlock::GetChAtPos(int Pos, char16_t& Ch, TObject*& Obj) {
  return Display != pdNone && MyCell->GetChAtPos(Pos, Ch, Obj);
}
void TBlock::AddSectionsToList() { MyCell->AddSectionsToList(); }

int TBlock::FindCursor(TCanvas* Canvas, int X, int Y, int& XR, int& YR, int& CaretHt, bool& Intext) {
  for (auto it = PaintList.rbegin(); it != PaintList.rend(); ++it) {
    if ((*it)->BorderTop > Y || Y >= (*it)->PaintBottom) continue;
    const int result = (*it)->FindCursor(Canvas, X, Y, XR, YR, CaretHt, Intext);
    if (result >= 0) return result;
  }
  return -1;
}

bool TBlock::PtInObject(int X, int Y, TObject*& Obj, int& IX, int& IY) {
  for (auto it = PaintList.rbegin(); it != PaintList.rend(); ++it) {
    if ((*it)->BorderTop > Y || Y >= (*it)->PaintBottom) continue;
    if ((*it)->PtInObject(X, Y, Obj, IX, IY)) return true;
  }
  return false;
}

uint8_t TBlock::GetURL(TCanvas* Canvas, int X, int Y, std::unique_ptr<TUrlTarget>& UrlTarg,
                       TFormControlObj*& FormControl, String& ATitle) {
  if (Display == pdNone) {
    UrlTarg.reset();
    return 0;
  }
  uint8_t flags = MyCell->GetURL(Canvas, X, Y, UrlTarg, FormControl, ATitle);
  const int viewY = Document ? Y - Document->ScrollY : Y;
  if (!Title.empty() && X >= BoxRect.Left && X < BoxRect.Right && viewY >= BoxRect.Top &&
      viewY < BoxRect.Bottom) {
    ATitle = Title;
    flags |= guTitle;
  }
  return flags;
}

void TBlock::CopyToClipboard() {
  MyCell->CopyToClipboard();
  if (!Document || !Document->SelBuffer) return;
  if (TagClass.rfind(u"p.", 0) == 0 && MyCell->StartPos + MyCell->Length < Document->SelEnd)
    Document->SelBuffer->AddTextCR(u"", 0);
}

// ---- list items ----

TBlockLI::TBlockLI(ThtDocument* ADocument, TProperties* Prop, TCellBasic* AOwnerCell,
                   THtmlSymbol Sy, bool APlain, char16_t AIndexType, int AListNumber,
                   int ListLevel, TAttributeList* Attributes)
    : TBlock(ADocument, Prop, AOwnerCell, Attributes), ListNumber(AListNumber) {
  const TListStyleType cssStyle = Prop ? Prop->GetListStyleType() : lbBlank;
  const bool hasCss = Prop && !Prop->Props[piListStyleType].IsEmpty() && cssStyle != lbBlank;
  switch (Sy) {
    case symOL:
      ListType = lkOrdered;
      if (!hasCss) {
        switch (AIndexType) {
          case u'A': ListStyle = lbUpperAlpha; break;
          case u'I': ListStyle = lbUpperRoman; break;
          case u'a': ListStyle = lbLowerAlpha; break;
          case u'i': ListStyle = lbLowerRoman; break;
          default: ListStyle = lbDecimal; break;
        }
      }
      break;
    case symUL:
    case symDir:
    case symMenu:
      ListType = lkUnordered;
      if (APlain) ListStyle = lbNone;
      else if (!hasCss) {
        const int m = ((ListLevel % 3) + 3) % 3;
        ListStyle = m == 0 ? lbSquare : m == 1 ? lbDisc : lbCircle;
      }
      break;
    case symDL: ListType = lkDefinition; break;
    default:
      ListType = lkLoneItem;
      if (!hasCss) ListStyle = lbDisc;
      {
        const TPropValue& ml = BoxProps[MA(piMarginLeft)];
        if (ml.IsEmpty() || (ml.IsNumber() && ml.AsInt() == 0) ||
            (ml.IsString() && ml.AsString() == u"0"sv))
          BoxProps[MA(piMarginLeft)] = TPropValue(16);
      }
      break;
  }
  if (hasCss && !(APlain && ListType == lkUnordered)) ListStyle = cssStyle;
  TPropValue& pl = BoxProps[MA(piPaddingLeft)];
  if (pl.IsEmpty())
    pl = TPropValue((Sy == symDL || ListStyle == lbNone) ? 0 : 40);
  if (Prop) {
    BulletFont = std::make_unique<TMyFont>();
    if (auto font = Prop->GetFont()) BulletFont->Assign(*font);
    const String image = Prop->GetListStyleImage();
    if (!image.empty()) BulletImage = std::make_unique<TImageObj>(ADocument, image);
  }
}

TBlockLI::TBlockLI(ThtDocument* NewDocument, const TBlockLI& Source)
    : TBlock(NewDocument, Source), ListType(Source.ListType), ListNumber(Source.ListNumber),
      ListStyle(Source.ListStyle) {
  if (Source.BulletFont) {
    BulletFont = std::make_unique<TMyFont>();
    BulletFont->Assign(*Source.BulletFont);
  }
  if (Source.BulletImage)
    BulletImage = std::unique_ptr<TImageObj>(static_cast<TImageObj*>(Source.BulletImage->CreateCopy(NewDocument).release()));
}

TBlockLI::~TBlockLI() = default;

std::unique_ptr<TSectionBase> TBlockLI::CreateCopy(ThtDocument* NewDocument) const {
  return std::unique_ptr<TSectionBase>(new TBlockLI(NewDocument, *this));
}


String TBlockLI::NumberText() const {
  if (ListType != lkOrdered && ListType != lkUnordered && ListType != lkLoneItem) return String();
  return ListBulletText(ListStyle, ListNumber);
}

// ---- body ----

TBodyBlock::TBodyBlock(ThtDocument* ADocument, TProperties* Prop, TCellBasic* AOwnerCell,
                       TAttributeList* Attributes)
    : TBlock(ADocument, Prop, AOwnerCell, Attributes) {
  BGImage.reset();
  Positioning = posStatic;
  if (!Prop || !ADocument) return;
  String url;
  if (Prop->GetBackgroundImage(url) && !url.empty()) {
    TBackgroundPosRecs pos{};
    Prop->GetBackgroundPos(EmSize, ExSize, pos);
    ADocument->SetBackgroundImage(url, pos);
  }
  const TPropValue& bg = Prop->Props[piBackgroundColor];
  if (bg.IsNumber() && TColor(bg.AsInt()) != clNone)
    ADocument->SetBackgroundColor(TColor(bg.AsInt()) | PalRelative);
}

std::unique_ptr<TSectionBase> TBodyBlock::CreateCopy(ThtDocument* NewDocument) const {
  return std::unique_ptr<TSectionBase>(new TBodyBlock(NewDocument, *this));
}

// ---- tables ----

TTableBlock::TTableBlock(ThtDocument* ADocument, TProperties* Prop, TCellBasic* AOwnerCell,
                         THtmlTable* ATable, TAttributeList* Attributes, int)
    : TBlock(ADocument, Prop, AOwnerCell, Attributes), Table(ATable) {
  Justify = 0;
  bool hasCssBackground = false;
  String cssUrl;
  if (Prop && Prop->GetBackgroundImage(cssUrl)) hasCssBackground = true;
  if (Attributes)
    for (const auto& A : *Attributes) {
      switch (A->Symbol) {
        case symWidth:
          if (A->Text.find(u'%') == String::npos) {
            WidthAttr = A->Value;
          } else {
            WidthIsPercent = true;
            if (A->Value >= 1 && A->Value <= 100) WidthAttr = A->Value * 10;
          }
          break;
        case symHeight:
          if (BoxProps[MA(piHeight)].IsEmpty()) BoxProps[MA(piHeight)] = TPropValue(A->Text);
          break;
        case symHSpace: HSpace = std::min(40, std::abs(A->Value)); break;
        case symVSpace: VSpace = std::min(200, std::abs(A->Value)); break;
        case symAlign: {
          const String s = htUpperCase(A->Text);
          if (s == u"CENTER"sv) Justify = 2;
          else if (s == u"LEFT"sv && Float == ANone) Float = ALeft;
          else if (s == u"RIGHT"sv && Float == ANone) Float = ARight;
          break;
        }
        case symBgColor: HasBgColor = ColorFromString(A->Text, false, BgColor); break;
        case symBackground:
          if (!hasCssBackground && !A->Text.empty()) {
            BGImage = std::make_unique<TImageObj>(ADocument, A->Text);
            BGPos = TBackgroundPosRecs{};
          }
          break;
        default: break;
      }
    }
  if (!Table) return;
  // Border defaults from the table's attributes.
  const TColor defColor = Table->BorderColor == clNone ? TColor(0xC0C0C0) : Table->BorderColor;
  const bool borderAttr = Table->brdWidthAttr > 0 || Table->HasBorderWidth;
  const int defWidth = borderAttr ? Table->BorderWidth : 3;
  for (int side = 0; side < 4; ++side) {
    TPropValue& style = BoxProps[size_t(MA(TPropertyIndex(piBorderTopStyle + side)))];
    TPropValue& width = BoxProps[size_t(MA(TPropertyIndex(piBorderTopWidth + side)))];
    TPropValue& color = BoxProps[size_t(MA(TPropertyIndex(piBorderTopColor + side)))];
    bool found = false;
    int st = style.IsNumber() ? style.AsInt() : style.IsString() ? BorderStyleFromString(style.AsString(), found) : 0;
    if (style.IsNumber()) found = true;
    if (found && st != bssNone) {
      if (Table->BorderWidth > 0 || !borderAttr) BorderFromTable = true;
      if (width.IsEmpty()) width = TPropValue(defWidth);
    } else if (Table->BorderWidth > 0) {
      st = color.IsEmpty() ? (Table->BorderColor != clNone ? bssSolid : bssOutset) : bssSolid;
      style = TPropValue(st);
      if (width.IsEmpty()) width = TPropValue(Table->BorderWidth);
      HasBorderStyle = true;
      BorderFromTable = true;
    }
    if (color.IsEmpty() && st != bssNone) {
      const bool topLeft = side == 0 || side == 3;
      TColor c = defColor;
      if (st == bssInset) c = topLeft ? Table->BorderColorDark : Table->BorderColorLight;
      else if (st == bssOutset) c = topLeft ? Table->BorderColorLight : Table->BorderColorDark;
      color = TPropValue(int(c));
    }
  }
  const TPropValue& w = BoxProps[MA(piWidth)];
  if (w.IsString() && w.AsString().find(u'%') != String::npos) {
    double value = 0;
    String unit;
    if (ParseNumberAndUnit(w.AsString(), value, unit) && value > 0) {
      WidthIsPercent = true;
      WidthAttr = std::min(1000, int(value * 10));
    }
  } else if (!w.IsEmpty()) {
    int autoCount = 0;
    TMarginArray m{};
    ConvertMarginArray(BoxProps, 100, 100, EmSize, ExSize, defWidth, autoCount, m);
    if (m[MA(piWidth)] > 0 && m[MA(piWidth)] != AutoValue) {
      WidthIsPercent = false;
      WidthAttr = m[MA(piWidth)];
    }
  }
  CollapseMargins();
  Table->Float = Float == ALeft || Float == ARight;
  if (Table->Float && ZIndex == 0) ZIndex = 1;
}

TTableBlock::TTableBlock(ThtDocument* NewDocument, const TTableBlock& Source)
    : TBlock(NewDocument, Source), WidthAttr(Source.WidthAttr), WidthIsPercent(Source.WidthIsPercent),
      BgColor(Source.BgColor), HasBgColor(Source.HasBgColor), HSpace(Source.HSpace),
      VSpace(Source.VSpace), HasCaption(Source.HasCaption), BorderFromTable(Source.BorderFromTable) {
  Table = MyCell->Count() > 0 ? dynamic_cast<THtmlTable*>(MyCell->GetItem(0)) : nullptr;
}

std::unique_ptr<TSectionBase> TTableBlock::CreateCopy(ThtDocument* NewDocument) const {
  return std::unique_ptr<TSectionBase>(new TTableBlock(NewDocument, *this));
}

TTableAndCaptionBlock::TTableAndCaptionBlock(ThtDocument* ADocument, TProperties* Prop,
                                             TCellBasic* AOwnerCell, TAttributeList* Attributes,
                                             TTableBlock* ATableBlock)
    : TBlock(ADocument, Prop, AOwnerCell, nullptr), TableBlock(ATableBlock) {
  BGImage.reset();
  Justify = ATableBlock ? ATableBlock->Justify : 0;
  if (Attributes)
    for (const auto& A : *Attributes) {
      if (A->Symbol == symAlign) {
        const String s = htUpperCase(A->Text);
        if (s == u"CENTER"sv) Justify = 2;
        else if (s == u"LEFT"sv && Float == ANone) Float = ALeft;
        else if (s == u"RIGHT"sv && Float == ANone) Float = ARight;
      } else if (A->Symbol == symID) {
        TableID = A->Text;
      }
    }
  if (ATableBlock) {
    Box[MA(piMarginTop)] = ATableBlock->Box[MA(piMarginTop)];
    Box[MA(piMarginBottom)] = ATableBlock->Box[MA(piMarginBottom)];
    BoxProps[MA(piMarginTop)] = ATableBlock->BoxProps[MA(piMarginTop)];
    BoxProps[MA(piMarginBottom)] = ATableBlock->BoxProps[MA(piMarginBottom)];
  }
  TagClass = u"TableAndCaption.";
}

TTableAndCaptionBlock::TTableAndCaptionBlock(ThtDocument* NewDocument, const TTableAndCaptionBlock& Source)
    : TBlock(NewDocument, Source), TopCaption(Source.TopCaption), TableID(Source.TableID) {
  Justify = Source.Justify;
  const int tableIndex = TopCaption ? 1 : 0;
  if (MyCell->Count() == 2) {
    TableBlock = dynamic_cast<TTableBlock*>(MyCell->GetItem(tableIndex));
    CaptionBlock = dynamic_cast<TBlock*>(MyCell->GetItem(1 - tableIndex));
  }
}

std::unique_ptr<TSectionBase> TTableAndCaptionBlock::CreateCopy(ThtDocument* NewDocument) const {
  return std::unique_ptr<TSectionBase>(new TTableAndCaptionBlock(NewDocument, *this));
}

void TTableAndCaptionBlock::RegisterID() {
  if (!TableID.empty() && Document && Document->IdList && TableBlock)
    Document->IdList->AddObject(htLowerCase(TableID), TableBlock);
}

void TTableAndCaptionBlock::SetCaptionBlock(TBlock* Value) {
  CaptionBlock = Value;
  if (!TableBlock) return;
  TableBlock->HasCaption = true;
  // The wrapper keeps the table's vertical margins: inside it the table
  // meets its caption with nothing but the caption's own margin between.
  for (TPropertyIndex i : {piMarginTop, piMarginBottom}) {
    TableBlock->Box[MA(i)] = 0;
    TableBlock->BoxProps[MA(i)] = TPropValue(0);
  }
}

// ---- rules ----

THRBlock::THRBlock(ThtDocument* ADocument, TProperties* Prop, TCellBasic* AOwnerCell,
                   TAttributeList* Attributes)
    : TBlock(ADocument, Prop, AOwnerCell, Attributes) {}

THRBlock::THRBlock(ThtDocument* NewDocument, const THRBlock& Source)
    : TBlock(NewDocument, Source), Align(Source.Align) {
  Line = MyCell->Count() > 0 ? dynamic_cast<THorzLine*>(MyCell->GetItem(0)) : nullptr;
}

std::unique_ptr<TSectionBase> THRBlock::CreateCopy(ThtDocument* NewDocument) const {
  return std::unique_ptr<TSectionBase>(new THRBlock(NewDocument, *this));
}

// ---- fieldsets ----

TFieldsetBlock::TFieldsetBlock(ThtDocument* ADocument, TProperties* Prop, TCellBasic* AOwnerCell,
                               TAttributeList* Attributes)
    : TBlock(ADocument, Prop, AOwnerCell, Attributes), Legend(std::make_unique<TBlockCell>(ADocument)) {
  HasBorderStyle = true;
  for (int side = 0; side < 4; ++side) {
    TPropValue& style = BoxProps[size_t(MA(TPropertyIndex(piBorderTopStyle + side)))];
    if (style.IsEmpty() || (style.IsString() && style.AsString().empty())) style = TPropValue(int(bssSolid));
    TPropValue& color = BoxProps[size_t(MA(TPropertyIndex(piBorderTopColor + side)))];
    if (color.IsEmpty()) color = TPropValue(11709605);
    TPropValue& width = BoxProps[size_t(MA(TPropertyIndex(piBorderTopWidth + side)))];
    if (width.IsEmpty()) width = TPropValue(1);
    TPropValue& padding = BoxProps[size_t(MA(TPropertyIndex(piPaddingTop + side)))];
    if (padding.IsEmpty()) padding = TPropValue(10);
  }
  Legend->OwnerBlock = this;
  Legend->IndentManager = MyCell->IndentManager;
}

TFieldsetBlock::TFieldsetBlock(ThtDocument* NewDocument, const TFieldsetBlock& Source)
    : TBlock(NewDocument, Source), Legend(std::make_unique<TBlockCell>(NewDocument, *Source.Legend)) {
  Legend->OwnerBlock = this;
}

TFieldsetBlock::~TFieldsetBlock() = default;

std::unique_ptr<TSectionBase> TFieldsetBlock::CreateCopy(ThtDocument* NewDocument) const {
  return std::unique_ptr<TSectionBase>(new TFieldsetBlock(NewDocument, *this));
}
