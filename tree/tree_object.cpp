// The tree object itself: construction, destruction, a few properties, and
// the thin seam to the window (timers, invalidation, scroll ranges).
#include <algorithm>
#include <cstdlib>

#include "platform/gui/forms.h"
#include "platform/gui/windows.h"
#include "platform/graphics/imagelist.h"
#include "platform/gui/menus.h"
#include "tree/base_tree.h"
#include "tree/data_object.h"
#include "tree/globals.h"
#include "tree/worker.h"

const TTreeClassInfo* TBaseDataTree::ClassInfo() {
  static const TTreeClassInfo info{"TBaseDataTree", nullptr};
  return &info;
}

TBaseDataTree::TBaseDataTree(TComponent* AOwner)
    : TCustomControl(AOwner), FOptions(std::make_unique<TCustomDataTreeOptions>(this)) {
  InitializeGlobalStructures();
  ++TreeGlobals().TreeCount;
  SetControlStyle(ControlStyle() + TControlStyle{csCaptureMouse, csOpaque, csReplicatable,
                                                 csDisplayDragImage, csReflector} -
                  TControlStyle{csSetCaption});
  SetBounds(0, 0, 200, 100);
  SetTabStop(true);
  SetParentColor(false);
  FScrollBarOptions = std::make_unique<TScrollBarOptions>(this);
  FPlusBM = std::make_unique<TBitmap>();
  FMinusBM = std::make_unique<TBitmap>();
  FHotPlusBM = std::make_unique<TBitmap>();
  FHotMinusBM = std::make_unique<TBitmap>();
  FHeader = std::make_unique<TDTHeader>(this);
  FBackground = std::make_unique<TPicture>();
  FBackground->OnChange = [this](TObject*) { InvalidateWindow(); };
  FColors = std::make_unique<TDTColors>(this);
  FClipboardFormats = std::make_unique<TClipboardFormats>(this);
  FCheckImages = GetCheckImageList(ckSystemDefault);
  for (auto* link : {&FImagesLink, &FStateImagesLink, &FCheckImagesLink}) {
    *link = std::make_unique<TChangeLink>();
    (*link)->OnChange = [this](TObject*) { imageListChanged(nullptr); };
  }
  createRoot();
  initDragAndClipboard();
  AddThreadReference();
}

TBaseDataTree::~TBaseDataTree() {
  // Clearing has to work even for a read-only tree.
  FOptions->SetMiscOptions(FOptions->MiscOptions() - TDTMiscOptions{toReadOnly});
  FDestroying = true;
  releaseDragAndClipboard();
  // Code that raised an event learns from this that the tree went.
  FLifeToken.reset();
  FEntryLife->Alive = false;
  TLifeHold::release(FEntryLife);
  FEntryLife = nullptr;
  ReleaseThreadReference(this);
  // The panning marker is a window of its own that paints the tree's
  // picture: it goes before the picture does.
  StopWheelPanning();
  DetachEditor();
  FClipboardFormats.reset();
  Clear();
  for (int id : {ExpandTimer, EditTimer, HeaderTimer, ScrollTimer, ChangeTimer,
                 StructureChangeTimer, SearchTimer})
    StopTimer(id);
  FImagesLink.reset();
  FStateImagesLink.reset();
  FCheckImagesLink.reset();
  FColors.reset();
  FBackground.reset();
  FScrollBarOptions.reset();
  FHeader.reset();
  if (FDeferWindow) DeallocateHWnd(FDeferWindow);
  // The hidden root is a heap block of its own (it grows with the internal data).
  std::free(FRoot);
  FRoot = nullptr;
  if (FDottedBrush) DeleteObject(FDottedBrush);
  FDottedBrush = nullptr;
  if (--TreeGlobals().TreeCount <= 0) FinalizeGlobalStructures();
}

void TBaseDataTree::Dispatch(TMessage& Message) {
  if (DispatchDragAndClipboard(Message)) return;
  switch (Message.Msg) {
    case CM_HINTSHOW: HandleHintShow(Message); return;
    case CM_HINTSHOWPAUSE: HandleHintShowPause(Message); return;
    case WM_GETOBJECT: HandleGetObject(Message); return;
    // Coming back later asks for a hint anew.
    case CM_MOUSELEAVE: FLastHintRect = {}; break;
    default: break;
  }
  if (DispatchInput(Message)) return;
  switch (Message.Msg) {
    case WM_CHANGESTATE:
      HandleChangeState(Message.WParam, Message.LParam);
      return;
    case WM_UPDATERANGEX:
      FRangeXUpdatePosted = false;
      if (!FHeader->UseColumns() && !FRangeXRemeasure && FMaxRightExtend != FRangeX)
        UpdateHorizontalScrollBar(true);
      return;
    case WM_TIMER:
      if (Message.WParam == WPARAM(ChangeTimer) || Message.WParam == WPARAM(StructureChangeTimer)) {
        HandleChangeTimer(int(Message.WParam));
        return;
      }
      break;
    // The header lives in the frame, above the client area: the frame is
    // made taller by it, hands its clicks to it and paints it.
    case WM_NCCALCSIZE:
      inheritedDispatch(Message);
      if (FHeader->Options().Contains(hoVisible) && Message.LParam)
        reinterpret_cast<TRect*>(Message.LParam)->Top += FHeader->Height();
      return;
    case WM_NCHITTEST: {
      inheritedDispatch(Message);
      TPoint p{GET_X_LPARAM(Message.LParam), GET_Y_LPARAM(Message.LParam)};
      p = ScreenToClient(p);
      // Over the header strip the header gets the mouse as frame messages.
      if (FHeader->InHeaderClient(p) && p.x < ClientWidth()) Message.Result = HTBORDER;
      return;
    }
    case WM_NCPAINT:
      inheritedDispatch(Message);
      PaintHeaderInFrame();
      return;
    case CM_COLORCHANGED:
      inheritedDispatch(Message);
      // The expand buttons are filled with the tree's colour.
      if (!ComponentState().Contains(csLoading)) {
        const std::weak_ptr<const bool> life = FLifeToken;
        PrepareBitmaps(true, true);
        if (life.expired()) return;
        InvalidateWindow();
      }
      return;
    case CM_FONTCHANGED: {
      inheritedDispatch(Message);
      if (!ComponentState().Contains(csLoading)) {
        PrepareBitmaps(true, false);
        InvalidateWindow();
      }
      // The header is no child window of the tree: it learns of the new
      // font here, and takes it when it follows the tree's.
      TMessage parentFont{CM_PARENTFONTCHANGED, 0, 0, 0};
      FHeader->HandleMessage(parentFont);
      return;
    }
    case CM_SYSCOLORCHANGE: {
      // Check boxes and buttons are drawn in the desktop's colours.
      ReloadSharedCheckImages();
      const std::weak_ptr<const bool> life = FLifeToken;
      if (!ComponentState().Contains(csLoading)) PrepareBitmaps(true, true);
      if (life.expired()) return;
      InvalidateWindow();
      Message.Msg = WM_SYSCOLORCHANGE;
      DefaultHandler(Message);
      return;
    }
    default:
      break;
  }
  inheritedDispatch(Message);
}

void TBaseDataTree::PaintHeaderInFrame() {
  GuardedEntry([&] {
  if (!FHeader->Options().Contains(hoVisible) || !TreeHandleAllocated()) return;
  UpdateHeaderRect();
  const TRect r = FHeaderRect;
  if (r.Width() <= 0 || r.Height() <= 0) return;
    const HWND window = Handle();
    HDC dc = GetWindowDC(window);
  if (!dc) return;
    // A header paint handler may destroy the tree and its window: the
    // context goes all the same.
    try {
  paintHeaderInto(dc);
    } catch (...) {
      ReleaseDC(window, dc);
      throw;
    }
    ReleaseDC(window, dc);
  });
}

void TBaseDataTree::paintHeaderInto(HDC DC) {
  const TRect r = FHeaderRect;
  if (r.Width() <= 0 || r.Height() <= 0) return;
  // The window context starts at the window's corner, the header's
  // columns at the client area's left edge.
  TPoint old;
  SetViewportOrgEx(DC, r.Left, r.Top, &old);
  FHeader->Columns().PaintHeader(DC, {0, 0, r.Width(), r.Height()}, -EffectiveOffsetX());
  SetViewportOrgEx(DC, old.x, old.y, nullptr);
}

// ---- properties --------------------------------------------------------------

void TBaseDataTree::SetFocusedNode(PDataNode Value) {
  GuardedEntry([&] {
  PDataNode was = FFocusedNode;
  DoFocusNode(Value, true);
  if (was != FFocusedNode && FFocusedNode == Value) DoFocusChange(FFocusedNode, FFocusedColumn);
  });
}

void TBaseDataTree::SetDefaultNodeHeight(std::uint32_t Value) {
  GuardedEntry([&] {
  if (Value == 0) Value = 18;
  if (Value > 0xFFFF) Value = 0xFFFF;
  if (Value == FDefaultNodeHeight) return;
  DoStateChange({tsNeedScale});
  InterruptValidation();
  std::int64_t difference = std::int64_t(Value) - std::int64_t(FDefaultNodeHeight);
  FRoot->TotalHeight = std::uint32_t(std::int64_t(FRoot->TotalHeight) + difference);
  FRoot->NodeHeight = std::uint16_t(std::int64_t(FRoot->NodeHeight) + difference);
  FDefaultNodeHeight = Value;
  ExpireCache();
  if (FUpdateCount == 0 && TreeHandleAllocated() && !ComponentState().Contains(csLoading)) {
    InvalidateCache();
    UpdateScrollBars(true);
    if (FFocusedNode)
      ScrollIntoView(FFocusedNode, FOptions->SelectionOptions().Contains(toCenterScrollIntoView), true);
    InvalidateWindow();
  }
  });
}

void TBaseDataTree::SetBottomSpace(std::uint32_t Value) {
  // The scroll bar handlers may destroy the tree.
  GuardedEntry([&] {
    if (Value == FBottomSpace) return;
    FBottomSpace = Value;
    UpdateScrollBars(true);
  });
}

void TBaseDataTree::SetAnimationDuration(std::uint32_t Value) {
  FAnimationDuration = Value;
  TDTAnimationOptions options = FOptions->AnimationOptions();
  if (Value == 0)
    options.Exclude(toAnimatedToggle);
  else
    options.Include(toAnimatedToggle);
  FOptions->SetAnimationOptions(options);
}

// ---- window seam ----------------------------------------------------------------

bool TBaseDataTree::TreeHandleAllocated() const { return HandleAllocated(); }

void TBaseDataTree::UpdateTreeWindow() {
  if (TreeHandleAllocated()) ThroughToolkit([this] { UpdateWindow(Handle()); });
}

void TBaseDataTree::InvalidateWindow() {
  if (FUpdateCount == 0 && TreeHandleAllocated()) Invalidate();
}




void TBaseDataTree::StartTreeTimer(int TimerID, std::uint32_t Interval) {
  if (!TreeHandleAllocated()) return;
  if (SetTimer(Handle(), std::uintptr_t(TimerID), Interval) != 0)
    FRunningTimers |= 1u << unsigned(TimerID);
}

void TBaseDataTree::StopTimer(int TimerID) {
  // Called for every structure change inside a bracket: make the idle case free.
  std::uint32_t bit = 1u << unsigned(TimerID);
  if (!(FRunningTimers & bit)) return;
  FRunningTimers &= ~bit;
  if (TreeHandleAllocated()) KillTimer(Handle(), std::uintptr_t(TimerID));
}



void TBaseDataTree::ToggleAnimation(PDataNode Node, bool Expanding, std::int64_t Height) {
  if (!FOptions->AnimationOptions().Contains(toAnimatedToggle) || FUpdateCount > 0 || FAnimationDuration == 0)
    return;
  if (Height <= 0 || !Node || Node == FRoot || !TreeHandleAllocated() || !IsWindowVisible(Handle())) return;
  // Full expands and collapses, paints and other animations do not animate.
  if (FStates.Contains(tsPainting) || FStates.Contains(tsInAnimation) || FToggleSlide != tgNone ||
      FStates.Contains(Expanding ? tsExpanding : tsCollapsing))
    return;
  const int clientHeight = ClientHeight();
  const TRect row = GetDisplayRect(Node, NoColumn, false);
  if (row.Top >= clientHeight || row.Bottom <= 0 || clientHeight <= 0) return;

  // The distance the band moves: no further than the window shows.
  const int band = std::max(row.Bottom, 0);
  std::int64_t distance = std::min<std::int64_t>(Height, clientHeight - band);
  TToggleSlide slide = Expanding ? tgDown : tgUp;
  const TDTAnimationOptions animation = FOptions->AnimationOptions();
  if (Expanding && animation.Contains(toAdvancedAnimatedToggle) &&
      FOptions->AutoOptions().Contains(toAutoScrollOnExpand) &&
      !FOptions->PaintOptions().Contains(toChildrenAbove) && row.Bottom + Height > clientHeight && row.Top > 0) {
    // The rows would not fit below the node: the node goes up as far as
    // the view will scroll after the expand.
    slide = tgTopUp;
    distance = std::min<std::int64_t>(row.Top, row.Bottom + Height - clientHeight);
  }
  if (distance <= 0) return;

  if (Application) Application->CancelHint();
  const std::weak_ptr<const bool> life = LifeToken();
  ThroughToolkit([&] { UpdateWindow(Handle()); });
  // The painter's handlers may delete the node or destroy the tree: the
  // animation stops at once then.
  TNodeWatch watch(*this, Node);
  FToggleSlide = slide;
  FToggleBand = slide == tgTopUp ? row.Bottom : band;
  FToggleShift = 0;
  const TRect moving{0, slide == tgTopUp ? 0 : band, ClientWidth(), clientHeight};
  auto step = [&](int Step, int StepSize, void*) {
    if (life.expired() || !watch.Node()) return false;
    FToggleShift = Step == 0 ? int(distance) : std::min(int(distance), FToggleShift + StepSize);
    InvalidateRect(Handle(), &moving, false);
    UpdateWindow(Handle());
    return !life.expired() && watch.Node() != nullptr;
  };
  try {
    Animate(std::uint32_t(distance), FAnimationDuration, step, nullptr);
  } catch (...) {
    if (!life.expired()) FToggleSlide = tgNone;
    throw;
  }
  if (life.expired()) return;
  FToggleSlide = tgNone;
  FToggleShift = 0;
}

void TBaseDataTree::ReleaseClipboardIfOwner() {
  // Another program or tree may have put something there since our cut or
  // copy; that must stay. A copy that still waits for the clipboard (made
  // while our data was read) goes too. Either release may end the copy,
  // whose state handler may destroy the tree: nothing of it is touched after.
  const std::uint64_t token = FTreeToken;
  if (ClipboardHoldsTree(this)) OleWithdrawClipboard();
  DropWaitingClipboardCopies(token);
}

bool TBaseDataTree::applicationTerminating() const {
  return Application && Application->Terminated();
}

// ---- display properties -------------------------------------------------------------

namespace {
bool isLoading(const TComponent* c) { return c->ComponentState().Contains(csLoading); }
}  // namespace

void TBaseDataTree::SetAlignment(TAlignment Value) {
  if (Value == FAlignment) return;
  FAlignment = Value;
  if (!isLoading(this)) InvalidateWindow();
}

void TBaseDataTree::SetBackground(const TPicture& Value) {
  GuardedEntry([&] {
  FBackground->Assign(Value);
  InvalidateWindow();
  });
}

void TBaseDataTree::SetBackgroundOffsetX(int Value) {
  if (Value == FBackgroundOffsetX) return;
  FBackgroundOffsetX = Value;
  InvalidateWindow();
}

void TBaseDataTree::SetBackgroundOffsetY(int Value) {
  if (Value == FBackgroundOffsetY) return;
  FBackgroundOffsetY = Value;
  InvalidateWindow();
}

void TBaseDataTree::SetButtonFillMode(TDTButtonFillMode Value) {
  if (Value == FButtonFillMode) return;
  FButtonFillMode = Value;
  if (isLoading(this)) return;
  PrepareBitmaps(true, false);
  InvalidateWindow();
}

void TBaseDataTree::SetButtonStyle(TDTButtonStyle Value) {
  if (Value == FButtonStyle) return;
  FButtonStyle = Value;
  if (isLoading(this)) return;
  PrepareBitmaps(true, false);
  InvalidateWindow();
}

void TBaseDataTree::SetCheckImageKind(TCheckImageKind Value) {
  if (Value == FCheckImageKind) return;
  FCheckImageKind = Value;
  checkImagesChanged();
}

void TBaseDataTree::SetCustomCheckImages(TImageList* Value) {
  if (Value == FCustomCheckImages) return;
  TImageList* old = FCustomCheckImages;
  if (old) old->UnRegisterChanges(FCheckImagesLink.get());
  FCustomCheckImages = Value;
  if (Value) Value->RegisterChanges(FCheckImagesLink.get());
  referenceChanged(old, Value);
  checkImagesChanged();
}

bool TBaseDataTree::refersTo(const TComponent* AComponent) const {
  if (!AComponent) return false;
  if (AComponent == FImages || AComponent == FStateImages || AComponent == FCustomCheckImages) return true;
  if (AComponent == PopupMenu()) return true;
  return FHeader && (AComponent == FHeader->Images() || AComponent == FHeader->PopupMenu());
}

void TBaseDataTree::referenceChanged(TComponent* Old, TComponent* New) {
  if (Old && Old != New && !refersTo(Old)) Old->RemoveFreeNotification(this);
  if (New) New->FreeNotification(this);
}

void TBaseDataTree::SetPopupMenu(TPopupMenu* Value) {
  TPopupMenu* old = PopupMenu();
  if (Value == old) return;
  TCustomControl::SetPopupMenu(Value);
  // The control let go of its old menu, which the header may still show.
  if (old && refersTo(old)) old->FreeNotification(this);
}

void TBaseDataTree::checkImagesChanged() {
  TImageList* list = GetCheckImageList(FCheckImageKind);
  FCheckImages = list ? list : FCustomCheckImages;
  if (FCheckImageKind == ckCustom) FCheckImages = FCustomCheckImages;
  if (!isLoading(this) && FUpdateCount == 0) InvalidateWindow();
}

void TBaseDataTree::SetClipboardFormats(const std::vector<String>& Value) {
  FClipboardFormats->Clear();
  for (const String& s : Value) FClipboardFormats->Add(s);
}

void TBaseDataTree::SetHeader(const TDTHeader& Value) { FHeader->Assign(Value); }

void TBaseDataTree::imageListChanged(TImageList* List) {
  (void)List;
  if (!FDestroying && !isLoading(this)) InvalidateWindow();
}

void TBaseDataTree::SetImages(TImageList* Value) {
  if (Value == FImages) return;
  TImageList* old = FImages;
  if (old) old->UnRegisterChanges(FImagesLink.get());
  FImages = Value;
  if (Value) Value->RegisterChanges(FImagesLink.get());
  referenceChanged(old, Value);
  imageListChanged(Value);
}

void TBaseDataTree::SetStateImages(TImageList* Value) {
  if (Value == FStateImages) return;
  TImageList* old = FStateImages;
  if (old) old->UnRegisterChanges(FStateImagesLink.get());
  FStateImages = Value;
  if (Value) Value->RegisterChanges(FStateImagesLink.get());
  referenceChanged(old, Value);
  if (TreeHandleAllocated()) imageListChanged(Value);
}

void TBaseDataTree::Notification(TComponent* AComponent, TOperation Operation) {
  TCustomControl::Notification(AComponent, Operation);
  if (Operation != opRemove) return;
  // A picture list freed before the tree must not be drawn from any more.
  if (AComponent == FImages) FImages = nullptr;
  if (AComponent == FStateImages) FStateImages = nullptr;
  if (AComponent == FCustomCheckImages) {
    FCustomCheckImages = nullptr;
    if (FCheckImages == AComponent) FCheckImages = nullptr;
    // Without its own pictures the tree draws the system's check boxes
    // rather than none at all.
    if (FCheckImageKind == ckCustom && !FDestroying) {
      FCheckImageKind = ckSystemDefault;
      checkImagesChanged();
    }
  }
  // The header's list and menu go the same way.
  if (FHeader && FHeader->ComponentFreed(AComponent) && !FDestroying) FHeader->Invalidate(NoColumn);
  if (!FDestroying) InvalidateWindow();
}

void TBaseDataTree::SetIndent(std::uint32_t Value) {
  GuardedEntry([&] {
  if (Value == FIndent) return;
  FIndent = Value;
  if (FUpdateCount == 0 && TreeHandleAllocated() && !isLoading(this)) {
    UpdateScrollBars(true);
    InvalidateWindow();
  }
  });
}

void TBaseDataTree::SetLineMode(TDTLineMode Value) {
  if (Value == FLineMode) return;
  FLineMode = Value;
  if (!isLoading(this)) InvalidateWindow();
}

void TBaseDataTree::SetLineStyle(TDTLineStyle Value) {
  if (Value == FLineStyle) return;
  FLineStyle = Value;
  if (isLoading(this)) return;
  // The line style's handler may destroy the tree.
  GuardedEntry([this] {
    PrepareBitmaps(false, true);
    InvalidateWindow();
  });
}

void TBaseDataTree::SetMargin(int Value) {
  if (Value == FMargin) return;
  FMargin = Value;
  InvalidateWindow();
}

void TBaseDataTree::SetTextMargin(int Value) {
  if (Value == FTextMargin) return;
  FTextMargin = Value;
  InvalidateWindow();
}

void TBaseDataTree::SetNodeAlignment(TDTNodeAlignment Value) {
  if (Value == FNodeAlignment) return;
  FNodeAlignment = Value;
  if (!ComponentState().Contains(csReading)) InvalidateWindow();
}

void TBaseDataTree::SetSelectionCurveRadius(std::uint32_t Value) {
  if (Value == FSelectionCurveRadius) return;
  FSelectionCurveRadius = Value;
  if (!isLoading(this)) InvalidateWindow();
}

void TBaseDataTree::Assign(const TBaseDataTree& Source) {
  if (readOnly()) return;
  SetAlign(Source.Align());
  SetAnchors(Source.Anchors());
  SetBiDiMode(Source.BiDiMode());
  SetBackground(*Source.Background());
  SetBorderStyle(const_cast<TBaseDataTree&>(Source).BorderStyle());
  SetBorderWidth(const_cast<TBaseDataTree&>(Source).BorderWidth());
  SetChangeDelay(Source.ChangeDelay());
  SetCheckImageKind(Source.CheckImageKind());
  SetColor(Source.Color());
  SetColors(Source.Colors());
  SetCtl3D(Source.Ctl3D());
  SetDefaultNodeHeight(Source.DefaultNodeHeight());
  SetDefaultPasteMode(Source.DefaultPasteMode());
  SetDragImageKind(Source.DragImageKind());
  SetDragKind(Source.DragKind());
  SetDragMode(Source.DragMode());
  SetEnabled(Source.Enabled());
  SetFont(*const_cast<TBaseDataTree&>(Source).Font());
  SetHeader(Source.Header());
  SetHintAnimation(Source.HintAnimation());
  SetHintMode(Source.HintMode());
  SetImages(Source.Images());
  SetHelpContext(Source.HelpContext());
  SetIndent(Source.Indent());
  SetMargin(Source.Margin());
  SetNodeAlignment(Source.NodeAlignment());
  SetNodeDataSize(Source.NodeDataSize());
  SetTreeOptions(Source.TreeOptions());
  SetParentColor(Source.ParentColor());
  SetParentFont(Source.ParentFont());
  SetParentShowHint(Source.ParentShowHint());
  SetPopupMenu(Source.PopupMenu());
  SetRootNodeCount(Source.RootNodeCount());
  SetScrollBarOptions(*Source.FScrollBarOptions);
  if (!Source.ParentShowHint()) SetShowHint(Source.ShowHint());
  SetStateImages(Source.StateImages());
  SetTabStop(Source.TabStop());
  TControl::SetVisible(Source.Visible());
  SetSelectionCurveRadius(Source.SelectionCurveRadius());
  SetSelectionBlendFactor(Source.SelectionBlendFactor());
}

bool TBaseDataTree::CanFocus() const {
  if (!TCustomControl::CanFocus()) return false;
  if (ComponentState().Contains(csDesigning)) return true;
  TForm* form = GetParentForm();
  return !form || (form->CanFocus() && form->Visible());
}

void TBaseDataTree::SetFocusedColumn(TColumnIndex Value) {
  GuardedEntry([&] {
  if (Value == FFocusedColumn) return;
  // Only a column that exists can take the focus (or none at all).
  if (Value != NoColumn && !FHeader->Columns().IsValidColumn(Value)) return;
  if (!DoFocusChanging(FFocusedNode, FFocusedNode, FFocusedColumn, Value)) return;
  CancelEditNode();
  InvalidateColumn(FFocusedColumn);
  InvalidateColumn(Value);
  FFocusedColumn = Value;
  if (!FOptions->AutoOptions().Contains(toDisableAutoscrollOnFocus) && FFocusedNode) {
    if (ScrollIntoView(FFocusedNode, FOptions->SelectionOptions().Contains(toCenterScrollIntoView),
                       true))
      InvalidateNode(FFocusedNode);
  }
  if (FDropTargetNode) InvalidateNode(FDropTargetNode);
  DoFocusChange(FFocusedNode, FFocusedColumn);
  });
}

void TBaseDataTree::SetOptionsObject(std::unique_ptr<TCustomDataTreeOptions> Value) {
  if (!Value) return;
  FOptions->AssignTo(*Value);
  FOptions = std::move(Value);
}
