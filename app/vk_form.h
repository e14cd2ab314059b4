#pragma once
// TvkForm: the on-screen keyboard. Its layouts come from the file
// "other/vk" (UTF-16 little-endian after a byte-order mark): per layout a
// line of a name, ":", one separator and the keys, a blank starting the
// next row; "#" or the end of the file ends it. Each layout is one tab of
// key buttons; a key appends its character to the main window's query box.
#include <array>
#include <cstdint>
#include <vector>

#include "platform/gui/forms.h"

class TTabControl;
class TButton;

constexpr int MaxVkLayouts = 16;
constexpr int MaxVkKeys = 512;

class TvkForm : public TForm {
public:
  explicit TvkForm(TComponent* AOwner);
  ~TvkForm() override;

  TTabControl* vkTab = nullptr;
  TButton* SpaceButton = nullptr;
  TButton* BackSpaceButton = nullptr;
  TButton* EnterButton = nullptr;

  // The generated key buttons in file order: button number n (from 1) is
  // KeyButtons[n - 1].
  std::vector<TButton*> KeyButtons;
  int KeyButtonCount = 1;
  // Per layout: the number of its first key button and the one after its last.
  struct TLayoutRange {
    std::uint16_t First = 0;
    std::uint16_t End = 0;
  };
  std::array<TLayoutRange, MaxVkLayouts> LayoutRanges{};
  int LayoutIndex = -1;

  void FormCreate(TObject* Sender);
  void vkTabChange(TObject* Sender);
  void btnsClick(TObject* Sender);
  void SpaceButtonClick(TObject* Sender);
  void BackSpaceButtonClick(TObject* Sender);
  void EnterButtonClick(TObject* Sender);

  // Reads the layouts from FileName (a missing or short file gives fewer
  // or no layouts; layouts past 16 and keys past 512 are left out).
  void LoadLayouts(const String& FileName);

private:
  void addKey(char16_t Key, int Row, int Column);
  // The query box changed from here: the main window reacts as to a key.
  void queryChanged();
};

extern TvkForm* vkForm;
