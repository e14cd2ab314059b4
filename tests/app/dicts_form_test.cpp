// The manager's installed-dictionary page: the list as the file gives it,
// saving it back, and reordering by dragging.
#include <sys/inotify.h>
#include <unistd.h>

#include <filesystem>

#include "app/dictionaries.h"
#include "platform/core/strings.h"
#include "platform/gui/testing.h"
#include "tests/app/main_form_util.h"

using apptest::readFile;

namespace {

class Manage : public apptest::MainWindow {
protected:
  void SetUp() override {
    MainWindow::SetUp();
    for (const auto& [name, caption] : {std::pair{"a", "Alpha"}, {"b", "Beta"}, {"c", "Gamma"}})
      Dict(name).exec("CREATE TABLE properties(author, full_caption); INSERT INTO properties VALUES('x', '" +
                      std::string(caption) + "');");
    List("a 1\r\nb 0\r\nc 1\r\n");
  }

  void Open() {
    Start();
    Manager->Show();
    for (int i = 0; i < 5; ++i) Application->ProcessMessages();
  }

  // "caption+" (ticked) or "caption-" per row, in tree order.
  std::string Rows() {
    std::string out;
    TDataStringTree* t = Manager->DictsTree;
    for (PDataNode n = t->GetFirst(); n; n = t->GetNextSibling(n)) {
      const auto* r = static_cast<DictNodeType*>(t->GetNodeData(n));
      out += (out.empty() ? "" : " ") + UTF16ToUTF8(r->Caption) + (n->CheckState == csCheckedNormal ? "+" : "-");
    }
    return out;
  }

  PDataNode Row(int index) {
    PDataNode n = Manager->DictsTree->GetFirst();
    for (int i = 0; i < index && n; ++i) n = Manager->DictsTree->GetNextSibling(n);
    return n;
  }
};

}  // namespace

TEST_F(Manage, BlankListLinesAreSkipped) {
  List("a 1\r\n\r\n   \r\n\t\r\nb 0\r\n \r\nc 1\r\n");
  Open();
  EXPECT_EQ(Rows(), "Alpha+ Beta- Gamma+");
  Manager->SaveDictsOptionsClick(Manager);
  EXPECT_EQ(readFile(Dir / "dictionaries/dictionaries._"), "a 1\r\nb 0\r\nc 1\r\n");
  EXPECT_EQ(UTF16ToUTF8(Manager->Label1->Caption()), "Конфигурация словарей сохранена.");
}

TEST_F(Manage, AnEmptyListSavesAnEmptyFile) {
  Open();
  Manager->DictsTree->Clear();
  Manager->SaveDictsOptionsClick(Manager);
  EXPECT_EQ(readFile(Dir / "dictionaries/dictionaries._"), "");
  EXPECT_EQ(UTF16ToUTF8(Manager->Label1->Caption()), "Конфигурация словарей сохранена.");
}

TEST_F(Manage, TheInstructionsAreFullyVisible) {
  Open();
  // Both lines of each instruction fit their label, and the label ends
  // above the list below it.
  for (auto [label, below] : {std::pair<TLabel*, TControl*>{Manager->Label2, Manager->DictsTree},
                              {Manager->Label3, Manager->MoreDicts}}) {
    TCanvas* canvas = Manager->Canvas();
    canvas->Font()->Assign(*label->Font());
    int widest = 0;
    const String text = label->Caption();
    size_t from = 0;
    int lines = 0;
    while (from <= text.size()) {
      size_t to = text.find(u'\n', from);
      if (to == String::npos) to = text.size();
      widest = std::max(widest, canvas->TextWidth(text.substr(from, to - from)));
      ++lines;
      from = to + 1;
    }
    EXPECT_LE(widest, label->Width()) << UTF16ToUTF8(text);
    EXPECT_EQ(lines, 2);
    EXPECT_LE(label->Left() + widest, Manager->PageControl2->DisplayRect().Width()) << UTF16ToUTF8(text);
    EXPECT_LE(label->Top() + lines * canvas->TextHeight(u"Ag"), below->Top()) << UTF16ToUTF8(text);
  }
}

namespace {

// Drags the row at From to the point To (client coordinates of the list)
// with the mouse, as a user does.
void drag(TDataStringTree* list, TPoint from, TPoint to) {
  const HWND h = list->Handle();
  InjectMouse(h, imDown, mbLeft, from, {});
  for (int i = 0; i < 5; ++i) Application->ProcessMessages();
  for (int step = 1; step <= 8; ++step) {
    const TPoint p{from.x + (to.x - from.x) * step / 8, from.y + (to.y - from.y) * step / 8};
    InjectMouse(h, imMove, mbLeft, p, {}, {ssLeft});
    for (int i = 0; i < 3; ++i) Application->ProcessMessages();
  }
  InjectMouse(h, imUp, mbLeft, to, {});
  for (int i = 0; i < 5; ++i) Application->ProcessMessages();
}

TPoint rowText(TDataStringTree* list, PDataNode n) {
  const TRect r = list->GetDisplayRect(n, NoColumn, true);
  return {r.Left + 20, (r.Top + r.Bottom) / 2};
}

}  // namespace

TEST_F(Manage, DraggingReordersTheListAndSavingKeepsTheOrder) {
  Open();
  TDataStringTree* list = Manager->DictsTree;
  ASSERT_EQ(Rows(), "Alpha+ Beta- Gamma+");
  // The third row dropped on the first goes before it.
  drag(list, rowText(list, Row(2)), rowText(list, Row(0)));
  EXPECT_EQ(Rows(), "Gamma+ Alpha+ Beta-");
  // The first dropped on the third goes after it.
  drag(list, rowText(list, Row(0)), rowText(list, Row(2)));
  EXPECT_EQ(Rows(), "Alpha+ Beta- Gamma+");
  drag(list, rowText(list, Row(1)), rowText(list, Row(0)));
  EXPECT_EQ(Rows(), "Beta- Alpha+ Gamma+");
  // Nothing is written until "сохранить".
  EXPECT_EQ(readFile(Dir / "dictionaries/dictionaries._"), "a 1\r\nb 0\r\nc 1\r\n");
  Manager->SaveDictsOptionsClick(Manager);
  EXPECT_EQ(readFile(Dir / "dictionaries/dictionaries._"), "b 0\r\na 1\r\nc 1\r\n");
  // The next activation searches in the new order.
  Form->FormActivate(Form);
  EXPECT_EQ(ActiveDicts[0], u"a");
  EXPECT_EQ(ActiveDicts[1], u"c");
}

TEST_F(Manage, ADropBelowTheLastRowMovesNothing) {
  Open();
  TDataStringTree* list = Manager->DictsTree;
  const TRect last = list->GetDisplayRect(Row(2), NoColumn, false);
  drag(list, rowText(list, Row(1)), TPoint{40, last.Bottom + 40});
  EXPECT_EQ(Rows(), "Alpha+ Beta- Gamma+");
  // Dropping a row on itself moves nothing either.
  drag(list, rowText(list, Row(1)), TPoint{rowText(list, Row(1)).x + 30, rowText(list, Row(1)).y});
  EXPECT_EQ(Rows(), "Alpha+ Beta- Gamma+");
  // The drop handler itself, with no target node.
  list->ClearSelection();
  list->SetSelected(Row(0), true);
  list->SetDropTargetNode(nullptr);
  std::uint32_t effect = 2;
  Manager->DictsTreeDragDrop(list, list, nullptr, {}, {}, TPoint{0, 0}, effect, dmNowhere);
  EXPECT_EQ(Rows(), "Alpha+ Beta- Gamma+");
}

namespace {

// Counts the times a file of a folder is put in place (written, or renamed
// onto its name) while it lives.
class FileWrites {
public:
  FileWrites(const std::filesystem::path& folder, std::string name) : FName(std::move(name)) {
    FFd = inotify_init1(IN_NONBLOCK);
    inotify_add_watch(FFd, folder.c_str(), IN_MOVED_TO | IN_CLOSE_WRITE);
  }
  ~FileWrites() { close(FFd); }
  int Count() {
    alignas(inotify_event) char buffer[65536];
    for (ssize_t n; (n = read(FFd, buffer, sizeof buffer)) > 0;)
      for (char* p = buffer; p < buffer + n;) {
        const auto* e = reinterpret_cast<const inotify_event*>(p);
        if (e->len && FName == e->name) ++FCount;
        p += sizeof(inotify_event) + e->len;
      }
    return FCount;
  }

private:
  std::string FName;
  int FFd = -1;
  int FCount = 0;
};

}  // namespace

TEST_F(Manage, ARescanWritesTheListOnceHoweverManyFilesAreNew) {
  Open();
  const auto folder = Dir / "dictionaries";
  for (int i = 0; i < 300; ++i)
    std::filesystem::copy_file(folder / "a.tamrix", folder / ("new" + std::to_string(i) + ".tamrix"));
  // Folders are never dictionaries, whatever their names.
  std::filesystem::create_directories(folder / "x.tamrix");
  std::filesystem::create_directories(folder / "y.tamrix.tamrix");
  FileWrites writes(folder, "dictionaries._");
  // What one write of the list shows.
  Manager->SaveDictsOptionsClick(Manager);
  const int one = writes.Count();
  ASSERT_GT(one, 0);
  Manager->RefreshDictsClick(Manager);
  EXPECT_EQ(writes.Count(), 2 * one);
  EXPECT_EQ(UTF16ToUTF8(Manager->Label1->Caption()), "Установлено новых словарей: 300");
  // Each new one goes on top, active: the last found stands first.
  std::string expected;
  for (const DPType& d : DictionaryFilesInFolder())
    if (d.Name.rfind(u"new", 0) == 0) expected = UTF16ToUTF8(d.Name) + " 1\r\n" + expected;
  EXPECT_EQ(readFile(folder / "dictionaries._"), expected + "a 1\r\nb 0\r\nc 1\r\n");
  for (const DPType& d : DictionaryFilesInFolder()) EXPECT_EQ(d.Name.find(u"x"), String::npos) << UTF16ToUTF8(d.Name);
  // Nothing new: nothing written.
  Manager->RefreshDictsClick(Manager);
  EXPECT_EQ(writes.Count(), 2 * one);
  EXPECT_EQ(UTF16ToUTF8(Manager->Label1->Caption()), "Новые словари не найдены.");
}

// The manager disables the main window while it is open: it belongs to it,
// a message it raises belongs to it, and the disabled main window, when
// activated, sends the user to it rather than hiding it.
TEST_F(Manage, TheManagerStaysInFrontOfTheWindowItDisables) {
  Start();
  Form->Show();
  Form->DictsButtonClick(Form->DictsButton);
  for (int i = 0; i < 5; ++i) Application->HandleMessage();
  ASSERT_FALSE(Form->Enabled());
  std::vector<HWND> owners;
  SetDialogHook([&](TDialogRequest& r, int& result) {
    owners.push_back(r.Owner);
    result = IDOK;
    return true;
  });
  Application->ShowException(Exception(u"Cannot download"));
  ASSERT_EQ(owners.size(), 1u);
  EXPECT_EQ(owners[0], Manager->Handle()) << "the message belongs to another window";
  // As a click on the main window would.
  Form->BringToFront();
  for (int i = 0; i < 5; ++i) Application->HandleMessage();
  EXPECT_TRUE(Manager->Active()) << "the disabled main window kept the activation";
  // Once the manager is gone, messages belong to the main window again.
  Manager->Close();
  ASSERT_TRUE(Form->Enabled());
  Form->BringToFront();
  for (int i = 0; i < 5; ++i) Application->HandleMessage();
  Application->ShowException(Exception(u"Cannot search"));
  ASSERT_EQ(owners.size(), 2u);
  EXPECT_EQ(owners[1], Form->Handle());
}
