#include "app/app_state.h"

DictRecordType Dicts[MaxActiveDicts];
String ActiveDicts[MaxActiveDicts];
int LastDictIndex = -1;
UTF8String QueryWords[MaxQueryWords + 1];
int QueryWordCount = 0;
TAlphabetEntry AlphabetEntryType[MaxAlphabetEntries];
int AlphabetCount = 0;
TAppSettings AppSettings;
TColor ArticleBgColor = 0;
TColor ArticleTextColor = 0;
String AppDir;
bool SearchRunning = false;
bool SearchStop = false;
bool CompletionRunning = false;
bool CompletionStop = false;
HWND NextClipboardViewer = nullptr;
String LastClipboardText;
int ResultCount = 0;

void ResetModuleState() {
  for (auto& d : Dicts) d = DictRecordType{};
  for (auto& a : ActiveDicts) a.clear();
  LastDictIndex = -1;
  for (auto& w : QueryWords) w.clear();
  QueryWordCount = 0;
  for (auto& e : AlphabetEntryType) e = TAlphabetEntry{};
  AlphabetCount = 0;
  AppSettings = TAppSettings{};
  ArticleBgColor = ArticleTextColor = 0;
  SearchRunning = SearchStop = CompletionRunning = CompletionStop = false;
  NextClipboardViewer = nullptr;
  LastClipboardText.clear();
  ResultCount = 0;
}
