// The main window: components, creation, activation, closing and layout.
#include "app/main_form.h"

#include <sqlite3.h>

#include <algorithm>
#include <filesystem>

#include "app/data_files.h"
#include "app/dictionaries.h"
#include "app/dicts_form.h"
#include "app/options_form.h"
#include "app/vk_form.h"
#include "html/viewer/html_view.h"
#include "platform/core/exception.h"
#include "platform/core/files.h"
#include "platform/core/strings.h"
#include "platform/graphics/bitmap.h"
#include "platform/graphics/canvas.h"
#include "platform/graphics/icon.h"
#include "platform/graphics/imagelist.h"
#include "platform/gui/clipboard.h"
#include "platform/gui/dialogs.h"
#include "platform/gui/menus.h"
#include "platform/gui/shell.h"
#include "platform/gui/stdctrls.h"
#include "platform/gui/windows.h"
#include "tray/tray_icon.h"
#include "tree/string_tree.h"

TRuForm* RuForm = nullptr;

namespace {

// The maker's home page behind the link label.
const String kHomePage = u"https://tamrix.sourceforge.io/?app=5";
const String kHotKeyMessage = u"Unable to assign Control-Alt-Space as hotkey.";
constexpr const char16_t* kSettingsFile = u"other/settings";
constexpr const char16_t* kListFile = u"dictionaries/dictionaries._";
constexpr const char16_t* kStyleSheet = u"help/style.css";

TButton* makeButton(TComponent* owner, TWinControl* parent, const String& caption, const String& hint,
                    int left, int top, int width) {
  auto* b = new TButton(owner);
  b->SetParent(parent);
  b->SetCaption(caption);
  if (!hint.empty()) {
    b->SetHint(hint);
    b->SetShowHint(true);
  }
  b->SetBounds(left, top, width, 25);
  return b;
}

TMenuItem* addItem(TPopupMenu* menu, const String& caption, int image, TNotifyEvent onClick) {
  auto* item = new TMenuItem(menu);
  item->SetCaption(caption);
  item->SetImageIndex(image);
  item->OnClick = std::move(onClick);
  menu->Items()->Add(item);
  return item;
}

// A 16 x 16 picture drawn by Draw on a white (transparent) background.
void addPicture(TImageList* list, const std::function<void(TCanvas*)>& draw) {
  TBitmap b(16, 16);
  TCanvas* c = b.Canvas();
  c->Brush()->SetColor(clWhite);
  c->FillRect(TRect(0, 0, 16, 16));
  draw(c);
  list->AddMasked(&b, clWhite);
}

void book(TCanvas* c, bool open) {
  c->Pen()->SetColor(TColor(0x00804000));
  c->Brush()->SetColor(open ? TColor(0x00F0D0A0) : TColor(0x00C08040));
  if (open) {
    c->Rectangle(1, 3, 8, 14);
    c->Rectangle(8, 3, 15, 14);
  } else {
    c->Rectangle(3, 1, 13, 15);
    c->MoveTo(5, 4);
    c->LineTo(11, 4);
  }
}

}  // namespace

// ---- construction -----------------------------------------------------------------

TRuForm::TRuForm(TComponent* AOwner) : TForm(AOwner) {
  RuForm = this;
  SetName(u"RuForm");
  createComponents();
  OnCreate = [this](TObject* s) { FormCreate(s); };
  OnActivate = [this](TObject* s) { FormActivate(s); };
  OnClose = [this](TObject* s, TCloseAction& a) { FormClose(s, a); };
  OnDestroy = [this](TObject* s) { FormDestroy(s); };
  OnResize = [this](TObject* s) { FormResize(s); };
}

TRuForm::~TRuForm() {
  // A bare delete reaches here without OnDestroy having run.
  OnDestroy = nullptr;
  FormDestroy(this);
  // The controls are freed by the base classes, after this object has
  // stopped being a TRuForm: the result records go now, while the handlers
  // that free them still have their form.
  if (vst) vst->Clear();
  if (RuForm == this) RuForm = nullptr;
}

void TRuForm::createImages() {
  ImageList2 = new TImageList(this);
  ImageList3 = new TImageList(this);
  ImageList4 = new TImageList(this);
  // Result tree: open root, closed root, headword, nothing found.
  addPicture(ImageList4, [](TCanvas* c) { book(c, true); });
  addPicture(ImageList4, [](TCanvas* c) { book(c, false); });
  addPicture(ImageList4, [](TCanvas* c) {
    c->Pen()->SetColor(TColor(0x00606060));
    c->Brush()->SetColor(clWhite);
    c->Rectangle(3, 1, 13, 15);
    for (int y = 4; y < 13; y += 3) {
      c->MoveTo(5, y);
      c->LineTo(11, y);
    }
  });
  addPicture(ImageList4, [](TCanvas* c) {
    c->Pen()->SetColor(TColor(0x002020C0));
    c->Pen()->SetWidth(2);
    c->MoveTo(3, 3);
    c->LineTo(13, 13);
    c->MoveTo(13, 3);
    c->LineTo(3, 13);
  });
  // Tray menu: minimise, restore, exit.
  addPicture(ImageList3, [](TCanvas* c) {
    c->Brush()->SetColor(TColor(0x00804000));
    c->FillRect(TRect(3, 11, 13, 13));
  });
  addPicture(ImageList3, [](TCanvas* c) {
    c->Pen()->SetColor(TColor(0x00804000));
    c->Brush()->SetColor(clWhite);
    c->Rectangle(2, 3, 14, 13);
    c->Brush()->SetColor(TColor(0x00804000));
    c->FillRect(TRect(2, 3, 14, 5));
  });
  addPicture(ImageList3, [](TCanvas* c) {
    c->Pen()->SetColor(TColor(0x000000C0));
    c->Pen()->SetWidth(2);
    c->MoveTo(4, 4);
    c->LineTo(12, 12);
    c->MoveTo(12, 4);
    c->LineTo(4, 12);
  });
  // Article menu: select all, copy, to the query.
  addPicture(ImageList2, [](TCanvas* c) {
    c->Brush()->SetColor(TColor(0x00E0B080));
    c->FillRect(TRect(2, 3, 14, 13));
  });
  addPicture(ImageList2, [](TCanvas* c) {
    c->Pen()->SetColor(TColor(0x00404040));
    c->Brush()->SetColor(clWhite);
    c->Rectangle(2, 2, 10, 11);
    c->Rectangle(6, 5, 14, 14);
  });
  addPicture(ImageList2, [](TCanvas* c) {
    c->Pen()->SetColor(TColor(0x00008000));
    c->Pen()->SetWidth(2);
    c->MoveTo(3, 8);
    c->LineTo(12, 8);
    c->MoveTo(9, 5);
    c->LineTo(12, 8);
    c->LineTo(9, 11);
  });
}

void TRuForm::createComponents() {
  SetCaption(u" tamrix 5.7");
  Font()->SetName(u"Lucida Sans Unicode");
  SetClientWidth(782);
  SetClientHeight(550);
  // Below this the buttons and the article would be cut off: the search
  // panel has a fixed width and the article's buttons a fixed row.
  Constraints().SetMinWidth(600);
  Constraints().SetMinHeight(400);
  createImages();

  Panel1 = new TPanel(this);
  Panel1->SetParent(this);
  Panel1->SetBounds(8, 8, 270, Height() - 80);
  Panel1->SetBevelOuter(bvNone);
  Panel1->OnResize = [this](TObject* s) { Panel1Resize(s); };

  QueryCombo = new TComboBox(this);
  QueryCombo->SetParent(Panel1);
  QueryCombo->Font()->SetName(u"Lucida Sans Unicode");
  QueryCombo->Font()->SetHeight(-19);
  QueryCombo->SetBounds(0, 0, 270, 31);
  QueryCombo->SetTabStop(true);
  // The box lists no suggestions of its own (completion fills the tree): an
  // inline completion from its history would replace what the user typed.
  QueryCombo->SetAutoComplete(false);
  QueryCombo->OnKeyDown = [this](TObject* s, WORD& k, TShiftState sh) { QueryComboKeyDown(s, k, sh); };
  QueryCombo->OnKeyUp = [this](TObject* s, WORD& k, TShiftState sh) { QueryComboKeyUp(s, k, sh); };
  // A key going down anywhere in the window is a fresh press: its release,
  // in the query box or not, is the user's typing again.
  SetKeyPreview(true);
  OnKeyDown = [this](TObject*, WORD& k, TShiftState) { FHotKeyReleases.erase(k); };

  AdditionalCheckBox = new TCheckBox(this);
  AdditionalCheckBox->SetParent(Panel1);
  AdditionalCheckBox->SetCaption(u"дополнительно искать со словами");
  AdditionalCheckBox->SetBounds(0, 36, 270, 20);
  AdditionalCheckBox->OnClick = [this](TObject* s) { AdditionalCheckBoxClick(s); };

  AdditionalEdit = new TEdit(this);
  AdditionalEdit->SetParent(Panel1);
  AdditionalEdit->SetBounds(0, 58, 270, 24);
  AdditionalEdit->SetEnabled(false);

  SearchButton = makeButton(this, Panel1, u"искать", String(), 0, 88, 120);
  SearchButton->OnClick = [this](TObject* s) { SearchButtonClick(s); };
  vkButton = makeButton(this, Panel1, u"abc", u"виртуальная клавиатура", 126, 88, 40);
  vkButton->OnClick = [this](TObject* s) { vkButtonClick(s); };

  vst = new TDataStringTree(this);
  vst->SetParent(Panel1);
  vst->SetBounds(0, 120, 270, Panel1->Height() - 180);
  vst->Font()->SetName(u"Tahoma");
  vst->SetStateImages(ImageList4);
  vst->SetAnimationDuration(100);
  {
    auto paint = vst->TreeOptions().PaintOptions();
    paint.Include(toShowTreeLines);
    paint.Include(toShowButtons);
    vst->TreeOptions().SetPaintOptions(paint);
    auto anim = vst->TreeOptions().AnimationOptions();
    anim.Include(toAnimatedToggle);
    vst->TreeOptions().SetAnimationOptions(anim);
  }
  vst->OnGetText = [this](TBaseDataTree* s, PDataNode n, TColumnIndex c, TDTTextType, String& t) {
    vstGetText(s, n, c, t);
  };
  vst->OnGetImageIndex = [this](TBaseDataTree* s, PDataNode n, TDTImageKind, TColumnIndex, bool&, int& i) {
    vstGetImageIndex(s, n, i);
  };
  vst->OnCollapsed = [this](TBaseDataTree* s, PDataNode n) { vstCollapsed(s, n); };
  vst->OnExpanded = [this](TBaseDataTree* s, PDataNode n) { vstExpanded(s, n); };
  vst->OnKeyUp = [this](TObject* s, WORD& k, TShiftState sh) { vstKeyUp(s, k, sh); };
  vst->OnClick = [this](TObject* s) { vstClick(s); };
  vst->OnFreeNode = [this](TBaseDataTree* s, PDataNode n) { vstFreeNode(s, n); };

  DictsButton = makeButton(this, Panel1, u"словари", u"конфигуратор словарей", 0, 0, 86);
  DictsButton->OnClick = [this](TObject* s) { DictsButtonClick(s); };
  HelpButton = makeButton(this, Panel1, u"помощь", u"научиться пользоваться Tamrix", 92, 0, 86);
  HelpButton->OnClick = [this](TObject* s) { HelpButtonClick(s); };
  OptionsButton = makeButton(this, Panel1, u"настройки", u"настроить Tamrix", 184, 0, 86);
  OptionsButton->OnClick = [this](TObject* s) { OptionsButtonClick(s); };

  Panel2 = new TPanel(this);
  Panel2->SetParent(this);
  Panel2->SetBevelOuter(bvNone);
  Panel2->SetBounds(286, 8, Width() - 270 - 40, Height() - 80);
  Panel2->OnResize = [this](TObject* s) { Panel2Resize(s); };

  HTMLOut = new THtmlView(this);
  HTMLOut->SetParent(Panel2);
  HTMLOut->SetBounds(0, 0, Panel2->Width() - 16, Panel2->Height() - 60);
  HTMLOut->SetBorderStyle(htNone);
  HTMLOut->SetHistoryMaxCount(0);
  HTMLOut->SetNoSelect(false);
  HTMLOut->SetDefFontName(u"Times New Roman");
  HTMLOut->SetOnImageRequest([this](TObject* s, const String& src, TStream*& st) { requestImage(s, src, st); });
  HTMLOut->OnHotSpotClick = [this](TObject* s, const String& src, bool& h) { HtmlOutHotSpotClick(s, src, h); };
  HTMLOut->OnRightClick = [this](TObject* s, TRightClickParameters* p) { HtmlOutRightClick(s, p); };
  HTMLOut->OnKeyDown = [this](TObject* s, WORD& k, TShiftState sh) { HTMLOutKeyDown(s, k, sh); };
  HTMLOut->OnKeyUp = [this](TObject* s, WORD& k, TShiftState sh) { HTMLOutKeyUp(s, k, sh); };

  BufferButton = makeButton(this, Panel2, u"в буфер", String(), 0, 0, 90);
  BufferButton->OnClick = [this](TObject* s) { BufferButtonClick(s); };
  SaveButton = makeButton(this, Panel2, u"сохранить", String(), 96, 0, 90);
  SaveButton->OnClick = [this](TObject* s) { SaveButtonClick(s); };
  PrintButton = makeButton(this, Panel2, u"печать", String(), 192, 0, 90);
  PrintButton->OnClick = [this](TObject* s) { PrintButtonClick(s); };

  ProgressBar = new TProgressBar(this);
  ProgressBar->SetParent(this);
  ProgressBar->SetBounds(8, 0, 270, 16);
  ProgressBar->SetVisible(false);

  // The status line ends before the link beside it (see Panel2Resize): a
  // longer text is cut there, and shown whole as its hint.
  HintLabel = new TLabel(this);
  HintLabel->SetParent(this);
  HintLabel->SetAutoSize(false);
  HintLabel->SetEllipsisPosition(epEndEllipsis);
  HintLabel->SetShowHint(true);
  HintLabel->SetBounds(8, 0, 270, 16);
  HintLabel->SetCaption(String());

  RefLabel = new TLabel(this);
  RefLabel->SetParent(this);
  RefLabel->SetCaption(u"tamrix в сети");
  RefLabel->SetCursor(crHandPoint);
  RefLabel->Font()->SetColor(clBlue);
  RefLabel->OnMouseMove = [this](TObject* s, TShiftState sh, int x, int y) { RefLabelMouseMove(s, sh, x, y); };
  RefLabel->OnMouseLeave = [this](TObject* s) { RefLabelMouseLeave(s); };
  RefLabel->OnClick = [this](TObject* s) { RefLabelClick(s); };

  Popup1 = new TPopupMenu(this);
  Popup1->SetImages(ImageList2);
  N2 = addItem(Popup1, u"выделить всё", 0, [this](TObject* s) { N2Click(s); });
  N1 = addItem(Popup1, u"копировать", 1, [this](TObject* s) { N1Click(s); });
  N3 = addItem(Popup1, u"в запрос", 2, [this](TObject* s) { N3Click(s); });

  PopupMenu1 = new TPopupMenu(this);
  PopupMenu1->SetImages(ImageList3);
  N4 = addItem(PopupMenu1, u"развернуть", 1, [this](TObject* s) { N4Click(s); });
  N5 = addItem(PopupMenu1, u"свернуть", 0, [this](TObject* s) { N5Click(s); });
  N6 = addItem(PopupMenu1, u"выход", 2, [this](TObject* s) { N6Click(s); });

  TrayIcon2 = new TTrayIcon(this);
  TrayIcon2->SetPopupMenu(PopupMenu1);
  TrayIcon2->SetHint(u"tamrix 5.7");
  TrayIcon2->OnClick = [this](TObject* s) { TrayIcon1Click(s); };

  SaveDialog1 = new TSaveDialog(this);
  SaveDialog1->SetFilter(u"файл гипертекстовой разметки HTML|*.html|текстовый файл|*.txt");
  SaveDialog1->SetOptions(SaveDialog1->Options() + TOpenOptions{ofOverwritePrompt});
  PrintDialog1 = new TPrintDialog(this);
}

// ---- creation, activation, closing ----------------------------------------------------

void TRuForm::FormCreate(TObject*) {
  // The toolkit's own dialogs (colour, font, print, file) speak the
  // program's language where their translations are installed.
  Application->SetToolkitLanguage(u"ru");
  FTreeThread = std::make_unique<TTreeThread>(this);
  FAutoComplete = std::make_unique<TAutoCompleteThread>(this);

  NextClipboardViewer = SetClipboardViewer(Handle());
  LastClipboardText.clear();
  SearchStop = CompletionStop = SearchRunning = false;

  sqlite3_initialize();
  sqlite3_soft_heap_limit(30000);

  FHotKeyRegistered = RegisterHotKey(Handle(), 1, MOD_CONTROL | MOD_ALT, VK_SPACE);
  if (!FHotKeyRegistered) Application->MessageBox(kHotKeyMessage, Application->Title(), MB_OK);

  AppDir = ExcludeTrailingPathDelimiter(FProgramFolder.empty() ? ExtractFileDir(Application->ExeName())
                                                                : ExpandFileName(FProgramFolder));
  SetCurrentDir(AppDir);

  // What a run killed while writing left beside the files it writes.
  for (const char16_t* file : {kSettingsFile, kListFile, kStyleSheet})
    SweepLeftoverTemporaries(ExtractFilePath(file));

  // The settings: keys that act on the window do so as they are read. A
  // missing file leaves every setting at its initial value, and so does
  // one that cannot be read (said once).
  if (FileExists(kSettingsFile)) {
    bool fontColorRead = false, bgColorRead = false;
    try {
      ReadSettingsFile(kSettingsFile, AppSettings, [&](const String& key) {
        fontColorRead |= key == u"FontColor";
        bgColorRead |= key == u"BgColor";
        if (key == u"HideToSysTray") ApplyTraySetting();
        // A size saved on a larger display is limited to this screen.
        else if (key == u"MainFormWidth" && AppSettings.MainFormWidth > 0)
          SetWidth(std::min(AppSettings.MainFormWidth, Screen->Width()));
        else if (key == u"MainFormHeight" && AppSettings.MainFormHeight > 0)
          SetHeight(std::min(AppSettings.MainFormHeight, Screen->Height()));
      });
    } catch (const Exception& e) {
      ShowFailureOnce(e.Message());
    }
    CompleteSettingsColors(AppSettings, fontColorRead, bgColorRead);
  }
  if (AppSettings.FontSize <= 0) AppSettings.FontSize = 12;

  // Centred, and never with the title bar above or left of the screen.
  SetLeft(std::max((Screen->Width() - Width()) / 2, 0));
  SetTop(std::max((Screen->Height() - Height()) / 2, 0));

  vst->Font()->SetSize(AppSettings.FontSize);
  if (!AppSettings.UseSkin) {
    for (TControl* c : {static_cast<TControl*>(vst), static_cast<TControl*>(QueryCombo),
                        static_cast<TControl*>(AdditionalEdit)}) {
      c->SetColor(AppSettings.BgColor);
      c->Font()->SetColor(AppSettings.FontColor);
    }
  }
  if (!AppSettings.FontName.empty())
    for (TControl* c : {static_cast<TControl*>(vst), static_cast<TControl*>(QueryCombo),
                        static_cast<TControl*>(AdditionalEdit)})
      c->Font()->SetName(AppSettings.FontName);
  FitResultRows();
  TrayIcon2->SetMinimizeToTray(AppSettings.HideToSysTray);
  // Until the first article the pages (help included) take the tree's
  // colours, as articles do when their own colours are off.
  ArticleBgColor = vst->Color();
  ArticleTextColor = vst->Font()->Color();
  if (AppSettings.UseSkin) ApplyArticleColors();

  vst->SetNodeDataSize(int(sizeof(ResultNodeType)));
  AlphabetCount = ReadAlphabetFile(u"other/abc", AlphabetEntryType, MaxAlphabetEntries);
  ResultCount = 0;
  // The panels may keep their size and so never tell their children.
  FormResize(this);
  Panel1Resize(this);
  Panel2Resize(this);
  HelpButtonClick(this);
}

void TRuForm::FitResultRows() {
  // The text's full height with a pixel of room above and below it, never
  // less than a state picture needs, nor than the tree's usual height.
  TCanvas* c = vst->Canvas();
  c->Font()->Assign(*vst->Font());
  TEXTMETRICW tm{};
  GetTextMetricsW(c->Handle(), &tm);
  const int height = std::max({int(tm.tmHeight) + 2, ImageList4->Height() + 2, 18});
  if (std::uint32_t(height) == vst->DefaultNodeHeight()) return;
  vst->BeginUpdate();
  vst->SetDefaultNodeHeight(std::uint32_t(height));
  for (PDataNode n = vst->GetFirstNoInit(); n; n = vst->GetNextNoInit(n)) vst->SetNodeHeight(n, height);
  vst->EndUpdate();
}

void TRuForm::ApplyTraySetting() {
  TrayIcon2->SetMinimizeToTray(AppSettings.HideToSysTray);
  TrayIcon2->SetIconVisible(AppSettings.HideToSysTray);
}

void TRuForm::FormActivate(TObject*) {
  if (Busy()) {
    // The run uses the connections, the job may ask for the page's
    // pictures: the set is rebuilt when they end.
    FPendingActivation = true;
    return;
  }
  activateDictionaries();
}

void TRuForm::activateDictionaries() {
  FPendingActivation = false;
  // Each dictionary's description gets its share of time once, however
  // many times the rescan and the opening read it.
  const TDictionaryReading reading;
  // A list that cannot be brought in step with the folder (a folder that
  // cannot be written, a full disk) is said once; the dictionaries are
  // still opened from what can be read.
  if (DictsForm) {
    try {
      DictsForm->RefreshDictsClick(this);
    } catch (const Exception& e) {
      ShowFailureOnce(e.Message());
    }
  }
  if (QueryCombo->CanFocus()) QueryCombo->SetFocus();
  try {
    OpenActiveDictionaries(kListFile);
  } catch (const Exception& e) {
    ShowFailureOnce(e.Message());
    OpenActiveDictionaries(DictionaryFilesInFolder());
  }
  showCutShortDictionaries(reading.CutShort());
}

void TRuForm::showCutShortDictionaries(const std::vector<String>& Names) {
  if (Names.empty()) {
    if (!FCutShortNotice.empty() && HintLabel->Caption() == FCutShortNotice) HintLabel->SetCaption(String());
    FCutShortNotice.clear();
    return;
  }
  String names;
  for (size_t i = 0; i < Names.size(); ++i) names += (i ? u"», «" : u"«") + Names[i];
  names += u"»";
  FCutShortNotice = Names.size() == 1
                        ? u"Словарь " + names + u" открывается слишком долго: описание прочитано не полностью."
                        : u"Словари " + names + u" открываются слишком долго: описания прочитаны не полностью.";
  HintLabel->SetCaption(FCutShortNotice);
}

void TRuForm::ShowFailureOnce(const String& Text) {
  if (!FShownFailures.insert(Text).second) return;
  Application->MessageBox(Text, Application->Title(), MB_OK | MB_ICONWARNING);
}

bool TRuForm::PrintActive() const { return HTMLOut && HTMLOut->IsPrinting(); }

void TRuForm::FormClose(TObject*, TCloseAction& Action) {
  if (Busy()) {
    // Close once the run has let go of its connection, and once the job
    // being printed has its last page (the viewer lets messages through
    // between pages, and the job prints from the shown page).
    SearchStop = CompletionStop = true;
    FPendingClose = true;
    Action = caNone;
    return;
  }
  FClosing = true;
  if (FHotKeyRegistered) UnregisterHotKey(Handle(), 1);
  FHotKeyRegistered = false;
  std::error_code ec;
  for (const auto& entry : std::filesystem::directory_iterator(UTF16ToUTF8(AppDir + u"/temp"), ec))
    if (!entry.is_directory(ec)) std::filesystem::remove(entry.path(), ec);
  CloseDictionaries();
  sqlite3_shutdown();
  // Closing always ends the program: settings that cannot be saved are
  // said (once: the settings window may have said the same already) and
  // the window closes all the same.
  if (!OptionsForm) return;
  try {
    OptionsForm->BitBtn1Click(this);
  } catch (const Exception& e) {
    ShowFailureOnce(e.Message());
  } catch (const std::exception& e) {
    ShowFailureOnce(UTF8ToUTF16(e.what()));
  }
}

void TRuForm::FormDestroy(TObject*) {
  if (FFormDestroyDone) return;
  FFormDestroyDone = true;
  if (HandleAllocated()) ChangeClipboardChain(Handle(), NextClipboardViewer);
  CloseDictionaries();
}

// ---- layout -----------------------------------------------------------------------------

void TRuForm::FormResize(TObject*) {
  if (!Panel1 || !Panel2) return;
  Panel2->SetWidth(Width() - Panel1->Width() - 40);
  Panel1->SetHeight(Height() - 80);
  Panel2->SetHeight(Height() - 80);
  ProgressBar->SetTop(Panel1->Height() + 18);
  HintLabel->SetTop(Panel1->Height() + 18);
}

void TRuForm::Panel1Resize(TObject*) {
  if (!OptionsButton || !vst) return;
  const int h = Panel1->Height();
  for (TButton* b : {DictsButton, HelpButton, OptionsButton}) b->SetTop(h - 52);
  vst->SetHeight(h - vst->Top() - 60);
  HintLabel->SetTop(Panel1->Top() + h + 4);
}

void TRuForm::Panel2Resize(TObject*) {
  if (!PrintButton || !HTMLOut) return;
  const int w = Panel2->Width(), h = Panel2->Height();
  for (TButton* b : {BufferButton, SaveButton, PrintButton}) b->SetTop(h - 52);
  HTMLOut->SetWidth(w - 16);
  HTMLOut->SetHeight(h - HTMLOut->Top() - 60);
  RefLabel->SetTop(Panel2->Top() + h + 7);
  RefLabel->SetLeft(Panel2->Left() + w - 100);
  if (HintLabel)
    HintLabel->SetBounds(HintLabel->Left(), HintLabel->Top(), std::max(RefLabel->Left() - 8 - HintLabel->Left(), 0),
                         RefLabel->Height());
}

// ---- buttons -----------------------------------------------------------------------------

void TRuForm::DictsButtonClick(TObject*) {
  if (!DictsForm) return;
  DictsForm->SetLeft(Left());
  DictsForm->SetTop(Top());
  DictsForm->SetEnabled(true);
  // The manager disables this window: it belongs to it and stays in front.
  DictsForm->SetPopupParent(this);
  DictsForm->Show();
  SetEnabled(false);
}

void TRuForm::OptionsButtonClick(TObject*) {
  if (!OptionsForm) return;
  OptionsForm->SetLeft(Left());
  OptionsForm->SetTop(Top());
  OptionsForm->SetPopupParent(this);
  OptionsForm->Show();
  SetEnabled(false);
}

void TRuForm::vkButtonClick(TObject*) {
  if (!vkForm) return;
  vkForm->SetTop(Top() + vkButton->Top() + Panel1->Top() + vkButton->Height() + 29);
  vkForm->SetLeft(Left() + vkButton->Left() + Panel1->Left() + 3);
  // It belongs to this window, so the desktop keeps it in front of it.
  vkForm->SetPopupParent(this);
  vkForm->Show();
}

void TRuForm::AdditionalCheckBoxClick(TObject*) {
  if (AdditionalCheckBox->Checked()) {
    AdditionalEdit->SetEnabled(true);
    if (AdditionalEdit->CanFocus()) AdditionalEdit->SetFocus();
  } else {
    AdditionalEdit->SetText(String());
    AdditionalEdit->SetEnabled(false);
    if (AdditionalCheckBox->CanFocus()) AdditionalCheckBox->SetFocus();
  }
}

void TRuForm::RefLabelMouseMove(TObject*, TShiftState, int, int) {
  RefLabel->Font()->SetStyle(TFontStyles{fsUnderline});
}

void TRuForm::RefLabelMouseLeave(TObject*) { RefLabel->Font()->SetStyle(TFontStyles{}); }

void TRuForm::RefLabelClick(TObject*) { openWithDesktop(kHomePage, kHomePage, 9); }
