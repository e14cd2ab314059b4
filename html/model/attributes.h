#pragma once
// Values the HTML reader hands to the document: the owning list, one tag's
// attributes with their look-ups, the link record of a hyperlink and the
// declared width (pixels, percent or relative) of tables, cells and images.
#include <cstdint>
#include <iterator>
#include <memory>
#include <vector>

#include "html/model/small_list.h"
#include "html/parse/html_symbols.h"
#include "platform/core/lists.h"
#include "platform/core/object.h"
#include "platform/core/string_list.h"
#include "platform/core/types.h"

class TProperties;

// A list that owns its items: deleting or clearing frees them, Extract
// hands one back without freeing it. This kind is never a base to delete
// through and keeps no table of virtual functions (a section's font runs:
// a pointer less in every section); TFreeList below is.
template <typename T>
class TOwningList {
public:
  TOwningList() = default;
  TOwningList(const TOwningList&) = delete;
  TOwningList& operator=(const TOwningList&) = delete;

  int Count() const { return static_cast<int>(FItems.size()); }
  T* Items(int index) const {
    checkIndex(index);
    return FItems[static_cast<std::size_t>(index)].get();
  }
  T* operator[](int index) const { return Items(index); }
  T* First() const { return FItems.empty() ? nullptr : FItems.front().get(); }
  T* Last() const { return FItems.empty() ? nullptr : FItems.back().get(); }

  T* Add(std::unique_ptr<T> item) {
    FItems.push_back(std::move(item));
    return FItems.back().get();
  }
  T* Insert(int index, std::unique_ptr<T> item) {
    if (index < 0 || index > Count()) RaiseListIndexError(index);
    return FItems.insert(FItems.begin() + index, std::move(item))->get();
  }
  void Delete(int index) {
    checkIndex(index);
    FItems.erase(FItems.begin() + index);
  }
  std::unique_ptr<T> Extract(int index) {
    checkIndex(index);
    std::unique_ptr<T> item = std::move(FItems[static_cast<std::size_t>(index)]);
    FItems.erase(FItems.begin() + index);
    return item;
  }
  int IndexOf(const T* item) const {
    for (std::size_t i = 0; i < FItems.size(); ++i)
      if (FItems[i].get() == item) return static_cast<int>(i);
    return -1;
  }
  void Clear() { FItems.clear(); }
  void Reserve(int count) { FItems.reserve(static_cast<std::size_t>(count)); }
  // Gives back the room the list grew beyond its items (a list that is complete).
  void ShrinkToFit() { FItems.shrink_to_fit(); }

  auto begin() const { return FItems.begin(); }
  auto end() const { return FItems.end(); }

protected:
  // Most lists of a page's layout (the content of a table cell, the runs
  // of a section) hold one item: it takes no heap block of its own.
  TSmallList<std::unique_ptr<T>> FItems;

private:
  void checkIndex(int index) const {
    if (index < 0 || index >= Count()) RaiseListIndexError(index);
  }
};

// The owning list that kinds of lists derive from: freed through the base
// and cleared through Clear of the kind.
template <typename T>
class TFreeList : public TOwningList<T> {
public:
  virtual ~TFreeList() = default;
  virtual void Clear() { TOwningList<T>::Clear(); }
};

enum TWidthType : std::uint8_t { wtNone = 0, wtAbsolute = 1, wtPercent = 2, wtRelative = 3 };

// A width: pixels, a percentage in tenths of a percent, or a relative weight.
struct TWidthSpec {
  std::int32_t Value = 0;
  TWidthType VType = wtNone;
  bool operator==(const TWidthSpec&) const = default;
};

TWidthSpec MakeWidthSpec(std::int32_t value, TWidthType vtype);
// "%" in the text: a percentage (at most 100, stored times 10); "*": a
// relative weight; otherwise pixels.
TWidthSpec WidthSpecFromText(std::int32_t value, const String& text);

// One attribute of a tag.
class TAttribute : public TObject {
public:
  TAttribute(THtmlSymbol symbol, double dblValue, const String& name, const String& text, int codePage);

  THtmlSymbol Symbol;
  String Name;
  std::int32_t Value;  // DblValue truncated toward zero
  double DblValue;     // 0 when the text is not a number
  String Text;
  std::int32_t CodePage;  // code page in force when the attribute was read
};

// The attributes of one tag, in source order.
class TAttributeList : public TFreeList<TAttribute> {
public:
  TAttributeList();
  ~TAttributeList() override;

  // The first attribute with the symbol; T is left alone when there is none.
  bool Find(THtmlSymbol symbol, TAttribute*& T) const;
  TAttribute* GetAttribute(int index) const { return Items(index); }
  // A new list of "name=value" lines in list order, owned by the caller.
  std::unique_ptr<TStringList> CreateStringList() const;
  // The CLASS value trimmed and lower-cased; several names are put into
  // the order in which the style list keys class selectors.
  String GetClass() const;
  // Characters GetClass has read or copied since the list was made: a
  // class of many words costs its length, not its length per word (the
  // tests count it).
  uint64_t ClassSteps() const { return FClassSteps; }
  // The ID lower-cased, cached until Clear.
  String GetID();
  String GetTitle() const;
  // The STYLE attribute as properties, owned by the list (a later call
  // frees the earlier result); nullptr without STYLE.
  TProperties* GetStyle();
  TProperties* Prop() const { return FProp.get(); }
  // Frees the attributes and forgets the cached ID; Prop survives.
  void Clear() override;
  // Adds an attribute made from these values; the attributes of the tag
  // read before (cleared since) are made again in place, their text
  // buffers included.
  TAttribute* AddValues(THtmlSymbol symbol, double dblValue, const String& name, const String& text,
                        int codePage);

private:
  std::unique_ptr<TProperties> FProp;
  String FSaveID;
  std::vector<std::unique_ptr<TAttribute>> FSpare;
  // The last STYLE text read and its properties: pages repeat the same
  // STYLE attributes over and over.
  String FStyleText;
  std::unique_ptr<TProperties> FStyleRead;
  mutable uint64_t FClassSteps = 0;
};

// Link IDs are handed out from here, starting at 10, never reused.
extern std::int32_t LinkIDCounter;

// The link record of one hyperlink.
class TUrlTarget : public TObject {
public:
  TUrlTarget() = default;

  // A new link: its own ID, the start position and the attributes of its
  // tag as "name=value" lines, each ended by CR LF.
  void Assign(const String& url, const String& target, const TAttributeList* L, std::int32_t start);
  void Copy(const TUrlTarget& UT);
  void Clear();
  // Sets Last here and on the trailing runs of List that belong to this
  // link.
  template <typename List>
  void SetLast(const List& list, std::int32_t last) {
    Last = last;
    for (auto it = std::rbegin(list); it != std::rend(list); ++it) {
      auto& item = *it;
      // A text run reads its record through UrlTarget() and shares one
      // empty record until it has its own.
      if constexpr (requires { item->OwnUrlTarget(); }) {
        const auto* target = item->UrlTarget();
        if (!target || target->ID != ID) break;
        item->OwnUrlTarget()->Last = last;
      } else {
        const auto& target = item->UrlTarget;
        if (!target || target->ID != ID) break;
        target->Last = last;
      }
    }
  }

  String URL;
  String Target;
  std::int32_t ID = 0;
  String Attr;
  std::int32_t Start = -1;
  std::int32_t Last = -1;
  std::int32_t TabIndex = 0;
};
