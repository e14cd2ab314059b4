// The search and completion runs and the result tree's events.
#include <sqlite3.h>

#include <cstdio>

#include "app/dictionaries.h"
#include "app/main_form.h"
#include "db/utf8_convert.h"
#include "platform/core/strings.h"
#include "platform/core/threads.h"
#include "platform/gui/stdctrls.h"
#include "tree/string_tree.h"

namespace {

String elapsedText(std::uint64_t ms) {
  String s = FloatToStr(double(ms) / 1000.0);
  return s;
}

}  // namespace

// ---- the search button and the query box's keys ----------------------------------------

void TRuForm::SearchButtonClick(TObject*) {
  if (SearchRunning) {
    // A click while the run handles its messages stops it.
    SearchStop = true;
    SearchRunning = false;
    SearchButton->SetCaption(u"искать");
    return;
  }
  SearchQuery();
}

void TRuForm::SearchQuery() {
  if (Busy()) {
    // Started from inside a running search or completion, or while a page
    // prints (a double copy arrives between pages): what runs ends first (a
    // run at its next row), then this search runs.
    SearchStop = true;
    SearchRunning = false;
    CompletionStop = true;
    FPendingSearch = true;
    return;
  }
  runSearch();
  runPending();
}

void TRuForm::runSearch() {
  FPendingSearch = false;
  SearchStop = false;
  SearchRunning = true;
  FSearchActive = true;
  SearchButton->SetCaption(u"стоп!");
  try {
    FTreeThread->Execute();
  } catch (...) {
    FSearchActive = false;
    SearchRunning = false;
    SearchButton->SetCaption(u"искать");
    throw;
  }
  FSearchActive = false;
  SearchRunning = false;
  SearchButton->SetCaption(u"искать");
}

void TRuForm::QueryComboKeyDown(TObject* Sender, WORD& Key, TShiftState) {
  CompletionStop = true;
  if (Key == VK_RETURN) SearchButtonClick(Sender);
}

void TRuForm::QueryComboKeyUp(TObject*, WORD& Key, TShiftState) {
  // The hot key's own keys going up after it brought the window up.
  if (FHotKeyReleases.erase(Key) > 0) return;
  if (Key == VK_RETURN || !AppSettings.WordAutoSelect || QueryCombo->Text().empty()) return;
  CompletionStop = true;
  if (Busy()) {
    // The running one ends at its next row (a job being printed, at its
    // last page); the fresh one follows it.
    FPendingCompletion = true;
    return;
  }
  runCompletion();
  runPending();
}

void TRuForm::runCompletion() {
  FPendingCompletion = false;
  AutoCompleteLock = std::make_unique<TCriticalSection>();
  FCompletionActive = true;
  try {
    FAutoComplete->Execute();
  } catch (...) {
    FCompletionActive = false;
    CompletionRunning = false;
    AutoCompleteLock.reset();
    throw;
  }
  FCompletionActive = false;
  AutoCompleteLock.reset();
}

void TRuForm::runPending() {
  // Each pending piece may itself be interrupted and leave new ones.
  for (int guard = 0; guard < 1000 && !Busy(); ++guard) {
    if (FPendingActivation) {
      activateDictionaries();
    } else if (FPendingClose) {
      FPendingClose = false;
      Close();
      return;
    } else if (FPendingSearch) {
      FPendingCompletion = false;  // the search replaces what it would list
      runSearch();
    } else if (FPendingCompletion) {
      if (AppSettings.WordAutoSelect && !QueryCombo->Text().empty()) runCompletion();
      else FPendingCompletion = false;
    } else {
      return;
    }
  }
}

void TRuForm::CheckQuery(const String& Text) { ::CheckQuery(Text); }

void TRuForm::pumpMessages() {
  // A page shown while the messages are handled reads from the connection
  // the run reads from, and the engine calls the run back from there: the
  // run does not handle messages again inside its own handling.
  if (FPumping) return;
  FPumping = true;
  try {
    Application->ProcessMessages();
  } catch (...) {
    FPumping = false;
    throw;
  }
  FPumping = false;
}

void TRuForm::pumpInsideEngine() {
  // The engine must not be asked anything on a connection while it is in
  // the middle of a step on it.
  FInEngine = true;
  try {
    pumpMessages();
  } catch (...) {
    FInEngine = false;
    throw;
  }
  FInEngine = false;
}

void TRuForm::showWaitingPage() {
  if (!FPageWaits || FInEngine) return;
  FPageWaits = false;
  vstClick(vst);
}

// ---- the search run -----------------------------------------------------------------------

bool TTreeThread::addRow(std::int64_t Id, const char* Word, int Bytes) {
  TRuForm* f = FForm;
  if (!RootCreated) {
    f->LastRootNode = f->AddResultNode(nullptr, Dicts[CurrentDictIndex].Caption, nkOpenRoot,
                                       -std::int64_t(CurrentDictIndex));
    RootCreated = true;
  }
  TResultRow& row = FPending[FPendingCount++];
  row.Id = Id;
  row.Caption.assign(Word, size_t(Bytes));
  ++ResultCount;
  const bool stop = SearchStop;
  // Looking at the queue reads the clock, which costs about as much as adding
  // the row; every few rows keeps the window just as responsive.
  if (FPendingCount == FPending.size()) {
    flushRows();
    f->pumpMessages();
    f->showWaitingPage();
  }
  return stop;
}

bool TTreeThread::idle() {
  // A search that finds nothing for a while still shows "стоп!" and takes
  // the click on it.
  FForm->pumpInsideEngine();
  return SearchStop;
}

void TTreeThread::flushRows() {
  const std::size_t count = FPendingCount;
  FPendingCount = 0;
  if (count == 0) return;
  TRuForm* f = FForm;
  PDataNode root = f->LastRootNode;
  f->AddHeadwordNodes(root, FPending.data(), count);
  // Opened as soon as it has headwords: the rows that follow are then added
  // to a shown list, rather than every row being walked again to open the
  // dictionary once its statement ends.
  if (!f->vst->Expanded(root)) f->vst->SetExpanded(root, true);
}

void TTreeThread::Execute() {
  TRuForm* f = FForm;
  const std::uint64_t start = GetTickCount64();
  // Emptied inside the update that the run ends, as the completion does: no
  // blank list is shown while the run reads.
  f->vst->BeginUpdate();
  f->vst->Clear();
  f->LastRootNode = nullptr;
  ResultCount = 0;
  FPendingCount = 0;

  // The text is taken before the list grows: adding an item may select it.
  const String typed = f->QueryCombo->Text();
  f->QueryCombo->Items()->Add(typed);
  const String query = Trim(typed);
  f->QueryCombo->SetText(query);
  // An empty query box searches nothing.
  if (query.empty()) {
    QueryWordCount = 0;
    for (auto& w : QueryWords) w.clear();
  } else {
    f->CheckQuery(query + u" " + Trim(f->AdditionalEdit->Text()));
  }

  f->ProgressBar->SetPosition(0);
  f->ProgressBar->SetVisible(true);
  const UTF8String& w = QueryWords[1];
  const String word = Utf8ToUnicode(w);
  // Whether a stop left a dictionary, or part of one, unread: the run then
  // cannot say that the word is nowhere.
  bool stopped = false;
  for (int i = 0; i <= LastDictIndex && QueryWordCount > 0; ++i) {
    // Dictionaries the word is not looked for in are passed over before the
    // stop is asked: a stop after the last one it is looked for in leaves
    // nothing unread.
    if (w != "%" && !WordMatchesLanguages(Utf8ToUnicode(Dicts[i].Languages), word)) continue;
    // A stop ends the whole run, not only the dictionary being read (one
    // that is not open is never read).
    if (Dicts[i].Db && SearchStop) {
      stopped = true;
      break;
    }
    RootCreated = false;
    CurrentDictIndex = i;
    if (Dicts[i].Db) {
      const TSearchStatement st = BuildSearchStatement();
      if (QueryWordCount > 1) RegisterMyUpper(Dicts[i].Db);
      SearchRunning = !SearchStop;
      f->vst->BeginUpdate();
      const int rc = RunSearchStatement(
          Dicts[i].Db, st, [this](std::int64_t id, const char* text, int n) { return addRow(id, text, n); },
          [this] { return idle(); });
      if (SearchStop && rc != SQLITE_DONE && rc != SQLITE_OK) stopped = true;
      f->showWaitingPage();
      // The rows read since the last group, the one that asked to stop included.
      flushRows();
      f->vst->EndUpdate();
      if (ResultCount > 0 && f->LastRootNode) f->vst->SetExpanded(f->LastRootNode, true);
    }
    f->ProgressBar->SetPosition(int((i + 1) * 100.0 / (LastDictIndex + 1) + 0.5));
  }
  f->ProgressBar->SetVisible(false);
  const std::uint64_t elapsed = GetTickCount64() - start;
  f->HintLabel->SetCaption(String(stopped ? u"поиск остановлен; " : u"") + u"найдено вариантов: " +
                           IntToStr(ResultCount) + u" за " + elapsedText(elapsed) + u" сек.");
  if (ResultCount < 1) {
    f->LastRootNode = stopped ? f->AddResultNode(nullptr, "поиск остановлен", nkNothingFound, SearchStoppedId)
                              : f->AddResultNode(nullptr, "ничего не найдено", nkNothingFound, NothingFoundId);
    if (f->vst->CanFocus()) f->vst->SetFocus();
    PDataNode first = f->vst->GetFirst();
    f->vst->SetFocusedNode(first);
    f->vst->SetSelected(first, true);
    if (QueryWordCount == 0) f->vstClick(f->vst);
  } else {
    if (f->vst->CanFocus()) f->vst->SetFocus();
    PDataNode first = f->vst->GetNext(f->vst->GetFirst());
    f->vst->SetFocusedNode(first);
    f->vst->SetSelected(first, true);
    f->vstClick(f->vst);
  }
  f->vst->EndUpdate();
}

// ---- the completion run ---------------------------------------------------------------------

bool TAutoCompleteThread::addRow(std::int64_t Id, const char* Word, int Bytes) {
  TRuForm* f = FForm;
  if (!RootCreated) {
    f->LastRootNode = f->AddResultNode(nullptr, Dicts[0].Caption, nkOpenRoot, 0);
    RootCreated = true;
  }
  f->AddResultNode(f->LastRootNode, UTF8String(Word, size_t(Bytes)), nkHeadword, Id);
  ++ResultCount;
  const bool stop = CompletionStop;
  f->pumpMessages();
  return stop;
}

void TAutoCompleteThread::Execute() {
  TRuForm* f = FForm;
  TCriticalSection* lock = f->AutoCompleteLock.get();
  if (lock) lock->Enter();
  RootCreated = false;
  CompletionRunning = true;
  // Emptied inside the update: the window keeps showing the last list until
  // the new one is there, rather than a blank list the repaints made while
  // the rows are read would show.
  f->vst->BeginUpdate();
  if (ResultCount > 0) {
    f->vst->Clear();
    f->LastRootNode = nullptr;
  }
  ResultCount = 0;
  CompletionStop = false;
  const String prefix = FoldYo(AnsiUpperCase(f->QueryCombo->Text()));
  if (LastDictIndex >= 0 && Dicts[0].Db)
    RunSearchStatement(
        Dicts[0].Db, BuildCompletionStatement(prefix),
        [this](std::int64_t id, const char* text, int n) { return addRow(id, text, n); },
        [f] {
          // A prefix that starts with a wildcard reads every headword: the
          // next keystroke still ends it.
          f->pumpInsideEngine();
          return CompletionStop;
        });
  f->showWaitingPage();
  // Opened inside the update: the list is painted once, open, with its
  // scroll bars set for the rows it shows.
  if (f->vst->RootNodeCount() > 0 && f->LastRootNode) f->vst->SetExpanded(f->LastRootNode, true);
  f->vst->EndUpdate();
  CompletionRunning = false;
  f->HintLabel->SetCaption(u"подобрано вариантов: " + IntToStr(ResultCount));
  QueryWordCount = 1;
  if (lock) lock->Leave();
}

// ---- the result tree --------------------------------------------------------------------------

PDataNode TRuForm::AddResultNode(PDataNode Parent, UTF8String Caption, std::int32_t Kind, std::int64_t Id) {
  PDataNode node = vst->AddChild(Parent);
  new (vst->GetNodeData(node)) ResultNodeType{std::move(Caption), Kind, Id};
  return node;
}

void TRuForm::AddHeadwordNodes(PDataNode Parent, TResultRow* Rows, std::size_t Count) {
  if (!Parent || Count == 0) return;
  const std::uint32_t before = vst->ChildCount(Parent);
  PDataNode last = Parent->LastChild;
  try {
    vst->SetChildCount(Parent, before + std::uint32_t(Count));
  } catch (...) {
    // Nodes made before memory ran out have no record yet: take them back.
    vst->SetChildCount(Parent, before);
    throw;
  }
  PDataNode node = last ? last->NextSibling : Parent->FirstChild;
  for (std::size_t i = 0; i < Count && node; ++i, node = node->NextSibling)
    new (vst->GetNodeData(node)) ResultNodeType{std::move(Rows[i].Caption), nkHeadword, Rows[i].Id};
}

ResultNodeType* TRuForm::NodeRecord(PDataNode Node) {
  return Node ? static_cast<ResultNodeType*>(vst->GetNodeData(Node)) : nullptr;
}

void TRuForm::vstGetText(TBaseDataTree*, PDataNode Node, TColumnIndex, String& CellText) {
  if (ResultNodeType* r = NodeRecord(Node)) CellText = Utf8ToUnicode(r->Caption);
}

void TRuForm::vstGetImageIndex(TBaseDataTree*, PDataNode Node, int& ImageIndex) {
  if (ResultNodeType* r = NodeRecord(Node)) ImageIndex = r->Kind;
}

void TRuForm::vstCollapsed(TBaseDataTree*, PDataNode Node) {
  if (ResultNodeType* r = NodeRecord(Node)) r->Kind = nkClosedRoot;
}

void TRuForm::vstExpanded(TBaseDataTree*, PDataNode Node) {
  if (ResultNodeType* r = NodeRecord(Node)) r->Kind = nkOpenRoot;
}

void TRuForm::vstKeyUp(TObject* Sender, WORD&, TShiftState) { vstClick(Sender); }

void TRuForm::vstFreeNode(TBaseDataTree*, PDataNode Node) {
  if (ResultNodeType* r = NodeRecord(Node)) r->~ResultNodeType();
}
