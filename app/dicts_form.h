#pragma once
// TDictsForm: the dictionary manager window. Its first page orders, enables
// and disables the installed dictionaries (the rescan that keeps the list
// file in step with the folder runs at every activation of the main
// window); its second page lists the packages of the dictionary site that
// are not installed yet, downloads the ticked ones and installs them.
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "app/data_files.h"
#include "app/download_list.h"
#include "platform/gui/forms.h"
#include "tree/base_tree.h"
#include "zip/zip_archiver.h"

class TDataStringTree;
class TLabel;
class TButton;
class TPageControl;
class TProgressBar;
class TTabSheet;
class THttpTransfer;

// The owner data of the manager's list.
struct DictNodeType {
  String Caption;
  std::uint8_t CheckState = 0;  // 2 active, 0 inactive
  String Name;
};

// The owner data of the download list: a copy of the page's row.
struct MoreDictNodeType {
  String FileName;
  String Caption;
  String Size;
  String Words;
};

class TDictsForm : public TForm {
public:
  explicit TDictsForm(TComponent* AOwner);
  ~TDictsForm() override;

  TPageControl* PageControl2 = nullptr;
  TTabSheet* InstalledSheet = nullptr;
  TTabSheet* NewSheet = nullptr;
  TLabel* Label2 = nullptr;
  TDataStringTree* DictsTree = nullptr;
  TButton* SaveDictsOptions = nullptr;
  TButton* RefreshDicts = nullptr;
  TButton* CloseDictsOptions = nullptr;
  TLabel* Label1 = nullptr;
  // The download page.
  TLabel* Label3 = nullptr;
  TDataStringTree* MoreDicts = nullptr;
  TButton* DIButton = nullptr;
  TProgressBar* DownLoadProgress = nullptr;
  TLabel* Label4 = nullptr;
  TZipArchiver* ZipArchiver1 = nullptr;

  void FormShow(TObject* Sender);
  void FormClose(TObject* Sender, TCloseAction& Action);
  void CloseDictsOptionsClick(TObject* Sender);
  void ReBuildTree();
  void RefreshDictsClick(TObject* Sender);
  void SaveDictsOptionsClick(TObject* Sender);
  void ReadDictsList();
  void PageControl2Change(TObject* Sender);

  // Reordering by dragging within the list.
  void DictsTreeDragAllowed(TBaseDataTree* Sender, PDataNode Node, TColumnIndex Column, bool& Allowed);
  void DictsTreeDragOver(TBaseDataTree* Sender, TObject* Source, TShiftState Shift, TDragState State, TPoint Pt,
                         TDTDropMode Mode, std::uint32_t& Effect, bool& Accept);
  void DictsTreeDragDrop(TBaseDataTree* Sender, TObject* Source, const std::shared_ptr<IDataObject>& DataObject,
                         const TBaseDataTree::TFormatArray& Formats, TShiftState Shift, TPoint Pt,
                         std::uint32_t& Effect, TDTDropMode Mode);

  // The download page: the list fetched from the site, and the download and
  // installation of the ticked packages.
  void UpdateMoreDicts();
  void DIButtonClick(TObject* Sender);
  void ZipArchiver1Progress(TObject* Sender, TZAProgressDetails& Details);

  std::vector<DPType> ConfiguredDicts;
  std::vector<DPType> FoundDicts;
  int AddedCount = 0;
  int RemovedCount = 0;

  std::vector<MoreDictRowType> MoreDictRows;

  // A package that comes slower than SlowTransferBytes a second for this
  // many seconds on end is given up with a message.
  long SlowTransferSeconds = 60;
  static constexpr long SlowTransferBytes = 1024;

private:
  DictNodeType* record(PDataNode Node);
  MoreDictNodeType* moreRecord(PDataNode Node);
  void buildDownloadPage(const String& Instructions);
  // Waits for a transfer while the program goes on handling its messages,
  // moving the progress bar when Progress is set (against the answer's
  // length, else KnownSize). The transfer is cancelled once the window has
  // been closed since it counted Closes closes. False when the window was
  // destroyed meanwhile (nothing of it may be touched then).
  bool waitForTransfer(THttpTransfer& Transfer, unsigned Closes, bool Progress, std::int64_t KnownSize = -1);
  // A download stopped by closing the window: said in the status line.
  void downloadCancelled(const String& Name);
  // Handles the program's messages between waits of Wait (given its
  // milliseconds, true once the worker has ended), calling Progress after
  // each and Cancel when the program is closing. False when the window was
  // destroyed meanwhile: nothing of it may be touched then.
  bool waitHandlingMessages(const std::function<bool(int)>& Wait, const std::function<void()>& Cancel,
                            const std::function<void()>& Progress);
  void showProgress(std::int64_t Received, std::int64_t Total);
  // The failure shown in the status line and in a message; the button is
  // enabled again.
  void downloadFailed(const String& Reason);
  // A package that was not installed, and why.
  struct TPackageFailure {
    String Name;    // the package's file name
    String Reason;  // what went wrong, naming the package or its address
  };
  // Unpacks the downloaded packages into dictionaries/ on a worker thread
  // while the program goes on handling its messages, the bar following
  // the worker, and removes each package from temp/ once it is installed.
  // A package that cannot be unpacked is added to Failed, and the others
  // are installed all the same. False when the window was destroyed
  // meanwhile (the unpacking was cancelled then, and nothing of the window
  // may be touched).
  bool installPackages(const std::vector<String>& Names, std::vector<TPackageFailure>& Failed);
  struct TUnpacking;
  // The running unpacking: cancelled and waited for when the window goes,
  // before the component it uses does.
  std::unique_ptr<TUnpacking> FUnpacking;
  void stopUnpacking();

  // Cleared when the window goes, so that a wait inside one of its
  // handlers can tell.
  std::shared_ptr<bool> FAlive = std::make_shared<bool>(true);
  bool FListing = false;
  // Counts the closes of the window: a transfer that sees it change is
  // cancelled (closing the manager stops its download).
  unsigned FCloseCount = 0;
  // What the last installation passed over (the program's own files).
  std::vector<String> FSkipped;
  // The width of the pages' contents (lists, labels).
  int FContentWidth = 455;
};

// The state the worker and the window share; the worker touches nothing
// else but the window's zip component, which the window leaves alone (and
// keeps alive) until the worker has ended.
struct TDictsForm::TUnpacking {
  std::mutex Lock;
  std::condition_variable Changed;
  bool Done = false;  // under Lock
  // Written by the worker, read once it has ended: the packages that could
  // not be unpacked, and the entries no package may replace (the
  // program's own files), passed over.
  std::vector<TPackageFailure> Failed;
  std::vector<String> Skipped;
  std::atomic<int> Percent{0};
  std::atomic<bool> Cancelled{false};
  std::thread Worker;

  // True once the worker has ended; waits at most Milliseconds for it.
  bool WaitFor(int Milliseconds) {
    std::unique_lock<std::mutex> lock(Lock);
    return Changed.wait_for(lock, std::chrono::milliseconds(Milliseconds), [this] { return Done; });
  }
  void Finish() {
    {
      std::lock_guard<std::mutex> lock(Lock);
      Done = true;
    }
    Changed.notify_all();
  }
};

extern TDictsForm* DictsForm;
