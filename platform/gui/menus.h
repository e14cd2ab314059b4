#pragma once
// Pop-up menus: a tree of TMenuItem shown by TPopupMenu at a screen point.
#include <functional>
#include <memory>
#include <vector>

#include "platform/core/component.h"
#include "platform/graphics/geometry.h"

class TControl;
class TPopupMenu;
class TImageList;

// A key combination: virtual key in the low byte, scShift/scCtrl/scAlt above.
using TShortCut = unsigned short;
enum : unsigned short { scShift = 0x2000, scCtrl = 0x4000, scAlt = 0x8000, scNone = 0 };
TShortCut ShortCut(unsigned short Key, bool Shift, bool Ctrl, bool Alt);

class TMenuItem : public TComponent {
public:
  explicit TMenuItem(TComponent* AOwner);
  ~TMenuItem() override;

  const String& Caption() const { return FCaption; }
  void SetCaption(const String& value) { FCaption = value; }
  bool Checked() const { return FChecked; }
  void SetChecked(bool value);
  bool Enabled() const { return FEnabled; }
  void SetEnabled(bool value) { FEnabled = value; }
  bool Visible() const { return FVisible; }
  void SetVisible(bool value) { FVisible = value; }
  bool Default() const { return FDefault; }
  void SetDefault(bool value) { FDefault = value; }
  bool RadioItem() const { return FRadioItem; }
  void SetRadioItem(bool value) { FRadioItem = value; }
  bool AutoCheck() const { return FAutoCheck; }
  void SetAutoCheck(bool value) { FAutoCheck = value; }
  int GroupIndex() const { return FGroupIndex; }
  void SetGroupIndex(int value) { FGroupIndex = value; }
  int ImageIndex() const { return FImageIndex; }
  void SetImageIndex(int value) { FImageIndex = value; }
  TShortCut ShortCut() const { return FShortCut; }
  void SetShortCut(TShortCut value) { FShortCut = value; }
  const String& Hint() const { return FHint; }
  void SetHint(const String& value) { FHint = value; }
  // A caption of "-" makes a separator line.
  bool IsLine() const { return FCaption == u"-"; }

  int Count() const { return int(FItems.size()); }
  TMenuItem* Items(int Index) const { return FItems[size_t(Index)]; }
  TMenuItem* Parent() const { return FParent; }
  int MenuIndex() const;
  void Add(TMenuItem* Item);
  void Insert(int Index, TMenuItem* Item);
  void Remove(TMenuItem* Item);
  void Delete(int Index);  // frees the item
  void Clear();            // frees every item
  int IndexOf(TMenuItem* Item) const;
  TMenuItem* Find(const String& ACaption) const;

  // Runs the item's action as a click from the menu would.
  virtual void Click();
  TNotifyEvent OnClick;

private:
  String FCaption;
  String FHint;
  bool FChecked = false;
  bool FEnabled = true;
  bool FVisible = true;
  bool FDefault = false;
  bool FRadioItem = false;
  bool FAutoCheck = false;
  int FGroupIndex = 0;
  int FImageIndex = -1;
  TShortCut FShortCut = 0;
  TMenuItem* FParent = nullptr;
  std::vector<TMenuItem*> FItems;
};

enum TPopupAlignment { paLeft, paRight, paCenter };

class TPopupMenu : public TComponent {
public:
  explicit TPopupMenu(TComponent* AOwner);
  ~TPopupMenu() override;

  TMenuItem* Items() const { return FItems.get(); }
  bool AutoPopup() const { return FAutoPopup; }
  void SetAutoPopup(bool value) { FAutoPopup = value; }
  TPopupAlignment Alignment() const { return FAlignment; }
  void SetAlignment(TPopupAlignment value) { FAlignment = value; }
  // The control whose context menu is showing.
  TComponent* PopupComponent() const { return FPopupComponent; }
  void SetPopupComponent(TComponent* value) { FPopupComponent = value; }
  TPoint PopupPoint() const { return FPopupPoint; }
  // The pictures shown beside the items (each item's ImageIndex; -1 none).
  TImageList* Images() const { return FImages; }
  void SetImages(TImageList* value);

  // Shows the menu at a screen point and runs the chosen item's Click.
  // Goes through the dialog hook (platform/gui/dialogs.h) first; without a
  // display and without an answer it returns at once with nothing chosen.
  virtual void Popup(int X, int Y);

  TNotifyEvent OnPopup;
  TNotifyEvent OnClose;

protected:
  void Notification(TComponent* AComponent, TOperation Operation) override;

private:
  std::unique_ptr<TMenuItem> FItems;
  bool FAutoPopup = true;
  TPopupAlignment FAlignment = paLeft;
  TComponent* FPopupComponent = nullptr;
  TPoint FPopupPoint;
  TImageList* FImages = nullptr;
  // Expires with the menu: the handlers and the loops Popup runs may free it.
  std::shared_ptr<const bool> FLife = std::make_shared<const bool>(true);
};
