// A window holding data trees for the end-to-end tests: a result list
// (dictionaries with Cyrillic headwords, taller than 65,536 pixels when
// expanded), a list of dictionaries with check boxes, and below them a
// small editable tree with a narrow column whose cut-off captions show
// tool tips. It writes its state
// to a file every few milliseconds so that a test driving it from outside
// (xdotool on a real X server) can see what each input did.
//
//   tamrix-tree-window STATEFILE
#include <QGuiApplication>
#include <cstdio>
#include <fstream>
#include <new>
#include <sstream>
#include <string>
#include <vector>

#include "platform/core/strings.h"
#include "platform/gui/extctrls.h"
#include "platform/gui/forms.h"
#include "platform/gui/hints.h"
#include "platform/gui/windows.h"
#include "tree/hint_window.h"
#include "tree/string_tree.h"

namespace {

struct TItem {
  String Caption;
};

TItem* itemOf(TBaseDataTree* t, PDataNode n) { return t->GetNodeData<TItem>(n); }

const char* const kWords[] = {"дом", "жук", "мир", "лес", "сад", "кот", "нос", "рот", "сок", "ёж"};

void setUp(TDataStringTree* tree) {
  tree->SetNodeDataSize(int(sizeof(TItem)));
  tree->OnInitNode = [](TBaseDataTree* t, PDataNode, PDataNode n, TDataNodeInitStates&) { new (itemOf(t, n)) TItem(); };
  tree->OnFreeNode = [](TBaseDataTree* t, PDataNode n) {
    if (n->States.Contains(vsInitialized)) itemOf(t, n)->~TItem();
  };
  tree->OnGetText = [](TBaseDataTree* t, PDataNode n, TColumnIndex, TDTTextType, String& text) {
    text = itemOf(t, n)->Caption;
  };
  tree->Font()->SetName(u"DejaVu Sans");
  tree->Font()->SetHeight(-12);
}

PDataNode add(TDataStringTree* tree, PDataNode parent, const std::string& caption) {
  PDataNode n = tree->AddChild(parent);
  tree->ReinitNode(n, false);
  itemOf(tree, n)->Caption = UTF8ToUTF16(caption);
  return n;
}

std::string caption(TBaseDataTree* t, PDataNode n) { return n ? UTF16ToUTF8(itemOf(t, n)->Caption) : ""; }

void writeRows(std::ostringstream& out, const char* name, TDataStringTree* tree) {
  // Rows shown now, with the screen rectangle of the row and of its text.
  int shown = 0;
  for (PDataNode n = tree->TopNode(); n && shown < 40; n = tree->GetNextVisible(n), ++shown) {
    TRect r = tree->GetDisplayRect(n, NoColumn, false);
    if (r.Top >= tree->ClientHeight()) break;
    TRect t = tree->GetDisplayRect(n, NoColumn, true);
    TPoint a = tree->ClientToScreen({r.Left, r.Top});
    TPoint b = tree->ClientToScreen({t.Left, t.Top});
    out << name << ".row " << a.x << ' ' << a.y << ' ' << r.Width() << ' ' << r.Height() << ' ' << b.x << ' '
        << t.Width() << ' ' << int(tree->GetNodeLevel(n)) << ' ' << int(n->CheckState) << ' '
        << caption(tree, n) << '\n';
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: tamrix-tree-window STATEFILE\n");
    return 2;
  }
  const std::string stateFile = argv[1];
  Application->Initialize();
  TForm* form = Application->CreateForm<TForm>();
  form->SetCaption(u"tamrix tree e2e");
  form->SetBounds(0, 0, 560, 560);

  auto* results = new TDataStringTree(form);
  results->SetParent(form);
  results->SetBounds(0, 0, 320, 420);
  setUp(results);
  results->SetIncrementalSearch(isVisibleOnly);
  results->BeginUpdate();
  // Four dictionaries of 1,000 headwords: 4,004 rows of 18 px when open.
  for (int d = 0; d < 4; ++d) {
    PDataNode root = add(results, nullptr, "Словарь " + std::to_string(d + 1));
    for (int w = 0; w < 1000; ++w) add(results, root, std::string(kWords[w % 10]) + " " + std::to_string(d) + "." + std::to_string(w));
  }
  results->EndUpdate();

  auto* manager = new TDataStringTree(form);
  manager->SetParent(form);
  manager->SetBounds(330, 0, 230, 420);
  setUp(manager);
  manager->TreeOptions().SetMiscOptions(manager->TreeOptions().MiscOptions() + TDTMiscOptions{toCheckSupport});
  for (int d = 0; d < 8; ++d) {
    PDataNode n = add(manager, nullptr, "Dictionary " + std::to_string(d + 1));
    n->CheckType = ctCheckBox;
  }

  // The editable tree: its one column is narrower than its longest caption.
  auto* editor = new TDataStringTree(form);
  editor->SetParent(form);
  editor->SetBounds(0, 430, 320, 130);
  setUp(editor);
  editor->OnNewText = [](TBaseDataTree* t, PDataNode n, TColumnIndex, const String& text) {
    itemOf(t, n)->Caption = text;
  };
  editor->Header().Columns().Add()->SetWidth(120);
  editor->Header().SetOptions(editor->Header().Options() + TDTHeaderOptions{hoVisible});
  editor->TreeOptions().SetMiscOptions(editor->TreeOptions().MiscOptions() + TDTMiscOptions{toEditable});
  editor->SetEditDelay(300);
  editor->SetShowHint(true);
  editor->SetHintMode(hmTooltip);
  editor->SetHintAnimation(hatFade);
  editor->SetAnimationDuration(60);
  add(editor, nullptr, "short");
  add(editor, nullptr, "a caption far too long for its column");
  add(editor, nullptr, "edit me");

  auto* timer = new TTimer(form);
  timer->SetInterval(40);
  timer->SetOnTimer([&](TObject*) {
    std::ostringstream out;
    const bool focusedResults = results->Focused();
    out << "focus " << (focusedResults ? "results" : manager->Focused() ? "manager" : editor->Focused() ? "editor" : "none") << '\n';
    // Whether the window has the keyboard, and the mouse buttons held as
    // this program has seen them.
    out << "active " << (QGuiApplication::focusWindow() ? 1 : 0) << '\n';
    out << "buttons " << int(QGuiApplication::mouseButtons()) << '\n';
    out << "results.focused " << caption(results, results->FocusedNode()) << '\n';
    out << "results.selected " << results->SelectedCount() << '\n';
    out << "results.offsety " << results->OffsetY() << '\n';
    out << "results.range " << results->RangeY64() << ' ' << results->ClientHeight() << '\n';
    out << "results.top " << caption(results, results->TopNode()) << '\n';
    out << "results.bottom " << caption(results, results->BottomNode()) << '\n';
    out << "results.last " << caption(results, results->GetLastVisible()) << '\n';
    out << "results.search " << UTF16ToUTF8(results->SearchBuffer()) << '\n';
    std::string expanded;
    for (PDataNode n = results->GetFirstNoInit(); n; n = n->NextSibling) expanded += results->Expanded(n) ? '1' : '0';
    out << "results.expanded " << expanded << '\n';
    TScrollInfo info;
    info.fMask = SIF_ALL;
    if (GetScrollInfo(results->Handle(), SB_VERT, &info))
      out << "results.vscroll " << info.nMin << ' ' << info.nMax << ' ' << info.nPage << ' ' << info.nPos << '\n';
    TRect window;
    GetWindowRect(results->Handle(), &window);
    TPoint client = results->ClientToScreen({0, 0});
    out << "results.window " << window.Left << ' ' << window.Top << ' ' << window.Width() << ' ' << window.Height()
        << ' ' << client.x << ' ' << client.y << ' ' << results->ClientWidth() << ' ' << results->ClientHeight()
        << '\n';
    std::string checks;
    for (PDataNode n = manager->GetFirstNoInit(); n; n = n->NextSibling) checks += char('0' + int(n->CheckState));
    out << "manager.checks " << checks << '\n';
    out << "manager.pending " << (manager->TreeStates().Contains(tsMouseCheckPending) ? 1 : 0) << '\n';
    writeRows(out, "results", results);
    writeRows(out, "manager", manager);
    writeRows(out, "editor", editor);
    std::string texts;
    for (PDataNode n = editor->GetFirstNoInit(); n; n = n->NextSibling) texts += caption(editor, n) + "|";
    out << "editor.texts " << texts << '\n';
    out << "editor.editing " << (editor->IsEditing() ? 1 : 0) << '\n';
    out << "editor.focused " << caption(editor, editor->FocusedNode()) << '\n';
    auto* hint = dynamic_cast<TDataTreeHintWindow*>(ApplicationHintWindow());
    out << "hint.text " << (hint && hint->Visible() ? UTF16ToUTF8(hint->HintData().HintText) : std::string()) << '\n';
    if (hint) out << "hint.window " << hint->Left() << ' ' << hint->Top() << ' ' << hint->Width() << '\n';
    const std::string tmp = stateFile + ".tmp";
    {
      std::ofstream f(tmp, std::ios::trunc);
      f << out.str() << "end\n";
    }
    std::rename(tmp.c_str(), stateFile.c_str());
  });

  form->Show();
  results->SetFocus();
  Application->Run();
  return 0;
}
