#include "platform/core/string_list.h"

#include <algorithm>
#include <numeric>

#include "platform/core/codepage.h"
#include "platform/core/exception.h"
#include "platform/core/lists.h"
#include "platform/core/streams.h"
#include "platform/core/strings.h"

// ---- TStrings

namespace {

// Runs body with the list in its updating state, ending it also when body
// throws (the list's change events then fire once, at the end).
template <typename Body>
void withUpdate(TStrings& list, Body body) {
  list.BeginUpdate();
  try {
    body();
  } catch (...) {
    list.EndUpdate();
    throw;
  }
  list.EndUpdate();
}

}  // namespace

int TStrings::Add(const String& s) {
  const int index = Count();
  Insert(index, s);
  return index;
}

int TStrings::AddObject(const String& s, TObject* object) {
  const int index = Add(s);
  PutObject(index, object);
  return index;
}

void TStrings::AddStrings(const TStrings& strings) {
  withUpdate(*this, [&] {
    for (int i = 0; i < strings.Count(); ++i) AddObject(strings.Get(i), strings.GetObject(i));
  });
}

void TStrings::Assign(const TStrings& source) {
  if (&source == this) return;
  withUpdate(*this, [&] {
    Clear();
    FNameValueSeparator = source.FNameValueSeparator;
    AddStrings(source);
  });
}

void TStrings::InsertObject(int index, const String& s, TObject* object) {
  Insert(index, s);
  PutObject(index, object);
}

void TStrings::Put(int index, const String& s) {
  TObject* object = GetObject(index);
  Delete(index);
  InsertObject(index, s, object);
}

TObject* TStrings::GetObject(int) const { return nullptr; }

void TStrings::PutObject(int, TObject*) {}

void TStrings::Exchange(int index1, int index2) {
  const String s1 = Get(index1), s2 = Get(index2);
  TObject* o1 = GetObject(index1);
  TObject* o2 = GetObject(index2);
  Put(index1, s2);
  PutObject(index1, o2);
  Put(index2, s1);
  PutObject(index2, o1);
}

void TStrings::Move(int curIndex, int newIndex) {
  if (curIndex == newIndex) return;
  const String s = Get(curIndex);
  TObject* object = GetObject(curIndex);
  Delete(curIndex);
  InsertObject(newIndex, s, object);
}

int TStrings::CompareStrings(const String& a, const String& b) const {
  return FCaseSensitive ? AnsiCompareStr(a, b) : AnsiCompareText(a, b);
}

int TStrings::IndexOf(const String& s) const {
  for (int i = 0; i < Count(); ++i)
    if (CompareStrings(Get(i), s) == 0) return i;
  return -1;
}

int TStrings::IndexOfName(const String& name) const {
  for (int i = 0; i < Count(); ++i) {
    const String line = Get(i);
    const size_t at = line.find(FNameValueSeparator);
    if (at != String::npos && CompareStrings(line.substr(0, at), name) == 0) return i;
  }
  return -1;
}

int TStrings::IndexOfObject(TObject* object) const {
  for (int i = 0; i < Count(); ++i)
    if (GetObject(i) == object) return i;
  return -1;
}

String TStrings::Names(int index) const {
  const String line = Get(index);
  const size_t at = line.find(FNameValueSeparator);
  return at == String::npos ? String() : line.substr(0, at);
}

String TStrings::ValueFromIndex(int index) const {
  const String line = Get(index);
  const size_t at = line.find(FNameValueSeparator);
  return at == String::npos ? String() : line.substr(at + 1);
}

String TStrings::Values(const String& name) const {
  const int index = IndexOfName(name);
  return index < 0 ? String() : ValueFromIndex(index);
}

void TStrings::SetValues(const String& name, const String& value) {
  const int index = IndexOfName(name);
  if (value.empty()) {
    if (index >= 0) Delete(index);
    return;
  }
  const String line = name + FNameValueSeparator + value;
  if (index < 0)
    Add(line);
  else
    Put(index, line);
}

String TStrings::Text() const {
  String out;
  for (int i = 0; i < Count(); ++i) {
    out += Get(i);
    out += u"\r\n";
  }
  return out;
}

void TStrings::SetText(const String& text) {
  withUpdate(*this, [&] {
    Clear();
    size_t i = 0;
    const size_t n = text.size();
    while (i < n) {
      size_t j = i;
      while (j < n && text[j] != u'\r' && text[j] != u'\n') ++j;
      Add(text.substr(i, j - i));
      if (j < n && text[j] == u'\r') ++j;
      if (j < n && text[j] == u'\n') ++j;
      i = j;
    }
  });
}

String TStrings::CommaText() const {
  String out;
  for (int i = 0; i < Count(); ++i) {
    const String s = Get(i);
    const bool quote = s.empty() || std::any_of(s.begin(), s.end(), [](char16_t c) {
                         return c <= u' ' || c == u',' || c == u'"';
                       });
    if (i > 0) out += u',';
    out += quote ? AnsiQuotedStr(s, u'"') : s;
  }
  return out;
}

void TStrings::SetCommaText(const String& text) {
  withUpdate(*this, [&] {
    Clear();
    size_t i = 0;
    const size_t n = text.size();
    auto skipBlanks = [&] {
      while (i < n && text[i] <= u' ') ++i;
    };
    skipBlanks();
    while (i < n) {
      String item;
      if (text[i] == u'"') {
        ++i;
        while (i < n) {
          if (text[i] == u'"') {
            if (i + 1 < n && text[i + 1] == u'"') {
              item += u'"';
              i += 2;
              continue;
            }
            ++i;
            break;
          }
          item += text[i++];
        }
      } else {
        while (i < n && text[i] > u' ' && text[i] != u',') item += text[i++];
      }
      Add(item);
      skipBlanks();
      if (i < n && text[i] == u',') {
        ++i;
        skipBlanks();
        if (i >= n) Add(String());  // a trailing comma ends an empty item
      }
    }
  });
}

void TStrings::BeginUpdate() {
  if (FUpdateCount++ == 0) SetUpdateState(true);
}

void TStrings::EndUpdate() {
  if (FUpdateCount > 0 && --FUpdateCount == 0) SetUpdateState(false);
}

void TStrings::SetUpdateState(bool) {}

void TStrings::LoadFromFile(const String& fileName) {
  TFileStream stream(fileName, fmOpenRead | fmShareDenyWrite);
  LoadFromStream(&stream);
}

void TStrings::LoadFromStream(TStream* stream) {
  const std::int64_t size = stream->Size() - stream->Position();
  RawByteString bytes(size_t(std::max<std::int64_t>(size, 0)), '\0');
  bytes.resize(size_t(stream->Read(bytes.data(), std::int64_t(bytes.size()))));
  const auto* b = reinterpret_cast<const unsigned char*>(bytes.data());
  if (bytes.size() >= 2 && b[0] == 0xFF && b[1] == 0xFE) {
    FEncoding = teUTF16LE;
    SetText(CodePageToUnicode(CP_UTF16LE, bytes.data() + 2, bytes.size() - 2));
  } else if (bytes.size() >= 2 && b[0] == 0xFE && b[1] == 0xFF) {
    FEncoding = teUTF16BE;
    SetText(CodePageToUnicode(CP_UTF16BE, bytes.data() + 2, bytes.size() - 2));
  } else {
    FEncoding = teUTF8;
    const size_t skip = (bytes.size() >= 3 && b[0] == 0xEF && b[1] == 0xBB && b[2] == 0xBF) ? 3 : 0;
    SetText(UTF8ToUTF16(bytes.substr(skip)));
  }
}

void TStrings::SaveToFile(const String& fileName) {
  TFileStream stream(fileName, fmCreate);
  SaveToStream(&stream);
}

void TStrings::SaveToStream(TStream* stream) {
  RawByteString bytes;
  switch (FEncoding) {
    case teUTF8:
      bytes = UTF16ToUTF8(Text());
      break;
    case teUTF16LE:
      bytes = "\xFF\xFE" + UnicodeToCodePage(CP_UTF16LE, Text());
      break;
    case teUTF16BE:
      bytes = "\xFE\xFF" + UnicodeToCodePage(CP_UTF16BE, Text());
      break;
  }
  stream->WriteBuffer(bytes.data(), std::int64_t(bytes.size()));
}

// ---- TStringList

TStringList::~TStringList() {
  OnChange = nullptr;
  OnChanging = nullptr;
  if (FOwnsObjects)
    for (TStringItem& item : FList) delete item.FObject;
}

void TStringList::check(int index) const {
  if (index < 0 || index >= Count()) RaiseListIndexError(index);
}

String TStringList::Get(int index) const {
  check(index);
  return FList[size_t(index)].FString;
}

TObject* TStringList::GetObject(int index) const {
  check(index);
  return FList[size_t(index)].FObject;
}

void TStringList::Put(int index, const String& s) {
  if (FSorted) throw EListError("Operation not allowed on sorted list");
  check(index);
  Changing();
  FList[size_t(index)].FString = s;
  Changed();
}

void TStringList::PutObject(int index, TObject* object) {
  check(index);
  Changing();
  FList[size_t(index)].FObject = object;
  Changed();
}

int TStringList::Add(const String& s) { return AddObject(s, nullptr); }

int TStringList::AddObject(const String& s, TObject* object) {
  int index = Count();
  if (FSorted && Find(s, index)) {
    if (FDuplicates == dupIgnore) return index;
    if (FDuplicates == dupError) throw EListError("String list does not allow duplicates");
  }
  InsertItem(index, s, object);
  return index;
}

void TStringList::Insert(int index, const String& s) {
  if (FSorted) throw EListError("Operation not allowed on sorted list");
  if (index < 0 || index > Count()) RaiseListIndexError(index);
  InsertItem(index, s, nullptr);
}

void TStringList::InsertItem(int index, const String& s, TObject* object) {
  Changing();
  FList.insert(FList.begin() + index, TStringItem{s, object});
  Changed();
}

void TStringList::Delete(int index) {
  check(index);
  Changing();
  TObject* object = FList[size_t(index)].FObject;
  FList.erase(FList.begin() + index);
  if (FOwnsObjects) delete object;
  Changed();
}

void TStringList::Clear() {
  if (FList.empty()) return;
  Changing();
  std::vector<TStringItem> old;
  old.swap(FList);
  if (FOwnsObjects)
    for (TStringItem& item : old) delete item.FObject;
  Changed();
}

void TStringList::Exchange(int index1, int index2) {
  check(index1);
  check(index2);
  Changing();
  std::swap(FList[size_t(index1)], FList[size_t(index2)]);
  Changed();
}

int TStringList::IndexOf(const String& s) const {
  if (!FSorted) return TStrings::IndexOf(s);
  int index = -1;
  return Find(s, index) ? index : -1;
}

bool TStringList::Find(const String& s, int& index) const {
  // Lower bound, so that with duplicates the first match is found.
  int lo = 0, hi = Count();
  while (lo < hi) {
    const int mid = lo + (hi - lo) / 2;
    if (CompareStrings(FList[size_t(mid)].FString, s) < 0)
      lo = mid + 1;
    else
      hi = mid;
  }
  index = lo;
  return lo < Count() && CompareStrings(FList[size_t(lo)].FString, s) == 0;
}

void TStringList::Sort() {
  CustomSort([](TStringList* list, int a, int b) {
    return list->CompareStrings(list->FList[size_t(a)].FString, list->FList[size_t(b)].FString);
  });
}

void TStringList::CustomSort(const TStringListSortCompare& compare) {
  if (!compare || Count() < 2) return;
  Changing();
  // Sort a permutation, so the compare function sees the items at their
  // current indexes throughout.
  std::vector<int> order(FList.size());
  std::iota(order.begin(), order.end(), 0);
  std::stable_sort(order.begin(), order.end(), [&](int a, int b) { return compare(this, a, b) < 0; });
  std::vector<TStringItem> sorted;
  sorted.reserve(FList.size());
  for (int i : order) sorted.push_back(std::move(FList[size_t(i)]));
  FList.swap(sorted);
  Changed();
}

void TStringList::SetSorted(bool value) {
  if (value == FSorted) return;
  if (value) Sort();
  FSorted = value;
}

void TStringList::SetCaseSensitive(bool value) {
  if (value == CaseSensitive()) return;
  TStrings::SetCaseSensitive(value);
  if (FSorted) Sort();
}

void TStringList::SetUpdateState(bool updating) {
  if (updating)
    Changing();
  else
    Changed();
}

void TStringList::Changing() {
  if (UpdateCount() == 0 && OnChanging) OnChanging(this);
}

void TStringList::Changed() {
  if (UpdateCount() == 0 && OnChange) OnChange(this);
}
