#pragma once
// In-place editing: the interface through which a tree talks to a cell
// editor, and the string tree's default editor, an edit control laid over
// the cell.
#include <memory>

#include "platform/graphics/geometry.h"
#include "platform/gui/messages.h"
#include "platform/gui/stdctrls.h"
#include "tree/node.h"
#include "tree/tree_types.h"

class TBaseDataTree;
class TCustomDataStringTree;

// A cell editor. The tree prepares it for a cell, places it, starts it and
// later ends or cancels it; shared ownership keeps it alive while either the
// tree or the editor's window still needs it.
class IDTEditLink {
public:
  virtual ~IDTEditLink() = default;
  virtual bool BeginEdit() = 0;
  virtual bool CancelEdit() = 0;
  virtual bool EndEdit() = 0;
  virtual bool PrepareEdit(TBaseDataTree* Tree, PDataNode Node, TColumnIndex Column) = 0;
  virtual TRect GetBounds() = 0;
  virtual void ProcessMessage(TMessage& Message) = 0;
  virtual void SetBounds(TRect R) = 0;
};
using PDTEditLink = std::shared_ptr<IDTEditLink>;

class TStringEditLink;

// The edit control of the default editor. It is always made multi-line, so
// that a multi-line node's text wraps and Enter can type a line break.
class TDTEdit : public TCustomEdit {
public:
  explicit TDTEdit(TStringEditLink* Link);
  ~TDTEdit() override;

  TStringEditLink* Link() const { return FLink; }
  // Fits a single-line editor to its text.
  virtual void AutoAdjustSize();
  // Frees the edit once the message being handled is done.
  virtual void Release();

protected:
  void CreateParams(TCreateParams& Params) override;
  void WndProc(TMessage& Message) override;

private:
  friend class TStringEditLink;
  // The tree and node being edited; nil once the edit forgot its link.
  TCustomDataStringTree* tree() const;
  bool multiLineNode() const;
  void forgetLink();
  TStringEditLink* FLink;
  PDTEditLink FRefLink;
  // The window is being made anew for another node: its end is not the edit's.
  bool FRecreating = false;
  // Expires with the edit, so that its link can tell it is gone.
  std::shared_ptr<TDTEdit*> FSelf;
};

class TStringEditLink : public IDTEditLink, public std::enable_shared_from_this<TStringEditLink> {
public:
  TStringEditLink();
  ~TStringEditLink() override;

  bool BeginEdit() override;
  bool CancelEdit() override;
  bool EndEdit() override;
  TRect GetBounds() override;
  bool PrepareEdit(TBaseDataTree* Tree, PDataNode Node, TColumnIndex Column) override;
  void ProcessMessage(TMessage& Message) override;
  void SetBounds(TRect R) override;

  TDTEdit* Edit() const;
  TCustomDataStringTree* Tree() const { return FTree; }
  PDataNode Node() const { return FNode; }
  TColumnIndex Column() const { return FColumn; }
  TAlignment Alignment() const { return FAlignment; }
  bool Stopped() const { return FStopped; }
  // The tree is going: the editor no longer reports to it.
  void TreeDestroying();

private:
  friend class TDTEdit;
  std::weak_ptr<TDTEdit*> FEdit;
  TCustomDataStringTree* FTree = nullptr;
  PDataNode FNode = nullptr;
  TColumnIndex FColumn = NoColumn;
  TAlignment FAlignment = taLeftJustify;
  TRect FTextBounds;
  bool FStopped = false;
};
