// Pages in the article view: articles, about pages, the nothing-found page
// and help; pictures asked for by the view and links clicked in it.
#include <sqlite3.h>

#include "app/article.h"
#include "app/data_files.h"
#include "app/main_form.h"
#include "app/media.h"
#include "db/utf8_convert.h"
#include "html/parse/url_routines.h"
#include "html/viewer/html_view.h"
#include "platform/core/exception.h"
#include "platform/core/files.h"
#include "platform/core/strings.h"
#include "platform/gui/clipboard.h"
#include "platform/gui/menus.h"
#include "platform/gui/shell.h"
#include "platform/gui/stdctrls.h"
#include "platform/gui/windows.h"
#include "tree/string_tree.h"

void TRuForm::ApplyArticleColors() {
  if (AppSettings.UseFontStyle) ArticleTextColor = AppSettings.FontColor;
  if (AppSettings.UseBgColor) ArticleBgColor = AppSettings.BgColor;
}

void TRuForm::GetDescription2(int DictIndex, std::int64_t RowId, UTF8String& Text) {
  Text.clear();
  if (DictIndex < 0 || DictIndex > LastDictIndex || !Dicts[DictIndex].Db) return;
  sqlite3_stmt* st = nullptr;
  if (sqlite3_prepare_v2(Dicts[DictIndex].Db, "SELECT description FROM descriptions WHERE ROWID=?;", -1, &st,
                         nullptr) == SQLITE_OK) {
    sqlite3_bind_int64(st, 1, RowId);
    if (sqlite3_step(st) == SQLITE_ROW) {
      const auto* t = reinterpret_cast<const char*>(sqlite3_column_text(st, 0));
      if (t) Text.assign(t, size_t(sqlite3_column_bytes(st, 0)));
    }
  }
  sqlite3_finalize(st);
}

std::vector<String> TRuForm::templateLines(const String& FileName, size_t MaxLines) {
  // A template that cannot be read is said once; the page shows without it.
  try {
    return ReadTemplateLines(FileName, MaxLines);
  } catch (const Exception& e) {
    ShowFailureOnce(e.Message());
    return {};
  }
}

void TRuForm::vstClick(TObject*) {
  // Clicked while a run is inside a step of the engine: the page is read
  // once the step is over.
  if (FInEngine) {
    FPageWaits = true;
    return;
  }
  HTMLOut->Clear();
  if (!vst->GetFirstVisible()) return;
  PDataNode node = vst->GetFirstSelected();
  if (!node) return;
  const ResultNodeType* d = NodeRecord(node);
  const ResultNodeType* p = node->Parent != vst->RootNode() ? NodeRecord(node->Parent) : nullptr;
  if (!d) return;
  if (p) ShownDictId = p->Id;
  ShownWordId = d->Id;

  // The node's role comes from its kind: ids are whole ROWIDs, any value.
  String body;
  if (d->Kind == nkHeadword && p) {
    const int index = int(-p->Id);
    UTF8String text;
    GetDescription2(index, d->Id, text);
    std::vector<String> extra;
    for (int k = 2; k <= QueryWordCount; ++k) extra.push_back(Utf8ToUnicode(QueryWords[k]));
    body = ConvertArticleMarkup(Utf8ToUnicode(text), index, extra);
  } else if (d->Kind == nkNothingFound && d->Id == SearchStoppedId) {
    // Not every active dictionary was read: nothing here says the word is missing.
    body = u"<p>Поиск остановлен до того, как были просмотрены все активные словари. "
           u"Чтобы искать дальше, нажмите «искать».</p>";
  } else if (d->Kind == nkNothingFound) {
    for (const String& line : templateLines(u"other/nothing.html")) body += line;
  } else {
    const std::int64_t index = -d->Id;
    if (index >= 0 && index <= LastDictIndex)
      body = BuildAboutBody(templateLines(u"other/about_dictionary.html", 20), Dicts[index]);
  }
  ArticleBgColor = AppSettings.UseBgColor ? AppSettings.BgColor : vst->Color();
  ArticleTextColor = AppSettings.UseFontStyle ? AppSettings.FontColor : vst->Font()->Color();
  showPage(Utf8ToUnicode(d->Caption), body);
}

void TRuForm::showPage(const String& Caption, const String& Body) {
  const String page = BuildPage(Caption, Body, ArticleBgColor, ArticleTextColor, AppSettings.FontName,
                                AppSettings.FontSize);
  ShownCaption = Caption;
  HTMLOut->LoadFromString(page, String(), HtmlType);
}

void TRuForm::writeHelpStyle() {
  ApplyArticleColors();
  // Without a fresh style sheet the pages still show, with the last one.
  try {
    WriteHelpStyleSheet(u"help/template.css", u"help/style.css", ArticleBgColor, ArticleTextColor,
                        AppSettings.FontSize, AppSettings.FontName);
  } catch (const Exception& e) {
    ShowFailureOnce(e.Message());
  }
}

void TRuForm::HelpButtonClick(TObject*) {
  writeHelpStyle();
  HTMLOut->LoadFromFile(AppDir + u"/help/index.html", HtmlType);
  HTMLOut->SetPosition(0);
}

void TRuForm::RefreshHelpPage() {
  if (FClosing) return;
  const String shown = HTMLOut->CurrentFile();
  const String help = ExpandFileName(AppDir + u"/help") + u"/";
  if (shown.empty() || shown.compare(0, help.size(), help) != 0) return;
  const std::int32_t position = HTMLOut->Position();
  writeHelpStyle();
  HTMLOut->LoadFromFile(shown, HtmlType);
  HTMLOut->SetPosition(position);
}

void TRuForm::requestImage(TObject*, const String& SRC, TStream*& Stream) {
  if (SRC.empty() || SRC[0] != u'*') return;
  ImageStream.reset();
  TMediaSource media;
  // A source naming no active dictionary, or not a number, gets no picture.
  if (!ParseMediaSource(SRC, media)) return;
  PDataNode node = vst->GetFirstSelected();
  const ResultNodeType* d = NodeRecord(node);
  if (!d || d->Kind != nkHeadword) return;
  ImageStream = FetchMedia(media.DictIndex, d->Id, media.Name);
  Stream = ImageStream.get();
}

void TRuForm::HtmlOutHotSpotClick(TObject* Sender, const String& SRC, bool& Handled) {
  String target;
  switch (ClassifyLink(SRC, target)) {
    case lkMedia: {
      Handled = true;
      TMediaSource media;
      const ResultNodeType* d = NodeRecord(vst->GetFirstSelected());
      if (!ParseMediaSource(SRC, media) || !d || d->Kind != nkHeadword) return;
      if (!IsPlayableMediaName(media.Name)) {
        HintLabel->SetCaption(u"Файл «" + media.Name +
                              u"» не открыт: открываются только картинки, звуки и видео.");
        return;
      }
      const String file = MediaTempFileName(media.Name);
      if (file.empty()) return;
      std::unique_ptr<TMemoryStream> stream = FetchMedia(media.DictIndex, d->Id, media.Name);
      ForceDirectories(AppDir + u"/temp");
      WriteFileReplacing(file, RawByteString(static_cast<const char*>(stream->Memory()), size_t(stream->Size())));
      openWithDesktop(file, media.Name, 1);
      return;
    }
    case lkSearch:
      Handled = true;
      QueryCombo->SetText(target);
      SearchButtonClick(Sender);
      return;
    case lkExternal:
      Handled = true;
      openWithDesktop(target, target, 9);
      return;
    case lkRefused:
      Handled = true;
      HintLabel->SetCaption(u"Адрес «" + SRC + u"» не открыт: открываются только адреса http, https и mailto.");
      return;
    case lkViewer: {
      // The viewer follows it only to a page of the program's own.
      String name, anchor;
      SplitAtAnchor(SRC, name, anchor);
      if (name.empty()) return;  // a place in the page shown
      const String file = HTMLOut->ExpandName(name);
      if (file.find(u"://") == String::npos && ViewerMayShowFile(file)) return;
      Handled = true;
      HintLabel->SetCaption(u"Страница «" + name +
                            u"» не открыта: показываются только страницы из папок help и temp программы.");
      return;
    }
  }
}

void TRuForm::openWithDesktop(const String& Target, const String& Shown, int ShowCmd) {
  // The desktop says at once when it has no program for the file or the
  // address; that is told, not dropped.
  (void)ShowCmd;
  // The desktop may also find out later, once its opener has looked for a
  // program: its words go to the status line too.
  const std::weak_ptr<bool> alive = FAlive;
  if (ShellOpen(Target, [this, alive, Shown](const String& Reason) {
        if (!alive.expired()) HintLabel->SetCaption(u"Не удалось открыть «" + Shown + u"»: " + Reason);
      }))
    return;
  HintLabel->SetCaption(u"Не удалось открыть «" + Shown + u"»: на этом компьютере не задана программа для него.");
}

void TRuForm::HtmlOutRightClick(TObject*, TRightClickParameters*) {
  TPoint p;
  GetCursorPos(&p);
  Popup1->Popup(p.x, p.y);
}

void TRuForm::HTMLOutKeyDown(TObject*, WORD& Key, TShiftState Shift) {
  if (Shift == TShiftState{ssCtrl} && Key == 'C') FCopyKeysDown = true;
}

// Copies when the first of the two keys goes up: by then Ctrl may already
// have been let go, and the release of C alone no longer says Ctrl+C.
void TRuForm::HTMLOutKeyUp(TObject*, WORD& Key, TShiftState) {
  if (!FCopyKeysDown || (Key != 'C' && Key != VK_CONTROL)) return;
  FCopyKeysDown = false;
  // The user's own selection: copied twice, it is looked up like any copy.
  Clipboard()->SetAsText(HTMLOut->GetSelText());
}

void TRuForm::BufferButtonClick(TObject*) {
  HTMLOut->SelectAll();
  // An empty page copies nothing and leaves the clipboard as it was.
  if (HTMLOut->SelLength() <= 0) return;
  CopyOwn([this] { HTMLOut->CopyToClipboard(); });
}

void TRuForm::N1Click(TObject*) { Clipboard()->SetAsText(HTMLOut->GetSelText()); }
void TRuForm::N2Click(TObject*) { HTMLOut->SelectAll(); }
void TRuForm::N3Click(TObject*) { QueryCombo->SetText(HTMLOut->GetSelText()); }
