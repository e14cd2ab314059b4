#pragma once
// The stack of computed element styles while a document is built: one
// entry per open element, the document's default set at the bottom.
#include <vector>

#include "html/parse/style_list.h"

class ThtDocument;

class THtmlPropStack : public TPropStack {
public:
  // Entries beyond this many are not pushed: deeper elements share the
  // style of the deepest one (a page of unclosed tags stays linear).
  static constexpr int MaxDepth = 256;

  // Pushes a set for an element: inherited from the top, combined with the
  // document's style list. Returns false when the stack is full.
  bool PushNewProp(const String& Tag, const String& AClass, const String& AnID,
                   const String& APseudo, const String& ATitle, TProperties* AStyle);
  // Removes the top entry; the bottom entry stays.
  void PopProp();
  // Removes the newest entry of Tag (closing its inline border) and
  // re-derives the entries above it from their new parents.
  void PopAProp(const String& Tag);
  // Pops until the top index is Level.
  void PopTo(int Level);
  int TopIndex() const { return Count() - 1; }

  ThtDocument* Document = nullptr;
  // Text is not wrapped (NOBR, NOWRAP cells).
  bool NoBreak = false;

private:
  // Tags of pushes ignored past MaxDepth, so that each pop matches a push.
  std::vector<String> FOverflowTags;
};

// Index of the top entry of a stack (count - 1).
inline int PropStackTopIndex(const THtmlPropStack& Stack) { return Stack.TopIndex(); }
