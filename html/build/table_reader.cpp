// The table reader: caption, column groups and columns, row groups, rows
// and cells of one TABLE element, built into the table model. A small
// grid of taken slots carries the alignments of COL and COLGROUP to the
// cells they govern.
#include <algorithm>

#include "html/parse/html_common.h"
#include "html/build/html_parser.h"
#include "html/model/block.h"
#include "html/model/document.h"
#include "html/model/section.h"
#include "html/model/table.h"

using namespace std::string_view_literals;

namespace {

// Which slots of each grid row are taken ('x') or free ('o').
class TCellManager {
public:
  TCellManager(THtmlTable* ATable) : Table(ATable) {}

  int FindColNum(int Row) {
    grow(Row + 1);
    const size_t at = Rows[size_t(Row)].find('o');
    return at == std::string::npos ? -1 : int(at);
  }

  void AddCell(int Row, TCellObj* Cell) {
    const int span = std::max(1, int(Cell->RowSpan));
    grow(Row + span);
    const size_t start = Rows[size_t(Row)].find('o');
    if (start == std::string::npos) return;
    for (int r = Row; r < Row + span; ++r) {
      std::string& row = Rows[size_t(r)];
      int taken = 0;
      for (size_t c = start; c < row.size() && taken < Cell->ColSpan && row[c] == 'o'; ++c, ++taken) row[c] = 'x';
      if (taken < Cell->ColSpan) Cell->ColSpan = std::max(1, taken);
    }
  }

private:
  void grow(int count) {
    const size_t width = Table->ColSpecs ? size_t(Table->ColSpecs->Count()) : 0;
    // Rows are made only as far as a cell reaches, bounded by the spans
    // the model accepts.
    while (int(Rows.size()) < count) Rows.emplace_back(width, 'o');
  }
  THtmlTable* Table;
  std::vector<std::string> Rows;
};

const TSymbolSet& TableStops() {
  static const TSymbolSet s = [] {
    TSymbolSet t;
    for (int i : {79, 80, 81, 82, 83, 84, 85, 93, 94, 205, 206, 215, 216, 217, 218, 219, 220}) t.set(size_t(i));
    return t;
  }();
  return s;
}

TAlignmentType cellVAlign(const String& text, TAlignmentType def) {
  const String s = htLowerCase(text);
  if (s == u"top"sv || s == u"baseline"sv) return ATop;
  if (s == u"middle"sv) return AMiddle;
  if (s == u"bottom"sv) return ABottom;
  return def;
}

TAlignmentType alignKeyword(const String& text) {
  const String s = htLowerCase(text);
  if (s == u"top"sv) return ATop;
  if (s == u"middle"sv || s == u"absmiddle"sv || s == u"center"sv) return AMiddle;
  if (s == u"baseline"sv) return ABaseline;
  if (s == u"bottom"sv) return ABottom;
  if (s == u"left"sv) return ALeft;
  if (s == u"right"sv) return ARight;
  if (s == u"justify"sv) return AJustify;
  return ANone;
}

String blockAlignOf(const String& value) {
  const String s = htLowerCase(value);
  if (s == u"left"sv || s == u"center"sv || s == u"right"sv || s == u"justify"sv) return s;
  if (s == u"middle"sv) return u"center";
  return String();
}

struct ColDefaults {
  TWidthSpec Width;
  TAlignmentType VAlign = ANone;
  String Align;
  int Span = 1;
};

void readColAttributes(TAttributeList& L, ColDefaults& d) {
  for (const auto& A : L) {
    switch (A->Symbol) {
      case symAlign: {
        const TAlignmentType k = alignKeyword(A->Text);
        if (k == AMiddle || k == ALeft || k == ARight || k == AJustify) d.Align = htLowerCase(A->Text);
        break;
      }
      case symVAlign: {
        const TAlignmentType k = alignKeyword(A->Text);
        if (k >= ATop && k <= ABottom) d.VAlign = k;
        break;
      }
      case symWidth:
        if (A->Text.find(u'%') != String::npos) d.Width = MakeWidthSpec(std::clamp(A->Value, 0, 100) * 10, wtPercent);
        else if (A->Text.find(u'*') != String::npos) d.Width = MakeWidthSpec(A->Value, wtRelative);
        else d.Width = MakeWidthSpec(A->Value, wtAbsolute);
        break;
      case symSpan: d.Span = std::clamp(A->Value, 1, MaxColSpan); break;
      default: break;
    }
  }
}

}  // namespace

void THtmlParser::parseTable() {
  // A table's cells are read through the body reader, which reads tables:
  // tables count towards the builder's depth like the other blocks, built
  // or not, so that unclosed tables in cells do not nest the readers
  // without end.
  const Nesting nesting(BlockDepth);
  if (!nesting.Entered) {
    next();
    return;
  }
  if (TableLevel >= MaxTableDepth) {
    // Too deep: the table is not built and its content joins the enclosing
    // cell. Its rows and cells must not end that cell (they would become
    // rows of the enclosing table): their tags are passed over, a row
    // starting a new line and a cell a new word, up to this table's end.
    next();
    while (Sy() != symTableEnd && Sy() != symEndOfDoc) {
      const THtmlSymbol s = Sy();
      if (!TableStops()[s]) {
        // Whatever the body reader leaves unread is passed over, so that
        // the loop always moves on.
        const int at = T.SIndex;
        parseBody(TableStops());
        if (Sy() == s && T.SIndex == at) next();
        continue;
      }
      if (s == symTR) addSection();
      else if ((s == symTD || s == symTH) && Section && !Section->Chars.empty()) Section->AddChar(u' ', T.TagIndex);
      next();
    }
    if (Sy() == symTableEnd) next();
    return;
  }
  ++TableLevel;
  closeLink();
  addSection();
  TCellBasic* const enclosing = SectionCell;
  const bool saveNoBreak = FPropStack.NoBreak;
  const int saveListLevel = ListLevel;
  SectionCell = nullptr;
  const String outerAlign = top()->Props[piTextAlign].IsString() ? htLowerCase(top()->Props[piTextAlign].AsString()) : String();
  const uint8_t rememberedAlign = outerAlign == u"center"sv ? 2 : outerAlign == u"right"sv ? 3 : 0;
  const int tagIndex = T.TagIndex;
  push(u"table");
  // The block before the table gives its bottom margin to the table's top
  // when the table is made; content that turns up outside the cells is put
  // between them, and then each keeps its own margin again.
  struct MarginHandBack {
    TBlock* Before = nullptr;
    int32_t Bottom = 0;
    TPropValue BottomProp;
    bool BottomIsParaSpace = false;
    int32_t TableTop = 0;
    bool Done = false;
  } handBack;
  for (int i = enclosing->Count() - 1; i >= 0; --i) {
    TSectionBase* item = enclosing->GetItem(i);
    if (item->Display == pdNone) continue;
    TBlock* b = item->AsBlock();
    if (b && b->Positioning == posAbsolute) continue;
    if (b) {
      handBack.Before = b;
      handBack.Bottom = b->Box[MA(piMarginBottom)];
      handBack.BottomProp = b->BoxProps[MA(piMarginBottom)];
      handBack.BottomIsParaSpace = b->BottomIsParaSpace;
    }
    break;
  }
  {
    TVMarginArray vm;
    top()->GetVMarginArray(vm);
    int32_t bottom = 0;
    bool topPara = false, bottomPara = false;
    ConvertVertMargins(vm, 400, top()->EmSize, top()->ExSize, handBack.TableTop, bottom, topPara, bottomPara);
  }
  auto tableOwned = std::make_unique<THtmlTable>(Document, Attributes.get(), top());
  THtmlTable* table = tableOwned.get();
  auto blockOwned = std::make_unique<TTableBlock>(Document, top(), enclosing, table, Attributes.get(), TableLevel);
  TTableBlock* tableBlock = blockOwned.get();
  if (tableBlock->Justify != 2 && tableBlock->Float != ALeft && tableBlock->Float != ARight)
    tableBlock->Justify = rememberedAlign;
  tableBlock->MyCell->Add(std::move(tableOwned), tagIndex);
  auto wrapper = std::make_unique<TTableAndCaptionBlock>(Document, top(), enclosing, Attributes.get(), tableBlock);

  std::unique_ptr<TBlock> captionOwned;
  TBlock* caption = nullptr;
  bool captionOnTop = true;
  std::unique_ptr<TCellList> row;
  TDisplayStyle rowDisplay = pdUnassigned;
  TAlignmentType rowVAlign = AMiddle;
  int rowLevel = FPropStack.TopIndex();
  std::unique_ptr<TCellObj> cellObj;
  uint8_t rowType = 1;
  int groupLevel = -1;
  std::vector<std::unique_ptr<TCellList>> footRows;
  std::unique_ptr<TCellManager> manager;
  bool noCellYet = true;

  auto closeCell = [&] {
    if (!SectionCell) return;
    addSection();
    if (cellObj && SectionCell == cellObj.get()) {
      SectionCell->CheckLastBottomMargin();
      TCellObj* raw = cellObj.get();
      if (row) row->Add(std::move(cellObj));
      if (manager) manager->AddCell(table->Rows.Count(), raw);
    }
    cellObj.reset();
    SectionCell = nullptr;
  };
  auto closeRow = [&] {
    closeLink();
    if (row) {
      closeCell();
      if (rowDisplay != pdNone) {
        row->RowType = rowType;
        row->ShrinkToFit();  // a table keeps many rows
        if (rowType == 2) footRows.push_back(std::move(row));
        else table->Rows.Add(std::move(row));
      }
      row.reset();  // a row shown as none leaves nothing behind
      FPropStack.PopTo(rowLevel);
    }
  };
  auto finish = [&] {
    closeLink();
    closeCell();
    closeRow();
    if (groupLevel >= 0) FPropStack.PopTo(groupLevel);
    for (auto& foot : footRows) table->Rows.Add(std::move(foot));
    footRows.clear();
    cellObj.reset();
    SectionCell = enclosing;
    if (caption) {
      wrapper->TopCaption = captionOnTop;
      wrapper->SetCaptionBlock(caption);
      if (captionOnTop) {
        wrapper->MyCell->Add(std::move(captionOwned), tagIndex);
        wrapper->MyCell->Add(std::move(blockOwned), tagIndex);
      } else {
        wrapper->MyCell->Add(std::move(blockOwned), tagIndex);
        wrapper->MyCell->Add(std::move(captionOwned), tagIndex);
      }
      tableBlock->OwnerCell = wrapper->MyCell.get();
      enclosing->Add(std::move(wrapper), tagIndex);
    } else {
      wrapper->RegisterID();
      wrapper.reset();
      enclosing->Add(std::move(blockOwned), tagIndex);
    }
    FPropStack.PopAProp(u"table");
    FPropStack.NoBreak = saveNoBreak;
    ListLevel = saveListLevel;
    --TableLevel;
  };

  try {
    rowLevel = FPropStack.TopIndex();
    next();
    while (Sy() != symTableEnd && Sy() != symCaptionEnd && Sy() != symEndOfDoc) {
      const THtmlSymbol s = Sy();
      switch (s) {
        case symTD:
        case symTH: {
          noCellYet = false;
          closeLink();
          ListLevel = 0;
          if (!row) {
            rowVAlign = AMiddle;
            rowLevel = FPropStack.TopIndex();
            pushNoAttr(u"tr");
            rowDisplay = top()->GetDisplay();
            row = std::make_unique<TCellList>(nullptr, top());
          } else {
            closeCell();
            FPropStack.PopTo(rowLevel + 1);
          }
          push(s == symTD ? u"td" : u"th");
          TAttribute* A = nullptr;
          TAlignmentType vAlign = Attributes->Find(symVAlign, A) ? cellVAlign(A->Text, rowVAlign) : rowVAlign;
          if (manager) {
            const int col = manager->FindColNum(table->Rows.Count());
            if (col >= 0 && table->ColSpecs && col < table->ColSpecs->Count()) {
              TColSpec* spec = table->ColSpecs->GetItem(col);
              if (!spec->ColAlign.empty()) top()->SetPropertyDefault(piTextAlign, TPropValue(spec->ColAlign));
              if (spec->ColVAlign != ANone) vAlign = spec->ColVAlign;
            }
          }
          if (Attributes->Find(symAlign, A)) {
            const String align = blockAlignOf(A->Text);
            if (!align.empty()) top()->SetPropertyDefault(piTextAlign, TPropValue(align));
          }
          const TPropValue& ta = top()->Props[piTextAlign];
          if (!ta.IsString() || ta.AsString() == u"none"sv)
            top()->SetPropertyDefault(piTextAlign, TPropValue(s == symTH ? u"center" : u"left"));
          // Borders the style sheet leaves unset come from the table.
          TProperties* prop = top();
          for (int side = 0; side < 4; ++side) {
            const auto styleSlot = TPropertyIndex(piBorderTopStyle + side);
            const auto widthSlot = TPropertyIndex(piBorderTopWidth + side);
            const auto colorSlot = TPropertyIndex(piBorderTopColor + side);
            if (prop->Props[styleSlot].IsEmpty() || (prop->Props[styleSlot].IsInt() && prop->Props[styleSlot].AsInt() == NotSetValue)) {
              const TPropValue& blockStyle = tableBlock->BoxProps[size_t(MA(styleSlot))];
              if (blockStyle.IsInt()) {
                int st = blockStyle.AsInt();
                if (st == bssInset) st = bssOutset;
                else if (st == bssOutset) st = bssInset;
                prop->Props[styleSlot] = TPropValue(st);
              }
            }
            if (prop->Props[widthSlot].IsEmpty()) {
              if (table->BorderWidth > 0) prop->Props[widthSlot] = TPropValue(1);
              else if (!table->HasBorderWidth) prop->Props[widthSlot] = TPropValue(3);
            }
            if (prop->Props[colorSlot].IsEmpty()) prop->Props[colorSlot] = TPropValue(int(table->BorderColor));
          }
          cellObj = std::make_unique<TCellObj>(Document, vAlign, Attributes.get(), top());
          SectionCell = cellObj.get();
          TAttribute* nowrap = nullptr;
          FPropStack.NoBreak = Attributes->Find(symNoWrap, nowrap) &&
                               !(cellObj->Wd().VType == wtAbsolute && cellObj->Wd().Value > 0);
          Section = std::make_unique<TSection>(Document, nullptr, top(), CurrentUrlTarget.get(), SectionCell, true);
          T.SkipBlanks();
          next();
          parseBody(TableStops());
          break;
        }
        case symTDEnd:
        case symTHEnd:
          closeCell();
          next();
          break;
        case symTR: {
          closeRow();
          rowLevel = FPropStack.TopIndex();
          push(u"tr");
          rowDisplay = top()->GetDisplay();
          TAttribute* A = nullptr;
          if (Attributes->Find(symAlign, A)) {
            const String align = blockAlignOf(A->Text);
            if (!align.empty()) top()->SetPropertyDefault(piTextAlign, TPropValue(align));
          }
          row = std::make_unique<TCellList>(Attributes.get(), top());
          rowVAlign = Attributes->Find(symVAlign, A) ? cellVAlign(A->Text, AMiddle) : AMiddle;
          next();
          break;
        }
        case symTREnd:
          closeRow();
          next();
          break;
        case symCaption: {
          closeLink();
          FPropStack.NoBreak = false;
          closeCell();
          TAttribute* A = nullptr;
          if (Attributes->Find(symAlign, A)) captionOnTop = htLowerCase(A->Text) != u"bottom"sv;
          push(u"caption");
          if (!caption) {
            captionOwned = std::make_unique<TBlock>(Document, top(), enclosing, Attributes.get());
            caption = captionOwned.get();
          }
          SectionCell = caption->MyCell.get();
          Section = std::make_unique<TSection>(Document, nullptr, top(), CurrentUrlTarget.get(), SectionCell, true);
          next();
          parseBody(TableStops());
          addSection();
          FPropStack.PopAProp(u"caption");
          SectionCell = nullptr;
          if (Sy() == symCaptionEnd) next();
          break;
        }
        case symColGroup:
        case symCol: {
          ColDefaults group;
          bool hadCol = false;
          if (Sy() == symColGroup) {
            readColAttributes(*Attributes, group);
            T.SkipBlanks();
            next();
          }
          const bool isGroup = s == symColGroup;
          while (Sy() == symCol) {
            hadCol = true;
            ColDefaults col = group;
            col.Span = 1;
            readColAttributes(*Attributes, col);
            if (noCellYet) table->DoColumns(col.Span, col.Width, col.VAlign, col.Align);
            T.SkipBlanks();
            next();
          }
          if (isGroup && !hadCol && noCellYet) table->DoColumns(group.Span, group.Width, group.VAlign, group.Align);
          if (Sy() == symColGroupEnd) next();
          if (!manager && table->ColSpecs) manager = std::make_unique<TCellManager>(table);
          break;
        }
        case symTHead: case symTBody: case symTFoot:
        case symTHeadEnd: case symTBodyEnd: case symTFootEnd: {
          closeRow();
          if (groupLevel >= 0) FPropStack.PopTo(groupLevel);
          groupLevel = FPropStack.TopIndex();
          String name;
          if (s == symTHead) {
            if (table->Rows.Count() == 0) {
              rowType = 0;
              name = u"thead";
            } else {
              rowType = 1;
            }
          } else if (s == symTBody) {
            rowType = 1;
            name = u"tbody";
          } else if (s == symTFoot) {
            rowType = 2;
            name = u"tfoot";
          } else {
            rowType = 1;
          }
          if (!name.empty()) push(name);
          rowLevel = FPropStack.TopIndex();
          next();
          break;
        }
        default:
          if ((s == symText && T.Token.GetString() == u" "sv) || s == symUnknownTag) {
            next();
            break;
          }
          if (!handBack.Done) {
            handBack.Done = true;
            if (handBack.Before) {
              handBack.Before->Box[MA(piMarginBottom)] = handBack.Bottom;
              handBack.Before->BoxProps[MA(piMarginBottom)] = handBack.BottomProp;
              handBack.Before->BottomIsParaSpace = handBack.BottomIsParaSpace;
            }
            for (TBlock* b : {static_cast<TBlock*>(tableBlock), static_cast<TBlock*>(wrapper.get())}) {
              b->Box[MA(piMarginTop)] = handBack.TableTop;
              b->BoxProps[MA(piMarginTop)] = TPropValue(int(handBack.TableTop));
            }
          }
          {
            // Content outside any cell shows before the table.
            TCellBasic* saveCell = SectionCell;
            std::unique_ptr<TSection> saveSection = std::move(Section);
            const bool savePending = SectionPending;
            SectionPending = false;
            SectionCell = enclosing;
            parseBody(TableStops());
            addSection();
            SectionCell = saveCell;
            Section = std::move(saveSection);
            SectionPending = savePending;
          }
          break;
      }
    }
  } catch (...) {
    footRows.clear();
    finish();
    throw;
  }
  finish();
  next();
}
