// The property stack of a parse: push with inheritance and the cascade,
// pop, and removal of an element opened before others that are still open.
#include "html/parse/prop_stack.h"

#include "html/view/document.h"

bool THtmlPropStack::PushNewProp(const String& Tag, const String& AClass, const String& AnID,
                                 const String& APseudo, const String& ATitle, TProperties* AStyle) {
  if (Count() >= MaxDepth) {
    FOverflowTags.push_back(Tag);
    return false;
  }
  auto props = NewProp();
  TProperties* parent = Last();
  if (parent) props->Inherit(Tag, *parent);
  TProperties* added = Add(std::move(props));
  TStyleList* styles = Document ? static_cast<TStyleList*>(Document->Styles.get()) : nullptr;
  // The STYLE attribute's set belongs to the tag's attribute list, which
  // the next tag reuses: the entry keeps a copy of its own.
  std::unique_ptr<TProperties> style;
  if (AStyle) {
    style = std::make_unique<TProperties>();
    style->CopyFrom(*AStyle);
  }
  if (styles) added->Combine(*styles, Tag, AClass, AnID, APseudo, ATitle, style.get(), Count() - 2);
  if (style) added->AdoptStyle(std::move(style));
  return true;
}

void THtmlPropStack::PopProp() {
  if (!FOverflowTags.empty()) {
    FOverflowTags.pop_back();
    return;
  }
  if (Count() > 1) Delete(Count() - 1);
}

void THtmlPropStack::PopTo(int Level) {
  while (TopIndex() > Level && (Count() > 1 || !FOverflowTags.empty())) PopProp();
}

void THtmlPropStack::PopAProp(const String& Tag) {
  for (int i = int(FOverflowTags.size()) - 1; i >= 0; --i)
    if (FOverflowTags[size_t(i)] == Tag) {
      FOverflowTags.erase(FOverflowTags.begin() + i);
      return;
    }
  for (int i = Count() - 1; i >= 1; --i) {
    TProperties* prop = GetProp(i);
    if (prop->PropTag() != Tag) continue;
    if (prop->BorderStyleNotNone() && Document) Document->ProcessInlines(SIndex, prop, false);
    Delete(i);
    TStyleList* styles = Document ? static_cast<TStyleList*>(Document->Styles.get()) : nullptr;
    if (styles && i > 1)
      for (int k = i; k < Count(); ++k) GetProp(k)->Update(GetProp(k - 1), *styles, k);
    else if (styles && i == 1)
      // The first element above the bottom went: everything above it is
      // derived again from the bottom, so that its style does not linger.
      for (int k = 1; k < Count(); ++k) GetProp(k)->Update(GetProp(k - 1), *styles, k);
    return;
  }
}
