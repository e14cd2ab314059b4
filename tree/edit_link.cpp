// The string tree's default editor: an edit control laid over the cell.
// Enter accepts (Ctrl+Enter in a multi-line node, where Enter types a line
// break), Escape cancels, moving the focus elsewhere accepts or cancels as
// the tree's options say. The edit keeps its link alive while it exists;
// the link frees the edit later, never from inside the edit's own message.
#include "tree/edit_link.h"

#include <algorithm>

#include "platform/graphics/canvas.h"
#include "platform/gui/windows.h"
#include "tree/string_tree.h"

// ---- TDTEdit --------------------------------------------------------------------------------

TDTEdit::TDTEdit(TStringEditLink* Link) : TCustomEdit(nullptr), FLink(Link), FSelf(std::make_shared<TDTEdit*>(this)) {
  SetVisible(false);
  SetBorderStyle(bsSingle);
  SetAutoSelect(false);
}

TDTEdit::~TDTEdit() { FSelf.reset(); }

TCustomDataStringTree* TDTEdit::tree() const { return FLink ? FLink->FTree : nullptr; }

bool TDTEdit::multiLineNode() const {
  return FLink && FLink->FNode && FLink->FNode->States.Contains(vsMultiline);
}

void TDTEdit::forgetLink() {
  FLink = nullptr;
  // Dropping the last reference frees the link, which releases this edit
  // later; nothing here touches the link afterwards.
  PDTEditLink ref = std::move(FRefLink);
}

void TDTEdit::CreateParams(TCreateParams& Params) {
  TCustomEdit::CreateParams(Params);
  Params.Style |= ES_MULTILINE;
  if (multiLineNode()) {
    Params.Style &= ~(DWORD(ES_AUTOHSCROLL) | DWORD(WS_HSCROLL));
    Params.Style |= DWORD(WS_VSCROLL) | DWORD(ES_AUTOVSCROLL);
  }
  if (FLink) {
    if (FLink->FAlignment == taRightJustify) Params.Style |= ES_RIGHT;
    if (FLink->FAlignment == taCenter) Params.Style |= ES_CENTER;
  }
  Params.Style |= WS_BORDER;
  Params.ExStyle &= ~DWORD(WS_EX_CLIENTEDGE);
}

void TDTEdit::AutoAdjustSize() {
  if (!FLink || FLink->FStopped || multiLineNode() || !HandleAllocated()) return;
  TCustomDataStringTree* t = tree();
  if (!t) return;
  TCanvas* measure = t->Canvas();
  measure->Font()->Assign(*Font());
  const int width = measure->TextWidth(Text()) + 2 * t->TextMargin();
  if (Width() > width) t->InvalidateNode(FLink->FNode);
  TRect r = BoundsRect();
  if (FLink->FAlignment == taRightJustify)
    r.Left = r.Right - width;
  else
    r.Right = r.Left + width;
  FLink->SetBounds(r);
}

void TDTEdit::Release() {
  if (HandleAllocated()) PostMessage(Handle(), CM_RELEASE, 0, 0);
}

void TDTEdit::WndProc(TMessage& Message) {
  switch (Message.Msg) {
    case WM_KEYDOWN: {
      TCustomDataStringTree* t = tree();
      if (!t) break;
      const bool ctrl = GetKeyState(VK_CONTROL) < 0;
      if (Message.WParam == VK_RETURN && (!multiLineNode() || ctrl)) {
        const std::weak_ptr<const bool> life = t->LifeToken();
        t->InvalidateNode(FLink->FNode);
        t->DoEndEdit();
        if (!life.expired() && t->CanFocus()) t->SetFocus();
        return;
      }
      if (Message.WParam == VK_ESCAPE) {
        const std::weak_ptr<const bool> life = t->LifeToken();
        t->DoCancelEdit();
        if (!life.expired() && t->CanFocus()) t->SetFocus();
        return;
      }
      if (!multiLineNode() && (Message.WParam == VK_UP || Message.WParam == VK_DOWN))
        Message.WParam = Message.WParam == VK_UP ? VK_LEFT : VK_RIGHT;
      break;
    }
    case WM_CHAR:
      if (Message.WParam == 9 || Message.WParam == 27) return;
      break;
    case WM_GETDLGCODE:
      TCustomEdit::WndProc(Message);
      Message.Result |= DLGC_WANTARROWS | DLGC_WANTTAB | DLGC_WANTALLKEYS;
      return;
    case WM_KILLFOCUS: {
      TCustomEdit::WndProc(Message);
      // Only a move to another window ends the edit: a window losing the
      // desktop's activation keeps it going.
      TCustomDataStringTree* t = tree();
      if (!t || FLink->FStopped || !Message.WParam) return;
      if (t->TreeOptions().StringOptions().Contains(toAutoAcceptEditChange))
        t->DoEndEdit();
      else
        t->DoCancelEdit();
      return;
    }
    case WM_DESTROY: {
      if (FRecreating) break;
      TCustomDataStringTree* t = tree();
      if (t && !FLink->FStopped && t->TreeOptions().StringOptions().Contains(toAutoAcceptEditChange) &&
          Modified())
        t->SetCellText(FLink->FNode, FLink->FColumn, Text());
      forgetLink();
      break;
    }
    case CN_COMMAND:
      if (HIWORD(Message.WParam) == EN_UPDATE && tree() &&
          !tree()->TreeOptions().MiscOptions().Contains(toGridExtensions) && !multiLineNode())
        AutoAdjustSize();
      return;
    case CM_RELEASE:
      Free();
      return;
    default:
      break;
  }
  TCustomEdit::WndProc(Message);
}

// ---- TStringEditLink ---------------------------------------------------------------------

TStringEditLink::TStringEditLink() {
  auto* edit = new TDTEdit(this);
  FEdit = edit->FSelf;
}

TStringEditLink::~TStringEditLink() {
  if (TDTEdit* e = Edit()) {
    e->FLink = nullptr;
    if (e->HandleAllocated())
      e->Release();
    else
      e->Free();
  }
}

TDTEdit* TStringEditLink::Edit() const {
  std::shared_ptr<TDTEdit*> e = FEdit.lock();
  return e ? *e : nullptr;
}

void TStringEditLink::TreeDestroying() {
  FStopped = true;
  FTree = nullptr;
  if (TDTEdit* e = Edit()) {
    e->FLink = nullptr;
    PDTEditLink keep = std::move(e->FRefLink);
    e->Hide();
  }
}

bool TStringEditLink::PrepareEdit(TBaseDataTree* Tree, PDataNode Node, TColumnIndex Column) {
  auto* tree = dynamic_cast<TCustomDataStringTree*>(Tree);
  TDTEdit* edit = Edit();
  if (!tree || !edit) return false;
  FTree = tree;
  FNode = Node;
  FColumn = Column;
  edit->FLink = this;
  edit->FRefLink = shared_from_this();
  const std::weak_ptr<const bool> life = tree->LifeToken();
  TRect r;
  String text;
  tree->GetTextInfo(Node, Column, tree->Font(), r, text);
  if (life.expired() || !Edit()) return false;
  FTextBounds = r;
  TBiDiMode bidi = tree->BiDiMode();
  FAlignment = tree->Alignment();
  TDataTreeColumns& columns = tree->Header().Columns();
  if (tree->Header().UseColumns() && columns.IsValidColumn(Column)) {
    FAlignment = columns[Column]->Alignment();
    bidi = columns[Column]->BiDiMode();
  }
  if (bidi != bdLeftToRight && FAlignment != taCenter)
    FAlignment = FAlignment == taLeftJustify ? taRightJustify : taLeftJustify;
  edit->SetParent(tree);
  edit->Font()->Assign(*tree->Canvas()->Font());
  edit->SetBiDiMode(bidi);
  // The window is made anew so that the style of this node applies.
  if (edit->HandleAllocated()) {
    edit->FRecreating = true;
    edit->RecreateWnd();
    edit->FRecreating = false;
  }
  edit->HandleNeeded();
  edit->SetText(text);
  return true;
}

bool TStringEditLink::BeginEdit() {
  TDTEdit* edit = Edit();
  if (FStopped || !edit) return false;
  edit->Show();
  edit->SelectAll();
  // The tree losing the focus runs its owner's OnExit, which may free the
  // tree (and the editor with it).
  if (FTree)
    FTree->ThroughToolkit([&] { edit->SetFocus(); });
  else
    edit->SetFocus();
  return Edit() != nullptr;
}

bool TStringEditLink::EndEdit() {
  if (FStopped) return false;
  FStopped = true;
  TDTEdit* edit = Edit();
  if (!edit) return true;
  // The link may lose its last owner in the event below; keep it till done.
  std::shared_ptr<TStringEditLink> keep = shared_from_this();
  if (edit->Modified() && FTree) {
    const std::weak_ptr<const bool> life = FTree->LifeToken();
    FTree->SetCellText(FNode, FColumn, edit->Text());
    if (life.expired()) FTree = nullptr;
  }
  if (TDTEdit* e = Edit()) {
    // Hiding moves the focus, whose handlers may destroy the tree and the
    // editor with it.
    e->Hide();
    if (TDTEdit* still = Edit()) still->forgetLink();
  }
  return true;
}

bool TStringEditLink::CancelEdit() {
  if (FStopped) return false;
  FStopped = true;
  std::shared_ptr<TStringEditLink> keep = shared_from_this();
  if (TDTEdit* e = Edit()) e->Hide();
  if (FTree) {
    const std::weak_ptr<const bool> life = FTree->LifeToken();
    FTree->CancelEditNode();
    if (life.expired()) FTree = nullptr;
  }
  if (TDTEdit* e = Edit()) e->forgetLink();
  return true;
}

TRect TStringEditLink::GetBounds() {
  TDTEdit* e = Edit();
  return e ? e->BoundsRect() : TRect{};
}

void TStringEditLink::ProcessMessage(TMessage& Message) {
  if (TDTEdit* e = Edit()) e->WndProc(Message);
}

void TStringEditLink::SetBounds(TRect R) {
  TDTEdit* edit = Edit();
  if (FStopped || !edit || !FTree) return;
  R.Left = std::max(R.Left, 0);
  if (R.Width() < 30) {
    if (FAlignment == taRightJustify)
      R.Left = R.Right - 30;
    else
      R.Right = R.Left + 30;
  }
  R.Right = std::min(R.Right, FTree->ClientWidth());
  edit->SetBoundsRect(R);
  TRect format = edit->ClientRect();
  InflateRect(format, 2 - FTree->TextMargin(), 2);
  if (FNode && !FNode->States.Contains(vsMultiline)) OffsetRect(format, 0, FTextBounds.Top - R.Top);
  SendMessage(edit->Handle(), EM_SETRECTNP, 0, LPARAM(&format));
}

// ---- the string tree's editor ----------------------------------------------------------------

PDTEditLink TCustomDataStringTree::DoCreateEditor(PDataNode Node, TColumnIndex Column) {
  const std::weak_ptr<const bool> life = LifeToken();
  PDTEditLink link = TBaseDataTree::DoCreateEditor(Node, Column);
  if (life.expired()) return nullptr;
  // An owner's handler that offers no editor gets the default one.
  if (!link) link = std::make_shared<TStringEditLink>();
  return link;
}
