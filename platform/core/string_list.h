#pragma once
// TStrings and TStringList: lists of text lines, each with an optional
// object pointer, with "name=value" access, whole-text and file I/O.
#include <functional>
#include <vector>

#include "platform/core/object.h"
#include "platform/core/types.h"

class TStream;

// Encodings for text files: UTF-8 stands in for the legacy ANSI code page;
// UTF-16 files carry a byte-order mark.
enum TTextEncoding { teUTF8, teUTF16LE, teUTF16BE };

class TStrings : public TObject {
public:
  TStrings() = default;

  virtual int Count() const = 0;
  String Strings(int index) const { return Get(index); }
  void SetStrings(int index, const String& s) { Put(index, s); }
  String operator[](int index) const { return Get(index); }
  TObject* Objects(int index) const { return GetObject(index); }
  void SetObjects(int index, TObject* object) { PutObject(index, object); }

  virtual int Add(const String& s);
  virtual int AddObject(const String& s, TObject* object);
  void Append(const String& s) { Add(s); }
  void AddStrings(const TStrings& strings);
  // Replaces the content (strings and objects) by a copy of source's.
  virtual void Assign(const TStrings& source);
  virtual void Insert(int index, const String& s) = 0;
  void InsertObject(int index, const String& s, TObject* object);
  virtual void Delete(int index) = 0;
  virtual void Clear() = 0;
  virtual void Exchange(int index1, int index2);
  virtual void Move(int curIndex, int newIndex);

  // Index of the first line equal to s (CompareStrings), or -1.
  virtual int IndexOf(const String& s) const;
  // Index of the first "name=value" line with that name, or -1.
  int IndexOfName(const String& name) const;
  int IndexOfObject(TObject* object) const;

  // "name=value" lines. Names(i) is "" for a line without the separator.
  // SetValues with an empty value deletes the line; with a new name it
  // appends "name=value".
  String Names(int index) const;
  String Values(const String& name) const;
  void SetValues(const String& name, const String& value);
  String ValueFromIndex(int index) const;
  char16_t NameValueSeparator() const { return FNameValueSeparator; }
  void SetNameValueSeparator(char16_t c) { FNameValueSeparator = c; }

  // Every line followed by CR LF. SetText splits at CR LF, LF or CR.
  String Text() const;
  virtual void SetText(const String& text);
  // Lines joined by commas; lines holding blanks, commas or quotes are
  // written in double quotes (inner quotes doubled). SetCommaText reads
  // the same form back.
  String CommaText() const;
  void SetCommaText(const String& text);

  // While the update count is above zero a list may defer its change
  // notifications.
  void BeginUpdate();
  void EndUpdate();
  int UpdateCount() const { return FUpdateCount; }

  // Text files: a byte-order mark selects UTF-8, UTF-16LE or UTF-16BE;
  // without one the bytes are UTF-8. The encoding found is kept and used
  // by the next save (UTF-16 is written with its byte-order mark). A file
  // that cannot be opened raises EFOpenError.
  void LoadFromFile(const String& fileName);
  void LoadFromStream(TStream* stream);
  void SaveToFile(const String& fileName);
  void SaveToStream(TStream* stream);
  TTextEncoding Encoding() const { return FEncoding; }
  void SetEncoding(TTextEncoding value) { FEncoding = value; }

  // Line comparison used by IndexOf (and by sorted lists): the full case
  // rules unless CaseSensitive. <0, 0, >0.
  virtual int CompareStrings(const String& a, const String& b) const;
  bool CaseSensitive() const { return FCaseSensitive; }
  virtual void SetCaseSensitive(bool value) { FCaseSensitive = value; }

protected:
  virtual String Get(int index) const = 0;
  virtual void Put(int index, const String& s);
  virtual TObject* GetObject(int index) const;
  virtual void PutObject(int index, TObject* object);
  virtual void SetUpdateState(bool updating);

private:
  char16_t FNameValueSeparator = u'=';
  int FUpdateCount = 0;
  TTextEncoding FEncoding = teUTF8;
  bool FCaseSensitive = false;
};

enum TDuplicates { dupIgnore, dupAccept, dupError };

class TStringList : public TStrings {
public:
  using TStringListSortCompare = std::function<int(TStringList* List, int Index1, int Index2)>;

  TStringList() = default;
  explicit TStringList(bool ownsObjects) : FOwnsObjects(ownsObjects) {}
  ~TStringList() override;

  int Count() const override { return int(FList.size()); }
  int Add(const String& s) override;
  int AddObject(const String& s, TObject* object) override;
  // Raises EListError "Operation not allowed on sorted list" when sorted.
  void Insert(int index, const String& s) override;
  void Delete(int index) override;
  void Clear() override;
  void Exchange(int index1, int index2) override;
  int IndexOf(const String& s) const override;

  // Binary search of a sorted list: true when found; index is the match
  // or the place where s would be inserted.
  bool Find(const String& s, int& index) const;
  virtual void Sort();
  void CustomSort(const TStringListSortCompare& compare);

  bool Sorted() const { return FSorted; }
  void SetSorted(bool value);
  TDuplicates Duplicates() const { return FDuplicates; }
  void SetDuplicates(TDuplicates value) { FDuplicates = value; }
  void SetCaseSensitive(bool value) override;
  // An owning list frees the objects of deleted lines and its own.
  bool OwnsObjects() const { return FOwnsObjects; }
  void SetOwnsObjects(bool value) { FOwnsObjects = value; }

  TNotifyEvent OnChange;
  TNotifyEvent OnChanging;

protected:
  String Get(int index) const override;
  void Put(int index, const String& s) override;
  TObject* GetObject(int index) const override;
  void PutObject(int index, TObject* object) override;
  void SetUpdateState(bool updating) override;
  virtual void Changed();
  virtual void Changing();
  void InsertItem(int index, const String& s, TObject* object);

private:
  struct TStringItem {
    String FString;
    TObject* FObject = nullptr;
  };
  void check(int index) const;

  std::vector<TStringItem> FList;
  bool FSorted = false;
  TDuplicates FDuplicates = dupIgnore;
  bool FOwnsObjects = false;
};
