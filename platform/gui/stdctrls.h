#pragma once
// Stock controls placed on the program's windows: panels, labels, buttons,
// edits, combo boxes, check boxes, progress bars, scroll bars, page and tab
// controls. Each is a real Qt widget behind the usual properties and events.
#include <memory>

#include "platform/core/string_list.h"
#include "platform/gui/controls.h"

class TBitmap;

enum TBevelCut { bvNone, bvLowered, bvRaised, bvSpace };

class TPanel : public TCustomControl {
public:
  explicit TPanel(TComponent* AOwner);
  TBevelCut BevelOuter() const { return FBevelOuter; }
  void SetBevelOuter(TBevelCut value);
  TBevelCut BevelInner() const { return FBevelInner; }
  void SetBevelInner(TBevelCut value);
  int BevelWidth() const { return FBevelWidth; }
  void SetBevelWidth(int value);
  TAlignment Alignment() const { return FAlignment; }
  void SetAlignment(TAlignment value);
  bool ParentBackground() const { return FParentBackground; }
  void SetParentBackground(bool value) { FParentBackground = value; Invalidate(); }
  bool ShowCaption() const { return FShowCaption; }
  void SetShowCaption(bool value) { FShowCaption = value; Invalidate(); }

protected:
  void Paint() override;
  // Children align inside the bevels.
  void AlignControls(TControl* AControl, TRect& Rect) override;

private:
  TBevelCut FBevelOuter = bvRaised;
  TBevelCut FBevelInner = bvNone;
  int FBevelWidth = 1;
  TAlignment FAlignment = taCenter;
  bool FParentBackground = true;
  bool FShowCaption = true;
};

// The framework's base names for controls the program derives from.
using TCustomPanel = TPanel;

enum TTextLayout { tlTop, tlCenter, tlBottom };
// Where a label cuts a caption wider than itself: nowhere, or at its end
// (the rest replaced by "…").
enum TEllipsisPosition { epNone, epEndEllipsis };

class TLabel : public TControl {
public:
  explicit TLabel(TComponent* AOwner);
  bool AutoSize() const { return FAutoSize; }
  void SetAutoSize(bool value);
  bool WordWrap() const { return FWordWrap; }
  void SetWordWrap(bool value);
  bool Transparent() const { return FTransparent; }
  void SetTransparent(bool value);
  TAlignment Alignment() const { return FAlignment; }
  void SetAlignment(TAlignment value);
  TTextLayout Layout() const { return FLayout; }
  void SetLayout(TTextLayout value);
  // With AutoSize and WordWrap off, a caption wider than the label is cut
  // to fit it; the whole caption is then the label's hint (shown when
  // ShowHint is on) unless it has a hint of its own.
  TEllipsisPosition EllipsisPosition() const { return FEllipsisPosition; }
  void SetEllipsisPosition(TEllipsisPosition value);
  // The caption as the label shows it (cut, or whole).
  String ShownCaption() const;
  // Control whose focus an accelerator in the caption moves to.
  TWinControl* FocusControl() const { return FFocusControl; }
  void SetFocusControl(TWinControl* value) { FFocusControl = value; }
  // Resizes to the caption when AutoSize is on.
  void AdjustBounds();

protected:
  void CreateWnd() override;
  void TextChanged() override;
  void SyncWidget() override;
  void Dispatch(TMessage& Message) override;
  void Resize() override;

private:
  bool cuts() const;
  bool FAutoSize = true;
  bool FWordWrap = false;
  TEllipsisPosition FEllipsisPosition = epNone;
  bool FTransparent = true;
  TAlignment FAlignment = taLeftJustify;
  TTextLayout FLayout = tlTop;
  TWinControl* FFocusControl = nullptr;
};

class TButton : public TWinControl {
public:
  explicit TButton(TComponent* AOwner);
  bool Default() const { return FDefault; }
  void SetDefault(bool value);
  bool Cancel() const { return FCancel; }
  void SetCancel(bool value) { FCancel = value; }
  int ModalResult() const { return FModalResult; }
  void SetModalResult(int value) { FModalResult = value; }
  // Presses the button: OnClick, then the form's modal result when set.
  void Click() override;

protected:
  void CreateWnd() override;
  void TextChanged() override;
  void SyncWidget() override;
  void Dispatch(TMessage& Message) override;

private:
  bool FDefault = false;
  bool FCancel = false;
  int FModalResult = 0;
};

enum TBitBtnKind { bkCustom, bkOK, bkCancel, bkHelp, bkYes, bkNo, bkClose, bkAbort, bkRetry,
                   bkIgnore, bkAll };
enum TButtonLayout { blGlyphLeft, blGlyphRight, blGlyphTop, blGlyphBottom };

class TBitBtn : public TButton {
public:
  explicit TBitBtn(TComponent* AOwner);
  ~TBitBtn() override;
  TBitBtnKind Kind() const { return FKind; }
  void SetKind(TBitBtnKind value);
  TButtonLayout Layout() const { return FLayout; }
  void SetLayout(TButtonLayout value) { FLayout = value; }
  // The picture beside the caption, as 32-bit ARGB rows (empty: none).
  void SetGlyph(const std::uint32_t* Pixels, int Width, int Height);
  // The picture from a bitmap; its bottom-left pixel's colour is
  // transparent, as button glyphs are drawn.
  void SetGlyph(TBitmap* Glyph);

protected:
  void CreateWnd() override;

private:
  TBitBtnKind FKind = bkCustom;
  TButtonLayout FLayout = blGlyphLeft;
  std::vector<std::uint32_t> FGlyph;
  int FGlyphWidth = 0, FGlyphHeight = 0;
};

enum TEditCharCase { ecNormal, ecUpperCase, ecLowerCase };

class TEdit : public TWinControl {
public:
  explicit TEdit(TComponent* AOwner);
  int MaxLength() const { return FMaxLength; }
  void SetMaxLength(int value);
  bool ReadOnly() const { return FReadOnly; }
  void SetReadOnly(bool value);
  char16_t PasswordChar() const { return FPasswordChar; }
  void SetPasswordChar(char16_t value);
  bool AutoSelect() const { return FAutoSelect; }
  void SetAutoSelect(bool value) { FAutoSelect = value; }
  int SelStart() const;
  void SetSelStart(int value);
  int SelLength() const;
  void SetSelLength(int value);
  String SelText() const;
  void SetSelText(const String& value);
  void SelectAll();
  void Clear() { SetText(String()); }
  void ClearSelection() { SetSelText(String()); }
  void CopyToClipboard();
  void CutToClipboard();
  void PasteFromClipboard();
  bool Modified() const { return FModified; }
  void SetModified(bool value) { FModified = value; }
  // The window is made from CreateParams: with ES_MULTILINE it takes several
  // lines (wrapped at its width unless ES_AUTOHSCROLL; line breaks read as
  // CR LF); ES_CENTER or ES_RIGHT align the text; WS_VSCROLL and WS_HSCROLL
  // give a multi-line edit its scroll bars. A changed style applies when the
  // window is made again.
  bool MultiLine() const { return (FEditStyle & ES_MULTILINE) != 0; }
  DWORD EditStyle() const { return FEditStyle; }

  TNotifyEvent OnChange;

protected:
  void CreateWnd() override;
  void CreateParams(TCreateParams& Params) override;
  String GetText() const override;
  void TextChanged() override;
  void SyncWidget() override;
  void Dispatch(TMessage& Message) override;
  virtual void Change();

private:
  friend struct TEditBridge;
  void widgetTextChanged();
  void setFormatRect(const TRect& R);
  DWORD FEditStyle = 0;
  TRect FFormatRect;
  bool FHasFormatRect = false;
  int FMaxLength = 0;
  bool FReadOnly = false;
  char16_t FPasswordChar = 0;
  bool FAutoSelect = true;
  bool FModified = false;
  int FSelStart = 0, FSelLength = 0;
  bool FSyncing = false;
  bool FSettingText = false;
};

using TCustomEdit = TEdit;

enum TComboBoxStyle { csDropDown, csSimple, csDropDownList, csOwnerDrawFixed, csOwnerDrawVariable };

class TComboBox : public TWinControl {
public:
  explicit TComboBox(TComponent* AOwner);
  ~TComboBox() override;
  TStrings* Items() const { return FItems.get(); }
  void SetItems(const TStrings& value) { FItems->Assign(value); }
  int ItemIndex() const;
  void SetItemIndex(int value);
  TComboBoxStyle Style() const { return FStyle; }
  void SetStyle(TComboBoxStyle value);
  int DropDownCount() const { return FDropDownCount; }
  void SetDropDownCount(int value);
  bool DroppedDown() const;
  void SetDroppedDown(bool value);
  int MaxLength() const { return FMaxLength; }
  void SetMaxLength(int value);
  bool Sorted() const { return FSorted; }
  void SetSorted(bool value);
  // Whether typing in the box completes the text inline from its own items
  // (on by default). A box whose owner lists suggestions itself turns it off:
  // an inline completion would otherwise replace what the user typed.
  bool AutoComplete() const { return FAutoComplete; }
  void SetAutoComplete(bool value);
  int SelStart() const;
  void SetSelStart(int value);
  int SelLength() const;
  void SetSelLength(int value);
  void SelectAll();
  void Clear();

  TNotifyEvent OnChange;
  TNotifyEvent OnSelect;
  TNotifyEvent OnDropDown;
  TNotifyEvent OnCloseUp;

protected:
  void CreateWnd() override;
  String GetText() const override;
  void TextChanged() override;
  void SyncWidget() override;
  void Dispatch(TMessage& Message) override;
  virtual void Change();
  virtual void Select();

private:
  friend struct TComboBridge;
  void itemsChanged();
  std::unique_ptr<TStringList> FItems;
  TComboBoxStyle FStyle = csDropDown;
  int FDropDownCount = 8;
  int FMaxLength = 0;
  bool FSorted = false;
  bool FAutoComplete = true;
  int FItemIndex = -1;
  bool FSyncing = false;
};

enum TCheckBoxState { cbUnchecked, cbChecked, cbGrayed };

class TCheckBox : public TWinControl {
public:
  explicit TCheckBox(TComponent* AOwner);
  bool Checked() const { return FState == cbChecked; }
  // Setting it from code fires OnClick, as a click does.
  void SetChecked(bool value);
  TCheckBoxState State() const { return FState; }
  void SetState(TCheckBoxState value);
  bool AllowGrayed() const { return FAllowGrayed; }
  void SetAllowGrayed(bool value);
  TAlignment Alignment() const { return FAlignment; }
  void SetAlignment(TAlignment value) { FAlignment = value; }

protected:
  void CreateWnd() override;
  void TextChanged() override;
  void SyncWidget() override;
  void Dispatch(TMessage& Message) override;
  virtual void Toggle();

private:
  friend struct TCheckBridge;
  TCheckBoxState FState = cbUnchecked;
  bool FAllowGrayed = false;
  TAlignment FAlignment = taRightJustify;
  bool FSyncing = false;
};

enum TProgressBarOrientation { pbHorizontal, pbVertical };
// pbstMarquee: work of unknown length, shown as a moving bar with no
// position.
enum TProgressBarStyle { pbstNormal, pbstMarquee };

class TProgressBar : public TWinControl {
public:
  explicit TProgressBar(TComponent* AOwner);
  int Min() const { return FMin; }
  void SetMin(int value);
  int Max() const { return FMax; }
  void SetMax(int value);
  int Position() const { return FPosition; }
  void SetPosition(int value);
  int Step() const { return FStep; }
  void SetStep(int value) { FStep = value; }
  void StepIt();
  void StepBy(int Delta);
  TProgressBarOrientation Orientation() const { return FOrientation; }
  void SetOrientation(TProgressBarOrientation value);
  bool Smooth() const { return FSmooth; }
  void SetSmooth(bool value) { FSmooth = value; }
  TProgressBarStyle Style() const { return FStyle; }
  void SetStyle(TProgressBarStyle value);

protected:
  void CreateWnd() override;
  void SyncWidget() override;

private:
  int FMin = 0, FMax = 100, FPosition = 0, FStep = 10;
  TProgressBarStyle FStyle = pbstNormal;
  TProgressBarOrientation FOrientation = pbHorizontal;
  bool FSmooth = false;
};

using TScrollEvent =
    std::function<void(TObject* Sender, TScrollCode ScrollCode, int& ScrollPos)>;

class TScrollBar : public TWinControl {
public:
  explicit TScrollBar(TComponent* AOwner);
  TScrollBarKind Kind() const { return FKind; }
  void SetKind(TScrollBarKind value);
  int Min() const { return FMin; }
  void SetMin(int value) { SetParams(FPosition, value, FMax); }
  int Max() const { return FMax; }
  void SetMax(int value) { SetParams(FPosition, FMin, value); }
  int Position() const { return FPosition; }
  void SetPosition(int value) { SetParams(value, FMin, FMax); }
  int PageSize() const { return FPageSize; }
  void SetPageSize(int value);
  int SmallChange() const { return FSmallChange; }
  void SetSmallChange(int value) { FSmallChange = value; }
  int LargeChange() const { return FLargeChange; }
  void SetLargeChange(int value) { FLargeChange = value; }
  void SetParams(int APosition, int AMin, int AMax);

  TNotifyEvent OnChange;
  TScrollEvent OnScroll;

protected:
  void CreateWnd() override;
  void SyncWidget() override;
  virtual void Scroll(TScrollCode ScrollCode, int& ScrollPos);
  virtual void Change();

private:
  friend struct TScrollBarBridge;
  void action(int qtAction);
  void released();
  TScrollBarKind FKind = sbHorizontal;
  int FMin = 0, FMax = 100, FPosition = 0, FPageSize = 0;
  int FSmallChange = 1, FLargeChange = 1;
  bool FTracking = false;
  int FTrackPos = 0;
};

class TRadioButton : public TWinControl {
public:
  explicit TRadioButton(TComponent* AOwner);
  bool Checked() const { return FChecked; }
  // Checking one unchecks the other radio buttons of the same parent; a
  // change to checked fires OnClick. A click on the button comes here too.
  virtual void SetChecked(bool value);
  TAlignment Alignment() const { return FAlignment; }
  void SetAlignment(TAlignment value) { FAlignment = value; SyncWidget(); }

protected:
  // Stores and shows the state, nothing else (for buttons grouped otherwise).
  void StoreChecked(bool value) { FChecked = value; SyncWidget(); }
  void CreateWnd() override;
  void TextChanged() override;
  void SyncWidget() override;
  void Dispatch(TMessage& Message) override;

private:
  bool FChecked = false;
  TAlignment FAlignment = taRightJustify;
  bool FSyncing = false;
};

class TListBox : public TWinControl {
public:
  explicit TListBox(TComponent* AOwner);
  ~TListBox() override;
  TStrings* Items() const { return FItems.get(); }
  int ItemIndex() const;
  void SetItemIndex(int value);
  bool MultiSelect() const { return FMultiSelect; }
  void SetMultiSelect(bool value);
  bool Selected(int Index) const;
  void SetSelected(int Index, bool value);
  int SelCount() const;
  bool Sorted() const { return FSorted; }
  void SetSorted(bool value);
  int TopIndex() const;
  void SetTopIndex(int value);
  int ItemHeight() const;
  void Clear() { FItems->Clear(); }

protected:
  void CreateWnd() override;
  void SyncWidget() override;
  void Dispatch(TMessage& Message) override;

private:
  void itemsChanged();
  std::unique_ptr<TStringList> FItems;
  std::vector<bool> FSelected;  // kept while there is no window
  int FItemIndex = -1;
  bool FMultiSelect = false;
  bool FSorted = false;
  bool FSyncing = false;
};

enum TScrollStyle { ssNone, ssHorizontal, ssVertical, ssBoth };

class TMemo : public TWinControl {
public:
  explicit TMemo(TComponent* AOwner);
  ~TMemo() override;
  // The lines; the text follows them and they follow the user's typing.
  TStrings* Lines();
  bool WordWrap() const { return FWordWrap; }
  void SetWordWrap(bool value);
  TScrollStyle ScrollBars() const { return FScrollBars; }
  void SetScrollBars(TScrollStyle value);
  bool ReadOnly() const { return FReadOnly; }
  void SetReadOnly(bool value);
  int MaxLength() const { return FMaxLength; }
  void SetMaxLength(int value) { FMaxLength = std::max(value, 0); }
  bool WantReturns() const { return FWantReturns; }
  void SetWantReturns(bool value) { FWantReturns = value; }
  bool WantTabs() const { return FWantTabs; }
  void SetWantTabs(bool value) { FWantTabs = value; }
  int SelStart() const;
  void SetSelStart(int value);
  int SelLength() const;
  void SetSelLength(int value);
  void SelectAll();
  void Clear() { SetText(String()); }

  TNotifyEvent OnChange;

protected:
  void CreateWnd() override;
  String GetText() const override;
  void TextChanged() override;
  void SyncWidget() override;
  void Dispatch(TMessage& Message) override;
  virtual void Change();

private:
  void linesChanged();
  void widgetChanged();
  std::unique_ptr<TStringList> FLines;
  bool FWordWrap = true;
  TScrollStyle FScrollBars = ssNone;
  bool FReadOnly = false;
  int FMaxLength = 0;
  bool FWantReturns = true;
  bool FWantTabs = false;
  bool FSyncing = false;
};

class TPageControl;

class TTabSheet : public TWinControl {
public:
  explicit TTabSheet(TComponent* AOwner);
  ~TTabSheet() override;
  TPageControl* PageControl() const { return FPageControl; }
  void SetPageControl(TPageControl* value);
  int PageIndex() const;
  bool TabVisible() const { return FTabVisible; }
  void SetTabVisible(bool value);
  int ImageIndex() const { return FImageIndex; }
  void SetImageIndex(int value) { FImageIndex = value; }
  int TabIndex() const;

protected:
  void TextChanged() override;

private:
  friend class TPageControl;
  TPageControl* FPageControl = nullptr;
  bool FTabVisible = true;
  int FImageIndex = -1;
};

// Tabs along the top of a client area. TTabControl shows a list of tab
// captions over one area; TPageControl shows one of its sheets.
class TCustomTabControl : public TWinControl {
public:
  explicit TCustomTabControl(TComponent* AOwner);
  ~TCustomTabControl() override;
  int TabHeight() const;
  TRect DisplayRect();
  TNotifyEvent OnChange;
  std::function<void(TObject* Sender, bool& AllowChange)> OnChanging;

protected:
  void CreateWnd() override;
  TRect DefaultFrame() override;
  void Dispatch(TMessage& Message) override;
  void rebuildTabs(const std::vector<String>& captions, int current);
  void setCurrentTab(int index);
  virtual void TabClicked(int index) = 0;
  bool FSyncing = false;

private:
  friend struct TTabBridge;
  struct Tabs;
  std::unique_ptr<Tabs> FTabs;
};

class TTabControl : public TCustomTabControl {
public:
  explicit TTabControl(TComponent* AOwner);
  ~TTabControl() override;
  TStrings* Tabs() const { return FTabList.get(); }
  int TabIndex() const { return FTabIndex; }
  void SetTabIndex(int value);

protected:
  void CreateHandle() override;
  void TabClicked(int index) override;

private:
  std::unique_ptr<TStringList> FTabList;
  int FTabIndex = -1;
};

class TPageControl : public TCustomTabControl {
public:
  explicit TPageControl(TComponent* AOwner);
  ~TPageControl() override;
  int PageCount() const { return int(FPages.size()); }
  TTabSheet* Pages(int Index) const { return FPages[size_t(Index)]; }
  TTabSheet* ActivePage() const { return FActivePage; }
  void SetActivePage(TTabSheet* value);
  int ActivePageIndex() const;
  void SetActivePageIndex(int value);
  void SelectNextPage(bool GoForward);

protected:
  void CreateHandle() override;
  void TabClicked(int index) override;

private:
  friend class TTabSheet;
  void insertPage(TTabSheet* page);
  void removePage(TTabSheet* page);
  void updateTabs();
  std::vector<TTabSheet*> FPages;
  TTabSheet* FActivePage = nullptr;
};
