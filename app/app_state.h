#pragma once
// The main window's module state: the active dictionaries, the words of the
// last query, the alphabet table, the settings and the run flags. It lives
// for the whole process and is touched from the GUI thread only.
#include <cstdint>

#include "platform/core/types.h"
#include "platform/graphics/colors.h"
#include "platform/gui/messages.h"

struct sqlite3;

// One active dictionary: its properties row, its name and its read-only
// connection.
struct DictRecordType {
  UTF8String Caption;
  std::int32_t InfoNumber = 0;
  UTF8String Languages;
  UTF8String InfoText5;
  String FileName;
  UTF8String InfoText8;
  UTF8String InfoText6;
  UTF8String InfoText7;
  UTF8String InfoText9;
  UTF8String InfoText2;
  UTF8String InfoText0;
  bool InfoFlag = false;
  sqlite3* Db = nullptr;
};

constexpr int MaxActiveDicts = 101;
constexpr int MaxQueryWords = 100;
constexpr int MaxAlphabetEntries = 16;

extern DictRecordType Dicts[MaxActiveDicts];
extern String ActiveDicts[MaxActiveDicts];
extern int LastDictIndex;

// Words of the last query; index 1 is the main word, 2.. the additional ones.
extern UTF8String QueryWords[MaxQueryWords + 1];
extern int QueryWordCount;

struct TAlphabetEntry {
  String Language;
  String Letters;
};
extern TAlphabetEntry AlphabetEntryType[MaxAlphabetEntries];
extern int AlphabetCount;

// The values of the settings file; a key missing from the file keeps the
// value given here. The colours start as the desktop's own text on window
// colours: a file without them must not give black text on black.
struct TAppSettings {
  bool HideToSysTray = false;
  bool AutoStart = false;
  bool MinimizeAtClosing = false;
  TColor FontColor = clWindowText;
  int FontSize = 0;
  String FontName;
  TColor BgColor = clWindow;
  bool WordAutoSelect = false;
  bool UseSkin = false;
  bool UseBgColor = false;
  bool UseFontStyle = false;
  String CurrentSkin;
  int MainFormWidth = 0;
  int MainFormHeight = 0;
  bool UseCtrlC = false;
};
extern TAppSettings AppSettings;
extern TColor ArticleBgColor;
extern TColor ArticleTextColor;

// The executable's folder, without a trailing separator.
extern String AppDir;

extern bool SearchRunning;
extern bool SearchStop;
extern bool CompletionRunning;
extern bool CompletionStop;

extern HWND NextClipboardViewer;
extern String LastClipboardText;

// Headwords added to the result tree by the last run.
extern int ResultCount;

// Back to the state of a fresh start (connections are not closed here).
void ResetModuleState();
