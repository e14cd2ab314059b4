// The string tree: cell texts from OnGetText, drawn shortened with "..."
// when they do not fit, measured (main-column widths are cached per node),
// wrapped for multi-line rows, compared by the incremental search.
#include "tree/string_tree.h"

#include <algorithm>
#include <climits>

#include "platform/graphics/canvas.h"
#include "platform/graphics/gdi.h"
#include "platform/graphics/imagelist.h"
#include "tree/globals.h"

// ---- options ---------------------------------------------------------------------------

void TCustomStringTreeOptions::SetStringOptions(TDTStringOptions Value) {
  if (Value == FStringOptions) return;
  bool staticChanged = Value.Contains(toShowStaticText) != FStringOptions.Contains(toShowStaticText);
  FStringOptions = Value;
  if (staticChanged && Owner() && !Owner()->ComponentState().Contains(csLoading) && Owner()->UpdateCount() == 0 &&
      Owner()->HandleAllocated())
    Owner()->Invalidate();
}

void TCustomStringTreeOptions::AssignTo(TCustomDataTreeOptions& Dest) const {
  if (auto* s = dynamic_cast<TCustomStringTreeOptions*>(&Dest)) s->SetStringOptions(FStringOptions);
  TCustomDataTreeOptions::AssignTo(Dest);
}

// ---- tree --------------------------------------------------------------------------------

const TTreeClassInfo* TCustomDataStringTree::ClassInfo() { return StringTreeClassInfo(); }

TCustomDataStringTree::TCustomDataStringTree(TComponent* AOwner) : TBaseDataTree(AOwner) {
  SetOptionsObject(std::make_unique<TCustomStringTreeOptions>(this));
  FInternalDataOffset = AllocateInternalDataArea(int(sizeof(std::int32_t)));
}

TCustomDataStringTree::~TCustomDataStringTree() {
  // The editor must not report to a tree whose string part is gone.
  DetachEditor();
}

std::int32_t* TCustomDataStringTree::widthSlot(PDataNode Node) const {
  if (!Node || Node == RootNode()) return nullptr;
  return reinterpret_cast<std::int32_t*>(reinterpret_cast<char*>(Node) + FInternalDataOffset);
}

int TCustomDataStringTree::CachedWidth(PDataNode Node) const {
  const std::int32_t* slot = widthSlot(Node);
  return slot ? *slot : 0;
}

void TCustomDataStringTree::clearCachedWidths() {
  for (PDataNode n = GetFirstNoInit(); n; n = GetNextNoInit(n))
    if (std::int32_t* slot = widthSlot(n)) *slot = 0;
}

void TCustomDataStringTree::measureFont() {
  TCanvas& c = *Canvas();
  c.Font()->Assign(*Font());
  TEXTMETRICW tm;
  GetTextMetricsW(c.Handle(), &tm);
  FTextHeight = tm.tmHeight;
  FEllipsisWidth = c.TextWidth(u"...");
  FMeasuredFace = Font()->Name();
  FMeasuredHeight = Font()->Height();
  FMeasuredStyle = Font()->Style();
}

void TCustomDataStringTree::ensureFontMeasured() {
  TFont* f = Font();
  if (FTextHeight != 0 && f->Height() == FMeasuredHeight && f->Style() == FMeasuredStyle &&
      f->Name() == FMeasuredFace)
    return;
  bool hadFont = FTextHeight != 0;
  measureFont();
  if (hadFont) clearCachedWidths();
}

void TCustomDataStringTree::TreeFontChanged() {
  measureFont();
  clearCachedWidths();
}

void TCustomDataStringTree::SetDefaultText(const String& Value) {
  if (Value == FDefaultText) return;
  FDefaultText = Value;
  if (!ComponentState().Contains(csLoading)) InvalidateWindow();
}

String TCustomDataStringTree::GetCellText(PDataNode Node, TColumnIndex Column) {
  // Asked for every node a copy or a save writes: the text is made where
  // the caller receives it, not copied out of the entry.
  String text;
  if (!GuardedEntry([&] {
        TAMRIX_ASSERT(Node, "Node must not be nil.");
        if (!Node->States.Contains(vsInitialized)) InitNode(Node);
        text = FDefaultText;
        DoGetText(Node, Column, ttNormal, text);
      }))
    text.clear();
  return text;
}

void TCustomDataStringTree::SetCellText(PDataNode Node, TColumnIndex Column, const String& Text) {
  GuardedEntry([&] {
    // The new-text handler may delete the node or the whole tree.
    const std::weak_ptr<const bool> life = LifeToken();
    TNodeWatch watch(*this, Node);
    DoNewText(Node, Column, Text);
    if (!life.expired() && watch.Node()) InvalidateNode(watch.Node());
  });
}

void TCustomDataStringTree::DoGetText(PDataNode Node, TColumnIndex Column, TDTTextType TextType, String& Text) {
  if (!OnGetText) return;
  TQueryHandlerCall call(*this);
  RaiseEvent(OnGetText, this, Node, Column, TextType, Text);
}

void TCustomDataStringTree::DoNewText(PDataNode Node, TColumnIndex Column, const String& Text) {
  const std::weak_ptr<const bool> life = LifeToken();
  RaiseEvent(OnNewText, this, Node, Column, Text);
  if (!life.expired() && UpdateCount() == 0) UpdateHorizontalScrollBar(true);
}

void TCustomDataStringTree::DoPaintText(PDataNode Node, TCanvas* Canvas, TColumnIndex Column, TDTTextType TextType) {
  if (!OnPaintText) return;
  TQueryHandlerCall call(*this);
  RaiseEvent(OnPaintText, this, Canvas, Node, Column, TextType);
}

String TCustomDataStringTree::DoShortenString(TCanvas* Canvas, PDataNode Node, TColumnIndex Column, const String& S,
                                              int Width, int EllipsisWidth) {
  String result;
  bool done = false;
  RaiseEvent(OnShortenString, this, Canvas, Node, Column, S, Width, result, done);
  if (!done) result = ShortenString(*Canvas, S, Width, EllipsisWidth);
  return result;
}

void TCustomDataStringTree::DoDrawText(TCellPaintInfo& PaintInfo, const String& Text, TRect CellRect,
                                       UINT DrawFormat) {
  bool defaultDraw = true;
  RaiseEvent(OnDrawText, this, PaintInfo.Canvas, PaintInfo.Node, PaintInfo.Column, Text, CellRect, defaultDraw);
  if (defaultDraw) DrawTextW(PaintInfo.Canvas->Handle(), Text, &CellRect, DrawFormat);
}

int TCustomDataStringTree::DoMeasureTextWidth(TCanvas* Canvas, PDataNode Node, TColumnIndex Column,
                                              const String& Text) {
  int width = Canvas->TextWidth(Text);
  if (Node->States.Contains(vsMultiline)) {
    TRect r{0, 0, width, INT_MAX};
    UINT flags = DT_CALCRECT | DT_WORDBREAK | DT_NOPREFIX | DT_EDITCONTROL | DT_END_ELLIPSIS;
    if (Alignment() == taRightJustify) flags |= DT_RIGHT;
    if (Alignment() == taCenter) flags |= DT_CENTER;
    if (UseRightToLeftReading()) flags |= DT_RTLREADING;
    DrawTextW(Canvas->Handle(), Text, &r, flags);
    width = r.Width();
  }
  if (!OnMeasureTextWidth) return width;
  // A question asked while rows are measured one after another: nodes the
  // handler deletes go once it has answered.
  TQueryHandlerCall call(*this);
  RaiseEvent(OnMeasureTextWidth, this, Canvas, Node, Column, Text, width);
  return width;
}

int TCustomDataStringTree::MeasureCellTextWidth(TCanvas* Canvas, PDataNode Node, TColumnIndex Column,
                                                const String& Text) {
  // The handlers may destroy the tree: a program's call then answers 0.
  return GuardedEntry(0, [&] {
    int result = 2 * TextMargin();
    if (Text.empty()) return result;
    Canvas->Font()->Assign(*Font());
    DoPaintText(Node, Canvas, Column, ttNormal);
    return result + DoMeasureTextWidth(Canvas, Node, Column, Text);
  });
}

int TCustomDataStringTree::MeasureTextHeight(TCanvas* Canvas, PDataNode Node, TColumnIndex Column, const String& Text) {
  // The handlers may destroy the tree: a program's call then answers 0.
  return GuardedEntry(0, [&] {
    String text = Text.empty() ? GetCellText(Node, Column) : Text;
    TAlignment alignment = Alignment();
    bool rtl = UseRightToLeftReading();
    TRect r;
    if (Header().UseColumns() && Header().Columns().IsValidColumn(Column)) {
      TDataTreeColumn* c = Header().Columns()[Column];
      alignment = c->Alignment();
      rtl = c->UseRightToLeftReading();
      r.Right = c->Width() - TextMargin();
      r.Left = TextMargin() + Margin();
      if (Column == Header().MainColumn()) {
        int levels = TreeOptions().PaintOptions().Contains(toFixedIndent) ? 1 : int(GetNodeLevel(Node));
        r.Left += levels * int(Indent());
      }
    } else {
      // Without columns the text is drawn in the row as the painter lays it
      // out: measure in that same rectangle so wrapped rows are tall enough.
      r.Left = TextMargin() + Margin();
      int levels = TreeOptions().PaintOptions().Contains(toFixedIndent)
                       ? 1
                       : int(GetNodeLevel(Node)) + (TreeOptions().PaintOptions().Contains(toShowRoot) ? 1 : 0);
      r.Left += levels * int(Indent());
      if (StateImages() && HasImage(Node, ikState, Column)) r.Left += StateImages()->Width() + 2;
      if (Images() && HasImage(Node, ikNormal, Column)) r.Left += Images()->Width() + 2;
      if (CheckImages() && TreeOptions().MiscOptions().Contains(toCheckSupport) && Node->CheckType != ctNone)
        r.Left += CheckImages()->Width() + 2;
      r.Right = std::max(RangeX(), ClientWidth()) - TextMargin();
    }
    if (rtl) {
      if (alignment == taLeftJustify)
        alignment = taRightJustify;
      else if (alignment == taRightJustify)
        alignment = taLeftJustify;
    }
    UINT flags = DT_CALCRECT | DT_NOPREFIX | DT_WORDBREAK;
    if (rtl) flags |= DT_RTLREADING | DT_RIGHT;
    Canvas->Font()->Assign(*Font());
    DoPaintText(Node, Canvas, Column, ttNormal);
    DrawTextW(Canvas->Handle(), text, &r, flags);
    return r.Height();
  });
}

int TCustomDataStringTree::DoGetNodeWidth(PDataNode Node, TColumnIndex Column, TCanvas* Canvas) {
  if (Node->States.Contains(vsMultiline) && Header().Columns().IsValidColumn(Column))
    return Header().Columns()[Column]->Width();
  if (!Canvas) Canvas = TBaseDataTree::Canvas();
  ensureFontMeasured();
  const bool mainColumn = !Header().UseColumns() || Column == Header().MainColumn() || Column == NoColumn;
  if (!mainColumn) return MeasureCellTextWidth(Canvas, Node, Column, GetCellText(Node, Column));
  std::int32_t* slot = widthSlot(Node);
  if (!slot) return 0;
  if (*slot != 0) return *slot;
  // The measuring handlers may delete the node or destroy the tree: the
  // width is kept only in a node that is still there.
  const std::weak_ptr<const bool> life = LifeToken();
  TNodeWatch watch(*this, Node);
  const int width = MeasureCellTextWidth(Canvas, Node, Column, GetCellText(Node, Column));
  if (life.expired() || !watch.Node()) return width;
  *widthSlot(Node) = width;
  return width;
}

int TCustomDataStringTree::DoIncrementalSearch(PDataNode Node, const String& Text) {
  if (OnIncrementalSearch) return TBaseDataTree::DoIncrementalSearch(Node, Text);
  // An empty search text matches nothing.
  if (Text.empty()) return 1;
  String cell = GetCellText(Node, FocusedColumn());
  return cell.compare(0, Text.size(), Text) == 0 ? 0 : 1;
}

bool TCustomDataStringTree::DoGetCellIsEmpty(PDataNode Node, TColumnIndex Column) {
  return GetCellText(Node, Column).empty() && TBaseDataTree::DoGetCellIsEmpty(Node, Column);
}

TRect TCustomDataStringTree::InvalidateNode(PDataNode Node) {
  if (std::int32_t* slot = widthSlot(Node)) *slot = 0;
  if (Node && Node != RootNode()) Node->States.Exclude(vsHeightMeasured);
  return TBaseDataTree::InvalidateNode(Node);
}

void TCustomDataStringTree::ReinitNode(PDataNode Node, bool Recursive) {
  GuardedEntry([&] {
    const std::weak_ptr<const bool> life = LifeToken();
    TBaseDataTree::ReinitNode(Node, Recursive);
    if (life.expired()) return;
    if (std::int32_t* slot = widthSlot(Node)) *slot = 0;
  });
}

void TCustomDataStringTree::HeaderChanged(bool ColumnsChanged) {
  TBaseDataTree::HeaderChanged(ColumnsChanged);
  clearCachedWidths();
}

void TCustomDataStringTree::GetTextInfo(PDataNode Node, TColumnIndex Column, const TFont* AFont, TRect& R,
                                        String& Text) {
  GuardedEntry([&] {
    TBaseDataTree::GetTextInfo(Node, Column, AFont, R, Text);
    TCanvas& c = *Canvas();
    if (AFont) c.Font()->Assign(*AFont);
    FFontChanged = false;
    TFont before;
    before.Assign(*c.Font());
    DoPaintText(Node, &c, Column, ttNormal);
    bool changed = c.Font()->Height() != before.Height() || c.Font()->Name() != before.Name() ||
                   c.Font()->Style() != before.Style();
    int textHeight = FTextHeight;
    if (changed) {
      TEXTMETRICW tm;
      GetTextMetricsW(c.Handle(), &tm);
      textHeight = tm.tmHeight;
    }
    Text = GetCellText(Node, Column);
    // The handlers may have taken the column away: its text has no place.
    if (Column >= 0 && Header().UseColumns() && !Header().Columns().IsValidColumn(Column)) return;
    R = GetDisplayRect(Node, Column, !Node->States.Contains(vsMultiline));
    if (TreeOptions().PaintOptions().Contains(toShowHorzGridLines)) --R.Bottom;
    if (R.Height() < textHeight) {
      int grow = (textHeight - R.Height()) / 2;
      R.Top -= grow;
      R.Bottom += grow;
    }
  });
}

// ---- cells -----------------------------------------------------------------------------------

void TCustomDataStringTree::AdjustCellRectangle(TCellPaintInfo& PaintInfo, TColumnIndex& NextNonEmpty) {
  TDataTreeColumns& columns = Header().Columns();
  if (!TreeOptions().AutoOptions().Contains(toAutoSpanColumns) || !Header().UseColumns() ||
      PaintInfo.BidiMode != bdLeftToRight) {
    TBaseDataTree::AdjustCellRectangle(PaintInfo, NextNonEmpty);
    return;
  }
  NextNonEmpty = columns.GetNextVisibleColumn(PaintInfo.Column);
  while (NextNonEmpty >= 0 && !columns[NextNonEmpty]->UseRightToLeftReading() &&
         DoGetCellIsEmpty(PaintInfo.Node, NextNonEmpty)) {
    // The handler may have taken columns away: the span ends there.
    if (!columns.IsValidColumn(NextNonEmpty)) {
      NextNonEmpty = InvalidColumn;
      break;
    }
    PaintInfo.CellRect.Right += columns[NextNonEmpty]->Width();
    NextNonEmpty = columns.GetNextVisibleColumn(NextNonEmpty);
  }
}

void TCustomDataStringTree::PaintNodeCell(TCellPaintInfo& PaintInfo) {
  ensureFontMeasured();
  String text = GetCellText(PaintInfo.Node, PaintInfo.Column);
  if (!text.empty()) paintNormalText(PaintInfo, text);
  if (Alignment() != taCenter && !PaintInfo.Node->States.Contains(vsMultiline) &&
      TreeOptions().StringOptions().Contains(toShowStaticText)) {
    String staticText;
    DoGetText(PaintInfo.Node, PaintInfo.Column, ttStatic, staticText);
    if (!staticText.empty()) paintStaticText(PaintInfo, staticText);
  }
}

namespace {
bool sameFont(TFont& a, TFont& b) {
  return a.Height() == b.Height() && a.Name() == b.Name() && a.Style() == b.Style();
}
}  // namespace

void TCustomDataStringTree::paintNormalText(TCellPaintInfo& PaintInfo, const String& Text) {
  TCanvas* c = PaintInfo.Canvas;
  PDataNode node = PaintInfo.Node;
  const TDTPaintOptions po = TreeOptions().PaintOptions();
  c->Font()->Assign(*Font());
  if (po.Contains(toHotTrack) && node == HotNode()) {
    c->Font()->SetStyle(c->Font()->Style() + TFontStyles{fsUnderline});
    c->Font()->SetColor(Colors().HotColor());
  }
  const bool active = Focused() || po.Contains(toPopupMode);
  const bool selectionHere =
      PaintInfo.PaintOptions.Contains(ptoSelection) &&
      (PaintInfo.Column == FocusedColumn() || !Header().UseColumns() ||
       TreeOptions().SelectionOptions().Contains(toFullRowSelect));
  if (selectionHere) {
    if (node == DropTargetNode()) {
      if (LastDropMode() == dmOnNode || node->States.Contains(vsSelected)) c->Font()->SetColor(clHighlightText);
    } else if (node->States.Contains(vsSelected) && active) {
      c->Font()->SetColor(clHighlightText);
    }
  }
  TRect r = PaintInfo.ContentRect;
  r.Left += TextMargin();
  r.Right -= TextMargin();
  c->SetTextFlags(0);
  const bool rtl = PaintInfo.BidiMode != bdLeftToRight;
  const bool disabled = node->States.Contains(vsDisabled) || !Enabled();
  UINT flags;
  if (node->States.Contains(vsMultiline)) {
    DoPaintText(node, c, PaintInfo.Column, ttNormal);
    if (disabled) c->Font()->SetColor(Colors().DisabledColor());
    flags = DT_WORDBREAK | DT_NOPREFIX | DT_EDITCONTROL | DT_END_ELLIPSIS;
    if (PaintInfo.Alignment == taRightJustify) flags |= DT_RIGHT;
    if (PaintInfo.Alignment == taCenter) flags |= DT_CENTER;
    if (rtl) flags |= DT_RTLREADING;
  } else {
    TFont before;
    before.Assign(*c->Font());
    DoPaintText(node, c, PaintInfo.Column, ttNormal);
    const bool fontChanged = !sameFont(before, *c->Font());
    int ellipsis = FEllipsisWidth;
    if (fontChanged) {
      ellipsis = 0;
      PaintInfo.NodeWidth = c->TextWidth(Text) + 2 * TextMargin();
    }
    if (disabled) c->Font()->SetColor(Colors().DisabledColor());
    flags = DT_SINGLELINE | DT_VCENTER | DT_NOPREFIX;
    if (rtl) flags |= DT_RTLREADING;
    if (Header().UseColumns() && PaintInfo.NodeWidth - 2 * TextMargin() > r.Width()) {
      String shortened = DoShortenString(c, node, PaintInfo.Column, Text, r.Width(), ellipsis);
      if (PaintInfo.Alignment == taRightJustify) flags |= DT_RIGHT;
      SetBkMode(c->Handle(), (c->TextFlags() & ETO_OPAQUE) ? OPAQUE : TRANSPARENT);
      DoDrawText(PaintInfo, shortened, r, flags);
      return;
    }
    if (PaintInfo.Alignment == taRightJustify) flags |= DT_RIGHT;
    if (PaintInfo.Alignment == taCenter) flags |= DT_CENTER;
  }
  SetBkMode(c->Handle(), (c->TextFlags() & ETO_OPAQUE) ? OPAQUE : TRANSPARENT);
  DoDrawText(PaintInfo, Text, r, flags);
}

void TCustomDataStringTree::paintStaticText(TCellPaintInfo& PaintInfo, const String& Text) {
  TCanvas* c = PaintInfo.Canvas;
  PDataNode node = PaintInfo.Node;
  const TDTPaintOptions po = TreeOptions().PaintOptions();
  c->Font()->Assign(*Font());
  if (TreeOptions().SelectionOptions().Contains(toFullRowSelect)) {
    if (node == DropTargetNode()) {
      if (LastDropMode() == dmOnNode || node->States.Contains(vsSelected)) c->Font()->SetColor(clHighlightText);
    } else if (node->States.Contains(vsSelected) && (Focused() || po.Contains(toPopupMode))) {
      c->Font()->SetColor(clHighlightText);
    }
  }
  UINT flags = DT_SINGLELINE | DT_VCENTER | DT_NOPREFIX;
  DoPaintText(node, c, PaintInfo.Column, ttStatic);
  if (node->States.Contains(vsDisabled) || !Enabled()) c->Font()->SetColor(Colors().DisabledColor());
  TRect r = PaintInfo.ContentRect;
  if (PaintInfo.Alignment == taRightJustify)
    r.Right -= PaintInfo.NodeWidth + TextMargin();
  else
    r.Left += PaintInfo.NodeWidth + TextMargin();
  SetBkMode(c->Handle(), (c->TextFlags() & ETO_OPAQUE) ? OPAQUE : TRANSPARENT);
  DrawTextW(c->Handle(), Text, &r, flags);
}
