#pragma once
// The stack of computed element styles while a document is built: one
// entry per open element, the document's default set at the bottom.
#include <array>
#include <cstdint>
#include <map>
#include <memory>
#include <vector>

#include "html/parse/style_list.h"

// What the stack asks of the document whose elements it styles: the
// document's style rules, and the end of an inline box when its element
// is removed before others that are still open. The model implements it;
// the stack itself knows nothing of the model.
class TStyledDocument {
public:
  virtual TStyleList* StyleRules() const = 0;
  virtual void EndInlineBox(int SIndex, TProperties* Prop) = 0;

protected:
  ~TStyledDocument() = default;
};

// A set computed for an element, kept for the elements styled alike. An
// element's set depends only on its parent's set, on the ancestors that
// rules naming ancestors look at, on its own tag, classes, id,
// pseudo-class, title and STYLE attribute, and on the style list. A kept
// set stands for one parent set at one place in the tree; its children are
// the sets computed under it, each with what its element brought.
struct TStyleShare {
  TStyleShare(const TProperties& set, unsigned generation);
  TProperties Set;  // as its push left it
  unsigned Generation;
  int Uses = 1;  // sets made as copies of Set, this one's own element included
  struct TChild {
    String Tag, Class, ID, Pseudo, Title;
    std::shared_ptr<const TProperties> Style;  // the STYLE attribute's set
    std::shared_ptr<TStyleShare> Share;  // none while one such child was seen
  };
  std::vector<TChild> Children;
  // The same place with the set as the builder changed it after its push
  // (an alignment, a colour, a float cleared): the children of such an
  // element are kept under the changed set.
  std::vector<std::shared_ptr<TStyleShare>> Variants;
  // The last set freed that was a copy of Set: the next copy is made in
  // its place, where it mostly holds what Set holds already.
  std::unique_ptr<TProperties> Parked;
};

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
  // Empties the stack for a new document: nothing kept carries over.
  void Clear();
  // Entries end tags have looked at or restyled since the stack was made:
  // each end tag costs at most the depth bound, however many elements are
  // open past it (the tests count it).
  uint64_t Steps() const { return FSteps; }

  TStyledDocument* Document = nullptr;
  // Text is not wrapped (NOBR, NOWRAP cells).
  bool NoBreak = false;

private:
  // Kept sets and records of children seen: at most this many, children
  // of one set and variants of one.
  static constexpr int MaxShares = 2048;
  static constexpr size_t MaxChildren = 64;
  static constexpr size_t MaxVariants = 8;
  // The kept set matching what parent is now, made when there is none;
  // nullptr when no more are kept.
  TStyleShare* shareOf(TProperties& parent);
  std::shared_ptr<TStyleShare> newShare(const TProperties& set);
  // Keeps a set taken off the stack for reuse.
  void park(std::unique_ptr<TProperties> gone);
  // Forgets every kept set when what they were computed with changed.
  void syncShares(const TStyleList& styles);
  void forgetShares();

  // Tags of pushes ignored past MaxDepth, so that each pop matches a push:
  // a pop takes the newest, an end tag the newest of its name. An end tag
  // closing one under many others leaves a gap rather than moving them, and
  // finds it through its name's own list, so a page of elements closed
  // under many open ones stays linear.
  class TOverflowTags {
  public:
    bool Empty() const { return FLive == 0; }
    void Push(const String& Tag);
    void PopNewest();
    // Removes the newest push of Tag; false when there is none.
    bool PopTag(const String& Tag);
    void Clear();

  private:
    void dropGaps();
    std::vector<String> FTags;  // in push order; gaps are empty
    std::vector<bool> FGone;
    std::map<String, std::vector<size_t>> FByTag;  // places in FTags, oldest first
    size_t FLive = 0;
  };
  TOverflowTags FOverflowTags;
  uint64_t FSteps = 0;
  // Kept sets of the bottom entry (which has no ancestors), and what all
  // kept sets rest on: a set from an older generation is stale.
  std::vector<std::shared_ptr<TStyleShare>> FShareRoots;
  unsigned FShareGeneration = 0;
  int FShareCount = 0;
  const TStyleList* FShareStyles = nullptr;
  unsigned FShareVersion = 0;
  double FShareDefaultSize = 0;
  std::array<double, 7> FShareFontConv{};
};

// Index of the top entry of a stack (count - 1).
inline int PropStackTopIndex(const THtmlPropStack& Stack) { return Stack.TopIndex(); }
