#pragma once
// The set of active dictionaries and the statements run against them: the
// activation that opens them, the query splitting, the alphabet test and
// the search and completion statements (user text always bound, never
// pasted into SQL).
#include <cstdint>
#include <functional>
#include <vector>

#include "app/app_state.h"
#include "app/data_files.h"

// Closes every connection left in Dicts and clears the handles.
void CloseDictionaries();

// Reading a dictionary's own description (its properties) is bounded: a
// view may be built to yield rows without end, or to cost seconds a row.
// Every statement on it stops at a step count far beyond what a real table
// costs, and at the time left to the dictionary (this long for each read
// outside a TDictionaryReading; shared by all its reads inside one),
// keeping what was read by then.
inline constexpr int DictionaryReadMilliseconds = 1000;

// While one lives (an activation), the reads of each dictionary's
// description share DictionaryReadMilliseconds between them, and the
// dictionaries read only in part are named. Only the outermost one counts.
class TDictionaryReading {
public:
  TDictionaryReading();
  ~TDictionaryReading();
  TDictionaryReading(const TDictionaryReading&) = delete;
  TDictionaryReading& operator=(const TDictionaryReading&) = delete;
  // The dictionaries whose description was read only in part (out of time
  // or steps, or a value too long), in the order they were met.
  std::vector<String> CutShort() const;

private:
  bool FOutermost;
};

// Reads the list file and opens every line flagged exactly "1" whose file
// "dictionaries/<name>.tamrix" is a readable dictionary, in list order,
// filling ActiveDicts, Dicts and LastDictIndex. Each record starts empty
// before its properties row is read; of several rows the last counts, and
// a table or view that would take long to read is read only so far. A
// dictionary without a caption is captioned with its name. A file that is not a dictionary never
// becomes active, so the first active dictionary (which completion reads)
// is always one that opened. Lines beyond the first MaxActiveDicts active
// ones are ignored. Without a list file every dictionary file in the folder
// is active. Raises EInOutError when the list exists but cannot be read.
void OpenActiveDictionaries(const String& ListFileName);
void OpenActiveDictionaries(const std::vector<DPType>& Lines);

// The dictionary files in Folder (given with its trailing "/"), each as a
// list line flagged "1", in the order the folder lists them; a name is the
// file name with its first ".tamrix" removed.
std::vector<DPType> DictionaryFilesInFolder(const String& Folder = u"dictionaries/");

// Opens the dictionary file of Name for reading so that reading writes
// nothing, not even beside the file (no lock or log files: dictionaries do
// not change while the program reads them). Null when the file does not
// open or is not a dictionary (no words table: an empty file, random bytes,
// a damaged header).
sqlite3* OpenDictionaryFile(const String& Name);

// The caption a dictionary shows in lists: the caption of its first
// properties row, else its name; for a file that is not a readable
// dictionary, its name marked as such.
// Readable tells which.
String DictionaryListCaption(const String& Name, bool* Readable = nullptr);

// Fills a record from one properties row (columns by position; a shorter
// row fills what it has).
void FillDictRecord(DictRecordType& Record, int ColumnCount, const char* const* Values);

// Whether every character of Word (upper-cased by the locale rules) is a
// letter of some alphabet entry whose name occurs in Languages ("_" and "%"
// fit every entry).
bool WordMatchesLanguages(const String& Languages, const String& Word);

// Splits a query into QueryWords: the first character of each word may be
// anything (a blank included), a word ends before the next blank. At most
// MaxQueryWords words are kept. "ё"/"Ё" in a Russian main word become
// "е"/"Е".
void CheckQuery(const String& Text);

// "Ё" and "ё" folded to "Е" and "е" when the word is written in the
// alphabet named "ru" (headwords are stored with "Е").
String FoldYo(const String& Word);

// Whether Upper (upper-cased, folded) is Russian text with an "Е", which
// then stands for "Е" and "Ё" both.
bool FoldsYe(const String& Upper);

// A statement with its parameter values (bound in order, from 1).
struct TSearchStatement {
  UTF8String SQL;
  std::vector<UTF8String> Params;
};

// The search statement for the words in QueryWords: "=" or LIKE on the
// upper-cased main word, every row for "%", and one description condition
// per additional word.
TSearchStatement BuildSearchStatement();
// The completion statement: headwords beginning with Prefix (already
// upper-cased and folded); in a Russian prefix each "Е" stands for "Е" and
// "Ё" both.
TSearchStatement BuildCompletionStatement(const String& Prefix);

// Called per row with the ROWID and the headword as UTF-8; returns true to
// stop the statement.
using TRowCallback = std::function<bool(std::int64_t Id, const char* Word, int Bytes)>;
// Called now and then while the engine reads without finding a row (an
// article search that finds nothing reads every article); returns true to
// stop the statement.
using TIdleCallback = std::function<bool()>;
// Prepares, binds and steps the statement, calling Row for every row and
// Idle, when given, every few thousand steps of the engine. Returns the
// engine's result code (SQLITE_DONE or SQLITE_OK when all rows were read);
// a failure adds nothing more. What Idle raises is raised again once the
// statement has ended.
int RunSearchStatement(sqlite3* Db, const TSearchStatement& Statement, const TRowCallback& Row,
                       const TIdleCallback& Idle = nullptr);

// Registers the upper-casing SQL function the description conditions use.
void RegisterMyUpper(sqlite3* Db);
