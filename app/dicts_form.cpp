#include "app/dicts_form.h"

#include <algorithm>

#include "app/dictionaries.h"
#include "app/main_form.h"
#include "db/utf8_convert.h"
#include "platform/core/files.h"
#include "platform/core/strings.h"
#include "platform/graphics/canvas.h"
#include "platform/graphics/font.h"
#include "platform/gui/stdctrls.h"
#include "tree/string_tree.h"

TDictsForm* DictsForm = nullptr;

namespace {

const String kListFile = u"dictionaries/dictionaries._";

const String kInstalledHelp =
    u"Укажите активность словарей, выделив нужные словари галочкой, либо измените\n"
    u"порядок поиска в словарях, перетащив мышью словарь вниз или вверх.";
const String kDownloadHelp =
    u"Пометьте галочками словари, которые хотите скачать из Интернета и \n"
    u"установить, затем нажмите кнопку \"Установить\"";

int widestLine(TCanvas* canvas, const String& text) {
  int widest = 0;
  size_t from = 0;
  while (from <= text.size()) {
    size_t to = text.find(u'\n', from);
    if (to == String::npos) to = text.size();
    widest = std::max(widest, canvas->TextWidth(text.substr(from, to - from)));
    from = to + 1;
  }
  return widest;
}

// The caption of a dictionary file from its properties table; a file that
// is no dictionary shows its name, marked.
String readCaption(const String& name) { return DictionaryListCaption(name); }

// The list file's entries; lines of nothing but blanks name no dictionary
// and are passed over.
std::vector<DPType> readListFile() {
  std::vector<DPType> lines = ReadDictListFile(kListFile);
  std::erase_if(lines, [](const DPType& d) { return Trim(d.Name).empty() && Trim(d.Flag).empty(); });
  return lines;
}

}  // namespace

TDictsForm::TDictsForm(TComponent* AOwner) : TForm(AOwner) {
  DictsForm = this;
  SetName(u"DictsForm");
  SetCaption(u" Конфигуратор Словарей");
  SetBorderStyle(bsSingle);
  SetBorderIcons(TBorderIcons{biSystemMenu});
  Font()->SetName(u"Arial Unicode MS");
  // The instructions are shown whole, each on its two lines, in whatever
  // face stands in for the window's font: the window grows when they are
  // wider than its usual width.
  Canvas()->Font()->Assign(*Font());
  FContentWidth = std::max(455, std::max(widestLine(Canvas(), kInstalledHelp), widestLine(Canvas(), kDownloadHelp)) + 8);
  SetClientWidth(FContentWidth + 24);
  SetClientHeight(338);

  PageControl2 = new TPageControl(this);
  PageControl2->SetParent(this);
  PageControl2->SetBounds(0, 0, FContentWidth + 24, 338);
  InstalledSheet = new TTabSheet(this);
  InstalledSheet->SetPageControl(PageControl2);
  InstalledSheet->SetCaption(u"установленные словари");
  NewSheet = new TTabSheet(this);
  NewSheet->SetPageControl(PageControl2);
  NewSheet->SetCaption(u"установка новых словарей");

  Label2 = new TLabel(this);
  Label2->SetParent(InstalledSheet);
  Label2->SetCaption(kInstalledHelp);
  Label2->SetBounds(8, 4, FContentWidth + 5, 32);

  DictsTree = new TDataStringTree(this);
  DictsTree->SetParent(InstalledSheet);
  DictsTree->SetBounds(8, 40, FContentWidth, 220);
  DictsTree->SetNodeDataSize(int(sizeof(DictNodeType)));
  // The check boxes are the dictionaries' "active" flags; each row is one
  // dictionary, selected whole and shown with the book picture.
  {
    auto misc = DictsTree->TreeOptions().MiscOptions();
    misc.Include(toCheckSupport);
    DictsTree->TreeOptions().SetMiscOptions(misc);
    auto selection = DictsTree->TreeOptions().SelectionOptions();
    selection.Include(toFullRowSelect);
    DictsTree->TreeOptions().SetSelectionOptions(selection);
  }
  // The framework's own drag within the list reorders it.
  DictsTree->SetDragType(dtVCL);
  DictsTree->OnDragAllowed = [this](TBaseDataTree* s, PDataNode n, TColumnIndex c, bool& allowed) {
    DictsTreeDragAllowed(s, n, c, allowed);
  };
  DictsTree->OnDragOver = [this](TBaseDataTree* s, TObject* source, TShiftState shift, TDragState state, TPoint pt,
                                 TDTDropMode mode, std::uint32_t& effect, bool& accept) {
    DictsTreeDragOver(s, source, shift, state, pt, mode, effect, accept);
  };
  DictsTree->OnDragDrop = [this](TBaseDataTree* s, TObject* source, const std::shared_ptr<IDataObject>& data,
                                 const TBaseDataTree::TFormatArray& formats, TShiftState shift, TPoint pt,
                                 std::uint32_t& effect, TDTDropMode mode) {
    DictsTreeDragDrop(s, source, data, formats, shift, pt, effect, mode);
  };
  if (RuForm) DictsTree->SetImages(RuForm->ImageList4);
  DictsTree->OnGetImageIndex = [](TBaseDataTree*, PDataNode, TDTImageKind Kind, TColumnIndex, bool&, int& Index) {
    if (Kind == ikNormal || Kind == ikSelected) Index = 0;
  };
  DictsTree->OnGetText = [this](TBaseDataTree*, PDataNode n, TColumnIndex, TDTTextType, String& t) {
    if (DictNodeType* r = record(n)) t = r->Caption;
  };
  DictsTree->OnInitNode = [this](TBaseDataTree*, PDataNode, PDataNode n, TDataNodeInitStates&) {
    if (DictNodeType* r = record(n)) {
      n->CheckType = ctCheckBox;
      n->CheckState = r->CheckState == 2 ? csCheckedNormal : csUncheckedNormal;
    }
  };
  DictsTree->OnFreeNode = [this](TBaseDataTree*, PDataNode n) {
    if (DictNodeType* r = record(n)) r->~DictNodeType();
  };

  SaveDictsOptions = new TButton(this);
  SaveDictsOptions->SetParent(InstalledSheet);
  SaveDictsOptions->SetCaption(u"сохранить");
  SaveDictsOptions->SetHint(u"сохранить изменения в конфигурации");
  SaveDictsOptions->SetBounds(8, 268, 100, 25);
  SaveDictsOptions->OnClick = [this](TObject* s) { SaveDictsOptionsClick(s); };
  RefreshDicts = new TButton(this);
  RefreshDicts->SetParent(InstalledSheet);
  RefreshDicts->SetCaption(u"обновить");
  RefreshDicts->SetHint(u"Нажмите эту кнопку, если хотите установить новый словарь");
  RefreshDicts->SetBounds(116, 268, 100, 25);
  RefreshDicts->OnClick = [this](TObject* s) { RefreshDictsClick(s); };
  CloseDictsOptions = new TButton(this);
  CloseDictsOptions->SetParent(InstalledSheet);
  CloseDictsOptions->SetCaption(u"закрыть");
  CloseDictsOptions->SetHint(u"закрыть Конфигуратор ");
  CloseDictsOptions->SetBounds(224, 268, 100, 25);
  CloseDictsOptions->OnClick = [this](TObject* s) { CloseDictsOptionsClick(s); };
  Label1 = new TLabel(this);
  Label1->SetParent(InstalledSheet);
  Label1->SetBounds(8, 298, FContentWidth + 5, 16);

  buildDownloadPage(kDownloadHelp);

  OnShow = [this](TObject* s) { FormShow(s); };
  OnClose = [this](TObject* s, TCloseAction& a) { FormClose(s, a); };
}

TDictsForm::~TDictsForm() {
  // The tree is freed by the base classes, after this object has stopped
  // being a TDictsForm: its records go now, while their handler still has
  // its form.
  FAlive.reset();
  stopUnpacking();
  if (DictsTree) DictsTree->Clear();
  if (MoreDicts) MoreDicts->Clear();
  if (DictsForm == this) DictsForm = nullptr;
}

DictNodeType* TDictsForm::record(PDataNode Node) {
  return Node ? static_cast<DictNodeType*>(DictsTree->GetNodeData(Node)) : nullptr;
}

void TDictsForm::FormShow(TObject*) { ReBuildTree(); }

void TDictsForm::FormClose(TObject*, TCloseAction&) {
  ++FCloseCount;
  if (RuForm) RuForm->SetEnabled(true);
}

void TDictsForm::CloseDictsOptionsClick(TObject*) { Close(); }

void TDictsForm::ReadDictsList() { ConfiguredDicts = readListFile(); }

void TDictsForm::ReBuildTree() {
  DictsTree->Clear();
  Label1->SetCaption(String());
  DictsTree->SetNodeDataSize(int(sizeof(DictNodeType)));
  for (const DPType& line : readListFile()) {
    PDataNode node = DictsTree->AddChild(nullptr);
    new (DictsTree->GetNodeData(node)) DictNodeType{readCaption(line.Name), std::uint8_t(line.Flag == u"1" ? 2 : 0),
                                                   line.Name};
  }
  DictsTree->ReinitNode(nullptr, true);
}

void TDictsForm::RefreshDictsClick(TObject*) {
  AddedCount = 0;
  RemovedCount = 0;
  ReadDictsList();
  FoundDicts = DictionaryFilesInFolder();
  auto configured = [this](const String& name) {
    return std::any_of(ConfiguredDicts.begin(), ConfiguredDicts.end(),
                       [&](const DPType& d) { return d.Name == name; });
  };
  // New files go to the top of the list, active, each above the one found
  // before it; a file that is no dictionary is listed but never made
  // active. The list is written once for all of them.
  std::vector<DPType> added;
  for (const DPType& found : FoundDicts) {
    if (configured(found.Name)) continue;
    bool readable = false;
    DictionaryListCaption(found.Name, &readable);
    added.push_back(DPType{found.Name, readable ? u"1" : u"0"});
    ++AddedCount;
  }
  if (!added.empty()) {
    std::reverse(added.begin(), added.end());
    added.insert(added.end(), ConfiguredDicts.begin(), ConfiguredDicts.end());
    WriteDictListFile(kListFile, added);
    ReadDictsList();
  }
  // Entries whose files are gone are dropped, all in one rewrite.
  std::vector<DPType> kept;
  for (const DPType& d : ConfiguredDicts) {
    const bool found = std::any_of(FoundDicts.begin(), FoundDicts.end(),
                                   [&](const DPType& f) { return f.Name == d.Name; });
    if (found) kept.push_back(d);
    else ++RemovedCount;
  }
  if (RemovedCount > 0) {
    WriteDictListFile(kListFile, kept);
    ConfiguredDicts = kept;
  }
  ReBuildTree();
  Label1->SetCaption(AddedCount > 0 ? u"Установлено новых словарей: " + IntToStr(AddedCount)
                                    : String(u"Новые словари не найдены."));
  if (RemovedCount >= 1) Label1->SetCaption(u"Удалено словарей: " + IntToStr(RemovedCount));
}

void TDictsForm::DictsTreeDragAllowed(TBaseDataTree*, PDataNode, TColumnIndex, bool& Allowed) { Allowed = true; }

void TDictsForm::DictsTreeDragOver(TBaseDataTree*, TObject*, TShiftState, TDragState, TPoint, TDTDropMode,
                                   std::uint32_t&, bool& Accept) {
  Accept = true;
}

void TDictsForm::DictsTreeDragDrop(TBaseDataTree*, TObject*, const std::shared_ptr<IDataObject>&,
                                   const TBaseDataTree::TFormatArray&, TShiftState, TPoint, std::uint32_t&,
                                   TDTDropMode) {
  PDataNode source = DictsTree->GetFirstSelected();
  PDataNode target = DictsTree->DropTargetNode();
  // Dropped below the last row (or with nothing dragged): nothing moves.
  if (!source || !target || source == target) return;
  // Dragged upwards the dictionary goes before the one it was dropped on,
  // downwards after it.
  const TDTNodeAttachMode mode = source->Index > target->Index ? amInsertBefore : amInsertAfter;
  DictsTree->MoveTo(source, target, mode, false);
}

void TDictsForm::SaveDictsOptionsClick(TObject*) {
  std::vector<DPType> lines;
  for (PDataNode n = DictsTree->GetFirst(); n; n = DictsTree->GetNextSibling(n))
    if (DictNodeType* r = record(n)) lines.push_back(DPType{r->Name, n->CheckState == csCheckedNormal ? u"1" : u"0"});
  WriteDictListFile(kListFile, lines);
  Label1->SetCaption(u"Конфигурация словарей сохранена.");
}
