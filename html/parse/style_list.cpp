#include "html/parse/style_list.h"

#include <algorithm>

#include "html/parse/style_colors.h"
#include "html/parse/style_fonts.h"
#include "html/parse/style_text.h"
#include "platform/core/exception.h"
#include "platform/core/strings.h"

using namespace styletext;
using namespace std::string_view_literals;

// ---------------------------------------------------------------- TPropStack

TPropStack::~TPropStack() = default;

TProperties* TPropStack::GetProp(int index) const {
  TAMRIX_ASSERT(index >= 0 && index < Count(), "property stack index out of range");
  return FItems[size_t(index)].get();
}

TProperties* TPropStack::Last() const { return FItems.empty() ? nullptr : FItems.back().get(); }

TProperties* TPropStack::Add(std::unique_ptr<TProperties> props) {
  FItems.push_back(std::move(props));
  return FItems.back().get();
}

TProperties* TPropStack::Insert(int index, std::unique_ptr<TProperties> props) {
  TAMRIX_ASSERT(index >= 0 && index <= Count(), "property stack index out of range");
  TProperties* added = FItems.insert(FItems.begin() + index, std::move(props))->get();
  forgetSharesFrom(index + 1);
  return added;
}

void TPropStack::Delete(int index) { Recycle(Take(index)); }

std::unique_ptr<TProperties> TPropStack::Take(int index) {
  TAMRIX_ASSERT(index >= 0 && index < Count(), "property stack index out of range");
  std::unique_ptr<TProperties> gone = std::move(FItems[size_t(index)]);
  FItems.erase(FItems.begin() + index);
  forgetSharesFrom(index);
  return gone;
}

void TPropStack::Recycle(std::unique_ptr<TProperties> props) {
  if (FSpare.size() < 16) FSpare.push_back(std::move(props));
}

void TPropStack::forgetSharesFrom(int index) {
  for (size_t i = size_t(index); i < FItems.size(); ++i) FItems[i]->FShare.reset();
}

std::unique_ptr<TProperties> TPropStack::NewProp() {
  if (FSpare.empty()) return TProperties::CreateInStack(this);
  std::unique_ptr<TProperties> props = std::move(FSpare.back());
  FSpare.pop_back();
  props->Renew(this);
  return props;
}

std::unique_ptr<TProperties> TPropStack::NewCopy(const TProperties& source) {
  if (FSpare.empty()) {
    auto props = TProperties::CreateInStack(this);
    props->CopyComputed(source);
    return props;
  }
  // CopyComputed sets every field: the spare needs no renewal first.
  std::unique_ptr<TProperties> props = std::move(FSpare.back());
  FSpare.pop_back();
  props->CopyComputed(source);
  props->FPropStack = this;
  return props;
}

// ---------------------------------------------------------------- selector keys

namespace {

bool isSelectorNameChar(char16_t c) {
  return c == u'-' || c == u'_' || isDigit(c) || (c >= u'a' && c <= u'z') || c >= 0x80;
}

struct SimpleParts {
  String Tag;
  std::vector<String> Classes, Pseudos, Ids;
};

SimpleParts splitSimple(std::u16string_view s) {
  SimpleParts r;
  size_t i = 0;
  while (i < s.size()) {
    const char16_t kind = s[i];
    const bool marked = kind == u'.' || kind == u':' || kind == u'#';
    size_t j = marked ? i + 1 : i;
    while (j < s.size() && isSelectorNameChar(s[j])) ++j;
    if (j == i) {  // a character that starts no part
      ++i;
      continue;
    }
    const String name(s.substr(marked ? i + 1 : i, j - (marked ? i + 1 : i)));
    if (kind == u'.') r.Classes.push_back(name);
    else if (kind == u':') r.Pseudos.push_back(name);
    else if (kind == u'#') r.Ids.push_back(name);
    else r.Tag += name;
    i = j;
  }
  return r;
}

String joined(const std::vector<String>& items, char16_t sep) {
  String r;
  for (size_t i = 0; i < items.size(); ++i) {
    if (i) r += sep;
    r += items[i];
  }
  return r;
}

std::vector<String> splitAt(std::u16string_view s, char16_t sep) {
  std::vector<String> r;
  size_t start = 0;
  while (start <= s.size()) {
    const size_t p = s.find(sep, start);
    const size_t e = p == std::u16string_view::npos ? s.size() : p;
    if (e > start) r.emplace_back(s.substr(start, e - start));
    if (p == std::u16string_view::npos) break;
    start = p + 1;
  }
  return r;
}

}  // namespace

String CanonicalSelectorKey(const String& selector) {
  SimpleParts p = splitSimple(selector);
  std::sort(p.Classes.begin(), p.Classes.end());
  std::sort(p.Pseudos.begin(), p.Pseudos.end());
  std::sort(p.Ids.begin(), p.Ids.end());
  String r = p.Tag;
  for (auto& c : p.Classes) r += u'.' + c;
  for (auto& c : p.Pseudos) r += u':' + c;
  for (auto& c : p.Ids) r += u'#' + c;
  return r;
}

String SelectorRuleKey(const String& selector, TStyleList& styles) {
  // Parts left to right; a '>' between two parts marks the left one as the
  // parent of the right one.
  std::vector<String> parts;
  std::vector<bool> isParent;
  bool pendingChild = false;
  size_t i = 0;
  while (i < selector.size()) {
    const char16_t c = selector[i];
    if (c == u' ') {
      ++i;
    } else if (c == u'>') {
      if (parts.empty() || pendingChild) return String();
      isParent.back() = true;
      pendingChild = true;
      ++i;
    } else {
      size_t j = i;
      while (j < selector.size() && selector[j] != u' ' && selector[j] != u'>') ++j;
      parts.emplace_back(selector.substr(i, j - i));
      isParent.push_back(false);
      pendingChild = false;
      i = j;
    }
  }
  if (parts.empty() || pendingChild) return String();
  size_t special = 0;
  for (char16_t c : selector) special += c == u'.' || c == u'#' || c == u':';
  const bool compound = special >= 2;
  auto keyOf = [&](const String& part) { return compound ? CanonicalSelectorKey(part) : part; };
  if (parts.size() == 1) return keyOf(parts[0]);
  const size_t ancestors = parts.size() - 1;
  // Deeper selectors are not stored: cutting them short would make the
  // rule apply more widely than written.
  if (ancestors > size_t(MaxSelectorAncestors)) return String();
  String key = keyOf(parts.back()) + u' ' + IntToStr(ancestors) + styles.NextSequence();
  for (size_t k = ancestors; k-- > 0;) {
    if (isParent[k]) key += u'>';
    key += keyOf(parts[k]) + u' ';
  }
  return key;
}

// ---------------------------------------------------------------- TStyleList

TStyleList::TStyleList() = default;
TStyleList::~TStyleList() = default;

void TStyleList::mergePending() const {
  if (FPending.empty()) return;
  // Rules of one key keep their order of addition: existing ones first.
  auto less = [](const Item& a, const Item& b) { return compareNoCase(a.Key, b.Key) < 0; };
  std::stable_sort(FPending.begin(), FPending.end(), less);
  std::vector<Item> merged;
  merged.reserve(FItems.size() + FPending.size());
  std::merge(std::make_move_iterator(FItems.begin()), std::make_move_iterator(FItems.end()),
             std::make_move_iterator(FPending.begin()), std::make_move_iterator(FPending.end()),
             std::back_inserter(merged), less);
  FItems.swap(merged);
  FPending.clear();
}

bool TStyleList::Find(const String& key, int& index) const {
  mergePending();
  auto it = std::lower_bound(FItems.begin(), FItems.end(), key,
                             [](const Item& e, const String& k) { return compareNoCase(e.Key, k) < 0; });
  index = int(it - FItems.begin());
  return it != FItems.end() && compareNoCase(it->Key, key) == 0;
}

int TStyleList::AddObject(const String& key, std::unique_ptr<TProperties> props) {
  // New rules wait in a side list, sorted in when the list is next read:
  // a sheet of many rules loads in O(n log n), not one insertion each.
  props->FPropTag = key;
  FMatches.clear();
  FLinkStates.reset();
  ++FVersion;
  if (contains(key, u"#"sv)) FHasIdRules = true;
  FFirstByKey.try_emplace(lower(key), props.get());
  FPending.push_back(Item{key, std::move(props)});
  return -1;
}

TProperties* TStyleList::FindRule(const String& key) const {
  auto it = FFirstByKey.find(lower(key));
  return it == FFirstByKey.end() ? nullptr : it->second;
}

void TStyleList::Clear() {
  FItems.clear();
  FPending.clear();
  FFirstByKey.clear();
  FMatches.clear();
  FLinkStates.reset();
  ++FVersion;
  FHasIdRules = false;
  FDefProp = nullptr;
  FSeqNo = 10;
}

String TStyleList::NextSequence() {
  String s = IntToStr(FSeqNo++);
  if (s.size() < 10) s.insert(0, 10 - s.size(), u'0');
  return s;
}

TProperties* TStyleList::newRule(const String& key) {
  auto props = std::make_unique<TProperties>(FPropStack);
  TProperties* p = props.get();
  AddObject(key, std::move(props));
  return p;
}

TProperties* TStyleList::AddCopy(const String& key, const TProperties& props) {
  TProperties* p = newRule(key);
  p->CopyFrom(props);
  return p;
}

void TStyleList::SetLinkColor(const String& state, TColor color) {
  FLinkStates.reset();
  ++FVersion;
  if (TProperties* rule = FindRule(u"::" + state)) rule->Props[piColor] = int(color);
}

void TStyleList::AddDeclaration(const String& key, const String& propertyName,
                                const String& value, bool important) {
  const int index = PropertyIndexFromName(propertyName);
  if (index < 0) return;
  FLinkStates.reset();
  ++FVersion;
  TProperties* rule = FindRule(key);
  const bool isNew = rule == nullptr;
  // A normal declaration does not replace an "!important" one.
  if (!isNew && !important && rule->Important[index]) {
    if (key == u"a"sv) AddDeclaration(u"::link", propertyName, value, important);
    return;
  }
  std::unique_ptr<TProperties> fresh;
  if (isNew) {
    fresh = std::make_unique<TProperties>(FPropStack);
    rule = fresh.get();
  }
  bool stored = true;
  if (index == piColor) {
    TColor color;
    stored = ColorFromString(value, false, color);
    if (stored) {
      rule->Props[piColor] = int(color);
      if (key == u":link"sv) {
        SetLinkColor(u"hover", color);
        SetLinkColor(u"visited", color);
      } else if (key == u":visited"sv) {
        SetLinkColor(u"hover", color);
      }
    }
  } else {
    const TPropValue before = rule->Props[index];
    rule->AddPropertyByIndex(TPropertyIndex(index), value);
    stored = !(rule->Props[index] == before) || !rule->Props[index].IsEmpty();
  }
  if (stored) rule->Important[index] = important;
  if (isNew) AddObject(key, std::move(fresh));
  if (contains(key, u":hover"sv)) SetHoverRulesPresent(true);
  if (key == u"a"sv) AddDeclaration(u"::link", propertyName, value, important);
}

void TStyleList::Initialize(const String& fontName, const String& preFontName, int pointSize,
                            TColor color, TColor linkColor, TColor visitedColor,
                            TColor hoverColor, bool linkUnderline, int charSet,
                            int marginHeight, int marginWidth) {
  Clear();
  DefaultFontPointSize = pointSize;

  TProperties* p = newRule(u"default");
  FDefProp = p;
  p->Props[piFontFamily] = fontName;
  p->SetDefFontname(fontName);
  p->Props[piFontSize] = pointSize;
  p->Props[piFontStyle] = u"none";
  p->Props[piFontWeight] = u"normal";
  p->Props[piTextAlign] = u"left";
  p->Props[piTextDecoration] = u"none";
  p->Props[piLetterSpacing] = 0;
  p->Props[piColor] = int(color);
  p->Props[piMarginTop] = marginHeight;
  p->Props[piMarginBottom] = marginHeight;
  p->Props[piMarginLeft] = marginWidth;
  p->Props[piMarginRight] = marginWidth;
  p->Props[piVisibility] = 2;
  p->Props[piTextTransform] = 0;
  p->Props[piWordWrap] = u"normal";
  p->Props[piFontVariant] = u"normal";
  p->AssignCharSet(charSet);

  p = newRule(u"::link");
  p->Props[piColor] = int(linkColor | PaletteRelativeFlag);
  p->Props[piTextDecoration] = linkUnderline ? u"underline" : u"none";
  newRule(u"::visited")->Props[piColor] = int(visitedColor | PaletteRelativeFlag);
  newRule(u"::hover")->Props[piColor] = int(hoverColor | PaletteRelativeFlag);
  newRule(u"null");

  p = newRule(u"pre");
  p->Props[piFontFamily] = preFontName;
  p->Props[piFontSize] = pointSize * 10.0 / 12.0;
  p->Props[piFontStyle] = u"none";
  p->Props[piFontWeight] = u"normal";
  p->Props[piTextDecoration] = u"none";

  p = newRule(u"p");
  p->Props[piMarginTop] = ParagraphSpaceValue;
  p->Props[piMarginBottom] = ParagraphSpaceValue;
  // A paragraph inside preformatted text gets no space above it. The rule
  // takes a sequence below any the counter hands out, so the document's own
  // descendant rules keep their numbers from 10 and apply after it.
  newRule(u"p 10000000001pre ")->Props[piMarginTop] = 0;

  for (const char16_t* list : {u"ul", u"ol", u"menu", u"dir"}) {
    p = newRule(list);
    p->Props[piListStyleType] = u"blank";
    p->Props[piMarginTop] = ParagraphSpaceValue;
    p->Props[piMarginBottom] = ParagraphSpaceValue;
  }
  p = newRule(u"dl");
  p->Props[piListStyleType] = u"none";
  p->Props[piMarginTop] = 0;
  p->Props[piMarginBottom] = 0;
  p->Props[piMarginLeft] = 0;
  p->Props[piPaddingLeft] = 0;
  p = newRule(u"dd");
  p->Props[piMarginTop] = 0;
  p->Props[piMarginBottom] = 0;
  p->Props[piPaddingLeft] = 40;
  p = newRule(u"blockquote");
  p->Props[piMarginTop] = ParagraphSpaceValue;
  p->Props[piMarginBottom] = 14;
  p->Props[piPaddingLeft] = 40;

  p = newRule(u"code");
  p->Props[piFontFamily] = preFontName;
  p->Props[piFontSize] = u"0.83em";
  for (const char16_t* k : {u"tt", u"kbd", u"samp"}) AddCopy(k, *p);

  p = newRule(u"b");
  p->Props[piFontWeight] = u"bold";
  for (const char16_t* k : {u"strong", u"th"}) AddCopy(k, *p);

  p = newRule(u"sup");
  p->Props[piFontSize] = u"0.83em";
  p->Props[piVerticalAlign] = u"super";
  p = newRule(u"sub");
  p->Props[piFontSize] = u"0.83em";
  p->Props[piVerticalAlign] = u"sub";
  newRule(u"big")->Props[piFontSize] = u"1.17em";
  newRule(u"small")->Props[piFontSize] = u"0.83em";
  newRule(u"table")->Props[piTextAlign] = u"none";

  p = newRule(u"i");
  p->Props[piFontStyle] = u"italic";
  for (const char16_t* k : {u"em", u"cite", u"var", u"address"}) AddCopy(k, *p);
  newRule(u"u")->Props[piTextDecoration] = u"underline";
  p = newRule(u"s");
  p->Props[piTextDecoration] = u"line-through";
  AddCopy(u"strike", *p);
  p = newRule(u"center");
  p->Props[piTextAlign] = u"center";
  AddCopy(u"caption", *p);

  p = newRule(u"input");
  p->Props[piFontFamily] = u"Arial Unicode MS, Arial";
  p->Props[piFontSize] = u"10pt";
  p->Props[piFontStyle] = u"none";
  p->Props[piFontWeight] = u"normal";
  p->Props[piTextAlign] = u"left";
  p->Props[piTextDecoration] = u"none";
  p->Props[piColor] = int(color);
  AddCopy(u"select", *p);
  AddCopy(u"textarea", *p)->Props[piFontFamily] = preFontName;

  p = newRule(u"hr");
  // Auto sides: the rule's ALIGN places it, unless a style sheet gives a
  // side a margin of its own.
  p->Props[piMarginLeft] = u"auto";
  p->Props[piMarginRight] = u"auto";
  p->Props[piMarginTop] = 10;
  p->Props[piMarginBottom] = 10;

  static const int headingPoints[6] = {24, 18, 14, 12, 10, 8};
  for (int h = 0; h < 6; ++h) {
    p = newRule(u"h" + IntToStr(h + 1));
    p->Props[piFontSize] = headingPoints[h] * pointSize / 12.0;
    p->Props[piMarginTop] = 19;
    p->Props[piMarginBottom] = 19;
    p->Props[piFontWeight] = u"bold";
  }
}

// ---------------------------------------------------------------- cascade

void TProperties::Inherit(const String& tag, const TProperties& parent) {
  const String& pk = parent.FPropTag;
  if (pk == u"span"sv) {
    Props = parent.Props;
  } else if (pk == u"thead"sv || pk == u"tbody"sv || pk == u"tfoot"sv) {
    Props = parent.Props;
    Originals = parent.Originals;
  } else {
    for (int i = 0; i < PropertyCount; ++i) {
      if (i >= piMarginTop && i <= piLeft) {
        Props[i] = NotSetValue;
        continue;
      }
      switch (i) {
        case piBackgroundColor: case piBackgroundImage: case piBackgroundPosition:
        case piBackgroundRepeat: case piBackgroundAttachment: case piPosition: case piFloat:
        case piClear: case piPageBreakBefore: case piPageBreakAfter: case piPageBreakInside:
        case piBorderCollapse: case piOverflow: case piDisplay:
          break;
        case piWordWrap:
          Props[i] = tag == u"table"sv ? TPropValue(u"normal") : parent.Props[i];
          break;
        default:
          Props[i] = parent.Props[i];
      }
    }
  }
  FDefFontname = parent.FDefFontname;
  FFontBG = parent.FFontBG;
  FCharSet = parent.FCharSet;
  FCodePage = parent.FCodePage;
  FPropTitle = parent.FPropTitle;
  FInLink = parent.FInLink;
  if (parent.FInLink && parent.FIArray) {
    if (!FIArray) FIArray = std::make_unique<TFontInfoArray>();
    FIArray->Assign(*parent.FIArray);
  }
  EmSize = parent.EmSize;
  ExSize = parent.ExSize;
  FFamilyText = parent.FFamilyText;
  FFamilyName = parent.FFamilyName;
}

void TProperties::MergeRule(const TProperties& rule) {
  for (int i = 0; i < PropertyCount; ++i) {
    const TPropValue& v = rule.Props[i];
    if (v.IsEmpty()) continue;
    if (i >= piMarginTop && i <= piLeft && v.IsNumber() && v.AsInt() == NotSetValue) continue;
    // An important value stands against every later normal one.
    if (Important[i] && !rule.Important[i]) continue;
    Props[i] = v;
    Originals[i] = true;
    Important[i] = rule.Important[i];
    if (!FInLink || !FIArray || i == piTextAlign || i > piBackgroundColor) continue;
    for (ThtFontInfo& f : FIArray->Ar) {
      switch (i) {
        case piFontFamily: {
          String name;
          FirstInstalledFontFamily(v.AsString(), name);
          if (!name.empty()) f.iName = name;
          break;
        }
        case piFontSize:
          f.iSize = v.IsNumber() ? v.AsDouble() : ConvertFontSize(v.AsString(), f.iSize);
          break;
        case piFontStyle: {
          const String& t = v.AsString();
          if (t == u"italic"sv || t == u"oblique"sv) f.iStyle.Include(fsItalic);
          else if (t == u"normal"sv) f.iStyle.Exclude(fsItalic);
          break;
        }
        case piFontWeight: {
          const String& t = v.AsString();
          int w = 0;
          if (contains(t, u"bold"sv) || (v.IsNumber() && v.AsInt() >= 600) ||
              (tryStrToInt(t, w) && w >= 600))
            f.iStyle.Include(fsBold);
          else if (contains(t, u"normal"sv) || (tryStrToInt(t, w) && w < 600))
            f.iStyle.Exclude(fsBold);
          break;
        }
        case piTextDecoration: {
          const String& t = v.AsString();
          if (t == u"underline"sv) f.iStyle.Include(fsUnderline);
          else if (t == u"line-through"sv) f.iStyle.Include(fsStrikeOut);
          else if (t == u"none"sv) {
            f.iStyle.Exclude(fsUnderline);
            f.iStyle.Exclude(fsStrikeOut);
          }
          break;
        }
        case piLetterSpacing: f.iCharExtra = v; break;
        case piColor: if (v.IsNumber()) f.iColor = v.AsInt(); break;
        case piBackgroundColor: if (v.IsNumber()) f.ibgColor = v.AsInt(); break;
      }
    }
  }
}

namespace {

struct SelectorPart {
  String Tag, Classes, Id, Pseudo;
  bool Parent = false;  // must be the immediate parent of the part before it
};

SelectorPart parsePart(std::u16string_view s) {
  SelectorPart r;
  if (!s.empty() && s[0] == u'>') {
    r.Parent = true;
    s.remove_prefix(1);
  }
  const SimpleParts p = splitSimple(s);
  r.Tag = p.Tag;
  r.Classes = joined(p.Classes, u'.');
  r.Id = joined(p.Ids, u'#');
  r.Pseudo = joined(p.Pseudos, u':');
  return r;
}

bool classesAmong(const String& wanted, const String& have) {
  if (wanted == have) return true;
  const std::vector<String> h = splitAt(have, u'.');
  for (const String& w : splitAt(wanted, u'.'))
    if (std::find(h.begin(), h.end(), w) == h.end()) return false;
  return true;
}

bool ancestorMatches(const SelectorPart& part, const TProperties& set) {
  if (!part.Tag.empty() && part.Tag != set.PropTag()) return false;
  if (!part.Id.empty() && part.Id != set.PropID()) return false;
  if (!part.Pseudo.empty() && part.Pseudo != set.PropPseudo()) return false;
  if (!part.Classes.empty() && !classesAmong(part.Classes, set.PropClass())) return false;
  return true;
}

// A rule stored under a key with ancestor parts: the parts, nearest
// ancestor first, and the rule.
struct AncestorRule {
  std::vector<SelectorPart> Ancestors;
  TProperties* Rule = nullptr;
};

// Whether the rule under key applies to the element itself; its ancestor
// parts go to rule.Ancestors.
bool subjectMatches(const String& key, const String& tag, const String& cls, const String& id,
                    const String& pseudo, AncestorRule& rule) {
  std::vector<String> words = splitAt(key, u' ');
  if (words.size() < 2) return false;
  size_t d = 0;
  while (d < words[1].size() && isDigit(words[1][d])) ++d;
  words[1].erase(0, d);
  if (words[1].empty()) words.erase(words.begin() + 1);
  const SelectorPart subject = parsePart(words[0]);
  if (!subject.Tag.empty() && subject.Tag != tag) return false;
  if (!subject.Classes.empty() && subject.Classes != cls) return false;
  if (!subject.Id.empty() && subject.Id != id) return false;
  if (subject.Pseudo != pseudo && !(subject.Pseudo.empty() && pseudo == u"link"sv)) return false;
  for (size_t w = 1; w < words.size(); ++w) rule.Ancestors.push_back(parsePart(words[w]));
  return true;
}

bool ancestorsMatch(const AncestorRule& rule, TPropStack* stack, int parentIndex) {
  if (!stack) return false;
  int at = std::min(parentIndex, stack->Count() - 1);
  for (const SelectorPart& part : rule.Ancestors) {
    bool matched = false;
    while (at >= 1 && !matched) {  // the bottom ("default") entry is no element
      matched = ancestorMatches(part, *stack->GetProp(at--));
      if (!matched && part.Parent) return false;
    }
    if (!matched) return false;
  }
  return true;
}

// Keys of the rules for one element state, in the order they apply.
std::vector<String> ruleKeys(const String& t, const String& c, const String& i, const String& p) {
  std::vector<String> k;
  const bool plain = p != u"hover"sv && p != u"visited"sv;
  if (plain) k.push_back(t);
  if (!p.empty()) k.push_back(u":" + p);
  if (!c.empty() && plain) {
    k.push_back(u"." + c);
    k.push_back(t + u"." + c);
  }
  if (!p.empty()) {
    k.push_back(t + u":" + p);
    if (!c.empty()) {
      k.push_back(u"." + c + u":" + p);
      k.push_back(t + u"." + c + u":" + p);
    }
  }
  if (!i.empty()) {
    k.push_back(u"#" + i);
    k.push_back(t + u"#" + i);
    if (!c.empty()) k.push_back(u"." + c + u"#" + i);
    if (!p.empty()) {
      k.push_back(u":" + p + u"#" + i);
      k.push_back(t + u":" + p + u"#" + i);
    }
    if (!c.empty()) k.push_back(t + u"." + c + u"#" + i);
    if (!c.empty() && !p.empty()) {
      k.push_back(u"." + c + u":" + p + u"#" + i);
      k.push_back(t + u"." + c + u":" + p + u"#" + i);
    }
  }
  return k;
}

}  // namespace

struct TStyleList::TRuleMatch {
  std::vector<TProperties*> Own;  // in the order they merge
  std::vector<AncestorRule> WithAncestors;
};

const TStyleList::TRuleMatch& TStyleList::RulesFor(const String& tag, const String& cls,
                                                   const String& id, const String& pseudo) {
  FMatchKey.assign(tag);
  for (const String* part : {&cls, &id, &pseudo}) {
    FMatchKey += u'\x01';
    FMatchKey += *part;
  }
  if (auto it = FMatches.find(FMatchKey); it != FMatches.end()) return *it->second;
  // Pages that give every element an id of its own make a combination per
  // element: the list is started again rather than grown without end.
  if (FMatches.size() >= 4096) FMatches.clear();
  auto match = std::make_unique<TRuleMatch>();
  auto own = [&](const String& key) {
    int i;
    if (!Find(key, i)) return;
    for (; i < Count() && compareNoCase(Strings(i), key) == 0; ++i) match->Own.push_back(Objects(i));
  };
  if (tag == u"a"sv && !pseudo.empty()) own(u"::" + pseudo);
  const std::vector<String> keys = ruleKeys(tag, cls, id, pseudo);
  for (const String& k : keys) own(k);
  for (const String& k : keys) {
    const String prefix = k + u' ';
    int i;
    Find(prefix, i);
    for (; i < Count() && compareNoCase(std::u16string_view(Strings(i)).substr(0, prefix.size()), prefix) == 0;
         ++i) {
      AncestorRule rule;
      rule.Rule = Objects(i);
      if (subjectMatches(Strings(i), tag, cls, id, pseudo, rule)) match->WithAncestors.push_back(std::move(rule));
    }
  }
  return *FMatches.emplace(FMatchKey, std::move(match)).first->second;
}

bool TStyleList::HasRulesFor(const String& tag, const String& cls, const String& id, const String& pseudo) {
  const TRuleMatch& rules = RulesFor(tag, cls, id, pseudo);
  return !rules.Own.empty() || !rules.WithAncestors.empty();
}

bool TProperties::Combine(TStyleList& styles, const String& tag, const String& classes,
                          const String& id, const String& pseudo, const String& title,
                          const TProperties* styleAttr, int parentIndex) {
  bool ancestorRules = false;
  // Relative font sizes are taken against the inherited size, once for the
  // whole element: an element with several classes has its rules merged in
  // several passes, and a size such as "1.5em" met again in a later pass
  // must not grow the text once more.
  const double before = Props[piFontSize].IsNumber() && Props[piFontSize].AsDouble() > 0
                            ? Props[piFontSize].AsDouble()
                            : DefaultFontPointSize;
  auto applyFor = [&](const String& c, const TProperties* attr) {
    const TStyleList::TRuleMatch& rules = styles.RulesFor(tag, c, id, pseudo);
    if (!rules.WithAncestors.empty()) ancestorRules = true;
    for (TProperties* rule : rules.Own) MergeRule(*rule);
    for (const AncestorRule& rule : rules.WithAncestors)
      if (ancestorsMatch(rule, FPropStack, parentIndex)) MergeRule(*rule.Rule);
    if (attr) MergeRule(*attr);
    if (Props[piFontSize].IsString())
      Props[piFontSize] = ConvertFontSize(Props[piFontSize].AsString(), before);
  };

  const String cls = trim(classes);
  if (cls.find(u'.') == String::npos) {
    applyFor(cls, styleAttr);
  } else {
    const std::vector<String> each = splitAt(cls, u'.');
    for (size_t i = 0; i + 1 < each.size(); ++i) applyFor(each[i], nullptr);
    if (!each.empty()) applyFor(each.back(), styleAttr);
    applyFor(cls, styleAttr);
  }
  FPropTag = tag;
  FPropClass = cls;
  FPropID = id;
  FPropPseudo = pseudo;
  FPropStyle = styleAttr;
  if (!title.empty()) FPropTitle = title;
  if (pseudo == u"link"sv) {
    if (!FIArray) FIArray = std::make_unique<TFontInfoArray>();
    FInLink = true;
    computeLinkFontStates(styles);
  }
  return ancestorRules;
}

void TProperties::Update(const TProperties* newParent, TStyleList& styles, int) {
  FShare.reset();  // derived from another parent now
  if (newParent)
    for (int i = 0; i < PropertyCount; ++i)
      if (!Originals[i]) Props[i] = newParent->Props[i];
  FTheFont = nullptr;
  if (!FIArray) return;
  if (newParent && newParent->FInLink && newParent->FIArray) {
    FIArray->Assign(*newParent->FIArray);
  } else if (FPropPseudo == u"link"sv) {
    computeLinkFontStates(styles);
  } else {
    FIArray.reset();
    FInLink = false;
  }
}
