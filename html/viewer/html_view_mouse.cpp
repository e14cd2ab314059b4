// The viewer and the mouse: cursors over links, hot-spot events, following
// links, right clicks, image events, middle-button and drag scrolling, the
// hover timer, and the viewer's own window messages.
#include <algorithm>
#include <cstdlib>

#include "html/parse/html_common.h"
#include "html/parse/url_routines.h"
#include "html/model/document.h"
#include "html/model/font_runs.h"
#include "html/forms/form_kinds.h"
#include "html/viewer/html_view.h"
#include "platform/core/strings.h"
#include "platform/core/threads.h"
#include "platform/graphics/canvas.h"
#include "platform/gui/forms.h"
#include "platform/gui/windows.h"

// ---- messages ----------------------------------------------------------------------

void THtmlView::eraseUncovered(HDC DC) {
  // The panels and the scroll bars cover nearly all of the view; erasing
  // the whole of it filled the area under the page once more for every
  // paint of the page. Only what no visible child covers is filled (the
  // square between two scroll bars).
  if (!DC) return;
  HRGN uncovered = CreateRectRgn(0, 0, ClientWidth(), ClientHeight());
  for (int i = 0; i < ControlCount(); ++i) {
    TControl* c = Controls(i);
    if (!c->Visible()) continue;
    const TRect r = c->BoundsRect();
    HRGN covered = CreateRectRgn(r.Left, r.Top, r.Right, r.Bottom);
    CombineRgn(uncovered, uncovered, covered, RGN_DIFF);
    DeleteObject(covered);
  }
  HBRUSH brush = CreateSolidBrush(ColorToRGB(Color()));
  FillRgn(DC, uncovered, brush);
  DeleteObject(brush);
  DeleteObject(uncovered);
}

void THtmlView::Dispatch(TMessage& Message) {
  switch (Message.Msg) {
    case WM_SIZE: {
      // The control's OnResize (in Resize, raised by the base) may free
      // the viewer.
      const ThtEventToken watch = watchEvents();
      THtmlViewBase::Dispatch(Message);
      if (watch.Gone()) return;
      resized();
      return;
    }
    case WM_GETDLGCODE:
      Message.Result = DLGC_WANTARROWS;
      return;
    case WM_ERASEBKGND:
      eraseUncovered(HDC(Message.WParam));
      Message.Result = 1;
      return;
    case WM_FORM_SUBMIT: {
      // The list is the viewer's until the handler has it: a handler that
      // submits again replaces the kept one, not the one it is reading.
      std::unique_ptr<TStringList> results = std::move(FFormResults);
      if (results)
        (void)htRaiseEvent(FLife, FOnFormSubmit, this, String(FFormAction), String(FFormTarget),
                           String(FFormEncType), String(FFormMethod), results.get());
      return;
    }
    case WM_MOUSE_SCROLL:
      autoScrollLoop();
      return;
    case WM_URL_ACTION:
      // Loads the link's page: a handler of the load may free the viewer.
      FollowLink();
      return;
    default:
      THtmlViewBase::Dispatch(Message);
  }
}

void THtmlView::SubmitForm(const String& Action, const String& Target, const String& EncType,
                            const String& Method, TStringList* Results) {
  std::unique_ptr<TStringList> owned(Results);
  if (!FOnFormSubmit) return;
  FFormAction = Action;
  FFormTarget = Target;
  FFormEncType = EncType;
  FFormMethod = Method;
  FFormResults = std::move(owned);
  PostMessage(Handle(), WM_FORM_SUBMIT, 0, 0);
}

// The viewer's own window (where the page's panel does not cover it).
void THtmlView::Click() { (void)htRaiseEvent(FLife, OnClick, this); }
void THtmlView::DblClick() { (void)htRaiseEvent(FLife, OnDblClick, this); }
void THtmlView::MouseDown(TMouseButton Button, TShiftState Shift, int X, int Y) {
  (void)htRaiseEvent(FLife, OnMouseDown, this, Button, Shift, X, Y);
}
void THtmlView::MouseUp(TMouseButton Button, TShiftState Shift, int X, int Y) {
  (void)htRaiseEvent(FLife, OnMouseUp, this, Button, Shift, X, Y);
}
void THtmlView::MouseMove(TShiftState Shift, int X, int Y) {
  (void)htRaiseEvent(FLife, OnMouseMove, this, Shift, X, Y);
}

// ---- hit tests ---------------------------------------------------------------------

int THtmlView::hitTest(int X, int Y, std::unique_ptr<TUrlTarget>& UT, TFormControlObj*& Control,
                       String& Title) {
  Control = nullptr;
  UT.reset();
  // Lines and objects remember where they were painted, sideways scroll
  // included: X is compared as it stands on the panel.
  return FSectionList->GetURL(FPaintPanel->Canvas(), X, Y + FSectionList->ScrollY, UT, Control, Title);
}

bool THtmlView::objectAt(int X, int Y, TObject*& Obj, int& IX, int& IY) {
  Obj = nullptr;
  return FSectionList->PtInObject(X, Y + FSectionList->ScrollY, Obj, IX, IY) && Obj;
}

int THtmlView::cursorPosAt(int X, int Y, bool* InText) {
  int XR = 0, YR = 0, ht = 0;
  bool intext = false;
  const int p = FSectionList->FindCursor(FPaintPanel->Canvas(), X, Y + FSectionList->ScrollY, XR, YR, ht,
                                         intext);
  if (InText) *InText = intext;
  return p;
}

// A link record keeps source positions; the document positions of its
// first and last characters give its text and where it starts on screen.
void THtmlView::linkTextAndStart(const TUrlTarget& UT) {
  FLinkText.clear();
  if (!(0 <= UT.Start && UT.Start < UT.Last)) return;
  const int S = FSectionList->FindDocPos(UT.Start, false);
  const int E = FSectionList->FindDocPos(UT.Last, true);
  if (!(0 <= S && S < E)) return;
  const std::int32_t oldStart = FSectionList->SelStart, oldEnd = FSectionList->SelEnd;
  FSectionList->SelStart = S;
  FSectionList->SelEnd = E;
  FLinkText = GetSelText();
  int x = 0, y = 0;
  if (FSectionList->CursorToXY(FPaintPanel->Canvas(), S, x, y))
    FLinkStart = TPoint{x, y - FSectionList->ScrollY};
  FSectionList->SelStart = oldStart;
  FSectionList->SelEnd = oldEnd;
}

// ---- mouse down, move, up --------------------------------------------------------------

void THtmlView::HTMLMouseDown(TObject*, TMouseButton Button, TShiftState Shift, int X, int Y) {
  if (!htRaiseEvent(FLife, OnMouseDown, this, Button, Shift, X, Y).PageKept()) return;
  if (CanFocus() && !Focused() && !takeFocus()) return;
  FViewerState.Exclude(stHotSpotAction);
  if (FViewerState.Contains(stMiddleScroll)) {
    FViewerState.Exclude(stMiddleScroll);
    FViewerState.Exclude(stMouseScrolling);
    FPaintPanel->SetCursor(Cursor());
    return;
  }
  if (Button == mbMiddle && !FOptions.Contains(htNoWheelMouse)) {
    FViewerState.Include(stMiddleScroll);
    FMiddleScrollY = Y;
    FPaintPanel->SetCursor(UpDownCursor);
    return;
  }
  if (Button != mbLeft) return;
  FViewerState.Include(stLeftButtonDown);
  bool select = true;
  if (FOptions.Contains(htNoLinkHilite)) {
    std::unique_ptr<TUrlTarget> ut;
    TFormControlObj* fc;
    String title;
    select = (hitTest(X, Y, ut, fc, title) & guUrl) == 0;
  }
  if (select) FViewerState.Include(stSelecting);
  selectionStart(X, Y, Shift);
  FSectionList->SetHoverControlPressed(true);
}

void THtmlView::HTMLMouseMove(TObject*, TShiftState Shift, int X, int Y) {
  if (!htRaiseEvent(FLife, OnMouseMove, this, Shift, X, Y).PageKept()) return;
  if (FViewerState.Contains(stMiddleScroll)) {
    if (!FViewerState.Contains(stMouseScrolling) && std::abs(Y - FMiddleScrollY) > 20) {
      FViewerState.Include(stMouseScrolling);
      PostMessage(Handle(), WM_MOUSE_SCROLL, 0, 0);
    }
    return;
  }
  TCursor cursor = crArrow;
  FHotSpotTitle.clear();
  String url, target;
  std::unique_ptr<TUrlTarget> ut;
  TFormControlObj* fc = nullptr;
  String title;
  const int flags = hitTest(X, Y, ut, fc, title);
  if ((flags & guUrl) && ut) {
    cursor = HandCursor;
    url = ut->URL;
    target = ut->Target;
    FLinkAttributes->SetText(ut->Attr);
    linkTextAndStart(*ut);
  }
  if (flags & guControl) cursor = HandCursor;
  if (flags & guTitle) FHotSpotTitle = title;
  FLinkUnderMouse = url;

  bool overImage = false;
  if (OnImageClick || OnImageOver) {
    TObject* obj;
    int ix, iy;
    if (objectAt(X, Y, obj, ix, iy)) {
      overImage = true;
      if (cursor != HandCursor) cursor = crArrow;
      if (!htRaiseEvent(FLife, OnImageOver, this, obj, Shift, ix, iy).PageKept()) return;
    }
  }
  if (!overImage && cursor != HandCursor) {
    bool intext = false;
    if (cursorPosAt(X, Y, &intext) >= 0 && intext) cursor = Cursor();
  }
  FPaintPanel->SetCursor(cursor);
  FHoverTimer->SetEnabled(cursor == HandCursor || FSectionList->HoverLink != nullptr);

  if (url != FHotSpotURL || target != FHotSpotTarget) {
    FHotSpotURL = url;
    FHotSpotTarget = target;
    if (!htRaiseEvent(FLife, OnHotSpotCovered, this, url).PageKept()) return;
  }
  if (Shift.Contains(ssLeft) && !FViewerState.Contains(stMouseScrolling) &&
      (Y < 1 || Y >= FPaintPanel->Height())) {
    FViewerState.Include(stMouseScrolling);
    PostMessage(Handle(), WM_MOUSE_SCROLL, 0, 0);
  }
  if (Shift.Contains(ssLeft) && !FNoSelect) HTMLMouseExtend(X, Y);
}

void THtmlView::FormControlMouseMove(TObject* Sender, TShiftState Shift, int X, int Y) {
  if (auto* fc = dynamic_cast<TFormControlObj*>(Sender)) {
    FHotSpotTitle = fc->FTitle;
    if (FHotSpotTitle.empty()) {
      // The title of what the control stands in (a span with a title).
      std::unique_ptr<TUrlTarget> ut;
      TFormControlObj* under = nullptr;
      String title;
      if (hitTest(fc->Left() + X, fc->Top() + Y, ut, under, title) & guTitle) FHotSpotTitle = title;
    }
  }
  (void)htRaiseEvent(FLife, OnMouseMove, this, Shift, X, Y);
}

void THtmlView::HTMLMouseUp(TObject*, TMouseButton Button, TShiftState Shift, int X, int Y) {
  if (FViewerState.Contains(stMiddleScroll)) {
    if (Button == mbMiddle && Y == FMiddleScrollY) return;  // a click turns the mode on
    FViewerState.Exclude(stMiddleScroll);
    FViewerState.Exclude(stMouseScrolling);
    FPaintPanel->SetCursor(Cursor());
    return;
  }
  if (!htRaiseEvent(FLife, OnMouseUp, this, Button, Shift, X, Y).PageKept()) return;

  TObject* image = nullptr;
  int ix = 0, iy = 0;
  if (OnImageClick || OnRightClick) {
    // The picture (and the page it was on) may be gone.
    if (objectAt(X, Y, image, ix, iy) &&
        !htRaiseEvent(FLife, OnImageClick, this, image, Button, Shift, ix, iy).PageKept())
      return;
  }
  if (Button == mbRight && OnRightClick) {
    auto params = std::make_unique<TRightClickParameters>();
    params->Image = image;
    params->ImageX = ix;
    params->ImageY = iy;
    FHotSpotTitle.clear();
    std::unique_ptr<TUrlTarget> ut;
    TFormControlObj* fc;
    String title;
    if ((hitTest(X, Y, ut, fc, title) & guUrl) && ut) {
      params->URL = ut->URL;
      params->Target = ut->Target;
    }
    String word;
    int after, before;
    if (GetWordAt(X, Y, word, after, before)) params->ClickWord = word;
    FHoverTimer->SetEnabled(false);
    if (htRaiseEvent(FLife, OnRightClick, this, params.get()).Gone()) return;
    FHoverTimer->SetEnabled(true);
    return;
  }
  if (Button != mbLeft || Shift.Contains(ssShift)) {
    if (Button == mbLeft) {
      FViewerState.Exclude(stLeftButtonDown);
      FViewerState.Exclude(stSelecting);
      FSectionList->SetHoverControlPressed(false);
    }
    return;
  }
  FViewerState.Exclude(stMouseScrolling);
  HTMLMouseExtend(X, Y);
  FViewerState.Exclude(stSelecting);
  FSectionList->SetHoverControlPressed(false);
  const bool wasDown = FViewerState.Contains(stLeftButtonDown);
  FViewerState.Exclude(stLeftButtonDown);
  if (!wasDown || FSectionList->SelEnd > FSectionList->SelStart) return;
  FHotSpotTitle.clear();
  std::unique_ptr<TUrlTarget> ut;
  TFormControlObj* fc = nullptr;
  String title;
  const int flags = hitTest(X, Y, ut, fc, title);
  if ((flags & guControl) && fc) {
    // The picture of an image input: it takes the focus and submits (the
    // control watches its page itself, and this is the click's last step).
    if (auto* image = dynamic_cast<TImageFormControlObj*>(fc)) image->ImageClick();
    return;
  }
  if (!(flags & guUrl) || !ut) return;
  FHotSpotURL = ut->URL;
  FHotSpotTarget = ut->Target;
  FLinkAttributes->SetText(ut->Attr);
  linkTextAndStart(*ut);
  {
    // The focus leaves a field of the page first.
    const ThtEventToken watch = watchEvents();
    focusLink(ut->ID);
    if (!watch.PageKept()) return;
  }
  FViewerState.Include(stHotSpotAction);
  FollowLink();
}

bool THtmlView::takeFocus() { return htSetFocus(this, watchEvents()); }

void THtmlView::focusLink(std::int32_t ID) {
  for (TFontObj* run : FSectionList->Links) {
    if (run->UrlTarget()->ID != ID || !run->TabControl()) continue;
    ThtTabControl* tab = run->TabControl();
    if (tab->CanFocus()) {
      const ThtEventToken watch = watchEvents();
      FInhibitControlEnter = true;
      (void)htSetFocus(tab, watch);
      if (watch.Gone()) return;
      FInhibitControlEnter = false;
    }
    return;
  }
}

void THtmlView::LinkKeyDown(TFontObj* Run, WORD& Key, TShiftState Shift) {
  if (Key == VK_RETURN) {
    // Followed from a posted message, once the tab stop's own key handling
    // has returned (following may free the tab stop with its page).
    const TUrlTarget& ut = *Run->UrlTarget();
    FHotSpotURL = ut.URL;
    FHotSpotTarget = ut.Target;
    FLinkAttributes->SetText(ut.Attr);
    linkTextAndStart(ut);
    Key = 0;
    PostFollowLink();
    return;
  }
  const bool arrow = Key >= VK_LEFT && Key <= VK_DOWN;
  const ThtEventToken watch = watchEvents();
  KeyDown(Key, Shift);
  // Arrows scroll the page and do not move the focus as well; a key whose
  // handler replaced the page (and the tab stop with it) or freed the
  // viewer is done. (Key is the tab stop's caller's.)
  if (arrow || !watch.PageKept()) Key = 0;
}

// ---- following links ------------------------------------------------------------------

bool THtmlView::HotSpotClickHandled() {
  bool handled = false;
  if (!OnHotSpotClick) return false;
  // A handler that showed another page (or freed the viewer) has dealt
  // with the link.
  const ThtEventToken asked = htRaiseEvent(FLife, OnHotSpotClick, this, String(FHotSpotURL), handled);
  return handled || !asked.PageKept();
}

void THtmlView::PostFollowLink() {
  if (HandleAllocated()) PostMessage(Handle(), WM_URL_ACTION, 0, 0);
}

void THtmlView::FollowLink() {
  // Loads the link's page: a handler of the load may free the viewer.
  (void)htRunWatched(FLife, [this] { followLink(); });
}

void THtmlView::followLink() {
  if (HotSpotClickHandled()) return;
  const std::int32_t oldPos = Position();
  String name, dest;
  SplitAtAnchor(FHotSpotURL, name, dest);
  if (name.empty()) {
    if (jumpToAnchor(dest)) addToHistory(FCurrentFile, FDocumentTitle, oldPos, nullptr, FCurrentDocType);
    return;
  }
  name = expandName(name);
  const TDocType kind = DocTypeOfFileName(name);
  const ThtEventToken watch = watchEvents();
  switch (kind) {
    case HtmlType:
      if (name != FCurrentFile) {
        LoadFromFile(name + dest, HtmlType);
        watch.UnwindIfGone();
        addVisitedLink(name + dest);
      } else if (jumpToAnchor(dest)) {
        addToHistory(FCurrentFile, FDocumentTitle, oldPos, nullptr, HtmlType);
      }
      break;
    case TextType:
    case ImgType:
      LoadFromFile(name + dest, kind);
      break;
    case OtherType:
      break;
  }
}

// ---- hover timer and auto-scroll -----------------------------------------------------------

void THtmlView::hoverTimer(TObject*) {
  TPoint pt;
  GetCursorPos(&pt);
  if (FPaintPanel->HandleAllocated() && WindowFromPoint(pt) == FPaintPanel->Handle()) return;
  FSectionList->ClearHover();
  FHoverTimer->SetEnabled(false);
  if (!FHotSpotURL.empty()) {
    FHotSpotURL.clear();
    FHotSpotTarget.clear();
    FLinkUnderMouse.clear();
    (void)htRaiseEvent(FLife, OnHotSpotCovered, this, String());
  }
}

void THtmlView::autoScrollLoop() {
  if (FInAutoScroll) return;
  FInAutoScroll = true;
  auto mousePos = [this] {
    TPoint p;
    GetCursorPos(&p);
    return FPaintPanel->ScreenToClient(p);
  };
  TPoint pt = mousePos();
  unsigned lastStep = 0;
  bool firstStep = true;
  const bool middle = FViewerState.Contains(stMiddleScroll);
  // The messages let through may reach a handler that frees the viewer.
  const ThtEventToken watch = watchEvents();
  auto keepGoing = [&] {
    if (!FSectionList) return false;
    if (FViewerState.Contains(stLeftButtonDown) && FViewerState.Contains(stMouseScrolling) &&
        (pt.y < 1 || pt.y > Height()))
      return true;
    return FViewerState.Contains(stMiddleScroll) && std::abs(pt.y - FMiddleScrollY) >= 21;
  };
  while (keepGoing()) {
    const unsigned now = GetTickCount();
    if (firstStep || now - lastStep > 100) {
      firstStep = false;
      lastStep = now;
      const int P = FVScrollBar->Position();
      const int SC = FVScrollBar->SmallChange();
      int N;
      if (!FViewerState.Contains(stMiddleScroll)) {
        if (pt.y < -15) N = P - 8 * SC;
        else if (pt.y < 1) N = P - SC;
        else if (pt.y > Height() + 15) N = P + 8 * SC;
        else N = P + SC;
      } else {
        int D = pt.y - FMiddleScrollY;
        if (D > 0) {
          D -= 16;
          FPaintPanel->SetCursor(DownOnlyCursor);
        } else {
          D += 16;
          FPaintPanel->SetCursor(UpOnlyCursor);
        }
        N = P + D / 4;
      }
      N = std::max(0, std::min(N, FDocHeight - FPaintPanel->Height()));
      ScrollToY(N);
      HTMLMouseExtend(pt.x, pt.y);
      FPaintPanel->Invalidate();
    }
    for (int i = 0; i < 4; ++i) {
      Application->ProcessMessages();
      if (watch.Gone()) return;
    }
    pt = mousePos();
  }
  FViewerState.Exclude(stMouseScrolling);
  if (middle && FViewerState.Contains(stMiddleScroll)) FPaintPanel->SetCursor(UpDownCursor);
  FInAutoScroll = false;
  runPendingLoad();
}

// ---- keeping a focused control or link in view -----------------------------------------------

void THtmlView::ControlEnter(TObject* Obj) {
  const int V = FVScrollBar->Position();
  const int CH = FPaintPanel->ClientHeight();
  if (auto* fc = dynamic_cast<TFormControlObj*>(Obj)) {
    const int Y = fc->YValue;
    if (Y >= V && Y <= V + CH - 20) return;
    SetVScrollPos(Y - CH / 2);
    Repaint();
    return;
  }
  auto* run = dynamic_cast<TFontObj*>(Obj);
  if (!run || FInhibitControlEnter) return;
  const int Y = run->YValue();
  if (Y < V)
    SetVScrollPos(Y);
  else if (Y > V + CH - 30)
    SetVScrollPos(Y - CH / 2);
  Repaint();
}
