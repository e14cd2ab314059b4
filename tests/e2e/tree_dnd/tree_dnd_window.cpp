// A window for the end-to-end drag-and-drop tests: two trees that drag
// nodes between each other and to other programs (and take text from
// them), a list reordered by the drag within the program, and a text field.
// Two of these windows run as two programs. The window writes its state to
// a file every few milliseconds.
//
//   tamrix-tree-dnd STATEFILE LEFT TOP
#include <QDropEvent>
#include <QGuiApplication>
#include <QWindow>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <new>
#include <sstream>
#include <string>

#include "platform/core/strings.h"
#include "platform/gui/extctrls.h"
#include "platform/gui/forms.h"
#include "platform/gui/stdctrls.h"
#include "tree/globals.h"
#include "tree/string_tree.h"

namespace {

struct TItem {
  String Caption;
};
TItem* itemOf(TBaseDataTree* t, PDataNode n) { return t->GetNodeData<TItem>(n); }

PDataNode add(TBaseDataTree* tree, PDataNode parent, const String& caption) {
  PDataNode n = tree->AddChild(parent);
  tree->ReinitNode(n, false);
  itemOf(tree, n)->Caption = caption;
  return n;
}

TDTNodeAttachMode attachMode(TDTDropMode mode) {
  switch (mode) {
    case dmAbove: return amInsertBefore;
    case dmBelow: return amInsertAfter;
    default: return amAddChildLast;
  }
}

TDataStringTree* makeTree(TForm* form, int left, const char* prefix, int count) {
  auto* tree = new TDataStringTree(form);
  tree->SetParent(form);
  tree->SetBounds(left, 0, 180, 260);
  tree->Font()->SetName(u"DejaVu Sans");
  tree->Font()->SetHeight(-12);
  tree->SetNodeDataSize(int(sizeof(TItem)));
  tree->OnInitNode = [](TBaseDataTree* t, PDataNode, PDataNode n, TDataNodeInitStates&) { new (itemOf(t, n)) TItem(); };
  tree->OnFreeNode = [](TBaseDataTree* t, PDataNode n) {
    if (n->States.Contains(vsInitialized)) itemOf(t, n)->~TItem();
  };
  tree->OnGetText = [](TBaseDataTree* t, PDataNode n, TColumnIndex, TDTTextType, String& text) {
    text = itemOf(t, n)->Caption;
  };
  tree->OnNewText = [](TBaseDataTree* t, PDataNode n, TColumnIndex, const String& text) { itemOf(t, n)->Caption = text; };
  tree->OnDragAllowed = [](TBaseDataTree*, PDataNode, TColumnIndex, bool& allowed) { allowed = true; };
  // The owner's keys for the clipboard.
  tree->OnKeyDown = [tree](TObject*, WORD& key, TShiftState shift) {
    if (!shift.Contains(ssCtrl)) return;
    if (key == 'C') tree->Perform(WM_COPY, 0, 0);
    if (key == 'X') tree->Perform(WM_CUT, 0, 0);
    if (key == 'V') tree->Perform(WM_PASTE, 0, 0);
  };
  for (int i = 1; i <= count; ++i) add(tree, nullptr, UTF8ToUTF16(prefix + std::to_string(i)));
  return tree;
}

// The last point a drag was over each tree at (on the screen), so that a
// test releases the mouse only once the drag has come where it is meant to.
std::string dragOver[3];

// The last point a drag from another program came to over this window,
// wherever in it. That program sends the next point only once this one has
// answered the last: a test moves on once the point has come here.
struct TWindowDragWatch : QObject {
  std::string Over;
  bool eventFilter(QObject* o, QEvent* e) override {
    if ((e->type() == QEvent::DragEnter || e->type() == QEvent::DragMove) && o->isWindowType()) {
      const QPoint at = static_cast<QWindow*>(o)->mapToGlobal(static_cast<QDropEvent*>(e)->position().toPoint());
      Over = std::to_string(at.x()) + " " + std::to_string(at.y());
    }
    return false;
  }
};

std::string captions(TBaseDataTree* t) {
  std::string out;
  for (PDataNode n = t->GetFirstNoInit(); n; n = t->GetNextNoInit(n))
    out += (out.empty() ? "" : "|") + std::string(t->GetNodeLevel(n), '>') + UTF16ToUTF8(itemOf(t, n)->Caption);
  return out;
}

void writeRows(std::ostringstream& out, const char* name, TBaseDataTree* tree) {
  for (PDataNode n = tree->GetFirstVisible(); n; n = tree->GetNextVisible(n)) {
    TRect r = tree->GetDisplayRect(n, NoColumn, true);
    if (r.Top >= tree->ClientHeight()) break;
    TPoint a = tree->ClientToScreen({(r.Left + r.Right) / 2, (r.Top + r.Bottom) / 2});
    out << name << ".row " << a.x << ' ' << a.y << ' ' << UTF16ToUTF8(itemOf(tree, n)->Caption) << '\n';
  }
  TPoint empty = tree->ClientToScreen({tree->ClientWidth() / 2, tree->ClientHeight() - 10});
  out << name << ".empty " << empty.x << ' ' << empty.y << '\n';
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 4) {
    std::fprintf(stderr, "usage: tamrix-tree-dnd STATEFILE LEFT TOP\n");
    return 2;
  }
  const std::string stateFile = argv[1];
  Application->Initialize();
  // A failure is written where the test can read it, never waited on.
  Application->OnException = [](TObject*, const std::exception& e) { std::fprintf(stderr, "error: %s\n", e.what()); };
  TForm* form = Application->CreateForm<TForm>();
  form->SetCaption(u"tamrix drag and drop e2e");
  form->SetBounds(std::atoi(argv[2]), std::atoi(argv[3]), 560, 360);

  // Two trees that drag between each other and with other programs.
  TDataStringTree* left = makeTree(form, 0, "a", 4);
  TDataStringTree* right = makeTree(form, 185, "b", 3);
  TDataStringTree* list = makeTree(form, 370, "d", 5);
  TDataStringTree* trees[] = {left, right, list};
  for (int i = 0; i < 3; ++i)
    trees[i]->OnDragOver = [i](TBaseDataTree* t, TObject*, TShiftState, TDragState, TPoint pt, TDTDropMode,
                               std::uint32_t&, bool& accept) {
      accept = true;
      const TPoint at = t->ClientToScreen(pt);
      dragOver[i] = std::to_string(at.x) + " " + std::to_string(at.y);
    };
  for (TDataStringTree* tree : {left, right}) {
    tree->OnDragDrop = [](TBaseDataTree* t, TObject* source, const std::shared_ptr<IDataObject>& data,
                          const TBaseDataTree::TFormatArray& formats, TShiftState, TPoint, std::uint32_t& effect,
                          TDTDropMode mode) {
      PDataNode target = t->DropTargetNode();
      auto has = [&](std::uint16_t f) {
        for (std::uint16_t g : formats)
          if (g == f) return true;
        return false;
      };
      if (has(TreeGlobals().CF_DATATREE)) {
        auto* from = dynamic_cast<TBaseDataTree*>(source);
        t->ProcessOLEData(from, data, target, attachMode(mode), from && effect == DROPEFFECT_MOVE);
        return;
      }
      TFormatEtc text;
      text.cfFormat = CF_UNICODETEXT;
      TStgMedium medium;
      if (SUCCEEDED(data->GetData(text, medium))) {
        RawByteString bytes = MediumBytes(medium);
        ReleaseStgMedium(medium);
        String caption(reinterpret_cast<const char16_t*>(bytes.data()), bytes.size() / 2);
        caption = caption.substr(0, caption.find(u'\0'));
        add(t, nullptr, caption);
      }
    };
  }

  // The list of the dictionary manager: reordered by the drag within the
  // program, the dragged node before its target when it came from below.
  list->SetDragType(dtVCL);
  list->OnDragDrop = [](TBaseDataTree* t, TObject*, const std::shared_ptr<IDataObject>&,
                        const TBaseDataTree::TFormatArray&, TShiftState, TPoint, std::uint32_t&, TDTDropMode) {
    PDataNode s = t->GetFirstSelected();
    PDataNode target = t->DropTargetNode();
    if (!s || !target) return;
    t->MoveTo(s, target, s->Index > target->Index ? amInsertBefore : amInsertAfter, false);
  };

  TWindowDragWatch windowDrag;
  qApp->installEventFilter(&windowDrag);

  auto* edit = new TEdit(form);
  edit->SetParent(form);
  edit->SetBounds(0, 266, 360, 28);
  edit->SetText(u"word from elsewhere");

  auto* timer = new TTimer(form);
  timer->SetInterval(40);
  timer->SetOnTimer([&](TObject*) {
    std::ostringstream out;
    out << "left " << captions(left) << '\n';
    out << "right " << captions(right) << '\n';
    out << "list " << captions(list) << '\n';
    out << "edit " << UTF16ToUTF8(edit->Text()) << '\n';
    TPoint e = edit->ClientToScreen({edit->Width() / 2, edit->Height() / 2});
    out << "edit.at " << e.x << ' ' << e.y << '\n';
    // Whether the window has the keyboard, the mouse buttons held as this
    // program has seen them, and whether a drag of its own is under way.
    out << "active " << (QGuiApplication::focusWindow() ? 1 : 0) << '\n';
    out << "buttons " << int(QGuiApplication::mouseButtons()) << '\n';
    bool dragging = false;
    for (TDataStringTree* t : trees)
      dragging = dragging || t->TreeStates().Contains(tsOLEDragging) || t->TreeStates().Contains(tsVCLDragging);
    out << "dragging " << (dragging ? 1 : 0) << '\n';
    // Where the window is on the screen, and where a drag over it was.
    for (QWindow* w : QGuiApplication::topLevelWindows())
      if (w->isVisible() && w->type() == Qt::Window) {
        const QRect g = w->geometry();
        out << "window " << g.x() << ' ' << g.y() << ' ' << g.width() << ' ' << g.height() << '\n';
        break;
      }
    out << "over " << windowDrag.Over << '\n';
    out << "left.over " << dragOver[0] << '\n';
    out << "right.over " << dragOver[1] << '\n';
    out << "list.over " << dragOver[2] << '\n';
    writeRows(out, "left", left);
    writeRows(out, "right", right);
    writeRows(out, "list", list);
    const std::string tmp = stateFile + ".tmp";
    {
      std::ofstream f(tmp, std::ios::trunc);
      f << out.str() << "end\n";
    }
    std::rename(tmp.c_str(), stateFile.c_str());
  });

  form->Show();
  Application->Run();
  return 0;
}
