#include "app/dictionaries.h"

#include <sqlite3.h>

#include <algorithm>
#include <chrono>
#include <climits>
#include <exception>
#include <functional>
#include <initializer_list>
#include <map>
#include <memory>
#include <vector>

#include "db/database_files.h"
#include "db/utf8_convert.h"
#include "platform/core/files.h"
#include "platform/core/strings.h"

namespace {

String dictFileName(const String& name) { return u"dictionaries/" + name + u".tamrix"; }

// True when the connection reads as a dictionary: a file of another kind
// opens lazily and fails at its first statement, and an empty file is an
// empty database without the headword table.
bool isDictionary(sqlite3* db) {
  sqlite3_stmt* st = nullptr;
  const bool ok =
      sqlite3_prepare_v2(db, "SELECT ROWID, word FROM words LIMIT 0", -1, &st, nullptr) == SQLITE_OK && st;
  sqlite3_finalize(st);
  return ok;
}

using TClock = std::chrono::steady_clock;

// A dictionary's properties are a row or two of a table; a view (or a
// table) may be built to yield rows without end, to work without end
// before its first row, or to cost seconds a row. A statement on them
// stops after this many steps of the engine (far more than any real
// properties table costs, a few milliseconds of work) or once the time
// left to the dictionary is over, keeping what was read by then. The
// clock is looked at every few steps, and no step may make a value longer
// than the limit below, so that no single step costs more than a few
// milliseconds either. No function may be called: some (a search in a
// text, a pattern, a set of characters to trim) cost the product of their
// arguments' lengths in one step, hours for values within the limit, and
// a real properties table needs none.
constexpr long kPropertiesSteps = 4'000'000;
constexpr int kStepsPerCheck = 16;
constexpr int kPropertiesValueLength = 8 << 20;

// The time each dictionary has spent on its description during the
// activation under way, and the dictionaries read only in part.
struct TReadTimes {
  std::map<String, TClock::duration> Spent;
  std::vector<String> CutShort;
};
std::unique_ptr<TReadTimes> readTimes;

// One read of a dictionary's description: its statements share the time
// left to the dictionary, which is booked when the read ends.
class TDescriptionRead {
public:
  TDescriptionRead(sqlite3* Db, const String& Name) : FDb(Db), FName(Name), FStart(TClock::now()) {
    FDeadline = FStart + std::chrono::milliseconds(DictionaryReadMilliseconds);
    if (readTimes) FDeadline -= readTimes->Spent[Name];
  }
  ~TDescriptionRead() {
    if (!readTimes) return;
    readTimes->Spent[FName] += TClock::now() - FStart;
    std::vector<String>& cut = readTimes->CutShort;
    if (FCut && std::find(cut.begin(), cut.end(), FName) == cut.end()) cut.push_back(FName);
  }
  TDescriptionRead(const TDescriptionRead&) = delete;
  TDescriptionRead& operator=(const TDescriptionRead&) = delete;

  // Steps Sql within the bounds above, calling Row for every row.
  void Run(const char* Sql, const std::function<void(sqlite3_stmt*)>& Row) {
    if (TClock::now() >= FDeadline) {
      FCut = true;
      return;
    }
    // A column a table computes from its others calls its function on every
    // read, unseen by the refusal of functions below: a file with one is
    // not described.
    if (!FSchemaChecked) {
      FSchemaChecked = true;
      Run("SELECT 1 FROM sqlite_master AS s, pragma_table_xinfo(s.name) AS c WHERE s.type = 'table' AND "
          "c.hidden IN (2, 3) LIMIT 1;",
          [this](sqlite3_stmt*) { FComputed = true; });
    }
    if (FComputed) {
      FCut = true;
      return;
    }
    FStepsLeft = kPropertiesSteps;
    // The connection is left as it was found, whatever Row does.
    struct TBounds {
      sqlite3* Db;
      int Length;
      sqlite3_stmt* Statement = nullptr;
      ~TBounds() {
        sqlite3_finalize(Statement);
        sqlite3_progress_handler(Db, 0, nullptr, nullptr);
        sqlite3_set_authorizer(Db, nullptr, nullptr);
        sqlite3_limit(Db, SQLITE_LIMIT_LENGTH, Length);
      }
    } bounds{FDb, sqlite3_limit(FDb, SQLITE_LIMIT_LENGTH, kPropertiesValueLength)};
    sqlite3_progress_handler(FDb, kStepsPerCheck, check, this);
    sqlite3_set_authorizer(FDb, refuseFunctions, this);
    if (sqlite3_prepare_v2(FDb, Sql, -1, &bounds.Statement, nullptr) != SQLITE_OK || !bounds.Statement) return;
    int rc;
    while ((rc = sqlite3_step(bounds.Statement)) == SQLITE_ROW) Row(bounds.Statement);
    if (rc == SQLITE_INTERRUPT || rc == SQLITE_TOOBIG) FCut = true;
  }

private:
  // A description that needs a function is not read, and is named.
  static int refuseFunctions(void* Self, int Action, const char*, const char*, const char*, const char*) {
    if (Action != SQLITE_FUNCTION) return SQLITE_OK;
    static_cast<TDescriptionRead*>(Self)->FCut = true;
    return SQLITE_DENY;
  }
  static int check(void* Self) {
    auto* read = static_cast<TDescriptionRead*>(Self);
    read->FStepsLeft -= kStepsPerCheck;
    return read->FStepsLeft < 0 || TClock::now() >= read->FDeadline;
  }

  sqlite3* FDb;
  String FName;
  TClock::time_point FStart, FDeadline;
  long FStepsLeft = 0;
  bool FCut = false;
  bool FSchemaChecked = false, FComputed = false;
};

// True when the query has a row whose first column is one of Names
// (compared as the engine compares names, ignoring ASCII case).
bool anyNamed(TDescriptionRead& Read, const char* Sql, std::initializer_list<const char*> Names) {
  bool found = false;
  Read.Run(Sql, [&](sqlite3_stmt* st) {
    const auto* t = reinterpret_cast<const char*>(sqlite3_column_text(st, 0));
    for (const char* n : Names) found = found || (t && sqlite3_stricmp(t, n) == 0);
  });
  return found;
}

// The statement that reads the last properties row. A table with row ids
// keeps its rows in their order, so its last row is found at once, read
// backwards by a name of the row id that no column of the table takes. A
// view, or a table without row ids, is read from its first row on, within
// the budget.
UTF8String lastPropertiesRowStatement(TDescriptionRead& Read) {
  const UTF8String all = "SELECT * FROM properties;";
  if (!anyNamed(Read, "SELECT type FROM pragma_table_list('properties') WHERE wr = 0;", {"table"})) return all;
  for (const char* id : {"rowid", "_rowid_", "oid"})
    if (!anyNamed(Read, "SELECT name FROM pragma_table_info('properties');", {id}))
      return UTF8String("SELECT * FROM properties ORDER BY ") + id + " DESC LIMIT 1;";
  return all;
}

// Fills Record from the last row of the dictionary's properties (the one
// that counts when there are several), each column by position; a
// dictionary without a row leaves the record as it is.
void readProperties(sqlite3* Db, const String& Name, DictRecordType& Record) {
  std::vector<UTF8String> values;
  std::vector<bool> present;
  bool any = false;
  TDescriptionRead read(Db, Name);
  read.Run(lastPropertiesRowStatement(read).c_str(), [&](sqlite3_stmt* st) {
    const int count = sqlite3_column_count(st);
    values.assign(size_t(count), UTF8String());
    present.assign(size_t(count), false);
    for (int i = 0; i < count; ++i) {
      const auto* t = reinterpret_cast<const char*>(sqlite3_column_text(st, i));
      if (!t) continue;
      values[size_t(i)].assign(t, size_t(sqlite3_column_bytes(st, i)));
      present[size_t(i)] = true;
    }
    any = true;
  });
  if (!any) return;
  std::vector<const char*> row(values.size(), nullptr);
  for (size_t i = 0; i < values.size(); ++i)
    if (present[i]) row[i] = values[i].c_str();
  FillDictRecord(Record, int(row.size()), row.data());
}

void myUpperFunction(sqlite3_context* context, int, sqlite3_value** argv) {
  const UTF8String up = UnicodeToUtf8(AnsiUpperCase(Utf8ToUnicode(ValueToUtf8(argv[0]))));
  sqlite3_result_text(context, up.data(), int(up.size()), SQLITE_TRANSIENT);
}

}  // namespace

TDictionaryReading::TDictionaryReading() : FOutermost(!readTimes) {
  if (FOutermost) readTimes = std::make_unique<TReadTimes>();
}

TDictionaryReading::~TDictionaryReading() {
  if (FOutermost) readTimes.reset();
}

std::vector<String> TDictionaryReading::CutShort() const {
  return readTimes ? readTimes->CutShort : std::vector<String>();
}

void CloseDictionaries() {
  for (DictRecordType& d : Dicts) {
    if (d.Db) sqlite3_close_v2(d.Db);
    d.Db = nullptr;
  }
}

void FillDictRecord(DictRecordType& r, int count, const char* const* values) {
  auto text = [&](int i) -> UTF8String { return i < count && values[i] ? UTF8String(values[i]) : UTF8String(); };
  r.InfoText0 = text(0);
  r.Caption = text(1);
  r.InfoText2 = text(2);
  r.InfoNumber = StrToIntDef(Utf8ToUnicode(text(3)), 0);
  r.Languages = text(4);
  r.InfoText5 = text(5);
  r.InfoText6 = text(6);
  r.InfoText7 = text(7);
  r.InfoText8 = text(8);
  r.InfoText9 = text(9);
  r.InfoFlag = StrToBoolDef(Utf8ToUnicode(text(10)), false);
}

sqlite3* OpenDictionaryFile(const String& Name) {
  const String file = dictFileName(Name);
  // The engine opens what it is given and waits there: a named pipe would
  // wait for a writer for ever. Only a regular file is a dictionary.
  if (file.find(u'\0') != String::npos || !FileExists(file)) return nullptr;
  const UTF8String uri = DatabaseFileUri(file) + "?immutable=1";
  sqlite3* db = nullptr;
  if (sqlite3_open_v2(uri.c_str(), &db, SQLITE_OPEN_READONLY | SQLITE_OPEN_URI, nullptr) != SQLITE_OK ||
      !isDictionary(db)) {
    sqlite3_close_v2(db);
    return nullptr;
  }
  return db;
}

String DictionaryListCaption(const String& Name, bool* Readable) {
  sqlite3* db = OpenDictionaryFile(Name);
  if (Readable) *Readable = db != nullptr;
  if (!db) return Name + u" (файл не читается)";
  // The list shows the first row's caption; a dictionary without one
  // shows its name, so that each line tells which file it is.
  String caption;
  {
    TDescriptionRead read(db, Name);
    read.Run("SELECT full_caption FROM properties LIMIT 1;", [&](sqlite3_stmt* st) {
      if (const auto* t = reinterpret_cast<const char*>(sqlite3_column_text(st, 0))) caption = Utf8ToUnicode(t);
    });
  }
  sqlite3_close_v2(db);
  return caption.empty() ? Name : caption;
}

std::vector<DPType> DictionaryFilesInFolder(const String& Folder) {
  std::vector<DPType> files;
  TSearchRec rec;
  if (FindFirst(Folder + u"*.tamrix", faAnyFile, rec) == 0) {
    do {
      // A folder is no dictionary, whatever its name (a package may make
      // one).
      if (rec.Attr & faDirectory) continue;
      String name = rec.Name;
      const size_t ext = name.find(u".tamrix");
      if (ext != String::npos) name.erase(ext, 7);
      files.push_back(DPType{name, u"1"});
    } while (FindNext(rec) == 0);
    FindClose(rec);
  }
  return files;
}

void OpenActiveDictionaries(const String& ListFileName) {
  OpenActiveDictionaries(FileExists(ListFileName) || DirectoryExists(ListFileName) ? ReadDictListFile(ListFileName)
                                                                                     : DictionaryFilesInFolder());
}

void OpenActiveDictionaries(const std::vector<DPType>& Lines) {
  CloseDictionaries();
  for (DictRecordType& d : Dicts) d = DictRecordType{};
  for (String& a : ActiveDicts) a.clear();
  int count = 0;
  for (const DPType& line : Lines) {
    if (count == MaxActiveDicts) break;
    if (line.Flag != u"1" || line.Name.empty() || !FileExists(dictFileName(line.Name))) continue;
    sqlite3* db = OpenDictionaryFile(line.Name);
    if (!db) continue;
    DictRecordType& d = Dicts[count];
    ActiveDicts[count++] = line.Name;
    d.FileName = line.Name;
    d.Db = db;
    readProperties(db, line.Name, d);
    // A dictionary without a caption of its own (no properties at all, or
    // an empty one) is shown by its file name, so that its results tell
    // where they come from.
    if (d.Caption.empty()) d.Caption = UnicodeToUtf8(line.Name);
  }
  LastDictIndex = count - 1;
}

bool WordMatchesLanguages(const String& Languages, const String& Word) {
  const String upper = AnsiUpperCase(Word);
  for (int i = 0; i < AlphabetCount; ++i) {
    const TAlphabetEntry& e = AlphabetEntryType[i];
    const bool fits = std::all_of(upper.begin(), upper.end(), [&](char16_t c) {
      return c == u'_' || c == u'%' || e.Letters.find(c) != String::npos;
    });
    if (fits && !e.Language.empty() && Languages.find(e.Language) != String::npos) return true;
  }
  return false;
}

namespace {

// Whether Text is Russian: every blank-separated word of it is written in
// the alphabet named "ru" (a headword may have several words).
bool isRussian(const String& Text) {
  String letters;
  letters.reserve(Text.size());
  for (char16_t c : Text)
    if (c != u' ') letters += c;
  return WordMatchesLanguages(u"ru", letters);
}

}  // namespace

String FoldYo(const String& Word) {
  if (!isRussian(Word)) return Word;
  String w = Word;
  for (char16_t& c : w) {
    if (c == u'ё') c = u'е';
    else if (c == u'Ё') c = u'Е';
  }
  return w;
}

void CheckQuery(const String& Text) {
  QueryWordCount = 0;
  size_t i = 0;
  while (i < Text.size() && QueryWordCount < MaxQueryWords) {
    String word(1, Text[i++]);
    while (i < Text.size() && Text[i] != u' ') word += Text[i++];
    ++i;  // past the blank that ended it
    QueryWords[++QueryWordCount] = UnicodeToUtf8(word);
  }
  for (int k = QueryWordCount + 1; k <= MaxQueryWords; ++k) QueryWords[k].clear();
  if (QueryWordCount > 0) QueryWords[1] = UnicodeToUtf8(FoldYo(Utf8ToUnicode(QueryWords[1])));
}

namespace {

// Up to this many "Е" of a word are tried in both spellings when the index
// is read; "Ё" beyond them is matched by the folded comparison on the rows
// those few look-ups return. 2^3 look-ups at most, however long the word.
constexpr int kSpelledYe = 3;

// The ways of reading the index for a Russian word or pattern whose "Ё"
// were folded to "Е": the text before the first wildcard, with each of its
// first "Е" spelt "Е" and "Ё", cut before the first "Е" left unspelt.
// YoFirst orders the spellings as the index does; otherwise "Е" comes
// first at each place. Complete tells that every "Е" of the text was spelt.
struct TYeSpellings {
  std::vector<UTF8String> Prefixes;
  bool Complete = true;
};

TYeSpellings yeSpellings(const String& Fixed, bool YoFirst) {
  std::vector<size_t> places;
  size_t cut = Fixed.size();
  for (size_t i = 0; i < Fixed.size(); ++i) {
    if (Fixed[i] != u'Е') continue;
    if (int(places.size()) == kSpelledYe) {
      cut = i;
      break;
    }
    places.push_back(i);
  }
  TYeSpellings r;
  r.Complete = cut == Fixed.size();
  const char16_t first = YoFirst ? u'Ё' : u'Е', second = YoFirst ? u'Е' : u'Ё';
  const size_t n = places.size();
  for (size_t mask = 0; mask < (size_t(1) << n); ++mask) {
    String v = Fixed.substr(0, cut);
    // The first place is the most significant: the spellings come sorted.
    for (size_t k = 0; k < n; ++k) v[places[k]] = (mask >> (n - 1 - k)) & 1 ? second : first;
    r.Prefixes.push_back(UnicodeToUtf8(v));
  }
  return r;
}

bool hasWildcard(const String& w) { return w.find_first_of(u"%_") != String::npos; }

// The headword condition for a Russian word or pattern Folded (upper-cased,
// "Ё" folded) in which every "Ё" of a headword counts as "Е": one branch per
// spelling, each read from the index, joined by UNION ALL in the order of
// the spellings; Tail is appended to every branch. Parameters are numbered:
// ?1 the folded text, then one per spelling, then those of the tail from
// TailFrom on.
void addYeBranches(TSearchStatement& s, const UTF8String& Select, const String& Folded, bool Pattern, bool YoFirst,
                   const std::function<UTF8String(int TailFrom)>& Tail) {
  const String fixed = Pattern ? Folded.substr(0, Folded.find_first_of(u"%_")) : Folded;
  const TYeSpellings sp = yeSpellings(fixed, YoFirst);
  // An exact word spelt every way needs no folded comparison.
  const bool exact = !Pattern && sp.Complete;
  s.Params.push_back(UnicodeToUtf8(Folded));
  const int tailFrom = 2 + int(sp.Prefixes.size());
  const UTF8String tail = Tail(tailFrom);
  for (size_t k = 0; k < sp.Prefixes.size(); ++k) {
    const std::string n = std::to_string(k + 2);
    if (k > 0) s.SQL += " UNION ALL ";
    s.SQL += Select;
    if (exact) {
      s.SQL += " WHERE word=?" + n;
      s.Params.push_back(sp.Prefixes[k]);
    } else {
      // A pattern that starts with a wildcard has no prefix to read the
      // index by: its one branch reads every headword, as any such pattern.
      s.SQL += " WHERE word LIKE ?" + n + " AND replace(word, 'Ё', 'Е') LIKE ?1";
      s.Params.push_back(sp.Prefixes[k] + "%");
    }
    s.SQL += tail;
  }
}

}  // namespace

bool FoldsYe(const String& Upper) { return Upper.find(u'Е') != String::npos && isRussian(Upper); }

TSearchStatement BuildSearchStatement() {
  TSearchStatement s;
  const UTF8String& w = QueryWords[1];
  const bool join = QueryWordCount > 1;
  UTF8String select = "SELECT words.ROWID, words.word FROM words";
  if (join) select += ", descriptions";
  // An additional Russian word is looked for with every "Ё" of the article
  // and of the word counted as "Е", as the main word is: the word goes in
  // upper-cased and folded, the article text is folded as it is read.
  std::vector<UTF8String> additional;
  std::vector<bool> folded;
  for (int k = 2; k <= QueryWordCount; ++k) {
    const String upper = FoldYo(AnsiUpperCase(Utf8ToUnicode(QueryWords[k])));
    folded.push_back(FoldsYe(upper));
    additional.push_back("%" + (folded.back() ? UnicodeToUtf8(upper) : QueryWords[k]) + "%");
  }
  // The description conditions, numbered from First.
  auto tail = [&](int First) {
    UTF8String t;
    if (!join) return t;
    t = " AND words.ROWID=descriptions.ROWID";
    for (int k = 2; k <= QueryWordCount; ++k) {
      const std::string n = std::to_string(First + k - 2);
      t += folded[size_t(k - 2)] ? " AND replace(myUPPER(description), 'Ё', 'Е') LIKE ?" + n
                                 : " AND myUPPER(description) LIKE myUPPER(?" + n + ")";
    }
    return t;
  };
  auto tailParams = [&] { s.Params.insert(s.Params.end(), additional.begin(), additional.end()); };
  if (w == "%") {
    s.SQL = select + " WHERE words.ROWID>0" + tail(1);
  } else {
    const String upper = AnsiUpperCase(Utf8ToUnicode(w));
    const bool like = hasWildcard(upper);
    if (!FoldsYe(upper)) {
      s.SQL = select + (like ? " WHERE word LIKE ?1" : " WHERE word=?1") + tail(2);
      s.Params.push_back(UnicodeToUtf8(upper));
    } else {
      // The main word had its "Ё" folded to "Е", but a dictionary may store
      // any of them with "Ё": those are found too.
      addYeBranches(s, select, upper, like, false, tail);
    }
  }
  tailParams();
  return s;
}

TSearchStatement BuildCompletionStatement(const String& Prefix) {
  TSearchStatement s;
  const UTF8String select = "SELECT words.ROWID, words.word FROM words";
  if (!FoldsYe(Prefix)) {
    s.SQL = select + " WHERE word LIKE ?;";
    s.Params.push_back(UnicodeToUtf8(Prefix) + "%");
    return s;
  }
  // Russian headwords may be stored with "Ё" where the folded prefix has
  // "Е": all are listed, in the index's order.
  addYeBranches(s, select, Prefix + u"%", true, true, [](int) { return UTF8String(); });
  s.SQL += ";";
  return s;
}

namespace {

// Engine steps between two calls of the idle callback: a few hundred rows
// of an article search, well under a millisecond.
constexpr int kIdleSteps = 4000;

struct TIdleCall {
  const TIdleCallback* Idle;
  std::exception_ptr Raised;
};

int idleProgress(void* user) {
  auto* call = static_cast<TIdleCall*>(user);
  try {
    return (*call->Idle)() ? 1 : 0;
  } catch (...) {
    // Carried past the engine and raised again once the statement ends.
    call->Raised = std::current_exception();
    return 1;
  }
}

}  // namespace

int RunSearchStatement(sqlite3* Db, const TSearchStatement& Statement, const TRowCallback& Row,
                       const TIdleCallback& Idle) {
  if (!Db) return SQLITE_MISUSE;
  sqlite3_stmt* raw = nullptr;
  int rc = sqlite3_prepare_v2(Db, Statement.SQL.c_str(), -1, &raw, nullptr);
  // Finalised however the rows end, a handler's exception included.
  const std::unique_ptr<sqlite3_stmt, int (*)(sqlite3_stmt*)> st(raw, sqlite3_finalize);
  if (rc != SQLITE_OK || !st) return rc;
  for (size_t i = 0; i < Statement.Params.size(); ++i) {
    const UTF8String& p = Statement.Params[i];
    rc = sqlite3_bind_text(st.get(), int(i + 1), p.data(), int(std::min<size_t>(p.size(), INT_MAX)),
                           SQLITE_TRANSIENT);
    if (rc != SQLITE_OK) return rc;
  }
  TIdleCall idle{&Idle, nullptr};
  {
    // The handler goes with the statement (it belongs to the connection).
    struct TIdleHandler {
      sqlite3* Db;
      ~TIdleHandler() {
        if (Db) sqlite3_progress_handler(Db, 0, nullptr, nullptr);
      }
    } handler{Idle ? Db : nullptr};
    if (Idle) sqlite3_progress_handler(Db, kIdleSteps, idleProgress, &idle);
    while ((rc = sqlite3_step(st.get())) == SQLITE_ROW) {
      const auto* word = reinterpret_cast<const char*>(sqlite3_column_text(st.get(), 1));
      const int bytes = sqlite3_column_bytes(st.get(), 1);
      if (Row(sqlite3_column_int64(st.get(), 0), word ? word : "", bytes)) {
        rc = SQLITE_ABORT;
        break;
      }
    }
  }
  if (idle.Raised) std::rethrow_exception(idle.Raised);
  return rc;
}

void RegisterMyUpper(sqlite3* Db) {
  if (Db) sqlite3_create_function(Db, "myUPPER", 1, SQLITE_UTF8, nullptr, myUpperFunction, nullptr, nullptr);
}
