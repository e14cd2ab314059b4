// The document as a whole: one layout pass, one paint pass, hit testing
// with link hover, caret positions at the end, and the selection text.
#include <algorithm>

#include "html/model/document.h"
#include "html/model/floating_objects.h"
#include "html/model/font_runs.h"
#include "html/forms/form_controls.h"
#include "html/images/image_animation.h"
#include "html/model/panel_window.h"
#include "html/model/section.h"
#include "html/model/text_buffers.h"
#include "platform/gui/extctrls.h"

namespace {

// Source position just after a section's last character.
int sourceEnd(const TSection& s) {
  const IndexObj& last = s.SourceRuns.back();
  return last.Index + (s.Length - last.Pos - 1) * s.SourceStep + 1;
}

// The room an inline box takes on one side: margin, border (when drawn)
// and padding. A negative total takes nothing.
int sideRoom(const TMarginArray& m, TPropertyIndex margin, TPropertyIndex border, TPropertyIndex style,
             TPropertyIndex padding) {
  auto v = [&](TPropertyIndex i) {
    const int32_t x = m[size_t(MA(i))];
    return x == AutoValue || x == NotSetValue ? 0 : x;
  };
  const int32_t st = m[size_t(MA(style))];
  const int b = st > int(bssNone) && st <= 8 ? std::max(0, v(border)) : 0;
  return std::max(0, v(margin) + b + std::max(0, v(padding)));
}

}  // namespace

ThtDocument::TSourceOrder ThtDocument::SectionsInSourceOrder() {
  TSourceOrder order;
  std::vector<TSectionBase*> saved;
  std::swap(saved, PositionList);
  ListingCellSections = true;
  AddSectionsToList();
  ListingCellSections = false;
  for (TSectionBase* item : PositionList)
    if (auto* s = dynamic_cast<TSection*>(item))
      if (s->Length > 0 && !s->SourceRuns.empty()) order.Sections.push_back(s);
  std::swap(saved, PositionList);
  // Sections never share source characters, so their ends follow the
  // order of their starts.
  std::stable_sort(order.Sections.begin(), order.Sections.end(), [](const TSection* x, const TSection* y) {
    return x->SourceRuns.front().Index < y->SourceRuns.front().Index;
  });
  for (TSection* s : order.Sections) {
    order.Starts.push_back(s->SourceRuns.front().Index);
    order.Ends.push_back(sourceEnd(*s));
  }
  return order;
}

size_t ThtDocument::TSourceOrder::FirstEndingAfter(int SourcePos) const {
  return size_t(std::upper_bound(Ends.begin(), Ends.end(), SourcePos) - Ends.begin());
}

// Inline boxes with borders, margins or padding take room in the lines:
// each box's left side goes before its first character and its right side
// after its last, found by source position in the sections. A box around
// a single picture or control is framed where that is drawn and takes no
// room of its own here.
void ThtDocument::PlaceInlineEdges() {
  if (!Inlines) return;
  const TSourceOrder order = SectionsInSourceOrder();
  std::vector<TSection*> sections;
  std::vector<int> ends, starts;
  for (size_t k = 0; k < order.Sections.size(); ++k) {
    TSection* s = order.Sections[k];
    s->DropEdges();
    if (s->Length != int(s->Chars.size())) continue;
    sections.push_back(s);
    starts.push_back(order.Starts[k]);
    ends.push_back(order.Ends[k]);
  }
  auto room = [](TSection* s, bool after, int i, int w) {
    TSection::TEdges& edges = s->OwnEdges();
    std::vector<int32_t>& v = after ? edges.After : edges.Before;
    if (v.empty()) v.assign(size_t(s->Length), 0);
    v[size_t(i)] += w;
    return v[size_t(i)];
  };
  for (InlineRec& rec : Inlines->FItems) {
    rec.InnerLeft = rec.OuterRight = 0;
    if (rec.EndBDoc == htUnset || rec.EndBDoc <= rec.StartBDoc) continue;
    // First character at or after the start, last one before the end.
    const size_t a = size_t(std::upper_bound(ends.begin(), ends.end(), rec.StartBDoc) - ends.begin());
    const size_t bEnd = size_t(std::upper_bound(starts.begin(), starts.end(), rec.EndBDoc - 1) - starts.begin());
    if (a >= sections.size() || bEnd == 0 || bEnd - 1 < a) continue;
    TSection* sa = sections[a];
    TSection* sb = sections[bEnd - 1];
    const int ia = sa->FindDocPos(rec.StartBDoc, false) - sa->StartPos;
    const int ib = sb->FindDocPos(rec.EndBDoc - 1, true) - sb->StartPos;
    if (ia < 0 || ia >= sa->Length || ib < 0 || ib >= sb->Length || (sa == sb && ib < ia)) continue;
    if (sa == sb && ia == ib && (sa->Chars[size_t(ia)] == ImgPan || sa->Chars[size_t(ia)] == FmCtl)) continue;
    const TMarginArray& m = rec.MargArray;
    const int left = sideRoom(m, piMarginLeft, piBorderLeftWidth, piBorderLeftStyle, piPaddingLeft);
    const int right = sideRoom(m, piMarginRight, piBorderRightWidth, piBorderRightStyle, piPaddingRight);
    if (left > 0) rec.InnerLeft = room(sa, false, ia, left);
    if (right > 0) rec.OuterRight = room(sb, true, ib, right);
  }
  // Widths measured before the room was known are stale.
  for (TSection* s : sections)
    if (s->Edges()) s->CachedMin = s->CachedMax = 0;
}

int ThtDocument::DoLogic(TCanvas* Canvas, int Y, int Width, int AvailHeight, int BlockHeight, int& ScrollWidth,
                         int& Curs) {
  ++LayoutCycle;
  TableNesting = 0;
  InLogic2 = false;
  PrintHeaderTable = nullptr;
  if (Inlines) Inlines->NeedsConverting = true;
  if (Inlines && Inlines->Count() > 0) PlaceInlineEdges();
  for (const auto& form : Forms) form->SetSizes(Canvas);
  if (!TabStops.empty()) {
    int order = 0;
    for (const TTabStop& stop : TabStops) {
      if (auto* fc = dynamic_cast<TFormControlObj*>(stop.Control)) fc->SetTabOrder(order++);
      else if (auto* ctl = dynamic_cast<TWinControl*>(stop.Control)) ctl->SetTabOrder(order++);
    }
  }
  const int result = TCell::DoLogic(Canvas, Y, Width, AvailHeight, BlockHeight, ScrollWidth, Curs);
  TotalHeight = result;
  StartImageAnimations(this);
  if (!IsCopy) {
    // Lines moved: the next paint places the controls it draws and takes
    // the others out of the painted area.
    for (TFormControlObj* c : ControlList) c->ShowIt = false;
    ControlsPending = true;
    // Controls exist (shown, where they are) before they are painted in place.
    const TRect nowhere;
    if (PaintPanel && PaintPanel->Showing()) ControlList.ShowAll(&nowhere);
  }
  if (!IsCopy && PositionList.empty()) AddSectionsToList();
  return result;
}

int ThtDocument::Draw(TCanvas* Canvas, const TRect& ARect, int ClipWidth, int X, int Y, int XRef, int YRef) {
  PageBottom = ScrollY + ARect.Bottom;
  PageBreakFlag = false;
  FirstOnPage = true;
  TableNesting = 0;
  SkipBlock = false;
  // The animation timer is left running: it cannot tick in the middle of a
  // paint, and stopping it here would restart its count at every paint, so a
  // page repainted more often than the frame interval never animated.
  MarkImagesUnpainted(this);
  DeferredImages.Clear();
  if (!IsCopy)
    for (TPanelObj* p : Panels) p->ShowIt = false;
  const int result = TCell::Draw(Canvas, ARect, ClipWidth, X, Y, XRef, YRef);
  DeferredImages.DrawImages();
  if (!IsCopy) HideUnpaintedPanels(ARect);
  if (ControlsPending) {
    ControlList.ShowAll(&ARect);
    ControlsPending = false;
  }
  if (AnimTimer) AnimTimer->SetEnabled(!AnimatedImages.empty());
  return result;
}

uint8_t ThtDocument::GetURL(TCanvas* Canvas, int X, int Y, std::unique_ptr<TUrlTarget>& UrlTarg,
                            TFormControlObj*& FormControl, String& ATitle) {
  TFontObj* oldLink = HoverLink;
  TFormControlObj* oldControl = HoverControl;
  HoverLink = nullptr;
  HoverControl = nullptr;
  const uint8_t result = TCell::GetURL(Canvas, X, Y, UrlTarg, FormControl, ATitle);
  if (LinkHoverEnabled && oldLink != HoverLink) {
    if (oldLink && oldLink->LinkStates()) oldLink->SetAllHovers(false);
    if (HoverLink && HoverLink->LinkStates()) HoverLink->SetAllHovers(true);
    if (PaintPanel) PaintPanel->Invalidate();
  }
  if (oldControl != HoverControl) {
    if (oldControl) oldControl->HoverState = 0;
    if (HoverControl) HoverControl->HoverState = 1;
  }
  return result;
}

bool ThtDocument::CursorToXY(TCanvas* Canvas, int Cursor, int& X, int& Y) {
  if (Length > 0 && Cursor >= Length) {
    const bool result = TCell::CursorToXY(Canvas, Length - 1, X, Y);
    if (result) Y += 15;
    return result;
  }
  return TCell::CursorToXY(Canvas, Cursor, X, Y);
}

int ThtDocument::FindDocPos(int SourcePos, bool Prev) {
  const int result = TCell::FindDocPos(SourcePos, Prev);
  return result < 0 ? Length : result;
}

void ThtDocument::HideUnpaintedPanels(const TRect& Painted) {
  // A window left where its text was before a scroll or a new layout would
  // cover whatever is painted there now.
  for (TPanelObj* p : Panels) {
    if (p->ShowIt || !p->Panel || p->Hidden) continue;
    TRect both;
    if (IntersectRect(both, Painted, p->Panel->BoundsRect())) p->Panel->SetLeft(-4000);
  }
}

void ThtDocument::SetScrollY(int Y) {
  ScrollY = Y;
  ControlsPending = true;
  for (TFormControlObj* c : ControlList) c->ShowIt = false;
  for (TPanelObj* p : Panels) p->ShowIt = false;
}

TSectionBase* ThtDocument::FindItemAtY(int Pos, int& TopPos, int& Index) const {
  TopPos = 0;
  Index = -1;
  for (int i = int(PositionList.size()) - 1; i >= 0; --i) {
    TSectionBase* item = PositionList[size_t(i)];
    const int y = item->GetYPosition();
    if (y <= Pos) {
      TopPos = y;
      Index = i;
      return item;
    }
  }
  return nullptr;
}

int ThtDocument::SelectionLength() {
  if (SelEnd <= SelStart) return 0;
  SelTextCount counter;
  SelBuffer = &counter;
  CopyToClipboard();
  SelBuffer = nullptr;
  return counter.Terminate();
}

void ThtDocument::CopySelectionToClipboard() {
  const int length = SelectionLength();
  if (length <= 0) return;
  ClipBuffer buffer(length + 1);
  SelBuffer = &buffer;
  CopyToClipboard();
  SelBuffer = nullptr;
  buffer.Terminate();
}

int ThtDocument::CopySelectionToBuffer(char16_t* Buffer, int BufSize) {
  if (SelEnd <= SelStart) {
    if (BufSize >= 1 && Buffer) {
      Buffer[0] = 0;
      return 1;
    }
    return 0;
  }
  SelTextBuf buffer(Buffer, BufSize);
  SelBuffer = &buffer;
  CopyToClipboard();
  SelBuffer = nullptr;
  return buffer.Terminate();
}

void ThtDocument::SetHoverControlPressed(bool Pressed) {
  if (!HoverControl) return;
  HoverControl->HoverState = Pressed ? 2 : 1;
  if (PaintPanel) PaintPanel->Invalidate();
}

void ThtDocument::ClearHover() {
  if ((HoverLink || HoverControl) && PaintPanel) PaintPanel->Invalidate();
  if (HoverLink && HoverLink->LinkStates()) HoverLink->SetAllHovers(false);
  HoverLink = nullptr;
  if (HoverControl) HoverControl->HoverState = 0;
  HoverControl = nullptr;
}
