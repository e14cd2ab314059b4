#pragma once
// TDictsForm: the dictionary manager window. Here: its installed-list page
// with the rescan that keeps the list file in step with the dictionary
// files in the folder, which every activation of the main window runs.
#include <vector>

#include "app/data_files.h"
#include "platform/gui/forms.h"
#include "tree/base_tree.h"

class TDataStringTree;
class TLabel;
class TButton;
class TPageControl;
class TTabSheet;

// The owner data of the manager's list.
struct DictNodeType {
  String Caption;
  std::uint8_t CheckState = 0;  // 2 active, 0 inactive
  String Name;
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

  void FormShow(TObject* Sender);
  void FormClose(TObject* Sender, TCloseAction& Action);
  void CloseDictsOptionsClick(TObject* Sender);
  void ReBuildTree();
  void RefreshDictsClick(TObject* Sender);
  void SaveDictsOptionsClick(TObject* Sender);
  void ReadDictsList();

  std::vector<DPType> ConfiguredDicts;
  std::vector<DPType> FoundDicts;
  int AddedCount = 0;
  int RemovedCount = 0;

private:
  DictNodeType* record(PDataNode Node);
};

extern TDictsForm* DictsForm;
