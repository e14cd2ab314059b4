// The property stack of a parse: push with inheritance and the cascade,
// pop, and removal of an element opened before others that are still open.
#include "html/parse/prop_stack.h"

#include <algorithm>
#include <cstring>

#include "html/parse/style_fonts.h"

TStyleShare::TStyleShare(const TProperties& set, unsigned generation)
    : Set(set.PropStack()), Generation(generation) {
  Set.CopyComputed(set);
}

namespace {

// The same STYLE attribute: the same declarations, the same "!important"s.
bool sameStyle(const TProperties* kept, const TProperties* given) {
  if (!kept || !given) return kept == given;
  if (kept->Important != given->Important) return false;
  // Sets read from the same text share their values; others are compared
  // value by value.
  if (TPropValue::SameSlots(kept->Props.data(), given->Props.data(), PropertyCount)) return true;
  return kept->Props == given->Props;
}

const String& noText() {
  static const String empty;
  return empty;
}

}  // namespace

bool THtmlPropStack::PushNewProp(const String& Tag, const String& AClass, const String& AnID,
                                 const String& APseudo, const String& ATitle, TProperties* AStyle) {
  if (Count() >= MaxDepth) {
    FOverflowTags.Push(Tag);
    return false;
  }
  TProperties* parent = Last();
  TStyleList* styles = Document ? Document->StyleRules() : nullptr;
  TStyleShare* under = nullptr;
  if (parent && styles) {
    syncShares(*styles);
    under = shareOf(*parent);
  }
  // An id matters to the cascade only when some rule names one.
  const String& keyID = styles && styles->HasIdRules() ? AnID : noText();
  TStyleShare::TChild* seen = nullptr;
  if (under)
    for (TStyleShare::TChild& kept : under->Children)
      if (kept.Tag == Tag && kept.Class == AClass && kept.ID == keyID && kept.Pseudo == APseudo &&
          kept.Title == ATitle && sameStyle(kept.Style.get(), AStyle)) {
        seen = &kept;
        break;
      }
  if (seen && seen->Share) {
    // The element gets what the cascade gave the one it was kept for;
    // only what its parent took from layout since is its own.
    TStyleShare& share = *seen->Share;
    ++share.Uses;
    std::unique_ptr<TProperties> props = std::move(share.Parked);
    if (props) props->CopyComputed(share.Set);
    else props = NewCopy(share.Set);
    TProperties* added = Add(std::move(props));
    added->FShare = seen->Share;
    added->FPropID = AnID;
    added->EmSize = parent->EmSize;
    added->ExSize = parent->ExSize;
    return true;
  }

  auto props = NewProp();
  if (parent) props->Inherit(Tag, *parent);
  TProperties* added = Add(std::move(props));
  // The STYLE attribute's set belongs to the tag's attribute list, which
  // the next tag reuses: the entry keeps a copy of its own.
  std::shared_ptr<TProperties> style;
  if (AStyle) {
    style = std::make_shared<TProperties>();
    style->CopyFrom(*AStyle);
  }
  if (styles) added->Combine(*styles, Tag, AClass, AnID, APseudo, ATitle, style.get(), Count() - 2);
  if (style) added->AdoptStyle(style);
  // A set is kept from the second element alike on: most elements of a
  // page are alone of their kind, and keeping costs a copy.
  if (seen && FShareCount < MaxShares) {
    seen->Share = newShare(*added);
    added->FShare = seen->Share;
  } else if (under && !seen && under->Children.size() < MaxChildren && FShareCount < MaxShares) {
    ++FShareCount;  // records count too: a page of elements each unlike the others stays bounded
    under->Children.push_back(TStyleShare::TChild{Tag, AClass, keyID, APseudo, ATitle, std::move(style), nullptr});
  }
  return true;
}

TStyleShare* THtmlPropStack::shareOf(TProperties& parent) {
  TStyleShare* share = parent.FShare && parent.FShare->Generation == FShareGeneration ? parent.FShare.get() : nullptr;
  if (share && parent.SameInheritedState(share->Set)) return share;
  // Sets at the same place in the tree: the variants of the element's
  // kept set, or the bottom sets for the bottom entry. An element without
  // a kept set (a re-derived one, one from before the rules changed) gets
  // one of its own.
  std::vector<std::shared_ptr<TStyleShare>>* alike =
      share ? &share->Variants : Count() == 1 ? &FShareRoots : nullptr;
  if (alike)
    for (const std::shared_ptr<TStyleShare>& other : *alike)
      if (parent.SameInheritedState(other->Set)) {
        parent.FShare = other;
        return other.get();
      }
  // A set of its own costs a copy: it is made at once for the bottom
  // entry and for a variant of a much used set, otherwise at the parent's
  // second child (an element with one child gains nothing from it).
  const bool now = Count() == 1 || (share && share->Uses >= 2) || parent.FShareWanted;
  parent.FShareWanted = true;
  if (!now || FShareCount >= MaxShares) return nullptr;
  std::shared_ptr<TStyleShare> made = newShare(parent);
  if (alike && alike->size() < MaxVariants) alike->push_back(made);
  parent.FShare = made;
  return made.get();
}

std::shared_ptr<TStyleShare> THtmlPropStack::newShare(const TProperties& set) {
  ++FShareCount;
  return std::make_shared<TStyleShare>(set, FShareGeneration);
}

void THtmlPropStack::park(std::unique_ptr<TProperties> gone) {
  TStyleShare* share = gone->FShare.get();
  // Only in a kept set that stays when the set goes (the set must not hold
  // the one that holds it).
  if (share && share->Generation == FShareGeneration && !share->Parked && gone->FShare.use_count() > 1) {
    gone->FShare.reset();
    share->Parked = std::move(gone);
    return;
  }
  Recycle(std::move(gone));
}

void THtmlPropStack::syncShares(const TStyleList& styles) {
  // The size tables are compared as bytes: a table rewritten with the
  // same sizes keeps the sets, anything else only costs them.
  if (&styles == FShareStyles && styles.Version() == FShareVersion && FShareCount < MaxShares &&
      DefaultFontPointSize == FShareDefaultSize && std::memcmp(FShareFontConv.data(), FontConv, sizeof FontConv) == 0)
    return;
  forgetShares();
  FShareStyles = &styles;
  FShareVersion = styles.Version();
  FShareDefaultSize = DefaultFontPointSize;
  std::copy(FontConv, FontConv + 7, FShareFontConv.begin());
}

void THtmlPropStack::forgetShares() {
  FShareRoots.clear();
  ++FShareGeneration;
  FShareCount = 0;
  FShareStyles = nullptr;
}

void THtmlPropStack::TOverflowTags::Push(const String& Tag) {
  FByTag[Tag].push_back(FTags.size());
  FTags.push_back(Tag);
  FGone.push_back(false);
  ++FLive;
}

void THtmlPropStack::TOverflowTags::PopNewest() {
  if (Empty()) return;
  PopTag(FTags.back());  // gaps never stand last
}

bool THtmlPropStack::TOverflowTags::PopTag(const String& Tag) {
  const auto it = FByTag.find(Tag);
  if (it == FByTag.end()) return false;
  const size_t at = it->second.back();
  it->second.pop_back();
  if (it->second.empty()) FByTag.erase(it);
  FTags[at].clear();
  FGone[at] = true;
  --FLive;
  dropGaps();
  return true;
}

void THtmlPropStack::TOverflowTags::dropGaps() {
  while (!FGone.empty() && FGone.back()) {
    FGone.pop_back();
    FTags.pop_back();
  }
}

void THtmlPropStack::TOverflowTags::Clear() {
  FTags.clear();
  FGone.clear();
  FByTag.clear();
  FLive = 0;
}

void THtmlPropStack::Clear() {
  TPropStack::Clear();
  FOverflowTags.Clear();
  forgetShares();
}

void THtmlPropStack::PopProp() {
  if (!FOverflowTags.Empty()) {
    FOverflowTags.PopNewest();
    return;
  }
  if (Count() > 1) park(Take(Count() - 1));
}

void THtmlPropStack::PopTo(int Level) {
  while (TopIndex() > Level && (Count() > 1 || !FOverflowTags.Empty())) PopProp();
}

void THtmlPropStack::PopAProp(const String& Tag) {
  ++FSteps;
  if (FOverflowTags.PopTag(Tag)) return;
  for (int i = Count() - 1; i >= 1; --i) {
    ++FSteps;
    TProperties* prop = GetProp(i);
    if (prop->PropTag() != Tag) continue;
    if (prop->HasInlineBox() && Document) Document->EndInlineBox(SIndex, prop);
    park(Take(i));
    TStyleList* styles = Document ? Document->StyleRules() : nullptr;
    if (styles) FSteps += uint64_t(Count() - i);
    if (styles && i > 1)
      for (int k = i; k < Count(); ++k) GetProp(k)->Update(GetProp(k - 1), *styles, k);
    else if (styles && i == 1)
      // The first element above the bottom went: everything above it is
      // derived again from the bottom, so that its style does not linger.
      for (int k = 1; k < Count(); ++k) GetProp(k)->Update(GetProp(k - 1), *styles, k);
    return;
  }
}
