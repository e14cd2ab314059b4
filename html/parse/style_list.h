#pragma once
// A document's style rules (sorted by rule key) and the stack of computed
// element styles that the cascade reads while a document is built.
#include <memory>
#include <unordered_map>
#include <vector>

#include "html/parse/style_model.h"
#include "platform/core/object.h"
#include "platform/graphics/colors.h"

class TLinkFontStates;

// The sets of the open elements, bottom ("default") first; owns them.
class TPropStack : public TObject {
public:
  ~TPropStack() override;
  int Count() const { return int(FItems.size()); }
  TProperties* GetProp(int index) const;
  TProperties* Last() const;
  TProperties* Add(std::unique_ptr<TProperties> props);
  // A new set for this stack; made in the place of one the stack freed
  // before when there is one (elements open and close all the time).
  std::unique_ptr<TProperties> NewProp();
  // A new set for this stack that is a copy of source as computed.
  std::unique_ptr<TProperties> NewCopy(const TProperties& source);
  // Inserting or deleting below the top gives the sets above other
  // ancestors: they lose their place among the kept sets.
  TProperties* Insert(int index, std::unique_ptr<TProperties> props);
  void Delete(int index);
  // Removes an entry and hands it over (Delete keeps it for reuse).
  std::unique_ptr<TProperties> Take(int index);
  // Keeps a set no longer used for NewProp and NewCopy.
  void Recycle(std::unique_ptr<TProperties> props);
  void Clear() { FItems.clear(); }

  // Position in the main source of the character being read (maintained
  // by the HTML reader; the document model stamps what it adds with it).
  int SIndex = 0;

private:
  void forgetSharesFrom(int index);
  std::vector<std::unique_ptr<TProperties>> FItems;
  std::vector<std::unique_ptr<TProperties>> FSpare;  // freed by Delete, for NewProp
};

// Rule keys (lower case) with the declarations of each rule. Keys compare
// ordinally ignoring the case of A to Z, for sorting and searching alike;
// equal keys keep their order of addition.
class TStyleList : public TObject {
public:
  TStyleList();
  ~TStyleList() override;

  void Initialize(const String& fontName, const String& preFontName, int pointSize, TColor color,
                  TColor linkColor, TColor visitedColor, TColor hoverColor, bool linkUnderline,
                  int charSet, int marginHeight, int marginWidth);
  // important: the declaration was marked "!important" and outranks
  // normal declarations of any rule when the cascade merges.
  void AddDeclaration(const String& key, const String& propertyName, const String& value,
                      bool important = false);
  TProperties* AddCopy(const String& key, const TProperties& props);
  // The next rule sequence number as fixed-width decimal text, so that the
  // text order of keys is the numeric order of their rules.
  String NextSequence();
  void SetLinkColor(const String& state, TColor color);
  virtual void SetHoverRulesPresent(bool) {}

  // The rules that may apply to an element of this tag, class, id and
  // pseudo-class, looked up once per combination (until rules are added).
  // The reference holds until the next call.
  struct TRuleMatch;
  const TRuleMatch& RulesFor(const String& tag, const String& cls, const String& id,
                             const String& pseudo);
  // Whether any rule may apply to such an element.
  bool HasRulesFor(const String& tag, const String& cls, const String& id, const String& pseudo);

  // Changes whenever the rules, or anything else the cascade reads with
  // them, change: what was computed with an older version is stale.
  unsigned Version() const { return FVersion; }
  // Whether any rule names an id (an element's id matters to none if not).
  bool HasIdRules() const { return FHasIdRules; }

  // Font states of links worked out by the cascade, kept while the rules
  // stay as they are.
  TLinkFontStates& LinkFontStates();
  void ForgetLinkFontStates();

  // First index of key (true) or where it would be inserted (false).
  bool Find(const String& key, int& index) const;
  int Count() const {
    mergePending();
    return int(FItems.size());
  }
  const String& Strings(int index) const {
    mergePending();
    return FItems[size_t(index)].Key;
  }
  TProperties* Objects(int index) const {
    mergePending();
    return FItems[size_t(index)].Props.get();
  }
  // The first rule stored under key (ignoring case), or nullptr.
  TProperties* FindRule(const String& key) const;
  virtual int AddObject(const String& key, std::unique_ptr<TProperties> props);
  virtual void Clear();
  TProperties* DefProp() const { return FDefProp; }
  // Property stack that new rule sets record (the document's own stack).
  TPropStack* PropStack() const { return FPropStack; }
  void SetPropStack(TPropStack* stack) { FPropStack = stack; }

private:
  struct Item {
    String Key;
    std::unique_ptr<TProperties> Props;
  };
  TProperties* newRule(const String& key);
  void mergePending() const;
  mutable std::vector<Item> FItems;
  mutable std::vector<Item> FPending;
  std::unordered_map<String, TProperties*> FFirstByKey;  // lower-cased key
  std::unordered_map<String, std::unique_ptr<TRuleMatch>> FMatches;
  String FMatchKey;  // kept for its capacity
  std::unique_ptr<TLinkFontStates> FLinkStates;
  int FSeqNo = 10;
  unsigned FVersion = 0;
  bool FHasIdRules = false;
  TProperties* FDefProp = nullptr;
  TPropStack* FPropStack = nullptr;
};

// Canonical key of a compound selector (tag, then classes, pseudo-classes
// and ids, each kind in alphabetical order).
String CanonicalSelectorKey(const String& selector);
// The rule key of a trimmed, lower-cased selector; empty when the selector
// cannot be stored (too many ancestor levels). Selectors with ancestors
// take the list's next sequence number.
String SelectorRuleKey(const String& selector, TStyleList& styles);
// The most ancestor levels one selector may name.
constexpr int MaxSelectorAncestors = 8;
