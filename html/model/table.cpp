// Table model: the table, its rows and cells, built from the attributes
// and computed style of TABLE, TR, TD and TH elements.
#include "html/model/table.h"

#include <algorithm>

#include "html/parse/html_common.h"
#include "html/parse/style_colors.h"
#include "html/model/document.h"
#include "html/images/image_object.h"
#include "platform/graphics/bitmap.h"

THtmlTable::THtmlTable(ThtDocument* Master, TAttributeList* Attr, TProperties* Prop)
    : TSectionBase(Master, Prop), TablePartRec(std::make_unique<TTablePartRec>()) {
  HasBorderWidth = Prop && Prop->HasBorderWidth();
  if (Attr)
    for (const auto& A : *Attr) {
      switch (A->Symbol) {
        case symBorder:
          if (!HasBorderWidth) {
            BorderWidth = A->Text.empty() ? 1 : std::clamp(A->Value, 0, 100);
            brdWidthAttr = BorderWidth;
            HasBorderWidth = true;
          }
          break;
        case symCellPadding: CellPadding = std::clamp(A->Value, 0, 50); break;
        case symCellSpacing: CellSpacing = std::clamp(A->Value, -1, 40); break;
        case symBorderColor: ColorFromString(A->Text, false, BorderColor); break;
        case symBorderColorLight: ColorFromString(A->Text, false, BorderColorLight); break;
        case symBorderColorDark: ColorFromString(A->Text, false, BorderColorDark); break;
        default: break;
      }
    }
  if (Prop && Prop->IsBorderCollapse()) CellSpacing = -1;
}

THtmlTable::THtmlTable(ThtDocument* NewDocument, const THtmlTable& Source)
    : TSectionBase(NewDocument, Source), Initialized(Source.Initialized),
      BorderWidth(Source.BorderWidth), brdWidthAttr(Source.brdWidthAttr),
      HasBorderWidth(Source.HasBorderWidth), NumCols(Source.NumCols),
      TableWidth(Source.TableWidth), tblWidthAttr(Source.tblWidthAttr),
      CellPadding(Source.CellPadding), CellSpacing(Source.CellSpacing),
      BorderColor(Source.BorderColor), BorderColorLight(Source.BorderColorLight),
      BorderColorDark(Source.BorderColorDark), TablePartRec(std::make_unique<TTablePartRec>()),
      Float(Source.Float) {
  const bool keepBackground = NewDocument && NewDocument->PrintBlockBackgrounds;
  if (keepBackground) {
    BkGnd = Source.BkGnd;
    BkColor = Source.BkColor;
  }
  for (const auto& row : Source.Rows) Rows.Add(std::make_unique<TCellList>(NewDocument, *row));
  for (auto* arr : {&Percents, &Multis, &MaxWidths, &MinWidths, &Widths})
    arr->assign(size_t(std::max(0, NumCols)), 0);
  ColumnTypes.assign(size_t(std::max(0, NumCols)), wtNone);
  if (Source.ColSpecs) {
    ColSpecs = std::make_unique<TColSpecList>();
    for (const auto& spec : *Source.ColSpecs) ColSpecs->Add(std::make_unique<TColSpec>(*spec));
  }
}

THtmlTable::~THtmlTable() = default;

std::unique_ptr<TSectionBase> THtmlTable::CreateCopy(ThtDocument* NewDocument) const {
  return std::unique_ptr<TSectionBase>(new THtmlTable(NewDocument, *this));
}

void THtmlTable::DoColumns(int Count, const TWidthSpec& AWidth, TAlignmentType AVAlign,
                           const String& AAlign) {
  if (!ColSpecs) ColSpecs = std::make_unique<TColSpecList>();
  const int room = MaxColSpecs - ColSpecs->Count();
  const int n = std::min(Count, room);
  for (int i = 0; i < n; ++i) ColSpecs->Add(std::make_unique<TColSpec>(AWidth, AAlign, AVAlign));
}

// ---- rows ----

TCellList::TCellList(TAttributeList* Attr, TProperties* Prop) {
  if (Attr)
    for (const auto& A : *Attr) {
      switch (A->Symbol) {
        case symBgColor: BkGnd = ColorFromString(A->Text, false, BkColor); break;
        case symBackground:
          if (!A->Text.empty()) FImage = std::make_unique<TRowImage>(TRowImage{A->Text, {}});
          else FImage.reset();
          break;
        case symHeight: SpecRowHeight = WidthSpecFromText(std::clamp(A->Value, 0, 100), A->Text); break;
        default: break;
      }
    }
  if (!Prop) return;
  const TColor bg = Prop->GetBackgroundColor();
  if (bg != clNone) {
    BkGnd = true;
    BkColor = bg;
  }
  String url;
  if (Prop->GetBackgroundImage(url)) {
    if (!FImage) FImage = std::make_unique<TRowImage>();
    FImage->Url = url;
    Prop->GetBackgroundPos(Prop->EmSize, Prop->ExSize, FImage->Pos);
  }
  Prop->GetPageBreaks(BreakBefore, BreakAfter, BreakInside);
}

TCellList::TCellList(ThtDocument* Master, const TCellList& T)
    : RowHeight(T.RowHeight), SpecRowHeight(T.SpecRowHeight), RowSpanHeight(T.RowSpanHeight),
      BkGnd(T.BkGnd), BkColor(T.BkColor), BreakBefore(T.BreakBefore), BreakAfter(T.BreakAfter),
      BreakInside(T.BreakInside), RowType(T.RowType),
      FImage(T.FImage ? std::make_unique<TRowImage>(*T.FImage) : nullptr) {
  for (const auto& cell : T.FItems)
    TFreeList<TCellObj>::Add(cell ? std::make_unique<TCellObj>(Master, *cell) : nullptr);
}

const String& TCellList::BkImage() const {
  static const String none;
  return FImage ? FImage->Url : none;
}

const TBackgroundPosRecs& TCellList::APRec() const {
  static const TBackgroundPosRecs none{};
  return FImage ? FImage->Pos : none;
}

void TCellList::Add(std::unique_ptr<TCellObj> Cell) {
  if (Cell) {
    BreakBefore = BreakBefore || Cell->BreakBefore();
    BreakAfter = BreakAfter || Cell->BreakAfter();
    BreakInside = BreakInside || Cell->BreakInside();
    TWidthSpec ht = Cell->Ht();
    const TWidthSpec& row = SpecRowHeight;
    switch (row.VType) {
      case wtNone: break;
      case wtAbsolute:
        if (ht.VType == wtAbsolute) ht.Value = std::max(ht.Value, row.Value);
        else ht = row;
        break;
      case wtPercent:
        if (ht.VType == wtNone || ht.VType == wtRelative) ht = row;
        else if (ht.VType == wtPercent) ht.Value = std::max(ht.Value, row.Value);
        break;
      case wtRelative:
        if (ht.VType == wtNone) ht = row;
        else if (ht.VType == wtRelative) ht.Value = std::max(ht.Value, row.Value);
        break;
    }
    Cell->SetHt(ht);
  }
  TFreeList<TCellObj>::Add(std::move(Cell));
}

void TCellList::PassBackgroundToCells() {
  if (!BkGnd) return;
  for (const auto& cell : FItems)
    if (cell && !cell->BkGnd()) cell->SetBackground(BkColor);
}

// ---- cells ----

namespace {

// The record of a cell's box, shared with the document's cells that look alike.
TSharedRecord<TCellLooks> shareLooks(ThtDocument* Document, const TCellLooks& Looks) {
  return Document ? Document->CellLooks.Share(Looks) : TSharedRecord<TCellLooks>::Make(Looks);
}

}  // namespace

TCellObj::TCellObj(ThtDocument* Master, TAlignmentType AVAlign, TAttributeList* Attr, TProperties* Prop)
    : TCell(Master) {
  TCellLooks l;
  l.VAlign = AVAlign;
  readBox(Master, l, Attr, Prop);
  FLooks = shareLooks(Master, l);
}

void TCellObj::readBox(ThtDocument* Master, TCellLooks& l, TAttributeList* Attr, TProperties* Prop) {
  if (Prop && !Prop->PropTitle().empty()) Link().Title = Prop->PropTitle();
  String attrImage;
  if (Attr)
    for (const auto& A : *Attr) {
      switch (A->Symbol) {
        case symColSpan:
          if (A->Value > 1) ColSpan = std::min(A->Value, MaxColSpan);
          break;
        case symRowSpan:
          if (A->Value > 1) RowSpan = std::min(A->Value, MaxRowSpan);
          break;
        case symWidth:
          if (A->Value >= 0) l.Wd = WidthSpecFromText(A->Value, A->Text);
          break;
        case symHeight:
          if (A->Value >= 0) l.Ht = WidthSpecFromText(A->Value, A->Text);
          break;
        case symBgColor: l.BkGnd = ColorFromString(A->Text, false, l.BkColor); break;
        case symBackground: attrImage = A->Text; break;
        case symHref: Link().Url = A->Text; break;
        case symTarget: Link().Target = A->Text; break;
        default: break;
      }
    }
  if (!Prop) return;
  TAlignmentType align;
  if (Prop->GetVertAlign(align) && (align == ATop || align == AMiddle || align == ABottom)) l.VAlign = align;
  const int EmSize = Prop->EmSize;
  const int ExSize = Prop->ExSize;
  // The raw values are needed only here: a table of a hundred thousand
  // cells does not keep them.
  TVMarginArray MargArray;
  Prop->GetVMarginArray(MargArray);
  int autoCount = 0;
  TMarginArray MargArrayO{};
  ConvertMarginArray(MargArray, 100, 100, EmSize, ExSize, 0, autoCount, MargArrayO);
  auto cssSize = [&](TPropertyIndex i, TWidthSpec& spec) {
    const TPropValue& v = MargArray[size_t(MA(i))];
    if (v.IsEmpty()) return;
    if (v.IsString() && v.AsString().find(u'%') != String::npos) {
      double value = 0;
      String unit;
      if (ParseNumberAndUnit(v.AsString(), value, unit) && value >= 0)
        spec = TWidthSpec{int32_t(std::min(value, 100.0) * 10), wtPercent};
    } else {
      const int32_t px = MargArrayO[size_t(MA(i))];
      if (px >= 0 && px != AutoValue) spec = TWidthSpec{px, wtAbsolute};
    }
  };
  cssSize(piWidth, l.Wd);
  cssSize(piHeight, l.Ht);
  const TColor bg = Prop->GetBackgroundColor();
  if (bg != clNone) {
    l.BkGnd = true;
    l.BkColor = bg;
  }
  String url;
  // The background image asked for: CSS, else BACKGROUND.
  if (!Prop->GetBackgroundImage(url)) url = attrImage;
  if (!url.empty()) {
    extras().BGImage = std::make_unique<TImageObj>(Master, url);
    Prop->GetBackgroundPos(EmSize, ExSize, l.BGPos);
  }
  // Paddings and border widths, sides in the order left, top, right, bottom.
  ConvertPaddingArray(MargArray, EmSize, ExSize, MargArrayO);
  {
    // Border widths, styles and colours as the box conversion gives them
    // (keywords and lengths in pixels; a side without style has width 0).
    TMarginArray box{};
    int autoCount = 0;
    ConvertMarginArray(MargArray, 100, 100, EmSize, ExSize, 1, autoCount, box);
    for (int i = piBorderTopWidth; i <= piBorderLeftStyle; ++i) MargArrayO[size_t(MA(TPropertyIndex(i)))] = box[size_t(MA(TPropertyIndex(i)))];
  }
  const TPropertyIndex pads[4] = {piPaddingLeft, piPaddingTop, piPaddingRight, piPaddingBottom};
  const TPropertyIndex widths[4] = {piBorderLeftWidth, piBorderTopWidth, piBorderRightWidth, piBorderBottomWidth};
  const TPropertyIndex styles[4] = {piBorderLeftStyle, piBorderTopStyle, piBorderRightStyle, piBorderBottomStyle};
  const TPropertyIndex colors[4] = {piBorderLeftColor, piBorderTopColor, piBorderRightColor, piBorderBottomColor};
  for (int i = 0; i < 4; ++i) {
    l.Paddings[size_t(i)] = MargArrayO[size_t(MA(pads[i]))];
    TBorderStyleType st = bssNone;
    const bool hasStyle = Prop->GetBorderStyle(styles[i], st) && st != bssNone;
    if (hasStyle) {
      l.HasBorderStyle = true;
      l.BorderWidths[size_t(i)] = std::max(0, MargArrayO[size_t(MA(widths[i]))]);
    }
  }
  if (l.HasBorderStyle) {
    for (int i = 0; i < 4; ++i) {
      if (MargArray[size_t(MA(colors[i]))].IsEmpty()) MargArrayO[size_t(MA(colors[i]))] = 0xC0C0C0;
      l.BorderStyles[size_t(i)] = MargArrayO[size_t(MA(styles[i]))];
      l.BorderColors[size_t(i)] = MargArrayO[size_t(MA(colors[i]))];
    }
  }
  Prop->GetPageBreaks(l.BreakBefore, l.BreakAfter, l.BreakInside);
  l.ShowEmptyCells = Prop->ShowEmptyCells();
}

TCellObj::TCellObj(ThtDocument* Master, const TCellObj& T)
    : TCell(Master, T), ColSpan(T.ColSpan), RowSpan(T.RowSpan), Width(T.Width), VSize(T.VSize),
      Height(T.Height), FLooks(T.FLooks) {
  if (const TCellLink* link = T.ownLink()) Link() = *link;
  if (!(Master && Master->PrintBlockBackgrounds)) {
    changeLooks([](TCellLooks& l) {
      l.BkGnd = false;
      l.BkColor = clNone;
    });
  } else if (TImageObj* image = T.BGImage()) {
    extras().BGImage = std::unique_ptr<TImageObj>(static_cast<TImageObj*>(image->CreateCopy(Master).release()));
  }
}

TCellObj::~TCellObj() = default;

TCellLink& TCellObj::Link() {
  std::unique_ptr<TCellLink>& link = extras().Link;
  if (!link) link = std::make_unique<TCellLink>();
  return *link;
}

void TCellObj::BGImageLoaded(bool OK) {
  if (!findExtras()) return;
  if (OK) extras().BGImageOK = true;
  else extras().BGImage.reset();
}

uint8_t TCellObj::GetURL(TCanvas* Canvas, int X, int Y, std::unique_ptr<TUrlTarget>& UrlTarg,
                         TFormControlObj*& FormControl, String& ATitle) {
  uint8_t flags = TCellBasic::GetURL(Canvas, X, Y, UrlTarg, FormControl, ATitle);
  const int viewY = Document ? Y - Document->ScrollY : Y;
  const TCellLink* link = ownLink();
  if (link && X >= link->CellRect.Left && X < link->CellRect.Right && viewY >= link->CellRect.Top &&
      viewY < link->CellRect.Bottom) {
    if (!(flags & guTitle) && !link->Title.empty()) {
      ATitle = link->Title;
      flags |= guTitle;
    }
    if (!(flags & guUrl) && !link->Url.empty()) {
      UrlTarg = std::make_unique<TUrlTarget>();
      UrlTarg->URL = link->Url;
      UrlTarg->Target = link->Target;
      flags |= guUrl;
    }
  }
  return flags;
}

template <typename F>
void TCellObj::changeLooks(F&& Fn) {
  TCellLooks l = *FLooks;
  Fn(l);
  if (!(l == *FLooks)) FLooks = shareLooks(Document, l);
}

void TCellObj::SetBackground(TColor Color) {
  changeLooks([&](TCellLooks& l) {
    l.BkGnd = true;
    l.BkColor = Color;
  });
}

void TCellObj::SetHt(const TWidthSpec& Spec) {
  changeLooks([&](TCellLooks& l) { l.Ht = Spec; });
}

void TCellObj::InitFromTable(int CellPadding, const String& RowImage, bool HasTableBorder,
                             const TBackgroundPosRecs& RowImagePos) {
  const bool rowImage = !RowImage.empty() && !BGImage();
  changeLooks([&](TCellLooks& l) {
    for (auto& p : l.Paddings)
      if (p < 0) p = CellPadding;
    // A bordered table's cells get at least a one-pixel frame, also where a
    // style was given for a side without a width.
    if (HasTableBorder)
      for (int i = 0; i < 4; ++i)
        if (!l.HasBorderStyle || l.BorderStyles[size_t(i)] > 0)
          l.BorderWidths[size_t(i)] = std::max(1, l.BorderWidths[size_t(i)]);
    if (rowImage) l.BGPos = RowImagePos;
  });
  if (rowImage) extras().BGImage = std::make_unique<TImageObj>(Document, RowImage);
}
