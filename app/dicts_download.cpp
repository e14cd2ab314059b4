// The manager's second page: the packages of the dictionary site that are
// not installed yet, their download into temp/ and their installation into
// dictionaries/ through the zip component.
//
// Every transfer, and the unpacking, runs on a worker thread; the handlers wait for it while
// the program goes on handling its messages, so the window repaints, the
// progress bar moves and the other windows answer. A handler that waits
// holds a copy of the window's alive token and touches nothing of the
// window once it has gone.
#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <filesystem>
#include <functional>
#include <condition_variable>
#include <cstdio>
#include <mutex>
#include <thread>

#include "app/app_state.h"
#include "app/dictionaries.h"
#include "app/dicts_form.h"
#include "app/main_form.h"
#include "platform/core/exception.h"
#include "platform/core/files.h"
#include "platform/core/files_temporary.h"
#include "platform/core/http.h"
#include "platform/core/strings.h"
#include "platform/gui/stdctrls.h"
#include "tree/string_tree.h"

namespace {

// The agent names the site sees: a short one for the list page, the one
// of the size request, and the package's own address for a package.
const char* const kListAgent = "tamrix";
const char* const kSizeAgent = "Mozilla/5.001 (windows; U; NT4.0; en-US; rv:1.0) Gecko/25250101";

// The list page is small; a larger answer is not a list page.
constexpr std::int64_t kMaxListPage = 8 * 1024 * 1024;

String folder(const String& name) { return (AppDir.empty() ? String(u".") : AppDir) + u"/" + name + u"/"; }

namespace fs = std::filesystem;

// Names in the dictionaries folder that the program keeps for itself: the
// dictionary list and the temporaries of its writers.
bool ownFileName(const fs::path& Name) {
  return Name == "dictionaries._" || IsOwnTemporaryName(Name.c_str());
}

// Moves what a package unpacked into Stage over to Target, merging folders
// into folders of the same name and replacing files, each file whole
// (copied beside its target and renamed when Target is on another file
// system); an entry named like a file the program keeps for itself is
// left behind and its name added to Skipped. Folders are walked with a
// list of their own, however deep the package nests them. Raises Exception
// naming the file or folder that could not be moved.
void moveUnpacked(const fs::path& Stage, const fs::path& Target, std::vector<String>& Skipped) {
  auto failed = [](const fs::path& To, int Error) {
    return Exception(u"Cannot install " + UTF8ToUTF16(To.string()) + u": " + SysErrorMessage(Error));
  };
  std::vector<std::pair<fs::path, fs::path>> folders{{Stage, Target}};
  for (bool top = true; !folders.empty(); top = false) {
    const auto [stage, target] = folders.back();
    folders.pop_back();
    std::vector<fs::path> entries;
    for (const fs::directory_entry& e : fs::directory_iterator(stage)) entries.push_back(e.path());
    std::sort(entries.begin(), entries.end());
    for (const fs::path& from : entries) {
      const fs::path to = target / from.filename();
      if (top && ownFileName(from.filename())) {
        Skipped.push_back(UTF8ToUTF16(from.filename().string()));
        continue;
      }
      std::error_code ec;
      const bool folder = fs::is_directory(fs::symlink_status(from));
      if (folder && fs::is_directory(fs::symlink_status(to, ec))) {
        folders.emplace_back(from, to);
        continue;
      }
      if (!folder) {
        if (const int error = MoveFileReplacing(UTF8ToUTF16(from.string()), UTF8ToUTF16(to.string())))
          throw failed(to, error);
        continue;
      }
      // A new folder is renamed whole; on another file system it is made
      // there and filled file by file.
      if (::rename(from.c_str(), to.c_str()) == 0) continue;
      const int error = errno;
      if (error != EXDEV || !fs::create_directory(to, ec)) throw failed(to, ec ? ec.value() : error);
      folders.emplace_back(from, to);
    }
  }
}

}  // namespace

void TDictsForm::buildDownloadPage(const String& Instructions) {
  Label3 = new TLabel(this);
  Label3->SetParent(NewSheet);
  Label3->SetCaption(Instructions);
  Label3->SetBounds(8, 4, FContentWidth + 5, 32);

  MoreDicts = new TDataStringTree(this);
  MoreDicts->SetParent(NewSheet);
  MoreDicts->SetBounds(8, 40, FContentWidth, 200);
  MoreDicts->SetNodeDataSize(int(sizeof(MoreDictNodeType)));
  {
    TDataTreeColumns& columns = MoreDicts->Header().Columns();
    const struct {
      const char16_t* Text;
      int Width;
    } shown[] = {{u"Название словаря", 300}, {u"Размер", 90}, {u"Слов", 52}};
    for (const auto& c : shown) {
      TDataTreeColumn* column = columns.Add();
      column->SetText(c.Text);
      column->SetWidth(c.Width);
    }
    auto header = MoreDicts->Header().Options();
    header.Include(hoVisible);
    MoreDicts->Header().SetOptions(header);
    MoreDicts->Header().SetMainColumn(0);
    auto misc = MoreDicts->TreeOptions().MiscOptions();
    misc.Include(toCheckSupport);
    MoreDicts->TreeOptions().SetMiscOptions(misc);
    auto selection = MoreDicts->TreeOptions().SelectionOptions();
    selection.Include(toFullRowSelect);
    MoreDicts->TreeOptions().SetSelectionOptions(selection);
    auto paint = MoreDicts->TreeOptions().PaintOptions();
    paint.Include(toShowHorzGridLines);
    MoreDicts->TreeOptions().SetPaintOptions(paint);
    MoreDicts->ScrollBarOptions().SetScrollBars(ssVertical);
    MoreDicts->ScrollBarOptions().SetAlwaysVisible(true);
    MoreDicts->SetDragOperations(TDragOperations{});
  }
  if (RuForm) MoreDicts->SetImages(RuForm->ImageList4);
  MoreDicts->OnGetText = [this](TBaseDataTree*, PDataNode n, TColumnIndex Column, TDTTextType, String& t) {
    const MoreDictNodeType* r = moreRecord(n);
    if (!r) return;
    if (Column <= 0) t = r->Caption;
    else if (Column == 1) t = r->Size;
    else if (Column == 2) t = r->Words;
  };
  MoreDicts->OnGetImageIndex = [](TBaseDataTree*, PDataNode, TDTImageKind Kind, TColumnIndex Column, bool&,
                                  int& Index) {
    if (Column <= 0 && (Kind == ikNormal || Kind == ikSelected)) Index = 1;
  };
  MoreDicts->OnInitNode = [](TBaseDataTree*, PDataNode, PDataNode n, TDataNodeInitStates&) {
    n->CheckType = ctCheckBox;
    n->CheckState = csUncheckedNormal;
  };
  MoreDicts->OnFreeNode = [this](TBaseDataTree*, PDataNode n) {
    if (MoreDictNodeType* r = moreRecord(n)) r->~MoreDictNodeType();
  };

  DIButton = new TButton(this);
  DIButton->SetParent(NewSheet);
  DIButton->SetCaption(u"установить");
  DIButton->SetBounds(8, 248, 100, 25);
  DIButton->OnClick = [this](TObject* s) { DIButtonClick(s); };
  DownLoadProgress = new TProgressBar(this);
  DownLoadProgress->SetParent(NewSheet);
  DownLoadProgress->SetBounds(116, 252, FContentWidth - 108, 17);
  DownLoadProgress->SetMin(0);
  DownLoadProgress->SetMax(100);
  DownLoadProgress->SetVisible(false);
  Label4 = new TLabel(this);
  Label4->SetParent(NewSheet);
  // A failure's reason names the address: up to three lines, wrapped.
  Label4->SetAutoSize(false);
  Label4->SetWordWrap(true);
  Label4->SetBounds(8, 278, FContentWidth, 48);
  Label4->SetVisible(false);

  ZipArchiver1 = new TZipArchiver(this);
  // The manager reports failures itself, with the package's name.
  ZipArchiver1->SetUnattended(true);
  ZipArchiver1->OnProgress = [this](TObject* s, TZAProgressDetails& d) { ZipArchiver1Progress(s, d); };

  PageControl2->OnChange = [this](TObject* s) { PageControl2Change(s); };
}

MoreDictNodeType* TDictsForm::moreRecord(PDataNode Node) {
  return Node ? static_cast<MoreDictNodeType*>(MoreDicts->GetNodeData(Node)) : nullptr;
}

void TDictsForm::PageControl2Change(TObject*) {
  if (PageControl2->ActivePageIndex() == 1) UpdateMoreDicts();
}

bool TDictsForm::waitHandlingMessages(const std::function<bool(int)>& Wait, const std::function<void()>& Cancel,
                                      const std::function<void()>& Progress) {
  const std::weak_ptr<bool> alive = FAlive;
  // Messages are handled before the first wait and after the last too, so
  // that the status line and the bar are seen however fast the worker.
  for (bool done = false;;) {
    Application->ProcessMessages();
    if (alive.expired()) return false;
    if (done) return true;
    // A program that is closing does not wait for the worker.
    if (Application->Terminated()) Cancel();
    done = Wait(15);
    Progress();
  }
}

bool TDictsForm::waitForTransfer(THttpTransfer& Transfer, unsigned Closes, bool Progress, std::int64_t KnownSize) {
  // The length the answer announces, else the one asked for before.
  auto total = [&] { return Transfer.ContentLength() >= 0 ? Transfer.ContentLength() : KnownSize; };
  return waitHandlingMessages([&](int Milliseconds) {
                                // Closing the window stops what it waits for.
                                if (FCloseCount != Closes) Transfer.Cancel();
                                return Transfer.WaitFor(Milliseconds);
                              },
                              [&] { Transfer.Cancel(); },
                              [&] {
                                if (Progress) showProgress(Transfer.Received(), total());
                              });
}

void TDictsForm::showProgress(std::int64_t Received, std::int64_t Total) {
  if (Total <= 0) {
    // Nothing to divide by: the bar only shows that work goes on.
    DownLoadProgress->SetStyle(pbstMarquee);
    return;
  }
  DownLoadProgress->SetStyle(pbstNormal);
  DownLoadProgress->SetPosition(int(std::lround(double(Received) / double(Total) * 100.0)));
}

void TDictsForm::UpdateMoreDicts() {
  // Selecting the page again while the list is on its way changes nothing.
  if (FListing) return;
  FListing = true;
  THttpRequest request;
  request.Url = DownloadBaseAddress();
  request.Agent = kListAgent;
  request.MaxBodySize = kMaxListPage;
  std::unique_ptr<THttpTransfer> started;
  try {
    started = std::make_unique<THttpTransfer>(request);
  } catch (...) {
    FListing = false;
    throw;
  }
  THttpTransfer& transfer = *started;
  if (!waitForTransfer(transfer, FCloseCount, false)) return;
  FListing = false;

  MoreDicts->Clear();
  MoreDicts->SetNodeDataSize(int(sizeof(MoreDictNodeType)));
  MoreDictRows.clear();
  if (!transfer.Succeeded()) {
    Label4->SetCaption(transfer.Error());
    Label4->SetVisible(true);
    return;
  }
  MoreDictRows = ParseMoreDictsPage(transfer.Body());
  try {
    ReadDictsList();
  } catch (const Exception&) {
    // Without a list nothing counts as installed.
    ConfiguredDicts.clear();
  }
  for (const MoreDictRowType& row : MoreDictRows) {
    // A name that is not a plain package file name is never offered.
    if (!IsPlainPackageName(row.FileName)) continue;
    const bool installed = std::any_of(ConfiguredDicts.begin(), ConfiguredDicts.end(),
                                       [&](const DPType& d) { return d.Name + u".zip" == row.FileName; });
    if (installed) continue;
    PDataNode node = MoreDicts->AddChild(nullptr);
    new (MoreDicts->GetNodeData(node)) MoreDictNodeType{row.FileName, row.Caption, row.Size, row.Words};
  }
}

void TDictsForm::downloadFailed(const String& Reason) {
  Label4->SetCaption(Reason);
  Label4->SetVisible(true);
  DownLoadProgress->SetStyle(pbstNormal);
  DownLoadProgress->SetPosition(0);
  DIButton->SetEnabled(true);
  // A program that is closing has cancelled the download itself.
  if (!Application->Terminated()) Application->ShowException(Exception(Reason));
}

void TDictsForm::downloadCancelled(const String& Name) {
  Label4->SetCaption(u"Скачивание " + Name + u" отменено: окно закрыто.");
  Label4->SetVisible(true);
  DownLoadProgress->SetStyle(pbstNormal);
  DownLoadProgress->SetPosition(0);
  DIButton->SetEnabled(true);
}

void TDictsForm::DIButtonClick(TObject*) {
  const std::weak_ptr<bool> alive = FAlive;
  const unsigned closes = FCloseCount;
  DIButton->SetEnabled(false);
  std::vector<String> names;
  for (PDataNode n = MoreDicts->GetFirst(); n; n = MoreDicts->GetNextSibling(n))
    if (n->CheckState == csCheckedNormal)
      if (const MoreDictNodeType* r = moreRecord(n)) names.push_back(r->FileName);
  DownLoadProgress->SetVisible(true);
  Label4->SetVisible(true);
  // The packages that could not be had or unpacked, each with its reason:
  // the others are installed all the same.
  std::vector<TPackageFailure> failed;
  const int n = int(names.size());
  try {
    const UTF8String base = DownloadBaseAddress();
    // Packages are kept in temp/ until they are unpacked; a program folder
    // without it gets one.
    if (n > 0 && !ForceDirectories(folder(u"temp")))
      throw Exception(u"Cannot make the folder " + folder(u"temp") + u": " + SysErrorMessage(errno));
    std::vector<String> came;
    for (int k = 1; k <= n; ++k) {
      const String& name = names[size_t(k - 1)];
      if (!IsPlainPackageName(name)) {
        failed.push_back({name, u"\"" + name + u"\" is not a package name"});
        continue;
      }
      const UTF8String url = PackageUrl(base, name);
      Label4->SetCaption(u"Скачиваем словарь " + IntToStr(k) + u" из " + IntToStr(n));
      DownLoadProgress->SetPosition(0);

      // The size is asked of the same address the package comes from; when
      // the server does not say, the download's own length is used.
      THttpRequest head;
      head.Url = url;
      head.Agent = kSizeAgent;
      head.Method = hmHead;
      THttpTransfer size(head);
      if (!waitForTransfer(size, closes, false)) return;
      if (FCloseCount != closes) {
        downloadCancelled(name);
        return;
      }
      // No answer at all (no connection, an untrusted certificate): the
      // download would meet the same; a server that only refuses the
      // request is still asked for the package.
      if (!size.Succeeded() && size.Status() == 0) {
        failed.push_back({name, size.Error()});
        continue;
      }
      const std::int64_t announced = size.Succeeded() ? size.ContentLength() : -1;
      showProgress(0, announced);

      THttpRequest get;
      get.Url = url;
      get.Agent = url;
      get.FileName = folder(u"temp") + name;
      get.LowSpeedLimit = SlowTransferBytes;
      get.StallTimeout = SlowTransferSeconds;
      THttpTransfer download(get);
      if (!waitForTransfer(download, closes, true, announced)) return;
      if (!download.Succeeded() && FCloseCount != closes) {
        // What came so far went with the transfer's temporary file.
        downloadCancelled(name);
        return;
      }
      if (!download.Succeeded()) {
        failed.push_back({name, download.Error()});
        continue;
      }
      came.push_back(name);
    }
    DownLoadProgress->SetStyle(pbstNormal);
    DownLoadProgress->SetPosition(0);
    if (!came.empty())
      Label4->SetCaption(failed.empty() ? u"Скачивание успешно завершено. Идет распаковка словарей."
                                        : u"Идет распаковка скачанных словарей.");
    if (!installPackages(came, failed)) return;
    RefreshDictsClick(this);
    UpdateMoreDicts();
    if (alive.expired()) return;
  } catch (const std::exception& e) {
    if (alive.expired()) return;
    const auto* ex = dynamic_cast<const Exception*>(&e);
    downloadFailed(ex ? ex->Message() : UTF8ToUTF16(e.what()));
    return;
  }
  String skipped;
  if (!FSkipped.empty()) {
    skipped = u" Пропущены файлы, которые программа ведёт сама:";
    for (size_t i = 0; i < FSkipped.size(); ++i) skipped += (i ? u", " : u" ") + FSkipped[i];
    skipped += u".";
  }
  if (n == 0) {
    Label4->SetCaption(u"Не выбрано ни одного словаря. Пометьте галочками словари, которые хотите установить.");
    DIButton->SetEnabled(true);
    DownLoadProgress->SetPosition(0);
    return;
  }
  if (!failed.empty()) {
    // What was installed stays installed; the message names each package
    // that was not, and why.
    const int installed = n - int(failed.size());
    String text;
    if (installed > 0) text = u"Установлено словарей: " + IntToStr(installed) + u" из " + IntToStr(n) + u". ";
    text += u"Не установлены:";
    for (size_t i = 0; i < failed.size(); ++i)
      text += (i ? u"; " : u" ") + failed[i].Name + u" (" + failed[i].Reason + u")";
    downloadFailed(text + u"." + skipped);
    if (installed > 0 && !alive.expired()) DownLoadProgress->SetPosition(100);
    return;
  }
  Label4->SetCaption(u"Установка выбранных словарей успешно завершена." + skipped);
  DIButton->SetEnabled(true);
  DownLoadProgress->SetPosition(100);
}

void TDictsForm::stopUnpacking() {
  if (!FUnpacking) return;
  FUnpacking->Cancelled = true;
  if (FUnpacking->Worker.joinable()) FUnpacking->Worker.join();
  FUnpacking.reset();
}

bool TDictsForm::installPackages(const std::vector<String>& Names, std::vector<TPackageFailure>& Failed) {
  FSkipped.clear();
  if (Names.empty()) return true;
  stopUnpacking();
  FUnpacking = std::make_unique<TUnpacking>();
  TUnpacking* unpacking = FUnpacking.get();
  TZipArchiver* zip = ZipArchiver1;
  zip->OnCheckTerminate = [unpacking](TObject*, bool& Abort) {
    if (unpacking->Cancelled) Abort = true;
  };
  const String packages = folder(u"temp"), target = folder(u"dictionaries"), library = folder(u"other");
  // Each package is unpacked into a folder of its own beside the packages
  // and moved into dictionaries/ from there, so that what it holds is
  // looked at as it stands on the disk, whatever the archive says.
  const String stage = packages + u"unpacked";
  unpacking->Worker = std::thread([unpacking, zip, Names, packages, target, library, stage] {
    const fs::path stagePath(UTF16ToUTF8(stage));
    std::error_code ignored;
    // One package that cannot be unpacked keeps none of the others out.
    auto unpack = [&](const String& name) -> String {
      fs::remove_all(stagePath, ignored);
      if (!ForceDirectories(stage))
        return u"Cannot unpack " + name + u": cannot make the folder " + stage + u": " + SysErrorMessage(errno);
      zip->SetZipFileName(packages + name);
      zip->FSpecArgs()->Clear();
      zip->SetExtrBaseDir(stage + u"/");
      zip->SetExtrOptions(TZAExtrOpts{ExtrDirNames, ExtrOverWrite});
      const int result = zip->Extract();
      if (unpacking->Cancelled) return u"Cannot unpack " + name + u": cancelled";
      if (result != 0 || zip->ErrCode() != 0) {
        String reason = zip->ErrMessage();
        if (reason.empty()) reason = u"error " + IntToStr(result != 0 ? result : zip->ErrCode());
        return u"Cannot unpack " + name + u": " + reason;
      }
      // A package is installed for the dictionaries at its top, the ones
      // the rescan finds: one without any brings nothing, and what it
      // unpacked goes with the stage, so dictionaries/ stays as it was.
      if (DictionaryFilesInFolder(stage + u"/").empty()) {
        DeleteFile(packages + name);
        return String(u"в пакете нет словаря: ни одного файла .tamrix вне папок");
      }
      moveUnpacked(stagePath, fs::path(UTF16ToUTF8(target)), unpacking->Skipped);
      // Installed: the package is of no more use, and may be large.
      DeleteFile(packages + name);
      return String();
    };
    size_t k = 0;
    // A failure that is no package's own (the zip library does not load)
    // keeps out every package not yet installed.
    auto allFailed = [&](const String& Reason) {
      for (; k < Names.size(); ++k) unpacking->Failed.push_back({Names[k], Reason});
    };
    try {
      zip->SetActive(true);
      zip->SetDLLDirectory(library);
      zip->SetDLL_Load(true);
      for (; k < Names.size(); ++k) {
        if (unpacking->Cancelled) {
          allFailed(u"cancelled");
          break;
        }
        unpacking->Percent = 0;
        String failure;
        try {
          failure = unpack(Names[k]);
        } catch (const Exception& e) {
          failure = e.Message();
        } catch (const std::exception& e) {
          // A file system error of one package keeps none of the others out.
          failure = UTF8ToUTF16(e.what());
        }
        if (!failure.empty()) unpacking->Failed.push_back({Names[k], failure});
      }
    } catch (const Exception& e) {
      allFailed(e.Message());
    } catch (const std::exception& e) {
      allFailed(UTF8ToUTF16(e.what()));
    }
    fs::remove_all(stagePath, ignored);
    unpacking->Finish();
  });
  // The window answers while the worker unpacks, and the bar follows it.
  // A window destroyed meanwhile has stopped the worker in its destructor.
  if (!waitHandlingMessages([unpacking](int Milliseconds) { return unpacking->WaitFor(Milliseconds); },
                            [unpacking] { unpacking->Cancelled = true; },
                            [this, unpacking] { DownLoadProgress->SetPosition(unpacking->Percent); }))
    return false;
  unpacking->Worker.join();
  Failed.insert(Failed.end(), unpacking->Failed.begin(), unpacking->Failed.end());
  FSkipped = std::move(unpacking->Skipped);
  FUnpacking.reset();
  zip->OnCheckTerminate = nullptr;
  return true;
}

// Called on the unpacking's worker thread: the bar is moved by the window.
// The report that ends an operation has no item (and so 0 per cent): the
// bar stays where the last item left it.
void TDictsForm::ZipArchiver1Progress(TObject*, TZAProgressDetails& Details) {
  if (FUnpacking && Details.ItemSize() > 0) FUnpacking->Percent = Details.ItemPerCent();
}
